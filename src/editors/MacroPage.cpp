#include "editors/MacroPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QValidator>

#include <array>
#include <map>
#include <set>
#include <utility>

#include "editors/ActionListView.h"
#include "editors/KeyboardHook.h"
#include "editors/MacroWorkingCopies.h"
#include "foundation/Language.h"
#include "foundation/SkinLayout.h"
#include "skin/SkinLayoutOps.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"

namespace kst {

namespace {

constexpr int kAddId = 1017;
constexpr int kDeleteId = 1018;
constexpr int kActionsId = 1019;
constexpr int kRecordId = 1020;
constexpr int kDeleteActionId = 1021;
constexpr int kClearId = 1022;
constexpr int kTopId = 1023;
constexpr int kUpId = 1024;
constexpr int kDownId = 1025;
constexpr int kBottomId = 1026;
constexpr int kRecordDelayId = 1027;
constexpr int kCyclesId = 1125;
constexpr int kListId = 1126;
constexpr int kCyclesLabelId = 1130;
constexpr int kRecordDelayLabelId = 1133;
constexpr int kNameLabelId = 1200;

struct ControlKey {
  int id;
  const char* skinKey;
};
constexpr std::array<ControlKey, 16> kControlKeys = {{
    {kListId, "FUNC_MACRO_LIST"},
    {kAddId, "FUNC_MACRO_ADD"},
    {kDeleteId, "FUNC_MACRO_DELETE"},
    {kActionsId, "FUNC_MACRO_LIST2"},
    {kRecordId, "FUNC_MACRO_RECORD"},
    {kDeleteActionId, "FUNC_MACRO_DELETE2"},
    {kClearId, "FUNC_MACRO_CLEAR"},
    {kTopId, "FUNC_MACRO_UP_TOP"},
    {kUpId, "FUNC_MACRO_UP"},
    {kDownId, "FUNC_MACRO_DOWN"},
    {kBottomId, "FUNC_MACRO_DOWN_BOTTOM"},
    {kRecordDelayId, "FUNC_MACRO_RECORD_DELAY"},
    {kRecordDelayLabelId, "FUNC_MACRO_RECORD_DELAY2"},
    {kCyclesId, "FUNC_MACRO_CYCLES"},
    {kCyclesLabelId, "FUNC_MACRO_CYCLES_PROMPT"},
    {kNameLabelId, "MARCO_NAME_SETTING"},
}};

// Buttons with a fixed caption; the record button's changes with recording.
struct CaptionKey {
  int id;
  const char* textKey;
};
constexpr std::array<CaptionKey, 9> kCaptionKeys = {{
    {kDeleteActionId, "IDS_COMPOSITE_MACRO_ACTION_DELETE"},
    {kClearId, "IDS_COMPOSITE_MACRO_ACTION_CLEAR"},
    {kTopId, "IDS_COMPOSITE_MACRO_ACTION_UPTOP"},
    {kUpId, "IDS_COMPOSITE_MACRO_ACTION_UP"},
    {kDownId, "IDS_COMPOSITE_MACRO_ACTION_DOWN"},
    {kBottomId, "IDS_COMPOSITE_MACRO_ACTION_DOWNBOTTOM"},
    {kRecordDelayLabelId, "IDS_MACRO_RECORD_DELAY"},
    {kCyclesLabelId, "IDS_MACRO_CYCLES"},
    {kNameLabelId, "IDS_MACRO_NAME"},
}};

// The buttons that work on the macro on show.
constexpr std::array<int, 7> kMacroButtons = {kRecordId, kDeleteActionId, kClearId, kTopId,
                                              kUpId,     kDownId,         kBottomId};

constexpr int kColumnWidth = 100;
constexpr int kCellMargin = 4;
constexpr const char* kScrollBarStyle =
    "QScrollBar:vertical { background: #2b2b2b; width: 14px; margin: 0; }"
    "QScrollBar::handle:vertical { background: #6e6e6e; min-height: 24px; }"
    "QScrollBar::handle:vertical:hover { background: #8a8a8a; }"
    "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
    "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }";
constexpr qsizetype kMaxLaidOutTexts = 1024;
constexpr int kKeyPickerRows = 20;
constexpr int kDirectionPickerRows = 6;
// Digits enough for any delay and few enough that the number cannot wrap.
constexpr int kDelayEditDigits = 10;

// The name field does not scroll: what is typed must fit its width (and the
// record's name field).
class FitsFieldValidator : public QValidator {
 public:
  explicit FitsFieldValidator(QLineEdit& edit) : QValidator(&edit), edit_(edit) {}
  State validate(QString& input, int&) const override {
    if (input.size() > kMaxMacroNameLength) return Invalid;
    const QRect room = edit_.contentsRect().marginsRemoved(edit_.textMargins());
    // Room for the cursor after the last character.
    const int width = QFontMetrics(edit_.font()).horizontalAdvance(input) + 2;
    return width <= room.width() ? Acceptable : Invalid;
  }

