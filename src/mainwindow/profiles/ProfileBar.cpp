#include "mainwindow/profiles/ProfileBar.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

#include <mutex>

#include "app/AppContext.h"
#include "device/CommandProtocol.h"
#include "device/DeviceLink.h"
#include "foundation/Language.h"
#include "foundation/TextTable.h"
#include "lighting/LightingModel.h"
#include "mainwindow/CKestruneDlg.h"
#include "mainwindow/KeyboardView.h"
#include "mainwindow/MainWindowIds.h"
#include "skin/AppStyle.h"
#include "skin/CPngButton.h"
#include "store/AssignmentStore.h"
#include "store/ProfileFiles.h"

namespace kst {

namespace {

using namespace profile_id;

constexpr int kProfileCaptionSize = 10;
constexpr std::array<const char*, 4> kProfileKeys = {"FUNC_PROFILE1", "FUNC_PROFILE2",
                                                     "FUNC_PROFILE3", "FUNC_PROFILE4"};
constexpr std::array<const char*, 4> kProfileCaptions = {"IDS_MAIN_PROFILE1", "IDS_MAIN_PROFILE2",
                                                         "IDS_MAIN_PROFILE3", "IDS_MAIN_PROFILE4"};
constexpr std::array<const char*, 4> kReportKeys = {"FUNC_REPORT1", "FUNC_REPORT2", "FUNC_REPORT3",
                                                    "FUNC_REPORT4"};

int IndexOf(const std::array<int, 4>& ids, int id) {
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (ids[i] == id) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

ProfileBar::ProfileBar(CKestruneDlg& window, AppContext& context,
                       std::function<LightingModel*()> lighting)
    : window_(window), context_(context), lighting_(std::move(lighting)) {}

ProfileBar::~ProfileBar() = default;

void ProfileBar::Layout() {
  for (std::size_t i = 0; i < kProfileButtons.size(); ++i) {
    window_.LayoutPartButton(kProfileButtons[i], kProfileKeys[i], kProfileCaptionSize);
  }
  window_.LayoutPartButton(kDefault, "FUNC_DEFAULT", kProfileCaptionSize);
  CPngButton* name = window_.LayoutPartButton(kProfileName, "FUNC_PROFILES", kProfileCaptionSize);
  // The profile menu is otherwise reached only through its hidden command;
  // a right click on the button that shows its checked entry opens it.
  name->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(name, &QWidget::customContextMenuRequested, this, [this] { ShowProfileMenu(); });
  for (std::size_t i = 0; i < kReportRates.size(); ++i) {
    window_.LayoutPartButton(kReportRates[i], kReportKeys[i], 0);
  }
  SetCaptions(LanguageIndex());
  BuildProfileMenu(true);
  ShowReportRate();
}

void ProfileBar::SetCaptions(int languageIndex) {
  const Language& language = context_.language;
  for (std::size_t i = 0; i < kProfileButtons.size(); ++i) {
    if (CPngButton* button = Button(kProfileButtons[i])) {
      button->setText(
          language.LoadLangText(QString::fromLatin1(kProfileCaptions[i]), languageIndex));
    }
  }
  if (CPngButton* button = Button(kDefault)) {
    button->setText(language.LoadLangText(QStringLiteral("IDS_MAIN_DEFAULT"), languageIndex));
  }
  // The menu's default entry takes the language's text when it is made.
  if (menu_) BuildProfileMenu(false);
}

CPngButton* ProfileBar::Button(int controlId) const { return window_.Control(controlId); }

int ProfileBar::MarkedProfile() const { return markedProfile_; }

int ProfileBar::MarkedReportRate() const { return markedRate_; }

int ProfileBar::LanguageIndex() const { return context_.language.GetLanguageIndex(); }

int ProfileBar::CurrentProfile() const {
  DeviceLink* link = window_.Link();
  return link ? GetCurrentProfile(*link) : -1;
}

void ProfileBar::MarkProfile(int profile) {
  markedProfile_ = profile;
  for (std::size_t i = 0; i < kProfileButtons.size(); ++i) {
    if (CPngButton* button = Button(kProfileButtons[i])) {
      button->SetSelected(static_cast<int>(i) == profile, true);
    }
  }
}

void ProfileBar::MarkReportRate(int rate) {
  markedRate_ = rate;
  for (std::size_t i = 0; i < kReportRates.size(); ++i) {
    if (CPngButton* button = Button(kReportRates[i])) {
      button->SetSelected(static_cast<int>(i) == rate, true);
    }
  }
}

void ProfileBar::ShowLightingOf(int profile) {
  if (LightingModel* model = lighting_ ? lighting_() : nullptr) model->SetActiveProfile(profile);
}

void ProfileBar::ProfileButton(int profile) {
  if (profile < 0 || profile >= static_cast<int>(kProfileButtons.size())) return;
  ShowLightingOf(profile);
  const int current = CurrentProfile();
  if (current == profile) return;
  if (!SelectProfile(profile)) {
    // The keyboard stays where it was; so does the lighting shown, or the
    // panel's changes would go to a profile the keyboard is not on.
    const int stayed = CurrentProfile();
    if (stayed >= 0) ShowLightingOf(stayed);
    return;
  }
  MarkProfile(profile);
  window_.RefreshKeyButtons();
  if (LightingModel* model = lighting_ ? lighting_() : nullptr) {
    if (KeyboardView* view = window_.View()) {
      view->ShowLocks(model->State().lockT, model->State().lockTilde);
    }
  }
}

bool ProfileBar::SelectProfile(int index) {
  if (index >= static_cast<int>(kProfileButtons.size())) index = 0;
  const CKestruneDlg::Parts& parts = window_.PluggedParts();
  if (parts.editorOpen && parts.editorOpen()) {
    const Language& language = context_.language;
    window_.Show(language.ShowSlot(TextSlot::ProfileSeelctPrompt2, LanguageIndex()),
                 MessageKind::Information);
    return false;
  }
  DeviceLink* link = window_.Link();
  // An upload in progress finishes on the profile it started on.
  window_.WaitForApply();
  const bool managerModified = manager_.modified && manager_.modified();
  int result = kDeviceNothing;
  if (managerModified || window_.ApplyPending()) {
    if (!switchGuard_) {
      switchGuard_ = true;
      const QString question = context_.language.LoadLangText(
          QStringLiteral("IDS_PROFILE_SELECT_PROMPT"), LanguageIndex());
      if (window_.Show(question, MessageKind::Question)) {
        window_.ApplyAndWait();
      } else {
        window_.DropUnappliedChanges();
      }
    }
    switchGuard_ = false;
    if (window_.Exited()) return false;
    if (link) result = SetCurrentProfile(*link, index);
  } else {
    if (link) result = SetCurrentProfile(*link, index);
    if (manager_.showCurrentProfile && index >= 0) manager_.showCurrentProfile(index);
  }
  window_.RefreshKeyButtons();
  BuildProfileMenu(false);
  // A keyboard that refused leaves its current profile unknown; the bar
  // keeps its marks.
  return index < 0 || result == kDeviceOk;
}

void ProfileBar::FollowKeyboardProfile() {
  DeviceLink* link = window_.Link();
  if (!link) return;
  SettingsBlock settings{};
  if (ReadSettings(*link, settings) != kDeviceOk) return;
  const int profile = settings[kSettingsCurrentProfile];
  LightingModel* model = lighting_ ? lighting_() : nullptr;
  const int shown = model ? model->State().activeProfile : markedProfile_;
  if (profile == shown) {
    if (model) model->Reload();
    return;
  }
  if (profile < 0 || profile >= static_cast<int>(kProfileButtons.size())) return;
  ProfileButton(profile);
}

QString ProfileBar::ProfileMenuText(int) const {
  // One working file holds the four profiles.
  return WorkingProfileFileName();
}

void ProfileBar::BuildProfileMenu(bool create) {
  if (create || !menu_) {
    menu_ = std::make_unique<QMenu>();
    UseAppStyleSheet(*menu_);
  } else {
    menu_->clear();
  }
  const int languageIndex = LanguageIndex();
  auto add = [this](const QString& text, int command) {
    QAction* action = menu_->addAction(text);
    action->setData(command);
    action->setCheckable(true);
    return action;
  };
  QAction* fallback =
      add(context_.language.LoadLangText(QStringLiteral("IDS_DEFAULT_PROFILE_NAME"), languageIndex),
          kMenuDefault);
  menu_->addSeparator();
  std::array<QAction*, 4> profiles{};
  for (int i = 0; i < static_cast<int>(profiles.size()); ++i) {
    profiles[static_cast<std::size_t>(i)] = add(ProfileMenuText(i), kMenuFirstProfile + i);
  }
  DeviceLink* link = window_.Link();
  const int current = link ? link->CachedCurrentProfile() : -1;
  QAction* checked = current >= 0 && current < static_cast<int>(profiles.size())
                         ? profiles[static_cast<std::size_t>(current)]
                         : fallback;
  checked->setChecked(true);
  if (CPngButton* name = Button(kProfileName)) {
    name->setText(checked->text());
    name->SetTooltip(
        context_.language.ShowSlot(TextSlot::ProfileTip, languageIndex) + checked->text(), true);
  }
}

void ProfileBar::UpdateProfileBar() {
  const int current = CurrentProfile();
  if (current < 0) return;
  MarkProfile(current);
  // The name button shows the profile the keyboard came with.
  BuildProfileMenu(false);
}

void ProfileBar::ShowKeyboardProfile() {
  BuildProfileMenu(false);
  const int current = CurrentProfile();
  if (current < 0) return;
  MarkProfile(current);
  ShowLightingOf(current);
}

void ProfileBar::RestoreDefaultKeys() {
  const QString question =
      context_.language.LoadLangText(QStringLiteral("IDS_MAIN_PROMPT_DEFAULT"), LanguageIndex());
  if (!window_.Show(question, MessageKind::Question)) return;
  DeviceLink* link = window_.Link();
  const int current = CurrentProfile();
  if (link && current >= 0) {
    {
      std::lock_guard<StoreLock> lock(context_.store.Lock());
      context_.store.ClearProfileAssignments(current,
                                             link->GKeyBank() == 1 ? GKeyBank::B : GKeyBank::A);
    }
    window_.RefreshKeyButtons();
    window_.SetApplyEnabled(true);
  }
  if (LightingModel* model = lighting_ ? lighting_() : nullptr) {
    model->ClearKeyDefaultBytes();
    if (model->State().editMode) model->ResetProfileLighting(model->State().activeProfile);
  }
  window_.OnCommand(kIdApply);
}

void ProfileBar::SetReportRate(int rate) {
  if (rate < 0 || rate >= static_cast<int>(kReportRates.size())) return;
  MarkReportRate(rate);
  if (LightingModel* model = lighting_ ? lighting_() : nullptr) model->SetReportRate(rate);
}

void ProfileBar::ShowReportRate() {
  LightingModel* model = lighting_ ? lighting_() : nullptr;
  MarkReportRate(model ? model->State().reportRate : -1);
}

void ProfileBar::ShowProfileMenu() {
  if (!menu_) return;
  QAction* chosen = nullptr;
  if (trackMenu_) {
    chosen = trackMenu_(*menu_);
  } else {
    window_.raise();
    window_.activateWindow();
    chosen = menu_->exec(QCursor::pos());
  }
  if (chosen) RunCommand(chosen->data().toInt());
}

bool ProfileBar::RunCommand(int commandId) {
  if (const int profile = IndexOf(kProfileButtons, commandId); profile >= 0) {
    ProfileButton(profile);
    return true;
  }
  if (const int rate = IndexOf(kReportRates, commandId); rate >= 0) {
    SetReportRate(rate);
    return true;
  }
  if (commandId >= kFirstProfileMenuCommand && commandId <= kLastProfileMenuCommand) {
    SelectProfile(commandId - kMenuFirstProfile);
    return true;
  }
  switch (commandId) {
    case kDefault:
      RestoreDefaultKeys();
      return true;
    case kProfileName:
      if (manager_.open) manager_.open();
      return true;
    case kShowMenu:
      ShowProfileMenu();
      return true;
    default:
      return false;
  }
}

}  // namespace kst
