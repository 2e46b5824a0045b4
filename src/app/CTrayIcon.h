#pragma once

// The notification-area icon over QSystemTrayIcon, its menus and the main
// window's picture logic. QSystemTrayIcon owns the platform side that a
// window-procedure hook would otherwise reach: it delivers the icon's clicks,
// tracks its context menu, and re-adds the icon when the panel restarts, so
// no hook classes exist here. Everything runs on the user-interface thread.

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <span>

#include "app/AppState.h"

class QSystemTrayIcon;
class QWidget;

namespace kst {

class Language;

// Values of the main window's icon.
inline constexpr int kTrayIconId = 140;  // also the tray menu's resource id
inline constexpr int kTrayCallbackMessage = 1725;
inline constexpr int kTrayMenuResource = 140;
inline constexpr int kButtonMenuResource = 144;
inline constexpr int kTraySingleClickCommand = 1009;
// How long a notification of the icon stays up.
inline constexpr int kTrayMessageMs = 8000;
// Tooltip: at most 127 characters (a 128-character field with its terminator).
inline constexpr int kTrayTooltipMaxChars = 127;

// Menu commands.
inline constexpr int kCommandOpen = 32771;
inline constexpr int kCommandAbout = 32773;
inline constexpr int kCommandExit = 32774;
inline constexpr int kCommandImport = 32776;
inline constexpr int kCommandExport = 32777;
inline constexpr int kCommandHide = 32779;  // on no menu; its text is set all the same

struct MenuText {
  int command;
  const char* textKey;
};
// Text routine of the tray menu: 32771 open, 32773 about, 32774 exit.
std::span<const MenuText> TrayMenuTexts();
// Text routine of the button menu: import, export, and two commands the
// menu does not carry (about, hide), which are left alone.
std::span<const MenuText> ButtonMenuTexts();

// A fresh menu of the resource (140 tray menu, 144 button menu) with its
// built-in entry texts; the command is each action's data. Null for any
// other id. The caller owns it.
std::unique_ptr<QMenu> LoadMenuResource(int resourceId);
// Command of an entry; 0 for none.
int MenuCommand(const QAction* action);
QAction* FindMenuCommand(QMenu& menu, int command);
// Sets each listed command's text to LoadLangText(key, GetLanguageIndex());
// commands the menu does not carry are left alone.
void SetMenuTexts(QMenu& menu, std::span<const MenuText> texts, Language& language);
// The button menu (144) with its texts, ready to track.
std::unique_ptr<QMenu> BuildButtonMenu(Language& language);
// Tracks the button menu at pos (global) for the owner; the chosen command,
// 0 when dismissed.
int TrackButtonMenu(QWidget* owner, Language& language, const QPoint& pos);

// Cuts a tooltip to 127 characters, never inside a surrogate pair.
QString CutTooltip(const QString& text);

// Whether the desktop offers a notification area now. Without one the main
// window is never only hidden (it would be unreachable): see ConcealMainWindow.
bool NotificationAreaAvailable();
// Hides the main window into the notification area; without one it is
// minimised instead, so it stays on the task bar.
void ConcealMainWindow(QWidget& window);

// Mouse events of the icon, as the notification handler sees them.
enum class TrayMouse { LeftButtonDown, LeftDoubleClick, RightButtonUp, Other };

class CTrayIcon : public QObject {
  Q_OBJECT

 public:
  // Receives the chosen command (menu entry, double click) as the owner
  // would, from the event loop after the event that chose it has ended.
  using CommandCallback = std::function<void(int command)>;
  // Called with the tray menu before it is shown.
  using MenuTextCallback = std::function<void(QMenu& menu)>;

  // programFolder: where SetIcon finds the icon pictures (Skins/).
  explicit CTrayIcon(QString programFolder, QObject* parent = nullptr);
  ~CTrayIcon() override;  // removes the icon

