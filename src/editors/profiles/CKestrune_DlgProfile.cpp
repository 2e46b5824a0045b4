#include "editors/profiles/CKestrune_DlgProfile.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableView>

#include <unistd.h>

#include <cerrno>
#include <map>
#include <set>

#include "editors/profiles/ProfileListModel.h"
#include "editors/profiles/ProfileManagerHost.h"
#include "foundation/Language.h"
#include "foundation/SkinLayout.h"
#include "foundation/TextTable.h"
#include "platform/Registry.h"
#include "skin/AppStyle.h"
#include "skin/CPngButton.h"
#include "skin/DialogLooks.h"
#include "skin/SkinKeys.h"
#include "skin/SkinLayoutOps.h"
#include "store/ProfileFiles.h"

namespace kst {

namespace {

namespace id = profile_manager_id;

// The image buttons, their skin keys and the captions they carry (the
// skin's pictures show the legends; the captions name the buttons).
struct ImageButton {
  int id;
  const char* skinKey;
  const char* caption;
};
const ImageButton kImageButtons[] = {
    {id::kAdd, "FUNC_ADD", "添加"},          {id::kLoad, "FUNC_LOAD", "载入"},
    {id::kDelete, "FUNC_DELETE", "删除"},    {id::kOk, "CONTROL_OK", "确定"},
    {id::kCancel, "CONTROL_CANCEL", "取消"}, {id::kApply, "CONTROL2_APPLY", "应用"},
};
constexpr const char* kListSkinKey = "PROGRAM_LIST";

constexpr int kColumnWidths[ProfileListModel::kColumnCount] = {60, 120, 230};
constexpr int kRowHeight = 24;

// The list's check boxes in the skin's colours, beside the application's look.
constexpr const char* kListStyle = R"(
QTableView#PROGRAM_LIST { font-size: 9pt; }
QTableView#PROGRAM_LIST:focus { border-color: #2c3340; }
QTableView::item { padding: 0 6px; border: none; }
QTableView::item:selected { color: #ffffff; background: #6e0c22; }
QTableView::indicator { width: 13px; height: 13px; border: 1px solid #4a5262; border-radius: 3px;
  background: #07090d; }
QTableView::indicator:hover { border-color: #ff6b8a; }
QTableView::indicator:checked { background: #ff2d55; border-color: #ff6b8a; }
)";

// Names lose their end when cut, folders their middle: the start of a name
// and the last folder are what tell rows apart.
class ProfileRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode =
        index.column() == ProfileListModel::kNameColumn ? Qt::ElideRight : Qt::ElideMiddle;
  }
};

// The path with the default extension when the name has none.
QString WithDefaultExtension(const QString& path) {
  if (!QFileInfo(path).suffix().isEmpty()) return path;
  return path + QLatin1Char('.') + QLatin1String(kExchangeFileExtension);
}

// Why the file could not be replaced, as far as its folder and mode tell.
QString WriteFailureReason(const QString& path) {
  const QFileInfo info(path);
  const QByteArray folder = QFile::encodeName(info.absolutePath());
  int code = EIO;
  if (info.exists() && !info.isWritable())
    code = EACCES;
  else if (::access(folder.constData(), W_OK | X_OK) != 0)
    code = errno;
  return qt_error_string(code);
}

}  // namespace

struct CKestrune_DlgProfile::Impl {
  Impl(ProfileManagerHost& h, ProfileFiles& f, Language& l, Registry& r, MessageBoxes& b)
      : host(h), files(f), language(l), registry(r), boxes(b), appProfile(r) {}

  ProfileManagerHost& host;
  ProfileFiles& files;
  Language& language;
  Registry& registry;
  MessageBoxes& boxes;
  AppProfile appProfile;
  Seams seams;

  ProfileListModel model;
  QTableView* list = nullptr;
  std::map<int, CPngButton*> buttons;
  // Buttons the skin does not show (placed at 1,1): they stay off.
  std::set<int> skinHidden;

