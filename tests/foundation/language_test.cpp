#include "foundation/Language.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <set>
#include <string>

namespace kst {
namespace {

const QString kKey = QString::fromLatin1(kLanguageRegistryKey);
const QString kValue = QString::fromLatin1(kLanguageRegistryValue);

void WriteAll(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

// A program folder with two small language files and a registry of its own.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteAll(Program("Lang0804.ini"), "[TEXT]\nIDS_MAIN_CAPTION=Chinese caption\nIDS_EMPTY=\n");
    WriteAll(Program("Lang0409.ini"),
             "\xEF\xBB\xBF[TEXT]\r\nIDS_MAIN_CAPTION=English caption\r\n"
             "IDS_MAIN_OK=OK\r\n[Mode]\r\n1=Wave\r\n");
  }
  QString Program(const QString& name) const { return dir_.filePath("bin/" + name); }
  Language Make(std::uint16_t systemId) {
    return Language(registry_, dir_.filePath("bin"), [systemId] { return systemId; });
  }

  QTemporaryDir dir_;
  Registry registry_{dir_.filePath("config/registry.reg")};
};

TEST_F(LanguageTest, FirstUseChoosesFromTheSystemLanguageAndStoresIt) {
  const struct {
    std::uint16_t system;
    std::uint16_t chosen;
    int index;
    const char* file;
  } cases[] = {
      {3082, 3082, 3, "Lang0C0A.ini"},  // Spanish gets its own language file
      {2058, 3082, 3, "Lang0C0A.ini"}, {20490, 3082, 3, "Lang0C0A.ini"},
      {1034, 3082, 3, "Lang0C0A.ini"}, {2057, 1033, 1, "Lang0409.ini"},
      {3076, 1033, 1, "Lang0409.ini"}, {4100, 1028, 8, "Lang0404.ini"},
      {2070, 1046, 4, "Lang0416.ini"}, {3084, 1036, 2, "Lang040C.ini"},
      {2067, 1043, 5, "Lang0413.ini"}, {1057, 1057, 6, "Lang0421.ini"},
      {1042, 1042, 7, "Lang0412.ini"}, {3079, 2052, 0, "Lang0804.ini"},  // German: unsupported
      {2064, 2052, 0, "Lang0804.ini"}, {2077, 2052, 0, "Lang0804.ini"},
      {1041, 2052, 0, "Lang0804.ini"}, {0, 2052, 0, "Lang0804.ini"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.system);
    ASSERT_TRUE(registry_.DeleteValue(kKey, kValue));
    Language language = Make(c.system);
    EXPECT_EQ(language.GetLanguageId(), c.chosen);
    EXPECT_EQ(registry_.GetDword(kKey, kValue), c.chosen);
    EXPECT_EQ(language.GetLanguageIndex(), c.index);
    EXPECT_EQ(language.LanguageFilePath(language.GetLanguageIndex()), Program(c.file));
  }
}

TEST_F(LanguageTest, StoredChoiceStaysEvenWhenUnsupported) {
  ASSERT_TRUE(registry_.SetDword(kKey, kValue, 1031));
  Language language = Make(1033);
  EXPECT_EQ(language.GetLanguageId(), 1031);
  EXPECT_EQ(language.GetLanguageIndex(), 0);
  EXPECT_EQ(language.LoadLangText("IDS_MAIN_CAPTION"), "Chinese caption");
  EXPECT_EQ(registry_.GetDword(kKey, kValue), 1031u);

  // The registry is read on every lookup.
  language.SetLanguageId(1033);
  EXPECT_EQ(registry_.GetDword(kKey, kValue), 1033u);
  EXPECT_EQ(language.LoadLangText("IDS_MAIN_CAPTION"), "English caption");
  ASSERT_TRUE(Registry(registry_.FilePath()).SetDword(kKey, kValue, 2052));
  EXPECT_EQ(language.LoadLangText("IDS_MAIN_CAPTION"), "Chinese caption");
}

TEST_F(LanguageTest, StringValueIsReplacedByTheChoiceAsDword) {
  ASSERT_TRUE(registry_.SetString(kKey, kValue, "1033"));
  Language language = Make(2057);
  EXPECT_EQ(language.GetLanguageId(), 1033);
  EXPECT_EQ(registry_.GetDword(kKey, kValue), 1033u);
  EXPECT_EQ(registry_.GetString(kKey, kValue), std::nullopt);
}

TEST_F(LanguageTest, UnwritableRegistryGivesTheSameChoiceEveryTime) {
  WriteAll(dir_.filePath("plain"), "x");
  Registry blocked(dir_.filePath("plain/registry.reg"));
  Language language(blocked, dir_.filePath("bin"), [] { return std::uint16_t{2057}; });
  EXPECT_EQ(language.GetLanguageId(), 1033);
  EXPECT_EQ(language.GetLanguageId(), 1033);
  EXPECT_EQ(language.LoadLangText("IDS_MAIN_CAPTION"), "English caption");
}

TEST_F(LanguageTest, LangTextLookup) {
  Language language = Make(2052);
  const struct {
    const char* key;
    int index;
    const char* expected;
  } cases[] = {
      {"IDS_MAIN_CAPTION", 0, "Chinese caption"},
      {"ids_main_caption", 1, "English caption"},
      {"IDS_EMPTY", 0, ""},  // present but empty: no error text
      {"IDS_MISSING", 0, "#Error"},
      {"IDS_MAIN_OK", 1, "OK"},
      {"1", 1, "#Error"},                           // other sections are not searched
      {"IDS_MAIN_CAPTION", 2, "#Error"},            // Lang040C.ini is missing
      {"IDS_MAIN_CAPTION", 9, "#Error"},            // the end mark names Lang0000.ini
      {"IDS_MAIN_CAPTION", 12, "Chinese caption"},  // above 9 reads as 0
      {"IDS_MAIN_CAPTION", -1, "Chinese caption"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(language.LoadLangText(c.key, c.index), QString(c.expected))
        << c.key << " " << c.index;
  }
  EXPECT_EQ(language.LanguageFilePath(9), Program("Lang0000.ini"));
}

TEST_F(LanguageTest, LangTextIsCutAndFollowsFileChanges) {
  Language language = Make(2052);
  EXPECT_EQ(language.LoadLangText("IDS_MAIN_CAPTION", 0), "Chinese caption");
  WriteAll(Program("Lang0804.ini"), "[TEXT]\nIDS_MAIN_CAPTION=" + QByteArray(100 * 1024, 'c'));
  EXPECT_EQ(language.LoadLangText("IDS_MAIN_CAPTION", 0), QString(259, 'c'));
  QFile::remove(Program("Lang0804.ini"));
  EXPECT_EQ(language.LoadLangText("IDS_MAIN_CAPTION", 0), "#Error");
}

TEST_F(LanguageTest, SkinLanguageValueSelectsTheSection) {
  const struct {
    QByteArray languageLine;
    const char* expected;
  } cases[] = {
      {"language=1", "english"},
      {"language= 1 ", "english"},
      {"language=1abc", "english"},
      {"language=01", "english"},
      {"language=0", "chinese"},
      {"language=2", "chinese"},
      {"language=abc", "chinese"},
      {"language=-1", "chinese"},
      {"language=", "chinese"},
      {"other=1", "chinese"},
      {"language=99999999999999999999", "chinese"},
  };
  Language language = Make(2052);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.languageLine.constData());
    WriteAll(language.SkinLanguageFilePath(),
             "[LANGUAGE]\n" + c.languageLine +
                 "\n[CHINESE]\nMAIN_CAPTION=chinese\nCOMPOSITE_PROMPT_OSK=osk\n"
                 "[ENGINSH]\nMAIN_CAPTION=english\nEMPTY=\n");
    EXPECT_EQ(language.LoadSkinText("MAIN_CAPTION"), QString(c.expected));
    EXPECT_EQ(language.LoadSkinText("NOT_THERE"), " ");
    EXPECT_EQ(language.LoadChineseSkinText(kOskPromptSkinKey), "osk");
  }
  WriteAll(language.SkinLanguageFilePath(), "[language]\nLANGUAGE=1\n[enginsh]\nEMPTY=\n");
  EXPECT_EQ(language.LoadSkinText("EMPTY"), "");  // present but empty: not the default
  QFile::remove(language.SkinLanguageFilePath());
  EXPECT_EQ(language.LoadSkinText("MAIN_CAPTION"), " ");
  EXPECT_EQ(language.SkinLanguageFilePath(), Program("Skins/language.ini"));
}