  // Fails (IsCreated() false) when owner is null. Otherwise shows the icon
  // with its tooltip (cut) and picture; `id` names the tray menu resource.
  // Without a notification area the icon waits and appears when one starts.
  bool Create(QWidget* owner, int callbackMessage, const QString& tooltip, const QIcon& icon,
              int id);
  // Picture of icon resource 128, 141 or 142; nothing when not created.
  void SetIcon(int resourceId);
  // The same with the picture already loaded.
  void SetIcon(int resourceId, const QIcon& picture);
  const QString& ProgramFolder() const { return programFolder_; }
  // Tooltip cut to 127 characters; nothing when not created.
  void SetTooltipText(const QString& text);
  // A notification of the icon (the desktop's notification service, or a
  // balloon beside the icon), shown for kTrayMessageMs; nothing when not
  // created.
  void ShowMessage(const QString& title, const QString& text);
  void SetSingleClickCommand(int command) { singleClickCommand_ = command; }
  void SetDefaultCommand(int command) { defaultCommand_ = command; }  // 0: the first entry
  void SetMenuTextCallback(MenuTextCallback callback) { menuTextCallback_ = std::move(callback); }
  void SetCommandCallback(CommandCallback callback) { commandCallback_ = std::move(callback); }
  // Deletes the icon when created; IsCreated() false afterwards. The menu
  // and the icon's window are deleted from the event loop, so Remove may run
  // inside one of their events.
  void Remove();

  // Handles one mouse event of icon `iconId`; 0 for another id, else 1.
  // Double click sends the default command (the first entry's when 0); a
  // single click only marks itself pending; the context menu is tracked by
  // the platform after PrepareMenu has run.
  int OnTrayNotification(int iconId, TrayMouse mouse);
  // The right-click steps before the menu shows: the default entry is the
  // default command's (the first entry when 0) and the menu-text callback
  // runs. Returns the menu, null when not created.
  QMenu* PrepareMenu();

  bool IsCreated() const { return created_; }
  int IconId() const { return id_; }
  int CallbackMessage() const { return callbackMessage_; }
  QString TooltipText() const { return tooltip_; }
  int IconResourceId() const { return iconResource_; }
  bool SingleClickPending() const { return singleClickPending_; }
  int SingleClickCommand() const { return singleClickCommand_; }
  int DefaultCommand() const { return defaultCommand_; }
  QMenu* Menu() const { return menu_; }
  QWidget* Owner() const { return owner_; }

 private:
  void SendCommand(int command);

  QString programFolder_;
  QSystemTrayIcon* tray_ = nullptr;
  // Owned here while created; a child of the owner window as well.
  QPointer<QMenu> menu_;
  QPointer<QWidget> owner_;
  bool created_ = false;
  int id_ = 0;
  int callbackMessage_ = 0;
  QString tooltip_;
  int iconResource_ = 0;
  int singleClickCommand_ = 0;
  bool singleClickPending_ = false;
  int defaultCommand_ = 0;
  MenuTextCallback menuTextCallback_;
  CommandCallback commandCallback_;
};

// The main window's side of the picture: remembers the picture shown and the
// base picture (connection state) that activity returns to. Calls arrive on
// the user-interface thread (the device host marshals the link's calls).
class TrayPictures {
 public:
  // state.trayIcon mirrors the current picture.
  TrayPictures(CTrayIcon& icon, AppState& state);

  // Records the picture the icon was created with (128), without changing it.
  void RecordCurrent(int resourceId);
  // Changes the picture only when it differs from the current one. Every
  // window's icon (the application's) shows the same picture, tray or not.
  void SetTrayIcon(int resourceId);
  // 141 when connected, 128 when not; remembered as the base picture.
  void ShowConnectionIcon(bool connected);
  // 142 when on, the base picture when off.
  void ShowActivityIcon(bool on);

  int Current() const { return current_; }
  int Base() const { return base_; }

 private:
  CTrayIcon& icon_;
  AppState& state_;
  std::map<int, QIcon> loaded_;  // by resource: activity flips them often
  int current_ = 0;
  int base_ = 128;
};

}  // namespace kst