  // Made at each opening, given up at the closing (looks).
  QPixmap normal, over, down, disabled;
  bool picturesMade = false;
  DialogLooks looks;
  bool laidOut = false;
  // Set while the dialog ends its own modal loop.
  bool closing = false;
};

CKestrune_DlgProfile::CKestrune_DlgProfile(ProfileManagerHost& host, ProfileFiles& files,
                                           Language& language, Registry& registry,
                                           MessageBoxes& boxes, const AppPaths& paths,
                                           QWidget* parent)
    : CBaseDialog(kProfileDialogTemplate, parent, ProfileSkinFile(paths), SkinFolder(paths)),
      impl_(std::make_unique<Impl>(host, files, language, registry, boxes)) {
  Impl& d = *impl_;
  setStyleSheet(AppStyleSheet() + QString::fromLatin1(kListStyle));
  // Modal to the main window only: the tray icon's menu stays usable.
  setWindowModality(Qt::WindowModal);

  for (const ImageButton& info : kImageButtons) {
    auto* button = new CPngButton(this);
    button->setObjectName(QString::fromLatin1(info.skinKey));
    button->setProperty("controlId", info.id);
    button->setText(QString::fromUtf8(info.caption));
    button->hide();
    connect(button, &CPngButton::clicked, this,
            [this, controlId = info.id] { OnCommand(controlId); });
    d.buttons[info.id] = button;
  }
  // A button of the dialog's resource without a function; never shown.
  auto* hidden = new QPushButton(this);
  hidden->setObjectName(QString::number(id::kHidden));
  hidden->setProperty("controlId", id::kHidden);
  hidden->setAutoDefault(false);
  hidden->hide();

  d.list = new QTableView(this);
  d.list->setObjectName(QString::fromLatin1(kListSkinKey));
  d.list->setProperty("controlId", id::kList);
  d.list->setModel(&d.model);
  d.list->setShowGrid(true);
  d.list->setSelectionBehavior(QAbstractItemView::SelectRows);
  d.list->setSelectionMode(QAbstractItemView::SingleSelection);
  d.list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  d.list->setWordWrap(false);
  // The arrows move among the rows; Tab goes on to the buttons.
  d.list->setTabKeyNavigation(false);
  d.list->setItemDelegate(new ProfileRowDelegate(d.list));
  d.list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  d.list->verticalHeader()->hide();
  d.list->verticalHeader()->setDefaultSectionSize(kRowHeight);
  QHeaderView* heading = d.list->horizontalHeader();
  heading->setSectionsClickable(false);
  heading->setHighlightSections(false);
  heading->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  heading->setStretchLastSection(true);
  for (int column = 0; column < ProfileListModel::kColumnCount; ++column)
    d.list->setColumnWidth(column, kColumnWidths[column]);
  d.list->hide();

  connect(&d.model, &ProfileListModel::CheckChanged, this, [this] { SetModified(true); });
}

CKestrune_DlgProfile::~CKestrune_DlgProfile() = default;

void CKestrune_DlgProfile::SetSeams(Seams seams) { impl_->seams = std::move(seams); }

ProfileListModel& CKestrune_DlgProfile::Model() const { return impl_->model; }
QTableView* CKestrune_DlgProfile::List() const { return impl_->list; }

CPngButton* CKestrune_DlgProfile::Button(int controlId) const {
  const auto it = impl_->buttons.find(controlId);
  return it == impl_->buttons.end() ? nullptr : it->second;
}

int CKestrune_DlgProfile::Open() { return exec(); }

int CKestrune_DlgProfile::CloseIfOpen() {
  if (IsOpen()) CloseDialog(QDialog::Rejected);
  return 1;
}

void CKestrune_DlgProfile::ShowCurrentProfile(int profile) {
  if (!impl_->model.CheckRow(profile)) impl_->model.CheckRow(-1);
  SetModified(false);
}

bool CKestrune_DlgProfile::OnInitDialog() {
  Impl& d = *impl_;
  // Closing released the skin's background and mask and the button
  // pictures; each opening makes them again.
  if (Background().isNull()) CBaseDialog::OnInitDialog();
  ++openCount_;
  d.closing = false;
  MakePictures();
  LayoutControls();
  FillList();
  SetModified(false);
  PlaceDialog();
  return true;
}

void CKestrune_DlgProfile::PlaceDialog() {
  // Centred on the main window when it is on show, else on the screen.
  QRect area;
  if (QWidget* owner = parentWidget(); owner && owner->isVisible()) {
    area = owner->frameGeometry();
  } else {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) area = screen->availableGeometry();
  }
  if (!area.isEmpty()) move(area.center() - QPoint(width() / 2, height() / 2));
}

void CKestrune_DlgProfile::MakePictures() {
  Impl& d = *impl_;
  if (d.picturesMade) return;
  // A picture that cannot be loaded ends the process, as for every window.
  Pictures().Prefetch(PictureSetFiles(kProfilePictureSet));
  auto load = [this](const char* file) { return Pictures().Required(QString::fromLatin1(file)); };
  d.normal = load(kProfilePictureSet.normal);
  d.over = load(kProfilePictureSet.over);
  d.down = load(kProfilePictureSet.down);
  d.disabled = load(kProfilePictureSet.disabled);
  d.picturesMade = true;
  d.looks.TakeBack(*this, Pictures());
}

void CKestrune_DlgProfile::LayoutControls() {
  Impl& d = *impl_;
  if (d.laidOut) return;
  const QString file = SkinFileName();
  const QString section = QString::fromLatin1(kButtonInfoSection);
  for (const ImageButton& info : kImageButtons) {
    CPngButton& button = *d.buttons[info.id];
    const SkinRect rect =
        LayoutImageButton(button, file, section, QString::fromLatin1(info.skinKey), d.normal,
                          d.over, d.down, d.disabled, d.down);
    if (rect.MarksHidden())
      d.skinHidden.insert(info.id);
    else
      button.show();
  }
  LayoutControl(*d.list, file, section, QString::fromLatin1(kListSkinKey));
  d.list->show();
  // The list, the buttons acting on its rows, then OK, Cancel and Apply.
  SetTabChain({d.list, d.buttons[id::kAdd], d.buttons[id::kLoad], d.buttons[id::kDelete],
               d.buttons[id::kOk], d.buttons[id::kCancel], d.buttons[id::kApply]});
  d.laidOut = true;
}

void CKestrune_DlgProfile::FillList() {
  Impl& d = *impl_;
  // One working file holds all four profiles: every row names it.
  const QString working = d.files.WorkingProfilePath();
  d.model.SetPaths(QStringList(ProfileListModel::kCheckableRows, working));
  d.list->clearSelection();
  const int current = d.host.CurrentProfile();
  if (current != -1) d.model.CheckRow(current);
}

void CKestrune_DlgProfile::SetModified(bool modified) {
  modified_ = modified;
  if (!impl_->skinHidden.count(id::kApply)) impl_->buttons[id::kApply]->setEnabled(modified);
}

QString CKestrune_DlgProfile::SuggestedNewFile() {
  Impl& d = *impl_;
  QString name =
      d.language.ShowSlot(TextSlot::ProfileNew, ClampLanguageIndex(d.language.GetLanguageIndex()));
  // A text written for a path joined with a separator of its own.
  while (name.startsWith(QLatin1Char('\\')) || name.startsWith(QLatin1Char('/'))) name.remove(0, 1);
  return QDir::toNativeSeparators(QDir(d.files.ProfileFolderPath()).filePath(name));
}

void CKestrune_DlgProfile::OnAdd() {
  Impl& d = *impl_;
  const QString suggested = SuggestedNewFile();
  QString path;
  if (d.seams.chooseNewFile) {
    path = d.seams.chooseNewFile(suggested);
  } else {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QLatin1String(kExchangeFileExtension));
    dialog.setNameFilter(ProfileFileFilter(d.language));
    dialog.setDirectory(QFileInfo(suggested).absolutePath());
    dialog.selectFile(QFileInfo(suggested).fileName());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      path = dialog.selectedFiles().constFirst();
  }
  if (path.isEmpty() || !IsOpen()) return;
  path = WithDefaultExtension(path);
  QString why;
  if (d.files.WriteDefaultProfileFile(path, &why) != 1) {
    d.boxes.Show(d.language.LoadLangText(QStringLiteral("IDS_PROFILE_CREATE_FAILED"),
                                         d.language.GetLanguageIndex()) +
                     QLatin1Char('\n') + why,
                 MessageKind::Information);
    return;
  }
  d.model.AppendPath(path);
  d.list->selectRow(d.model.RowCount() - 1);
  SetModified(true);
}

