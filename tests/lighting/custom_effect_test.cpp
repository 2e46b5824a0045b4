#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <vector>

#include "foundation/IniFile.h"
#include "lighting/CustomEffect.h"
#include "lighting/ModeFile.h"
#include "lighting_harness.h"

namespace kst {
namespace {

using lightingtest::Bytes;

class CustomEffectTest : public lightingtest::LightingSimFixture {
 protected:
  QTemporaryDir dir;
  QString modeFile;
  KeyColourTable table;
  std::vector<int> leds;

  void SetUp() override {
    LightingSimFixture::SetUp();
    ASSERT_TRUE(dir.isValid());
    modeFile = ModeFilePath(dir.path(), 1);
    for (int led = 0; led < kSentLedPositions; ++led) leds.push_back(led);
    state.activeProfile = 1;
    state.effect = kCustomEffect;
    state.userMode = 2;
    state.baseColour = MakeColorRef(0, 0, 200);
    state.paintColour = MakeColorRef(0, 150, 0);
  }
  QString Entry(int led) {
    return ReadProfileString(modeFile, "Mode2", QString::number(led), "missing", 260);
  }
};

// A key painted with tool 1 takes the base colour and follows the next
// base-colour change; a key painted with tool 0 keeps its colour. Checked in
// the keyboard's colour area, its record and the mode file.
TEST_F(CustomEffectTest, BaseKeysFollowTheBaseColourAndPaintedKeysKeepTheirs) {
  state.tool = 1;
  ASSERT_EQ(PaintKey(*device, state, table, modeFile, 30), 1);
  state.tool = 0;
  ASSERT_EQ(PaintKey(*device, state, table, modeFile, 31), 1);
  EXPECT_EQ(KeyboardColour(1, 30), (Bytes{0, 0, 200}));
  EXPECT_EQ(KeyboardColour(1, 31), (Bytes{0, 150, 0}));
  EXPECT_EQ(Entry(30), "0,0,200,1");
  EXPECT_EQ(Entry(31), "0,150,0,0");

  device->log.clear();
  ASSERT_EQ(SetBaseColour(*device, state, table, modeFile, leds, MakeColorRef(9, 8, 7)), 1);
  EXPECT_EQ(KeyboardColour(1, 30), (Bytes{9, 8, 7}));
  EXPECT_EQ(KeyboardColour(1, 31), (Bytes{0, 150, 0}));
  EXPECT_EQ(Entry(30), "9,8,7,1");
  EXPECT_EQ(Entry(31), "0,150,0,0");
  EXPECT_EQ(ReadProfileString(modeFile, "Mode2", "jcolor", "", 260), "9,8,7");
  const Bytes area = Parameters();
  EXPECT_EQ(Bytes(area.begin() + 42 + 9, area.begin() + 42 + 12), (Bytes{9, 8, 7}));
  // Keys never painted start with base flag 0 in this table, so they stay.
  EXPECT_EQ(table.Colour(1, 29), 0u);
  EXPECT_FALSE(device->unheldCommand);

  // The same colour again changes no key but still writes the record bytes.
  device->log.clear();
  ASSERT_EQ(SetBaseColour(*device, state, table, modeFile, leds, MakeColorRef(9, 8, 7)), 1);
  EXPECT_EQ(device->log, (std::vector<std::string>{"begin", "write 51: 09 08 07", "end"}));
}

TEST_F(CustomEffectTest, PaintingActsOnlyInTheCustomEffectAndOnRealPositions) {
  Sim("reports clear");
  state.effect = 1;
  EXPECT_EQ(PaintKey(*device, state, table, modeFile, 30), 0);
  state.effect = kCustomEffect;
  EXPECT_EQ(PaintKey(*device, state, table, modeFile, -1), kDeviceBadArgument);
  EXPECT_EQ(PaintKey(*device, state, table, modeFile, 170), kDeviceBadArgument);
  EXPECT_EQ(CtrlRequests(), 0);
  EXPECT_EQ(Entry(30), "missing");
  EXPECT_EQ(table.Colour(1, 30), 0u);
}

TEST_F(CustomEffectTest, BaseFlagsFollowEachProfilesRecordedBaseColour) {
  LightingRecords records{};
  records[0][9] = 5;   // profile 0: base colour (5, 0, 0)
  records[2][11] = 7;  // profile 2: base colour (0, 0, 7)
  table.SetColour(0, 3, MakeColorRef(5, 0, 0));
  table.SetColour(0, 4, MakeColorRef(0, 0, 7));
  table.SetColour(2, 4, MakeColorRef(0, 0, 7));
  table.SetBaseFlag(1, 3, true);  // profile 1: black keys match black
  table.SetColour(1, 3, MakeColorRef(1, 0, 0));
  DeriveBaseFlags(records, leds, table);
  EXPECT_EQ(table.BaseFlag(0, 3), true);
  EXPECT_EQ(table.BaseFlag(0, 4), false);
  EXPECT_EQ(table.BaseFlag(2, 4), true);
  EXPECT_EQ(table.BaseFlag(2, 3), false);
  EXPECT_EQ(table.BaseFlag(1, 3), false);
  EXPECT_EQ(table.BaseFlag(1, 5), true);
}

// Tool, paint colour, name and the current user mode land in the mode file;
// selecting a user mode loads its colours and sends them to the keyboard.
TEST_F(CustomEffectTest, UserModeSettingsAreKeptInTheModeFile) {
  EXPECT_EQ(SetTool(state, modeFile, 2), kDeviceBadArgument);
  EXPECT_EQ(SetTool(state, modeFile, 1), 1);
  SetPaintColour(state, modeFile, 0xFF010203);
  EXPECT_TRUE(RenameUserMode(state, modeFile, "Evening"));
  EXPECT_EQ(ReadProfileString(modeFile, "Mode2", "tool", "", 260), "1");
  EXPECT_EQ(ReadProfileString(modeFile, "Mode2", "color", "", 260), "3,2,1");
  EXPECT_EQ(ReadProfileString(modeFile, "Mode2", "jcolor", "", 260), "0,0,200");
  EXPECT_EQ(ReadProfileString(modeFile, "MODENAME", "2", "", 260), "Evening");

  ASSERT_TRUE(WriteModeKeyEntry(modeFile, 5, 12, MakeColorRef(1, 2, 3), false));
  ASSERT_EQ(SelectUserMode(*device, state, table, modeFile, leds, 5), 1);
  EXPECT_EQ(state.userMode, 5);
  EXPECT_EQ(ReadProfileString(modeFile, "PRESENTMODE", "mode", "", 260), "5");
  EXPECT_EQ(state.tool, 0);  // mode 5 has no settings of its own
  EXPECT_EQ(KeyboardColour(1, 12), (Bytes{1, 2, 3}));
  EXPECT_EQ(KeyboardColour(1, 13), (Bytes{255, 0, 0}));
  EXPECT_EQ(SelectUserMode(*device, state, table, modeFile, leds, -1), kDeviceBadArgument);

  const QString wskb = dir.filePath("wskb.ini");
  ASSERT_TRUE(WriteEditModeSwitch(wskb, true));
  EXPECT_EQ(ReadProfileString(wskb, "KEYCOLOR", "DengCheck", "", 260), "1");
  ASSERT_TRUE(WriteEditModeSwitch(wskb, false));
  EXPECT_EQ(ReadProfileString(wskb, "KEYCOLOR", "DengCheck", "", 260), "0");
}

}  // namespace
}  // namespace kst