 private:
  QLineEdit& edit_;
};

// The in-place editors: digits only for the delay, a key picker and a
// direction picker, the pickers dropped down at once.
class ActionDelegate : public QStyledItemDelegate {
 public:
  ActionDelegate(Language& language, std::function<void()> delayEditStarts, QObject* parent)
      : QStyledItemDelegate(parent),
        language_(language),
        delayEditStarts_(std::move(delayEditStarts)) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex& index) const override {
    QWidget* editor = nullptr;
    switch (index.column()) {
      case MacroActionModel::kDelayColumn: {
        if (delayEditStarts_) delayEditStarts_();
        auto* edit = new QLineEdit(parent);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        edit->setMaxLength(kDelayEditDigits);
        editor = edit;
        break;
      }
      case MacroActionModel::kKeyColumn: {
        auto* combo = Picker(parent, kKeyPickerRows);
        for (std::uint16_t id = 0; id < kPickerKeyCount; ++id) {
          combo->addItem(KeyNameFromKeyId(id, language_));
        }
        editor = combo;
        break;
      }
      case MacroActionModel::kDirectionColumn: {
        auto* combo = Picker(parent, kDirectionPickerRows);
        combo->addItem(MacroActionModel::DirectionText(kEventPress));
        combo->addItem(MacroActionModel::DirectionText(kEventRelease));
        editor = combo;
        break;
      }
      default:
        return nullptr;
    }
    open_ = editor;
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    const QVariant value = index.data(Qt::EditRole);
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
      edit->setText(value.toString());
      edit->selectAll();
    } else if (auto* combo = qobject_cast<QComboBox*>(editor)) {
      const uint choice = value.toUInt();
      combo->setCurrentIndex(choice < static_cast<uint>(combo->count()) ? static_cast<int>(choice)
                                                                        : -1);
    }
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
      model->setData(index, edit->text(), Qt::EditRole);
    } else if (auto* combo = qobject_cast<QComboBox*>(editor)) {
      if (combo->currentIndex() >= 0) {
        model->setData(index, static_cast<uint>(combo->currentIndex()), Qt::EditRole);
      }
    }
  }

  void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
    if (open_ == editor) open_ = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
  }

  // Ends an open edit, keeping what it holds.
  void CommitOpen() {
    if (QWidget* editor = open_) {
      emit commitData(editor);
      emit closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
  }
  // Ends an open edit, dropping what it holds.
  void DiscardOpen() {
    if (QWidget* editor = open_) emit closeEditor(editor, QAbstractItemDelegate::NoHint);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    // Cells are drawn from laid-out texts kept between paints: a recorded row
    // shifts every row below it, and the screenful repainted then must cost
    // little more than the one new row.
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette::ColorGroup group =
        option.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    QColor colour =
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    // Key and direction in the desktop's grey text, as a hint beside the delay.
    if (!selected && index.data(MacroActionModel::kGreyTextRole).toBool()) {
      colour = option.palette.color(group, QPalette::PlaceholderText);
    }
    const QRect room = option.rect.adjusted(kCellMargin, 0, -kCellMargin, 0);
    const QStaticText& text =
        LaidOut(index.data(Qt::DisplayRole).toString(), room.width(), option.font);
    // The view sets its own pen and font for everything else it draws.
    painter->setPen(colour);
    painter->setFont(option.font);
    painter->drawStaticText(
        QPointF(room.left(), room.top() + (room.height() - text.size().height()) / 2.0), text);
  }

 private:
  const QStaticText& LaidOut(const QString& text, int width, const QFont& font) const {
    if (font != laidOutFont_) {
      laidOut_.clear();
      laidOutFont_ = font;
    }
    // Key names, arrows and the delays in use: a few hundred texts at most;
    // forgetting them all now and then bounds the memory.
    if (laidOut_.size() > kMaxLaidOutTexts) laidOut_.clear();
    const QString key = QString::number(width) + u'\n' + text;
    auto found = laidOut_.find(key);
    if (found == laidOut_.end()) {
      QStaticText laid(QFontMetrics(font).elidedText(text, Qt::ElideRight, width));
      laid.setTextFormat(Qt::PlainText);
      laid.prepare(QTransform(), font);
      found = laidOut_.insert(key, laid);
    }
    return *found;
  }

 private:
  QComboBox* Picker(QWidget* parent, int rows) const {
    auto* combo = new QComboBox(parent);
    combo->setMaxVisibleItems(rows);
    // A choice closes the picker and is taken at once.
    connect(combo, &QComboBox::activated, this, [this, combo](int) {
      auto* self = const_cast<ActionDelegate*>(this);
      emit self->commitData(combo);
      emit self->closeEditor(combo, QAbstractItemDelegate::NoHint);
    });
    QTimer::singleShot(0, combo, [combo] { combo->showPopup(); });
    return combo;
  }

  Language& language_;
  std::function<void()> delayEditStarts_;
  mutable QPointer<QWidget> open_;
  mutable QHash<QString, QStaticText> laidOut_;
  mutable QFont laidOutFont_;
};

}  // namespace

