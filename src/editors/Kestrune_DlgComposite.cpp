#include "editors/Kestrune_DlgComposite.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStandardPaths>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <span>

#include "editors/KeyEditorHost.h"
#include "editors/KeyboardHook.h"
#include "editors/MacroPage.h"
#include "foundation/Language.h"
#include "foundation/SkinLayout.h"
#include "mainwindow/KeyCaptions.h"
#include "platform/FileStamp.h"
#include "skin/AppStyle.h"
#include "skin/CPngButton.h"
#include "skin/DialogLooks.h"
#include "skin/SkinLayoutOps.h"
#include "skin/SkinPictures.h"
#include "store/AssignmentStore.h"
#include "store/MediaKeys.h"

namespace kst {

namespace {

// Control ids of the dialog.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdHiddenButton = 1008;
constexpr int kIdApply = 1015;
constexpr int kIdPageKey = 1028;
constexpr int kIdPageMacro = 1029;
constexpr int kIdPageMedia = 1030;
constexpr int kIdPageFunction = 1031;
constexpr int kIdClear = 1032;
constexpr int kIdPagePicture = 1033;
constexpr int kIdRecordDelay = 1027;
constexpr int kIdCaptureEdit = 1127;
constexpr int kIdMediaList = 1128;
constexpr int kIdFunctionList = 1129;
constexpr int kIdTitle = 1131;
constexpr int kIdOsk = 1132;
constexpr int kIdKeyboardLabel = 1134;
constexpr int kIdMouseLabel = 1135;
constexpr int kIdKeyboardSource = 1185;
constexpr int kIdMouseSource = 1186;
constexpr int kIdMouseList = 1187;
constexpr int kIdMacroList = 1126;
constexpr int kIdHeading = 1199;
constexpr int kIdMacroListLabel = 1200;
constexpr int kIdSinglePrompt = 1201;
constexpr int kIdMediaPrompt = 1202;
constexpr int kIdFunctionPrompt = 1203;

constexpr KeyIndex kPrintScreen = 0x137;

// Mouse buttons of the single-key page (1187), by list position.
struct MouseButton {
  const char* text;
  KeyIndex key;
};
constexpr MouseButton kMouseButtons[] = {{"Left Button", 0x171},
                                         {"Right Button", 0x172},
                                         {"Middle Button", 0x173},
                                         {"Roll Up", 0x161},
                                         {"Roll Down", 0x162}};
constexpr int kMouseButtonCount = static_cast<int>(std::size(kMouseButtons));

// Position of a mouse button key in the list; -1 for another key.
int MousePosition(KeyIndex key) {
  for (int i = 0; i < kMouseButtonCount; ++i)
    if (kMouseButtons[i].key == key) return i;
  return -1;
}

// Windows keys and the Application key as the low-level hook saw them.
constexpr struct {
  std::uint32_t vk;
  KeyIndex key;
} kLowLevelKeys[] = {{0x5B, 0x15B}, {0x5C, 0x15C}, {0x5D, 0x15D}};

// Picture sets by role, in EditorLooks order.
enum SetIndex { kSetKey, kSetMacro, kSetMacro2, kSetMedia, kSetFunction, kSetCount };
constexpr const EditorPictureFiles* kSetFiles[kSetCount] = {
    &kKeyPictureFiles, &kMacroPictureFiles, &kMacro2PictureFiles, &kMediaPictureFiles,
    &kFunctionPictureFiles};

// A control of the dialog and its key in the skin layout file.
struct PlacedControl {
  int id;
  const char* skinKey;
};
constexpr PlacedControl kImageButtons[] = {
    {kIdPageKey, "CONTROL_KEY"},     {kIdPageMacro, "CONTROL_MACRO"},
    {kIdPageMedia, "CONTROL_MEDIA"}, {kIdPageFunction, "CONTROL_FUNCTION"},
    {kIdClear, "CONTROL_CLEAR"},     {kIdPagePicture, "CONTROL_MASK"},
    {kIdTitle, "CONTROL_TITLE"},     {kIdOsk, "CONTROL_OSK"},
    {kIdOk, "CONTROL_OK"},           {kIdCancel, "CONTROL_CANCEL"},
};

// The other controls placed from the skin.
constexpr PlacedControl kPlacedControls[] = {
    {kIdCaptureEdit, "FUNC_KEY_INPUT"},
    {kIdKeyboardSource, "FUNC_KEY_RADIO_KB"},
    {kIdMouseSource, "FUNC_KEY_RADIO_MOU"},
    {kIdKeyboardLabel, "FUNC_KEY_RADIO_KB_STATIC"},
    {kIdMouseLabel, "FUNC_KEY_RADIO_MOU_STATIC"},
    {kIdMouseList, "FUNC_KEY_MOUSE_SELECT"},
    {kIdMediaList, "FUNC_MEDIA_SELECT"},
    {kIdFunctionList, "FUNC_FUNCTION_SELECT"},
    {kIdHeading, "KEY_SETTING"},
    {kIdSinglePrompt, "TISHI_SINGLE_STATIC"},
    {kIdMediaPrompt, "MEDIA_SETTING_TISHI"},
    {kIdFunctionPrompt, "FUNCTION_KEY_SETTING_TISHI"},
};

// Controls shown only on one page.
constexpr int kSinglePageControls[] = {kIdSinglePrompt, kIdCaptureEdit, kIdKeyboardLabel,
                                       kIdMouseLabel,   kIdMouseList,   kIdKeyboardSource,
                                       kIdMouseSource};
constexpr int kMediaPageControls[] = {kIdMediaPrompt, kIdMediaList};
constexpr int kFunctionPageControls[] = {kIdFunctionPrompt, kIdFunctionList};
// Prompts hidden in macro-only mode.
constexpr int kPagePrompts[] = {kIdSinglePrompt, kIdMediaPrompt, kIdFunctionPrompt};
// Page buttons and Clear, disabled in macro-only mode.
constexpr int kMacroOnlyDisabled[] = {kIdPageKey, kIdPageMedia, kIdPageFunction, kIdClear};
// Buttons that show the macro2 set in macro-only mode.
constexpr int kMacroOnlyPictures[] = {kIdPageKey, kIdPageMedia, kIdPageFunction, kIdTitle,
                                      kIdClear};

constexpr const char* kOskBuiltInTooltip = "Open the on-screen keyboard";
constexpr const char* kNoOskTooltip = "No on-screen keyboard is installed";

constexpr const char* kCaptureFace = "Verdana";
constexpr int kCaptureFontSize = 18;
constexpr const char* kMediaFace = "Arial Unicode MS";
constexpr int kMediaFontSize = 12;
constexpr const char* kFunctionFace = "Verdana";
constexpr int kFunctionFontSize = 12;
constexpr const char* kStaticFace = "Arial Unicode MS";
constexpr double kStaticFontSize = 10.8;

QFont MakeFont(const char* face, double points) {
  QFont font(QString::fromLatin1(face));
  // A face the system lacks falls back to a similar one rather than to the
  // toolkit's default of another kind.
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setWeight(QFont::Normal);
  return font;
}

// The desktop's on-screen keyboards, the most common first.
constexpr const char* kOnScreenKeyboards[] = {"onboard", "florence", "matchbox-keyboard",
                                              "kvkbd",   "xvkbd",    "wvkbd-mobintl"};

QRect DefaultScreenAt(QPoint point) {
  QScreen* screen = QGuiApplication::screenAt(point);
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

// Whether the process still runs the program (its executable's file name).
bool ProcessRuns(qint64 pid, const QString& program) {
  if (pid <= 0) return false;
  const QFileInfo exe(QStringLiteral("/proc/%1/exe").arg(pid));
  if (!exe.exists()) return false;
  const QString target = exe.symLinkTarget();
  // Scripts run under their interpreter; their command line names them.
  if (QFileInfo(target).fileName() == QFileInfo(program).fileName()) return true;
  QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
  if (!cmdline.open(QIODevice::ReadOnly)) return false;
  return cmdline.read(4096).contains(QFileInfo(program).fileName().toLocal8Bit());
}

}  // namespace

QPoint PlaceKeyDialog(const QRect& button, QSize dialog, const QRect& screen, bool centred) {
  const int width = dialog.width();
  const int height = dialog.height();
  if (centred)
    return {screen.x() + (screen.width() - width) / 2, screen.y() + (screen.height() - height) / 2};
  // Edges as a Windows rectangle gives them: right and bottom exclusive.
  const int left = button.x();
  const int top = button.y();
  const int right = button.x() + button.width();
  const int bottom = button.y() + button.height();
  const int screenRight = screen.x() + screen.width();
  const int screenBottom = screen.y() + screen.height();
  const bool roomRight = screenRight - right >= width;
  const bool roomBelow = screenBottom - bottom >= height;
  const bool roomLeft = left - screen.x() >= width;
  const bool roomAbove = top - screen.y() >= height;
  if (roomRight && roomBelow) return {right, bottom};
  if (roomRight && roomAbove) return {right, top - height};
  if (roomLeft && roomBelow) return {left - width, bottom};
  if (roomLeft && roomAbove) return {left - width, top - height};
  return {right, bottom};
}

QString FindOnScreenKeyboard() {
  for (const char* name : kOnScreenKeyboards) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (!path.isEmpty()) return path;
  }
  return {};
}

namespace {

// FindOnScreenKeyboard, looked up again only when PATH or one of its folders
// changed (installing or removing a program changes its folder): a search
// looks at every name in every folder, a watched folder costs nothing.
class OnScreenKeyboardCache {
 public:
  QString Find() {
    const QByteArray path = qgetenv("PATH");
    if (!valid_ || path != path_) {
      program_ = FindOnScreenKeyboard();
      path_ = path;
      valid_ = true;
      Watch(path);
    }
    return program_;
  }

