#include "mainwindow/CKestruneDlg.h"

#include <QAccessible>
#include <QApplication>
#include <QBackingStore>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmapCache>
#include <QShowEvent>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/AppContext.h"
#include "app/AppIcons.h"
#include "app/CTrayIcon.h"
#include "device/CommandProtocol.h"
#include "device/DeviceLink.h"
#include "device/DeviceProfileRebuild.h"
#include "device/OwedUpload.h"
#include "device/UploadDevice.h"
#include "device/UploadSnapshot.h"
#include "device/diagnosis/KeyboardDiagnosis.h"
#include "foundation/IniFile.h"
#include "foundation/Language.h"
#include "mainwindow/CAboutDlg.h"
#include "mainwindow/KeyboardReadAhead.h"
#include "mainwindow/KeyboardView.h"
#include "mainwindow/MainWindowIds.h"
#include "mainwindow/WindowLooks.h"
#include "mainwindow/WindowPlacement.h"
#include "platform/Registry.h"
#include "skin/AppStyle.h"
#include "skin/CPngButton.h"
#include "skin/SkinKeys.h"
#include "skin/SkinLayoutOps.h"
#include "store/AssignmentStore.h"
#include "store/ProfileFiles.h"

namespace kst {

namespace {

const QString kButtonInfo = QString::fromLatin1(kButtonInfoSection);

// How soon a keyboard timer comes back while the keyboard is busy.
constexpr std::uint32_t kKeyboardBusyRetryMs = 20;

// Text of string resource 101: the system menu's about entry.
constexpr const char* kAboutMenuText = "&About...";

// Colours of the captions the window's buttons draw (COLORREF).
constexpr ColorRef kCaptionNormal = 0xE4E4E4;
constexpr ColorRef kCaptionHover = 0xFFFFFF;
constexpr ColorRef kCaptionPressed = 0xFFFFFF;
constexpr ColorRef kCaptionDisabled = 0x7A7A7A;
constexpr ColorRef kCaptionFifth = 0xC8C8C8;
constexpr ColorRef kLinkColour = 0xB4B4B4;

constexpr const char* kCaptionFace = "Arial Unicode MS";
constexpr const char* kVersionFace = "Verdana";

// How often the window looks whether the hovered and pressed looks are decoded.
constexpr int kLaterLooksPollMs = 10;
// How long a hiding window waits for the toolkit's pooled threads to finish
// what they run before ending them; they are idle by then.
constexpr int kPoolEndWaitMs = 200;
// Marks the buttons a part laid out on the window.
constexpr const char* kPartControlProperty = "partControl";
// How often a wait for a running Apply looks whether it has finished.
constexpr int kApplyWaitPollMs = 5;

bool IsEnterOrEscape(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

}  // namespace

// ---- Tables ------------------------------------------------------------------------

const CKestruneDlg::MessageEntry CKestruneDlg::kMessageTable[] = {
    {UM_LANGUAGE, &CKestruneDlg::OnLanguage},
    {UM_INIT, &CKestruneDlg::OnInitMessage},
    {UM_OPEN, &CKestruneDlg::OnOpen},
    {UM_KILL, &CKestruneDlg::OnKill},
    {UM_PROFILE, &CKestruneDlg::OnProfile},
    {UM_GKEYS, &CKestruneDlg::OnGKeys},
    {UM_DEVICE_GONE, &CKestruneDlg::OnDeviceGone},
    {kCommandMessage, &CKestruneDlg::OnCommandMessage},
    {kSysCommandMessage, &CKestruneDlg::OnSysCommand},
};

const CKestruneDlg::CommandEntry CKestruneDlg::kCommandTable[] = {
    {kIdOk, &CKestruneDlg::OnOK},
    {kIdCancel, &CKestruneDlg::OnCancel},
    {kIdApply, &CKestruneDlg::OnApply},
    {kIdMacro, &CKestruneDlg::OnMacroButton},
    {kIdLink, &CKestruneDlg::OnLink},
    {kIdHelp, &CKestruneDlg::OnHelp},
    {kIdMinimize, &CKestruneDlg::OnMinimize},
    {kIdClose, &CKestruneDlg::ExitSequence},
    {kIdMenu, &CKestruneDlg::OnMenuButton},
    {kIdNetwork, &CKestruneDlg::OnNetwork},
    {kIdFacebook, &CKestruneDlg::OnFacebook},
    {kIdTwitter, &CKestruneDlg::OnTwitter},
    {kCommandOpen, &CKestruneDlg::ShowMainWindow},
    {kCommandAbout, &CKestruneDlg::OnAbout},
    {kCommandExit, &CKestruneDlg::ExitSequence},
    {kCommandImport, &CKestruneDlg::OnImport},
    {kCommandExport, &CKestruneDlg::OnExport},
    {kCommandHide, &CKestruneDlg::ExitSequence},
    {kCommandReloadTexts, &CKestruneDlg::OnReloadTexts},
};

const CKestruneDlg::TimerEntry CKestruneDlg::kTimerTable[] = {
    {kTimerApplyProgress, &CKestruneDlg::OnBusyTimer},
    {kTimerFollowProfile, &CKestruneDlg::OnFollowProfileTimer},
    {kTimerReloadAfterReset, &CKestruneDlg::OnFactoryResetTimer},
};

// ---- Construction ----------------------------------------------------------------------

CKestruneDlg::CKestruneDlg(AppContext& context, QWidget* parent)
    : CBaseDialog(kMainDialogTemplate, parent, MainSkinFile(context.paths),
                  SkinFolder(context.paths)),
      context_(context),
      looks_(std::make_unique<WindowLooks>(*this, Pictures())) {
  setObjectName(QStringLiteral("CKestruneDlg"));
  // The application's icon, not the window's own: every window, message boxes
  // included, shows the tray's picture as it changes (TrayPictures).
  QApplication::setWindowIcon(LoadAppIcon(context_.paths.programFolder, kTrayIconDisconnected));
  context_.state.autoShowDone = false;
  if (!context_.instanceGateDone && RunInstanceGate(context_) == StartupGate::Exit) {
    EndProcessNow(0);
  }
}

CKestruneDlg::~CKestruneDlg() {
  if (!exited_) {
    StopDeviceSide();
    if (tray_) tray_->Remove();
  }
  context_.store.SetKeyButtonRefresher(nullptr);
  if (context_.state.mainWindow == this) context_.state.mainWindow = nullptr;
}

void CKestruneDlg::SetParts(Parts parts) {
  parts_ = std::move(parts);
  if (view_) view_->SetHooks(ViewHooks());
  ShowMacroButton();
  if (!Background().isNull()) RebuildBackground();
}

namespace {

template <typename... Args>
void Chain(std::function<void(Args...)>& into, std::function<void(Args...)> next) {
  if (!next) return;
  if (!into) {
    into = std::move(next);
    return;
  }
  into = [first = std::move(into), second = std::move(next)](Args... args) {
    first(args...);
    second(args...);
  };
}

}  // namespace

void CKestruneDlg::PlugIn(Parts parts) {
  Parts merged = parts_;
  if (parts.openKeyAssignment) merged.openKeyAssignment = std::move(parts.openKeyAssignment);
  Chain(merged.updateProfileBar, std::move(parts.updateProfileBar));
  Chain(merged.reloadLightingOnConnect, std::move(parts.reloadLightingOnConnect));
  Chain(merged.resetAllLighting, std::move(parts.resetAllLighting));
  Chain(merged.followKeyboardProfile, std::move(parts.followKeyboardProfile));
  Chain(merged.cancelEditors, std::move(parts.cancelEditors));
  Chain(merged.languageChanged, std::move(parts.languageChanged));
  if (parts.lightingEditMode) merged.lightingEditMode = std::move(parts.lightingEditMode);
  if (parts.paintKey) merged.paintKey = std::move(parts.paintKey);
  Chain(merged.layoutParts, std::move(parts.layoutParts));
  if (parts.editorOpen) merged.editorOpen = std::move(parts.editorOpen);
  if (parts.command) {
    if (!merged.command) {
      merged.command = std::move(parts.command);
    } else {
      merged.command = [first = std::move(merged.command), second = std::move(parts.command)](
                           int id) { return first(id) || second(id); };
    }
  }
  if (parts.selectProfile) merged.selectProfile = std::move(parts.selectProfile);
  Chain(merged.lightingShown, std::move(parts.lightingShown));
  SetParts(std::move(merged));
}

void CKestruneDlg::ShowMacroButton() {
  CPngButton* macro = Control(kIdMacro);
  if (!macro) return;
  // The button opens the key assignment dialog, which plugs in through the
  // parts; without it the button is not on show.
  const bool offered =
      static_cast<bool>(parts_.openKeyAssignment) &&
      !ReadSkinRect(SkinFileName(), kButtonInfo, QStringLiteral("FUNC_MACRO")).MarksHidden();
  macro->setEnabled(offered);
  macro->setVisible(offered);
}

KeyboardView::Hooks CKestruneDlg::ViewHooks() const {
  KeyboardView::Hooks hooks;
  hooks.openKeyAssignment = parts_.openKeyAssignment;
  hooks.lightingEditMode = parts_.lightingEditMode;
  hooks.paintKey = parts_.paintKey;
  return hooks;
}

void CKestruneDlg::RebuildBackground() {
  QImage image = Background().toImage().convertToFormat(QImage::Format_RGB32);
  // The pictures draw a button's glow just outside its rectangle.
  constexpr int kMargin = 3;
  // Rectangles are in window pixels, the picture's may be more (a ratio of 2).
  const qreal ratio = image.devicePixelRatio();
  for (const SkinKey& key : MainWindowSkinKeys()) {
    if (key.kind != SkinControl::ImageButton) continue;
    const QString name = QString::fromLatin1(key.key);
    const QWidget* control = findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    if (control && !control->isHidden()) continue;
    const SkinRect rect = ReadSkinRect(SkinFileName(), kButtonInfo, name);
    if (rect.MarksHidden()) continue;
    const QRectF place =
        QRectF(GeometryFromSkinRect(rect).adjusted(-kMargin, -kMargin, kMargin, kMargin));
    const QRect area = QRectF(place.topLeft() * ratio, place.size() * ratio)
                           .toAlignedRect()
                           .intersected(image.rect().adjusted(1, 0, -1, 0));
    if (area.isEmpty()) continue;
    // Each row is filled with the blend of the pixels left and right of it,
    // which follows the background's gradients.
    const int span = area.width() + 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      const QRgb left = line[area.left() - 1];
      const QRgb right = line[area.right() + 1];
      for (int x = area.left(); x <= area.right(); ++x) {
        const int t = x - area.left() + 1;
        auto mix = [&](int a, int b) { return (a * (span - t) + b * t) / span; };
        line[x] = qRgb(mix(qRed(left), qRed(right)), mix(qGreen(left), qGreen(right)),
                       mix(qBlue(left), qBlue(right)));
      }
    }
  }
  shownBackground_ = QPixmap::fromImage(image);
  update();
}

void CKestruneDlg::PaintBackground(QPainter& painter) {
  painted_ = true;
  if (decodesAwaitPaint_) {
    decodesAwaitPaint_ = false;
    QTimer::singleShot(0, this, [this] { TakeLaterLooks(); });
  }
  if (shownBackground_.isNull() || Background().isNull())
    CBaseDialog::PaintBackground(painter);
  else
    painter.drawPixmap(0, 0, shownBackground_);
}

int CKestruneDlg::exec() {
  OnInitDialog();
  if (!exited_) {
    // The window's own loop, without the show of a modal dialog: the window
    // appears only through ShowMainWindow.
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::DialogExec);
  }
  return result();
}

