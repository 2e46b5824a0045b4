#pragma once

// The profile manager: lists profile files with a check mark on the profile
// the keyboard is to use, creates new profile files with the default
// configuration (Add), adds existing ones (Load), removes rows, and on Apply
// records the list in the application profile's "PROFILES" section,
// switches the keyboard to the checked row's profile and reloads the store
// for it. One instance lives as long as the main window and is run modally
// once per opening.

#include <QString>

#include <functional>
#include <memory>

#include "platform/AppPaths.h"
#include "skin/CBaseDialog.h"
#include "store/MessageBoxes.h"

class QTableView;

namespace kst {

class CPngButton;
class Language;
class ProfileFiles;
class ProfileListModel;
class ProfileManagerHost;
class Registry;

// Dialog resource of the profile manager.
inline constexpr int kProfileDialogTemplate = 131;

namespace profile_manager_id {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kList = 1007;
inline constexpr int kLoad = 1008;
inline constexpr int kAdd = 1010;
inline constexpr int kDelete = 1011;
inline constexpr int kApply = 1012;
inline constexpr int kHidden = 1013;
}  // namespace profile_manager_id

class CKestrune_DlgProfile : public CBaseDialog {
  Q_OBJECT

 public:
  // Test seams: what would otherwise wait for the user.
  struct Seams {
    // The save dialog of Add: gets the suggested path, gives the path the
    // user chose as typed (the default extension is added afterwards);
    // empty cancels.
    std::function<QString(const QString& suggested)> chooseNewFile;
    // The open dialog of Load: gets the folder it starts in; empty cancels.
    std::function<QString(const QString& folder)> chooseExistingFile;
  };

  // All references must outlive the dialog. files gives the profile folder
  // and writes the new profile files; registry keeps the list on Apply;
  // boxes shows what went wrong.
  CKestrune_DlgProfile(ProfileManagerHost& host, ProfileFiles& files, Language& language,
                       Registry& registry, MessageBoxes& boxes, const AppPaths& paths,
                       QWidget* parent = nullptr);
  ~CKestrune_DlgProfile() override;

  void SetSeams(Seams seams);

  // Runs the dialog modally. Returns QDialog::Accepted (OK) or Rejected.
  int Open();
  // Behaves as Cancel when the dialog is open. Returns 1.
  int CloseIfOpen();
  bool IsOpen() const { return openCount_ > 0; }
  int OpenCount() const { return openCount_; }
  // Whether the list holds changes not applied (Apply is enabled).
  bool Modified() const { return modified_; }
  // The keyboard switched to the profile while the dialog is open: its row
  // becomes the only checked one and Apply is disabled.
  void ShowCurrentProfile(int profile);

  bool OnInitDialog() override;

  // ---- Commands, for the buttons and tests ----
  void OnCommand(int controlId);
  // Add and Load: a row for the chosen file. Add first creates the file
  // with the default configuration and appends nothing when it cannot.
  void OnAdd();
  void OnLoad();
  void OnDelete();
  // Records the list, switches the keyboard to the checked row's profile and
  // reloads. false, with a message and Apply still enabled, when the list
  // could not be recorded; nothing else is done then.
  bool OnApply();

  // ---- State, for tests ----
  ProfileListModel& Model() const;
  QTableView* List() const;
  CPngButton* Button(int controlId) const;
  // Where Add suggests the new file: the profile folder and the new
  // profile's name in the current language.
  QString SuggestedNewFile();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override;
  void accept() override;

 private:
  void SetModified(bool modified);
  void MakePictures();
  void LayoutControls();
  void FillList();
  void PlaceDialog();
  // Ends the modal loop with the result; the dialog keeps its pictures.
  void CloseDialog(int result);

  struct Impl;
  std::unique_ptr<Impl> impl_;
  int openCount_ = 0;
  bool modified_ = false;
};

}  // namespace kst
