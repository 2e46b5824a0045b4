#pragma once

// The per-key painting of the custom effect (code 20): painting single keys,
// the base colour that unpainted keys follow, and the mode file entries that
// keep both per user mode.

#include <QString>
#include <span>

#include "lighting/KeyColourTable.h"
#include "lighting/LightingDevice.h"
#include "lighting/LightingRecord.h"
#include "lighting/LightingWriter.h"

namespace kst {

// Writes "tool", "jcolor" and "color" of section "Mode<userMode>".
bool WriteModeSettings(const QString& modeFile, const LightingState& state);
// Writes "red,green,blue,flag" under the LED position in section
// "Mode<userMode>".
bool WriteModeKeyEntry(const QString& modeFile, int userMode, int led, ColorRef colour, bool base);

// Tool 0 or 1, then the mode settings are written; -202 for another tool.
int SetTool(LightingState& state, const QString& modeFile, int tool);
// Bits 24-31 are ignored; the mode settings are written.
void SetPaintColour(LightingState& state, const QString& modeFile, ColorRef colour);
// Writes text as the name of the current user mode (key userMode of
// "MODENAME").
bool RenameUserMode(const LightingState& state, const QString& modeFile, const QString& text);
// Makes mode the current user mode ("mode" of "PRESENTMODE"), loads it for
// the keys in leds and uploads the active profile's key colours. Gives the
// upload's result; -202 for a negative mode.
int SelectUserMode(LightingDevice& device, LightingState& state, KeyColourTable& table,
                   const QString& modeFile, std::span<const int> leds, int mode);
// Persists edit mode as "DengCheck" of "KEYCOLOR" ("1" on, "0" off).
bool WriteEditModeSwitch(const QString& wskbPath, bool on);

// Paints the key at LED position led of the active profile: with tool 0 in
// paintColour (base flag 0), with tool 1 in baseColour (base flag 1). Stores
// it in the table, sends its 3 bytes with WriteKeyColours in one update and
// writes its mode file entry. Acts only while the effect is 20: gives 0
// otherwise; -202 for a position outside 0-169 or no valid active profile;
// else the keyboard's result (the table and file keep the new colour).
int PaintKey(LightingDevice& device, LightingState& state, KeyColourTable& table,
             const QString& modeFile, int led);

// When colour differs from baseColour: takes it, writes the mode settings,
// gives every key in leds whose base flag is set that colour (table and mode
// file) and uploads the active profile's key colours. In every case then
// writes record bytes 9-11. Gives the first non-1 keyboard result, or 1.
int SetBaseColour(LightingDevice& device, LightingState& state, KeyColourTable& table,
                  const QString& modeFile, std::span<const int> leds, ColorRef colour);

// For every profile and every LED position in leds: base flag = (the key's
// colour equals the base colour in bytes 9-11 of the profile's record).
void DeriveBaseFlags(const LightingRecords& records, std::span<const int> leds,
                     KeyColourTable& table);

}  // namespace kst
