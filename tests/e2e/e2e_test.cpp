// The program as a user meets it: started on the simulated keyboard on a
// virtual display with a notification area, woken by a second start, ended
// by "/Kill", by the tray menu or by a crash, following the keyboard being
// unplugged, started at log-in before the notification area, and started
// without its service library.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <memory>
#include <optional>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "app/InstanceMessenger.h"
#include "app/SingleInstance.h"
#include "device/DeviceHost.h"

namespace kst {
namespace {

constexpr int kShowTimeoutMs = 40000;  // start-up under Xvfb on a loaded machine
constexpr int kStepTimeoutMs = 20000;

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return done();
    QThread::msleep(100);
  }
  return true;
}

QString ProgramFile(const char* name) {
  return QStringLiteral(KST_BIN_DIR "/") + QLatin1String(name);
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef KST_HAVE_MAIN_WINDOW
    GTEST_SKIP() << "kestrune is built without its main window (src/mainwindow not built yet)";
#endif
    for (const char* tool : {"Xvfb", "xdotool", "trayer"}) {
      if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
        GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
      }
    }
    ASSERT_TRUE(runtime_.isValid() && config_.isValid() && data_.isValid());
    StartDisplay();
    if (TrayHostFirst()) StartTrayHost();
  }

  // Whether the tray host runs before the test starts the program.
  virtual bool TrayHostFirst() const { return true; }

  void TearDown() override {
    for (auto& process : programs_) Stop(*process);
    if (trayHost_) Stop(*trayHost_);
    if (display_) Stop(*display_);
  }

  static void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.kill();
    process.waitForFinished(5000);
  }

  void StartDisplay() {
    display_ = std::make_unique<QProcess>();
    display_->setProgram(QStringLiteral("Xvfb"));
    // -displayfd 1: the chosen display number arrives on standard output.
    display_->setArguments({"-displayfd", "1", "-screen", "0", "1600x1000x24", "-nolisten", "tcp"});
    display_->start();
    ASSERT_TRUE(display_->waitForStarted(5000));
    QByteArray number;
    ASSERT_TRUE(WaitFor(
        [&] {
          display_->waitForReadyRead(100);
          number += display_->readAllStandardOutput();
          return number.contains('\n');
        },
        10000))
        << "Xvfb gave no display number";
    displayName_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
  }

  void StartTrayHost() {
    // The tray host sometimes gives up on a display that has only just
    // started; it is started again when it ended without a window.
    QByteArray errors;
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (trayHost_) Stop(*trayHost_);
      trayHost_ = std::make_unique<QProcess>();
      trayHost_->setProcessEnvironment(Environment());
      trayHost_->setProgram(QStringLiteral("trayer"));
      trayHost_->setArguments({"--edge", "top", "--align", "right", "--widthtype", "pixel",
                               "--width", "200", "--height", "32"});
      trayHost_->start();
      ASSERT_TRUE(trayHost_->waitForStarted(5000));
      const bool shown = WaitFor(
          [&] {
            if (trayHost_->state() == QProcess::NotRunning) return true;
            return !Xdotool({"search", "--class", "trayer"}).isEmpty();
          },
          10000);
      if (shown && trayHost_->state() == QProcess::Running) return;
      errors += trayHost_->readAllStandardError();
    }
    FAIL() << "the tray host did not start: " << errors.constData();
  }

  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("KESTRUNE_SIM_SOCKET"));
    env.remove(QStringLiteral("KESTRUNE_SIM_STATE"));
    env.insert(QStringLiteral("DISPLAY"), displayName_);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), data_.path());
    env.insert(QStringLiteral("KESTRUNE_DEVICE"), QStringLiteral("sim"));
    for (const auto& [name, value] : extraEnvironment_) env.insert(name, value);
    return env;
  }

  QString Xdotool(const QStringList& arguments) const {
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
  }

  QStringList VisibleMainWindows() const { return VisibleWindows(WindowKind::Main); }

  bool MainWindowShown() const { return VisibleMainWindows().size() == 1; }

  // Visible windows of the program by size: the tray icon (at most 64 pixels
  // each way), the main window (the skin's 1200 x 712), and between them
  // menus and message boxes.
  enum class WindowKind { TrayIcon, Main, Other };
  QStringList VisibleWindows(WindowKind kind) const {
    QStringList windows;
    const QString ids = Xdotool({"search", "--onlyvisible", "--class", "kestrune"});
    for (const QString& id : ids.split(u'\n', Qt::SkipEmptyParts)) {
      const QString geometry = Xdotool({"getwindowgeometry", id});
      const QRegularExpressionMatch m =
          QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(geometry);
      if (!m.hasMatch()) continue;
      const int width = m.captured(1).toInt();
      const int height = m.captured(2).toInt();
      const WindowKind found = width <= 64 && height <= 64     ? WindowKind::TrayIcon
                               : width >= 800 && height >= 500 ? WindowKind::Main
                                                               : WindowKind::Other;
      if (found == kind) windows << id;
    }
    return windows;
  }

  QProcess& Start(const QStringList& arguments = {}) {
    programs_.push_back(std::make_unique<QProcess>());
    QProcess& process = *programs_.back();
    process.setProcessEnvironment(Environment());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(ProgramFile("kestrune"), arguments);
    EXPECT_TRUE(process.waitForStarted(5000));
    return process;
  }

  // Runs the program to its end; its exit code, -1 when it did not end in time.
  int RunToEnd(const QStringList& arguments) {
    QProcess& process = Start(arguments);
    if (!process.waitForFinished(kStepTimeoutMs)) return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }

  int Sim(const QString& command) {
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.start(ProgramFile("kestrune-sim"), command.split(u' '));
    if (!process.waitForFinished(kStepTimeoutMs)) return -1;
    return process.exitCode();
  }

  std::optional<std::intptr_t> TrayPicture() const {
    return SendInstanceMessage(InstanceSocketPath(runtime_.path()), {UM_STATUS, kStatusWParam, 0},
                               {2000, 5000});
  }

  QString LockFile() const { return runtime_.filePath(QString::fromLatin1(kInstanceLockName)); }

  // Centre of a control of the main window, from the skin's layout file.
  std::optional<QPoint> ControlCentre(const QString& key) const {
    QFile file(ProgramFile("Skins/Main.ini"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
    QTextStream in(&file);
    bool inSection = false;
    while (!in.atEnd()) {
      const QString line = in.readLine().trimmed();
      if (line.startsWith(u'[')) {
        inSection = line.compare(QStringLiteral("[BUTTONINFO]"), Qt::CaseInsensitive) == 0;
      } else if (inSection && line.section(u'=', 0, 0).trimmed() == key) {
        const QStringList v = line.section(u'=', 1).split(u',');
        if (v.size() < 4) return std::nullopt;
        return QPoint(v[0].toInt() + v[2].toInt() / 2, v[1].toInt() + v[3].toInt() / 2);
      }
    }
    return std::nullopt;
  }

  // Hides the shown main window the user's way: its Cancel button.
  bool HideWithCancel() {
    const QStringList windows = VisibleMainWindows();
    const std::optional<QPoint> cancel = ControlCentre(QStringLiteral("CONTROL_CANCEL"));
    if (windows.size() != 1 || !cancel) return false;
    Xdotool({"mousemove", "--window", windows.front(), QString::number(cancel->x()),
             QString::number(cancel->y()), "click", "1"});
    return WaitFor([&] { return VisibleMainWindows().isEmpty(); }, kStepTimeoutMs);
  }

  std::vector<std::pair<QString, QString>> extraEnvironment_;
  QTemporaryDir runtime_;
  QTemporaryDir config_;
  QTemporaryDir data_;
  QString displayName_;
  std::unique_ptr<QProcess> display_;
  std::unique_ptr<QProcess> trayHost_;
  std::vector<std::unique_ptr<QProcess>> programs_;
};

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

  EXPECT_EQ(RunToEnd({"/kill"}), 0);
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
  QStringList icon;
  ASSERT_TRUE(WaitFor(
      [&] {
        icon = VisibleWindows(WindowKind::TrayIcon);
        return icon.size() == 1;
      },
      kStepTimeoutMs))
      << "the icon is not in the tray";

  // The icon's menu opens on a right click; Exit is its last entry.
  Xdotool({"mousemove", "--window", icon.front(), "8", "8", "click", "3"});
  ASSERT_TRUE(
      WaitFor([&] { return VisibleWindows(WindowKind::Other).size() == 1; }, kStepTimeoutMs))
      << "the tray menu did not open";
  Xdotool({"key", "Up", "Return"});

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
}  // namespace kst
