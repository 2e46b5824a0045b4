#pragma once

// The 104 key buttons of the keyboard view in their fixed order. The position
// in this list is the index used wherever the board keys are walked (clearing
// a profile's assignments, the per-key colour table).

#include <array>
#include <cstdint>

#include "foundation/KeyCodeTable.h"

namespace kst {

struct BoardKey {
  std::uint16_t controlId;  // control id of the key button in the main window
  KeyIndex key;
  std::uint16_t skinKey;     // SlotFromKeyIndex(key); layout key "KEY_%03X"
  std::uint8_t ledPosition;  // 6 = no light of its own
};

inline constexpr int kBoardKeyCount = 104;

const std::array<BoardKey, kBoardKeyCount>& BoardKeyList();
// Position of the key in the list; -1 when it is not a board key.
int BoardPositionOfKey(KeyIndex key);
// Position of the key button with this control id; -1 when there is none.
int BoardPositionOfControl(std::uint16_t controlId);

}  // namespace kst