struct MacroPage::Impl {
  Impl(QWidget& d, Context c)
      : dialog(d),
        context(std::move(c)),
        copies(MacroWorkingCopies::Context{context.store, context.language, context.boxes,
                                           context.markModified}) {}

  QString Text(const char* key) const {
    const QString k = QString::fromLatin1(key);
    return languageIndex < 0 ? context.language.LoadLangText(k)
                             : context.language.LoadLangText(k, languageIndex);
  }
  CPngButton* Button(int id) const { return qobject_cast<CPngButton*>(controls.at(id)); }

  QWidget& dialog;
  Context context;
  MacroWorkingCopies copies;
  std::map<int, QWidget*> controls;
  std::set<int> hiddenBySkin;
  QComboBox* list = nullptr;
  QPointer<ActionListView> view;
  ActionDelegate* delegate = nullptr;
  QLineEdit* cycles = nullptr;
  QCheckBox* recordDelay = nullptr;
  int languageIndex = -1;
  bool shown = false;
  bool recordedOnce = false;
  // The record-delay setting is still to be read for this opening.
  bool recordDelayPending = false;
  // The working copies are still to be loaded for this opening.
  bool copiesPending = false;
  // Set while the page itself changes the macro list or a field, so that
  // their notifications do not act as the user's.
  bool listBusy = false;
  bool cyclesBusy = false;
  bool viewBusy = false;
};

