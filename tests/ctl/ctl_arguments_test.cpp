#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <string_view>

#include "ctl/CtlCommand.h"
#include "ctl/CtlDump.h"
#include "ctl/CtlMessages.h"
#include "ctl/CtlNames.h"
#include "foundation/Language.h"
#include "foundation/LanguageVocabulary.h"
#include "platform/Registry.h"
#include "support/Unprivileged.h"

namespace kst {
namespace {

struct ArgumentCase {
  QStringList arguments;
  CtlExit exit;
  const char* message;  // part of the error line
};

TEST(CtlArgumentsTest, BadArgumentsGiveTheirCodeAndOneLine) {
  const ArgumentCase cases[] = {
      {{}, CtlExit::Usage, "no command"},
      {{"frobnicate"}, CtlExit::Usage, "unknown command: frobnicate"},
      {{"profile", "1", "2"}, CtlExit::Usage, "unexpected argument: 2"},
      {{"dump"}, CtlExit::Usage, "missing argument"},
      {{"dump", "a.kst", "--xml"}, CtlExit::Usage, "unknown option for dump: --xml"},
      {{"status", "--json"}, CtlExit::Usage, "unknown option for status: --json"},
      {{"assign", "Q", "single"}, CtlExit::Usage, "missing argument"},
      {{"lighting", "--profile"}, CtlExit::Usage, "--profile needs"},
      {{"lighting", "--profile", "5", "speed", "1"}, CtlExit::BadValue, "profile out of range"},
      {{"lighting", "--profile", "x", "speed", "1"}, CtlExit::BadValue, "profile out of range"},
  };
  for (const ArgumentCase& c : cases) {
    SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
    CtlResult result;
    EXPECT_FALSE(ParseCtlArguments(c.arguments, result));
    EXPECT_EQ(result.exit, c.exit);
    EXPECT_TRUE(result.error.contains(QLatin1String(c.message))) << result.error.toStdString();
    EXPECT_FALSE(result.error.contains(QLatin1Char('\n')));
  }
}

TEST(CtlArgumentsTest, RequestsSurviveTheTripToTheRunningUtility) {
  const QStringList lines[] = {
      {"lighting", "--profile", "2", "colour", "ff8000"},
      {"dump", "a.kst", "--json"},
      {"assign", "Caps-Lock", "single", "Esc"},
      {"profile"},
  };
  for (const QStringList& arguments : lines) {
    CtlResult result;
    const auto request = ParseCtlArguments(arguments, result);
    ASSERT_TRUE(request) << result.error.toStdString();
    const auto again = ParseCtlArguments(RequestArguments(*request), result);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->verb, request->verb);
    EXPECT_EQ(again->operands, request->operands);
    EXPECT_EQ(again->profile, request->profile);
    EXPECT_EQ(again->json, request->json);
  }
}

// One table gives --help, each command's help and the manual page: a
// command or an exit code missing from one of them is a fault.
TEST(CtlArgumentsTest, HelpAndManualPageComeFromTheSameTable) {
  const QString usage = UsageText();
  const QString man = ManPage(QStringLiteral("1.0"));
  for (const SubcommandHelp& help : SubcommandHelps()) {
    const QString synopsis = QLatin1String(help.synopsis);
    EXPECT_TRUE(usage.contains(synopsis)) << help.name;
    QString troff = synopsis;
    troff.replace(QLatin1Char('-'), QStringLiteral("\\-"));
    EXPECT_TRUE(man.contains(troff)) << help.name;
    CtlResult result;
    EXPECT_FALSE(ParseCtlArguments({QLatin1String(help.name), QStringLiteral("--help")}, result));
    EXPECT_EQ(result.exit, CtlExit::Ok);
    EXPECT_TRUE(result.out.startsWith(QStringLiteral("Usage: kestrunectl ") + synopsis));
  }
  for (const ExitCodeHelp& code : ExitCodeHelps()) {
    EXPECT_TRUE(usage.contains(QLatin1String(code.meaning))) << code.meaning;
    EXPECT_TRUE(man.contains(QStringLiteral(".B %1\n").arg(ExitCode(code.code))));
  }
}

TEST(CtlNamesTest, NamesReadBackToTheirKeys) {
  for (const QString& name : KeyCliNames()) {
    ASSERT_TRUE(KeyFromCliName(name)) << name.toStdString();
    EXPECT_EQ(KeyCliName(*KeyFromCliName(name)), name);
    EXPECT_FALSE(name.contains(QLatin1Char(' ')));
  }
  for (const QString& name : SlotCliNames()) {
    ASSERT_TRUE(SlotFromCliName(name)) << name.toStdString();
    EXPECT_EQ(SlotCliName(*SlotFromCliName(name)), name);
  }
  EXPECT_EQ(SlotFromCliName(QStringLiteral("g1")), 256);
  EXPECT_EQ(SlotFromCliName(QStringLiteral("G9B")), 273);
  EXPECT_EQ(KeyFromCliName(QStringLiteral("caps-lock")), KeyIndex{0x03A});
  EXPECT_EQ(KeyFromCliName(QStringLiteral("up")), KeyIndex{0x148});
  EXPECT_EQ(FunctionFromCliName(QStringLiteral("select-all")), 8);
  EXPECT_EQ(MediaFromCliName(QStringLiteral("mute")), 7);
  EXPECT_FALSE(SlotFromCliName(QStringLiteral("G10")));
  EXPECT_FALSE(KeyFromCliName(QString()));
}

// A file the window's import refuses, a folder, an empty file and a missing
// one: each its code, one line naming the file.
TEST(CtlDumpTest, RefusedFilesGiveTheirCode) {
  QTemporaryDir dir;
  const QString empty = dir.filePath(QStringLiteral("empty.kst"));
  QFile(empty).open(QIODevice::WriteOnly);
  const struct {
    QString path;
    CtlExit exit;
  } cases[] = {
      {QStringLiteral(KST_SOURCE_DIR "/tests/store/fixtures/truncated_macros.kst"),
       CtlExit::FileRefused},
      {QStringLiteral(KST_SOURCE_DIR "/tests/store/fixtures/text_offset_outside.kst"),
       CtlExit::FileRefused},
      {empty, CtlExit::FileRefused},
      {dir.path(), CtlExit::FileAccess},
      {dir.filePath(QStringLiteral("missing.kst")), CtlExit::FileAccess},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    const CtlResult result = DumpProfileFile(c.path, false, nullptr);
    EXPECT_EQ(result.exit, c.exit);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_TRUE(result.error.startsWith(c.path));
  }
}

TEST(CtlDumpTest, UnreadableFileIsRefusedForAnotherUser) {
  QTemporaryDir dir;
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
  const QString path = dir.filePath(QStringLiteral("private.kst"));
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0000), 0);
  const int outcome = test::RunUnprivileged([&] {
    const CtlResult result = DumpProfileFile(path, true, nullptr);
    return result.exit == CtlExit::FileAccess ? 0 : 1;
  });
  EXPECT_EQ(outcome, 0);
}

