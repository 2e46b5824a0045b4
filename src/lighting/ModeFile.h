#pragma once

// The custom effect's mode file of a profile ("UserDengColor_<n>.userd" in
// the per-user data folder): the current user mode, the painting tool, the
// base and paint colours, and the colour and base flag of every key.

#include <QString>
#include <span>

#include "lighting/KeyColourTable.h"
#include "lighting/LightingRecord.h"

namespace kst {

struct ModeKeyEntry {
  ColorRef colour = MakeColorRef(255, 0, 0);
  bool base = true;
  bool operator==(const ModeKeyEntry&) const = default;
};

// "<folder>/UserDengColor_<profile>.userd".
QString ModeFilePath(const QString& dataFolder, int profile);

// A key entry "red,green,blue,flag". The numbers are read in that order and
// reading stops at the first one that is missing or not a number; the rest
// keep the defaults 255,0,0,1. Numbers are clamped to 0-255; a flag other
// than 0 counts as 1.
ModeKeyEntry ParseModeKeyEntry(const QString& value);
// A colour "red,green,blue", read like a key entry with defaults 0,0,0.
ColorRef ParseModeColour(const QString& value);

// Reads the user mode's number from "PRESENTMODE", then its tool, base and
// paint colours, and the entry of every LED position in leds into
// activeProfile's colours and base flags. Missing file, sections or keys give
// the defaults (user mode 0, tool 0, black, every key red and following the
// base colour). Positions outside 0-169 are skipped.
void LoadUserMode(const QString& modeFile, std::span<const int> leds, LightingState& state,
                  KeyColourTable& table);

}  // namespace kst
