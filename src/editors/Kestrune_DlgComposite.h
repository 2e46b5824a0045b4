#pragma once

// The key assignment dialog: edits the assignment of one key of the
// keyboard's current profile, with four pages (single key or mouse button,
// macro, media key, editing function), Clear, the on-screen keyboard and
// OK / Cancel / Apply. One instance lives as long as the main window and is
// run modally once per opening. It changes only the store; the main window's
// Apply sends the store to the keyboard.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "editors/EditorLooks.h"
#include "foundation/KeyCodeTable.h"
#include "platform/AppPaths.h"
#include "skin/CBaseDialog.h"
#include "store/ProfileFormat.h"

namespace kst {

class AppProfile;
class AssignmentStore;
class KeyEditorHost;
class KeyboardHook;
class Language;
class MacroPage;

// Dialog resource of the key assignment dialog.
inline constexpr int kCompositeDialogTemplate = 134;
// Control id of G9 and of the main window's macro button: the dialog opens
// macro-only for it.
inline constexpr int kMacroOnlyControlId = 1143;

// Where the dialog goes: centred on the screen for the macro-only opening,
// otherwise against the key's button (screen coordinates), below right,
// above right, below left, above left, in that order, taking the first that
// fits on the screen, and below right when none does.
QPoint PlaceKeyDialog(const QRect& button, QSize dialog, const QRect& screen, bool centred);

// The desktop's on-screen keyboard found on PATH ("onboard" first, then
// other common ones); empty when none is installed.
QString FindOnScreenKeyboard();

class Kestrune_DlgComposite : public CBaseDialog {
  Q_OBJECT

 public:
  // The page shown, which is the kind Apply writes.
  enum Page : int {
    kPageNone = 0,
    kPageSingle = 2,
    kPageMacro = 4,
    kPageMedia = 7,
    kPageFunction = 8
  };

  // Test seams: what would otherwise start programs or read the screen.
  struct Seams {
    std::function<QRect(QPoint)> screenAt;  // available geometry of the screen at the point
    std::function<bool(const QString& program)> startDetached;
    std::function<QString()> findOnScreenKeyboard;
  };

  // All references must outlive the dialog.
  Kestrune_DlgComposite(KeyEditorHost& host, AssignmentStore& store, Language& language,
                        AppProfile& appProfile, const AppPaths& paths, QWidget* parent = nullptr);
  ~Kestrune_DlgComposite() override;

  void SetSeams(Seams seams);

  // Runs the dialog modally on the slot of the current profile. macroOnly
  // exactly for kMacroOnlyControlId. Returns QDialog::Accepted or Rejected.
  int Open(AssignmentSlot slot, int buttonId);
  // Behaves as Cancel when the dialog is open. Returns 1.
  int CloseIfOpen();
  bool IsOpen() const { return openCount_ > 0; }

  bool OnInitDialog() override;

  // ---- Commands, for the buttons and tests ----
  void OnCommand(int controlId);
  void OnApply();
  // Captions in the language (UM_LANGUAGE).
  void SetCaptions(int languageIndex);

  // ---- State, for tests ----
  int CurrentPage() const { return page_; }
  KeyIndex CapturedKey() const { return capturedKey_; }
  bool Modified() const { return modified_; }
  bool MacroOnly() const { return macroOnly_; }
  AssignmentSlot EditedSlot() const { return editedSlot_; }
  QWidget* Control(int controlId) const;
  MacroPage& Macros();
  KeyboardHook& Hook();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void reject() override;
  void accept() override;

 private:
  // Shows the page of page_; opening: the first show of an opening, which
  // takes the stored entry's param into the page.
  void ShowPage(bool opening);
  void SetModified(bool modified);
  // Keyboard source (1185) or mouse source (1186).
  void SelectSource(bool keyboard);
  void InstallCaptureHooks();
  void Capture(KeyIndex key);
  void ClearKey();
  void StartOnScreenKeyboard();
  void PlaceDialog();
  void LayoutControls();
  // The Tab order: the page buttons, the shown page's controls as they are
  // read, then Clear, the on-screen keyboard, OK and Cancel.
  void SetFocusOrder();
  void MakePictures();
  // Gives up the picture sets and the skin at the closing (MakePictures takes
  // them again).
  void ReleasePictures();
  void MakeFonts();
  void FillLists();
  // Remove the hooks, free the working copies, end the modal loop.
  void CloseDialog(int result);

  struct Impl;
  std::unique_ptr<Impl> impl_;
  int page_ = kPageNone;
  AssignmentSlot editedSlot_ = 0;
  int buttonId_ = 0;
  bool macroOnly_ = false;
  KeyIndex capturedKey_ = 0;
  std::uint32_t storedParam_ = 0;
  bool modified_ = false;
  int openCount_ = 0;
  bool firstMacroVisit_ = false;
};

}  // namespace kst
