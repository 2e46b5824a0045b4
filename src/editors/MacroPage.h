#pragma once

// The macro page of the key assignment dialog: the macro editor with its
// recorder. It works on working copies of the stored macros; nothing reaches
// the store until Commit. Its controls are children of the dialog, placed
// from the dialog's skin layout file, and shown only while the dialog shows
// the macro page. User-interface thread only.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "editors/EditorLooks.h"

class QWidget;

namespace kst {

class AppProfile;
class AssignmentStore;
class KeyboardHook;
class Language;
class MacroWorkingCopies;
class MessageBoxes;

class MacroPage : public QObject {
  Q_OBJECT

 public:
  // All references must outlive the page.
  struct Context {
    AssignmentStore& store;
    Language& language;
    AppProfile& appProfile;  // the record-delay setting
    MessageBoxes& boxes;     // confirmations and messages
    KeyboardHook& hook;      // shared with the dialog's key capture
    // Marks the dialog modified (enables its Apply).
    std::function<void()> markModified;
  };

  // Creates the page's controls as children of dialog, hidden.
  MacroPage(QWidget& dialog, Context context);
  ~MacroPage() override;

  // Places the controls from "BUTTONINFO" of the skin file (a control at
  // 1,1 stays hidden) and gives the image buttons the macro set; makes the
  // action list's three columns.
  void Layout(const QString& skinFile, const EditorPictureSet& macroPictures);
  // The page's controls on show or hidden.
  void SetShown(bool shown);
  // Captions, labels and column headings in the language.
  void SetCaptions(int languageIndex);

  // ---- Operations of the dialog ----
  // The working copies from the store (no current macro), cycles "1".
  void LoadWorkingCopies();
  // Dialog initialisation: LoadWorkingCopies is run when the copies are
  // first needed (the page shown, a selection, Commit, the counts below), at
  // once when the page is on show. An opening that never shows the page and
  // is cancelled copies no macro (each is a 16 KB decode). The copies are the
  // store's macros as they are then: a store reloaded since the opening (the
  // keyboard connecting meanwhile) is what the page shows and Apply keeps.
  void LoadWorkingCopiesWhenNeeded();
  // Reads the record-delay setting into the page and writes it back
  // normalised (check box 1027 and the recorder follow it).
  void ReadRecordDelay();
  // Dialog initialisation: ReadRecordDelay is run when the page is next
  // shown, a recording starts or 1027 is clicked, whichever comes first (at
  // once when the page is on show). An opening that never shows the page
  // leaves the settings file alone.
  void ReadRecordDelayWhenNeeded();
  // Selects the working copy with this number and shows it; the first one
  // when number is 0 or no copy has it; nothing when the list is empty.
  void SelectByNumber(std::uint16_t number);
  void ShowCurrentMacro();
  bool Recording() const;
  void StopRecording();
  // Ends an in-place edit of the action list, keeping what was typed.
  void CommitInPlaceEdit();
  // Saves the page into the current copy and installs the copies in the
  // store (ReplaceMacroList). False, with the store untouched, when it
  // could not be done.
  bool Commit();
  // Empties the action list and frees the working copies.
  void FreeWorkingCopies();

  // Macros in the list, and the position of the one on show (-1 none).
  int MacroCount() const;
  int CurrentPosition() const;
  // The number in the cycles field, 1-255.
  int Cycles() const;

  // The page's controls by control id (1017-1027, 1125, 1126, 1130, 1133,
  // 1200), for the dialog and tests; null for another id.
  QWidget* Control(int controlId) const;

  // The rules behind the page, for tests.
  MacroWorkingCopies& WorkingCopies();

 private:
  void StartRecording();
  void ReadPendingRecordDelay();
  // Loads the copies when LoadWorkingCopiesWhenNeeded left them to load.
  void LoadPendingCopies() const;
  void UpdateRecordCaption();
  // Buttons 1020-1026 follow the macro on show; 1017, 1018 and 1126 are
  // off while recording.
  void UpdateEnabled();
  // The macro list's entries and selection from the working copies; the
  // name field keeps the typed text and cursor when keepTyped.
  void SyncList(bool keepTyped);
  void ShowSelectedRow(int row);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kst