bool CKestruneDlg::OnInitDialog() {
  // The window is initialised once for its whole life.
  if (link_ || exited_) return false;
  // The pictures decode on other threads while the window is set up.
  PrefetchMainPictures();
  // The toolkit's accessibility bridge connects to the session bus on its
  // first use, which waits for the connection: started while the pictures
  // decode, that wait overlaps theirs rather than the layout's.
  QAccessible::isActive();
  // 1. The skin. The mask has given the window its shape and is not needed
  // again.
  CBaseDialog::OnInitDialog();
  DropMaskPicture();
  looks_->SetBackgroundFile(MainFile());
  // 3, 4. Icon (set at construction, for the start-up gate's messages
  // too), state record.
  initialised_.store(false);
  context_.state.mainWindow = this;
  // 5. The service library, the channels and the connection worker.
  BindDevice();
  // 7. The store with its default content; nothing pending.
  context_.store.InstallDefault();
  context_.store.SetKeyButtonRefresher(this);
  CreateDeviceSide();
  SetApplyEnabled(false);
  // 8. The pictures.
  LoadMainPictures();
  // 9. The link address.
  linkAddress_ =
      Ini()
          .GetString(QString::fromLatin1(kScreenSection), QStringLiteral("Link"), QString())
          .value_or(QString());
  // 10, 11. The keyboard picture and the window's controls.
  LayoutWindowControls();
  // 13. Messages from other processes reach the window from now on.
  context_.instance.Listen(
      [this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) -> std::intptr_t {
        if (message == kTimeChangeMessage) {
          PostMessage(message, wParam, lParam);
          return 0;
        }
        if (message == UM_OPEN || message == UM_KILL) return SendMessage(message, wParam, lParam);
        return 0;
      });
  // 14. Caption.
  setWindowTitle(language().LoadLangText(QStringLiteral("IDS_MAIN_CAPTION"), LanguageIndex()));
  // 15. Start-up messages.
  PostMessage(UM_INIT, kInitWParam, 0);
  SendMessage(UM_LANGUAGE, kLanguageWParam, ClampLanguageIndex(LanguageIndex()));
  // 17. Three tooltips from the skin language file.
  SetSkinTooltips();
  // Enter and Escape never reach a control.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
  // The parts' controls keep their own keys (edit boxes, lists).
  if (parts_.layoutParts) parts_.layoutParts();
  SetFocusOrder();
  RebuildBackground();
  // First show at start-up: the device count has reported the keyboard
  // present, so the window shows once it is set up, after UM_INIT, rather
  // than after the connection worker's reads; what depends on the keyboard's
  // content fills in on UM_PROFILE, and the controls acting on it take no
  // clicks until then.
  if (context_.state.devicePresent.load() && !context_.state.autoShowDone) {
    context_.state.autoShowDone = true;
    showQueuedAtInit_ = true;
    PostMessage(UM_OPEN, kOpenWParam, 0);
  }
  return true;
}

Language& CKestruneDlg::language() const { return context_.language; }

int CKestruneDlg::LanguageIndex() const { return context_.language.GetLanguageIndex(); }

void CKestruneDlg::BindDevice() {
  const QByteArray executableFolder = QFile::encodeName(context_.executableFolder);
  std::vector<std::string_view> arguments;
  if (context_.commandLine.Has(Switch::Simulate)) arguments.push_back(kSimulateOption);
  const bool simulated = SimulatedKeyboardRequested(arguments, std::getenv(kDeviceEnvironment));
  const ServiceBinding binding = BindServiceLibrary(
      std::filesystem::path(executableFolder.constData()), ServiceLibraryFileName(simulated));
  if (!binding.ok) {
    // The picture decoders and the platform's threads are running: the
    // process ends without running static destructors under them.
    std::fprintf(stderr, "kestrune: %s\n", binding.message.c_str());
    EndProcessNow(0);
  }
  api_ = binding.api;
  bound_ = true;
  link_ = std::make_unique<DeviceLink>(api_, *this);
  // Before the connection worker can run: it reads ahead through these.
  uploadDevice_ = std::make_unique<LinkUploadDevice>(*link_);
  readAhead_ = std::make_unique<ReadAheadDevice>(*uploadDevice_);
  const int count = link_->ArmChannels();
  if (count < 0) {
    std::fprintf(stderr, "kestrune: the keyboard's service library cannot be armed\n");
    EndProcessNow(0);
  }
  context_.state.devicePresent.store(count > 0);
  if (count == 0) context_.state.autoShowDone = true;
  awaitingKeyboard_ = count > 0;
}

void CKestruneDlg::CreateDeviceSide() {
  snapshot_ = std::make_unique<UploadSnapshot>();
  files_ = std::make_unique<ProfileFiles>(context_.store, context_.paths, context_.language, *this);
  upload_ = std::make_unique<ConfigurationUpload>(context_.store, *snapshot_, *readAhead_, *files_,
                                                  *this);
  owedUpload_ =
      std::make_unique<OwedUpload>(context_.registry, QString::fromLatin1(kLanguageRegistryKey));
  upload_->SetOwedUpload(owedUpload_.get());
}

QString CKestruneDlg::BusyFrameFile(int n) { return QStringLiteral("jdt%1.bmp").arg(n); }

bool CKestruneDlg::ShownLater(const QString& file) {
  return file == QLatin1String(kMainColourPictures[0]) ||
         file == QLatin1String(kMainColourPictures[1]);
}

