#include <array>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "device/KeyMap.h"
#include "store/ProfileFormat.h"

namespace kst {
namespace {

// A small factory map: a few keys at known positions, the rest of the
// records empty, the device bytes after the records a recognisable pattern.
constexpr int kPosA = 0;        // A: 2, 2, 0x04
constexpr int kPosShift = 1;    // left shift: 2, 1, 0x02
constexpr int kPosG1 = 2;       // G1 of bank A: 6, 0xA2, 1
constexpr int kPosMouse = 3;    // mouse left: 1, 1, 0x01
constexpr int kPosEmpty = 4;    // no key
constexpr int kPosUnknown = 5;  // a record naming no key: 7, 0, 0

std::array<std::uint8_t, kKeyMapBytes> FactoryMap() {
  std::array<std::uint8_t, kKeyMapBytes> map{};
  WriteKeyRecord(map, kPosA, {2, 2, 0x04});
  WriteKeyRecord(map, kPosShift, {2, 1, 0x02});
  WriteKeyRecord(map, kPosG1, {6, 0xA2, 1});
  WriteKeyRecord(map, kPosMouse, {1, 1, 0x01});
  WriteKeyRecord(map, kPosUnknown, {7, 0, 0});
  for (std::size_t i = kKeyMapRecordBytes; i < kKeyMapBytes; ++i) {
    map[i] = static_cast<std::uint8_t>(i * 7);
  }
  return map;
}

KeyAssignment Entry(AssignmentKind kind, std::uint32_t param) {
  KeyAssignment e;
  e.kind = static_cast<std::uint16_t>(kind);
  e.param = param;
  return e;
}

// Macro numbers 7 and 3 in list order.
int MacroIndex(std::uint32_t number) { return number == 3 ? 1 : 0; }

TEST(EncodeKeyMapTest, EachKindGivesItsRecord) {
  struct Case {
    KeyAssignment entry;
    KeyRecord record;
  };
  const KeyRecord factoryA{2, 2, 0x04};
  const Case cases[] = {
      {Entry(AssignmentKind::Default, 0), factoryA},
      {Entry(AssignmentKind::LaunchProgram, 40), factoryA},
      {Entry(AssignmentKind::Disabled, 0), {0, 0, 0}},
      {Entry(AssignmentKind::TextBlock, 8), {0, 0, 0}},
      {Entry(AssignmentKind::SingleKey, 0x120), {2, 2, 0xCD}},  // Mute
      {Entry(AssignmentKind::SingleKey, 0x02A), {2, 1, 0x02}},
      {Entry(AssignmentKind::SingleKey, 0x15C), {2, 1, 0x80}},
      {Entry(AssignmentKind::SingleKey, 0x162), {1, 5, 0xFF}},
      {Entry(AssignmentKind::SingleKey, 0x173), {1, 1, 0x04}},
      {Entry(AssignmentKind::SingleKey, 0x15E), {2, 2, 0x00}},  // power is no keyboard usage
      {Entry(AssignmentKind::SingleKey, 0x1001E), {2, 2, 0x00}},
      {Entry(AssignmentKind::PlayMacro, 3), {5, 1, 1}},
      {Entry(AssignmentKind::PlayMacro, 55), {5, 1, 0}},  // not in the list: the first
      {Entry(AssignmentKind::StopMacro, 0), {5, 2, 0}},
      {Entry(AssignmentKind::MediaKey, 0), {3, 0x83, 0x01}},
      {Entry(AssignmentKind::MediaKey, 7), {3, 0xE2, 0x00}},
      {Entry(AssignmentKind::MediaKey, 18), factoryA},  // outside the table
      {Entry(AssignmentKind::FunctionKey, 0x1234), {5, 5, 0x34}},
      {KeyAssignment{9, 0, 5, 0, 0}, factoryA},  // a kind from a newer file
  };
  const auto factory = FactoryMap();
  for (const Case& c : cases) {
    for (int profile = 0; profile < kProfileCount; ++profile) {
      auto block = MakeDefaultProfileBlock();
      WriteEntry(*block, EntryIndex(profile, 0x1E), c.entry);
      std::array<std::uint8_t, kKeyMapBytes> out{};
      EncodeKeyMap(factory, *block, profile, MacroIndex, out);
      EXPECT_EQ(ReadKeyRecord(out, kPosA), c.record)
          << "kind " << c.entry.kind << " param " << c.entry.param << " profile " << profile;
      // Nothing else moves.
      for (int k = 1; k < kKeyMapRecords; ++k) {
        ASSERT_EQ(ReadKeyRecord(out, k), ReadKeyRecord(factory, k)) << k;
      }
      ASSERT_TRUE(std::equal(out.begin() + kKeyMapRecordBytes, out.end(),
                             factory.begin() + kKeyMapRecordBytes));
    }
  }
}

TEST(EncodeKeyMapTest, UsesTheSlotOfTheFactoryKeyAndOnlyTheGivenProfile) {
  const auto factory = FactoryMap();
  auto block = MakeDefaultProfileBlock();
  WriteEntry(*block, EntryIndex(2, 256), Entry(AssignmentKind::StopMacro, 0));  // G1
  WriteEntry(*block, EntryIndex(2, SlotFromKeyIndex(0x171)), Entry(AssignmentKind::Disabled, 0));
  WriteEntry(*block, EntryIndex(1, 0x02A), Entry(AssignmentKind::Disabled, 0));  // other profile
  WriteEntry(*block, EntryIndex(2, 0), Entry(AssignmentKind::Disabled, 0));      // slot 0
  std::array<std::uint8_t, kKeyMapBytes> out{};
  EncodeKeyMap(factory, *block, 2, MacroIndex, out);
  EXPECT_EQ(ReadKeyRecord(out, kPosG1), (KeyRecord{5, 2, 0}));
  EXPECT_EQ(ReadKeyRecord(out, kPosMouse), (KeyRecord{0, 0, 0}));
  EXPECT_EQ(ReadKeyRecord(out, kPosShift), (KeyRecord{2, 1, 0x02}));
  EXPECT_EQ(ReadKeyRecord(out, kPosEmpty), (KeyRecord{0, 0, 0}));
  EXPECT_EQ(ReadKeyRecord(out, kPosUnknown), (KeyRecord{7, 0, 0}));

  // A profile number outside 0-3 yields the factory map.
  EncodeKeyMap(factory, *block, 4, MacroIndex, out);
  EXPECT_EQ(out, factory);
}

TEST(DecodeKeyMapTest, EachRecordGivesItsEntry) {
  struct Case {
    KeyRecord record;
    AssignmentKind kind;
    std::uint32_t param;
  };
  const Case cases[] = {
      {{2, 2, 0x04}, AssignmentKind::Default, 0},  // equal to the factory record
      {{0, 0, 0}, AssignmentKind::Disabled, 0},
      {{5, 1, 3}, AssignmentKind::PlayMacro, 4},
      {{5, 1, 0xFF}, AssignmentKind::PlayMacro, 256},
      {{5, 2, 9}, AssignmentKind::StopMacro, 0},
      {{5, 5, 7}, AssignmentKind::FunctionKey, 7},
      {{5, 9, 0}, AssignmentKind::Disabled, 0},
      {{3, 0xE2, 0x00}, AssignmentKind::MediaKey, 7},
      {{3, 0x8A, 0x01}, AssignmentKind::MediaKey, 17},
      {{3, 0x34, 0x12}, AssignmentKind::Disabled, 0},
      {{1, 1, 0x02}, AssignmentKind::SingleKey, 0x172},
      {{1, 5, 0xFF}, AssignmentKind::SingleKey, 0x162},
      {{1, 1, 0x08}, AssignmentKind::SingleKey, 0},
      {{2, 2, 0xCD}, AssignmentKind::SingleKey, 0x120},
      {{2, 2, 0x00}, AssignmentKind::Disabled, 0},
      {{2, 1, 0x80}, AssignmentKind::SingleKey, 0x15C},
      {{2, 3, 0x01}, AssignmentKind::Disabled, 0},
      {{4, 0x81, 0x00}, AssignmentKind::Disabled, 0},
      {{6, 0xA2, 1}, AssignmentKind::Disabled, 0},
      {{0xFF, 0xFF, 0xFF}, AssignmentKind::Disabled, 0},
  };
  const auto factory = FactoryMap();
  for (const Case& c : cases) {
    auto map = factory;
    WriteKeyRecord(map, kPosA, c.record);
    std::array<KeyAssignment, kSlotsPerProfile> entries;
    entries.fill(Entry(AssignmentKind::TextBlock, 99));  // stale content
    DecodeKeyMap(map, factory, entries);
    const KeyAssignment& a = entries[0x1E];
    EXPECT_EQ(a.kind, static_cast<std::uint16_t>(c.kind))
        << int(c.record.type) << "," << int(c.record.b1) << "," << int(c.record.b2);
    EXPECT_EQ(a.param, c.param);
    EXPECT_EQ(a.extra, 0);
    for (int slot = 0; slot < kSlotsPerProfile; ++slot) {
      if (slot == 0x1E) continue;
      KeyAssignment expected;
      expected.extra = GKeyCode(slot);
      ASSERT_EQ(entries[slot], expected) << slot;
    }
  }
}

TEST(DecodeKeyMapTest, KeepsGKeyCodesAndIgnoresPositionsWithoutAKey) {
  const auto factory = FactoryMap();
  auto map = factory;
  WriteKeyRecord(map, kPosG1, {5, 2, 0});
  WriteKeyRecord(map, kPosEmpty, {5, 5, 1});    // factory names no key: slot 0, skipped
  WriteKeyRecord(map, kPosUnknown, {5, 5, 1});  // likewise
  std::array<KeyAssignment, kSlotsPerProfile> entries{};
  DecodeKeyMap(map, factory, entries);
  EXPECT_EQ(entries[256].kind, static_cast<std::uint16_t>(AssignmentKind::StopMacro));
  EXPECT_EQ(entries[256].extra, 0x0301);
  EXPECT_EQ(entries[0], KeyAssignment{});
}

TEST(KeyMapRoundTripTest, EveryExpressibleEntrySurvives) {
  const auto factory = FactoryMap();
  const KeyAssignment cases[] = {
      Entry(AssignmentKind::Disabled, 0),      Entry(AssignmentKind::SingleKey, 0x120),
      Entry(AssignmentKind::SingleKey, 0x038), Entry(AssignmentKind::SingleKey, 0x161),
      Entry(AssignmentKind::PlayMacro, 2),     Entry(AssignmentKind::StopMacro, 0),
      Entry(AssignmentKind::MediaKey, 17),     Entry(AssignmentKind::FunctionKey, 200),
  };
  for (const KeyAssignment& entry : cases) {
    auto block = MakeDefaultProfileBlock();
    WriteEntry(*block, EntryIndex(3, 256), entry);
    std::array<std::uint8_t, kKeyMapBytes> map{};
    EncodeKeyMap(
        factory, *block, 3, [](std::uint32_t n) { return int(n) - 1; }, map);
    std::array<KeyAssignment, kSlotsPerProfile> entries{};
    DecodeKeyMap(map, factory, entries);
    KeyAssignment expected = entry;
    expected.extra = 0x0301;
    EXPECT_EQ(entries[256], expected) << entry.kind << " " << entry.param;
  }
}

}  // namespace
}  // namespace kst
