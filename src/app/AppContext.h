#pragma once

// What the application object hands the main window: CKestruneDlg is
// constructed as `CKestruneDlg(AppContext& context)` and keeps the reference
// for its whole life.
//
// Ownership (one instance of each, no globals):
//  - CKestruneApp owns everything in this record: the paths, the registry
//    (settings key), the language, the parsed command line, the application
//    state record, the single-instance guard (lock + socket) and the
//    assignment store with its lock. They outlive the main window.
//  - The main window owns the device side: the service-library binding, the
//    DeviceLink (it implements DeviceHost for it), the upload snapshot with
//    its lock, and the tray icon (CTrayIcon + TrayPictures). It frees them in
//    its exit sequence, in that order of need: link shut down first.
//
// The main window's part of start-up and exit, in order:
//  - constructor: RunInstanceGate(context); on StartupGate::Exit the process
//    ends at once with exit code 0 (EndProcessNow(0)).
//  - initialisation: context.state.mainWindow = this; bind the service
//    library from context.executableFolder (service libraries lie beside the
//    executable; data files lie in paths.programFolder); when the device
//    count is 0, set state.autoShowDone; once ready for messages (where the
//    window takes its tag) context.instance.Listen(handler), the handler
//    dispatching UM_OPEN / UM_KILL with their wParam checks.
//  - hiding: ConcealMainWindow(*this) (minimises when the desktop has no
//    notification area, so the window stays reachable).
//  - auto-show: the first UM_OPEN of the connection worker is honoured only
//    while state.autoShowDone is clear ("/Start" sets it).
//  - exit sequence: context.instance.Close() where the instance lock is
//    released, then the tray icon is removed, the store emptied under its
//    lock (context.store.InstallDefault()), and the dialog ended.

#include <QString>

#include "app/AppState.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "platform/AppPaths.h"

namespace kst {

class AssignmentStore;
class Language;
class Registry;

struct AppContext {
  AppPaths paths;              // paths.programFolder: data beside the program (or share/kestrune)
  QString executableFolder;    // folder of the running executable: service libraries, companion
  QString executableFileName;  // "kestrune": finding the running instance
  Registry& registry;          // the settings key and the application profile
  Language& language;
  CommandLine commandLine;
  AppState state;
  SingleInstance& instance;
  AssignmentStore& store;
  // Set by RunInstanceGate once it has run (the application runs it itself
  // when the window did not).
  bool instanceGateDone = false;
};

// Start-up steps of the main window's construction, in order: the switches
// ("/Kill" ends this process after telling the running instance to exit;
// "/Start" sets state.autoShowDone), the instance lock (a running instance
// is woken with UM_OPEN and this process ends), and the companion program
// "Mervisto" beside the executable, started when present. Exit: the caller
// ends the process at once with exit code 0.
StartupGate RunInstanceGate(AppContext& context);

// Ends the process at once with the code: flushes the standard streams, then
// runs no destructors and no exit handlers, so it is safe while other threads
// (picture decoders, the platform's own) still run. For the start-up's early
// exits, before anything is held that would need an orderly end.
[[noreturn]] void EndProcessNow(int code);

}  // namespace kst
