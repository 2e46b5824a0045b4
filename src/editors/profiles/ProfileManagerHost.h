#pragma once

// What the profile manager needs of the main window and the keyboard. The
// main window's side implements it (MainWindowProfileManager); tests give
// their own.

#include <QString>

namespace kst {

class ProfileManagerHost {
 public:
  virtual ~ProfileManagerHost() = default;

  // The keyboard's current profile, 0-3; -1 when unknown.
  virtual int CurrentProfile() = 0;
  // Asks the keyboard to make the profile (0-3) its current one. The command
  // result: 1 success; otherwise the current profile is unknown afterwards.
  virtual int SwitchKeyboardProfile(int profile) = 0;
  // Rebuilds the store from the keyboard for its current profile (a default
  // block when it is unknown) and redraws the key buttons.
  virtual void ReloadActiveProfile() = 0;
  // The main window shows the keyboard's current profile again: the profile
  // menu and its button's caption, the profile buttons and the lighting.
  virtual void ShowSwitchedProfile() = 0;
  // The main window's Apply is disabled: its changes were superseded.
  virtual void DisableMainApply() = 0;
  // Opens the help page.
  virtual void OpenHelp() = 0;
};

}  // namespace kst
