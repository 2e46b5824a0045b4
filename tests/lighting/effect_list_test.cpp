#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "lighting/EffectList.h"

namespace kst {
namespace {

SettingsBlock WithCodes(const std::vector<std::uint8_t>& codes) {
  SettingsBlock block{};
  block.fill(0x5A);  // the other bytes of the block are not codes
  std::fill(block.begin() + kSettingsEffectCodes, block.end(), 0);
  std::copy(codes.begin(), codes.end(), block.begin() + kSettingsEffectCodes);
  return block;
}

std::vector<std::uint8_t> Codes(const LightingState& s) {
  std::vector<std::uint8_t> out;
  for (int i = 0; i < s.effectCount; ++i) {
    EXPECT_EQ(s.effectList[static_cast<std::size_t>(i)].listIndex, i);
    out.push_back(s.effectList[static_cast<std::size_t>(i)].code);
  }
  return out;
}

TEST(EffectListTest, ListsOfferedCodesInOrderSkippingEmptyAndUnknown) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> offered;
    std::vector<std::uint8_t> listed;
  };
  std::vector<std::uint8_t> full;
  for (int i = 0; i < 32; ++i) full.push_back(static_cast<std::uint8_t>(i % 18 + 1));
  std::vector<std::uint8_t> unknownOnly = {0, 19, 24, 25, 128, 255};
  const Case cases[] = {
      {"1, 4, 20", {1, 4, 20}, {1, 4, 20}},
      {"gaps and unknown codes", {0, 23, 19, 0, 24, 2, 255, 20}, {23, 2, 20}},
      {"nothing offered", {}, {}},
      {"only unknown codes", unknownOnly, {}},
      {"all 32 slots", full, full},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LightingState s;
    s.effectCount = 5;  // a previous list is replaced
    EXPECT_EQ(LoadEffectList(WithCodes(c.offered), s), static_cast<int>(c.listed.size()));
    EXPECT_EQ(Codes(s), c.listed);
  }
}

TEST(EffectListTest, CodeMapsToItsFirstEntry) {
  LightingState s;
  LoadEffectList(WithCodes({5, 7, 5}), s);
  EXPECT_EQ(EffectListIndex(s, 5), 0);
  EXPECT_EQ(EffectListIndex(s, 7), 1);
  EXPECT_EQ(EffectListIndex(s, 20), -1);
}

TEST(EffectListTest, NamesComeFromTheModeSectionOrAreOne) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto write = [&](const char* name, const QByteArray& text) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
  };
  const QString lang = write("Lang0409.ini", "[Main]\n4=Not this\n[mode]\n1 = Wave\n4=Breath\n");
  const QString noMode = write("Lang0407.ini", "[Main]\n1=Wave\n");
  EXPECT_EQ(EffectName(lang, 1), "Wave");
  EXPECT_EQ(EffectName(lang, 4), "Breath");
  EXPECT_EQ(EffectName(lang, 20), "1");
  EXPECT_EQ(EffectName(noMode, 1), "1");
  EXPECT_EQ(EffectName(dir.filePath("missing.ini"), 1), "1");
}

}  // namespace
}  // namespace kst
