// kestrunectl as a user runs it, against the simulated keyboard, without the
// window process: each sub-command, checked on what the keyboard then holds
// (read back by status and export, which read the keyboard anew).

#include <gtest/gtest.h>
#include <signal.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include "ctl/CtlDump.h"
#include "ctl/CtlExit.h"
#include "ctl_test_files.h"

namespace kst {
namespace {

struct CtlRun {
  int exit = -1;
  QString out;
  QString err;
};

class CtlProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert(QStringLiteral("HOME"), dir_.path());
    env_.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
    env_.insert(QStringLiteral("XDG_DATA_HOME"), dir_.filePath(QStringLiteral("data")));
    env_.insert(QStringLiteral("XDG_CACHE_HOME"), dir_.filePath(QStringLiteral("cache")));
    env_.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env_.insert(QStringLiteral("KESTRUNE_SIM_STATE"), dir_.filePath(QStringLiteral("kb.bin")));
    env_.insert(QStringLiteral("KESTRUNE_SIM_SOCKET"), QStringLiteral("off"));
    env_.insert(QStringLiteral("KESTRUNE_DEVICE"), QStringLiteral("sim"));
    env_.remove(QStringLiteral("KESTRUNE_SIM_PRESENT"));
    env_.remove(QStringLiteral("LANG"));
  }

  CtlRun Ctl(const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(env_);
    process.start(QStringLiteral(KST_BIN_DIR "/kestrunectl"), arguments);
    CtlRun run;
    if (!process.waitForFinished(60000)) {
      process.kill();
      process.waitForFinished();
      return run;
    }
    run.exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
  }

  QString File(const char* name) const { return dir_.filePath(QLatin1String(name)); }

  QTemporaryDir dir_;
  QProcessEnvironment env_;
};

TEST_F(CtlProgramTest, EachCommandReachesTheKeyboard) {
  CtlRun run = Ctl({QStringLiteral("status")});
  ASSERT_EQ(run.exit, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains(QStringLiteral("Current profile: 1"))) << run.out.toStdString();
  EXPECT_TRUE(run.out.contains(QStringLiteral("Macro space: ")));

  ASSERT_EQ(Ctl({QStringLiteral("profile"), QStringLiteral("3")}).exit, 0);
  EXPECT_EQ(Ctl({QStringLiteral("profile")}).out, QStringLiteral("3\n"));

  ASSERT_EQ(
      Ctl({QStringLiteral("lighting"), QStringLiteral("brightness"), QStringLiteral("2")}).exit, 0);
  ASSERT_EQ(
      Ctl({QStringLiteral("lighting"), QStringLiteral("effect"), QStringLiteral("breathing")}).exit,
      0);
  ASSERT_EQ(Ctl({QStringLiteral("lighting"), QStringLiteral("--profile"), QStringLiteral("1"),
                 QStringLiteral("effect"), QStringLiteral("6")})
                .exit,
            0);
  run = Ctl({QStringLiteral("status")});
  EXPECT_TRUE(run.out.contains(QStringLiteral("Profile 3: effect Breathing (5), brightness 2")))
      << run.out.toStdString();
  EXPECT_TRUE(run.out.contains(QStringLiteral("Profile 1: effect Static (6), brightness 4")))
      << run.out.toStdString();

  ASSERT_EQ(Ctl({QStringLiteral("assign"), QStringLiteral("Caps-Lock"), QStringLiteral("single"),
                 QStringLiteral("Esc")})
                .exit,
            0);
  ASSERT_EQ(Ctl({QStringLiteral("assign"), QStringLiteral("G2"), QStringLiteral("media"),
                 QStringLiteral("Mute")})
                .exit,
            0);
  ASSERT_EQ(Ctl({QStringLiteral("export"), File("a.kst")}).exit, 0);
  run = Ctl({QStringLiteral("dump"), File("a.kst")});
  ASSERT_EQ(run.exit, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains(QStringLiteral("Profile 3\n")));
  EXPECT_TRUE(run.out.contains(QStringLiteral("Caps-Lock     single Esc")));
  EXPECT_TRUE(run.out.contains(QStringLiteral("G2            media Mute")));

  // Back to the defaults, then the exported file brings the keys back.
  ASSERT_EQ(
      Ctl({QStringLiteral("assign"), QStringLiteral("Caps-Lock"), QStringLiteral("default")}).exit,
      0);
  ASSERT_EQ(Ctl({QStringLiteral("export"), File("b.kst")}).exit, 0);
  EXPECT_FALSE(
      Ctl({QStringLiteral("dump"), File("b.kst")}).out.contains(QStringLiteral("Caps-Lock")));
  ASSERT_EQ(Ctl({QStringLiteral("import"), File("a.kst")}).exit, 0);
  ASSERT_EQ(Ctl({QStringLiteral("export"), File("c.kst")}).exit, 0);
  EXPECT_TRUE(Ctl({QStringLiteral("dump"), File("c.kst"), QStringLiteral("--json")})
                  .out.contains(QStringLiteral("\"target\": \"Esc\"")));
}

