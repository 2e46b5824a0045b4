// Checks the language files and the skin language file that ship beside the
// program: every file parses strictly, carries exactly the keys the program
// looks up, and keeps the printf conversions the program fills in.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <map>
#include <string>
#include <vector>

#include "foundation/IniFile.h"
#include "foundation/KeyCodeTable.h"
#include "foundation/Language.h"
#include "foundation/LanguageVocabulary.h"
#include "foundation/TextTable.h"
#include "platform/Registry.h"

namespace kst {
namespace {

const QString kLangDir = QStringLiteral(KST_SOURCE_DIR "/resources/lang");
const QString kSkinLanguageFile = QStringLiteral(KST_SOURCE_DIR "/resources/Skins/language.ini");

// ---------------------------------------------------------------------------
// A stricter reader than the program's: it reports what the program would
// silently accept (duplicate keys or sections, stray lines, bad UTF-8, CR).

struct IniEntry {
  QString key;
  QString value;  // as the program reads it: trimmed, one pair of outer quotes removed
};

struct IniSection {
  QString name;
  std::vector<IniEntry> entries;
};

struct StrictIni {
  std::vector<IniSection> sections;
  QStringList errors;

  const IniSection* Find(const QString& name) const {
    for (const IniSection& s : sections) {
      if (s.name == name) return &s;
    }
    return nullptr;
  }
  QStringList SectionNames() const {
    QStringList names;
    for (const IniSection& s : sections) names << s.name;
    return names;
  }
};

QString Unquote(QString value) {
  value = value.trimmed();
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
      value.back() == value.front()) {
    value = value.mid(1, value.size() - 2);
  }
  return value;
}

StrictIni ParseStrict(const QByteArray& bytes) {
  StrictIni ini;
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = decoder.decode(bytes);
  if (decoder.hasError()) ini.errors << QStringLiteral("not valid UTF-8");
  if (bytes.contains('\r')) ini.errors << QStringLiteral("CR in line ends");

  QSet<QString> sectionNames;
  QSet<QString> keysInSection;
  const QStringList lines = text.split(u'\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString line = lines[i].trimmed();
    const QString where = QStringLiteral("line %1: ").arg(i + 1);
    if (line.isEmpty() || line.startsWith(u';')) continue;
    if (line.startsWith(u'[')) {
      if (!line.endsWith(u']') || line.size() < 3) {
        ini.errors << where + QStringLiteral("bad section header ") + line;
        continue;
      }
      const QString name = line.mid(1, line.size() - 2);
      if (sectionNames.contains(name.toCaseFolded())) {
        ini.errors << where + QStringLiteral("duplicate section ") + name;
      }
      sectionNames.insert(name.toCaseFolded());
      keysInSection.clear();
      ini.sections.push_back({name, {}});
      continue;
    }
    const qsizetype eq = line.indexOf(u'=');
    if (eq <= 0) {
      ini.errors << where + QStringLiteral("not a key=value line: ") + line;
      continue;
    }
    if (ini.sections.empty()) {
      ini.errors << where + QStringLiteral("key outside a section");
      continue;
    }
    const QString key = line.left(eq).trimmed();
    if (keysInSection.contains(key.toCaseFolded())) {
      ini.errors << where + QStringLiteral("duplicate key ") + key;
      continue;
    }
    keysInSection.insert(key.toCaseFolded());
    ini.sections.back().entries.push_back({key, Unquote(line.mid(eq + 1))});
  }
  return ini;
}

StrictIni ParseFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    StrictIni ini;
    ini.errors << QStringLiteral("cannot open ") + path;
    return ini;
  }
  return ParseStrict(file.readAll());
}

// The printf conversions of a text, in order ("%%" included).
QStringList Conversions(const QString& text) {
  static const QRegularExpression kConversion(QStringLiteral(
      R"(%[-+ #0]*(\d+|\*)?(\.(\d+|\*))?(hh|h|ll|l|L|j|z|t)?[diouxXeEfFgGaAcsSpn%])"));
  QStringList found;
  for (auto it = kConversion.globalMatch(text); it.hasNext();) found << it.next().captured(0);
  return found;
}

QStringList Keys(const IniSection& section) {
  QStringList keys;
  for (const IniEntry& e : section.entries) keys << e.key;
  return keys;
}

QStringList VocabularyKeys() {
  QStringList keys;
  for (const char* key : LanguageVocabulary()) keys << QString::fromLatin1(key);
  return keys;
}

