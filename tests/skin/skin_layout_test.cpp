#include "foundation/SkinLayout.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <climits>

#include "TestApp.h"
#include "foundation/Language.h"
#include "platform/Registry.h"

namespace kst {
namespace {

struct RectCase {
  const char* text;
  SkinRect expected;
};

TEST(ParseSkinRect, FollowsScanfFieldByField) {
  const RectCase cases[] = {
      {"10,20,30,40,extra", {10, 20, 30, 40}},
      {"1,1,1,1,x", {1, 1, 1, 1}},
      {"1,1,20,20", {1, 1, 20, 20}},
      {"a,b", {0, 0, 0, 0}},
      {"", {0, 0, 0, 0}},
      {"5", {5, 0, 0, 0}},
      {"5,6", {5, 6, 0, 0}},
      {"5,6,7", {5, 6, 7, 0}},
      {"1,2,3,", {1, 2, 3, 0}},
      {"-5,-6,-10,-20", {-5, -6, -10, -20}},
      {"+3,-4,+5,6", {3, -4, 5, 6}},
      // Blanks may precede a number, but a comma must follow a number directly.
      {" 7, 8,9 ,10", {7, 8, 9, 0}},
      {"7 ,8,9,10", {7, 0, 0, 0}},
      {"1,-,3,4", {1, 0, 0, 0}},
      {"99999999999,-99999999999,2147483647,-2147483648", {INT_MAX, INT_MIN, INT_MAX, INT_MIN}},
  };
  for (const RectCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseSkinRect(QString::fromUtf8(c.text)), c.expected);
  }
}

TEST(ReadSkinRect, MissingKeyOrFileGivesTheDefaultAndAnEmptyValueGivesZeros) {
  QTemporaryDir dir;
  const QString ini = dir.filePath("skin.ini");
  ASSERT_TRUE(test::WriteFile(ini, "[BUTTONINFO]\nCONTROL_OK=10,20,30,40,extra\nEMPTY=\n"));
  EXPECT_EQ(ReadSkinRect(ini, "BUTTONINFO", "CONTROL_OK"), (SkinRect{10, 20, 30, 40}));
  EXPECT_EQ(ReadSkinRect(ini, "buttoninfo", "control_ok"), (SkinRect{10, 20, 30, 40}));
  EXPECT_EQ(ReadSkinRect(ini, "BUTTONINFO", "MISSING"), (SkinRect{1, 1, 1, 1}));
  EXPECT_EQ(ReadSkinRect(ini, "OTHER", "CONTROL_OK"), (SkinRect{1, 1, 1, 1}));
  EXPECT_EQ(ReadSkinRect(dir.filePath("none.ini"), "BUTTONINFO", "CONTROL_OK"),
            (SkinRect{1, 1, 1, 1}));
  EXPECT_EQ(ReadSkinRect(ini, "BUTTONINFO", "EMPTY"), (SkinRect{0, 0, 0, 0}));
  EXPECT_TRUE(ReadSkinRect(ini, "BUTTONINFO", "MISSING").MarksHidden());
}

TEST(SkinPaths, ProgramAndUserFiles) {
  AppPaths paths;
  paths.programFolder = "/opt/kst";
  paths.dataFolder = "/home/u/.local/share/Z-ORMIT M350RGB";
  EXPECT_EQ(MainSkinFile(paths), "/opt/kst/Skins/Main.ini");
  EXPECT_EQ(CompositeSkinFile(paths), "/opt/kst/Skins/Composite.ini");
  EXPECT_EQ(ProfileSkinFile(paths), "/opt/kst/Skins/Profile.ini");
  EXPECT_EQ(SkinLanguageFile(paths), "/opt/kst/Skins/language.ini");
  EXPECT_EQ(ModeTemplateFile(paths), "/opt/kst/Skins/UserDengColor_4.userd");
  EXPECT_EQ(HelpFolder(paths), "/opt/kst/Help/");
  EXPECT_EQ(HelpPageFile(paths), "/opt/kst/Help/index.html");
  EXPECT_EQ(ModeFile(paths, 3), "/home/u/.local/share/Z-ORMIT M350RGB/UserDengColor_3.userd");
  EXPECT_EQ(WskbFile(paths), "/home/u/.local/share/Z-ORMIT M350RGB/wskb.ini");
}

TEST(SkinPaths, EnsureDataFolderCreatesOnceAndRefusesAFileInTheWay) {
  QTemporaryDir dir;
  AppPaths paths;
  paths.dataFolder = dir.filePath("a/b/Z-ORMIT M350RGB");
  EXPECT_EQ(EnsureDataFolder(paths), 1);
  EXPECT_TRUE(QDir(paths.dataFolder).exists());
  EXPECT_EQ(EnsureDataFolder(paths), 0);
  paths.dataFolder = dir.filePath("blocked");
  ASSERT_TRUE(test::WriteFile(paths.dataFolder, "x"));
  EXPECT_EQ(EnsureDataFolder(paths), -1);
}

class AppProfileTest : public ::testing::Test {
 protected:
  QTemporaryDir dir_;
  Registry registry_{dir_.filePath("registry.reg")};
  AppProfile profile_{registry_};
  std::optional<QString> Stored(const QString& name) {
    return registry_.GetString(kAppProfileKey, name);
  }
};

TEST_F(AppProfileTest, FlipStoresOnlyZeroOrOne) {
  const std::pair<int, const char*> writes[] = {{0, "0"}, {1, "1"}, {5, "0"}, {-1, "0"}, {2, "0"}};
  for (const auto& [value, stored] : writes) {
    SCOPED_TRACE(value);
    ASSERT_TRUE(profile_.SetFlip(value));
    EXPECT_EQ(Stored("Flip"), QString::fromLatin1(stored));
  }
}

TEST_F(AppProfileTest, FlipReadsOneOnlyForTheTextOne) {
  EXPECT_EQ(profile_.GetFlip(), 0);  // missing
  const std::pair<const char*, int> reads[] = {{"1", 1}, {"0", 0}, {"7", 0}, {"", 0}, {"1x", 0}};
  for (const auto& [text, flip] : reads) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(registry_.SetString(kAppProfileKey, "Flip", QString::fromLatin1(text)));
    EXPECT_EQ(profile_.GetFlip(), flip);
  }
}

