#pragma once

// The lighting of the keyboard as the window works with it: the one working
// copy (LightingState), the six records and the per-key colours read back
// from the keyboard, the mode files of the custom effect and the edit-mode
// switch, and every operation the lighting panel, the keyboard view and the
// profile bar run on them. Each operation writes to the keyboard at once.
//
// The window it lives in is reached only through LightingHost. Window's
// thread only; every keyboard exchange is synchronous and holds the
// keyboard for its whole command sequence.
//
// Results: 1 when everything reached the keyboard, 0 when nothing had to be
// written, kDeviceBadArgument (-202) for an argument out of range (nothing
// written, nothing changed), else the first failing command's result. After
// a failed write the model reads the active profile's record back, so the
// state, and the panel, show what the keyboard holds.

#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

#include "foundation/Language.h"
#include "lighting/KeyColourTable.h"
#include "lighting/LightingDevice.h"
#include "lighting/LightingRecord.h"
#include "lighting/LightingReload.h"
#include "lighting/LightingWriter.h"
#include "store/ProfileFolderSeeder.h"

namespace kst {

// What the lighting shows on, and asks of, the window.
class LightingHost {
 public:
  virtual ~LightingHost() = default;
  // The colour frame of one lit key button (see KeyLeds.h) in colour.
  virtual void ShowKeyColour(int controlId, ColorRef colour) = 0;
  // Colour frames and pressed looks off on every key button, and the keys
  // drawn from their assignments again.
  virtual void ClearKeyColours() = 0;
  // T and the grave accent shown held (and left alone by clicks) by the
  // record's lock flags.
  virtual void ShowLocks(bool lockT, bool lockTilde) = 0;
  // The profile bar's switch to profile (0-3), with its refusal while an
  // editor is open and its question about unapplied key changes. False when
  // it refused or the user cancelled.
  virtual bool SelectProfile(int profile) = 0;
  // The profile bar shows the keyboard's current profile.
  virtual void UpdateProfileBar() = 0;
  // The panel shows the state anew: effect list, sliders, pictures, colours,
  // custom controls, edit-mode switch and the controls of the effect.
  virtual void RefreshPanel() = 0;
};

// Where the lighting keeps its files.
struct LightingPaths {
  QString dataFolder;        // per-user data folder: mode files and "wskb.ini"
  QString templateModeFile;  // the skin's "UserDengColor_4.userd"
  // The language file of the language in force; read for the effect names.
  std::function<QString()> languageFile;

  // The paths of a program whose skin lies in "<programFolder>/Skins", with
  // the per-user data in dataFolder, reading the language in force.
  static LightingPaths ForProgram(const QString& programFolder, const QString& dataFolder,
                                  Language& language);

  QString ModeFile(int profile) const;  // "<dataFolder>/UserDengColor_<p>.userd"
  QString WskbFile() const;             // "<dataFolder>/wskb.ini"
};

class LightingModel final : public ProfileFolderSeeder {
 public:
  // device and host must outlive the model.
  LightingModel(LightingDevice& device, LightingHost& host, LightingPaths paths);

  const LightingState& State() const { return state_; }
  const LightingRecords& Records() const { return records_; }
  const KeyColourTable& Colours() const { return colours_; }
  const LightingPaths& Paths() const { return paths_; }

  // Display names of the effect list's entries, in its order (language
  // file's "Mode" section; "1" for a code without a name).
  QStringList EffectNames() const;
  // The list index of the effect in force; -1 when the keyboard's list does
  // not hold it.
  int SelectedEffectIndex() const;
  // Whether the keyboard offers the custom effect (code 20).
  bool OffersCustomEffect() const;
  // The names of the user modes (the entries of "MODENAME" that the list
  // was filled with), index = user mode number.
  const QStringList& UserModeNames() const { return userModeNames_; }

