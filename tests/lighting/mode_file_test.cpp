#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "lighting/ModeFile.h"
#include "lighting_harness.h"

namespace kst {
namespace {

using lightingtest::Bytes;

TEST(ModeFileTest, KeyEntriesAreReadInOrderAndClamped) {
  struct Case {
    const char* value;
    ModeKeyEntry expected;
  };
  const Case cases[] = {
      {"10,20,30,0", {MakeColorRef(10, 20, 30), false}},
      {"0,0,255,2", {MakeColorRef(0, 0, 255), true}},
      // Reading stops at "abc": blue and the flag keep their defaults.
      {"300,-1,abc,7", {MakeColorRef(255, 0, 0), true}},
      {"99999999999999999999,+7,-0,0", {MakeColorRef(255, 7, 0), false}},
      {"1,2", {MakeColorRef(1, 2, 0), true}},
      {" 5,6 ,7,0", {MakeColorRef(5, 6, 0), true}},
      {"", {}},
      {"\x01\x02\xff", {}},
      {"255,0,0,1", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ParseModeKeyEntry(QString::fromLatin1(c.value)), c.expected);
  }
  EXPECT_EQ(ParseModeColour("12,34,56"), MakeColorRef(12, 34, 56));
  EXPECT_EQ(ParseModeColour("1,x,9"), MakeColorRef(1, 0, 0));
  EXPECT_EQ(ParseModeColour("-5,256,3"), MakeColorRef(0, 255, 3));
  EXPECT_EQ(ParseModeColour(""), 0u);
}

class UserModeTest : public lightingtest::LightingSimFixture {
 protected:
  QTemporaryDir dir;
  KeyColourTable table;
  std::vector<int> leds;

  void SetUp() override {
    LightingSimFixture::SetUp();
    ASSERT_TRUE(dir.isValid());
    for (int led = 0; led < kSentLedPositions; ++led) leds.push_back(led);
  }
  QString Write(const QByteArray& text) {
    const QString path = ModeFilePath(dir.path(), 1);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    return path;
  }
};

// A missing mode file makes every key red and a follower of the base colour,
// and the keyboard receives those colours.
TEST_F(UserModeTest, MissingFileGivesRedKeysThatReachTheKeyboard) {
  state.activeProfile = 1;
  state.tool = 1;
  state.userMode = 3;
  state.baseColour = 0x123456;
  table.SetColour(1, 5, 0x00FF00);
  LoadUserMode(ModeFilePath(dir.path(), 1), leds, state, table);
  EXPECT_EQ(state.userMode, 0);
  EXPECT_EQ(state.tool, 0);
  EXPECT_EQ(state.baseColour, 0u);
  EXPECT_EQ(state.paintColour, 0u);
  EXPECT_EQ(table.Colour(1, 5), MakeColorRef(255, 0, 0));
  EXPECT_EQ(table.BaseFlag(1, 143), true);

  Sim("write colours 512 " + std::string(3 * kSentLedPositions * 2, '0'));
  ASSERT_EQ(UploadKeyColours(*device, table, 1), 1);
  const Bytes colours = SimRead("colours");
  for (int led = 0; led < kSentLedPositions; ++led) {
    const auto at = static_cast<std::size_t>(512 + 3 * led);
    ASSERT_EQ(Bytes(colours.begin() + at, colours.begin() + at + 3), (Bytes{255, 0, 0})) << led;
  }
}

TEST_F(UserModeTest, ReadsTheCurrentUserModeAndClampsBadEntries) {
  state.activeProfile = 1;
  const QString path = Write(
      "[PRESENTMODE]\nmode=2\n[Mode0]\n9=1,1,1,1\n[Mode2]\ntool=1\njcolor=1,2,3\ncolor=4,5,6\n"
      "9=0,0,255,0\n10=300,-1,abc,7\n11=\n");
  LoadUserMode(path, leds, state, table);
  EXPECT_EQ(state.userMode, 2);
  EXPECT_EQ(state.tool, 1);
  EXPECT_EQ(state.baseColour, MakeColorRef(1, 2, 3));
  EXPECT_EQ(state.paintColour, MakeColorRef(4, 5, 6));
  EXPECT_EQ(table.Colour(1, 9), MakeColorRef(0, 0, 255));
  EXPECT_EQ(table.BaseFlag(1, 9), false);
  EXPECT_EQ(table.Colour(1, 10), MakeColorRef(255, 0, 0));
  EXPECT_EQ(table.BaseFlag(1, 10), true);
  // An empty value reads as nothing: the defaults.
  EXPECT_EQ(table.Colour(1, 11), MakeColorRef(255, 0, 0));
  EXPECT_EQ(table.Colour(0, 9), 0u);  // other profiles untouched
}

TEST_F(UserModeTest, EmptyBinaryAndHugeFilesGiveDefaultsOrTheirEntries) {
  state.activeProfile = 1;
  struct Case {
    const char* name;
    QByteArray text;
    ColorRef led7;
  };
  QByteArray huge = "[Mode0]\n7=0,9,0,0\n";
  for (int i = 0; i < 10000; ++i) huge += "x" + QByteArray::number(i) + "=1,2,3,4\n";
  QByteArray binary(4096, '\0');
  for (int i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 37);
  const Case cases[] = {
      {"empty", "", MakeColorRef(255, 0, 0)},
      {"binary", binary, MakeColorRef(255, 0, 0)},
      {"10,000 lines", huge, MakeColorRef(0, 9, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadUserMode(Write(c.text), leds, state, table);
    EXPECT_EQ(state.userMode, 0);
    EXPECT_EQ(table.Colour(1, 7), c.led7);
    EXPECT_EQ(table.Colour(1, 100), MakeColorRef(255, 0, 0));
  }
}

}  // namespace
}  // namespace kst
