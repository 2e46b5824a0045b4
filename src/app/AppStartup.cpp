#include "app/AppStartup.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QPixmap>
#include <QPointer>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "app/AppContext.h"
#include "app/CommandLine.h"
#include "app/InstanceMessenger.h"
#include "app/SingleInstance.h"
#include "device/DeviceHost.h"
#include "device/ServiceLibrary.h"
#include "device/diagnosis/KeyboardDiagnosis.h"
#include "foundation/SkinLayout.h"

namespace kst {

namespace {

// Time for the first paint of a freshly shown window before it is grabbed.
constexpr int kScreenshotDelayMs = 500;

class ScreenshotFilter : public QObject {
 public:
  ScreenshotFilter(QWidget* window, QString file) : QObject(window), file_(std::move(file)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (taken_ || scheduled_ || (type != QEvent::Show && type != QEvent::WindowStateChange)) {
      return false;
    }
    QPointer<QWidget> window = qobject_cast<QWidget*>(watched);
    if (!window || !Shown(*window)) return false;
    scheduled_ = true;
    QTimer::singleShot(kScreenshotDelayMs, this, [this, window] {
      scheduled_ = false;
      // A window hidden or minimised again meanwhile waits for its next show.
      if (!window || !Shown(*window)) return;
      taken_ = true;
      const QPixmap picture = window->grab();
      if (!picture.isNull() && picture.save(file_, "PNG")) {
        std::printf("screenshot: %s\n", qPrintable(QDir::toNativeSeparators(file_)));
      } else {
        std::fprintf(stderr, "kestrune: the screenshot could not be saved to %s\n",
                     qPrintable(file_));
      }
      std::fflush(stdout);
    });
    return false;
  }

 private:
  static bool Shown(const QWidget& window) { return window.isVisible() && !window.isMinimized(); }

  QString file_;
  bool scheduled_ = false;
  bool taken_ = false;
};

}  // namespace

void ScreenshotOnFirstShow(QWidget* window, const QString& file) {
  if (window == nullptr || file.isEmpty()) return;
  window->installEventFilter(new ScreenshotFilter(window, file));
}

StartupGate RunInstanceGate(AppContext& context) {
  context.instanceGateDone = true;
  bool startFlag = false;
  if (context.instance.Run(context.commandLine, startFlag) == StartupGate::Exit) {
    return StartupGate::Exit;
  }
  // Whatever starts the program at log-in may do so before the notification
  // area is up: "/Start" never shows the window by itself. A desktop that
  // has no notification area at all gets the window on its task bar instead
  // (the main window's concealment at start-up).
  if (startFlag) context.state.autoShowDone = true;
  StartCompanionProgram(context.executableFolder + QLatin1Char('/') +
                        QLatin1String(kCompanionProgramName));
  return StartupGate::Continue;
}

namespace {

// This user's running utility, when there is one: it holds the keyboard, and
// is asked over its socket whether the keyboard answers it.
std::optional<KeyboardOwner> RunningOwner() {
  const QString runtime = UserRuntimeFolder();
  if (runtime.isEmpty()) return std::nullopt;
  InstanceLock lock(runtime);
  if (lock.TryAcquire() != InstanceLock::Result::HeldElsewhere) return std::nullopt;
  KeyboardOwner owner;
  owner.pid = lock.HolderPid();
  SendTimeouts timeouts;
  timeouts.connectMs = 1000;
  timeouts.replyMs = 5000;
  if (const std::optional<std::intptr_t> icon =
          SendInstanceMessage(InstanceSocketPath(runtime), {UM_STATUS, kStatusWParam, 0}, timeouts))
    owner.connected = *icon == kTrayIconConnected;
  // A lock whose holder neither answers nor is this program is no owner.
  if (!owner.connected &&
      FindRunningInstance(QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                          QCoreApplication::applicationPid()) == 0)
    return std::nullopt;
  return owner;
}

}  // namespace

int WriteDiagnosis(QTextStream& out, const CommandLine& line, const QString& executableFolder) {
  std::vector<std::string_view> arguments;
  if (line.Has(Switch::Simulate)) arguments.push_back(kSimulateOption);
  DiagnosisInputs inputs;
  inputs.executableFolder = executableFolder;
  inputs.serviceLibraryFile = QString::fromLatin1(ServiceLibraryFileName(
      SimulatedKeyboardRequested(arguments, std::getenv(kDeviceEnvironment))));
  inputs.owner = RunningOwner();
  const DiagnosisReport report = DiagnoseKeyboard(inputs);
  for (const QString& text : DiagnosisLines(report)) out << text << '\n';
  out.flush();
  return report.ExitCode();
}

void EndProcessNow(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(code);
}

}  // namespace kst
