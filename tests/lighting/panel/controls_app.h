#pragma once

// The test program's one QApplication for the panel's own controls, made on
// first use; offscreen unless the environment says otherwise.

#include <QApplication>

#include <cstdlib>

namespace kst::test {

inline void EnsureControlsApp() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "lighting_panel_tests";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  new QApplication(argc, argv);  // lives until the process ends
}

}  // namespace kst::test
