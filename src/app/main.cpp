// kestrune: the keyboard's configuration utility. "--list-keys", "--diagnose"
// and "--help" print and end, and "/Kill" ends the running utility, all
// without a display.

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include <cstring>

#include "app/AppStartup.h"
#include "app/CKestruneApp.h"
#include "app/CommandLine.h"
#include "app/KeyListing.h"
#include "app/SingleInstance.h"
#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "skin/SkinPictures.h"

namespace {

bool HasArgument(int argc, char** argv, const char* word) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], word) == 0) return true;
  }
  return false;
}

int ListKeys(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const kst::AppPaths paths = kst::AppPaths::FromEnvironment(
      kst::ResolveProgramFolder(QCoreApplication::applicationDirPath()));
  kst::Registry registry(paths.registryFile);
  kst::Language language(registry, paths.programFolder);
  QTextStream out(stdout);
  kst::WriteKeyListing(out, language);
  return 0;
}

// Runs the text-only switches ("--help", "--diagnose") without a display;
// -1 when the command line has neither.
int TextOnly(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const kst::CommandLine line = kst::CommandLine::Parse(arguments);
  if (!line.Has(kst::Switch::Help) && !line.Has(kst::Switch::Diagnose)) return -1;
  QCoreApplication app(argc, argv);
  QTextStream out(stdout);
  if (line.Has(kst::Switch::Help)) {
    for (const QString& text : kst::HelpLines()) out << text << '\n';
    return 0;
  }
  return kst::WriteDiagnosis(out, line, QCoreApplication::applicationDirPath());
}

// "/Kill" tells the running utility to end and never starts one, so it needs
// no display (a log-out script, a remote shell); -1 without "/Kill".
int KillOnly(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const kst::CommandLine line = kst::CommandLine::Parse(arguments);
  if (!line.Has(kst::Switch::Kill)) return -1;
  QCoreApplication app(argc, argv);
  kst::InstanceConfig config;
  config.runtimeFolder = kst::UserRuntimeFolder();
  config.executableFileName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  config.selfPid = QCoreApplication::applicationPid();
  kst::SingleInstance instance(std::move(config));
  bool startFlag = false;
  instance.Run(line, startFlag);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (HasArgument(argc, argv, "--list-keys")) return ListKeys(argc, argv);
  if (const int code = TextOnly(argc, argv); code >= 0) return code;
  if (const int code = KillOnly(argc, argv); code >= 0) return code;
#ifdef KST_HAVE_MAIN_WINDOW
  // The window drops pictures of megabytes (decoded pictures once their
  // pieces are cut, everything while hidden) and stays resident: their pages
  // must go back at once.
  kst::MapLargeBlocksApart();
  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("kestrune"));
  // The main window hides instead of closing; only its exit sequence ends the run.
  QApplication::setQuitOnLastWindowClosed(false);
#else
  QCoreApplication app(argc, argv);
#endif
  QStringList arguments = QCoreApplication::arguments();
  if (!arguments.isEmpty()) arguments.removeFirst();
  kst::CKestruneApp kestrune(std::move(arguments));
  return kestrune.InitInstance();
}
