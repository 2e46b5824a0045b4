#pragma once

// The application object: computes the paths, opens the settings, owns the
// store and the application state, runs the main window as a modal dialog
// for the whole life of the process, and ends the process when it ends.

#include <QStringList>

namespace kst {

class CKestruneApp {
 public:
  // arguments: the program's arguments without the program name.
  explicit CKestruneApp(QStringList arguments);

  // The whole run; gives the process's exit code (0).
  int InitInstance();

 private:
  QStringList arguments_;
};

}  // namespace kst
