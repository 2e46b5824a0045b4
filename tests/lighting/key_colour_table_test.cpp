#include <gtest/gtest.h>

#include "lighting/KeyColourTable.h"
#include "lighting_harness.h"

namespace kst {
namespace {

using lightingtest::Bytes;

TEST(KeyColourTableTest, ColoursAndBaseFlagsPerProfileAndPosition) {
  KeyColourTable table;
  EXPECT_TRUE(table.SetColour(1, 9, 0xFF332211));  // bits 24-31 are not a colour
  EXPECT_TRUE(table.SetBaseFlag(1, 9, true));
  EXPECT_EQ(table.Colour(1, 9), 0x332211u);
  EXPECT_EQ(table.BaseFlag(1, 9), true);
  EXPECT_EQ(table.Colour(0, 9), 0u);
  EXPECT_EQ(table.BaseFlag(0, 9), false);
  const auto area = table.Area(1);
  ASSERT_EQ(area.size(), kKeyColourAreaBytes);
  EXPECT_EQ(Bytes(area.begin() + 27, area.begin() + 30), (Bytes{0x11, 0x22, 0x33}));

  struct Case {
    int profile;
    int led;
  };
  for (const Case c : {Case{-1, 0}, Case{4, 0}, Case{0, -1}, Case{0, 170}}) {
    SCOPED_TRACE(std::to_string(c.profile) + "/" + std::to_string(c.led));
    EXPECT_FALSE(table.SetColour(c.profile, c.led, 0xFFFFFF));
    EXPECT_FALSE(table.SetBaseFlag(c.profile, c.led, true));
    EXPECT_FALSE(table.Colour(c.profile, c.led).has_value());
    EXPECT_FALSE(table.BaseFlag(c.profile, c.led).has_value());
  }
  EXPECT_TRUE(table.SetColour(3, 169, 0x010203));
  EXPECT_TRUE(table.Area(4).empty());
}

class UploadKeyColoursTest : public lightingtest::LightingSimFixture {};

// Positions 0-143 of the profile reach the keyboard's colour area of that
// profile in 8 chunks of 18 positions between one update pair; positions
// 144-169 and the other profiles' areas stay as they were.
TEST_F(UploadKeyColoursTest, SendsPositions0To143InEightChunks) {
  KeyColourTable table;
  for (int led = 0; led < kLedPositionCount; ++led) {
    table.SetColour(
        2, led,
        MakeColorRef(static_cast<std::uint8_t>(led), 0x40, static_cast<std::uint8_t>(0xFF - led)));
  }
  const Bytes before = SimRead("colours");
  ASSERT_EQ(before.size(), 4 * kKeyColourAreaBytes);
  EXPECT_EQ(UploadKeyColours(*device, table, 2), 1);
  const std::vector<std::string> expected = {
      "begin",      "colours 0",  "colours 18",  "colours 36",  "colours 54",
      "colours 72", "colours 90", "colours 108", "colours 126", "end"};
  EXPECT_EQ(device->log, expected);
  EXPECT_FALSE(device->unheldCommand);

  Bytes want = before;
  const auto area = table.Area(2);
  std::copy(area.begin(), area.begin() + 3 * kSentLedPositions, want.begin() + 2 * 512);
  EXPECT_EQ(SimRead("colours"), want);
}

TEST_F(UploadKeyColoursTest, ProfileOutOfRangeSendsNothing) {
  KeyColourTable table;
  Sim("reports clear");
  EXPECT_EQ(UploadKeyColours(*device, table, 4), kDeviceBadArgument);
  EXPECT_EQ(UploadKeyColours(*device, table, -1), kDeviceBadArgument);
  EXPECT_EQ(CtrlRequests(), 0);
}

}  // namespace
}  // namespace kst