 private:
  void Watch(const QByteArray& path) {
    watcher_ = std::make_unique<QFileSystemWatcher>();
    QStringList dirs;
    for (const QByteArray& dir : path.split(':'))
      if (!dir.isEmpty() && QFileInfo(QString::fromLocal8Bit(dir)).isDir())
        dirs << QString::fromLocal8Bit(dir);
    if (!dirs.isEmpty()) watcher_->addPaths(dirs);
    QObject::connect(watcher_.get(), &QFileSystemWatcher::directoryChanged, watcher_.get(),
                     [this] { valid_ = false; });
  }

  bool valid_ = false;
  QByteArray path_;
  QString program_;
  std::unique_ptr<QFileSystemWatcher> watcher_;
};

}  // namespace

struct Kestrune_DlgComposite::Impl {
  Impl(KeyEditorHost& h, AssignmentStore& s, Language& l, AppProfile& a, const AppPaths& p)
      : host(h), store(s), language(l), appProfile(a), paths(p) {}

  KeyEditorHost& host;
  AssignmentStore& store;
  Language& language;
  AppProfile& appProfile;
  AppPaths paths;
  Seams seams;
  KeyboardHook hook;
  std::unique_ptr<MacroPage> macros;

  std::map<int, QWidget*> controls;
  std::map<int, CPngButton*> buttons;
  QLineEdit* captureEdit = nullptr;
  QCheckBox* keyboardSource = nullptr;
  QCheckBox* mouseSource = nullptr;
  QComboBox* mouseList = nullptr;
  QComboBox* mediaList = nullptr;
  QComboBox* functionList = nullptr;
  QPushButton* apply = nullptr;
  // Controls the skin does not show (placed at 1,1).
  std::set<int> skinHidden;

