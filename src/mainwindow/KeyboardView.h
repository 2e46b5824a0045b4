#pragma once

// The keyboard picture of the main window: one image button per board key,
// the nine G keys, the Fn key, the six extra keys D1-D6 that share F1-F4's
// place, the orientation buttons with their arrows, and the lock and bank
// indicators. It shows for every key whether the store holds an assignment
// for it in the keyboard's current profile; it keeps no data of its own
// beyond the buttons' looks. User-interface thread only.

#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include "foundation/KeyCodeTable.h"
#include "store/ProfileFormat.h"

class QWidget;

namespace kst {

class AppProfile;
class AssignmentStore;
class CPngButton;
class Language;

// The full-window pictures the view cuts its buttons' looks from.
struct KeyboardPictures {
  QPixmap normal;
  QPixmap over;
  QPixmap down;
  QPixmap disable;  // the selected look: a key that carries an assignment
  QPixmap grey;     // the disabled look (G8, G9); the normal picture when null
  QPixmap arrow;    // Arrow.jpg, the sheet the two arrows show parts of
};

// The looks of D1-D6 while Flip is 1: pictures that draw them in F1-F4's place.
struct FlipPictures {
  QPixmap normal;
  QPixmap over;
  QPixmap down;
};

// Which of NUM, CAPS and SCRL are on.
struct LockLights {
  bool num = false;
  bool caps = false;
  bool scroll = false;
};

class KeyboardView : public QObject {
  Q_OBJECT

 public:
  // Where the view learns the keyboard's state; each may be called often.
  struct Sources {
    std::function<int()> currentProfile;  // -1 when unknown: every key shows unassigned
    std::function<GKeyBank()> bank;
    std::function<int()> languageIndex;
    // Asked once, when Flip is first 1; unset or null pictures leave D1-D6
    // with the usual looks.
    std::function<FlipPictures()> flipPictures;
  };
  // Seams for the editors and the lighting panel; unset ones do nothing.
  struct Hooks {
    // Opens the key assignment dialog on the slot of the current profile.
    std::function<void(AssignmentSlot slot, bool macroOnly, int controlId)> openKeyAssignment;
    std::function<bool()> lightingEditMode;
    std::function<void(int controlId)> paintKey;
  };

  // window: parent of the buttons. All references must outlive the view.
  KeyboardView(QWidget& window, AssignmentStore& store, Language& language, AppProfile& appProfile,
               Sources sources);
  ~KeyboardView() override;

  void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }

  // Places the nine G keys, the 104 board keys, the Fn key and D1-D6 from
  // "BUTTONINFO" of the skin file; a key the skin lacks is hidden and
  // disabled. G8, G9 and D1-D6 start disabled.
  void LayoutKeyButtons(const QString& skinFile, const KeyboardPictures& pictures);
  // Places the lock indicators (LOCK_CAPS, LOCK_NUM, LOCK_SCROLL, LOCK_AB),
  // the orientation buttons FLIP_0..FLIP_2 and the two arrows, then
  // ApplyFlip.
  void LayoutIndicators(const QString& skinFile, const KeyboardPictures& pictures);
  // The pictures the view gives its buttons from now on (the buttons
  // themselves are the window's to update).
  void SetPictures(const KeyboardPictures& pictures) { pictures_ = pictures; }
  const KeyboardPictures& Pictures() const { return pictures_; }
  // The Flip looks once Flip has asked for them; null until then.
  void SetFlipPictures(const FlipPictures& pictures) { flipPictures_ = pictures; }
  const FlipPictures& HeldFlipPictures() const { return flipPictures_; }