// The program prints the dump in pieces as it makes it: a file whose text
// is many pieces long prints the same bytes as the dump made whole, also
// where a line or a multi-byte name falls across two pieces.
TEST_F(CtlProgramTest, LongDumpPrintsTheWholeText) {
  const QString path = File("long.kst");
  {
    AssignmentStore store;
    std::vector<MacroRecord> macros;
    for (std::uint16_t n = 1; n <= 5; ++n) {
      MacroRecord macro;
      macro.SetName(u"Makro \u00fcber " + std::u16string(n, u'\u00e9'));
      macro.number = n;
      macro.eventCount = kMaxMacroEvents;
      for (int e = 0; e < kMaxMacroEvents; ++e)
        macro.events[static_cast<std::size_t>(e)] = {static_cast<std::uint32_t>(e * 997),
                                                     static_cast<KeyIndex>(0x02 + e % 60),
                                                     static_cast<std::uint16_t>(e % 2)};
      macros.push_back(macro);
    }
    store.ReplaceMacroList(macros);
    for (int slot = 1; slot < 40; ++slot)
      store.SetAssignment(slot % kProfileCount, slot, AssignmentKind::PlayMacro, 1 + slot % 5);
    ASSERT_TRUE(ctltest::WriteStoreFile(store, path));
  }
  const CtlRun run = Ctl({QStringLiteral("dump"), path});
  ASSERT_EQ(run.exit, 0) << run.err.toStdString();
  ASSERT_GT(run.out.toUtf8().size(), 3 * 64 * 1024);  // several pieces
  EXPECT_TRUE(run.out == DumpProfileFile(path, false, nullptr).out);
  // Every event line in order, each with its own delay: no piece lost,
  // doubled or cut.
  const QStringList lines = run.out.split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 4 + 39 + 5 * (1 + kMaxMacroEvents) + 1);
  EXPECT_TRUE(lines.last().isEmpty());
  int macro = 0, event = 0;
  for (const QString& line : lines) {
    if (line.startsWith(QStringLiteral("Macro "))) {
      ++macro;
      event = 0;
      EXPECT_TRUE(line.contains(QStringLiteral("\"Makro \u00fcber ") +
                                QString(macro, QChar(0x00e9)) + QStringLiteral("\"")))
          << line.toStdString();
    } else if (macro > 0 && !line.isEmpty()) {
      ASSERT_TRUE(line.endsWith(QStringLiteral(", %1 ms").arg(event * 997)))
          << "macro " << macro << " event " << event << ": " << line.toStdString();
      ++event;
    }
  }
  EXPECT_EQ(macro, 5);
  EXPECT_EQ(event, kMaxMacroEvents);
}