void CKestruneDlg::PrefetchMainPictures() {
  // In the order the window takes them: the skin's background and mask, the
  // looks it shows at once and the rest; the busy frames and the looks of
  // hovered and pressed buttons start once the window is up
  // (StartLaterDecodes), not to compete with the first paint for the cores.
  const QString screen = QString::fromLatin1(kScreenSection);
  const QString main = ReadProfileString(SkinFileName(), screen, QStringLiteral("Main"), QString(),
                                         CIniFile::kMaxPathChars + 1);
  const QString mask = ReadProfileString(SkinFileName(), screen, QStringLiteral("Mask"), main,
                                         CIniFile::kMaxPathChars + 1);
  QStringList first;
  for (const QString& file : {main, mask}) {
    if (!file.isEmpty()) first << file;
  }
  Pictures().Prefetch(first);
  const QStringList states = PictureSetFiles(kMainPictureSet);
  QStringList shown;
  for (const QString& file : states)
    if (!LaterLook(file)) shown << file;
  Pictures().Prefetch(shown);
  QStringList rest;
  for (const QString& file : MainWindowPictures()) {
    if (!ShownLater(file) && !states.contains(file)) rest << file;
  }
  Pictures().Prefetch(rest);
}

void CKestruneDlg::StartLaterDecodes() {
  if (laterDecodesStarted_) return;
  laterDecodesStarted_ = true;
  QStringList frames;
  for (int n = 1; n <= kBusyFrameCount; ++n) frames << BusyFrameFile(n);
  Pictures().Prefetch(frames);
  const QStringList later = {QString::fromLatin1(kMainPictureSet.over),
                             QString::fromLatin1(kMainPictureSet.down)};
  Pictures().Prefetch(later);
}

bool CKestruneDlg::LaterLook(const QString& file) {
  return file == QLatin1String(kMainPictureSet.over) || file == QLatin1String(kMainPictureSet.down);
}

QPixmap CKestruneDlg::StateLook(const char* file) {
  const QString name = QString::fromLatin1(file);
  if (!laterLooksTaken_ && LaterLook(name)) {
    // Stands in until TakeLaterLooks; draws nothing, so the button shows the
    // window's background, its normal look.
    QPixmap& placeholder =
        name == QLatin1String(kMainPictureSet.over) ? overPlaceholder_ : downPlaceholder_;
    if (placeholder.isNull()) placeholder = NewStandIn();
    return placeholder;
  }
  return looks_->StandIn(name);
}

void CKestruneDlg::TakeLaterLooks() {
  if (laterLooksTaken_ || exited_) return;
  if (!laterDecodesStarted_) {
    // A window on show is drawn first; its first paint starts them.
    if (isVisible() && !painted_) {
      decodesAwaitPaint_ = true;
      return;
    }
    StartLaterDecodes();
  }
  // The window's thread does not wait for the decodes: it keeps drawing and
  // answering while they finish.
  if (!Pictures().Ready(QString::fromLatin1(kMainPictureSet.over)) ||
      !Pictures().Ready(QString::fromLatin1(kMainPictureSet.down))) {
    QTimer::singleShot(kLaterLooksPollMs, this, [this] { TakeLaterLooks(); });
    return;
  }
  laterLooksTaken_ = true;
  const QPixmap over = StateLook(kMainPictureSet.over);
  const QPixmap down = StateLook(kMainPictureSet.down);
  const qint64 overKey = overPlaceholder_.cacheKey();
  const qint64 downKey = downPlaceholder_.cacheKey();
  ReplaceLooks([&](const QPixmap& picture) -> QPixmap {
    if (picture.cacheKey() == overKey) return over;
    if (picture.cacheKey() == downKey) return down;
    return picture;
  });
  overPlaceholder_ = QPixmap();
  downPlaceholder_ = QPixmap();
}

void CKestruneDlg::ReplaceLooks(const LookReplacer& replaced) {
  ReplaceWindowLooks(*this, view_, replaced);
}

void CKestruneDlg::ReleaseLooksWhileHidden() {
  // Before the later looks have arrived their decodes may still run: the
  // window keeps what it has until then.
  if (!laterLooksTaken_ || exited_ || looks_->Released()) return;
  looks_->Release();
  shownBackground_ = QPixmap();
  DropBackground();
  // The window's buffer too: the toolkit makes it again, at the window's
  // size, for the first paint after the show.
  if (QBackingStore* store = backingStore()) store->resize(QSize(1, 1));
  // The freed pixels go back to the system, not only to the allocator.
  ReturnFreedMemory();
  // The toolkit's pooled threads (it converts and scales large pictures on
  // them) would end by themselves 30 s after their last task, waking the
  // hidden process: idle now, they end now.
  QThreadPool::globalInstance()->waitForDone(kPoolEndWaitMs);
  // The toolkit's pixmap cache (the style's drawings) flushes on a timer
  // for as long as it holds anything: emptied, its timer stops.
  QPixmapCache::clear();
}

void CKestruneDlg::TakeLooksBackForShow() {
  if (!looks_->Released()) return;
  TakeBackgroundBack();
  looks_->TakeBack();
  RebuildBackground();
}

void CKestruneDlg::showEvent(QShowEvent* event) {
  TakeLooksBackForShow();
  CBaseDialog::showEvent(event);
}

void CKestruneDlg::hideEvent(QHideEvent* event) {
  CBaseDialog::hideEvent(event);
  // Minimised is not hidden: the task bar may show the window's preview.
  if (!event->spontaneous() && isHidden()) ReleaseLooksWhileHidden();
}

void CKestruneDlg::LoadMainPictures() {
  for (const QString& file : MainWindowPictures()) {
    if (ShownLater(file) || LaterLook(file)) {
      // Not shown before the window is up (hovered and pressed looks) or the
      // lighting panel asks for them (colours): checked now, as every main
      // picture is, and decoded later.
      if (!Pictures().Readable(file)) EndProcessForMissingPicture(Pictures().PathOf(file));
    } else {
      Pictures().Required(file);
    }
  }
  // The Flip pictures are decoded when Flip is first 1; a missing one ends
  // the process now, not at that click.
  for (const QString& file : PictureSetFiles(kMainFlipPictureSet))
    if (!Pictures().Readable(file)) EndProcessForMissingPicture(Pictures().PathOf(file));
}

const std::vector<QPixmap>& CKestruneDlg::BusyFrames() {
  // Taken when Apply first shows them; their decode ran ahead meanwhile.
  if (!busyFramesTaken_) {
    busyFramesTaken_ = true;
    for (int n = 1; n <= kBusyFrameCount; ++n) {
      // The animation is decoration: a missing frame is left out quietly.
      if (auto frame = Pictures().Get(BusyFrameFile(n))) busyFrames_.push_back(*frame);
    }
  }
  return busyFrames_;
}

CPngButton* CKestruneDlg::Control(int controlId) const {
  if (const auto it = controls_.find(controlId); it != controls_.end()) return it->second;
  return view_ ? view_->Button(controlId) : nullptr;
}

CPngButton* CKestruneDlg::LayoutButton(int controlId, const char* skinKey) {
  auto* button = new CPngButton(this);
  button->setObjectName(QString::fromLatin1(skinKey));
  button->setProperty("controlId", controlId);
  LayoutImageButton(*button, SkinFileName(), kButtonInfo, QString::fromLatin1(skinKey),
                    StateLook(kMainPictureSet.normal), StateLook(kMainPictureSet.over),
                    StateLook(kMainPictureSet.down), StateLook(kMainGreyPicture),
                    StateLook(kMainPictureSet.disabled));
  connect(button, &CPngButton::clicked, this, [this, controlId] {
    SendMessage(kCommandMessage, static_cast<std::uintptr_t>(controlId), 0);
  });
  controls_[controlId] = button;
  return button;
}

CPngButton* CKestruneDlg::LayoutPartButton(int controlId, const char* skinKey, int captionSize) {
  CPngButton* button = LayoutButton(controlId, skinKey);
  // A part's buttons act on the keyboard's content.
  button->setProperty(kPartControlProperty, true);
  if (captionSize > 0)
    SetButtonCaptionStyle(*button, captionSize, kCaptionFace, kDefaultTextFormat);
  return button;
}

void CKestruneDlg::SetButtonCaptionStyle(CPngButton& button, int size, const char* face,
                                         int format) {
  button.SetTextStyle(true, size, QString::fromLatin1(face), kCaptionNormal, kCaptionHover,
                      kCaptionPressed, kCaptionDisabled, kCaptionFifth, format);
}