  // Every button from the store for the current profile and bank, under the
  // store's lock: the assigned look and the caption (tooltip); then
  // ApplyFlip.
  void RefreshKeyButtons();
  // The one button that shows (profile, slot), when it is on show now.
  void RefreshKeyButton(int profile, AssignmentSlot slot);
  // The G keys for the bank now in force, the bank indicator and the G-key
  // texts.
  void RefreshGKeyBank();
  // Colour frames off and selected looks off on every G key, board key and Fn.
  void ClearKeyColours();
  // Lights NUM, CAPS and SCRL as the keyboard's lock state says; all stay
  // unlit while the state is not known (nullopt), as nothing reports it yet.
  void ShowLockLights(std::optional<LockLights> lights);
  // Marks T when lockT and the grave accent when lockTilde; both are then
  // left alone by clicks.
  void ShowLocks(bool lockT, bool lockTilde);
  // Reads "Flip" of the application profile: 0 enables F1-F4, 1 enables
  // D1-D6; the orientation indicator and the arrows follow.
  void ApplyFlip();
  // The editing look while the key assignment dialog is open on the button,
  // and back to the usual looks.
  void ShowEditing(int controlId, bool editing);

  void KeyClicked(int controlId);

  // The keyboard's way into the picture: one tab stop that outlines the
  // current key while it has the focus. The arrow keys move it to the
  // neighbouring key, Space acts as a click on the key (Enter stays the
  // window's). Made by LayoutKeyButtons.
  QWidget* FocusStop() const { return focusStop_; }
  enum class Direction { Left, Right, Up, Down };
  // The key the focus stop stands on; -1 before the layout.
  int CurrentKey() const { return currentKey_; }
  // Puts the focus stop on the key; false (nothing changes) when the key is
  // not one the keyboard may reach: unknown, hidden or disabled.
  bool SetCurrentKey(int controlId);
  // The reachable key nearest to `controlId` whose centre lies in the
  // direction (mostly along it: sideways distance counts double); -1 when
  // there is none.
  int NeighbourKey(int controlId, Direction direction) const;
  // Whether the keyboard may reach the key: shown and enabled.
  bool Reachable(int controlId) const;

  CPngButton* Button(int controlId) const { return buttons_.value(controlId, nullptr); }
  // Key buttons (G keys, board keys, Fn, D1-D6) in layout order.
  const std::vector<CPngButton*>& KeyButtons() const { return keyButtons_; }
  int Flip() const { return flip_; }
  GKeyBank ShownBank() const { return shownBank_; }

 private:
  // Gives one key button its assigned look and caption tooltip for the entry.
  void MarkButton(CPngButton* button, const QString& name, const KeyAssignment& entry,
                  int languageIndex);
  // Marks the nine G-key buttons for the shown bank; the caller holds the StoreLock.
  void MarkGKeys(int profile, GKeyBank bank, int languageIndex);

  CPngButton* MakeButton(int controlId, const QString& skinKey);
  void ShowBankIndicator(GKeyBank bank);
  void SetUsualLooks(CPngButton& button);
  // The disabled look of the key buttons.
  const QPixmap& DisabledLook() const;
  void FlipClicked();
  int Profile() const;
  GKeyBank Bank() const;
  int LanguageIndex() const;

  QWidget& window_;
  AssignmentStore& store_;
  Language& language_;
  AppProfile& appProfile_;
  Sources sources_;
  Hooks hooks_;
  KeyboardPictures pictures_;
  QString skinFile_;

  // Keeps the focus stop on a reachable key (the nearest one when its key
  // went away) and over it.
  void FollowCurrentKey();
  void FocusStopKey(int key, bool pressed, bool autoRepeat);

  QWidget* focusStop_ = nullptr;
  int currentKey_ = -1;
  bool spaceDown_ = false;
  QHash<int, CPngButton*> buttons_;
  std::vector<CPngButton*> keyButtons_;
  int flip_ = 0;
  GKeyBank shownBank_ = GKeyBank::A;
  bool lockT_ = false;
  bool lockTilde_ = false;
  FlipPictures flipPictures_;
  bool flipPicturesAsked_ = false;
};

}  // namespace kst
