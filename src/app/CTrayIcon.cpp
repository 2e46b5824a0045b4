#include "app/CTrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QSystemTrayIcon>
#include <QWidget>

#include <array>

#include "app/AppIcons.h"
#include "device/DeviceHost.h"
#include "foundation/Language.h"
#include "skin/AppStyle.h"

namespace kst {

namespace {

constexpr std::array<MenuText, 3> kTrayMenuTexts{{
    {kCommandOpen, "IDS_POP_UP_MENU_OPEN"},
    {kCommandAbout, "IDS_POP_UP_MENU_ABOUT"},
    {kCommandExit, "IDS_POP_UP_MENU_EXIT"},
}};

constexpr std::array<MenuText, 4> kButtonMenuTexts{{
    {kCommandImport, "IDS_BUTTON_MENU_IMPORT"},
    {kCommandExport, "IDS_BUTTON_MENU_EXPORT"},
    {kCommandAbout, "IDS_BUTTON_MENU_ABOUT"},
    {kCommandHide, "IDS_BUTTON_MENU_HIDE"},
}};

struct MenuEntry {
  int command;
  const char* builtIn;
};

constexpr std::array<MenuEntry, 3> kTrayMenuEntries{{
    {kCommandOpen, "Open"},
    {kCommandAbout, "About"},
    {kCommandExit, "Exit"},
}};

constexpr std::array<MenuEntry, 2> kButtonMenuEntries{{
    {kCommandImport, "Import..."},
    {kCommandExport, "Export..."},
}};

}  // namespace

std::span<const MenuText> TrayMenuTexts() { return kTrayMenuTexts; }
std::span<const MenuText> ButtonMenuTexts() { return kButtonMenuTexts; }

std::unique_ptr<QMenu> LoadMenuResource(int resourceId) {
  std::span<const MenuEntry> entries;
  if (resourceId == kTrayMenuResource) {
    entries = kTrayMenuEntries;
  } else if (resourceId == kButtonMenuResource) {
    entries = kButtonMenuEntries;
  } else {
    return nullptr;
  }
  auto menu = std::make_unique<QMenu>();
  UseAppStyleSheet(*menu);
  for (const MenuEntry& entry : entries) {
    QAction* action = menu->addAction(QString::fromLatin1(entry.builtIn));
    action->setData(entry.command);
  }
  return menu;
}

int MenuCommand(const QAction* action) {
  if (action == nullptr) return 0;
  bool ok = false;
  const int command = action->data().toInt(&ok);
  return ok ? command : 0;
}

QAction* FindMenuCommand(QMenu& menu, int command) {
  for (QAction* action : menu.actions()) {
    if (MenuCommand(action) == command) return action;
  }
  return nullptr;
}

void SetMenuTexts(QMenu& menu, std::span<const MenuText> texts, Language& language) {
  const int index = language.GetLanguageIndex();
  for (const MenuText& text : texts) {
    if (QAction* action = FindMenuCommand(menu, text.command)) {
      action->setText(language.LoadLangText(QString::fromLatin1(text.textKey), index));
    }
  }
}

std::unique_ptr<QMenu> BuildButtonMenu(Language& language) {
  std::unique_ptr<QMenu> menu = LoadMenuResource(kButtonMenuResource);
  SetMenuTexts(*menu, ButtonMenuTexts(), language);
  return menu;
}

int TrackButtonMenu(QWidget* owner, Language& language, const QPoint& pos) {
  std::unique_ptr<QMenu> menu = BuildButtonMenu(language);
  if (owner != nullptr) menu->setParent(owner, menu->windowFlags());
  return MenuCommand(menu->exec(pos));
}

QString CutTooltip(const QString& text) {
  if (text.size() <= kTrayTooltipMaxChars) return text;
  QString cut = text.left(kTrayTooltipMaxChars);
  if (cut.back().isHighSurrogate()) cut.chop(1);
  return cut;
}

bool NotificationAreaAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void ConcealMainWindow(QWidget& window) {
  if (NotificationAreaAvailable()) {
    window.hide();
  } else {
    window.showMinimized();
  }
}

// ---- CTrayIcon ------------------------------------------------------------------

CTrayIcon::CTrayIcon(QString programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)) {}

CTrayIcon::~CTrayIcon() { Remove(); }