void CKestruneDlg::LayoutWindowControls() {
  KeyboardPictures pictures;
  pictures.normal = StateLook(kMainPictureSet.normal);
  pictures.over = StateLook(kMainPictureSet.over);
  pictures.down = StateLook(kMainPictureSet.down);
  pictures.disable = StateLook(kMainPictureSet.disabled);
  pictures.grey = StateLook(kMainGreyPicture);
  pictures.arrow = Pictures().Required(QString::fromLatin1(kArrowPicture));

  KeyboardView::Sources sources;
  sources.currentProfile = [this] { return link_ ? link_->CachedCurrentProfile() : -1; };
  sources.bank = [this] { return link_ && link_->GKeyBank() == 1 ? GKeyBank::B : GKeyBank::A; };
  sources.languageIndex = [this] { return LanguageIndex(); };
  sources.flipPictures = [this] {
    FlipPictures flip;
    flip.normal = StateLook(kMainFlipPictureSet.normal);
    flip.over = StateLook(kMainFlipPictureSet.over);
    flip.down = StateLook(kMainFlipPictureSet.down);
    return flip;
  };
  appProfile_ = std::make_unique<AppProfile>(context_.registry);
  view_ =
      new KeyboardView(*this, context_.store, context_.language, *appProfile_, std::move(sources));
  view_->SetHooks(ViewHooks());
  view_->LayoutKeyButtons(SkinFileName(), pictures);

  CPngButton* link = LayoutButton(kIdLink, "TELVIN_LINK");
  link->setText(linkAddress_);
  link->SetTextStyle(true, 9, QString::fromLatin1(kCaptionFace), kLinkColour, kCaptionHover,
                     kCaptionPressed, kCaptionDisabled, kCaptionFifth, kDtVCenter | kDtSingleLine);
  link->setCursor(Qt::PointingHandCursor);

  CPngButton* macro = LayoutButton(kIdMacro, "FUNC_MACRO");
  SetButtonCaptionStyle(*macro, 10, kCaptionFace, kDefaultTextFormat);
  ShowMacroButton();

  for (const auto& [id, key] :
       {std::pair{kIdOk, "CONTROL_OK"}, std::pair{kIdCancel, "CONTROL_CANCEL"}}) {
    CPngButton* button = LayoutButton(id, key);
    SetButtonCaptionStyle(*button, 10, kCaptionFace, kDefaultTextFormat);
  }
  const struct {
    int id;
    const char* key;
    const char* tooltip;
  } icons[] = {{kIdHelp, "CONTROL_HELP", "IDS_MAIN_HELP_PROMPT"},
               {kIdClose, "CONTROL_CLOSE", "IDS_MAIN_CLOSE_PROMPT"},
               {kIdMinimize, "CONTROL_MINIMIZE", "IDS_MAIN_MINIMIZE_PROMPT"},
               {kIdMenu, "CONTROL_MENU", "IDS_MAIN_MENU_PROMPT"}};
  for (const auto& icon : icons) {
    CPngButton* button = LayoutButton(icon.id, icon.key);
    button->SetTooltip(language().LoadLangText(QString::fromLatin1(icon.tooltip), LanguageIndex()),
                       true);
  }
  CPngButton* apply = LayoutButton(kIdApply, "CONTROL2_APPLY");
  SetButtonCaptionStyle(*apply, 10, kCaptionFace, kDefaultTextFormat);
  apply->setEnabled(applyPending_);

  view_->LayoutIndicators(SkinFileName(), pictures);

  CPngButton* version = LayoutButton(kIdVersion, "TELVIN_VER");
  version->setText(language().ShowSlot(TextSlot::MainButtonTelvinVer, LanguageIndex()));
  SetButtonCaptionStyle(*version, 8, kVersionFace, kDefaultTextFormat);
  version->setEnabled(false);

  for (const auto& [id, key] :
       {std::pair{kIdNetwork, "CONTROL_Network"}, std::pair{kIdFacebook, "CONTROL_Facebook"},
        std::pair{kIdTwitter, "CONTROL_twitter"}})
    LayoutButton(id, key);

  busy_ = new QLabel(this);
  busy_->setObjectName(QStringLiteral("CONTROL_BUSY"));
  busy_->setProperty("controlId", kIdBusy);
  busy_->setAlignment(Qt::AlignCenter);
  busy_->setAttribute(Qt::WA_TransparentForMouseEvents);
  LayoutControl(*busy_, SkinFileName(), kButtonInfo, QStringLiteral("CONTROL_BUSY"));
  busy_->hide();

  // Takes the input while Apply runs; the window keeps painting beneath.
  inputBlocker_ = new QWidget(this);
  inputBlocker_->setObjectName(QStringLiteral("InputBlocker"));
  inputBlocker_->setAttribute(Qt::WA_NoSystemBackground);
  inputBlocker_->setGeometry(rect());
  inputBlocker_->setFocusPolicy(Qt::StrongFocus);
  inputBlocker_->hide();
  SetAwaitingKeyboard(awaitingKeyboard_);

  noKeyboard_ = new QLabel(this);
  noKeyboard_->setObjectName(QStringLiteral("NoKeyboardState"));
  noKeyboard_->setAlignment(Qt::AlignCenter);
  noKeyboard_->setWordWrap(true);
  noKeyboard_->setTextFormat(Qt::RichText);
  noKeyboard_->setStyleSheet(QStringLiteral(
      "QLabel#NoKeyboardState { background-color: rgba(8, 10, 14, 215); color: #f2f2f2;"
      " border: 1px solid rgba(255, 255, 255, 70); border-radius: 12px; padding: 40px; }"));
  noKeyboard_->hide();

  view_->RefreshKeyButtons();
}

void CKestruneDlg::SetFocusOrder() {
  std::vector<QWidget*> bar, panel, window;
  const std::set<int> ownOrder = {kIdMacro, kIdOk, kIdCancel, kIdApply};
  // A part's buttons above the keyboard picture make the profile bar; those
  // below it are read with the lighting panel they sit in.
  int keysTop = height();
  if (view_)
    for (const CPngButton* key : view_->KeyButtons()) keysTop = std::min(keysTop, key->y());
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!(child->focusPolicy() & Qt::TabFocus) || child == inputBlocker_) continue;
    if (view_ && child == view_->FocusStop()) continue;
    if (auto* button = qobject_cast<CPngButton*>(child)) {
      if (button->property(kPartControlProperty).toBool())
        (button->geometry().bottom() < keysTop ? bar : panel).push_back(button);
      else if (!ownOrder.count(button->property("controlId").toInt()))
        window.push_back(button);
    } else {
      panel.push_back(child);
    }
  }
  // The macro button sits in the profile bar's row.
  if (CPngButton* macro = Control(kIdMacro)) bar.push_back(macro);
  SortInReadingOrder(bar);
  SortInReadingOrder(panel);
  SortInReadingOrder(window);
  std::vector<QWidget*> order = bar;
  if (view_ && view_->FocusStop()) order.push_back(view_->FocusStop());
  order.insert(order.end(), panel.begin(), panel.end());
  for (int id : {kIdOk, kIdCancel, kIdApply})
    if (CPngButton* button = Control(id)) order.push_back(button);
  order.insert(order.end(), window.begin(), window.end());
  SetTabChain(order);
}

void CKestruneDlg::SetSkinTooltips() {
  const struct {
    TextSlot slot;
    const char* skinKey;
    int id;
  } tips[] = {{TextSlot::MainMinimizePrompt, "MAIN_MINIMIZE_PROMPT", kIdMinimize},
              {TextSlot::MainMenuPrompt, "MAIN_MENU_PROMPT", kIdMenu},
              {TextSlot::MainClosePrompt, "MAIN_CLOSE_PROMPT", kIdClose}};
  for (const auto& tip : tips) {
    const QString text = language().LoadSkinText(QString::fromLatin1(tip.skinKey));
    language().SetSlotText(tip.slot, text);
    if (CPngButton* button = Control(tip.id))
      button->SetTooltip(language().SlotText(tip.slot), true);
  }
}

// ---- Messages --------------------------------------------------------------------------

bool CKestruneDlg::OnWindowThread() const { return QThread::currentThread() == thread(); }

std::intptr_t CKestruneDlg::Dispatch(std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
  for (const MessageEntry& entry : kMessageTable) {
    if (entry.message == message) return (this->*entry.handler)(wParam, lParam);
  }
  return 0;
}

void CKestruneDlg::DispatchPosted(std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) {
  // An outside program's time-change notice applies pending changes first.
  if (message == kTimeChangeMessage) OnApply();
  Dispatch(message, wParam, lParam);
}

std::intptr_t CKestruneDlg::SendMessage(std::uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam) {
  if (OnWindowThread()) return Dispatch(message, wParam, lParam);
  return RunAndWait([this, message, wParam, lParam] { return Dispatch(message, wParam, lParam); });
}

void CKestruneDlg::PostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  PostTask([this, message, wParam, lParam] { DispatchPosted(message, wParam, lParam); });
}

