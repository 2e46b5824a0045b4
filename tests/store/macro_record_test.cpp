#include "store/MacroRecord.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kst {
namespace {

TEST(MacroRecordTest, EncodesEveryFieldAtItsOffset) {
  MacroRecord r;
  r.SetName(u"Ab");
  r.repeatCount = 7;
  r.fresh = 1;
  r.number = 42;
  r.eventCount = 2;
  r.events[0] = {40000, 0x11D, kEventPress};
  r.events[1] = {0, 0x171, kEventRelease};
  std::vector<std::uint8_t> bytes(kMacroRecordSize, 0xEE);
  EncodeMacroRecord(r, std::span<std::uint8_t, kMacroRecordSize>(bytes.data(), kMacroRecordSize));

  const std::vector<std::uint8_t> start(bytes.begin(), bytes.begin() + 6);
  EXPECT_EQ(start, (std::vector<std::uint8_t>{'A', 0, 'b', 0, 0, 0}));
  EXPECT_EQ(bytes[499], 0);
  const std::vector<std::uint8_t> fields(bytes.begin() + 500, bytes.begin() + 512);
  EXPECT_EQ(fields, (std::vector<std::uint8_t>{7, 0, 1, 0, 0, 0, 42, 0, 2, 0, 0, 0}));
  const std::vector<std::uint8_t> events(bytes.begin() + 512, bytes.begin() + 528);
  EXPECT_EQ(events, (std::vector<std::uint8_t>{0x40, 0x9C, 0, 0, 0x1D, 0x01, 0, 0,  //
                                               0, 0, 0, 0, 0x71, 0x01, 1, 0}));
  EXPECT_EQ(bytes.back(), 0);
}

TEST(MacroRecordTest, DecodeAndEncodeKeepEveryByte) {
  std::mt19937 random(7);
  std::vector<std::uint8_t> bytes(kMacroRecordSize);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  const MacroBytes view(bytes.data(), kMacroRecordSize);
  const MacroRecord r = DecodeMacroRecord(view);
  EXPECT_EQ(r.number, MacroNumberOf(view));
  EXPECT_EQ(r.eventCount, MacroEventCountOf(view));
  std::vector<std::uint8_t> again(kMacroRecordSize);
  EncodeMacroRecord(r, std::span<std::uint8_t, kMacroRecordSize>(again.data(), kMacroRecordSize));
  EXPECT_EQ(again, bytes);
  // A damaged count never reaches past the record.
  EXPECT_LE(r.Events().size(), static_cast<std::size_t>(kMaxMacroEvents));
  EXPECT_LE(r.Name().size(), static_cast<std::size_t>(kMaxMacroNameLength));
}

TEST(MacroRecordTest, NewRecordTakesTheLowestFreeNumber) {
  const struct {
    std::vector<std::uint16_t> used;
    std::uint16_t number;  // 0: none
  } cases[] = {
      {{}, 1},
      {{1, 2, 4}, 3},
      {{2, 3}, 1},
      {{100, 1, 0, 101}, 2},
  };
  for (const auto& c : cases) {
    const auto r = NewMacroRecord(u"Macro", c.used);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->number, c.number);
    EXPECT_EQ(r->repeatCount, 1);
    EXPECT_EQ(r->fresh, 1);
    EXPECT_EQ(r->eventCount, 0);
    EXPECT_EQ(r->Name(), u"Macro");
  }
  std::vector<std::uint16_t> all;
  for (std::uint16_t n = 1; n <= 100; ++n) all.push_back(n);
  EXPECT_FALSE(NewMacroRecord(u"x", all).has_value());
}

TEST(MacroRecordTest, NamesAreCutTo249Characters) {
  MacroRecord r;
  r.SetName(std::u16string(300, u'n'));
  EXPECT_EQ(r.Name().size(), 249u);
  EXPECT_EQ(r.name[249], u'\0');
  r.SetName(u"short");
  EXPECT_EQ(r.Name(), u"short");
  EXPECT_EQ(r.name[5], u'\0');
  EXPECT_EQ(r.name[200], u'\0') << "the rest of the field is zero";
}

}  // namespace
}  // namespace kst
