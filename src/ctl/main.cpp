// kestrunectl: the keyboard's configuration from the command line. A thin
// program over kst_ctl: parses, takes the command-line lock, and runs the
// request on the keyboard it opens itself.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLockFile>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "ctl/CtlCommand.h"
#include "ctl/CtlDump.h"
#include "ctl/CtlMessages.h"
#include "ctl/CtlNames.h"
#include "ctl/CtlStandalone.h"
#include "device/ServiceLibrary.h"
#include "foundation/Language.h"
#include "lighting/EffectList.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "platform/RuntimeFolder.h"
#ifdef KST_CTL_INSTANCE
#include <QThread>

#include <signal.h>

#include <cerrno>

#include "app/InstanceMessenger.h"
#include "app/SingleInstance.h"
#endif

namespace {

using namespace kst;

// How long a second kestrunectl waits for the first to finish.
constexpr int kLockWaitMs = 5000;
constexpr const char* kLockName = "kestrunectl.lock";

int Finish(const CtlResult& result) {
  if (!result.out.isEmpty()) {
    const QByteArray out = result.out.toUtf8();
    std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
  }
  if (!result.error.isEmpty())
    std::fprintf(stderr, "kestrunectl: %s\n", result.error.toUtf8().constData());
  return ExitCode(result.exit);
}

#ifdef KST_CTL_INSTANCE
// How long a window that is starting may take to listen on its socket.
constexpr int kWindowStartWaitMs = 5000;

// A window holds its instance lock from before it listens until it ends: a
// live holder without a socket yet is a window still starting.
bool WindowStarting(const QString& runtimeFolder) {
  QLockFile lock(runtimeFolder + QLatin1Char('/') + QLatin1String(kInstanceLockName));
  qint64 pid = 0;
  QString host, application;
  if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Sends the request to the running utility; while a window is starting, waits
// for its socket (up to kWindowStartWaitMs) rather than opening the keyboard
// behind its back.
CtlSendOutcome SendToWindow(const QString& runtimeFolder, const CtlRequest& request) {
  const QString socket = InstanceSocketPath(runtimeFolder);
  QDeadlineTimer startWait(kWindowStartWaitMs);
  for (;;) {
    const CtlSendOutcome sent =
        SendCtlRequest(socket, RequestArguments(request), CtlReplyLimitMs(request));
    if (sent.status != CtlSendStatus::NoInstance || startWait.hasExpired() ||
        !WindowStarting(runtimeFolder))
      return sent;
    QThread::msleep(50);
  }
}
#endif

// Word lists for the shell completion.
QStringList CompletionWords(const QString& what, Language& language) {
  if (what == QLatin1String("commands")) {
    QStringList names;
    for (const SubcommandHelp& help : SubcommandHelps()) names << QLatin1String(help.name);
    return names;
  }
  if (what == QLatin1String("keys")) return KeyCliNames();
  if (what == QLatin1String("assignable")) return SlotCliNames();
  if (what == QLatin1String("media")) return MediaCliNames();
  if (what == QLatin1String("functions")) return FunctionCliNames();
  if (what == QLatin1String("effects")) {
    QStringList names;
    const QString file = language.LanguageFilePath(language.GetLanguageIndex());
    for (int code = 1; code < 256; ++code) {
      if (IsKnownEffect(static_cast<EffectCode>(code)))
        names << EffectCliName(EffectName(file, static_cast<EffectCode>(code)));
    }
    return names;
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral(KST_VERSION));
  QStringList arguments = app.arguments().mid(1);
  std::vector<std::string> raw(argv + 1, argv + argc);
  std::vector<std::string_view> views(raw.begin(), raw.end());
  const bool simulated = SimulatedKeyboardRequested(views, std::getenv(kDeviceEnvironment));
  arguments.removeAll(QLatin1String(kSimulateOption));

  // The help and the manual page are the program's documentation, in
  // English; what goes wrong is told in the language the window shows.
  if (!arguments.isEmpty() &&
      (arguments.first() == QLatin1String("--help") || arguments.first() == QLatin1String("-h"))) {
    CtlResult result;
    result.out = UsageText();
    return Finish(result);
  }
  if (!arguments.isEmpty() && arguments.first() == QLatin1String("--manpage")) {
    std::fputs(ManPage(QCoreApplication::applicationVersion()).toUtf8().constData(), stdout);
    return 0;
  }

  const QString executableFolder = QCoreApplication::applicationDirPath();
  const AppPaths paths = AppPaths::FromEnvironment(ResolveProgramFolder(executableFolder));
  Registry registry(paths.registryFile);
  Language language(registry, paths.programFolder);
  if (arguments.isEmpty()) {
    CtlResult result;
    result.out = UsageText();
    result.exit = CtlExit::Usage;
    result.error = CtlMessage(&language, ctl_text::kNoCommand);
    return Finish(result);
  }
  if (arguments.first() == QLatin1String("--complete")) {
    for (const QString& word : CompletionWords(arguments.value(1), language))
      std::printf("%s\n", word.toUtf8().constData());
    return 0;
  }

  CtlResult result;
  const std::optional<CtlRequest> request = ParseCtlArguments(arguments, result, &language);
  if (!request) return Finish(result);
  if (request->verb == QLatin1String("dump")) {
    return Finish(WriteProfileFileDump(
        request->operands.value(0), request->json, &language, [](const QByteArray& piece) {
          std::fwrite(piece.constData(), 1, static_cast<std::size_t>(piece.size()), stdout);
        }));
  }

  // One kestrunectl at a time talks to the keyboard.
  const RuntimeFolder runtime = ResolveRuntimeFolder();
  std::unique_ptr<QLockFile> lock;
  if (!runtime.path.empty()) {
    lock = std::make_unique<QLockFile>(QString::fromStdString(runtime.path) + QLatin1Char('/') +
                                       QLatin1String(kLockName));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(kLockWaitMs)) {
      result.exit = CtlExit::Busy;
      result.error = CtlMessage(&language, ctl_text::kBusy);
      return Finish(result);
    }
  }

#ifdef KST_CTL_INSTANCE
  // The running utility owns the keyboard: it runs the command.
  if (!runtime.path.empty()) {
    const CtlSendOutcome sent = SendToWindow(QString::fromStdString(runtime.path), *request);
    switch (sent.status) {
      case CtlSendStatus::Answered:
        result.exit = static_cast<CtlExit>(sent.reply.exitCode);
        result.out = sent.reply.out;
        result.error = sent.reply.error;
        return Finish(result);
      case CtlSendStatus::Refused:
        result.exit = CtlExit::Refused;
        result.error = CtlMessage(&language, ctl_text::kSocketRefused);
        return Finish(result);
      case CtlSendStatus::NoAnswer:
        result.exit = CtlExit::NoAnswer;
        result.error = CtlMessage(&language, ctl_text::kNoAnswer,
                                  {QString::number(CtlReplyLimitMs(*request) / 1000)});
        return Finish(result);
      case CtlSendStatus::NoInstance:
        break;
    }
  }
#endif

  StandaloneCtlHost host(paths, executableFolder, simulated);
  QString why;
  if (!host.Open(why)) {
    result.exit = CtlExit::NoKeyboard;
    result.error = why;
    return Finish(result);
  }
  return Finish(RunCtlRequest(*request, host));
}