std::intptr_t CKestruneDlg::RunAndWait(std::function<std::intptr_t()> task) {
  if (OnWindowThread()) return task();
  struct Call {
    bool done = false;
    std::intptr_t result = 0;
  };
  auto call = std::make_shared<Call>();
  {
    std::lock_guard lock(waitMutex_);
    if (releaseWaiters_) return 0;
  }
  PostTask([this, call, task = std::move(task)] {
    const std::intptr_t result = task();
    std::lock_guard lock(waitMutex_);
    call->result = result;
    call->done = true;
    waitCv_.notify_all();
  });
  std::unique_lock lock(waitMutex_);
  waitCv_.wait(lock, [&] { return call->done || releaseWaiters_; });
  return call->done ? call->result : 0;
}

void CKestruneDlg::OnCommand(int id) {
  if (parts_.command && parts_.command(id)) return;
  // The profile popup menu belongs to the profile bar.
  if (id >= kFirstProfileMenuCommand && id <= kLastProfileMenuCommand) return;
  for (const CommandEntry& entry : kCommandTable) {
    if (entry.id == id) {
      (this->*entry.handler)();
      return;
    }
  }
}

std::intptr_t CKestruneDlg::OnCommandMessage(std::uintptr_t wParam, std::intptr_t) {
  OnCommand(static_cast<int>(wParam & 0xFFFF));
  return 0;
}

std::intptr_t CKestruneDlg::OnSysCommand(std::uintptr_t wParam, std::intptr_t) {
  const std::uintptr_t command = wParam & ~static_cast<std::uintptr_t>(0xF);
  if (command == kSysAboutCommand) {
    OnAbout();
  } else if (command == kScMinimize) {
    showMinimized();
  }
  return 0;
}

std::intptr_t CKestruneDlg::OnLanguage(std::uintptr_t wParam, std::intptr_t lParam) {
  if (wParam != kLanguageWParam) return 0;
  if (aboutBox_) aboutBox_->OnLanguage(wParam, lParam);
  const int index = static_cast<int>(lParam);
  if (parts_.languageChanged) parts_.languageChanged(index);
  const struct {
    int id;
    const char* key;
  } captions[] = {{kIdMacro, "IDS_MAIN_MACRO"},
                  {kIdOk, "IDS_MAIN_OK"},
                  {kIdCancel, "IDS_MAIN_Cancel"},
                  {kIdApply, "IDS_MAIN_Apply"}};
  for (const auto& caption : captions) {
    if (CPngButton* button = Control(caption.id)) {
      button->setText(language().LoadLangText(QString::fromLatin1(caption.key), index));
      button->update();
    }
  }
  if (noKeyboard_ && !noKeyboard_->isHidden()) SetNoKeyboardText();
  return 0;
}

std::intptr_t CKestruneDlg::OnInitMessage(std::uintptr_t wParam, std::intptr_t) {
  if (wParam != kInitWParam) return 0;
  tray_ = std::make_unique<CTrayIcon>(context_.paths.programFolder);
  tray_->Create(this, kTrayCallbackMessage,
                language().LoadLangText(QStringLiteral("IDS_KEYBOARD_TRAY_DESC"), LanguageIndex()),
                windowIcon(), kTrayIconId);
  tray_->SetSingleClickCommand(kTraySingleClickCommand);
  // Runs after the start-up messages already queued, the first show among
  // them.
  QTimer::singleShot(0, this, [this] { TakeLaterLooks(); });
  tray_->SetMenuTextCallback(
      [this](QMenu& menu) { SetMenuTexts(menu, TrayMenuTexts(), context_.language); });
  tray_->SetCommandCallback([this](int command) { OnCommand(command); });
  trayPictures_ = std::make_unique<TrayPictures>(*tray_, context_.state);
  trayPictures_->RecordCurrent(kTrayIconDisconnected);
  // The window may show before the connection worker gets to the tray: the
  // keyboard the device count reported present shows there from the start.
  if (awaitingKeyboard_ && context_.state.devicePresent.load())
    trayPictures_->ShowConnectionIcon(true);
  initialised_.store(true);
  // The window is still hidden here. When the first show is already queued,
  // it stays as it is: without a notification area, concealing minimises, and
  // a minimise followed at once by the show can leave the window unmapped.
  if (!showQueuedAtInit_) WaitForNotificationArea(kNotificationAreaWaitMs);
  return 0;
}

std::intptr_t CKestruneDlg::OnOpen(std::uintptr_t wParam, std::intptr_t) {
  if (wParam != kOpenWParam) return 0;
  ShowMainWindow();
  return 0;
}

std::intptr_t CKestruneDlg::OnKill(std::uintptr_t wParam, std::intptr_t) {
  if (wParam != kKillWParam) return 0;
  ExitSequence();
  return 0;
}

std::intptr_t CKestruneDlg::OnProfile(std::uintptr_t wParam, std::intptr_t) {
  if (wParam != kProfileWParam || !link_) return 0;
  context_.state.devicePresent.store(true);
  const QString prefix = language().ShowSlot(TextSlot::MacroNewPrefix, LanguageIndex());
  LoadActiveProfile(context_.store, *files_, *readAhead_, *this, prefix.toStdU16String(), false,
                    upload_.get());
  // What the worker read ahead was for this rebuild only.
  readAhead_->Invalidate();
  if (parts_.updateProfileBar) parts_.updateProfileBar();
  if (parts_.reloadLightingOnConnect) parts_.reloadLightingOnConnect();
  SetAwaitingKeyboard(false);
  return 0;
}

std::intptr_t CKestruneDlg::OnGKeys(std::uintptr_t wParam, std::intptr_t) {
  if (wParam != kGKeysWParam) return 0;
  if (view_) view_->RefreshGKeyBank();
  return 0;
}

std::intptr_t CKestruneDlg::OnDeviceGone(std::uintptr_t wParam, std::intptr_t) {
  if (wParam != 0) return 0;
  context_.state.devicePresent.store(false);
  SetAwaitingKeyboard(false);
  if (aboutBox_) aboutBox_->close();
  if (parts_.cancelEditors) parts_.cancelEditors();
  TellKeyboardGone();
  return 0;
}

void CKestruneDlg::TellKeyboardGone() {
  if (!NotificationArea()) {
    // The window stays where the user can see it (HideWindow leaves it).
    ShowNoKeyboardState(true);
    return;
  }
  const QString title =
      language().LoadLangText(QStringLiteral("IDS_KEYBOARD_GONE_TITLE"), LanguageIndex());
  const QString text =
      language().LoadLangText(QStringLiteral("IDS_KEYBOARD_GONE_TEXT"), LanguageIndex());
  if (seams_.trayMessage) {
    seams_.trayMessage(title, text);
  } else if (tray_) {
    tray_->ShowMessage(title, text);
  }
}

bool CKestruneDlg::KeyboardRefused() const {
  return bound_ && NotFoundCause(api_) == DiagnosisCause::NoPermission;
}

void CKestruneDlg::SetNoKeyboardText() {
  const bool refused = KeyboardRefused();
  const QString title =
      language().LoadLangText(refused ? QStringLiteral("IDS_MAIN_PROMPT_NO_PERMISSION_TITLE")
                                      : QStringLiteral("IDS_KEYBOARD_GONE_TITLE"),
                              LanguageIndex());
  const QString text =
      language().LoadLangText(refused ? QStringLiteral("IDS_MAIN_PROMPT_NO_PERMISSION")
                                      : QStringLiteral("IDS_KEYBOARD_GONE_TEXT"),
                              LanguageIndex());
  // The command, when there is one, below: one step a line, selectable, and
  // still one command when copied.
  QString command;
  if (refused) {
    const QString steps =
        UdevRuleFixCommand(context_.executableFolder)
            .toHtmlEscaped()
            .replace(QStringLiteral(" &amp;&amp; "), QStringLiteral(" &amp;&amp;<br>"));
    command = QStringLiteral(
                  "<div style=\"font-family:monospace; font-size:10pt; "
                  "margin-top:12px; color:#ffd27a;\">%1</div>")
                  .arg(steps);
  }
  noKeyboard_->setTextInteractionFlags(refused ? Qt::TextSelectableByMouse : Qt::NoTextInteraction);
  noKeyboard_->setText(QStringLiteral("<div style=\"font-size:20pt; font-weight:600;\">%1</div>"
                                      "<div style=\"font-size:12pt; margin-top:10px;\">%2</div>%3")
                           .arg(title.toHtmlEscaped(), text.toHtmlEscaped(), command));
}

