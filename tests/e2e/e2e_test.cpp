// The program as a user meets it: started on the simulated keyboard on a
// virtual display with a notification area, woken by a second start, ended
// by "/Kill", by the tray menu or by a crash, following the keyboard being
// unplugged, started at log-in before the notification area, and started
// without its service library.

#include "e2e_fixture.h"

namespace kst::e2e {
namespace {

TEST_F(EndToEndTest, StartWithTheKeyboardShowsTheWindowOnce) {
  QProcess& first = Start();
  ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));
  QThread::msleep(2000);
  EXPECT_EQ(VisibleMainWindows().size(), 1);
  EXPECT_EQ(first.state(), QProcess::Running);
  EXPECT_EQ(TrayPicture(), std::optional<std::intptr_t>(kTrayIconConnected));

  // Hidden by the user, it stays hidden: the first show happens once.
  ASSERT_TRUE(HideWithCancel());
  QThread::msleep(2000);
  EXPECT_TRUE(VisibleMainWindows().isEmpty());
}

TEST_F(EndToEndTest, SecondStartWakesTheFirstAndEnds) {
  QProcess& first = Start();
  ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));
  ASSERT_TRUE(HideWithCancel());

  EXPECT_EQ(RunToEnd({}), 0);
  EXPECT_TRUE(WaitFor([&] { return MainWindowShown(); }, kStepTimeoutMs));
  EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(EndToEndTest, KillEndsTheRunningInstanceThroughItsExitSequence) {
  QProcess& first = Start();
  ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));
  ASSERT_TRUE(QFileInfo::exists(LockFile()));

  // From where no display is open (a log-out script, a remote shell).
  extraEnvironment_.emplace_back(QStringLiteral("DISPLAY"), QString());
  EXPECT_EQ(RunToEnd({"/kill"}), 0);
  extraEnvironment_.pop_back();
  ASSERT_TRUE(first.waitForFinished(kStepTimeoutMs));
  EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.exitCode(), 0);
  EXPECT_FALSE(QFileInfo::exists(LockFile())) << "the instance lock is released";
  EXPECT_FALSE(QFileInfo::exists(InstanceSocketPath(runtime_.path())));

  // Nothing left to end: "/Kill" ends at once and starts nothing.
  EXPECT_EQ(RunToEnd({"/Kill"}), 0);
  EXPECT_TRUE(VisibleMainWindows().isEmpty());
  EXPECT_FALSE(QFileInfo::exists(LockFile()));
}

TEST_F(EndToEndTest, StartAfterACrashTakesOver) {
  QProcess& first = Start();
  ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));
  first.kill();  // SIGKILL: no exit sequence, the lock file stays
  ASSERT_TRUE(first.waitForFinished(5000));
  ASSERT_TRUE(QFileInfo::exists(LockFile()));
  ASSERT_TRUE(WaitFor([&] { return VisibleMainWindows().isEmpty(); }, kStepTimeoutMs));

  QProcess& next = Start();
  EXPECT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));
  EXPECT_EQ(next.state(), QProcess::Running);
  EXPECT_EQ(TrayPicture(), std::optional<std::intptr_t>(kTrayIconConnected));
}

TEST_F(EndToEndTest, UnplugHidesTheWindowAndShowsTheNoKeyboardIcon) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));
  ASSERT_TRUE(WaitFor([&] { return TrayPicture() == kTrayIconConnected; }, kStepTimeoutMs));

  ASSERT_EQ(Sim(QStringLiteral("unplug")), 0);
  EXPECT_TRUE(WaitFor([&] { return VisibleMainWindows().isEmpty(); }, kStepTimeoutMs));
  EXPECT_TRUE(WaitFor([&] { return TrayPicture() == kTrayIconDisconnected; }, kStepTimeoutMs));

  ASSERT_EQ(Sim(QStringLiteral("plug")), 0);
  EXPECT_TRUE(WaitFor([&] { return TrayPicture() == kTrayIconConnected; }, kStepTimeoutMs));
  // Opening it again (a second start, as the tray's "Open") shows it.
  EXPECT_EQ(RunToEnd({}), 0);
  EXPECT_TRUE(WaitFor([&] { return MainWindowShown(); }, kStepTimeoutMs));
}

// The desktop here has no notification service, so the notification shows
// as the program's own balloon beside the tray icon: a window of its own
// between the icon's size and the main window's.
TEST_F(EndToEndTest, UnplugIsToldOnceByANotificationOfTheTrayIcon) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));
  ASSERT_TRUE(WaitFor([&] { return TrayPicture() == kTrayIconConnected; }, kStepTimeoutMs));
  ASSERT_TRUE(VisibleWindows(WindowKind::Other).isEmpty());

  ASSERT_EQ(Sim(QStringLiteral("unplug")), 0);
  EXPECT_TRUE(
      WaitFor([&] { return VisibleWindows(WindowKind::Other).size() == 1; }, kStepTimeoutMs));
  EXPECT_TRUE(VisibleMainWindows().isEmpty());
  // The connection that follows tells nothing.
  ASSERT_EQ(Sim(QStringLiteral("plug")), 0);
  ASSERT_TRUE(WaitFor([&] { return TrayPicture() == kTrayIconConnected; }, kStepTimeoutMs));
  EXPECT_LE(VisibleWindows(WindowKind::Other).size(), 1);
}