  // Made at each opening, given up at the closing (looks).
  std::array<EditorPictureSet, kSetCount> sets;
  bool picturesMade = false;
  DialogLooks looks;
  bool fontsMade = false;
  bool laidOut = false;
  // The texts of the lists and the captions, made again only when the
  // language, its files or the mode changed: each text is a file lookup.
  struct TextsKey {
    int index = -1;
    std::optional<FileStamp> languageFile;
    std::optional<FileStamp> skinLanguageFile;
    bool macroOnly = false;
    friend bool operator==(const TextsKey&, const TextsKey&) = default;
  };
  TextsKey listsKey;
  TextsKey captionsKey;
  QStringList mediaNames;
  QStringList functionTexts;
  // The media and function lists hold mediaNames and functionTexts (only
  // FillLists changes their entries).
  bool listsFilled = false;

  // The files' state as the opening found it, so that the lists and the
  // captions of one opening look at the files once.
  std::optional<TextsKey> openingTexts;

  TextsKey CurrentTextsKey(int index, bool macroOnly) const {
    if (openingTexts && openingTexts->index == index) {
      TextsKey key = *openingTexts;
      key.macroOnly = macroOnly;
      return key;
    }
    return {index, StatFile(language.LanguageFilePath(index)),
            StatFile(language.SkinLanguageFilePath()), macroOnly};
  }
  QFont captureFont, mediaFont, functionFont, staticFont;

  QString oskProgram;
  OnScreenKeyboardCache oskCache;
  qint64 oskPid = 0;
  bool macroOnlyLooks = false;  // the macro-only pictures are on the buttons
  // Set while the dialog ends its own modal loop; reject() from anything
  // else (Escape, the window's close) is ignored.
  bool closing = false;
  // The control that takes the focus when the opening window shows.
  QPointer<QWidget> openingFocus;