void CKestruneDlg::ShowNoKeyboardState(bool shown) {
  // Whether shown or not counts even while the window itself is hidden or
  // minimised.
  if (!noKeyboard_ || shown == !noKeyboard_->isHidden()) return;
  if (!shown) {
    noKeyboard_->hide();
    for (const QPointer<QWidget>& control : heldForKeyboard_) {
      if (control) control->setEnabled(true);
    }
    heldForKeyboard_.clear();
    return;
  }
  // Over the keyboard picture: the keys on show, wherever the orientation put
  // them.
  QRect picture;
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child == noKeyboard_ || child->isHidden() || !child->isEnabled()) continue;
    if (!NeedsKeyboard(child)) continue;
    child->setEnabled(false);
    heldForKeyboard_.emplace_back(child);
  }
  if (view_) {
    for (const CPngButton* key : view_->KeyButtons()) {
      if (!key->isHidden()) picture |= key->geometry();
    }
  }
  // A margin around the keys, so that no key's edge shows beside it.
  constexpr int kMargin = 8;
  noKeyboard_->setGeometry(
      picture.isEmpty()
          ? rect()
          : picture.adjusted(-kMargin, -kMargin, kMargin, kMargin).intersected(rect()));
  SetNoKeyboardText();
  noKeyboard_->show();
  noKeyboard_->raise();
}

// ---- Showing and hiding ------------------------------------------------------------------

bool CKestruneDlg::NotificationArea() const {
  return seams_.notificationArea ? seams_.notificationArea() : NotificationAreaAvailable();
}

void CKestruneDlg::Conceal() {
  SavePlacement();
  if (NotificationArea()) {
    hide();
  } else {
    showMinimized();
  }
}

void CKestruneDlg::WaitForNotificationArea(int remainingMs) {
  // Shown meanwhile (Open, a second start) or ended: nothing to wait for.
  if (exited_ || isVisible()) return;
  // Hidden it stays; the icon shows once the notification area is there.
  if (NotificationArea()) return;
  if (remainingMs <= 0) {
    showMinimized();
    return;
  }
  QTimer::singleShot(kNotificationAreaPollMs, this, [this, remainingMs] {
    WaitForNotificationArea(remainingMs - kNotificationAreaPollMs);
  });
}

void CKestruneDlg::ShowMainWindow() {
  if (exited_) return;
  if (context_.state.devicePresent.load()) {
    if (!isVisible()) PlaceForShow();
    showNormal();
    raise();
    activateWindow();
    return;
  }
  // Reached from a second start too, which waits for this handler: the
  // prompt must not hold it.
  const QString text =
      KeyboardRefused()
          ? language().LoadLangText(QStringLiteral("IDS_MAIN_PROMPT_NO_PERMISSION"),
                                    LanguageIndex()) +
                QStringLiteral("\n\n") + UdevRuleFixCommand(context_.executableFolder)
          : language().LoadLangText(QStringLiteral("IDS_MAIN_DEVICE_PROMRT"), LanguageIndex());
  ShowPrompt(text, PromptReason::NoKeyboard);
}

void CKestruneDlg::PlaceForShow() {
  const std::vector<QRect> screens = seams_.screens ? seams_.screens() : AvailableScreenAreas();
  const QPoint pointer = seams_.pointer ? seams_.pointer() : QCursor::pos();
  const QString key = QString::fromLatin1(kLanguageRegistryKey);
  const std::optional<std::uint32_t> left =
      context_.registry.GetDword(key, QString::fromLatin1(kWindowLeftValue));
  const std::optional<std::uint32_t> top =
      context_.registry.GetDword(key, QString::fromLatin1(kWindowTopValue));
  std::optional<QPoint> saved;
  if (left && top)
    saved = QPoint(static_cast<std::int32_t>(*left), static_cast<std::int32_t>(*top));
  move(PlaceWindow(screens, frameGeometry().size(), saved, pointer));
}

void CKestruneDlg::SavePlacement() {
  if (!isVisible() || isMinimized()) return;
  const QPoint at = frameGeometry().topLeft();
  const QString key = QString::fromLatin1(kLanguageRegistryKey);
  const QString leftName = QString::fromLatin1(kWindowLeftValue);
  const QString topName = QString::fromLatin1(kWindowTopValue);
  const auto left = static_cast<std::uint32_t>(at.x());
  const auto top = static_cast<std::uint32_t>(at.y());
  // Unmoved since the last hide: the settings file is not rewritten.
  if (context_.registry.GetDword(key, leftName) == left &&
      context_.registry.GetDword(key, topName) == top)
    return;
  context_.registry.SetDword(key, leftName, left);
  context_.registry.SetDword(key, topName, top);
}

void CKestruneDlg::OnOK() {
  OnApply();
  Conceal();
}

void CKestruneDlg::OnCancel() { Conceal(); }

void CKestruneDlg::reject() { OnCancel(); }

void CKestruneDlg::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (!exited_) OnCancel();
}

void CKestruneDlg::OnMinimize() { PostMessage(kSysCommandMessage, kScMinimize, 0); }

// ---- Exit --------------------------------------------------------------------------------

void CKestruneDlg::StopDeviceSide() {
  {
    std::lock_guard lock(waitMutex_);
    releaseWaiters_ = true;
  }
  waitCv_.notify_all();
  if (link_) link_->Shutdown();
  if (upload_) upload_->WaitForApplyWorker();
  if (bound_ && api_.End) {
    api_.End();
    bound_ = false;
  }
}

void CKestruneDlg::ExitSequence() {
  if (exited_) return;
  exited_ = true;
  SavePlacement();
  hide();
  if (aboutBox_) aboutBox_->close();
  if (parts_.cancelEditors) parts_.cancelEditors();
  CloseModalWindows();
  context_.instance.Close();
  if (tray_) tray_->Remove();
  SetApplyEnabled(false);
  for (auto& [id, timer] : timers_) timer->stop();
  StopDeviceSide();
  context_.store.InstallDefault();
  ReleaseSkin();
  shownBackground_ = QPixmap();
  done(0);
}

// ---- Apply -------------------------------------------------------------------------------

void CKestruneDlg::OnApply() { ApplyOnKeyboard(); }

bool CKestruneDlg::ApplyAndWait() {
  if (!upload_ || exited_) return !applyPending_;
  ApplyOnKeyboard();
  WaitForApply();
  return !applyPending_;
}

void CKestruneDlg::WaitForApply() {
  if (!upload_ || exited_ || !upload_->ApplyRunning()) return;
  // The upload runs on its worker while this loop keeps the window painting
  // its progress; its completion comes back through the posted tasks.
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(kApplyWaitPollMs);
  connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
    if (exited_ || !upload_ || !upload_->ApplyRunning()) loop.quit();
  });
  poll.start();
  loop.exec();
}

void CKestruneDlg::ReloadActiveProfile() {
  if (!link_ || exited_) return;
  const QString prefix = language().ShowSlot(TextSlot::MacroNewPrefix, LanguageIndex());
  LoadActiveProfile(context_.store, *files_, *readAhead_, *this, prefix.toStdU16String(), false,
                    upload_.get());
  readAhead_->Invalidate();
}

void CKestruneDlg::DropUnappliedChanges() {
  SetApplyEnabled(false);
  if (!link_ || !files_ || GetCurrentProfile(*link_) < 0) return;
  bool loaded = false;
  {
    std::lock_guard<StoreLock> lock(context_.store.Lock());
    const QString working = files_->WorkingProfilePath();
    // A working file that is gone or damaged would leave a default block in
    // place of all four profiles: then the keyboard's content is read back.
    if (files_->CheckProfileFile(working) == 1) loaded = files_->LoadProfileFile(working) == 1;
  }
  if (!loaded) {
    ReloadActiveProfile();
    return;
  }
  if (upload_) upload_->SetStandInContent(false);
  RefreshKeyButtons();
}

void CKestruneDlg::ApplyOnKeyboard() {
  if (upload_ && !exited_) upload_->ApplyConfiguration();
}

void CKestruneDlg::SetApplyEnabled(bool enabled) {
  applyPending_ = enabled;
  if (CPngButton* apply = Control(kIdApply)) apply->setEnabled(enabled);
}

void CKestruneDlg::ShowApplyProgress(bool shown) {
  if (busy_) {
    busyFrame_ = 0;
    if (!BusyFrames().empty()) busy_->setPixmap(BusyFrames().front());
    busy_->setVisible(shown);
    busy_->raise();
  }
  if (inputBlocker_) {
    inputBlocker_->setVisible(shown);
    if (shown) {
      inputBlocker_->raise();
      inputBlocker_->setFocus();
    }
  }
}