void CKestrune_DlgProfile::OnLoad() {
  Impl& d = *impl_;
  const QString folder = d.files.ProfileFolderPath();
  QString path;
  if (d.seams.chooseExistingFile)
    path = d.seams.chooseExistingFile(folder);
  else
    path = QFileDialog::getOpenFileName(this, QString(), folder, ProfileFileFilter(d.language),
                                        nullptr, QFileDialog::DontUseNativeDialog);
  if (path.isEmpty() || !IsOpen()) return;
  // Nothing is read from the file: the row only names it.
  d.model.AppendPath(path);
  d.list->selectRow(d.model.RowCount() - 1);
  SetModified(true);
}

void CKestrune_DlgProfile::OnDelete() {
  Impl& d = *impl_;
  const QModelIndexList selected = d.list->selectionModel()->selectedRows();
  if (selected.isEmpty()) return;
  const int row = selected.constFirst().row();
  if (!d.model.RemoveRow(row)) return;
  const int count = d.model.RowCount();
  if (count > 0) d.list->selectRow(row < count ? row : count - 1);
  SetModified(true);
}

bool CKestrune_DlgProfile::OnApply() {
  Impl& d = *impl_;
  const int count = d.model.RowCount();
  bool recorded = true;
  for (int row = 0; recorded && row < count; ++row)
    recorded = d.appProfile.SetProfileValue(row + 1, d.model.RegistryPath(row));
  if (recorded) recorded = d.appProfile.SetProfileValue(0, QString::number(count));
  if (!recorded) {
    const QString file = QDir::toNativeSeparators(d.registry.FilePath());
    d.boxes.Show(d.language.LoadLangText(QStringLiteral("IDS_PROFILE_LIST_SAVE_FAILED"),
                                         d.language.GetLanguageIndex()) +
                     QLatin1Char('\n') + file + QStringLiteral(": ") +
                     WriteFailureReason(d.registry.FilePath()),
                 MessageKind::Information);
    return false;
  }
  const int checked = d.model.CheckedRow();
  if (checked >= 0 && checked < ProfileListModel::kCheckableRows)
    d.host.SwitchKeyboardProfile(checked);
  d.host.ReloadActiveProfile();
  d.host.ShowSwitchedProfile();
  SetModified(false);
  d.host.DisableMainApply();
  return true;
}