// "missing: a, b; unexpected: c" for two key lists compared as sets.
QString KeyDifference(const QStringList& expected, const QStringList& actual) {
  QStringList missing;
  QStringList unexpected;
  for (const QString& k : expected) {
    if (!actual.contains(k)) missing << k;
  }
  for (const QString& k : actual) {
    if (!expected.contains(k)) unexpected << k;
  }
  if (missing.isEmpty() && unexpected.isEmpty()) return {};
  return QStringLiteral("missing: [%1]; unexpected: [%2]")
      .arg(missing.join(QStringLiteral(", ")), unexpected.join(QStringLiteral(", ")));
}

std::string Str(const QString& s) { return s.toStdString(); }

QString SupportedFileName(int index) {
  return QStringLiteral("Lang") +
         QStringLiteral("%1")
             .arg(SupportedLanguageIds()[index], 4, 16, QLatin1Char('0'))
             .toUpper() +
         QStringLiteral(".ini");
}

// ---------------------------------------------------------------------------

TEST(StrictIniTest, ReportsWhatTheProgramWouldSilentlyAccept) {
  const struct {
    const char* name;
    QByteArray bytes;
    const char* error;  // nullptr: no error expected
  } cases[] = {
      {"clean", "; note\n[A]\nk=\"  v \"\n\n[B]\nk=w\n", nullptr},
      {"duplicate key, other case", "[A]\nKey=1\nkey=2\n", "duplicate key key"},
      {"duplicate section", "[A]\nk=1\n[a]\nj=2\n", "duplicate section a"},
      {"key before any section", "k=1\n[A]\n", "key outside a section"},
      {"line without '='", "[A]\njust text\n", "not a key=value line"},
      {"unterminated header", "[A\nk=1\n", "bad section header"},
      {"empty key", "[A]\n=1\n", "not a key=value line"},
      {"invalid UTF-8", "[A]\nk=\xC3\x28\n", "not valid UTF-8"},
      {"CR line ends", "[A]\r\nk=1\r\n", "CR in line ends"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const StrictIni ini = ParseStrict(c.bytes);
    if (c.error == nullptr) {
      EXPECT_TRUE(ini.errors.isEmpty()) << Str(ini.errors.join(u'\n'));
    } else {
      EXPECT_TRUE(ini.errors.join(u'\n').contains(QString::fromUtf8(c.error)))
          << Str(ini.errors.join(u'\n'));
    }
  }
  const StrictIni clean = ParseStrict("[A]\nk=\"  v \"\n");
  ASSERT_EQ(clean.sections.size(), 1u);
  EXPECT_EQ(clean.sections[0].entries[0].value, "  v ");
}

TEST(LanguageVocabularyTest, CoversEveryKeyThatCodeLooksUp) {
  const QStringList vocabulary = VocabularyKeys();
  EXPECT_EQ(QSet<QString>(vocabulary.begin(), vocabulary.end()).size(), vocabulary.size());

  QStringList missing;
  for (const KeyRow& row : KeyCodeTable()) {
    const QString key = QString::fromLatin1(row.textKey);
    if (!key.isEmpty() && !vocabulary.contains(key)) missing << key;
  }
  for (const TextSlotInfo& info : TextSlotInfos()) {
    const QString key = QString::fromLatin1(info.builtIn);
    if (info.keySlot && !vocabulary.contains(key)) missing << key;
  }
  EXPECT_TRUE(missing.isEmpty()) << "not in the vocabulary: " << Str(missing.join(u' '));
}

TEST(LanguageFilesTest, OneFilePerSupportedLanguage) {
  QStringList expected;
  for (int i = 0; i < 9; ++i) expected << SupportedFileName(i);
  const QStringList present =
      QDir(kLangDir).entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name);
  EXPECT_EQ(Str(KeyDifference(expected, present)), "");
}

// One instance per supported language, by file name.
class LanguageFileTest : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    english_ = new StrictIni(ParseFile(kLangDir + u'/' + SupportedFileName(1)));
  }
  static void TearDownTestSuite() {
    delete english_;
    english_ = nullptr;
  }
  QString Path() const { return kLangDir + u'/' + SupportedFileName(GetParam()); }

  static StrictIni* english_;
};
StrictIni* LanguageFileTest::english_ = nullptr;

TEST_P(LanguageFileTest, ParsesStrictlyWithTheTwoSections) {
  const StrictIni ini = ParseFile(Path());
  EXPECT_TRUE(ini.errors.isEmpty()) << Str(ini.errors.join(u'\n'));
  EXPECT_EQ(ini.SectionNames(), QStringList({QStringLiteral("TEXT"), QStringLiteral("Mode")}));
}