TEST_F(EndToEndTest, TheWindowOpensCentredThenWhereTheUserLeftItTheRunBefore) {
  // Where the window is on the display; nullopt when xdotool cannot say.
  const auto position = [this](const QString& window) -> std::optional<QPoint> {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Position: (-?\\d+),(-?\\d+)"))
            .match(Xdotool({"getwindowgeometry", window}));
    if (!m.hasMatch()) return std::nullopt;
    return QPoint(m.captured(1).toInt(), m.captured(2).toInt());
  };
  QProcess& first = Start();
  QString window = ShownMainWindow();
  ASSERT_FALSE(window.isEmpty());
  // The display is 1600 x 1000, the skin's window 1200 x 712.
  EXPECT_EQ(position(window), QPoint(200, 144));

  Xdotool({"windowmove", window, "40", "60"});
  ASSERT_TRUE(WaitFor([&] { return position(window) == QPoint(40, 60); }, kStepTimeoutMs));
  // From where no display is open (a log-out script, a remote shell).
  extraEnvironment_.emplace_back(QStringLiteral("DISPLAY"), QString());
  EXPECT_EQ(RunToEnd({"/kill"}), 0);
  extraEnvironment_.pop_back();
  ASSERT_TRUE(first.waitForFinished(kStepTimeoutMs));

  Start();
  window = ShownMainWindow();
  ASSERT_FALSE(window.isEmpty());
  EXPECT_EQ(position(window), QPoint(40, 60));
}

// The instance's lock and socket never go to a folder other users can write:
// a shared $XDG_RUNTIME_DIR is passed over for the private folder in the
// home, where a second start and "/Kill" find the instance.
TEST_F(EndToEndTest, SharedRuntimeDirIsPassedOverForThePrivateFolder) {
  QTemporaryDir shared;
  QTemporaryDir home;
  ASSERT_TRUE(shared.isValid() && home.isValid());
  ASSERT_EQ(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
  QProcessEnvironment env = Environment();
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), shared.path());
  env.insert(QStringLiteral("HOME"), home.path());
  env.remove(QStringLiteral("XDG_CACHE_HOME"));
  const QString folder = home.filePath(QStringLiteral(".cache/kestrune-runtime"));
  const auto run = [&](const QStringList& arguments) -> QProcess& {
    programs_.push_back(std::make_unique<QProcess>());
    QProcess& process = *programs_.back();
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(ProgramFile("kestrune"), arguments);
    EXPECT_TRUE(process.waitForStarted(5000));
    return process;
  };

  QProcess& first = run({});
  ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));
  EXPECT_TRUE(QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(kInstanceLockName)));
  EXPECT_EQ(QFileInfo(folder).permissions() & 0x0077, QFile::Permissions());
  EXPECT_TRUE(QDir(shared.path()).isEmpty()) << "nothing goes to the shared folder";
  EXPECT_TRUE(WaitFor([&] { return QFileInfo::exists(InstanceSocketPath(folder)); }, 5000));

  QProcess& kill = run({"/Kill"});
  EXPECT_TRUE(kill.waitForFinished(kStepTimeoutMs));
  ASSERT_TRUE(first.waitForFinished(kStepTimeoutMs));
  EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.exitCode(), 0);
}

// Idle connections past the descriptors the instance may open: Qt's server
// would close itself and delete its socket; the instance keeps answering,
// and "/Kill" ends it.
TEST_F(EndToEndTest, IdleConnectionsNeitherCloseTheSocketNorStopKill) {
  if (QStandardPaths::findExecutable(QStringLiteral("prlimit")).isEmpty()) {
    GTEST_SKIP() << "prlimit is not installed";
  }
  programs_.push_back(std::make_unique<QProcess>());
  QProcess& first = *programs_.back();
  first.setProcessEnvironment(Environment());
  first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  first.start(QStringLiteral("prlimit"), {"--nofile=256:256", ProgramFile("kestrune")});
  ASSERT_TRUE(first.waitForStarted(5000));
  ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));
  ASSERT_TRUE(TrayPicture().has_value());

  const QByteArray path = QFile::encodeName(InstanceSocketPath(runtime_.path()));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, path.constData(), static_cast<std::size_t>(path.size()) + 1);
  std::vector<int> idle;
  for (int i = 0; i < 400; ++i) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
      idle.push_back(fd);
    } else if (fd >= 0) {
      ::close(fd);
    }
  }
  EXPECT_TRUE(TrayPicture().has_value()) << "the instance socket still answers";
  for (const int fd : idle) ::close(fd);

  EXPECT_EQ(RunToEnd({"/Kill"}), 0);
  ASSERT_TRUE(first.waitForFinished(kStepTimeoutMs));
  EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.exitCode(), 0);
}