MacroPage::MacroPage(QWidget& dialog, Context context)
    : QObject(&dialog), impl_(std::make_unique<Impl>(dialog, std::move(context))) {
  Impl& d = *impl_;
  for (const ControlKey& key : kControlKeys) {
    QWidget* control = nullptr;
    switch (key.id) {
      case kListId: {
        auto* combo = new QComboBox(&dialog);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        // Typing must not complete to an existing name: names are renamed as typed.
        combo->setCompleter(nullptr);
        combo->setValidator(new FitsFieldValidator(*combo->lineEdit()));
        d.list = combo;
        control = combo;
        break;
      }
      case kActionsId: {
        auto* view = new ActionListView(&dialog);
        view->setModel(&d.copies.Actions());
        // Flat, in the skin's greys: the toolkit's shaded scroll bar costs a
        // recorded row several times what the row itself costs, as every row
        // moves its slider.
        view->verticalScrollBar()->setStyleSheet(QString::fromLatin1(kScrollBarStyle));
        d.delegate = new ActionDelegate(
            d.context.language, [this] { StopRecording(); }, view);
        view->setItemDelegate(d.delegate);
        d.view = view;
        control = view;
        break;
      }
      case kCyclesId:
        d.cycles = new QLineEdit(&dialog);
        d.cycles->setText(QStringLiteral("1"));
        control = d.cycles;
        break;
      case kRecordDelayId:
        d.recordDelay = new QCheckBox(&dialog);
        control = d.recordDelay;
        break;
      case kRecordDelayLabelId:
      case kCyclesLabelId:
      case kNameLabelId: {
        auto* label = new QLabel(&dialog);
        label->setAttribute(Qt::WA_TranslucentBackground);
        control = label;
        break;
      }
      default:
        control = new CPngButton(&dialog);
        break;
    }
    control->setObjectName(QString::fromLatin1(key.skinKey));
    if (key.id == kRecordDelayId || key.id == kRecordDelayLabelId || key.id == kCyclesLabelId ||
        key.id == kNameLabelId) {
      QPalette palette = control->palette();
      palette.setColor(QPalette::WindowText, ColorFromColorRef(kEditorTextColour));
      control->setPalette(palette);
      control->setAutoFillBackground(false);
    }
    control->hide();
    d.controls[key.id] = control;
  }

  MacroWorkingCopies& copies = d.copies;
  connect(&copies, &MacroWorkingCopies::listChanged, this, [this] {
    if (!impl_->listBusy) SyncList(false);
    UpdateEnabled();
  });
  connect(&copies, &MacroWorkingCopies::cyclesShown, this, [this](int cycles) {
    impl_->cyclesBusy = true;
    impl_->cycles->setText(QString::number(cycles));
    impl_->cyclesBusy = false;
  });
  connect(&copies, &MacroWorkingCopies::selectedRowChanged, this,
          [this](int row) { ShowSelectedRow(row); });
  connect(d.view, &ActionListView::currentRowChanged, this, [this](int row) {
    if (!impl_->viewBusy) impl_->copies.SetSelectedRow(row);
  });
  // A click starts the edit of the clicked cell; a click on a row beside the
  // three columns gets the page's "cannot be edited" message.
  connect(d.view, &ActionListView::clicked, this,
          [this](const QModelIndex& index) { impl_->view->edit(index); });
  connect(d.view, &ActionListView::besideColumnsClicked, this, [this] {
    impl_->context.boxes.Show(impl_->Text("IDS_MACRO_ACTION_ERR_MODIFY"), MessageKind::Information);
  });

  connect(d.list, &QComboBox::currentIndexChanged, this, [this](int position) {
    if (impl_->listBusy) return;
    impl_->copies.Select(position);
    impl_->context.markModified();
  });
  // Only what the user types renames; the page's own changes of the field do not.
  connect(d.list->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
    if (impl_->listBusy) return;
    const int before = impl_->copies.Count();
    impl_->listBusy = true;
    impl_->copies.Rename(text);
    impl_->listBusy = false;
    // The field keeps what is typed unless the rename made another macro current.
    SyncList(before == 0 || impl_->copies.Count() == before);
    UpdateEnabled();
  });
  connect(d.cycles, &QLineEdit::textChanged, this, [this](const QString& text) {
    // The page's own text is a count the working copies already hold.
    if (impl_->cyclesBusy) return;
    const QString shown = impl_->copies.EditCycles(text);
    if (shown != text) impl_->cycles->setText(shown);
  });
  connect(d.recordDelay, &QCheckBox::clicked, this, [this] {
    ReadPendingRecordDelay();
    Impl& d = *impl_;
    d.copies.SetRecordDelay(d.copies.RecordDelay() == 1 ? 0 : 1);
    d.recordDelay->setChecked(d.copies.RecordDelay() == 1);
    d.context.appProfile.SetRecordDelay(d.context.language, d.copies.RecordDelay());
  });

  const auto onClick = [this](int id, auto action) {
    connect(impl_->Button(id), &QAbstractButton::clicked, this, action);
  };
  onClick(kAddId, [this] { impl_->copies.Add(); });
  onClick(kDeleteId, [this] { impl_->copies.DeleteCurrent(); });
  onClick(kRecordId, [this] {
    if (Recording()) {
      StopRecording();
    } else {
      StartRecording();
    }
  });
  onClick(kDeleteActionId, [this] { impl_->copies.DeleteAction(); });
  onClick(kClearId, [this] { impl_->copies.ClearActions(); });
  const auto onMove = [this](MacroWorkingCopies::Move move) {
    if (impl_->copies.MoveAction(move)) impl_->view->setFocus();
  };
  onClick(kTopId, [onMove] { onMove(MacroWorkingCopies::Move::Top); });
  onClick(kUpId, [onMove] { onMove(MacroWorkingCopies::Move::Up); });
  onClick(kDownId, [onMove] { onMove(MacroWorkingCopies::Move::Down); });
  onClick(kBottomId, [onMove] { onMove(MacroWorkingCopies::Move::Bottom); });
  UpdateEnabled();
}

