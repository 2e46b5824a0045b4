#pragma once

// The main window: a skinned dialog that lives for the whole process, hidden
// in the notification area most of the time. It owns the device side (the
// service library binding, the device link, the upload and its snapshot)
// and the tray icon; the application owns the store, the language and the
// instance guard (AppContext).
//
// Messages: every custom message and command goes through one message table
// (message number -> handler) and one command table (command id ->
// handler). PostMessage queues for the window's thread; SendMessage runs the
// handler on the window's thread and, from another thread, waits until it
// has run (or until the exit sequence starts, which releases every waiting
// sender with 0 so the device link's workers can always be joined).

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "device/ConfigurationUpload.h"
#include "device/DeviceHost.h"
#include "device/ServiceLibrary.h"
#include "foundation/SkinLayout.h"
#include "mainwindow/CAboutDlg.h"
#include "mainwindow/KeyboardView.h"
#include "mainwindow/WindowLooks.h"
#include "skin/CBaseDialog.h"
#include "store/KeyButtonRefresher.h"
#include "store/MessageBoxes.h"

class QLabel;
class QMessageBox;
class QTimer;
class QUrl;

namespace kst {

struct AppContext;
class CPngButton;
class AppProfile;
class CTrayIcon;
class DeviceLink;
class KeyboardView;
class Language;
class LinkUploadDevice;
class OwedUpload;
class ReadAheadDevice;
class ProfileFiles;
class TrayPictures;
class UploadSnapshot;

// Caption of every message box of the program.
inline constexpr const char* kAppTitle = "Z-ORMIT M350RGB Keyboard";
// Dialog resource of the main window.
inline constexpr int kMainDialogTemplate = 102;
// How long the window, hidden at start-up, waits for a notification area to
// appear (at log-in the panel may start after the program) before it goes on
// the task bar, minimised, so that it can be reached; and how often it looks.
inline constexpr int kNotificationAreaWaitMs = 20000;
inline constexpr int kNotificationAreaPollMs = 250;
// Where the window was when it last hid (its frame's top-left corner), in
// the settings key: two's-complement DWORDs, as a screen left of or above
// the primary one has negative coordinates.
inline constexpr const char* kWindowLeftValue = "dwWindowLeft";
inline constexpr const char* kWindowTopValue = "dwWindowTop";
// Web pages of the three link buttons (1219-1221).
inline constexpr const char* kNetworkPage = "https://example.com/z-ormit-m350rgb/community";
inline constexpr const char* kFacebookPage = "https://example.com/z-ormit-m350rgb/facebook";
inline constexpr const char* kTwitterPage = "https://example.com/z-ormit-m350rgb/twitter";

class CKestruneDlg : public CBaseDialog,
                     public DeviceHost,
                     public UploadHost,
                     public MessageBoxes,
                     public KeyButtonRefresher {
  Q_OBJECT

 public:
  // Where the later parts of the window plug in: the profile bar, the
  // lighting panel and the editors. Unset hooks are skipped, and the
  // controls that would call them are not shown.
  struct Parts {
    // Opens the key assignment dialog on a slot of the keyboard's current
    // profile (macroOnly for the macro button and G9).
    std::function<void(AssignmentSlot slot, bool macroOnly, int controlId)> openKeyAssignment;
    std::function<void()> updateProfileBar;
    std::function<void()> reloadLightingOnConnect;
    std::function<void()> resetAllLighting;
    std::function<void()> followKeyboardProfile;
    std::function<void()> cancelEditors;
    std::function<void(int languageIndex)> languageChanged;
    // Lighting edit mode: a click on a key paints it instead of opening the
    // key assignment dialog.
    std::function<bool()> lightingEditMode;
    std::function<void(int controlId)> paintKey;
    // Lays out a part's own controls on the window, once the window's are
    // (the skin and the device link are there by then).
    std::function<void()> layoutParts;
    // Whether an editor window is open (the key assignment dialog); a
    // profile switch waits until it is closed.
    std::function<bool()> editorOpen;
    // A command of a part's own buttons or menus (the profile bar's, the
    // profile menu's 9000-9200); true when the part handled it. Parts are
    // asked in the order they were plugged in.
    std::function<bool(int commandId)> command;
    // Makes the profile the keyboard's current one, with the profile bar's
    // questions and refusals; true when it switched.
    std::function<bool(int profile)> selectProfile;
    // The lighting panel has shown the lighting state again (after a reload
    // or a reset): the report-rate buttons follow it.
    std::function<void()> lightingShown;
  };

  // Test seams: what would otherwise wait for the user or leave the process.
  struct Seams {
    // Replaces the QMessageBox; gets the text and kind, answers Yes (true).
    std::function<bool(const QString& text, MessageKind kind)> messageBox;
    // Replaces the file dialogs of import (save false) and export (save
    // true); an empty path cancels.
    std::function<QString(bool save)> chooseFile;
    // Replaces QDesktopServices::openUrl.
    std::function<void(const QUrl& url)> openUrl;
    // Replaces the tracked button menu; gives the chosen command or 0.
    std::function<int()> trackButtonMenu;
    // Replaces the notification-area query of the desktop.
    std::function<bool()> notificationArea;
    // Replaces the tray icon's notification (title, text).
    std::function<void(const QString& title, const QString& text)> trayMessage;
    // Replace the available geometries of the attached screens (the primary
    // one first) and the pointer's position, where the window is placed.
    std::function<std::vector<QRect>()> screens;
    std::function<QPoint()> pointer;
  };

  // Runs the instance gate of the start-up (the process ends at once when
  // another instance takes over). context must outlive the window.
  explicit CKestruneDlg(AppContext& context, QWidget* parent = nullptr);
  ~CKestruneDlg() override;

  // Replaces every hook.
  void SetParts(Parts parts);
  // Adds one part's hooks to those plugged in before: a set hook replaces
  // one that returns a value, and runs after one that does not.
  void PlugIn(Parts parts);
  const Parts& PluggedParts() const { return parts_; }
  void SetSeams(Seams seams) { seams_ = std::move(seams); }

  // Initialisation, then the window's loop until the exit sequence ends it.
  // The window is never shown by this; ShowMainWindow shows it.
  int exec() override;
  // The whole initialisation; a missing service library, entry point or
  // skin picture ends the process (one line on stderr, exit code 0). Runs
  // once; a second call does nothing and gives false.
  bool OnInitDialog() override;

  std::intptr_t SendMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  void PostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  // Runs a command of a button or menu as the command table says.
  void OnCommand(int id);

  void OnOK();
  void OnCancel();
  void ShowMainWindow();
  // Ends the run: hides, closes the about box and the editors, releases the
  // instance, removes the tray icon, empties the store, stops the device
  // link and ends the window's loop. Runs once.
  void ExitSequence();
  // Hides the window into the notification area, or minimises it when the
  // desktop has none (so it stays reachable).
  void Conceal();

  // ---- DeviceHost (any thread) ----
  std::intptr_t SendToWindow(std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) override;
  void PostToWindow(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void StartWindowTimer(std::uint32_t timerId, std::uint32_t periodMs) override;
  void ShowConnectionIcon(bool connected) override;
  void ShowActivityIcon(bool on) override;
  void ShowTextPrompt(const char* textKey) override;
  void HideWindow() override;
  bool IsWindowInitialised() const override { return initialised_.load(); }

  // ---- UploadHost ----
  void ShowUploadMessage(const char* textKey) override;
  void ShowUploadMessageWith(const char* textKey, const QString& detail) override;
  void RunOnWindowThread(std::function<void()> task) override;
  bool IsApplyEnabled() const override { return applyPending_; }
  void SetApplyEnabled(bool enabled) override;
  void ShowApplyProgress(bool shown) override;
  void StopWindowTimer(std::uint32_t timerId) override;
  void RefreshKeyButtons() override;

  // ---- MessageBoxes (any thread; off the window's thread it waits) ----
  bool Show(const QString& text, MessageKind kind) override;

  // Why an information prompt is on show; the prompt closes once its
  // reason has passed.
  enum class PromptReason {
    Other,           // closes only with OK or the exit sequence
    NoKeyboard,      // "Open" without a keyboard: closes when it connects
    KeyboardUnread,  // a connected keyboard could not be read: closes when it goes
  };
  // An OK-only prompt that holds up nobody: the caller goes on at once, and
  // the window keeps answering messages (a second start, "/Kill") while it
  // is shown. A prompt with the same text already on show is not shown again.
  // Window's thread.
  void ShowPrompt(const QString& text, PromptReason reason);
  // The information prompts on show now.
  int OpenPrompts() const;

  // ---- KeyButtonRefresher ----
  void RefreshKeyButton(int profile, AssignmentSlot slot) override;

  // ---- For the parts ----
  // An image button of the window's picture set at its "BUTTONINFO"
  // rectangle; a click runs the command controlId. captionSize 0: no caption.
  CPngButton* LayoutPartButton(int controlId, const char* skinKey, int captionSize);
  // The store rebuilt from the keyboard for its current profile, as at
  // connection; Apply disabled (its changes are superseded).
  void ReloadActiveProfile();
  // Drops the unapplied changes: the store is loaded again from the working
  // file (rebuilt from the keyboard when that file cannot be loaded); Apply
  // disabled.
  void DropUnappliedChanges();
  // Runs Apply and returns once it has finished; the window keeps painting
  // meanwhile. True when nothing is left pending.
  bool ApplyAndWait();
  // Returns once a running Apply, import or owed upload has finished.
  void WaitForApply();
  // The window's one message box for a part: kind Question gives whether
  // the answer was Yes.
  using MessageBoxes::Show;

  // ---- State, for the application and tests ----
  KeyboardView* View() const { return view_; }
  DeviceLink* Link() const { return link_.get(); }
  ConfigurationUpload* Upload() const { return upload_.get(); }
  ProfileFiles* Files() const { return files_.get(); }
  CTrayIcon* Tray() const { return tray_.get(); }
  CAboutDlg* AboutBox() const { return aboutBox_.data(); }
  CPngButton* Control(int controlId) const;
  QLabel* BusyPicture() const { return busy_; }
  bool ApplyPending() const { return applyPending_; }
  bool TimerActive(std::uint32_t timerId) const;
  int BusyFrame() const { return busyFrame_; }
  // Whether the controls that act on the keyboard's content hold still
  // because it is still being read.
  bool AwaitingKeyboard() const { return awaitingKeyboard_; }
  bool Exited() const { return exited_; }
  // The no-keyboard state drawn over the keyboard picture when the keyboard
  // went while the desktop has no notification area; hidden otherwise.
  QLabel* NoKeyboardState() const { return noKeyboard_; }
  QString LinkAddress() const { return linkAddress_; }
  // Whether the window has given up its buttons' pieces of the state
  // pictures, its skin background and its buffer (while hidden).
  bool LooksReleased() const { return looks_->Released(); }
  // The window's state pictures: stand-ins and the buttons' pieces of them.
  WindowLooks& Looks() { return *looks_; }
  PieceCutter* ButtonPieceCutter() override { return looks_.get(); }
  // Whether the hovered and pressed looks have replaced their placeholders.
  bool LaterLooksTaken() const { return laterLooksTaken_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void PaintBackground(QPainter& painter) override;
  void reject() override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  using MessageHandler = std::intptr_t (CKestruneDlg::*)(std::uintptr_t, std::intptr_t);
  struct MessageEntry {
    std::uint32_t message;
    MessageHandler handler;
  };
  using CommandHandler = void (CKestruneDlg::*)();
  struct CommandEntry {
    int id;
    CommandHandler handler;
  };
  using TimerHandler = void (CKestruneDlg::*)();
  struct TimerEntry {
    std::uint32_t id;
    TimerHandler handler;
  };
  static const MessageEntry kMessageTable[];
  static const CommandEntry kCommandTable[];
  static const TimerEntry kTimerTable[];

  // Queues task for the window's thread (any thread); tasks run in order.
  void PostTask(std::function<void()> task);
  Q_INVOKABLE void RunPostedTask();

  std::intptr_t Dispatch(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  void DispatchPosted(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  // Runs task on the window's thread and waits for its result; 0 once the
  // exit sequence has started.
  std::intptr_t RunAndWait(std::function<std::intptr_t()> task);
  bool OnWindowThread() const;

  // Message handlers.
  std::intptr_t OnLanguage(std::uintptr_t wParam, std::intptr_t lParam);
  std::intptr_t OnInitMessage(std::uintptr_t wParam, std::intptr_t lParam);
  std::intptr_t OnOpen(std::uintptr_t wParam, std::intptr_t lParam);
  std::intptr_t OnKill(std::uintptr_t wParam, std::intptr_t lParam);
  std::intptr_t OnProfile(std::uintptr_t wParam, std::intptr_t lParam);
  std::intptr_t OnGKeys(std::uintptr_t wParam, std::intptr_t lParam);
  std::intptr_t OnDeviceGone(std::uintptr_t wParam, std::intptr_t lParam);
  std::intptr_t OnCommandMessage(std::uintptr_t wParam, std::intptr_t lParam);
  std::intptr_t OnSysCommand(std::uintptr_t wParam, std::intptr_t lParam);

  // Commands.
  void OnApply();
  void OnLink();
  void OnHelp();
  void OnMinimize();
  void OnMenuButton();
  void OnMacroButton();
  void OnNetwork();
  void OnFacebook();
  void OnTwitter();
  void OnAbout();
  void OnImport();
  void OnExport();
  void OnReloadTexts();

  // Timers.
  void OnTimer(std::uint32_t timerId);
  void OnBusyTimer();
  void OnFollowProfileTimer();
  void OnFactoryResetTimer();
  bool RetryWhileKeyboardBusy(std::uint32_t timerId);

  void BindDevice();
  void CreateDeviceSide();
  // Starts decoding the pictures the initialisation needs.
  void PrefetchMainPictures();
  // Starts decoding the busy frames and the later looks; once.
  void StartLaterDecodes();
  void LoadMainPictures();
  static QString BusyFrameFile(int n);
  // The ten frames of the busy animation, those that could be loaded.
  const std::vector<QPixmap>& BusyFrames();
  // The main pictures no part of the window shows before the lighting panel.
  static bool ShownLater(const QString& file);
  // The state pictures of hovered and pressed buttons.
  static bool LaterLook(const QString& file);
  // The stand-in of a state picture of the main window (WindowLooks); a
  // placeholder for a later look until TakeLaterLooks.
  QPixmap StateLook(const char* file);
  // Gives every button the hovered and pressed looks in place of their
  // placeholders; once, after the start-up messages. Ends the process when
  // a picture cannot be decoded.
  void TakeLaterLooks();
  // Gives every button, the keyboard view and its Flip looks `replaced(p)`
  // in place of each of their pictures p.
  void ReplaceLooks(const LookReplacer& replaced);
  // A hidden window keeps neither its buttons' pieces of the state pictures
  // nor the skin background, the shown background and its buffer; on show
  // they come back, the pictures decoded again, before the first paint.
  void ReleaseLooksWhileHidden();
  void TakeLooksBackForShow();
  void LayoutWindowControls();
  CPngButton* LayoutButton(int controlId, const char* skinKey);
  void SetButtonCaptionStyle(CPngButton& button, int size, const char* face, int format);
  // The keyboard view's seams, from the parts plugged in.
  KeyboardView::Hooks ViewHooks() const;
  // The macro button is on show when the key assignment dialog is plugged in.
  void ShowMacroButton();
  void SetSkinTooltips();
  // The Tab order: the profile bar with the macro button, the keyboard
  // picture, the lighting panel (with the report rates), OK, Cancel and
  // Apply, then the window's own buttons; each group in reading order.
  void SetFocusOrder();
  // The skin's background with the buttons that are not on show painted
  // over, so no button appears that does nothing.
  void RebuildBackground();
  void StartTimer(std::uint32_t timerId, std::uint32_t periodMs);
  void ClosePrompts(PromptReason reason);
  // Ends every modal loop that runs on the window's thread (message boxes,
  // file dialogs, editors, menus) so that nothing holds the exit.
  void CloseModalWindows();
  // The hidden window at start-up: stays hidden while a notification area
  // may still appear; without one after remainingMs, goes on the task bar.
  void WaitForNotificationArea(int remainingMs);
  void OpenUrl(const QUrl& url);
  void StopDeviceSide();
  Language& language() const;
  int LanguageIndex() const;
  bool NotificationArea() const;
  void ApplyOnKeyboard();
  void SetAwaitingKeyboard(bool awaiting);
  // Whether a click on `watched` is held back while the keyboard's content
  // is being read.
  bool HeldWhileAwaitingKeyboard(const QObject* watched) const;
  // Whether `watched`, a control of this window, acts on the keyboard or its
  // content: the keys, the macro button and every part's control.
  bool NeedsKeyboard(const QObject* watched) const;
  // The keyboard went: a notification of the tray icon, or without a
  // notification area the no-keyboard state on the window. Once per unplug.
  void TellKeyboardGone();
  // Shows or takes away the no-keyboard state; the controls that need the
  // keyboard are disabled while it shows and get their state back after.
  void ShowNoKeyboardState(bool shown);
  void SetNoKeyboardText();
  // The keyboard is plugged in but this user may not open it (the service
  // library's and the system's view, asked when needed).
  bool KeyboardRefused() const;
  // Places the window before a show from hidden: where it last hid, brought
  // onto a screen (WindowPlacement); centred on the pointer's screen at first.
  void PlaceForShow();
  // Remembers where the shown window is, for its next show and the next run.
  void SavePlacement();

  AppContext& context_;
  Parts parts_;
  Seams seams_;

  // Device side, owned here; the link goes first at the end.
  TolvaneApi api_{};
  bool bound_ = false;
  std::unique_ptr<DeviceLink> link_;
  std::unique_ptr<UploadSnapshot> snapshot_;
  std::unique_ptr<LinkUploadDevice> uploadDevice_;
  // The device of the upload and the rebuild: the keyboard, with the
  // connection worker's reads ahead of the window's rebuild.
  std::unique_ptr<ReadAheadDevice> readAhead_;
  std::unique_ptr<ProfileFiles> files_;
  // Whether the keyboard owes an upload (kept in the settings key); used by
  // the upload, so it outlives it.
  std::unique_ptr<OwedUpload> owedUpload_;
  std::unique_ptr<ConfigurationUpload> upload_;

  struct OpenPrompt {
    QPointer<QMessageBox> box;
    QString text;
    PromptReason reason;
  };
  std::vector<OpenPrompt> prompts_;

  std::unique_ptr<CTrayIcon> tray_;
  std::unique_ptr<TrayPictures> trayPictures_;
  QPointer<CAboutDlg> aboutBox_;

  std::unique_ptr<AppProfile> appProfile_;
  KeyboardView* view_ = nullptr;
  std::map<int, CPngButton*> controls_;
  QLabel* busy_ = nullptr;
  QWidget* inputBlocker_ = nullptr;
  QLabel* noKeyboard_ = nullptr;
  // The controls ShowNoKeyboardState disabled, to enable again.
  std::vector<QPointer<QWidget>> heldForKeyboard_;
  std::vector<QPixmap> busyFrames_;  // see BusyFrames
  bool busyFramesTaken_ = false;
  QPixmap overPlaceholder_;
  QPixmap downPlaceholder_;
  bool laterLooksTaken_ = false;
  bool laterDecodesStarted_ = false;
  bool painted_ = false;            // the window has been drawn once
  bool decodesAwaitPaint_ = false;  // TakeLaterLooks waits for the first paint
  // The state pictures' stand-ins and the buttons' pieces of them.
  std::unique_ptr<WindowLooks> looks_;
  int busyFrame_ = 0;
  std::map<std::uint32_t, QTimer*> timers_;
  QString linkAddress_;
  QPixmap shownBackground_;

  bool applyPending_ = false;
  // A connected keyboard's content is still being read: from the
  // connection until its UM_PROFILE or UM_DEVICE_GONE.
  bool awaitingKeyboard_ = false;
  // The first show was queued by the initialisation (the keyboard present).
  bool showQueuedAtInit_ = false;
  std::atomic<bool> initialised_{false};
  bool exited_ = false;

  // Tasks queued for the window's thread (PostTask).
  std::mutex postedMutex_;
  std::deque<std::function<void()>> posted_;

  // Senders waiting on another thread for their handler.
  std::mutex waitMutex_;
  std::condition_variable waitCv_;
  bool releaseWaiters_ = false;
};

}  // namespace kst