TEST_F(CtlProgramTest, BadInputGivesOneLineAndItsCode) {
  const struct {
    QStringList arguments;
    CtlExit exit;
    const char* message;
  } cases[] = {
      {{"bogus"}, CtlExit::Usage, "unknown command: bogus"},
      {{"assign", "Nokey", "single", "Esc"}, CtlExit::BadValue, "unknown key: Nokey"},
      {{"assign", "Q", "single", "Nokey"}, CtlExit::BadValue, "unknown key: Nokey"},
      {{"assign", "Q", "media", "Loud"}, CtlExit::BadValue, "unknown media key: Loud"},
      {{"assign", "Q", "macro", "none"}, CtlExit::BadValue, "unknown macro: none"},
      {{"lighting", "effect", "Disco"}, CtlExit::BadValue, "unknown effect: Disco"},
      {{"lighting", "brightness", "5"}, CtlExit::BadValue, "brightness out of range (0-4): 5"},
      {{"lighting", "colour", "12345g"}, CtlExit::BadValue, "not a colour RRGGBB: 12345g"},
      {{"profile", "0"}, CtlExit::BadValue, "profile out of range (1-4): 0"},
      {{"import", KST_SOURCE_DIR "/tests/store/fixtures/truncated_macros.kst"},
       CtlExit::FileRefused,
       "not a valid configuration file"},
      {{"import", KST_SOURCE_DIR "/tests"}, CtlExit::FileAccess, "not a regular file"},
      {{"export", KST_SOURCE_DIR "/tests"}, CtlExit::FileAccess, "cannot be written"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
    const CtlRun run = Ctl(c.arguments);
    EXPECT_EQ(run.exit, ExitCode(c.exit));
    EXPECT_TRUE(run.err.contains(QLatin1String(c.message))) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
  }
  // Nothing of the refused import reached the keyboard or the folder.
  EXPECT_EQ(Ctl({QStringLiteral("export"), File("after.kst")}).exit, 0);
  EXPECT_TRUE(Ctl({QStringLiteral("dump"), File("after.kst")})
                  .out.contains(QStringLiteral("No key assignments")));
}

// With French chosen (the language the window would take from the locale),
// what went wrong is told in French; the help stays English.
TEST_F(CtlProgramTest, MessagesInTheUsersLanguage) {
  env_.insert(QStringLiteral("LANG"), QStringLiteral("fr_FR.UTF-8"));
  env_.remove(QStringLiteral("LC_ALL"));
  env_.remove(QStringLiteral("LC_MESSAGES"));
  const struct {
    QStringList arguments;
    CtlExit exit;
    const char* line;
  } cases[] = {
      {{"bogus"}, CtlExit::Usage, "commande inconnue : bogus (voir kestrunectl --help)"},
      {{"lighting", "brightness", "5"}, CtlExit::BadValue, "luminosité hors limites (0-4) : 5"},
      {{"assign", "Q", "media", "Loud"}, CtlExit::BadValue, "touche multimédia inconnue : Loud"},
      {{"import", KST_SOURCE_DIR "/tests"},
       CtlExit::FileAccess,
       KST_SOURCE_DIR "/tests : n'est pas un fichier ordinaire"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
    const CtlRun run = Ctl(c.arguments);
    EXPECT_EQ(run.exit, ExitCode(c.exit));
    EXPECT_EQ(run.err,
              QStringLiteral("kestrunectl: ") + QString::fromUtf8(c.line) + QLatin1Char('\n'));
  }
  EXPECT_TRUE(Ctl({QStringLiteral("--help")}).out.contains(QStringLiteral("Exit codes")));
}

TEST_F(CtlProgramTest, NoKeyboardSaysSo) {
  env_.insert(QStringLiteral("KESTRUNE_SIM_PRESENT"), QStringLiteral("0"));
  const CtlRun run = Ctl({QStringLiteral("status")});
  EXPECT_EQ(run.exit, ExitCode(CtlExit::NoKeyboard));
  EXPECT_TRUE(run.err.contains(QStringLiteral("keyboard not found"))) << run.err.toStdString();
}

// The real keyboard's library over the stand-in for hidapi, whose command
// node refuses this user: status tells a refused keyboard from an absent one
// and gives the command that lets the user open it.
TEST_F(CtlProgramTest, AKeyboardThatRefusesThisUserIsToldApartFromNone) {
  const QString folder = File("bin");
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(QFile::copy(KST_BIN_DIR "/kestrunectl", folder + "/kestrunectl"));
  ASSERT_TRUE(QFile::copy(KST_BIN_DIR "/libTolvaneFakeHid.so", folder + "/libTolvane.so"));
  ASSERT_TRUE(QFile::copy(KST_BIN_DIR "/libTolvaneSim.so", folder + "/libTolvaneSim.so"));
  ASSERT_TRUE(QFile::copy(KST_BIN_DIR "/Lang0409.ini", folder + "/Lang0409.ini"));
  env_.remove(QStringLiteral("KESTRUNE_DEVICE"));
  env_.insert(QStringLiteral("KESTRUNE_FAKE_HID_DENY"), QStringLiteral("ctrl"));
  QProcess process;
  process.setProcessEnvironment(env_);
  process.start(folder + "/kestrunectl", {QStringLiteral("status")});
  ASSERT_TRUE(process.waitForFinished(60000));
  const QString err = QString::fromUtf8(process.readAllStandardError());
  EXPECT_EQ(process.exitCode(), ExitCode(CtlExit::NoKeyboard)) << err.toStdString();
  EXPECT_FALSE(err.contains(QStringLiteral("keyboard not found"))) << err.toStdString();
  EXPECT_TRUE(err.contains(QStringLiteral("sudo cp "))) << err.toStdString();
  EXPECT_TRUE(err.contains(QStringLiteral("udevadm"))) << err.toStdString();
}

TEST_F(CtlProgramTest, SecondCommandLineWaitsThenGivesUp) {
  // The runtime folder the program chooses without XDG_RUNTIME_DIR.
  const QString folder = File("cache") + QStringLiteral("/kestrune-runtime");
  ASSERT_EQ(Ctl({QStringLiteral("profile")}).exit, 0);  // makes the folder
  QLockFile held(folder + QStringLiteral("/kestrunectl.lock"));
  ASSERT_TRUE(held.tryLock(0));
  const CtlRun run = Ctl({QStringLiteral("profile")});
  EXPECT_EQ(run.exit, ExitCode(CtlExit::Busy));
  EXPECT_TRUE(run.err.contains(QStringLiteral("another kestrunectl is running")));
}

}  // namespace
}  // namespace kst