MacroPage::~MacroPage() {
  if (impl_->copies.Recording()) {
    impl_->copies.EndRecording();
    impl_->context.hook.Remove();
  }
  // The rows go with the page; the list may outlive it on the dialog.
  if (impl_->view) impl_->view->setModel(nullptr);
}

void MacroPage::Layout(const QString& skinFile, const EditorPictureSet& macroPictures) {
  Impl& d = *impl_;
  const QString section = QString::fromLatin1(kButtonInfoSection);
  d.hiddenBySkin.clear();
  for (const ControlKey& key : kControlKeys) {
    QWidget* control = d.controls.at(key.id);
    const QString skinKey = QString::fromLatin1(key.skinKey);
    SkinRect rect;
    if (auto* button = qobject_cast<CPngButton*>(control)) {
      rect = LayoutImageButton(*button, skinFile, section, skinKey, macroPictures.normal,
                               macroPictures.over, macroPictures.down, macroPictures.disabled,
                               macroPictures.down);
    } else {
      rect = LayoutControl(*control, skinFile, section, skinKey);
    }
    if (rect.MarksHidden()) {
      d.hiddenBySkin.insert(key.id);
      control->setEnabled(false);
      control->hide();
    }
  }
  for (int column = 0; column < MacroActionModel::kColumnCount; ++column) {
    d.view->setColumnWidth(column, kColumnWidth);
  }
  d.view->setRowHeight(d.view->fontMetrics().height() + 4);
  UpdateEnabled();
  SetShown(d.shown);
}

void MacroPage::SetShown(bool shown) {
  Impl& d = *impl_;
  d.shown = shown;
  if (shown) {
    LoadPendingCopies();
    ReadPendingRecordDelay();
  }
  for (const auto& [id, control] : d.controls) {
    control->setVisible(shown && !d.hiddenBySkin.contains(id));
  }
}

void MacroPage::SetCaptions(int languageIndex) {
  Impl& d = *impl_;
  d.languageIndex = languageIndex;
  for (const CaptionKey& key : kCaptionKeys) {
    QWidget* control = d.controls.at(key.id);
    if (auto* button = qobject_cast<CPngButton*>(control)) {
      SetEditorCaption(*button, d.Text(key.textKey));
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
      label->setText(d.Text(key.textKey));
    }
  }
  UpdateRecordCaption();
  d.copies.Actions().SetLanguageIndex(languageIndex);
}

void MacroPage::UpdateRecordCaption() {
  Impl& d = *impl_;
  const char* key = d.copies.Recording() ? "IDS_MACRO_ACTION_STOP_RECORD"
                    : d.recordedOnce     ? "IDS_MACRO_ACTION_RECORD"
                                         : "IDS_COMPOSITE_MACRO_ACTION_RECORD";
  SetEditorCaption(*d.Button(kRecordId), d.Text(key));
}

void MacroPage::UpdateEnabled() {
  Impl& d = *impl_;
  const bool current = d.copies.Current() >= 0;
  for (int id : kMacroButtons) {
    d.controls.at(id)->setEnabled(current && !d.hiddenBySkin.contains(id));
  }
  const bool listFree = !d.copies.Recording();
  for (int id : {kAddId, kDeleteId, kListId}) {
    d.controls.at(id)->setEnabled(listFree && !d.hiddenBySkin.contains(id));
  }
}

void MacroPage::SyncList(bool keepTyped) {
  Impl& d = *impl_;
  QLineEdit* edit = d.list->lineEdit();
  const QString typed = edit->text();
  const int cursor = edit->cursorPosition();
  d.listBusy = true;
  const int n = d.copies.Count();
  while (d.list->count() > n) d.list->removeItem(d.list->count() - 1);
  for (int i = 0; i < n; ++i) {
    const QString name = d.copies.NameAt(i);
    if (i >= d.list->count()) {
      d.list->addItem(name);
    } else if (d.list->itemText(i) != name) {
      d.list->setItemText(i, name);
    }
  }
  const int current = d.copies.Current();
  if (d.list->currentIndex() != current) d.list->setCurrentIndex(current);
  if (keepTyped) {
    edit->setText(typed);
    edit->setCursorPosition(cursor);
  } else if (current >= 0 || !typed.isEmpty()) {
    // An empty field with no macro on show stays as it is.
    edit->setText(current >= 0 ? d.copies.NameAt(current) : QString());
  }
  d.listBusy = false;
}

