#pragma once

// Plugs the editors into the main window: the key assignment dialog, opened
// from the keyboard picture and the macro button, closed with the window's
// shut-down and when the keyboard goes, and told of language changes. The
// window knows the editors only through its Parts hooks; this object lives
// as long as the window and must be destroyed before it.

#include <memory>

namespace kst {

struct AppContext;
class CKestruneDlg;
class Kestrune_DlgComposite;

class MainWindowEditors {
 public:
  MainWindowEditors(CKestruneDlg& window, AppContext& context);
  ~MainWindowEditors();
  MainWindowEditors(const MainWindowEditors&) = delete;
  MainWindowEditors& operator=(const MainWindowEditors&) = delete;

  // The dialog, made on first use.
  Kestrune_DlgComposite& KeyAssignmentDialog();
  // Whether the dialog has been made (its first open, or a call above).
  bool DialogMade() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kst