void CKestrune_DlgProfile::OnCommand(int controlId) {
  // A button that is off (Apply without changes, one the skin hides) does nothing.
  if (const CPngButton* button = Button(controlId); button && !button->isEnabled()) return;
  switch (controlId) {
    case id::kAdd:
      OnAdd();
      break;
    case id::kLoad:
      OnLoad();
      break;
    case id::kDelete:
      OnDelete();
      break;
    case id::kApply:
      OnApply();
      break;
    case id::kOk:
      // The list stays open for another try when it could not be recorded.
      if (OnApply()) CloseDialog(QDialog::Accepted);
      break;
    case id::kCancel:
      CloseDialog(QDialog::Rejected);
      break;
    default:
      break;
  }
}

void CKestrune_DlgProfile::CloseDialog(int result) {
  Impl& d = *impl_;
  if (!IsOpen()) return;
  SetModified(false);
  --openCount_;
  d.closing = true;
  EndDialog(result);
  if (d.picturesMade) {
    d.looks.Release(*this, Pictures(), PictureSetFiles(kProfilePictureSet));
    d.normal = d.over = d.down = d.disabled = QPixmap();
    d.picturesMade = false;
  }
  ReleaseSkin();
  ReturnFreedMemory();
  d.closing = false;
}

void CKestrune_DlgProfile::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_F1:
      impl_->host.OpenHelp();
      event->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Only the buttons apply.
      event->accept();
      return;
    default:
      CBaseDialog::keyPressEvent(event);
  }
}

void CKestrune_DlgProfile::reject() {
  // Escape and the window's close button act as Cancel.
  if (impl_->closing)
    QDialog::reject();
  else if (IsOpen())
    OnCommand(id::kCancel);
}

void CKestrune_DlgProfile::accept() {
  if (IsOpen()) OnCommand(id::kOk);
}

}  // namespace kst
