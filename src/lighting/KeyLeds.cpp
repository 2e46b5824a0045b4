#include "lighting/KeyLeds.h"

#include <array>

#include "foundation/BoardKeys.h"

namespace kst {

namespace {

// G1-G9 and Fn: ids of the main window's buttons and their positions.
constexpr std::array<KeyLed, 10> kExtraLitKeys = {{{1000, 17},
                                                   {1001, 18},
                                                   {1002, 19},
                                                   {1003, 20},
                                                   {1004, 32},
                                                   {1140, 9},
                                                   {1141, 125},
                                                   {1142, 125},
                                                   {1143, 125},
                                                   {1174, 106}}};
constexpr std::size_t kLitKeyCount = kBoardKeyCount + kExtraLitKeys.size();

struct Tables {
  std::array<KeyLed, kLitKeyCount> keys{};
  std::array<int, kLitKeyCount> leds{};
};

const Tables& LitTables() {
  static const Tables tables = [] {
    Tables t;
    std::size_t i = 0;
    for (const BoardKey& key : BoardKeyList()) {
      t.keys[i++] = {key.controlId, key.ledPosition};
    }
    for (const KeyLed& key : kExtraLitKeys) t.keys[i++] = key;
    for (std::size_t n = 0; n < kLitKeyCount; ++n) t.leds[n] = t.keys[n].led;
    return t;
  }();
  return tables;
}

}  // namespace

std::span<const KeyLed> LitKeyButtons() { return LitTables().keys; }

std::span<const int> LitKeyLeds() { return LitTables().leds; }

std::optional<int> LedOfKeyButton(int controlId) {
  for (const KeyLed& key : LitKeyButtons()) {
    if (key.controlId == controlId) return key.led;
  }
  return std::nullopt;
}

}  // namespace kst
