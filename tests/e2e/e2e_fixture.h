#pragma once

// The end-to-end tests' world: a virtual display (Xvfb) with a tray host,
// the program on the simulated keyboard in folders of its own, and the
// tools that drive them (xdotool, kestrune-sim).

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "app/InstanceMessenger.h"
#include "app/SingleInstance.h"
#include "device/DeviceHost.h"

namespace kst::e2e {

constexpr int kShowTimeoutMs = 40000;  // start-up under Xvfb on a loaded machine
constexpr int kStepTimeoutMs = 20000;

inline bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return done();
    QThread::msleep(100);
  }
  return true;
}

inline QString ProgramFile(const char* name) {
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
  // The one main window on show, waited for; empty when none shows in time.
  // (A window just shown can be unseen for a moment while it is placed.)
  QString ShownMainWindow(int timeoutMs = kShowTimeoutMs) const {
    QString id;
    WaitFor(
        [&] {
          const QStringList windows = VisibleMainWindows();
          if (windows.size() == 1) id = windows.front();
          return !id.isEmpty();
        },
        timeoutMs);
    return id;
  }

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
    // A test that dies leaves no program behind: it would keep the test
    // runner's output pipe open and the run would wait for it for ever.
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
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

  // What kestrune-sim printed for the command; empty when it failed.
  QString SimOutput(const QString& command) {
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.start(ProgramFile("kestrune-sim"), command.split(u' '));
    if (!process.waitForFinished(kStepTimeoutMs) || process.exitCode() != 0) return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
  }

  // Rectangle of a control of a window, from the window's skin layout file
  // (by default the main window's).
  std::optional<QRect> ControlRect(const QString& key,
                                   const char* skinFile = "Skins/Main.ini") const {
    QFile file(ProgramFile(skinFile));
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
        return QRect(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
      }
    }
    return std::nullopt;
  }

  std::optional<QPoint> ControlCentre(const QString& key,
                                      const char* skinFile = "Skins/Main.ini") const {
    const std::optional<QRect> rect = ControlRect(key, skinFile);
    if (!rect) return std::nullopt;
    return QPoint(rect->x() + rect->width() / 2, rect->y() + rect->height() / 2);
  }

  // Moves the pointer onto the control of the window and clicks it.
  bool ClickControl(const QString& window, const QString& key,
                    const char* skinFile = "Skins/Main.ini") {
    const std::optional<QPoint> centre = ControlCentre(key, skinFile);
    if (!centre) return false;
    Xdotool({"mousemove", "--window", window, QString::number(centre->x()),
             QString::number(centre->y()), "click", "1"});
    return true;
  }

  // Chooses Exit in the tray icon's menu: a right click on the icon opens
  // the menu, Exit is its last entry. The text says what did not show;
  // empty once Exit was chosen. otherWindows: the program's windows other
  // than the main window and the icon that are on show before the menu.
  std::string ChooseExitInTrayMenu(int otherWindows = 0) {
    QStringList icon;
    const bool iconShown = WaitFor(
        [&] {
          icon = VisibleWindows(WindowKind::TrayIcon);
          return icon.size() == 1;
        },
        kStepTimeoutMs);
    if (!iconShown) return "the icon is not in the tray";
    Xdotool({"mousemove", "--window", icon.front(), "8", "8", "click", "3"});
    const bool menuShown =
        WaitFor([&] { return VisibleWindows(WindowKind::Other).size() == otherWindows + 1; },
                kStepTimeoutMs);
    if (!menuShown) return "the tray menu did not open";
    Xdotool({"key", "Up", "Return"});
    return {};
  }

  // What the window shows now, as the X server holds it (xwd); null when it
  // cannot be captured. Reads xwd's 24/32-bit true-colour dumps.
  QImage CaptureWindow(const QString& window) {
    QProcess xwd;
    xwd.setProcessEnvironment(Environment());
    xwd.start(QStringLiteral("xwd"), {"-silent", "-id", window});
    if (!xwd.waitForFinished(kStepTimeoutMs) || xwd.exitCode() != 0) return {};
    return ImageFromXwd(xwd.readAllStandardOutput());
  }

  static QImage ImageFromXwd(const QByteArray& dump) {
    constexpr int kHeaderWords = 25;
    if (dump.size() < kHeaderWords * 4) return {};
    auto word = [&](int i) {
      const auto* b = reinterpret_cast<const unsigned char*>(dump.constData()) + 4 * i;
      return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | b[3];
    };
    const quint32 headerSize = word(0), format = word(2), width = word(4), height = word(5);
    const quint32 byteOrder = word(7), bitsPerPixel = word(11), bytesPerLine = word(12);
    const quint32 colours = word(19);
    constexpr quint32 kZPixmap = 2, kMaxSide = 16384, kColourBytes = 12;
    if (format != kZPixmap || bitsPerPixel != 32 || width == 0 || height == 0 || width > kMaxSide ||
        height > kMaxSide || bytesPerLine < width * 4) {
      return {};
    }
    const qint64 start = qint64(headerSize) + qint64(colours) * kColourBytes;
    if (start < 0 || start + qint64(bytesPerLine) * height > dump.size()) return {};
    QImage image(int(width), int(height), QImage::Format_RGB32);
    for (quint32 y = 0; y < height; ++y) {
      const auto* line = reinterpret_cast<const unsigned char*>(dump.constData()) + start +
                         qint64(y) * bytesPerLine;
      auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
      for (quint32 x = 0; x < width; ++x) {
        const unsigned char* p = line + 4 * x;
        // byte order 0: least significant byte first (blue, green, red, pad)
        out[x] = byteOrder == 0 ? qRgb(p[2], p[1], p[0]) : qRgb(p[1], p[2], p[3]);
      }
    }
    return image;
  }

  // Hides the shown main window the user's way: its Cancel button.
  bool HideWithCancel() {
    const QString window = ShownMainWindow();
    const std::optional<QPoint> cancel = ControlCentre(QStringLiteral("CONTROL_CANCEL"));
    if (window.isEmpty() || !cancel) return false;
    Xdotool({"mousemove", "--window", window, QString::number(cancel->x()),
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

}  // namespace kst::e2e