void CKestruneDlg::SetAwaitingKeyboard(bool awaiting) {
  awaitingKeyboard_ = awaiting;
  // Busy, not waiting: the window's own buttons still answer.
  if (awaiting) {
    setCursor(Qt::BusyCursor);
  } else {
    unsetCursor();
  }
}

bool CKestruneDlg::HeldWhileAwaitingKeyboard(const QObject* watched) const {
  return awaitingKeyboard_ && NeedsKeyboard(watched);
}

bool CKestruneDlg::NeedsKeyboard(const QObject* watched) const {
  if (watched == this) return false;
  const auto* widget = qobject_cast<const QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  // The window's own buttons do not depend on the keyboard's content (OK
  // applies only what an editor left pending); the keys, the macro button
  // and every part plugged in later do.
  if (widget->property(kPartControlProperty).toBool()) return true;
  const int id = widget->property("controlId").toInt();
  const auto own = controls_.find(id);
  return own == controls_.end() || own->second != widget || id == kIdMacro;
}

void CKestruneDlg::ShowUploadMessage(const char* textKey) {
  const QString key = QString::fromLatin1(textKey);
  PostTask([this, key] {
    Show(language().LoadLangText(key, LanguageIndex()), MessageKind::Information);
  });
}

void CKestruneDlg::ShowUploadMessageWith(const char* textKey, const QString& detail) {
  const QString key = QString::fromLatin1(textKey);
  PostTask([this, key, detail] {
    QString text = language().LoadLangText(key, LanguageIndex());
    text.replace(QLatin1String("%s"), detail);
    Show(text, MessageKind::Information);
  });
}

void CKestruneDlg::RunOnWindowThread(std::function<void()> task) { PostTask(std::move(task)); }

void CKestruneDlg::PostTask(std::function<void()> task) {
  {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
  }
  // One queued call per task, each running the oldest task: tasks keep their
  // order and a task that opens a modal loop lets the next ones run inside
  // it, as queued calls of their own would. The task itself passes through
  // postedMutex_, which ThreadSanitizer sees, not through Qt's event queue,
  // whose locks it cannot.
  QMetaObject::invokeMethod(this, "RunPostedTask", Qt::QueuedConnection);
}

void CKestruneDlg::RunPostedTask() {
  std::function<void()> task;
  {
    std::lock_guard lock(postedMutex_);
    if (posted_.empty()) return;
    task = std::move(posted_.front());
    posted_.pop_front();
  }
  task();
}

void CKestruneDlg::RefreshKeyButtons() {
  if (view_) view_->RefreshKeyButtons();
}

void CKestruneDlg::RefreshKeyButton(int profile, AssignmentSlot slot) {
  if (OnWindowThread()) {
    if (view_) view_->RefreshKeyButton(profile, slot);
    return;
  }
  PostTask([this, profile, slot] {
    if (view_) view_->RefreshKeyButton(profile, slot);
  });
}

// ---- Timers ------------------------------------------------------------------------------

void CKestruneDlg::StartWindowTimer(std::uint32_t timerId, std::uint32_t periodMs) {
  // The keyboard reset its memory or switched its profile by itself:
  // nothing read before may be used.
  if ((timerId == kTimerReloadAfterReset || timerId == kTimerFollowProfile) && readAhead_)
    readAhead_->Invalidate();
  if (OnWindowThread()) {
    StartTimer(timerId, periodMs);
    return;
  }
  PostTask([this, timerId, periodMs] { StartTimer(timerId, periodMs); });
}

void CKestruneDlg::StartTimer(std::uint32_t timerId, std::uint32_t periodMs) {
  if (exited_) return;
  QTimer*& timer = timers_[timerId];
  if (!timer) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timerId] { OnTimer(timerId); });
  }
  timer->start(static_cast<int>(periodMs));
}

void CKestruneDlg::StopWindowTimer(std::uint32_t timerId) {
  if (const auto it = timers_.find(timerId); it != timers_.end()) it->second->stop();
}

bool CKestruneDlg::TimerActive(std::uint32_t timerId) const {
  const auto it = timers_.find(timerId);
  return it != timers_.end() && it->second->isActive();
}

void CKestruneDlg::OnTimer(std::uint32_t timerId) {
  for (const TimerEntry& entry : kTimerTable) {
    if (entry.id == timerId) {
      (this->*entry.handler)();
      return;
    }
  }
}

void CKestruneDlg::OnBusyTimer() {
  busyFrame_ = (busyFrame_ + 1) % kBusyFrameCount;
  if (busy_ && busyFrame_ < static_cast<int>(BusyFrames().size()))
    busy_->setPixmap(BusyFrames()[static_cast<std::size_t>(busyFrame_)]);
}

// While another thread's command sequence (an upload, a connection's reads)
// holds the keyboard, the timer comes back shortly instead of having the
// window's thread wait for the sequence to end.
bool CKestruneDlg::RetryWhileKeyboardBusy(std::uint32_t timerId) {
  if (!link_ || !link_->SequenceHeldElsewhere()) return false;
  StartTimer(timerId, kKeyboardBusyRetryMs);
  return true;
}

void CKestruneDlg::OnFollowProfileTimer() {
  StopWindowTimer(kTimerFollowProfile);
  if (RetryWhileKeyboardBusy(kTimerFollowProfile)) return;
  if (parts_.followKeyboardProfile) {
    parts_.followKeyboardProfile();
    return;
  }
  // Without the profile bar the keyboard view alone follows the keyboard.
  if (!link_) return;
  const std::uint64_t epoch = link_->CurrentProfileEpoch();
  SettingsBlock settings{};
  if (ReadSettings(*link_, settings) != kDeviceOk) return;
  const int profile = settings[kSettingsCurrentProfile];
  if (profile < 0 || profile >= kProfileCount) return;
  if (profile != link_->CachedCurrentProfile()) {
    link_->CacheCurrentProfileRead(profile, epoch);
    RefreshKeyButtons();
  }
}

void CKestruneDlg::OnFactoryResetTimer() {
  StopWindowTimer(kTimerReloadAfterReset);
  if (RetryWhileKeyboardBusy(kTimerReloadAfterReset)) return;
  if (!link_) return;
  const QString prefix = language().ShowSlot(TextSlot::MacroNewPrefix, LanguageIndex());
  // The user reset the keyboard on purpose: nothing is owed to it any more.
  owedUpload_->Clear();
  LoadActiveProfile(context_.store, *files_, *readAhead_, *this, prefix.toStdU16String(), false,
                    upload_.get());
  if (parts_.updateProfileBar) parts_.updateProfileBar();
  if (parts_.resetAllLighting) parts_.resetAllLighting();
}

// ---- DeviceHost --------------------------------------------------------------------------

std::intptr_t CKestruneDlg::SendToWindow(std::uint32_t message, std::uintptr_t wParam,
                                         std::intptr_t lParam) {
  // The worker's notice that the keyboard connected: the window's handler
  // ignores it (it shows only on 'OPEN'), so the worker need not wait for
  // the window's thread, which may still be in its initialisation. Until
  // the connection's UM_PROFILE the controls that act on the keyboard's
  // content hold still.
  if (message == UM_OPEN && wParam == kVersionWParam) {
    PostTask([this] {
      ShowNoKeyboardState(false);
      SetAwaitingKeyboard(true);
    });
    return 0;
  }
  if (readAhead_ && !OnWindowThread()) {
    // The rebuild's reads run here, on the worker, while the window's thread
    // is free; the handler then takes them instead of waiting for them.
    if (message == UM_PROFILE && wParam == kProfileWParam) readAhead_->ReadAhead();
    if (message == UM_DEVICE_GONE) readAhead_->Invalidate();
  }
  return SendMessage(message, wParam, lParam);
}

void CKestruneDlg::PostToWindow(std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
  if (message == UM_OPEN && wParam == kOpenWParam) {
    // The link's first-connection show: once per run, and never after
    // "/Start" or a start without the keyboard.
    PostTask([this, message, wParam, lParam] {
      if (context_.state.autoShowDone) return;
      context_.state.autoShowDone = true;
      DispatchPosted(message, wParam, lParam);
    });
    return;
  }
  PostMessage(message, wParam, lParam);
}

void CKestruneDlg::ShowConnectionIcon(bool connected) {
  RunAndWait([this, connected] {
    context_.state.devicePresent.store(connected);
    ClosePrompts(connected ? PromptReason::NoKeyboard : PromptReason::KeyboardUnread);
    if (trayPictures_) trayPictures_->ShowConnectionIcon(connected);
    return std::intptr_t{0};
  });
}

void CKestruneDlg::ShowActivityIcon(bool on) {
  RunAndWait([this, on] {
    if (trayPictures_) trayPictures_->ShowActivityIcon(on);
    return std::intptr_t{0};
  });
}

