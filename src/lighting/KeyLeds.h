#pragma once

// Which LED position each lit key button of the keyboard view shows: the 104
// board keys, the nine G keys and the Fn key. D1-D6 and every other control
// have no light of their own. Several buttons share a position (6 for keys
// without a light of their own, 125 for G7-G9).

#include <optional>
#include <span>

namespace kst {

struct KeyLed {
  int controlId;
  int led;  // 0-169
};

// Every lit key button, board keys first (in the board key list's order),
// then G1-G9 and Fn.
std::span<const KeyLed> LitKeyButtons();
// The LED positions of LitKeyButtons, in the same order.
std::span<const int> LitKeyLeds();
// The LED position of a key button; nullopt for D1-D6 and any other id.
std::optional<int> LedOfKeyButton(int controlId);

}  // namespace kst
