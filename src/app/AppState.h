#pragma once

// The application state record: one instance, owned by the application
// object (inside its AppContext) and handed down by reference.

#include <atomic>

class QWidget;

namespace kst {

struct AppState {
  // Set in the main window's initialisation; not owned.
  QWidget* mainWindow = nullptr;
  // 0 at start; set by the first automatic show, by "/Start", or when no
  // keyboard is present at start-up. User-interface thread only.
  bool autoShowDone = false;
  // Whether the keyboard is present; kept by the main window, read anywhere.
  std::atomic<bool> devicePresent{false};
  // Resource id of the tray picture shown now (128, 141, 142); kept by
  // TrayPictures, read by the state query of the instance socket.
  std::atomic<int> trayIcon{128};
  // The keyboard's cached current profile is kept by the device link
  // (DeviceLink::CachedCurrentProfile), which owns the value for its threads.
};

}  // namespace kst
