#include "lighting/LightingReload.h"

#include <array>

#include "foundation/IniFile.h"

namespace kst {
namespace {
// Value buffer of the switch lookup, in characters with the terminator.
constexpr int kSwitchValueChars = 260;
}  // namespace

bool ReadEditModeSwitch(const QString& wskbPath) {
  return ReadProfileString(wskbPath, QStringLiteral("KEYCOLOR"), QStringLiteral("DengCheck"),
                           QStringLiteral("0"), kSwitchValueChars) == QStringLiteral("1");
}

int ReloadLighting(LightingDevice& device, LightingState& state, LightingRecords& records,
                   const QString& wskbPath, ReloadKind kind, const BeforeRecordsFn& beforeRecords) {
  state.effectList = {};
  state.effectCount = 0;
  SettingsBlock settings{};
  // One hold over the settings and the records, so that they come from the
  // same state of the keyboard.
  const SequenceHold hold(device);
  if (!hold.Held() || device.ReadSettings(settings) != kDeviceOk) return -1;
  LoadEffectList(settings, state);
  if (beforeRecords) beforeRecords(settings);
  std::array<bool, kLightingRecordCount> read{};
  ReadLightingRecords(device, records, &read);
  const auto active = static_cast<std::size_t>(state.activeProfile);
  if (state.activeProfile >= 0 && state.activeProfile < kLightingProfileCount && read[active]) {
    DecodeLightingRecord(records[active], state);
  }
  const bool on = ReadEditModeSwitch(wskbPath);
  if (on || kind == ReloadKind::Connect) state.editMode = on;
  return kDeviceOk;
}

}  // namespace kst
