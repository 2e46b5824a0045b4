// Lighting changes against the simulated keyboard: every expectation is on
// the bytes in the keyboard's parameter area and on the commands it got.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "lighting/EffectList.h"
#include "lighting/LightingWriter.h"
#include "lighting_harness.h"

namespace kst {
namespace {

using lightingtest::Bytes;

class LightingWriterTest : public lightingtest::LightingSimFixture {
 protected:
  // Offered codes 1, 4, 2, 20 (list indices 0-3); profile 2 active with its
  // record read from the keyboard.
  void LoadProfile2() {
    Sim("write settings 12 01040214" + std::string(28 * 2, '0'));
    SettingsBlock settings{};
    ASSERT_EQ(linkDevice->ReadSettings(settings), 1);
    ASSERT_EQ(LoadEffectList(settings, state), 4);
    LightingRecords records{};
    ASSERT_EQ(ReadLightingRecords(*linkDevice, records), 1);
    state.activeProfile = 2;
    ASSERT_TRUE(DecodeLightingRecord(records[2], state));
  }
};

// Each change writes its fields, one WriteParameters each, between one
// BeginUpdate/EndUpdate pair, and changes exactly those bytes of profile 2's
// record (offset 84) in the keyboard.
TEST_F(LightingWriterTest, EachChangeWritesItsFieldsAtTheActiveRecord) {
  struct Case {
    const char* name;
    std::function<int(LightingWriter&, LightingState&)> change;
    std::vector<std::string> writes;
    std::map<std::size_t, std::uint8_t> changed;  // parameter area offset -> byte
  };
  const Case cases[] = {
      {"effect 2 with multicolour writes bytes 0 and 4",
       [](LightingWriter& w, LightingState& s) {
         s.multicolour = true;
         return w.SelectEffect(2);
       },
       {"write 84: 02", "write 88: 01"},
       {{84, 2}, {88, 1}}},
      {"effect 4 writes only byte 0",
       [](LightingWriter& w, LightingState& s) {
         s.multicolour = true;
         return w.SelectEffect(1);
       },
       {"write 84: 04"},
       {{84, 4}}},
      {"effect 20 writes only byte 0",
       [](LightingWriter& w, LightingState&) { return w.SelectEffect(3); },
       {"write 84: 14"},
       {{84, 20}}},
      {"brightness",
       [](LightingWriter& w, LightingState&) { return w.SetBrightness(1); },
       {"write 85: 01"},
       {{85, 1}}},
      {"speed",
       [](LightingWriter& w, LightingState&) { return w.SetSpeed(4); },
       {"write 86: 04"},
       {{86, 4}}},
      {"direction",
       [](LightingWriter& w, LightingState&) { return w.SetDirection(0xFF); },
       {"write 87: FF"},
       {{87, 0xFF}}},
      {"colour turns multicolour off",
       [](LightingWriter& w, LightingState&) { return w.SetColour(0xAA302010); },
       {"write 88: 00", "write 89: 10 20 30"},
       {{88, 0}, {89, 0x10}, {90, 0x20}, {91, 0x30}}},
      {"multicolour toggled off",
       [](LightingWriter& w, LightingState&) { return w.ToggleMulticolour(); },
       {"write 88: 00"},
       {{88, 0}}},
      {"colour choice",
       [](LightingWriter& w, LightingState&) { return w.SetColourChoice(3); },
       {"write 101: 03"},
       {{101, 3}}},
      {"report rate",
       [](LightingWriter& w, LightingState&) { return w.SetReportRate(2); },
       {"write 99: 02"},
       {{99, 2}}},
      {"base colour",
       [](LightingWriter& w, LightingState&) { return w.WriteBaseColour(0x0C0B0A); },
       {"write 93: 0A 0B 0C"},
       {{93, 0x0A}, {94, 0x0B}, {95, 0x0C}}},
  };
  LoadProfile2();
  const LightingState loaded = state;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The factory record of profile 2: effect 8, brightness 4, speed 2,
    // direction 0, multicolour 0xFF, white.
    Poke(84, "0804020000FFFFFFFF000000000000000000000000");
    state = loaded;
    const Bytes before = Parameters();
    ASSERT_EQ(before.size(), 252u);
    device->log.clear();
    LightingWriter writer(*device, state);
    EXPECT_EQ(c.change(writer, state), 1);
    std::vector<std::string> expected = {"begin"};
    expected.insert(expected.end(), c.writes.begin(), c.writes.end());
    expected.push_back("end");
    EXPECT_EQ(device->log, expected);
    Bytes after = before;
    for (const auto& [offset, value] : c.changed) after[offset] = value;
    EXPECT_EQ(Parameters(), after);
  }
  EXPECT_FALSE(device->unheldCommand);
}

// A slider move to the value already stored sends nothing at all; bad
// arguments send nothing and leave the state alone.
TEST_F(LightingWriterTest, UnchangedValuesAndBadArgumentsSendNothing) {
  LoadProfile2();
  const Bytes before = Parameters();
  const LightingState loaded = state;
  Sim("reports clear");
  LightingWriter writer(*device, state);
  EXPECT_EQ(writer.SetBrightness(4), 0);
  EXPECT_EQ(writer.SetSpeed(2), 0);
  for (const int bad : {-1, 5, 256}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(writer.SetBrightness(bad), kDeviceBadArgument);
    EXPECT_EQ(writer.SetSpeed(bad), kDeviceBadArgument);
    EXPECT_EQ(writer.SetReportRate(bad == 5 ? 4 : bad), kDeviceBadArgument);
    EXPECT_EQ(writer.SetColourChoice(bad == 5 ? 4 : bad), kDeviceBadArgument);
    EXPECT_EQ(writer.SelectEffect(bad), kDeviceBadArgument);
  }
  EXPECT_EQ(writer.SetDirection(0x01), kDeviceBadArgument);
  EXPECT_EQ(writer.ResetProfileRecord(4), kDeviceBadArgument);
  state.activeProfile = 4;
  EXPECT_EQ(writer.SetColour(0x112233), kDeviceBadArgument);
  state.activeProfile = 2;
  EXPECT_EQ(CtrlRequests(), 0);
  EXPECT_TRUE(device->log.empty());
  EXPECT_EQ(Parameters(), before);
  EXPECT_EQ(state.brightness, loaded.brightness);
  EXPECT_EQ(state.effect, loaded.effect);
}

// Reading the records back: a record byte 15 = 7 shows report rate 3 and
// byte 17 = 9 shows red; writing a field afterwards never sends them back.
TEST_F(LightingWriterTest, OutOfRangeRecordBytesReadClampedAndStayUnwritten) {
  Poke(84 + 15, "07");
  Poke(84 + 17, "09");
  LoadProfile2();
  EXPECT_EQ(state.reportRate, 3);
  EXPECT_EQ(state.colourChoice, 0);
  LightingWriter writer(*device, state);
  EXPECT_EQ(writer.SetBrightness(0), 1);
  const Bytes after = Parameters();
  EXPECT_EQ(after[84 + 1], 0);
  EXPECT_EQ(after[84 + 15], 7);
  EXPECT_EQ(after[84 + 17], 9);
}

TEST_F(LightingWriterTest, ReadsAllSixRecordsInOneSequence) {
  Poke(210, "17");
  Poke(251, "5A");
  LightingRecords records{};
  ASSERT_EQ(ReadLightingRecords(*device, records), 1);
  const std::vector<std::string> expected = {"begin",    "read 0",   "read 42",  "read 84",
                                             "read 126", "read 168", "read 210", "end"};
  EXPECT_EQ(device->log, expected);
  EXPECT_FALSE(device->unheldCommand);
  const Bytes area = Parameters();
  for (std::size_t r = 0; r < kLightingRecordCount; ++r) {
    EXPECT_TRUE(std::equal(records[r].begin(), records[r].end(), area.begin() + 42 * r)) << r;
  }
  EXPECT_EQ(records[5][0], 0x17);
  EXPECT_EQ(records[5][41], 0x5A);
}

// Resetting profile 3 writes its 35-byte default record at offset 126:
// effect 7, brightness 4, speed 2, direction 0, multicolour 0xFF, white, then
// zeros; bytes 35-41 and the other records stay.
TEST_F(LightingWriterTest, ResetOfProfile3WritesTheDefaultRecordAt126) {
  LoadProfile2();
  Poke(126, std::string(42 * 2, 'E'));
  const Bytes before = Parameters();
  const LightingState loaded = state;
  device->log.clear();
  LightingWriter writer(*device, state);
  EXPECT_EQ(writer.ResetProfileRecord(3), 1);
  ASSERT_EQ(device->log.size(), 3u);
  EXPECT_EQ(device->log[1].rfind("write 126: 07 04 02 00 FF FF FF FF 00", 0), 0u);
  Bytes expected = before;
  const Bytes head = {7, 4, 2, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  std::fill(expected.begin() + 126, expected.begin() + 126 + 35, 0);
  std::copy(head.begin(), head.end(), expected.begin() + 126);
  EXPECT_EQ(Parameters(), expected);
  // Another profile's reset leaves the working copy of profile 2 alone.
  EXPECT_EQ(state.effect, loaded.effect);
  EXPECT_EQ(state.brightness, loaded.brightness);
}

TEST_F(LightingWriterTest, ResetOfTheActiveProfileTakesTheDefaultsIntoTheState) {
  LoadProfile2();
  Poke(84, "0100040000");
  LightingWriter writer(*device, state);
  state.reportRate = 2;
  state.multicolour = false;
  EXPECT_EQ(writer.ResetProfileRecord(2), 1);
  EXPECT_EQ(state.effect, 8);
  EXPECT_EQ(state.brightness, 4);
  EXPECT_EQ(state.speed, 2);
  EXPECT_EQ(state.direction, 0);
  EXPECT_TRUE(state.multicolour);
  EXPECT_EQ(state.colour, kWhite);
  EXPECT_EQ(state.reportRate, 0);
  const Bytes area = Parameters();
  EXPECT_EQ(Bytes(area.begin() + 84, area.begin() + 92),
            (Bytes{8, 4, 2, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

// A refused write still ends the update and keeps the new value in the
// state; the result tells the caller to read the record back.
TEST_F(LightingWriterTest, RefusedWriteEndsTheUpdateAndReportsTheFailure) {
  LoadProfile2();
  const Bytes before = Parameters();
  // Every attempt of the WriteParameters after BeginUpdate is refused.
  for (const char* n : {"2", "3", "4"}) Sim(std::string("fault status-fe ") + n);
  LightingWriter writer(*device, state);
  EXPECT_EQ(writer.SetBrightness(1), kDeviceStatusFE);
  EXPECT_EQ(device->log.back(), "end");
  EXPECT_EQ(state.brightness, 1);
  EXPECT_EQ(Parameters(), before);
}

}  // namespace
}  // namespace kst
