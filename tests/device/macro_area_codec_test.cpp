#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/MacroArea.h"
#include "store/MacroRecord.h"

namespace kst {
namespace {

MacroRecord Macro(std::u16string_view name, std::vector<MacroEvent> events, std::uint8_t repeat = 1,
                  std::uint16_t number = 1) {
  MacroRecord r;
  r.SetName(name);
  r.repeatCount = repeat;
  r.number = number;
  r.eventCount = static_cast<std::uint16_t>(events.size());
  std::copy(events.begin(), events.end(), r.events.begin());
  return r;
}

std::array<std::uint8_t, 4> EventBytes(const MacroEvent& e) {
  std::array<std::uint8_t, 4> out{};
  EncodeMacroAreaEvent(e, out);
  return out;
}

void PutU16(std::vector<std::uint8_t>& area, std::size_t at, std::uint16_t v) {
  area[at] = static_cast<std::uint8_t>(v);
  area[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

TEST(MacroAreaEventTest, WordAndDataBytesByKeyClass) {
  struct Case {
    MacroEvent event;
    std::array<std::uint8_t, 4> bytes;
  };
  const Case cases[] = {
      {{40000, 0x01E, kEventPress}, {0xA0, 0xAF, 0x02, 0x04}},    // word 0xAFA0
      {{40000, 0x01E, kEventRelease}, {0xA0, 0x2F, 0x02, 0x04}},  // word 0x2FA0
      {{0, 0x02A, kEventPress}, {0x00, 0xA0, 0x01, 0x02}},        // left shift by its bit
      {{10, 0x15C, kEventRelease}, {0x01, 0x20, 0x01, 0x80}},
      {{20, 0x120, kEventPress}, {0x02, 0xA0, 0x02, 0xCD}},  // consumer keys go as class 7
      {{0, 0x171, kEventPress}, {0x00, 0x90, 0x01, 0x01}},   // mouse left
      {{0, 0x162, kEventPress}, {0x00, 0x90, 0x05, 0xFF}},   // wheel down
      {{0, 0x15E, kEventPress}, {0x00, 0xC0, 0x81, 0x00}},   // power: system
      {{0, 0x000, kEventPress}, {0x00, 0x80, 0x00, 0x00}},   // no key
      {{15, 0x01E, 2}, {0x01, 0xA0, 0x02, 0x04}},            // only 1 is a release; 15 ms -> 1 unit
      {{50000, 0x01E, kEventRelease}, {0xFF, 0x2F, 0x02, 0x04}},  // held at the longest delay
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EventBytes(c.event), c.bytes)
        << c.event.delayMs << " " << std::hex << c.event.key << " " << c.event.direction;
  }
}

TEST(MacroAreaEventTest, DecodesWhatItEncodes) {
  const MacroEvent events[] = {
      {40000, 0x01E, kEventPress}, {10, 0x02A, kEventRelease}, {0, 0x171, kEventPress},
      {990, 0x162, kEventRelease}, {30, 0x15E, kEventPress},   {0, 0x15C, kEventRelease},
  };
  for (const MacroEvent& e : events) {
    const auto bytes = EventBytes(e);
    EXPECT_EQ(DecodeMacroAreaEvent(bytes), e) << std::hex << e.key;
  }
}

TEST(MacroAreaSizeTest, HeaderOffsetsBlocksAndNames) {
  const std::vector<MacroRecord> none;
  EXPECT_EQ(MacroAreaSizeWithNames(none), 16u);
  EXPECT_EQ(MacroAreaSizeWithoutNames(none), 16u);

  const std::vector<MacroRecord> one{
      Macro(u"ab", {{100, 0x01E, kEventPress}, {0, 0x01E, kEventRelease}}, 3)};
  EXPECT_EQ(MacroAreaSizeWithNames(one), 34u);
  EXPECT_EQ(MacroAreaSizeWithoutNames(one), 30u);

  // A stored event count above 2000 counts as 2000.
  std::vector<MacroRecord> damaged{Macro(u"", {})};
  damaged[0].eventCount = 60000;
  EXPECT_EQ(MacroAreaSizeWithoutNames(damaged), 16u + 2 + 4 + 4 * 2000);
}

TEST(EncodeMacroAreaTest, OneMacroWithAndWithoutNames) {
  const std::vector<MacroRecord> one{
      Macro(u"ab", {{100, 0x01E, kEventPress}, {0, 0x01E, kEventRelease}}, 3)};
  std::vector<std::uint8_t> area(34);
  ASSERT_EQ(EncodeMacroArea(one, area, true), 1);
  const std::vector<std::uint8_t> withNames = {
      0xAA, 0x55, 34,  0, 1,    0,    1, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // header
      18,   0,                                                       // offset of block 0
      2,    0,    3,   2,                                            // events, repeat, name length
      0x0A, 0xA0, 2,   4, 0x00, 0x20, 2, 4,                          // press A, release A
      'a',  0,    'b', 0};
  EXPECT_EQ(area, withNames);

  area.assign(30, 0xEE);
  ASSERT_EQ(EncodeMacroArea(one, area, false), 1);
  const std::vector<std::uint8_t> withoutNames = {0xAA, 0x55, 30,   0,    1, 0, 0,    0,    0, 0,
                                                  0,    0,    0,    0,    0, 0, 18,   0,    2, 0,
                                                  3,    0,    0x0A, 0xA0, 2, 4, 0x00, 0x20, 2, 4};
  EXPECT_EQ(area, withoutNames);
}

TEST(EncodeMacroAreaTest, RefusesABufferOfTheWrongSize) {
  const std::vector<MacroRecord> one{Macro(u"ab", {{0, 0x01E, kEventPress}})};
  std::vector<std::uint8_t> area(29, 0xEE);
  EXPECT_EQ(EncodeMacroArea(one, area, true), 0);
  EXPECT_EQ(EncodeMacroArea(one, area, false), 0);
  EXPECT_EQ(area, std::vector<std::uint8_t>(29, 0xEE));
}

TEST(DecodeMacroAreaTest, RebuildsRecordsInListOrder) {
  const std::vector<MacroRecord> macros{
      Macro(u"first", {{100, 0x01E, kEventPress}, {0, 0x01E, kEventRelease}}, 3, 7),
      Macro(u"", {}, 1, 2),
      Macro(u"x", {{40000, 0x171, kEventPress}}, 255, 9),
  };
  for (bool names : {true, false}) {
    const std::size_t size =
        names ? MacroAreaSizeWithNames(macros) : MacroAreaSizeWithoutNames(macros);
    std::vector<std::uint8_t> area(size);
    ASSERT_EQ(EncodeMacroArea(macros, area, names), 1);
    std::vector<MacroRecord> out;
    ASSERT_EQ(DecodeMacroArea(area, 3, out, u"Macro "), 1);
    ASSERT_EQ(out.size(), 3u);
    for (std::size_t r = 0; r < out.size(); ++r) {
      EXPECT_EQ(out[r].number, r + 1);
      EXPECT_EQ(out[r].fresh, 0);
      EXPECT_EQ(out[r].repeatCount, macros[r].repeatCount);
      ASSERT_EQ(out[r].eventCount, macros[r].eventCount);
      for (std::size_t e = 0; e < out[r].eventCount; ++e) {
        EXPECT_EQ(out[r].events[e], macros[r].events[e]);
      }
    }
    // Without a name in the area a record is named by the prefix and its number.
    EXPECT_EQ(out[0].Name(), names ? u"first" : u"Macro 1");
    EXPECT_EQ(out[1].Name(), u"Macro 2");
    EXPECT_EQ(out[2].Name(), names ? u"x" : u"Macro 3");
  }
}

// Areas as a damaged or hostile keyboard could return them. Each must be
// refused without reading outside the area.
TEST(DecodeMacroAreaTest, RefusesAreasThatDoNotHoldTogether) {
  const std::vector<MacroRecord> one{Macro(u"ab", {{0, 0x01E, kEventPress}})};
  std::vector<std::uint8_t> good(MacroAreaSizeWithNames(one));
  ASSERT_EQ(EncodeMacroArea(one, good, true), 1);  // 16 + 2 + 4 + 4 + 4 = 30; block at 18

  struct Case {
    const char* what;
    int count;
    std::vector<std::uint8_t> area;
  };
  std::vector<Case> cases;
  cases.push_back({"negative count", -1, good});
  cases.push_back({"count above 100", 101, std::vector<std::uint8_t>(16 + 2 * 101 + 4 * 101)});
  cases.push_back({"shorter than its offset table", 8, good});
  {
    auto a = good;
    PutU16(a, 16, 30);  // block starts at the end of the area
    cases.push_back({"offset at the end", 1, a});
  }
  {
    auto a = good;
    PutU16(a, 16, 0xFFFF);
    cases.push_back({"offset past the area", 1, a});
  }
  {
    auto a = good;
    PutU16(a, 16, 4);
    cases.push_back({"offset inside the header", 1, a});
  }
  {
    auto a = good;
    PutU16(a, 18, 3);  // three events, room for one
    cases.push_back({"events past the area", 1, a});
  }
  {
    auto a = good;
    a[21] = 3;  // name of three characters, room for two
    cases.push_back({"name past the area", 1, a});
  }
  {
    auto a = good;
    a.resize(26);  // area ends inside the name
    cases.push_back({"area cut short", 1, a});
  }
  {
    auto a = good;
    a[21] = 250;  // longer than a record's name field
    a.resize(18 + 4 + 4 + 500, 0x41);
    cases.push_back({"name longer than a record holds", 1, a});
  }
  {
    std::vector<std::uint8_t> a(18 + 4 + 4 * 2001);
    PutU16(a, 16, 18);
    PutU16(a, 18, 2001);
    cases.push_back({"more events than a record holds", 1, a});
  }
  for (const Case& c : cases) {
    std::vector<MacroRecord> out(1);
    EXPECT_EQ(DecodeMacroArea(c.area, c.count, out, u"M"), 0) << c.what;
    EXPECT_TRUE(out.empty()) << c.what;
  }
}

TEST(MacroAreaHeaderTest, ReadsTheFourWordsOfAnySixteenBytes) {
  const std::vector<std::uint8_t> bytes = {0xAA, 0x55, 0x34, 0x12, 0x02, 0x00, 0x01, 0x00,
                                           9,    9,    9,    9,    9,    9,    9,    9};
  const auto header = ReadMacroAreaHeader(bytes);
  ASSERT_TRUE(header.has_value());
  EXPECT_EQ(header->magic, kMacroAreaMagic);
  EXPECT_EQ(header->length, 0x1234);
  EXPECT_EQ(header->count, 2);
  EXPECT_EQ(header->names, 1);
  EXPECT_FALSE(ReadMacroAreaHeader(std::span(bytes).first(15)).has_value());
}

}  // namespace
}  // namespace kst