TEST_F(LanguageTest, TextTableSlotsBeforeAndAfterAReload) {
  Language language = Make(2052);
  // Key slots are shown through the language file, display slots unchanged.
  EXPECT_EQ(language.SlotText(TextSlot::MainCaption), "IDS_MAIN_CAPTION");
  EXPECT_EQ(language.ShowSlot(TextSlot::MainCaption, 1), "English caption");
  EXPECT_EQ(language.ShowSlot(TextSlot::MainDefaultMatrixPrompt, 0), "#Error");
  EXPECT_EQ(language.ShowSlot(TextSlot::ProfileTip, 0), "The current contextual  mode: ");
  EXPECT_EQ(language.ShowSlot(TextSlot::ProfileFormatError, 0),
            "wrong file format, revert to the default values: \n  %s");
  EXPECT_EQ(language.ShowSlot(TextSlot::MainButtonTelvinVer, 0), "");

  WriteAll(language.SkinLanguageFilePath(),
           "[LANGUAGE]\nlanguage=1\n[ENGINSH]\nMAIN_CAPTION=Skin caption\n"
           "KEY_PROMPT_SET=IDS_MAIN_OK\nMAIN_HELP_PROMPT=IDS_NOT_IN_THE_FILE\n"
           "PROFILE_TIP=Profile: \"\n"
           "UNKNOWN_KEY=" +
               QByteArray(300, 'u') + "\n");
  language.ReloadSkinTexts();
  // After a reload a key slot shows the language file's text when it holds a
  // key found there, and its content otherwise.
  EXPECT_EQ(language.ShowSlot(TextSlot::KeyPromptSet, 1), "OK");
  EXPECT_EQ(language.ShowSlot(TextSlot::MainHelpPrompt, 1), "IDS_NOT_IN_THE_FILE");
  EXPECT_EQ(language.ShowSlot(TextSlot::MainCaption, 1), "Skin caption");
  EXPECT_EQ(language.ShowSlot(TextSlot::ProfileTip, 1), "Profile: \"");
  EXPECT_EQ(language.SlotText(TextSlot::UnknownKey), QString(107, 'u'));
  EXPECT_EQ(language.ShowSlot(TextSlot::MainCaption, 0), "Skin caption");
  EXPECT_EQ(language.SlotText(TextSlot::ApplyPrompt), " ");

  language.SetSlotText(TextSlot::MainMenuPrompt, QString(200, 'm'));
  EXPECT_EQ(language.ShowSlot(TextSlot::MainMenuPrompt, 0), QString(107, 'm'));
  EXPECT_EQ(language.SlotText(TextSlot::Count), "");
}