TEST_F(AppProfileTest, ProfileValuesAreNumberedWithTwoDigits) {
  EXPECT_EQ(AppProfile::ProfileValueName(0), "PROFILE00");
  EXPECT_EQ(AppProfile::ProfileValueName(7), "PROFILE07");
  EXPECT_EQ(AppProfile::ProfileValueName(12), "PROFILE12");
  EXPECT_FALSE(profile_.GetProfileValue(1).has_value());
  ASSERT_TRUE(profile_.SetProfileValue(1, "/x/$Profile0.kst"));
  EXPECT_EQ(Stored("PROFILE01"), "/x/$Profile0.kst");
  EXPECT_EQ(profile_.GetProfileValue(1), "/x/$Profile0.kst");
}

TEST_F(AppProfileTest, RecordDelayIsStoredUnderTheCurrentLanguagesText) {
  const QString folder = dir_.filePath("program");
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(test::WriteFile(folder + "/Lang0409.ini",
                              "[TEXT]\nIDS_MACRO_ACTION_RECORD_DELAY=Record delays\n"));
  ASSERT_TRUE(
      test::WriteFile(folder + "/Lang040C.ini", "[TEXT]\nIDS_MACRO_ACTION_RECORD_DELAY=Délais\n"));
  Language language(registry_, folder, [] { return std::uint16_t{1033}; });
  EXPECT_EQ(profile_.GetRecordDelay(language), 0);
  ASSERT_TRUE(profile_.SetRecordDelay(language, 1));
  EXPECT_EQ(Stored("Record delays"), "1");
  EXPECT_EQ(profile_.GetRecordDelay(language), 1);
  // Another language reads another value.
  language.SetLanguageId(1036);
  EXPECT_EQ(profile_.GetRecordDelay(language), 0);
  ASSERT_TRUE(profile_.SetRecordDelay(language, 3));
  EXPECT_EQ(Stored(QString::fromUtf8("Délais")), "0");
}

}  // namespace
}  // namespace kst