// Every message is a text of the language files under its key, and the
// English file says what the program says without one.
TEST(CtlMessagesTest, EveryMessageHasItsKeyAndEnglishText) {
  QFile file(QStringLiteral(KST_SOURCE_DIR "/resources/lang/Lang0409.ini"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString english = QString::fromUtf8(file.readAll());
  const std::span<const char* const> vocabulary = LanguageVocabulary();
  for (const CtlMessageText& text : CtlMessageTexts()) {
    SCOPED_TRACE(text.key);
    EXPECT_TRUE(std::any_of(vocabulary.begin(), vocabulary.end(),
                            [&](const char* key) { return std::string_view(key) == text.key; }));
    EXPECT_TRUE(english.contains(
        QStringLiteral("\n%1=%2\n").arg(QLatin1String(text.key), QString::fromUtf8(text.english))));
  }
}

// Arguments go in once, in one pass: a name typed with "%1" in it is shown as
// typed; a language file without the key gives the English text.
TEST(CtlMessagesTest, ArgumentsAndFallback) {
  EXPECT_EQ(
      CtlMessage(nullptr, ctl_text::kUnknownOption, {QStringLiteral("a%2"), QStringLiteral("b%1")}),
      QStringLiteral("unknown option for a%2: b%1"));
  EXPECT_EQ(CtlMessage(nullptr, ctl_text::kNoCommand), QStringLiteral("no command given"));

  QTemporaryDir dir;
  QFile french(dir.filePath(QStringLiteral("Lang040C.ini")));
  ASSERT_TRUE(french.open(QIODevice::WriteOnly));
  french.write("[TEXT]\nIDS_CTL_UNKNOWN_KEY=touche inconnue : %1\n");
  french.close();
  Registry registry(dir.filePath(QStringLiteral("registry.reg")));
  Language language(registry, dir.path(), [] { return std::uint16_t{0x040C}; });
  EXPECT_EQ(CtlMessage(&language, ctl_text::kUnknownKey, {QStringLiteral("Q")}),
            QStringLiteral("touche inconnue : Q"));
  EXPECT_EQ(CtlMessage(&language, ctl_text::kUnknownMacro, {QStringLiteral("x")}),
            QStringLiteral("unknown macro: x"));
}

}  // namespace
}  // namespace kst
