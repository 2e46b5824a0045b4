#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "lighting/LightingRecord.h"

namespace kst {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(LightingRecordTest, DefaultRecordOfEachProfile) {
  struct Case {
    int profile;
    std::uint8_t effect;
  };
  // Any profile number outside 0-3 starts with effect 1.
  for (const Case c : {Case{0, 1}, Case{1, 4}, Case{2, 8}, Case{3, 7}, Case{4, 1}, Case{-1, 1}}) {
    SCOPED_TRACE(c.profile);
    std::array<std::uint8_t, kDefaultRecordBytes> expected{};
    const std::array<std::uint8_t, 8> head = {c.effect, 4, 2, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    std::copy(head.begin(), head.end(), expected.begin());
    EXPECT_EQ(DefaultLightingRecord(c.profile), expected);
  }
}

TEST(LightingRecordTest, DecodesEveryField) {
  Bytes record(kLightingRecordBytes, 0);
  const Bytes head = {7, 3, 1, 0xFF, 0, 0x10, 0x20, 0x30, 0, 0x40, 0x50, 0x60};
  std::copy(head.begin(), head.end(), record.begin());
  record[15] = 2;
  record[17] = 3;
  record[18] = 1;
  record[19] = 1;
  record[25] = 1, record[26] = 2, record[27] = 3, record[28] = 5;
  record[29] = 1, record[30] = 0;
  record[31] = 4, record[32] = 5, record[33] = 6, record[34] = 0;
  LightingState s;
  ASSERT_TRUE(DecodeLightingRecord(record, s));
  EXPECT_EQ(s.effect, 7);
  EXPECT_EQ(s.brightness, 3);
  EXPECT_EQ(s.speed, 1);
  EXPECT_EQ(s.direction, 0xFF);
  EXPECT_FALSE(s.multicolour);
  EXPECT_EQ(s.colour, 0x302010u);
  EXPECT_EQ(s.reportRate, 2);
  EXPECT_EQ(s.colourChoice, 3);
  EXPECT_EQ(s.effect7Flag, 1);
  EXPECT_EQ(s.trigger, 1);
  EXPECT_EQ(s.secondColour, 0x030201u);
  EXPECT_TRUE(s.secondFlag);
  EXPECT_EQ(s.thirdColour, 0x060504u);
  EXPECT_FALSE(s.thirdFlag);
  EXPECT_TRUE(s.lockT);
  EXPECT_FALSE(s.lockTilde);
  // The base colour of the custom effect comes from its mode file, not the
  // record read.
  EXPECT_EQ(s.baseColour, 0u);
}

// Out-of-range bytes decode to values the panel can show and that encode
// back inside the field's range.
TEST(LightingRecordTest, ClampsOutOfRangeBytes) {
  struct Case {
    const char* name;
    std::size_t offset;
    std::uint8_t value;
    std::uint8_t LightingState::*field;
    std::uint8_t expected;
  };
  const Case cases[] = {
      {"report rate 7 shows 3", 15, 7, &LightingState::reportRate, 3},
      {"colour choice 9 shows red", 17, 9, &LightingState::colourChoice, 0},
      {"brightness 9", 1, 9, &LightingState::brightness, 4},
      {"speed 200", 2, 200, &LightingState::speed, 4},
      {"direction 0x12 counts as left", 3, 0x12, &LightingState::direction, 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes record(kLightingRecordBytes, 0);
    record[c.offset] = c.value;
    LightingState s;
    ASSERT_TRUE(DecodeLightingRecord(record, s));
    EXPECT_EQ(s.*c.field, c.expected);
  }
}

TEST(LightingRecordTest, FlagsOutsideZeroOrOneKeepTheirValue) {
  LightingState s;
  s.effect7Flag = 1;
  s.trigger = 1;
  Bytes record(kLightingRecordBytes, 0);
  record[0] = 7;
  record[18] = 2;
  record[19] = 0x80;
  ASSERT_TRUE(DecodeLightingRecord(record, s));
  EXPECT_EQ(s.effect7Flag, 1);
  EXPECT_EQ(s.trigger, 1);
  // Byte 18 is read for effect 7 only.
  record[0] = 5;
  record[18] = 0;
  record[19] = 0;
  ASSERT_TRUE(DecodeLightingRecord(record, s));
  EXPECT_EQ(s.effect7Flag, 1);
  EXPECT_EQ(s.trigger, 0);
}

TEST(LightingRecordTest, AllOnesRecordDecodesClampedAndEncodesInRange) {
  const Bytes record(kLightingRecordBytes, 0xFF);
  LightingState s;
  ASSERT_TRUE(DecodeLightingRecord(record, s));
  EXPECT_EQ(s.effect, 0xFF);
  EXPECT_EQ(s.brightness, 4);
  EXPECT_EQ(s.speed, 4);
  EXPECT_EQ(s.reportRate, 3);
  EXPECT_EQ(s.colourChoice, 0);
  EXPECT_EQ(s.colour, kWhite);

  Bytes out(kLightingRecordBytes, 0xAA);
  ASSERT_TRUE(EncodeLightingRecord(s, out));
  Bytes expected(kLightingRecordBytes, 0xAA);
  const Bytes head = {0xFF, 4, 4, 0xFF, 1, 0xFF, 0xFF, 0xFF};
  std::copy(head.begin(), head.end(), expected.begin());
  expected[9] = expected[10] = expected[11] = 0;  // base colour from the state
  expected[15] = 3;
  expected[17] = 0;
  EXPECT_EQ(out, expected);
}

TEST(LightingRecordTest, EncodeClampsStateAndKeepsForeignBytes) {
  LightingState s;
  s.effect = 12;
  s.brightness = 40;
  s.speed = 9;
  s.direction = 0x33;
  s.multicolour = true;
  s.colour = 0xFF010203;  // bits 24-31 are not a colour
  s.baseColour = 0x0A0B0C;
  s.reportRate = 200;
  s.colourChoice = 4;
  Bytes out(kLightingRecordBytes, 0x5A);
  ASSERT_TRUE(EncodeLightingRecord(s, out));
  Bytes expected(kLightingRecordBytes, 0x5A);
  const Bytes head = {12, 4, 4, 0xFF, 1, 3, 2, 1, 0x5A, 0x0C, 0x0B, 0x0A};
  std::copy(head.begin(), head.end(), expected.begin());
  expected[15] = 3;
  expected[17] = 0;
  EXPECT_EQ(out, expected);
}

TEST(LightingRecordTest, ShortSpansAreRefusedUntouched) {
  LightingState s;
  s.effect = 9;
  const Bytes shortRecord(kLightingRecordBytes - 1, 0);
  EXPECT_FALSE(DecodeLightingRecord(shortRecord, s));
  EXPECT_EQ(s.effect, 9);
  Bytes out(kLightingRecordBytes - 1, 0x77);
  EXPECT_FALSE(EncodeLightingRecord(s, out));
  EXPECT_EQ(out, Bytes(kLightingRecordBytes - 1, 0x77));
  EXPECT_EQ(ColourFromRgb(std::array<std::uint8_t, 2>{1, 2}), 0u);
}

}  // namespace
}  // namespace kst