namespace kst {
namespace {

// With the utility's window process running, the command runs there. The
// command line is given no service library of its own (no --simulate): a
// command it ran itself would find no keyboard.
class CtlWindowTest : public CtlProgramTest {
 protected:
  void SetUp() override {
    CtlProgramTest::SetUp();
    QProcessEnvironment windowEnv = env_;
    windowEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    window_.setProcessEnvironment(windowEnv);
    window_.start(QStringLiteral(KST_BIN_DIR "/kestrune"), {QStringLiteral("--simulate")});
    ASSERT_TRUE(window_.waitForStarted());
    env_.remove(QStringLiteral("KESTRUNE_DEVICE"));
    env_.insert(QStringLiteral("KESTRUNE_SIM_PRESENT"), QStringLiteral("0"));
    // Until the window listens and has read the keyboard.
    QDeadlineTimer deadline(60000);
    while (Ctl({QStringLiteral("profile")}).exit != 0 && !deadline.hasExpired())
      QThread::msleep(100);
  }
  void TearDown() override {
    ::kill(static_cast<pid_t>(window_.processId()), SIGCONT);
    window_.kill();
    window_.waitForFinished();
  }
  QProcess window_;
};

TEST_F(CtlWindowTest, CommandsRunInTheWindow) {
  ASSERT_EQ(Ctl({QStringLiteral("profile"), QStringLiteral("2")}).exit, 0);
  EXPECT_EQ(Ctl({QStringLiteral("profile")}).out, QStringLiteral("2\n"));
  ASSERT_EQ(
      Ctl({QStringLiteral("lighting"), QStringLiteral("brightness"), QStringLiteral("1")}).exit, 0);
  EXPECT_TRUE(
      Ctl({QStringLiteral("status")})
          .out.contains(QStringLiteral("Profile 2: effect Spectrum-cycle (4), brightness 1")));
  ASSERT_EQ(Ctl({QStringLiteral("assign"), QStringLiteral("F5"), QStringLiteral("function"),
                 QStringLiteral("paste")})
                .exit,
            0);
  ASSERT_EQ(Ctl({QStringLiteral("export"), File("w.kst")}).exit, 0);
  EXPECT_TRUE(Ctl({QStringLiteral("dump"), File("w.kst")})
                  .out.contains(QStringLiteral("F5            function paste")));
  // The same refusal, and code, as without the window.
  const CtlRun run =
      Ctl({QStringLiteral("lighting"), QStringLiteral("speed"), QStringLiteral("9")});
  EXPECT_EQ(run.exit, ExitCode(CtlExit::BadValue));
  EXPECT_TRUE(run.err.contains(QStringLiteral("speed out of range (0-4): 9")));
}

TEST_F(CtlWindowTest, WindowThatDoesNotAnswerIsGivenUpAfterFiveSeconds) {
  ASSERT_EQ(Ctl({QStringLiteral("profile")}).exit, 0);
  ASSERT_EQ(::kill(static_cast<pid_t>(window_.processId()), SIGSTOP), 0);
  const CtlRun run = Ctl({QStringLiteral("profile")});
  EXPECT_EQ(run.exit, ExitCode(CtlExit::NoAnswer));
  EXPECT_TRUE(run.err.contains(QStringLiteral("did not answer within 5 s")))
      << run.err.toStdString();
}

}  // namespace
}  // namespace kst
