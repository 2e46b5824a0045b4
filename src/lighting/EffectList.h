#pragma once

// The lighting effects a keyboard offers, listed in its settings block, and
// their display names from the language file.

#include <QString>
#include <span>

#include "device/CommandProtocol.h"
#include "lighting/LightingRecord.h"

namespace kst {

// Codes 1-23 except 19: the codes with a parameter set.
bool IsKnownEffect(EffectCode code);

// Fills state's effect list from the settings block's 32 code bytes, in the
// keyboard's order: entry i = {i, code}. Empty slots (0) and codes without a
// parameter set (19, 24-255) are skipped, so every listed code can be
// selected and written. Gives the number of entries.
int LoadEffectList(std::span<const std::uint8_t, kSettingsBlockBytes> settings,
                   LightingState& state);

// The list index of the first entry holding code; -1 when none does.
int EffectListIndex(const LightingState& state, EffectCode code);

// The value of key "<code in decimal>" in section "Mode" of the language
// file; "1" when the key (or the section, or the file) is missing.
QString EffectName(const QString& languageFile, EffectCode code);

}  // namespace kst