TEST_F(EndToEndTest, ExitFromTheTrayMenuEndsTheProgramCleanly) {
  QProcess& program = Start();
  ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));
  const std::string failed = ChooseExitInTrayMenu();
  ASSERT_TRUE(failed.empty()) << failed;

  ASSERT_TRUE(program.waitForFinished(kStepTimeoutMs));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_FALSE(QFileInfo::exists(LockFile())) << "the exit sequence released the instance";
}

TEST_F(EndToEndTest, AMissingServiceLibraryEndsWithOneLineEveryTime) {
  // A copy of the program folder without the service libraries; the
  // executable is copied, as its folder is where it looks for them.
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QDir bin(QStringLiteral(KST_BIN_DIR));
  for (const QFileInfo& entry : bin.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
    if (entry.fileName().startsWith(QLatin1String("libTolvane")) || entry.suffix() == "so") {
      continue;
    }
    if (entry.fileName() == QLatin1String("kestrune")) {
      ASSERT_TRUE(QFile::copy(entry.filePath(), folder.filePath("kestrune")));
    } else {
      ASSERT_TRUE(QFile::link(entry.filePath(), folder.filePath(entry.fileName())));
    }
  }
  // The decoders of the window's pictures run while the library is bound:
  // an end that ran the program's destructors under them crashed now and then.
  constexpr int kStarts = 30;
  for (int n = 0; n < kStarts; ++n) {
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.start(folder.filePath("kestrune"), {});
    ASSERT_TRUE(process.waitForFinished(kStepTimeoutMs)) << "start " << n;
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "start " << n;
    EXPECT_EQ(process.exitCode(), 0) << "start " << n;
    const QStringList lines = errors.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << "start " << n << ": " << errors.toStdString();
    EXPECT_TRUE(lines.front().contains(QLatin1String("libTolvaneSim.so"))) << errors.toStdString();
  }
}

TEST_F(EndToEndTest, KillAndASecondStartAreAnsweredWhileTheNoKeyboardPromptIsOpen) {
  extraEnvironment_.emplace_back("KESTRUNE_SIM_PRESENT", "0");
  QProcess& first = Start();
  ASSERT_TRUE(WaitFor([&] { return TrayPicture() == kTrayIconDisconnected; }, kShowTimeoutMs));
  ASSERT_TRUE(VisibleWindows(WindowKind::Main).isEmpty());

  // A second start asks the first to open: without the keyboard it shows
  // the prompt, and the second start ends without waiting for its OK (it
  // would wait 15 s for an answer that came only with the OK).
  QProcess& second = Start();
  ASSERT_TRUE(second.waitForFinished(8000)) << "the second start waits for the prompt's OK";
  EXPECT_EQ(second.exitCode(), 0);
  ASSERT_TRUE(
      WaitFor([&] { return VisibleWindows(WindowKind::Other).size() == 1; }, kStepTimeoutMs))
      << "no prompt";

  // "/Kill" ends the first, the prompt still open.
  EXPECT_EQ(RunToEnd({"/Kill"}), 0);
  ASSERT_TRUE(first.waitForFinished(kStepTimeoutMs)) << "the first lives until OK";
  EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.exitCode(), 0);
  EXPECT_FALSE(QFileInfo::exists(LockFile()));
}

// At log-in the program may start before the notification area.
class EndToEndLogInTest : public EndToEndTest {
 protected:
  bool TrayHostFirst() const override { return false; }
};

TEST_F(EndToEndLogInTest, StartKeepsTheWindowHiddenAndTheIconComesWithTheTray) {
  QProcess& program = Start({"/Start"});
  // Listening and the keyboard connected: every moment a first show would
  // come has passed.
  ASSERT_TRUE(WaitFor([&] { return TrayPicture() == kTrayIconConnected; }, kShowTimeoutMs));
  EXPECT_TRUE(VisibleWindows(WindowKind::Main).isEmpty());
  QThread::msleep(2000);
  EXPECT_TRUE(VisibleWindows(WindowKind::Main).isEmpty());

  StartTrayHost();
  EXPECT_TRUE(
      WaitFor([&] { return VisibleWindows(WindowKind::TrayIcon).size() == 1; }, kStepTimeoutMs))
      << "the icon did not come with the tray";
  QThread::msleep(2000);
  EXPECT_TRUE(VisibleWindows(WindowKind::Main).isEmpty());
  EXPECT_TRUE(VisibleWindows(WindowKind::Other).isEmpty());
  EXPECT_EQ(program.state(), QProcess::Running);

  // Opened from the tray's side (a second start), it shows.
  EXPECT_EQ(RunToEnd({}), 0);
  EXPECT_TRUE(WaitFor([&] { return MainWindowShown(); }, kStepTimeoutMs));
}

}  // namespace
}  // namespace kst::e2e
