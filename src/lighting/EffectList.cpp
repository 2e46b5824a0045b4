#include "lighting/EffectList.h"

#include "foundation/IniFile.h"

namespace kst {
namespace {
// Value buffer of the effect name lookup, in characters with the terminator.
constexpr int kEffectNameChars = 260;
}  // namespace

bool IsKnownEffect(EffectCode code) { return code >= 1 && code <= 23 && code != 19; }

int LoadEffectList(std::span<const std::uint8_t, kSettingsBlockBytes> settings,
                   LightingState& state) {
  state.effectList = {};
  int count = 0;
  for (std::size_t slot = 0; slot < kSettingsEffectCount; ++slot) {
    const EffectCode code = settings[kSettingsEffectCodes + slot];
    if (!IsKnownEffect(code)) continue;
    state.effectList[static_cast<std::size_t>(count)] = {count, code};
    ++count;
  }
  state.effectCount = count;
  return count;
}

int EffectListIndex(const LightingState& state, EffectCode code) {
  for (const auto& entry : state.Effects()) {
    if (entry.code == code) return entry.listIndex;
  }
  return -1;
}

QString EffectName(const QString& languageFile, EffectCode code) {
  return ReadProfileString(languageFile, QStringLiteral("Mode"), QString::number(code),
                           QStringLiteral("1"), kEffectNameChars);
}

}  // namespace kst