void CKestruneDlg::ShowTextPrompt(const char* textKey) {
  const QString key = QString::fromLatin1(textKey);
  const PromptReason reason = key == QLatin1String(kDefaultPromptTextKey)
                                  ? PromptReason::KeyboardUnread
                                  : PromptReason::Other;
  // The connection worker goes on at once: presence changes keep being
  // handled while the user reads the prompt.
  PostTask(
      [this, key, reason] { ShowPrompt(language().LoadLangText(key, LanguageIndex()), reason); });
}

void CKestruneDlg::HideWindow() {
  RunAndWait([this] {
    // Without a notification area the window stays, showing that the
    // keyboard went (TellKeyboardGone).
    if (NotificationArea()) Conceal();
    return std::intptr_t{0};
  });
}

// ---- Message boxes -----------------------------------------------------------------------

bool CKestruneDlg::Show(const QString& text, MessageKind kind) {
  if (!OnWindowThread()) {
    return RunAndWait([this, text, kind] { return std::intptr_t{Show(text, kind) ? 1 : 0}; }) != 0;
  }
  if (exited_) return false;
  if (seams_.messageBox) return seams_.messageBox(text, kind);
  QMessageBox box(kind == MessageKind::Question ? QMessageBox::Question : QMessageBox::Information,
                  QString::fromLatin1(kAppTitle), text, QMessageBox::NoButton, this);
  if (kind == MessageKind::Question) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  UseAppStyleSheet(box);
  return box.exec() == QMessageBox::Yes;
}

void CKestruneDlg::ShowPrompt(const QString& text, PromptReason reason) {
  if (exited_) return;
  std::erase_if(prompts_, [](const OpenPrompt& open) { return open.box.isNull(); });
  for (const OpenPrompt& open : prompts_) {
    if (open.text == text) {
      open.box->raise();
      return;
    }
  }
  if (seams_.messageBox) {
    seams_.messageBox(text, MessageKind::Information);
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Information, QString::fromLatin1(kAppTitle), text,
                              QMessageBox::Ok, this);
  box->setWindowFlag(Qt::WindowStaysOnTopHint);
  UseAppStyleSheet(*box);
  connect(box, &QDialog::finished, box, &QObject::deleteLater);
  prompts_.push_back({box, text, reason});
  box->open();
}

int CKestruneDlg::OpenPrompts() const {
  return static_cast<int>(std::count_if(
      prompts_.begin(), prompts_.end(),
      [](const OpenPrompt& open) { return !open.box.isNull() && open.box->isVisible(); }));
}

void CKestruneDlg::ClosePrompts(PromptReason reason) {
  for (const OpenPrompt& open : prompts_) {
    if (open.reason == reason && open.box) open.box->reject();
  }
}

void CKestruneDlg::CloseModalWindows() {
  for (const OpenPrompt& open : prompts_) {
    if (open.box) open.box->reject();
  }
  prompts_.clear();
  // A menu's loop ends when the menu closes; a nested submenu closes first.
  constexpr int kMaxOpenMenus = 16;
  for (int n = 0; n < kMaxOpenMenus; ++n) {
    QWidget* popup = QApplication::activePopupWidget();
    if (popup == nullptr) break;
    popup->close();
  }
  // Message boxes, file dialogs and editors shown with exec(): each loop
  // returns as its dialog is rejected.
  std::vector<QPointer<QDialog>> dialogs;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog != nullptr && dialog != this && dialog->isVisible()) dialogs.emplace_back(dialog);
  }
  for (const QPointer<QDialog>& dialog : dialogs) {
    if (dialog) dialog->reject();
  }
}

// ---- Links, help, menus, about -------------------------------------------------------------

void CKestruneDlg::OpenUrl(const QUrl& url) {
  // Opening a page never reports an error.
  if (seams_.openUrl) {
    seams_.openUrl(url);
  } else {
    QDesktopServices::openUrl(url);
  }
}

void CKestruneDlg::OnLink() { OpenUrl(QUrl(linkAddress_)); }
void CKestruneDlg::OnNetwork() { OpenUrl(QUrl(QString::fromLatin1(kNetworkPage))); }
void CKestruneDlg::OnFacebook() { OpenUrl(QUrl(QString::fromLatin1(kFacebookPage))); }
void CKestruneDlg::OnTwitter() { OpenUrl(QUrl(QString::fromLatin1(kTwitterPage))); }

void CKestruneDlg::OnHelp() { OpenUrl(QUrl::fromLocalFile(HelpPageFile(context_.paths))); }

void CKestruneDlg::OnMacroButton() {
  if (!parts_.openKeyAssignment || !link_) return;
  const GKeyBank bank = link_->GKeyBank() == 1 ? GKeyBank::B : GKeyBank::A;
  parts_.openKeyAssignment(GKeySlot(bank, 8), true, kIdMacro);
}

void CKestruneDlg::OnMenuButton() {
  const int command = seams_.trackButtonMenu
                          ? seams_.trackButtonMenu()
                          : TrackButtonMenu(this, context_.language, QCursor::pos());
  if (command != 0) OnCommand(command);
}

void CKestruneDlg::OnAbout() {
  if (aboutBox_) return;
  aboutBox_ = new CAboutDlg(
      context_.language, linkAddress_, [this](const QUrl& url) { OpenUrl(url); }, this);
  aboutBox_->OnInitDialog();
}

void CKestruneDlg::contextMenuEvent(QContextMenuEvent* event) {
  // The frameless window's system menu: the about entry.
  QMenu menu(this);
  UseAppStyleSheet(menu);
  QAction* about = menu.addAction(QString::fromLatin1(kAboutMenuText));
  if (menu.exec(event->globalPos()) == about) SendMessage(kSysCommandMessage, kSysAboutCommand, 0);
}

void CKestruneDlg::OnReloadTexts() {
  WriteProfileString(language().SkinLanguageFilePath(), QStringLiteral("language"),
                     QStringLiteral("language"), QStringLiteral("0"));
  language().ReloadSkinTexts();
  SetSkinTooltips();
  if (parts_.languageChanged) parts_.languageChanged(LanguageIndex());
  if (tray_) tray_->SetTooltipText(language().SlotText(TextSlot::KeyboardTrayDesc));
  update();
}

// ---- Import and export ---------------------------------------------------------------------

void CKestruneDlg::OnImport() {
  QString path;
  if (seams_.chooseFile) {
    path = seams_.chooseFile(false);
  } else {
    path = ChooseOpenFile(this, QString(), ProfileFileFilter(language()));
  }
  if (path.isEmpty() || !upload_ || exited_) return;
  upload_->ImportConfiguration(path);
}

void CKestruneDlg::OnExport() {
  QString path;
  if (seams_.chooseFile) {
    path = seams_.chooseFile(true);
  } else {
    const QString filters = ProfileFileFilter(language());
    QString filter;
    path = ChooseSaveFile(this, QString(), filters, QString(), &filter);
    if (!path.isEmpty() && filter == filters.section(QStringLiteral(";;"), 0, 0) &&
        QFileInfo(path).suffix().isEmpty())
      path += QStringLiteral(".") + QLatin1String(kExchangeFileExtension);
  }
  if (path.isEmpty() || !files_) return;
  std::lock_guard lock(context_.store.Lock());
  files_->ExportProfileFile(path);
}

// ---- Keys ----------------------------------------------------------------------------------

bool CKestruneDlg::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      if (HeldWhileAwaitingKeyboard(watched)) return true;
      break;
    default:
      break;
  }
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (IsEnterOrEscape(key->key())) return true;
    // Space clicks from the keyboard: held where a click would be.
    if (key->key() == Qt::Key_Space && HeldWhileAwaitingKeyboard(watched)) return true;
    if (key->key() == Qt::Key_F1 && event->type() == QEvent::KeyPress) {
      OnHelp();
      return true;
    }
  }
  return CBaseDialog::eventFilter(watched, event);
}

void CKestruneDlg::keyPressEvent(QKeyEvent* event) {
  if (IsEnterOrEscape(event->key())) {
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_F1) {
    OnHelp();
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Space && (event->modifiers() & Qt::AltModifier)) {
    // Alt+Space opens the system menu from the keyboard.
    QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(0, 0),
                                mapToGlobal(QPoint(0, 0)));
    contextMenuEvent(&menuEvent);
    event->accept();
    return;
  }
  CBaseDialog::keyPressEvent(event);
}

void CKestruneDlg::keyReleaseEvent(QKeyEvent* event) {
  if (IsEnterOrEscape(event->key())) {
    event->accept();
    return;
  }
  CBaseDialog::keyReleaseEvent(event);
}

}  // namespace kst