TEST(TextTableTest, SlotsMatchTheirSkinKeys) {
  const auto infos = TextSlotInfos();
  ASSERT_EQ(infos.size(), static_cast<size_t>(TextSlot::Count));
  EXPECT_STREQ(TextSlotInfoOf(TextSlot::UnknownKey).skinKey, "UNKNOWN_KEY");
  EXPECT_STREQ(TextSlotInfoOf(TextSlot::MainButtonTelvinVer).skinKey, "MAIN_BUTTON_TELVIN_VER");
  std::set<std::string> skinKeys;
  for (const TextSlotInfo& info : infos) {
    EXPECT_TRUE(skinKeys.insert(info.skinKey).second) << info.skinKey;
  }
  // The slots from MacroActionRecordDelay to MainPromptInport hold "IDS_" + skin key.
  for (int i = static_cast<int>(TextSlot::MacroActionRecordDelay);
       i <= static_cast<int>(TextSlot::MainPromptInport); ++i) {
    EXPECT_EQ(std::string(infos[i].builtIn), "IDS_" + std::string(infos[i].skinKey));
    EXPECT_TRUE(infos[i].keySlot);
  }
  EXPECT_FALSE(TextSlotInfoOf(TextSlot::ProfileSeelctPrompt2).keySlot);
  EXPECT_TRUE(TextSlotInfoOf(TextSlot::MainNoDevicePrompt).keySlot);
}

TEST(LanguageTablesTest, ClampAndSupportedIndex) {
  const struct {
    int in;
    int out;
  } clamps[] = {{0, 0}, {9, 9}, {10, 0}, {12, 0}, {-1, 0}, {5, 5}};
  for (const auto& c : clamps) EXPECT_EQ(ClampLanguageIndex(c.in), c.out) << c.in;

  EXPECT_EQ(SupportedLanguageIds()[9], 0);
  EXPECT_EQ(SupportedLanguageIndex(0), -1);  // the end mark is not a language
  EXPECT_EQ(SupportedLanguageIndex(3082), 3);
  EXPECT_EQ(SubstituteLanguageId(1031), 1031);
  EXPECT_EQ(SubstituteLanguageId(2055), 1031);
}

TEST(LanguageTablesTest, LocaleNamesGiveWindowsIdentifiers) {
  const struct {
    const char* name;
    std::uint16_t id;
  } cases[] = {
      {"es_MX", 2058},      {"es_ES", 3082},   {"es-AR", 11274},     {"es_US", 3082},
      {"en_GB", 2057},      {"en_US", 1033},   {"en_IE", 6153},      {"pt_BR", 1046},
      {"pt_PT", 2070},      {"zh_CN", 2052},   {"zh_TW", 1028},      {"zh_HK", 3076},
      {"zh_SG", 4100},      {"zh_Hant", 1028}, {"zh_Hant_TW", 1028}, {"de_AT", 3079},
      {"de_DE", 1031},      {"fr_CA", 3084},   {"nl_BE", 2067},      {"sv_FI", 2077},
      {"it_CH", 2064},      {"ko_KR", 1042},   {"id_ID", 1057},      {"de_AT.UTF-8", 3079},
      {"fr_FR@euro", 1036}, {"ja_JP", 1033},   {"C", 1033},          {"", 1033},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LanguageIdFromLocaleName(c.name), c.id) << c.name;
  }
  // Whatever the machine's locale, the result is an identifier.
  EXPECT_NE(SystemDefaultLanguageId(), 0);
}

}  // namespace
}  // namespace kst