  int LanguageIndex() const { return ClampLanguageIndex(language.GetLanguageIndex()); }
  QRect ScreenAt(QPoint point) const {
    return seams.screenAt ? seams.screenAt(point) : DefaultScreenAt(point);
  }
};

Kestrune_DlgComposite::Kestrune_DlgComposite(KeyEditorHost& host, AssignmentStore& store,
                                             Language& language, AppProfile& appProfile,
                                             const AppPaths& paths, QWidget* parent)
    : CBaseDialog(kCompositeDialogTemplate, parent, CompositeSkinFile(paths), SkinFolder(paths)),
      impl_(std::make_unique<Impl>(host, store, language, appProfile, paths)) {
  Impl& d = *impl_;
  UseAppStyleSheet(*this);
  auto command = [this](int id) { return [this, id] { OnCommand(id); }; };
  // Modal to the main window only: the tray icon's menu (Exit above all)
  // stays usable while the dialog is open, as the window's other ways out do.
  setWindowModality(Qt::WindowModal);

  for (const PlacedControl& info : kImageButtons) {
    auto* button = new CPngButton(this);
    button->setObjectName(QString::fromLatin1(info.skinKey));
    button->setProperty("controlId", info.id);
    if (info.id != kIdPagePicture && info.id != kIdTitle)
      connect(button, &CPngButton::clicked, this, command(info.id));
    else
      button->setFocusPolicy(Qt::NoFocus);
    d.buttons[info.id] = button;
    d.controls[info.id] = button;
  }

  d.captureEdit = new QLineEdit(this);
  d.captureEdit->setReadOnly(true);
  d.captureEdit->setFocusPolicy(Qt::NoFocus);
  d.controls[kIdCaptureEdit] = d.captureEdit;

  const QColor text = ColorFromColorRef(kEditorTextColour);
  auto transparentText = [&](QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(false);
  };
  for (int id : {kIdKeyboardSource, kIdMouseSource}) {
    auto* box = new QCheckBox(this);
    // Tab only: a click leaves the focus where it was.
    box->setFocusPolicy(Qt::TabFocus);
    transparentText(box);
    connect(box, &QCheckBox::clicked, this, command(id));
    d.controls[id] = box;
  }
  d.keyboardSource = static_cast<QCheckBox*>(d.controls[kIdKeyboardSource]);
  d.mouseSource = static_cast<QCheckBox*>(d.controls[kIdMouseSource]);
  for (int id : {kIdKeyboardLabel, kIdMouseLabel, kIdHeading, kIdSinglePrompt, kIdMediaPrompt,
                 kIdFunctionPrompt}) {
    auto* label = new QLabel(this);
    transparentText(label);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (id >= kIdHeading) label->setWordWrap(true);
    d.controls[id] = label;
  }
  for (int id : {kIdMouseList, kIdMediaList, kIdFunctionList}) {
    auto* list = new QComboBox(this);
    list->setFocusPolicy(Qt::TabFocus);
    connect(list, &QComboBox::activated, this, [this] { SetModified(true); });
    d.controls[id] = list;
  }
  d.mouseList = static_cast<QComboBox*>(d.controls[kIdMouseList]);
  for (const MouseButton& button : kMouseButtons)
    d.mouseList->addItem(QString::fromLatin1(button.text));
  d.mediaList = static_cast<QComboBox*>(d.controls[kIdMediaList]);
  d.functionList = static_cast<QComboBox*>(d.controls[kIdFunctionList]);

  // Apply has no place in the skin: OK applies. It keeps the modified state.
  d.apply = new QPushButton(this);
  d.apply->setAutoDefault(false);
  d.apply->hide();
  connect(d.apply, &QPushButton::clicked, this, command(kIdApply));
  d.controls[kIdApply] = d.apply;
  auto* hidden = new QPushButton(this);
  hidden->setAutoDefault(false);
  hidden->hide();
  d.controls[kIdHiddenButton] = hidden;

  for (const PlacedControl& info : kPlacedControls)
    d.controls[info.id]->setObjectName(QString::fromLatin1(info.skinKey));
  for (auto& [id, control] : d.controls) {
    control->setProperty("controlId", id);
    if (control->objectName().isEmpty()) control->setObjectName(QString::number(id));
    if (id != kIdApply && id != kIdHiddenButton) control->hide();
  }

  d.macros = std::make_unique<MacroPage>(
      *this,
      MacroPage::Context{store, language, appProfile, host, d.hook, [this] { SetModified(true); }});
}

Kestrune_DlgComposite::~Kestrune_DlgComposite() { impl_->hook.Remove(); }

void Kestrune_DlgComposite::SetSeams(Seams seams) { impl_->seams = std::move(seams); }

QWidget* Kestrune_DlgComposite::Control(int controlId) const {
  if (const auto it = impl_->controls.find(controlId); it != impl_->controls.end())
    return it->second;
  return impl_->macros->Control(controlId);
}

MacroPage& Kestrune_DlgComposite::Macros() { return *impl_->macros; }
KeyboardHook& Kestrune_DlgComposite::Hook() { return impl_->hook; }

int Kestrune_DlgComposite::Open(AssignmentSlot slot, int buttonId) {
  editedSlot_ = slot;
  buttonId_ = buttonId;
  macroOnly_ = buttonId == kMacroOnlyControlId;
  return exec();
}

int Kestrune_DlgComposite::CloseIfOpen() {
  if (IsOpen()) CloseDialog(QDialog::Rejected);
  return 1;
}

namespace {

QStringList EditorPictureFileNames() {
  QStringList files;
  for (const EditorPictureFiles* set : kSetFiles)
    for (const char* file : {set->normal, set->over, set->down, set->disabled})
      if (!files.contains(QString::fromLatin1(file))) files << QString::fromLatin1(file);
  return files;
}

}  // namespace

void Kestrune_DlgComposite::MakePictures() {
  Impl& d = *impl_;
  if (d.picturesMade) return;
  // Decoded side by side; a file that cannot be loaded ends the process.
  Pictures().Prefetch(EditorPictureFileNames());
  for (int i = 0; i < kSetCount; ++i) {
    const EditorPictureFiles& names = *kSetFiles[i];
    auto load = [this](const char* file) { return Pictures().Required(QString::fromLatin1(file)); };
    d.sets[i] = {load(names.normal), load(names.over), load(names.down), load(names.disabled)};
  }
  d.picturesMade = true;
  d.looks.TakeBack(*this, Pictures());
}

void Kestrune_DlgComposite::ReleasePictures() {
  Impl& d = *impl_;
  if (!d.picturesMade) return;
  d.looks.Release(*this, Pictures(), EditorPictureFileNames());
  d.sets = {};
  d.picturesMade = false;
  ReleaseSkin();
  ReturnFreedMemory();
}

void Kestrune_DlgComposite::MakeFonts() {
  Impl& d = *impl_;
  if (d.fontsMade) return;
  d.captureFont = MakeFont(kCaptureFace, kCaptureFontSize);
  d.mediaFont = MakeFont(kMediaFace, kMediaFontSize);
  d.functionFont = MakeFont(kFunctionFace, kFunctionFontSize);
  d.staticFont = MakeFont(kStaticFace, kStaticFontSize);
  d.fontsMade = true;
  // The controls keep their fonts from one opening to the next: a font set
  // again costs a pass over the widget and its children.
  d.captureEdit->setFont(d.captureFont);
  d.mediaList->setFont(d.mediaFont);
  d.functionList->setFont(d.functionFont);
  if (QWidget* macroList = d.macros->Control(kIdMacroList)) macroList->setFont(d.functionFont);
  for (int id : {kIdHeading, kIdMacroListLabel, kIdSinglePrompt, kIdMediaPrompt, kIdFunctionPrompt})
    if (QWidget* label = Control(id)) label->setFont(d.staticFont);
}

void Kestrune_DlgComposite::LayoutControls() {
  Impl& d = *impl_;
  const EditorPictureSet& key = d.sets[kSetKey];
  if (!d.laidOut) {
    const QString file = SkinFileName();
    const QString section = QString::fromLatin1(kButtonInfoSection);
    for (const PlacedControl& info : kImageButtons) {
      CPngButton& button = *d.buttons[info.id];
      const SkinRect rect =
          LayoutImageButton(button, file, section, QString::fromLatin1(info.skinKey), key.normal,
                            key.over, key.down, key.disabled, key.down);
      if (rect.MarksHidden())
        d.skinHidden.insert(info.id);
      else
        button.show();
    }
    for (const PlacedControl& info : kPlacedControls) {
      QWidget& control = *d.controls[info.id];
      const SkinRect rect =
          LayoutControl(control, file, section, QString::fromLatin1(info.skinKey));
      if (rect.MarksHidden()) {
        d.skinHidden.insert(info.id);
        control.setEnabled(false);
        control.hide();
      }
    }
    if (!d.skinHidden.count(kIdHeading)) d.controls[kIdHeading]->show();
    d.macros->Layout(file, d.sets[kSetMacro]);
    SetFocusOrder();
    d.laidOut = true;
  }
  // What the last opening may have changed: macro-only looks. Whether a
  // button is on is set once per opening by the initialisation (switching
  // one off and on again would repaint it twice).
  for (const PlacedControl& info : kImageButtons) {
    CPngButton& button = *d.buttons[info.id];
    if (d.skinHidden.count(info.id)) continue;
    button.SetSelected(false, false);
    if (d.macroOnlyLooks && std::find(std::begin(kMacroOnlyPictures), std::end(kMacroOnlyPictures),
                                      info.id) != std::end(kMacroOnlyPictures))
      SetEditorPictures(button, key);
  }
  d.macroOnlyLooks = false;
}

namespace {

// Replaces the list's entries when they differ from `texts`.
void SetListTexts(QComboBox& list, const QStringList& texts) {
  bool same = list.count() == texts.size();
  for (int i = 0; same && i < texts.size(); ++i) same = list.itemText(i) == texts[i];
  if (same) return;
  list.clear();
  list.addItems(texts);
}

}  // namespace

void Kestrune_DlgComposite::FillLists() {
  Impl& d = *impl_;
  const int index = d.openingTexts ? d.openingTexts->index : d.LanguageIndex();
  if (const Impl::TextsKey key = d.CurrentTextsKey(index, false);
      d.mediaNames.isEmpty() || !(key == d.listsKey)) {
    d.mediaNames.clear();
    for (KeyIndex media : kMediaKeyList) d.mediaNames << KeyNameFromKeyIndex(media, d.language);
    d.functionTexts.clear();
    for (int i = 0; i < kFunctionKeyCount; ++i)
      d.functionTexts << d.language.ShowSlot(FunctionKeyTextSlot(i), index);
    d.listsKey = key;
    d.listsFilled = false;
  }
  if (!d.listsFilled) {
    SetListTexts(*d.mediaList, d.mediaNames);
    SetListTexts(*d.functionList, d.functionTexts);
    d.listsFilled = true;
  }
  d.mediaList->setCurrentIndex(0);
  d.functionList->setCurrentIndex(0);
  d.mouseList->setCurrentIndex(0);
}

bool Kestrune_DlgComposite::OnInitDialog() {
  Impl& d = *impl_;
  // The skin (background, mask, the window's shape) and the picture sets
  // live while the dialog is open; each opening applies the skin again.
  if (Background().isNull()) CBaseDialog::OnInitDialog();
  ++openCount_;
  d.closing = false;
  d.host.ShowKeyEditing(buttonId_, true);

  MakePictures();
  LayoutControls();
  d.macros->ReadRecordDelayWhenNeeded();

  MakeFonts();
  const int index = d.LanguageIndex();
  d.openingTexts = d.CurrentTextsKey(index, false);
  FillLists();

  d.macros->LoadWorkingCopiesWhenNeeded();
  SetModified(false);
  firstMacroVisit_ = true;

  const int profile = d.host.CurrentProfile();
  KeyAssignment entry;
  {
    std::lock_guard lock(d.store.Lock());
    entry = d.store.GetAssignment(profile, editedSlot_);
  }
  page_ = entry.kind;
  storedParam_ = entry.param;

  for (int id : kMacroOnlyDisabled) d.buttons[id]->setEnabled(!macroOnly_);
  if (macroOnly_) {
    page_ = kPageMacro;
    for (int id : kMacroOnlyPictures) SetEditorPictures(*d.buttons[id], d.sets[kSetMacro2]);
    d.macroOnlyLooks = true;
  }

  for (int id : {kIdKeyboardSource, kIdMouseSource})
    static_cast<QCheckBox*>(d.controls[id])->setText(QString());
  if (auto* recordDelay = qobject_cast<QAbstractButton*>(d.macros->Control(kIdRecordDelay)))
    recordDelay->setText(QString());
  capturedKey_ = 0;
  d.captureEdit->clear();
  ShowPage(true);
  SetModified(false);
  // Every opening starts on the button of the page shown, whatever had the
  // focus when the dialog last closed (macro-only: the macro page's button).
  // Given once the window shows (see showEvent).
  const int pageButton = page_ == kPageMacro      ? kIdPageMacro
                         : page_ == kPageMedia    ? kIdPageMedia
                         : page_ == kPageFunction ? kIdPageFunction
                                                  : kIdPageKey;
  d.openingFocus = d.buttons[pageButton];

  PlaceDialog();

  d.oskProgram = d.seams.findOnScreenKeyboard ? d.seams.findOnScreenKeyboard() : d.oskCache.Find();
  CPngButton& osk = *d.buttons[kIdOsk];
  osk.setEnabled(!d.oskProgram.isEmpty());
  if (d.oskProgram.isEmpty()) {
    osk.SetTooltip(QString::fromLatin1(kNoOskTooltip), true);
  } else {
    // The skin's text when it has one; the built-in text otherwise.
    const QString prompt = d.language.LoadChineseSkinText(QString::fromLatin1(kOskPromptSkinKey));
    osk.SetTooltip(prompt.trimmed().isEmpty() ? QString::fromLatin1(kOskBuiltInTooltip) : prompt,
                   true);
  }
  SetCaptions(index);
  d.openingTexts.reset();
  return true;
}

void Kestrune_DlgComposite::PlaceDialog() {
  Impl& d = *impl_;
  const QRect button = d.host.KeyButtonScreenRect(buttonId_);
  const bool centred = buttonId_ == kMacroOnlyControlId || button.isNull();
  QPoint probe;
  if (!button.isNull())
    probe = button.center();
  else if (parentWidget() && parentWidget()->isVisible())
    probe = parentWidget()->frameGeometry().center();
  else
    probe = QCursor::pos();
  const QRect screen = d.ScreenAt(probe);
  if (screen.isEmpty()) return;
  move(PlaceKeyDialog(button, size(), screen, centred));
}

void Kestrune_DlgComposite::SetModified(bool modified) {
  modified_ = modified;
  impl_->apply->setEnabled(modified);
}

void Kestrune_DlgComposite::SelectSource(bool keyboard) {
  Impl& d = *impl_;
  d.captureEdit->setEnabled(keyboard && !d.skinHidden.count(kIdCaptureEdit));
  d.mouseList->setEnabled(!keyboard && !d.skinHidden.count(kIdMouseList));
  d.keyboardSource->setChecked(keyboard);
  d.mouseSource->setChecked(!keyboard);
}

void Kestrune_DlgComposite::ShowPage(bool opening) {
  Impl& d = *impl_;
  const EditorPictureSet* picture = &d.sets[kSetKey];
  switch (page_) {
    case kPageMacro:
      picture = &d.sets[kSetMacro];
      d.hook.Remove();
      if (opening) {
        d.macros->SelectByNumber(static_cast<std::uint16_t>(storedParam_ & 0xFFFF));
      } else if (firstMacroVisit_) {
        firstMacroVisit_ = false;
        if ((storedParam_ & 0xFFFF) == 0) d.macros->SelectByNumber(0);
      }
      break;
    case kPageMedia:
      picture = &d.sets[kSetMedia];
      d.hook.Remove();
      d.macros->StopRecording();
      if (opening)
        d.mediaList->setCurrentIndex(
            storedParam_ < kMediaKeyList.size() ? static_cast<int>(storedParam_) : 0);
      break;
    case kPageFunction:
      picture = &d.sets[kSetFunction];
      d.hook.Remove();
      d.macros->StopRecording();
      if (opening)
        d.functionList->setCurrentIndex(storedParam_ < static_cast<std::uint32_t>(kFunctionKeyCount)
                                            ? static_cast<int>(storedParam_)
                                            : 0);
      break;
    default:
      // 0, 2 and the kinds the dialog does not offer.
      d.macros->StopRecording();
      InstallCaptureHooks();
      // Only a single-key entry's param is a key: the others' (a text's
      // place, a former macro's number) would be captured as one.
      if (opening)
        capturedKey_ = page_ == kPageSingle && storedParam_ <= 0xFFFF
                           ? static_cast<KeyIndex>(storedParam_)
                           : 0;
      if (page_ == kPageSingle) {
        if (const int position = MousePosition(capturedKey_); position >= 0) {
          SelectSource(false);
          d.mouseList->setCurrentIndex(position);
        } else {
          SelectSource(true);
          d.captureEdit->setText(capturedKey_ == 0 ? QString()
                                                   : KeyNameFromKeyIndex(capturedKey_, d.language));
        }
      } else {
        SelectSource(true);
      }
      break;
  }
  SetEditorPictures(*d.buttons[kIdPagePicture], *picture);

  const bool single = page_ != kPageMacro && page_ != kPageMedia && page_ != kPageFunction;
  auto show = [&](std::span<const int> ids, bool shown) {
    for (int id : ids) {
      const bool prompt =
          std::find(std::begin(kPagePrompts), std::end(kPagePrompts), id) != std::end(kPagePrompts);
      d.controls[id]->setVisible(shown && !d.skinHidden.count(id) && !(prompt && macroOnly_));
    }
  };
  show(kSinglePageControls, single);
  show(kMediaPageControls, page_ == kPageMedia);
  show(kFunctionPageControls, page_ == kPageFunction);
  d.macros->SetShown(page_ == kPageMacro);

  d.buttons[kIdPageKey]->SetSelected(single, true);
  d.buttons[kIdPageMacro]->SetSelected(page_ == kPageMacro, true);
  d.buttons[kIdPageMedia]->SetSelected(page_ == kPageMedia, true);
  d.buttons[kIdPageFunction]->SetSelected(page_ == kPageFunction, true);
}

void Kestrune_DlgComposite::InstallCaptureHooks() {
  // Low-level: the Windows keys and the Application key, whatever the
  // source, which the desktop would otherwise act on.
  auto lowLevel = [this](const KeyboardHook::Event& event) {
    for (const auto& entry : kLowLevelKeys) {
      if (event.message.vk == entry.vk) {
        Capture(entry.key);
        return KeyboardHook::Verdict::Swallow;
      }
    }
    return KeyboardHook::Verdict::Pass;
  };
  // Thread: every key but the media keys is swallowed; a fresh press is
  // captured when the keyboard is the source. Print Screen is known only by
  // its release.
  auto thread = [this](const KeyboardHook::Event& event) {
    const KeyIndex key = event.key;
    if (key == 0 || IsCaptureExcluded(key)) return KeyboardHook::Verdict::Pass;
    const bool freshPress = !event.message.Release() && !event.message.AutoRepeat();
    if ((impl_->keyboardSource->isChecked() && freshPress) || key == kPrintScreen) Capture(key);
    return KeyboardHook::Verdict::Swallow;
  };
  impl_->hook.Install(lowLevel, thread);
}

void Kestrune_DlgComposite::Capture(KeyIndex key) {
  impl_->captureEdit->setText(KeyNameFromKeyIndex(key, impl_->language));
  capturedKey_ = key;
  page_ = kPageSingle;
  SetModified(true);
}

void Kestrune_DlgComposite::ClearKey() {
  OnCommand(kIdPageKey);
  if (page_ != kPageSingle) return;
  impl_->captureEdit->clear();
  capturedKey_ = 0;
  page_ = kPageNone;
  SelectSource(true);
  SetModified(true);
}

void Kestrune_DlgComposite::StartOnScreenKeyboard() {
  Impl& d = *impl_;
  if (d.oskProgram.isEmpty()) return;
  // One is enough: the one started before still runs.
  if (ProcessRuns(d.oskPid, d.oskProgram)) return;
  if (d.seams.startDetached) {
    d.seams.startDetached(d.oskProgram);
    return;
  }
  qint64 pid = 0;
  // A failure to start it is not reported.
  if (QProcess::startDetached(d.oskProgram, {}, QDir::homePath(), &pid)) d.oskPid = pid;
}

void Kestrune_DlgComposite::OnCommand(int controlId) {
  // A button that is off (macro-only mode, no on-screen keyboard) does nothing.
  if (const auto it = impl_->buttons.find(controlId);
      it != impl_->buttons.end() && !it->second->isEnabled())
    return;
  auto switchTo = [this](int page) {
    if (page_ == page) return;
    page_ = page;
    ShowPage(false);
    SetModified(true);
  };
  switch (controlId) {
    case kIdPageKey:
      if (page_ != kPageSingle && page_ != kPageNone) switchTo(kPageSingle);
      break;
    case kIdPageMacro:
      switchTo(kPageMacro);
      break;
    case kIdPageMedia:
      switchTo(kPageMedia);
      break;
    case kIdPageFunction:
      switchTo(kPageFunction);
      break;
    case kIdClear:
      ClearKey();
      break;
    case kIdOsk:
      StartOnScreenKeyboard();
      break;
    case kIdKeyboardSource:
    case kIdMouseSource: {
      const bool keyboard = controlId == kIdKeyboardSource;
      const bool changed = page_ != kPageSingle || impl_->keyboardSource->isChecked() != keyboard;
      SelectSource(keyboard);
      page_ = kPageSingle;
      if (changed) SetModified(true);
      break;
    }
    case kIdApply:
      OnApply();
      break;
    case kIdOk:
      OnApply();
      CloseDialog(QDialog::Accepted);
      break;
    case kIdCancel:
      CloseDialog(QDialog::Rejected);
      break;
    default:
      break;
  }
}

void Kestrune_DlgComposite::OnApply() {
  Impl& d = *impl_;
  d.macros->CommitInPlaceEdit();
  d.macros->StopRecording();
  d.macros->Commit();

  const int profile = d.host.CurrentProfile();
  if (profile < 0 || profile >= kProfileCount) {
    d.host.Show(d.language.ShowSlot(TextSlot::ApplyPrompt, d.LanguageIndex()),
                MessageKind::Information);
    return;
  }

  // A kind the dialog does not offer stays as it is, param and text with it,
  // until the user chooses a page, clears or captures.
  const bool offered = page_ == kPageNone || page_ == kPageSingle || page_ == kPageMacro ||
                       page_ == kPageMedia || page_ == kPageFunction;
  int kind = page_;
  std::uint32_t param = 0;
  int cycles = 0;
  switch (page_) {
    case kPageSingle:
      if (d.keyboardSource->isChecked()) {
        param = capturedKey_;
        if (capturedKey_ == 0 || SlotFromKeyIndex(capturedKey_) == editedSlot_) kind = kPageNone;
      } else {
        const int position = std::clamp(d.mouseList->currentIndex(), 0, kMouseButtonCount - 1);
        param = kMouseButtons[position].key;
      }
      break;
    case kPageMacro:
      if (d.macros->MacroCount() == 0) {
        kind = kPageNone;
      } else {
        param = d.store.MacroNumberAt(d.macros->CurrentPosition());
        cycles = d.macros->Cycles();
      }
      break;
    case kPageMedia:
      param = static_cast<std::uint32_t>(std::max(d.mediaList->currentIndex(), 0));
      break;
    case kPageFunction:
      param = static_cast<std::uint32_t>(std::max(d.functionList->currentIndex(), 0));
      break;
    default:
      break;
  }

  d.host.ShowKeyAssigned(buttonId_, kind != kPageNone);
  if (offered) {
    std::lock_guard lock(d.store.Lock());
    d.store.SetAssignment(profile, editedSlot_, static_cast<AssignmentKind>(kind), param);
    if (kind == kPageMacro) {
      KeyAssignment entry = d.store.GetAssignment(profile, editedSlot_);
      entry.extra = static_cast<std::uint16_t>(cycles);
      d.store.PutAssignment(profile, editedSlot_, entry);
    }
  }
  d.host.RefreshKeyButtons();
  SetModified(false);
  d.host.MarkApplyPending();
}

void Kestrune_DlgComposite::CloseDialog(int result) {
  Impl& d = *impl_;
  if (!IsOpen()) return;
  d.hook.Remove();
  d.macros->StopRecording();
  d.macros->FreeWorkingCopies();
  SetModified(false);
  --openCount_;
  d.host.ShowKeyEditing(buttonId_, false);
  d.closing = true;
  EndDialog(result);
  ReleasePictures();
  d.closing = false;
}

void Kestrune_DlgComposite::SetCaptions(int languageIndex) {
  Impl& d = *impl_;
  // The texts are looked up again only when the language or its files changed.
  const Impl::TextsKey key = d.CurrentTextsKey(languageIndex, macroOnly_);
  if (key == d.captionsKey) return;
  d.captionsKey = key;
  d.macros->SetCaptions(languageIndex);
  auto text = [&](const char* key) {
    return d.language.LoadLangText(QString::fromLatin1(key), languageIndex);
  };
  const struct {
    int id;
    const char* key;
    bool pageCaption;  // empty in macro-only mode
  } captions[] = {
      {kIdPageKey, "IDS_COMPOSITE_SELECT_KEY", true},
      {kIdPageMacro, "IDS_COMPOSITE_SELECT_MACRO", false},
      {kIdPageMedia, "IDS_COMPOSITE_SELECT_MEDIA", true},
      {kIdPageFunction, "IDS_COMPOSITE_SELECT_FUNCTION", true},
      {kIdClear, "IDS_KEYBOARD_MARCO_RESET", false},
      {kIdOk, "IDS_COMPOSITE_OK", false},
      {kIdCancel, "IDS_COMPOSITE_CANCEL", false},
  };
  for (const auto& caption : captions)
    SetEditorCaption(*d.buttons[caption.id],
                     caption.pageCaption && macroOnly_ ? QString() : text(caption.key));
  d.buttons[kIdClear]->SetTooltip(text("IDS_KEYBOARD_MARCO_RESET"), true);
  const struct {
    int id;
    const char* key;
  } labels[] = {
      {kIdKeyboardLabel, "IDS_MACRO_KB_KEY"},
      {kIdMouseLabel, "IDS_MACRO_MOU_KEY"},
      {kIdHeading, macroOnly_ ? "IDS_KEYBOARD_EDIT_TISHI" : "IDS_KEYBOARD_KEY_SETTING"},
      {kIdSinglePrompt, "IDS_KEYBOARD_KEY_SINGLE"},
      {kIdMediaPrompt, "IDS_MEDIA_EDIT"},
      {kIdFunctionPrompt, "IDS_FUNCTION_EDIT"},
  };
  for (const auto& label : labels)
    static_cast<QLabel*>(d.controls[label.id])->setText(text(label.key));
}

void Kestrune_DlgComposite::SetFocusOrder() {
  Impl& d = *impl_;
  std::vector<QWidget*> order;
  for (int id : {kIdPageKey, kIdPageMacro, kIdPageMedia, kIdPageFunction})
    order.push_back(d.buttons[id]);
  // The pages' own controls (one page shows at a time), as they are read.
  std::vector<QWidget*> pages;
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!(child->focusPolicy() & Qt::TabFocus)) continue;
    const QVariant id = child->property("controlId");
    if (id.isValid() && d.buttons.count(id.toInt())) continue;
    pages.push_back(child);
  }
  SortInReadingOrder(pages);
  order.insert(order.end(), pages.begin(), pages.end());
  for (int id : {kIdClear, kIdOsk, kIdOk, kIdCancel}) order.push_back(d.buttons[id]);
  SetTabChain(order);
}

