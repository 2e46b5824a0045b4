#pragma once

#include <span>

namespace kst {

// Every key of section "TEXT" of a language file ("Lang%04X.ini"), each once,
// in the order the windows use them. The language files carry exactly these
// keys; the program looks up no other key in that section.
std::span<const char* const> LanguageVocabulary();

// Section "Mode" of a language file names the lighting effects by their
// effect code in decimal, from kFirstModeNumber to kLastModeNumber.
inline constexpr int kFirstModeNumber = 1;
inline constexpr int kLastModeNumber = 23;

}  // namespace kst
