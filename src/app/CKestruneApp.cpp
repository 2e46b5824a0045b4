#include "app/CKestruneApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <memory>

#include "app/AppContext.h"
#include "app/AppStartup.h"
#include "app/KeyListing.h"
#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "skin/AppStyle.h"
#include "store/AssignmentStore.h"

#ifdef KST_HAVE_MAIN_WINDOW
#include "mainwindow/CKestruneDlg.h"
#endif
#ifdef KST_HAVE_EDITORS
#include "editors/MainWindowEditors.h"
#endif
#ifdef KST_HAVE_LIGHTING
#include "lighting/panel/MainWindowLighting.h"
#endif
#ifdef KST_HAVE_PROFILES
#include "mainwindow/profiles/MainWindowProfiles.h"
#endif
#ifdef KST_HAVE_PROFILE_MANAGER
#include "editors/profiles/MainWindowProfileManager.h"
#endif
#ifdef KST_HAVE_CTL
#include "app/WindowCtlHost.h"
#endif

namespace kst {

CKestruneApp::CKestruneApp(QStringList arguments) : arguments_(std::move(arguments)) {}

int CKestruneApp::InitInstance() {
  const QString executableFolder = QCoreApplication::applicationDirPath();
  const QString executableFileName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  const AppPaths paths = AppPaths::FromEnvironment(ResolveProgramFolder(executableFolder));

  // The settings key: the registry file is created by its first write; a
  // file that cannot be written leaves the language choice unstored.
  Registry registry(paths.registryFile);
  Language language(registry, paths.programFolder);
  const CommandLine commandLine = CommandLine::Parse(arguments_);

#ifdef KST_HAVE_MAIN_WINDOW
  // Before any window: menus, message boxes and file dialogs take the skin's
  // look from the start.
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) ApplyAppStyle(*app);
  InstanceConfig instanceConfig;
  instanceConfig.runtimeFolder = UserRuntimeFolder();
  instanceConfig.executableFileName = executableFileName;
  instanceConfig.selfPid = QCoreApplication::applicationPid();
  SingleInstance instance(std::move(instanceConfig));
  // The store, with its lock, for the whole run.
  AssignmentStore store;

  AppContext context{paths,    executableFolder, executableFileName,
                     registry, language,         commandLine,
                     {},       instance,         store};
  instance.Server().SetStatusProvider([&context] { return context.state.trayIcon.load(); });

  {
    CKestruneDlg dialog(context);
    // The window runs the gate in its construction; a window that did not is
    // guarded all the same before anything shows.
    if (!context.instanceGateDone && RunInstanceGate(context) == StartupGate::Exit) {
      EndProcessNow(0);
    }
#ifdef KST_HAVE_EDITORS
    MainWindowEditors editors(dialog, context);
#endif
#ifdef KST_HAVE_LIGHTING
    MainWindowLighting lighting(dialog, context);
#endif
#ifdef KST_HAVE_PROFILES
#ifdef KST_HAVE_LIGHTING
    MainWindowProfiles profiles(dialog, context, [&lighting] { return lighting.Model(); });
#else
    MainWindowProfiles profiles(dialog, context, [] { return nullptr; });
#endif
#ifdef KST_HAVE_PROFILE_MANAGER
    MainWindowProfileManager profileManager(dialog, context, profiles.Bar());
#endif
#endif
#if defined(KST_HAVE_CTL) && defined(KST_HAVE_LIGHTING)
    WindowCtlHost ctl(dialog, context, [&lighting] { return lighting.Model(); });
#elif defined(KST_HAVE_CTL)
    WindowCtlHost ctl(dialog, context, [] { return nullptr; });
#endif
    if (commandLine.Has(Switch::Screenshot)) {
      ScreenshotOnFirstShow(&dialog, commandLine.screenshotFile);
    }
    dialog.exec();
  }
  instance.Close();
  return 0;
#else
  // Until the main window exists the program prints what it would show: the
  // chosen language and the key table.
  (void)executableFileName;
  (void)commandLine;
  QTextStream out(stdout);
  WriteLanguageLine(out, language);
  WriteKeyListing(out, language);
  return 0;
#endif
}

}  // namespace kst