namespace {

// The keys by which a plain dialog ends itself; this one ends only by its buttons.
bool EndsPlainDialog(const QKeyEvent& event) {
  const int key = event.key();
  return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

}  // namespace

void Kestrune_DlgComposite::showEvent(QShowEvent* event) {
  CBaseDialog::showEvent(event);
  // Given here rather than before the show: a window the system still counts
  // as active from its last opening gets no activation that would hand the
  // focus to the chosen control.
  if (!event->spontaneous() && impl_->openingFocus) {
    impl_->openingFocus->setFocus(Qt::OtherFocusReason);
    impl_->openingFocus = nullptr;
  }
}

void Kestrune_DlgComposite::keyPressEvent(QKeyEvent* event) {
  if (EndsPlainDialog(*event)) {
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_F1) {
    if (!impl_->macros->Recording()) impl_->host.OpenHelp();
    event->accept();
    return;
  }
  CBaseDialog::keyPressEvent(event);
}

void Kestrune_DlgComposite::keyReleaseEvent(QKeyEvent* event) {
  if (EndsPlainDialog(*event)) {
    event->accept();
    return;
  }
  CBaseDialog::keyReleaseEvent(event);
}

void Kestrune_DlgComposite::reject() {
  // Only Cancel and CloseIfOpen close the dialog.
  if (impl_->closing) QDialog::reject();
}

void Kestrune_DlgComposite::accept() {
  if (IsOpen()) OnCommand(kIdOk);
}

}  // namespace kst
