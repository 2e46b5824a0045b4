#pragma once

// Plugs the profile manager into the main window: the profile bar opens it
// (its name button), asks whether it holds changes before a switch and
// shows it the keyboard's profile after one; the window closes it with its
// shut-down and when the keyboard goes. The dialog is made at its first
// opening. Lives as long as the window and the bar and must be destroyed
// before them.

#include <memory>

namespace kst {

struct AppContext;
class CKestruneDlg;
class CKestrune_DlgProfile;
class ProfileBar;

class MainWindowProfileManager {
 public:
  MainWindowProfileManager(CKestruneDlg& window, AppContext& context, ProfileBar& bar);
  ~MainWindowProfileManager();
  MainWindowProfileManager(const MainWindowProfileManager&) = delete;
  MainWindowProfileManager& operator=(const MainWindowProfileManager&) = delete;

  // Runs the dialog modally, made first when needed. Nothing before the
  // window has made its profile files (its initialisation).
  void Open();
  // The dialog; null before its first opening.
  CKestrune_DlgProfile* Dialog() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kst