  // ---- Reload ----
  // ReloadLighting for activeProfile, then RefreshEffectList. Gives the
  // reload's result (-1 when the settings block cannot be read).
  int Reload();
  // What follows the keyboard's connection, after the store has loaded the
  // active profile: the connect variant of ReloadLighting (activeProfile
  // taken from the keyboard's current profile; user-mode list and
  // LoadUserMode when code 20 is offered), RefreshEffectList, and
  // DeriveBaseFlags when code 20 is offered.
  int ReloadOnConnect();
  // The profile whose record is shown (0-3), kept in step with the profile
  // bar: reloads, takes the profile's user mode from its mode file when
  // code 20 is offered (nothing sent: the keyboard holds those colours),
  // and leaves edit mode off ("DengCheck" = "0"), also when profile is the
  // one already shown.
  int SetActiveProfile(int profile);
  // After a language change: the effect names anew.
  void RefreshEffectList();

  // ---- Panel operations ----
  // ChangeEffect: key colours cleared, SelectEffect, for code 20 the key
  // colours shown.
  int ChangeEffect(int listIndex);
  int SetBrightness(int brightness);
  // The speed slider's position 0-4; writes speed 4 - position.
  int SetSpeedPosition(int position);
  int SetDirection(int direction);  // kDirectionLeft (0xFF) or kDirectionRight (0x00)
  int SetColour(ColorRef colour);
  int ToggleMulticolour();
  int SetColourChoice(int choice);
  // 0-3; run by the report-rate buttons.
  int SetReportRate(int rate);
  int SetPaintColour(ColorRef colour);
  int SetBaseColour(ColorRef colour);
  int SetTool(int tool);
  int SelectUserMode(int mode);
  // The current user mode's name becomes text (list and mode file).
  int RenameUserMode(const QString& text);
  // A click on a key button in edit mode. Only lit key buttons are painted
  // (D1-D6 do nothing: 0), and only while the effect is 20.
  int PaintKey(int controlId);
  // The edit-mode switch. Turning it on first runs the host's SelectProfile
  // with the keyboard's current profile; when that refuses, edit mode stays
  // off and nothing changes. Gives the new edit mode.
  bool ToggleEditMode();
  // Colour frames of every lit key button from the active profile's colours.
  void ShowKeyColours();

  // ---- Resets ----
  // The default button's part of the active profile's record (bytes 18-23
  // set to zero), kept in the model's copy of the record too.
  int ClearKeyDefaultBytes();
  int ResetProfileLighting(int profile);
  // After the keyboard's factory reset.
  int ResetAllLighting();

  // ---- ProfileFolderSeeder ----
  // The per-user data folder was just created: every profile's mode file
  // from the template, and "wskb.ini" with edit mode off.
  void SeedProfileFolder(const QString& folder) override;

 private:
  // Reads the active profile's record back after a failed write (result
  // neither 1 nor 0 nor a refused argument) and refreshes the panel; gives
  // result.
  int AfterWrite(int result);
  // Edit mode off as the switch turns it off: persisted, key colour frames
  // cleared, the locks shown, the panel's controls hidden.
  void TurnEditModeOff();
  // The key colour frames are shown: edit mode on with the custom effect.
  bool KeyColoursShown() const;
  QString ActiveModeFile() const;
  // The user-mode list from the active profile's mode file: the one name of
  // "MODENAME" key "0".
  void FillUserModeNames();
  // LoadUserMode for the active profile; with upload, its colours are sent.
  int LoadActiveUserMode(bool upload);
  // The keyboard's current profile (settings byte 10, 4 and above read as
  // 0), or the failing read's result.
  int ReadKeyboardProfile(int& profile);
  // The template mode file copied byte for byte over path (made private to
  // the user); false, leaving path alone, when the template cannot be read.
  bool CopyTemplateModeFile(const QString& path) const;

  LightingDevice& device_;
  LightingHost& host_;
  LightingPaths paths_;
  LightingState state_;
  LightingRecords records_{};
  KeyColourTable colours_;
  LightingWriter writer_;
  QStringList userModeNames_;
};

}  // namespace kst