TEST_P(LanguageFileTest, TextHoldsExactlyTheVocabulary) {
  const StrictIni ini = ParseFile(Path());
  const IniSection* text = ini.Find(QStringLiteral("TEXT"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(Str(KeyDifference(VocabularyKeys(), Keys(*text))), "");

  QStringList unusable;  // empty, or longer than the lookup's buffer holds
  for (const IniEntry& e : text->entries) {
    if (e.value.isEmpty() || e.value.size() > kLangTextCapacity - 1) unusable << e.key;
  }
  EXPECT_TRUE(unusable.isEmpty()) << Str(unusable.join(u' '));
}

TEST_P(LanguageFileTest, ModeNamesEveryEffectCode) {
  const StrictIni ini = ParseFile(Path());
  const IniSection* mode = ini.Find(QStringLiteral("Mode"));
  ASSERT_NE(mode, nullptr);
  QStringList expected;
  for (int code = kFirstModeNumber; code <= kLastModeNumber; ++code)
    expected << QString::number(code);
  EXPECT_EQ(Str(KeyDifference(expected, Keys(*mode))), "");
  for (const IniEntry& e : mode->entries) {
    EXPECT_FALSE(e.value.isEmpty()) << Str(e.key);
    EXPECT_TRUE(Conversions(e.value).isEmpty()) << Str(e.key);
  }
}

TEST_P(LanguageFileTest, KeepsTheConversionsOfTheEnglishTexts) {
  ASSERT_NE(english_->Find(QStringLiteral("TEXT")), nullptr);
  std::map<QString, QStringList> englishConversions;
  for (const IniEntry& e : english_->Find(QStringLiteral("TEXT"))->entries) {
    englishConversions[e.key] = Conversions(e.value);
  }
  // The texts the program uses as formats, with what it passes.
  EXPECT_EQ(englishConversions[QStringLiteral("Unknown Key: %03x")], QStringList{"%03x"});
  EXPECT_EQ(englishConversions[QStringLiteral("IDS_MACRO_ERR_MAX")], QStringList{"%d"});
  EXPECT_EQ(englishConversions[QStringLiteral("IDS_MACRO_ACTION_ERR_DELAY_MAX")],
            QStringList{"%d"});

  const StrictIni ini = ParseFile(Path());
  const IniSection* text = ini.Find(QStringLiteral("TEXT"));
  ASSERT_NE(text, nullptr);
  QStringList differing;
  for (const IniEntry& e : text->entries) {
    if (Conversions(e.value) != englishConversions[e.key]) differing << e.key;
  }
  EXPECT_TRUE(differing.isEmpty()) << Str(differing.join(u' '));

  for (const IniEntry& e : text->entries) {
    if (e.key == QStringLiteral("Unknown Key: %03x")) {
      EXPECT_TRUE(FormatKeyCode(e.value, 0x55).contains(QStringLiteral("055"))) << Str(e.value);
    }
  }
}

TEST_P(LanguageFileTest, ProgramReaderSeesTheSameTexts) {
  const StrictIni ini = ParseFile(Path());
  const QString absent = QStringLiteral("\x01absent");
  QStringList differing;
  for (const IniSection& section : ini.sections) {
    for (const IniEntry& e : section.entries) {
      const QString read =
          ReadProfileString(Path(), section.name, e.key, absent, kLangTextCapacity);
      if (read != e.value) differing << section.name + u'/' + e.key + QStringLiteral(" -> ") + read;
    }
  }
  EXPECT_TRUE(differing.isEmpty()) << Str(differing.join(u'\n'));
}

INSTANTIATE_TEST_SUITE_P(Shipped, LanguageFileTest, ::testing::Range(0, 9),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return Str(SupportedFileName(info.param).chopped(4));
                         });

// ---------------------------------------------------------------------------

bool IsMainWindowTooltip(const QString& skinKey) {
  return skinKey == QStringLiteral("MAIN_MINIMIZE_PROMPT") ||
         skinKey == QStringLiteral("MAIN_MENU_PROMPT") ||
         skinKey == QStringLiteral("MAIN_CLOSE_PROMPT");
}

TEST(SkinLanguageFileTest, BothSectionsHoldExactlyTheSkinLanguageKeys) {
  const StrictIni ini = ParseFile(kSkinLanguageFile);
  EXPECT_TRUE(ini.errors.isEmpty()) << Str(ini.errors.join(u'\n'));
  EXPECT_EQ(ini.SectionNames(), QStringList({QStringLiteral("LANGUAGE"), QStringLiteral("CHINESE"),
                                             QStringLiteral("ENGINSH")}));
  const IniSection* choice = ini.Find(QStringLiteral("LANGUAGE"));
  ASSERT_NE(choice, nullptr);
  ASSERT_EQ(Keys(*choice), QStringList{"language"});
  bool numeric = false;
  choice->entries[0].value.toInt(&numeric);
  EXPECT_TRUE(numeric) << Str(choice->entries[0].value);

  QStringList expected;
  for (const TextSlotInfo& info : TextSlotInfos()) expected << QString::fromLatin1(info.skinKey);
  expected << QString::fromLatin1(kOskPromptSkinKey);
  for (const char* name : {"CHINESE", "ENGINSH"}) {
    SCOPED_TRACE(name);
    const IniSection* section = ini.Find(QString::fromLatin1(name));
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(Str(KeyDifference(expected, Keys(*section))), "");
  }
}

// After a text reload a key slot holds what this file gives; it must be the
// slot's language-file key so that the slot keeps showing the user's
// language. The three tooltips, the display slots and the on-screen keyboard
// prompt are shown as they are and carry real text.
TEST(SkinLanguageFileTest, KeySlotsNameTheirKeysAndTheOthersCarryText) {
  const StrictIni ini = ParseFile(kSkinLanguageFile);
  const QStringList vocabulary = VocabularyKeys();
  for (const char* name : {"CHINESE", "ENGINSH"}) {
    SCOPED_TRACE(name);
    const IniSection* section = ini.Find(QString::fromLatin1(name));
    ASSERT_NE(section, nullptr);
    std::map<QString, QString> values;
    for (const IniEntry& e : section->entries) values[e.key] = e.value;

    for (const TextSlotInfo& info : TextSlotInfos()) {
      const QString skinKey = QString::fromLatin1(info.skinKey);
      const QString value = values[skinKey];
      SCOPED_TRACE(Str(skinKey));
      EXPECT_LE(value.size(), kTextSlotMaxChars);
      if (info.keySlot && !IsMainWindowTooltip(skinKey)) {
        EXPECT_EQ(Str(value), info.builtIn);
      } else {
        EXPECT_FALSE(value.trimmed().isEmpty());
        EXPECT_FALSE(vocabulary.contains(value)) << Str(value);
        EXPECT_EQ(Str(Conversions(value).join(u' ')),
                  Str(Conversions(QString::fromLatin1(info.builtIn)).join(u' ')));
      }
    }
    const QString osk = values[QString::fromLatin1(kOskPromptSkinKey)];
    EXPECT_FALSE(osk.trimmed().isEmpty());
    EXPECT_LE(osk.size(), kTextSlotMaxChars);
  }

  QStringList differing;
  for (const IniSection& section : ini.sections) {
    for (const IniEntry& e : section.entries) {
      const QString read = ReadProfileString(kSkinLanguageFile, section.name, e.key,
                                             QStringLiteral("\x01absent"), kLangTextCapacity);
      if (read != e.value) differing << section.name + u'/' + e.key;
    }
  }
  EXPECT_TRUE(differing.isEmpty()) << Str(differing.join(u' '));
}

// The shipped files as the program uses them: copied into a program folder,
// every key slot shows a real text in every language, before and after a
// text reload.
TEST(ShippedTextsTest, EveryKeySlotShowsTextInEveryLanguage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString program = dir.filePath(QStringLiteral("bin"));
  ASSERT_TRUE(QDir().mkpath(program + QStringLiteral("/Skins")));
  for (int i = 0; i < 9; ++i) {
    ASSERT_TRUE(
        QFile::copy(kLangDir + u'/' + SupportedFileName(i), program + u'/' + SupportedFileName(i)));
  }
  ASSERT_TRUE(QFile::copy(kSkinLanguageFile, program + QStringLiteral("/Skins/language.ini")));
  Registry registry(dir.filePath(QStringLiteral("registry.reg")));
  Language language(registry, program, [] { return std::uint16_t{1033}; });

  const auto shownTexts = [&](int index) {
    std::vector<QString> shown;
    for (int s = 0; s < kTextSlotCount; ++s) {
      shown.push_back(language.ShowSlot(static_cast<TextSlot>(s), index));
    }
    return shown;
  };
  std::vector<std::vector<QString>> before;
  for (int index = 0; index < 9; ++index) before.push_back(shownTexts(index));

  language.ReloadSkinTexts();
  for (int index = 0; index < 9; ++index) {
    SCOPED_TRACE(Str(SupportedFileName(index)));
    const std::vector<QString> after = shownTexts(index);
    for (int s = 0; s < kTextSlotCount; ++s) {
      const TextSlotInfo& info = TextSlotInfos()[s];
      if (!info.keySlot) continue;
      SCOPED_TRACE(info.skinKey);
      EXPECT_NE(Str(before[index][s]), kMissingLangText);
      if (!IsMainWindowTooltip(QString::fromLatin1(info.skinKey))) {
        EXPECT_EQ(Str(after[s]), Str(before[index][s]));
      }
    }
  }
}

}  // namespace
}  // namespace kst
