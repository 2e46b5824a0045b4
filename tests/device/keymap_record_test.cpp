#include <array>
#include <cstdint>

#include <gtest/gtest.h>

#include "device/KeyMap.h"

namespace kst {
namespace {

struct RecordToKey {
  KeyRecord record;
  KeyIndex key;
};

TEST(KeyIndexFromDeviceRecordTest, MapsEveryRecordTypeAndRejectsTheRest) {
  const RecordToKey cases[] = {
      {{1, 1, 0x01}, 0x171},  // mouse left
      {{1, 1, 0x02}, 0x172},
      {{1, 1, 0x04}, 0x173},
      {{1, 1, 0x08}, 0},  // no such button
      {{1, 5, 0x01}, 0x161},
      {{1, 5, 0xFF}, 0x162},
      {{1, 5, 0x02}, 0},
      {{1, 7, 0x01}, 0},
      {{2, 2, 0x04}, 0x01E},  // A
      {{2, 2, 0x00}, 0},
      {{2, 2, 0xCD}, 0x120},     // Mute is a keyboard usage code in the
                                 // table
      {{2, 1, 0x02}, 0x02A},     // left shift by its modifier bit
      {{2, 1, 0x80}, 0x15C},     // right Windows key
      {{2, 9, 0x01}, 0x01D},     // any other b1 reads modifier bits too
      {{2, 1, 0x00}, 0},         // no bit set
      {{4, 0x81, 0x00}, 0x15E},  // power
      {{4, 0x81, 0x01}, 0},      // 0x181 is no system usage
      {{3, 0xE2, 0x00}, 0x120},  // mute as a consumer usage
      {{6, 0xA2, 1}, 0x200},     // G1 of bank A
      {{6, 0xA2, 18}, 0x211},    // G9 of bank B
      {{6, 0xA2, 0xFF}, 0x2FE},
      {{6, 0xA1, 1}, 0},
      {{0, 0, 0}, 0},
      {{5, 1, 0}, 0},
      {{7, 2, 4}, 0},
      {{0xFF, 0xFF, 0xFF}, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KeyIndexFromDeviceRecord(c.record), c.key)
        << int(c.record.type) << "," << int(c.record.b1) << "," << int(c.record.b2);
  }
}

TEST(KeyRecordForKeyTest, EncodesMouseModifiersAndUsages) {
  const std::pair<KeyIndex, KeyRecord> cases[] = {
      {0x01D, {2, 1, 0x01}}, {0x02A, {2, 1, 0x02}}, {0x038, {2, 1, 0x04}}, {0x15B, {2, 1, 0x08}},
      {0x11D, {2, 1, 0x10}}, {0x036, {2, 1, 0x20}}, {0x138, {2, 1, 0x40}}, {0x15C, {2, 1, 0x80}},
      {0x171, {1, 1, 0x01}}, {0x172, {1, 1, 0x02}}, {0x173, {1, 1, 0x04}}, {0x161, {1, 5, 0x01}},
      {0x162, {1, 5, 0xFF}}, {0x01E, {2, 2, 0x04}},  // A
      {0x120, {2, 2, 0xCD}},                         // Mute
      {0x200, {2, 2, 0x00}},                         // a G key has no usage
      {0x000, {2, 2, 0x00}},
  };
  for (const auto& [key, record] : cases) {
    EXPECT_EQ(KeyRecordForKey(key), record) << std::hex << key;
  }
}

TEST(KeyMapRecordTest, ReadsAndWritesOnlyInsideTheRecordArea) {
  std::array<std::uint8_t, kKeyMapBytes> map{};
  map.fill(0xEE);
  WriteKeyRecord(map, 0, {1, 2, 3});
  WriteKeyRecord(map, 127, {4, 5, 6});
  WriteKeyRecord(map, 128, {9, 9, 9});
  WriteKeyRecord(map, -1, {9, 9, 9});
  EXPECT_EQ(ReadKeyRecord(map, 0), (KeyRecord{1, 2, 3}));
  EXPECT_EQ(ReadKeyRecord(map, 127), (KeyRecord{4, 5, 6}));
  EXPECT_EQ(map[381], 4);
  EXPECT_EQ(ReadKeyRecord(map, 128), KeyRecord{});
  EXPECT_EQ(ReadKeyRecord(map, -1), KeyRecord{});
  for (std::size_t i = kKeyMapRecordBytes; i < kKeyMapBytes; ++i) ASSERT_EQ(map[i], 0xEE) << i;
}

}  // namespace
}  // namespace kst