void MacroPage::ShowSelectedRow(int row) {
  Impl& d = *impl_;
  d.viewBusy = true;
  d.view->setCurrentRow(row);
  d.view->scrollToRow(row);
  d.viewBusy = false;
}

void MacroPage::StartRecording() {
  Impl& d = *impl_;
  if (d.copies.Recording() || d.copies.Current() < 0) return;
  ReadPendingRecordDelay();
  CommitInPlaceEdit();
  d.copies.BeginRecording(d.context.hook.Now());
  d.recordedOnce = true;
  UpdateRecordCaption();
  d.Button(kRecordId)->SetSelected(true, true);
  UpdateEnabled();
  MacroWorkingCopies* copies = &d.copies;
  d.context.hook.Install(
      [copies](const KeyboardHook::Event& e) { return copies->OnLowLevelHook(e); },
      [copies](const KeyboardHook::Event& e) { return copies->OnThreadHook(e); });
}

// ---- Operations of the dialog ----------------------------------------------

void MacroPage::LoadWorkingCopies() {
  impl_->copiesPending = true;
  LoadPendingCopies();
}

void MacroPage::LoadWorkingCopiesWhenNeeded() {
  impl_->copiesPending = true;
  if (impl_->shown) LoadPendingCopies();
}

void MacroPage::LoadPendingCopies() const {
  Impl& d = *impl_;
  if (!d.copiesPending) return;
  d.copiesPending = false;
  d.copies.Load();
  d.cyclesBusy = true;
  d.cycles->setText(QStringLiteral("1"));
  d.cyclesBusy = false;
}

void MacroPage::ReadRecordDelay() {
  Impl& d = *impl_;
  d.recordDelayPending = false;
  const int value = d.context.appProfile.GetRecordDelay(d.context.language);
  d.copies.SetRecordDelay(value);
  d.recordDelay->setChecked(value == 1);
  d.context.appProfile.SetRecordDelay(d.context.language, d.copies.RecordDelay());
}

void MacroPage::ReadRecordDelayWhenNeeded() {
  impl_->recordDelayPending = true;
  if (impl_->shown) ReadRecordDelay();
}

void MacroPage::ReadPendingRecordDelay() {
  if (impl_->recordDelayPending) ReadRecordDelay();
}

void MacroPage::SelectByNumber(std::uint16_t number) {
  LoadPendingCopies();
  Impl& d = *impl_;
  if (d.copies.Count() == 0) return;
  const int position = number == 0 ? 0 : d.copies.PositionOfNumber(number);
  d.copies.Select(position < 0 ? 0 : position);
}

void MacroPage::ShowCurrentMacro() {
  LoadPendingCopies();
  impl_->copies.ShowCurrent();
  UpdateEnabled();
}

bool MacroPage::Recording() const { return impl_->copies.Recording(); }

void MacroPage::StopRecording() {
  Impl& d = *impl_;
  if (!d.copies.Recording()) return;
  d.context.hook.Remove();
  d.copies.EndRecording();
  UpdateRecordCaption();
  d.Button(kRecordId)->SetSelected(false, true);
  UpdateEnabled();
}

void MacroPage::CommitInPlaceEdit() { impl_->delegate->CommitOpen(); }

bool MacroPage::Commit() {
  LoadPendingCopies();
  return impl_->copies.Commit();
}

void MacroPage::FreeWorkingCopies() {
  impl_->copiesPending = false;
  impl_->delegate->DiscardOpen();
  impl_->copies.Free();
}

int MacroPage::MacroCount() const {
  LoadPendingCopies();
  return impl_->copies.Count();
}

int MacroPage::CurrentPosition() const {
  LoadPendingCopies();
  return impl_->copies.Current();
}

int MacroPage::Cycles() const {
  LoadPendingCopies();
  return impl_->copies.Cycles();
}

MacroWorkingCopies& MacroPage::WorkingCopies() {
  LoadPendingCopies();
  return impl_->copies;
}

QWidget* MacroPage::Control(int controlId) const {
  const auto found = impl_->controls.find(controlId);
  return found == impl_->controls.end() ? nullptr : found->second;
}

}  // namespace kst