bool CTrayIcon::Create(QWidget* owner, int callbackMessage, const QString& tooltip,
                       const QIcon& icon, int id) {
  Remove();
  if (owner == nullptr) return false;
  std::unique_ptr<QMenu> menu = LoadMenuResource(id);
  if (!menu) return false;
  // The owner holds the menu too, so a menu whose deletion was deferred by
  // Remove never outlives it.
  menu->setParent(owner, menu->windowFlags());
  menu_ = menu.release();
  owner_ = owner;
  id_ = id;
  callbackMessage_ = callbackMessage;
  tooltip_ = CutTooltip(tooltip);
  singleClickPending_ = false;

  tray_ = new QSystemTrayIcon(this);
  tray_->setIcon(icon);
  tray_->setToolTip(tooltip_);
  tray_->setContextMenu(menu_);
  connect(menu_, &QMenu::aboutToShow, this, [this] { PrepareMenu(); });
  connect(menu_, &QMenu::triggered, this,
          [this](QAction* action) { SendCommand(MenuCommand(action)); });
  connect(tray_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            TrayMouse mouse = TrayMouse::Other;
            switch (reason) {
              case QSystemTrayIcon::Trigger:
                mouse = TrayMouse::LeftButtonDown;
                break;
              case QSystemTrayIcon::DoubleClick:
                mouse = TrayMouse::LeftDoubleClick;
                break;
              case QSystemTrayIcon::Context:
                mouse = TrayMouse::RightButtonUp;
                break;
              default:
                break;
            }
            OnTrayNotification(id_, mouse);
          });
  tray_->show();
  created_ = true;
  return true;
}

void CTrayIcon::SetIcon(int resourceId) {
  if (!created_) return;
  SetIcon(resourceId, LoadAppIcon(programFolder_, resourceId));
}

void CTrayIcon::SetIcon(int resourceId, const QIcon& picture) {
  if (!created_) return;
  iconResource_ = resourceId;
  tray_->setIcon(picture);
}

void CTrayIcon::SetTooltipText(const QString& text) {
  if (!created_) return;
  tooltip_ = CutTooltip(text);
  tray_->setToolTip(tooltip_);
}

void CTrayIcon::ShowMessage(const QString& title, const QString& text) {
  if (!created_) return;
  tray_->showMessage(title, text, QSystemTrayIcon::Information, kTrayMessageMs);
}

void CTrayIcon::Remove() {
  // Deferred: Remove may run while the menu or the icon is still inside an
  // event of its own (a popup closing, a click being delivered).
  if (tray_ != nullptr) {
    tray_->hide();
    tray_->setContextMenu(nullptr);
    tray_->deleteLater();
    tray_ = nullptr;
  }
  if (menu_) {
    menu_->close();
    menu_->deleteLater();
    menu_ = nullptr;
  }
  created_ = false;
}

QMenu* CTrayIcon::PrepareMenu() {
  if (!created_ || !menu_) return nullptr;
  const QList<QAction*> actions = menu_->actions();
  if (actions.isEmpty()) return nullptr;
  QAction* defaultEntry =
      defaultCommand_ == 0 ? actions.front() : FindMenuCommand(*menu_, defaultCommand_);
  menu_->setDefaultAction(defaultEntry);
  if (menuTextCallback_) menuTextCallback_(*menu_);
  return menu_;
}

int CTrayIcon::OnTrayNotification(int iconId, TrayMouse mouse) {
  if (!created_ || iconId != id_) return 0;
  switch (mouse) {
    case TrayMouse::LeftDoubleClick: {
      singleClickPending_ = false;
      int command = defaultCommand_;
      if (command == 0) {
        const QList<QAction*> actions = menu_->actions();
        command = actions.isEmpty() ? 0 : MenuCommand(actions.front());
      }
      if (command != 0) SendCommand(command);
      break;
    }
    case TrayMouse::LeftButtonDown:
      if (singleClickCommand_ != 0) singleClickPending_ = true;
      break;
    case TrayMouse::RightButtonUp:
      // The platform tracks the context menu; PrepareMenu runs as it opens.
      break;
    case TrayMouse::Other:
      break;
  }
  return 1;
}

void CTrayIcon::SendCommand(int command) {
  if (command == 0) return;
  // The owner gets the command from the event loop, once the menu or icon
  // event that chose it has ended: the command may remove the icon (Exit),
  // which deletes the menu and the icon's window.
  QMetaObject::invokeMethod(
      this,
      [this, command] {
        if (commandCallback_) commandCallback_(command);
      },
      Qt::QueuedConnection);
}

// ---- TrayPictures ---------------------------------------------------------------

TrayPictures::TrayPictures(CTrayIcon& icon, AppState& state) : icon_(icon), state_(state) {}

void TrayPictures::RecordCurrent(int resourceId) {
  current_ = resourceId;
  state_.trayIcon.store(resourceId);
}

void TrayPictures::SetTrayIcon(int resourceId) {
  if (resourceId == current_) return;
  auto found = loaded_.find(resourceId);
  if (found == loaded_.end())
    found = loaded_.emplace(resourceId, LoadAppIcon(icon_.ProgramFolder(), resourceId)).first;
  icon_.SetIcon(resourceId, found->second);
  QApplication::setWindowIcon(found->second);
  RecordCurrent(resourceId);
}

void TrayPictures::ShowConnectionIcon(bool connected) {
  base_ = connected ? kTrayIconConnected : kTrayIconDisconnected;
  SetTrayIcon(base_);
}

void TrayPictures::ShowActivityIcon(bool on) { SetTrayIcon(on ? kTrayIconActivity : base_); }

}  // namespace kst
