#pragma once

// Reading the active profile's lighting back from the keyboard.

#include <QString>

#include <functional>

#include "lighting/LightingWriter.h"

namespace kst {

enum class ReloadKind {
  // After a profile or language change: edit mode turns on when "DengCheck"
  // is "1" and otherwise keeps its value.
  Normal,
  // When the keyboard connects: edit mode is on exactly when "DengCheck" is
  // "1".
  Connect,
};

// Edit mode as persisted: key "DengCheck" of section "KEYCOLOR" in the file
// at wskbPath ("wskb.ini" in the per-user data folder) is "1".
bool ReadEditModeSwitch(const QString& wskbPath);

// Empties the effect list, reads the settings block (on failure gives -1,
// the list stays empty and the rest of state keeps its values), fills the
// effect list from it, reads the six records into records, decodes the
// record of state.activeProfile into state and restores edit mode. Gives 1,
// or -1 when the settings block cannot be read. A failed record read leaves
// that record, and what the state took from it, as it was.
//
// beforeRecords, when given, runs once the effect list is filled and before
// the records are read, inside the same hold of the keyboard; it may change
// state (e.g. activeProfile) and send commands of its own.
using BeforeRecordsFn = std::function<void(const SettingsBlock& settings)>;
int ReloadLighting(LightingDevice& device, LightingState& state, LightingRecords& records,
                   const QString& wskbPath, ReloadKind kind,
                   const BeforeRecordsFn& beforeRecords = {});

}  // namespace kst
