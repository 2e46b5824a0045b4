#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "lighting/LightingReload.h"
#include "lighting_harness.h"

namespace kst {
namespace {

using lightingtest::Bytes;

class LightingReloadTest : public lightingtest::LightingSimFixture {
 protected:
  QTemporaryDir dir;
  QString wskb;
  LightingRecords records{};

  void SetUp() override {
    LightingSimFixture::SetUp();
    ASSERT_TRUE(dir.isValid());
    wskb = dir.filePath("wskb.ini");
  }
  void WriteSwitch(const QByteArray& text) {
    QFile file(wskb);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
  }
};

// The record of the active profile in the keyboard, with report rate byte 7
// and colour choice byte 9, shows report rate 3 and red.
TEST_F(LightingReloadTest, ReadsListAndActiveRecordFromTheKeyboard) {
  Sim("write settings 12 01041413" + std::string(28 * 2, '0'));
  Poke(42, "0C03010000112233");
  Poke(42 + 15, "07");
  Poke(42 + 17, "09");
  state.activeProfile = 1;
  state.colourChoice = 2;
  ASSERT_EQ(ReloadLighting(*device, state, records, wskb, ReloadKind::Normal), 1);
  ASSERT_EQ(state.effectCount, 3);  // 19 has no parameter set
  EXPECT_EQ(state.effectList[2].code, 20);
  EXPECT_EQ(state.effect, 12);
  EXPECT_EQ(state.brightness, 3);
  EXPECT_EQ(state.speed, 1);
  EXPECT_EQ(state.colour, 0x332211u);
  EXPECT_EQ(state.reportRate, 3);
  EXPECT_EQ(state.colourChoice, 0);
  const Bytes area = Parameters();
  for (std::size_t r = 0; r < kLightingRecordCount; ++r) {
    EXPECT_TRUE(std::equal(records[r].begin(), records[r].end(), area.begin() + 42 * r)) << r;
  }
  EXPECT_FALSE(device->unheldCommand);
}

TEST_F(LightingReloadTest, EditModeFollowsTheSwitchByKind) {
  struct Case {
    const char* name;
    QByteArray file;  // empty: no file
    bool before;
    ReloadKind kind;
    bool after;
  };
  const Case cases[] = {
      {"on restores", "[KEYCOLOR]\nDengCheck=1\n", false, ReloadKind::Normal, true},
      {"off keeps on", "[KEYCOLOR]\nDengCheck=0\n", true, ReloadKind::Normal, true},
      {"missing keeps on", "", true, ReloadKind::Normal, true},
      {"connect: off turns off", "[KEYCOLOR]\nDengCheck=0\n", true, ReloadKind::Connect, false},
      {"connect: missing turns off", "", true, ReloadKind::Connect, false},
      {"connect: other text is off", "[KEYCOLOR]\nDengCheck=yes\n", true, ReloadKind::Connect,
       false},
      {"connect: on", "[keycolor]\ndengcheck = 1\n", false, ReloadKind::Connect, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(wskb);
    if (!c.file.isEmpty()) WriteSwitch(c.file);
    state.editMode = c.before;
    ASSERT_EQ(ReloadLighting(*device, state, records, wskb, c.kind), 1);
    EXPECT_EQ(state.editMode, c.after);
  }
}

// An unreadable settings block gives -1 with an empty effect list; the rest
// of the state keeps its values and no record is read.
TEST_F(LightingReloadTest, UnreadableSettingsKeepTheState) {
  Sim("fault status-ff every");
  state.effectCount = 2;
  state.effect = 5;
  state.brightness = 1;
  WriteSwitch("[KEYCOLOR]\nDengCheck=1\n");
  EXPECT_EQ(ReloadLighting(*device, state, records, wskb, ReloadKind::Normal), -1);
  EXPECT_EQ(state.effectCount, 0);
  EXPECT_EQ(state.effect, 5);
  EXPECT_EQ(state.brightness, 1);
  EXPECT_FALSE(state.editMode);
  EXPECT_EQ(device->log, (std::vector<std::string>{"settings"}));
}

}  // namespace
}  // namespace kst
