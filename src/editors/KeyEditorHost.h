#pragma once

// What the key assignment dialog needs of the window that opens it: the
// keyboard's current profile, the key's button on the keyboard picture and
// the window's apply-pending mark. The main window implements it; tests
// give a recording fake. User-interface thread only.

#include <QRect>

#include "store/MessageBoxes.h"

namespace kst {

class KeyEditorHost : public MessageBoxes {
 public:
  // The keyboard's current profile, 0-3; -1 while it is unknown.
  virtual int CurrentProfile() = 0;
  // The key button's rectangle in screen coordinates; a null rectangle when
  // the button is not on show (the dialog is then centred).
  virtual QRect KeyButtonScreenRect(int controlId) = 0;
  // The button's looks while its dialog is open (editing) and back.
  virtual void ShowKeyEditing(int controlId, bool editing) = 0;
  // The button's assigned (selected) look.
  virtual void ShowKeyAssigned(int controlId, bool assigned) = 0;
  // Rebuilds the looks and captions of every key button from the store.
  virtual void RefreshKeyButtons() = 0;
  // The store holds changes the keyboard has not been sent (enables Apply).
  virtual void MarkApplyPending() = 0;
  virtual void OpenHelp() = 0;

 protected:
  ~KeyEditorHost() override = default;
};

}  // namespace kst
