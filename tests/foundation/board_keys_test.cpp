#include "foundation/BoardKeys.h"

#include <gtest/gtest.h>

#include <set>

namespace kst {
namespace {

TEST(BoardKeysTest, EveryBoardKeyIsANamedKeyFoundAtItsPosition) {
  const auto& list = BoardKeyList();
  for (int i = 0; i < kBoardKeyCount; ++i) {
    const BoardKey& b = list[i];
    SCOPED_TRACE(i);
    const KeyRow& row = KeyCodeTable()[SlotFromKeyIndex(b.key)];
    EXPECT_NE(row.keyId, kEmptyKeyId);
    EXPECT_NE(*row.textKey, '\0');
    EXPECT_EQ(BoardPositionOfKey(b.key), i);
    EXPECT_EQ(BoardPositionOfControl(b.controlId), i);
  }
}

TEST(BoardKeysTest, RowsAsListed) {
  struct Case {
    int position;
    BoardKey key;
  };
  for (const Case& c : {Case{0, {1058, 0x01E, 0x01E, 64}}, Case{12, {1077, 0x032, 0x032, 5}},
                        Case{37, {1022, 0x001, 0x001, 0}}, Case{64, {1091, 0x137, 0x0B7, 6}},
                        Case{82, {1081, 0x036, 0x036, 6}}, Case{97, {1104, 0x145, 0x0C5, 6}},
                        Case{98, {1118, 0x11C, 0x09C, 6}}, Case{103, {1111, 0x04E, 0x04E, 6}}}) {
    const BoardKey& b = BoardKeyList()[c.position];
    SCOPED_TRACE(c.position);
    EXPECT_EQ(b.controlId, c.key.controlId);
    EXPECT_EQ(b.key, c.key.key);
    EXPECT_EQ(b.skinKey, c.key.skinKey);
    EXPECT_EQ(b.ledPosition, c.key.ledPosition);
  }
}

TEST(BoardKeysTest, LitKeysHaveTheirOwnLed) {
  // The per-key lit block: Esc, F1-F4, ` and 1-6, Tab, Q-T, Caps Lock, A-G,
  // Left Shift, Z-B, Left Ctrl, Left Alt, Space and M; every other key shares
  // LED position 6.
  const std::set<KeyIndex> lit = {0x001, 0x03B, 0x03C, 0x03D, 0x03E, 0x029, 0x002, 0x003, 0x004,
                                  0x005, 0x006, 0x007, 0x00F, 0x010, 0x011, 0x012, 0x013, 0x014,
                                  0x03A, 0x01E, 0x01F, 0x020, 0x021, 0x022, 0x02A, 0x02C, 0x02D,
                                  0x02E, 0x02F, 0x030, 0x01D, 0x038, 0x039, 0x032};
  std::set<int> leds;
  for (const BoardKey& b : BoardKeyList()) {
    if (lit.count(b.key)) {
      EXPECT_NE(b.ledPosition, 6) << std::hex << b.key;
      EXPECT_TRUE(leds.insert(b.ledPosition).second) << "shared LED " << int{b.ledPosition};
    } else {
      EXPECT_EQ(b.ledPosition, 6) << std::hex << b.key;
    }
  }
  EXPECT_EQ(leds.size(), lit.size());
}

TEST(BoardKeysTest, NonBoardKeysAndControls) {
  for (KeyIndex k : {KeyIndex{0}, KeyIndex{0x136}, KeyIndex{0x054}, KeyIndex{0x200}}) {
    EXPECT_EQ(BoardPositionOfKey(k), -1) << std::hex << k;
  }
  // G1, Fn and D1 are buttons of the view but not board keys.
  for (std::uint16_t id : {1000, 1174, 1016, 0}) EXPECT_EQ(BoardPositionOfControl(id), -1) << id;
}

}  // namespace
}  // namespace kst
