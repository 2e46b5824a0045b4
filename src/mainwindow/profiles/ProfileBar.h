#pragma once

// The profile bar of the main window: the four profile buttons, the default
// button, the profile name button with the profile popup menu, and the four
// report-rate buttons. Every switch of the keyboard's current profile made
// from the window, the menu, the lighting panel, the profile manager or the
// keyboard's own profile key goes through SelectProfile, which refuses while
// an editor is open and asks about unapplied key changes first.
//
// The keyboard keeps all four profiles; switching never loads a file, it
// changes the keyboard's current profile and shows that profile's part of
// the store and its lighting. Window's thread only.

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace kst {

struct AppContext;
class CKestruneDlg;
class CPngButton;
class LightingModel;

namespace profile_id {
inline constexpr std::array<int, 4> kProfileButtons = {1135, 1136, 1137, 1199};
inline constexpr int kDefault = 1138;
inline constexpr int kProfileName = 1005;
inline constexpr std::array<int, 4> kReportRates = {1147, 1168, 1169, 1170};
inline constexpr int kShowMenu = 1009;
// Profile menu commands: the default entry, then 9001 + profile.
inline constexpr int kMenuDefault = 9000;
inline constexpr int kMenuFirstProfile = 9001;
}  // namespace profile_id

// What the profile manager offers the bar; unset members are skipped.
struct ProfileManagerLink {
  // Runs the manager modally.
  std::function<void()> open;
  // Whether the manager holds changes not applied (its Apply is enabled).
  std::function<bool()> modified;
  // While the manager is open: its list marks the profile as the current
  // one and its Apply is disabled.
  std::function<void(int profile)> showCurrentProfile;
};

class ProfileBar : public QObject {
  Q_OBJECT

 public:
  // lighting gives the lighting model once the window has laid it out (null
  // before, and when the window has no lighting). The window and the
  // context must outlive the bar.
  ProfileBar(CKestruneDlg& window, AppContext& context, std::function<LightingModel*()> lighting);
  ~ProfileBar() override;

  void SetManager(ProfileManagerLink manager) { manager_ = std::move(manager); }

  // Makes the bar's buttons at their skin rectangles and the profile menu.
  void Layout();
  // Captions and tooltips in the language.
  void SetCaptions(int languageIndex);

  // A profile button: the lighting panel shows profile p; when p is not the
  // keyboard's current profile, the keyboard switches to it (SelectProfile).
  void ProfileButton(int profile);
  // Makes index the keyboard's current profile (4 or more: 0), with the
  // refusal while an editor is open and the question about unapplied
  // changes; a negative index only shows the current profile again. True
  // when it went through.
  bool SelectProfile(int index);
  // Follows a profile switch made on the keyboard (timer 1051).
  void FollowKeyboardProfile();
  // create: a new menu; otherwise the items are made anew. The profile name
  // button takes the checked item's text.
  void BuildProfileMenu(bool create);
  // The profile buttons and the lighting follow the keyboard's current profile.
  void UpdateProfileBar();
  // The default button: clears the current profile's keys after a question.
  void RestoreDefaultKeys();
  // A report-rate button, k = 0-3.
  void SetReportRate(int rate);
  // The report-rate buttons follow the lighting state.
  void ShowReportRate();
  // The profile menu at the cursor (command 1009).
  void ShowProfileMenu();
  // After the profile manager switched the keyboard: menu, captions, bar
  // and lighting show the keyboard's current profile.
  void ShowKeyboardProfile();
  // Runs a command of the bar or the menu; false when it is not the bar's.
  bool RunCommand(int commandId);

  QMenu* ProfileMenu() const { return menu_.get(); }
  CPngButton* Button(int controlId) const;
  // The profile shown checked, -1 for none.
  int MarkedProfile() const;
  // The report rate shown checked, -1 for none.
  int MarkedReportRate() const;
  bool SwitchGuard() const { return switchGuard_; }

  // Replaces the tracked popup menu (tests): gets the menu, gives the
  // chosen action or null.
  void SetMenuSeam(std::function<QAction*(QMenu&)> track) { trackMenu_ = std::move(track); }

 private:
  void MarkProfile(int profile);
  void MarkReportRate(int rate);
  int CurrentProfile() const;
  void ShowLightingOf(int profile);
  QString ProfileMenuText(int profile) const;
  int LanguageIndex() const;

  CKestruneDlg& window_;
  AppContext& context_;
  std::function<LightingModel*()> lighting_;
  ProfileManagerLink manager_;
  std::unique_ptr<QMenu> menu_;
  std::function<QAction*(QMenu&)> trackMenu_;
  bool switchGuard_ = false;
  int markedProfile_ = -1;
  int markedRate_ = -1;
};

}  // namespace kst
