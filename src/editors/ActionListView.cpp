#include "editors/ActionListView.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <limits>

namespace kst {

namespace {

// The column headings: their size is measured once per text, not again
// whenever the list changes (the toolkit measures every heading's text each
// time it is asked).
class ColumnHeader : public QHeaderView {
 public:
  explicit ColumnHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    connect(this, &QHeaderView::sectionCountChanged, this, [this] { hint_ = QSize(); });
  }
  QSize sizeHint() const override {
    if (!hint_.isValid()) hint_ = QHeaderView::sizeHint();
    return hint_;
  }
  void setModel(QAbstractItemModel* model) override {
    QHeaderView::setModel(model);
    hint_ = QSize();
    if (model) {
      connect(model, &QAbstractItemModel::headerDataChanged, this, [this] { hint_ = QSize(); });
    }
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
      hint_ = QSize();
    return QHeaderView::event(event);
  }

 private:
  mutable QSize hint_;
};

// The scroll bar: its size is worked out once per style, not again at each
// row that comes or goes.
class ActionScrollBar : public QScrollBar {
 public:
  explicit ActionScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}
  QSize sizeHint() const override {
    if (!hint_.isValid()) hint_ = QScrollBar::sizeHint();
    return hint_;
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
      hint_ = QSize();
    return QScrollBar::event(event);
  }

 private:
  mutable QSize hint_;
};

}  // namespace

ActionListView::ActionListView(QWidget* parent) : QAbstractScrollArea(parent) {
  setVerticalScrollBar(new ActionScrollBar(this));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::StrongFocus);
  header_ = new ColumnHeader(this);
  header_->setSectionResizeMode(QHeaderView::Fixed);
  header_->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header_->setStretchLastSection(false);
  header_->setSectionsClickable(false);
  header_->setFocusPolicy(Qt::NoFocus);
  viewport()->setBackgroundRole(QPalette::Base);
  UpdateHeaderGeometry();
}

ActionListView::~ActionListView() { setModel(nullptr); }

void ActionListView::setModel(QAbstractItemModel* model) {
  if (model == model_) return;
  if (editor_) CloseEditor(editor_);
  for (const QMetaObject::Connection& c : modelConnections_) disconnect(c);
  modelConnections_.clear();
  model_ = model;
  header_->setModel(model);
  current_ = -1;
  if (model_) {
    modelConnections_ = {
        connect(model_, &QAbstractItemModel::rowsInserted, this, &ActionListView::OnRowsInserted),
        connect(model_, &QAbstractItemModel::rowsRemoved, this, &ActionListView::OnRowsRemoved),
        connect(model_, &QAbstractItemModel::modelReset, this, &ActionListView::OnReset),
        connect(model_, &QAbstractItemModel::layoutChanged, this,
                [this] {
                  PlaceEditor();
                  viewport()->update();
                }),
        connect(model_, &QAbstractItemModel::rowsMoved, this,
                [this] {
                  PlaceEditor();
                  viewport()->update();
                }),
        connect(model_, &QAbstractItemModel::dataChanged, viewport(),
                qOverload<>(&QWidget::update)),
        connect(model_, &QObject::destroyed, this,
                [this] {
                  model_ = nullptr;
                  modelConnections_.clear();
                  current_ = -1;
                  UpdateScrollRange();
                }),
    };
  }
  UpdateScrollRange();
  viewport()->update();
}

void ActionListView::setItemDelegate(QAbstractItemDelegate* delegate) {
  if (delegate_) delegate_->disconnect(this);
  delegate_ = delegate;
  if (!delegate) return;
  connect(delegate, &QAbstractItemDelegate::commitData, this, &ActionListView::CommitEditor);
  connect(delegate, &QAbstractItemDelegate::closeEditor, this,
          [this](QWidget* editor) { CloseEditor(editor); });
  viewport()->update();
}

void ActionListView::setRowHeight(int height) {
  rowHeight_ = std::max(1, height);
  UpdateScrollRange();
  PlaceEditor();
  viewport()->update();
}

void ActionListView::setColumnWidth(int column, int width) {
  header_->resizeSection(column, width);
  PlaceEditor();
  viewport()->update();
}

int ActionListView::columnWidth(int column) const { return header_->sectionSize(column); }

int ActionListView::RowCount() const { return model_ ? model_->rowCount() : 0; }

int ActionListView::ColumnCount() const { return model_ ? model_->columnCount() : 0; }

int ActionListView::ColumnLeft(int column) const { return header_->sectionPosition(column); }

int ActionListView::ContentWidth() const { return header_->length(); }

int ActionListView::PageRows() const { return std::max(1, viewport()->height() / rowHeight_); }

QModelIndex ActionListView::currentIndex() const {
  return model_ && current_ >= 0 ? model_->index(current_, 0) : QModelIndex();
}

void ActionListView::setCurrentRow(int row) {
  if (row < 0 || row >= RowCount()) row = -1;
  if (row == current_) return;
  const int before = current_;
  current_ = row;
  const QRect width(0, 0, viewport()->width(), rowHeight_);
  const int top = verticalScrollBar()->value();
  if (before >= 0) viewport()->update(width.translated(0, before * rowHeight_ - top));
  if (row >= 0) viewport()->update(width.translated(0, row * rowHeight_ - top));
  emit currentRowChanged(row);
}

void ActionListView::scrollTo(const QModelIndex& index) {
  if (index.isValid()) scrollToRow(index.row());
}

void ActionListView::scrollToRow(int row) {
  if (row < 0 || row >= RowCount()) return;
  QScrollBar* bar = verticalScrollBar();
  const int top = row * rowHeight_;
  const int bottom = top + rowHeight_;
  const bool above = top < bar->value();
  const bool below = bottom > bar->value() + viewport()->height();
  if (!above && !below) return;
  if (rangePending_) UpdateScrollRange();
  bar->setValue(above ? top : bottom - viewport()->height());
}

QRect ActionListView::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != model_ || index.column() >= ColumnCount()) return {};
  return QRect(ColumnLeft(index.column()), index.row() * rowHeight_ - verticalScrollBar()->value(),
               columnWidth(index.column()), rowHeight_);
}

int ActionListView::rowAt(int viewportY) const {
  if (viewportY < 0) return -1;
  const int row = (viewportY + verticalScrollBar()->value()) / rowHeight_;
  return row < RowCount() ? row : -1;
}

QModelIndex ActionListView::indexAt(const QPoint& viewportPoint) const {
  const int row = rowAt(viewportPoint.y());
  const int column = header_->logicalIndexAt(viewportPoint.x());
  if (row < 0 || column < 0 || !model_) return {};
  return model_->index(row, column);
}

void ActionListView::DeferScrollRange() {
  // Rows recorded one by one move the range once per turn of the event loop,
  // not once per row: each move of it relays the scroll bar out.
  if (rangePending_) return;
  rangePending_ = true;
  QMetaObject::invokeMethod(
      this, [this] { UpdateScrollRange(); }, Qt::QueuedConnection);
}

void ActionListView::UpdateScrollRange() {
  rangePending_ = false;
  const qint64 content = qint64(RowCount()) * rowHeight_;
  const qint64 room = viewport()->height();
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, int(std::clamp<qint64>(content - room, 0, std::numeric_limits<int>::max())));
  bar->setPageStep(viewport()->height());
  bar->setSingleStep(rowHeight_);
}

void ActionListView::UpdateHeaderGeometry() {
  const int height = header_->sizeHint().height();
  setViewportMargins(0, height, 0, 0);
  const QRect area = viewport()->geometry();
  header_->setGeometry(area.left(), area.top() - height, area.width(), height);
}

void ActionListView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateHeaderGeometry();
  UpdateScrollRange();
  PlaceEditor();
}

void ActionListView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
    UpdateHeaderGeometry();
}

void ActionListView::scrollContentsBy(int, int) {
  // A repaint later, not a blit now: the rows shown are few, and the list's
  // rounded, translucent frame would make the toolkit's scroll repaint it all
  // anyway, at once.
  viewport()->update();
  PlaceEditor();
}

QStyleOptionViewItem ActionListView::CellOption(int row, int column) const {
  QStyleOptionViewItem option;
  option.initFrom(viewport());
  option.palette = palette();
  option.font = font();
  option.fontMetrics = fontMetrics();
  option.state |= QStyle::State_Enabled;
  if (isActiveWindow()) option.state |= QStyle::State_Active;
  if (!isEnabled()) option.state &= ~QStyle::State_Enabled;
  if (row == current_) option.state |= QStyle::State_Selected;
  option.features = QStyleOptionViewItem::HasDisplay;
  option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  option.rect = QRect(ColumnLeft(column), row * rowHeight_ - verticalScrollBar()->value(),
                      columnWidth(column), rowHeight_);
  return option;
}

void ActionListView::paintEvent(QPaintEvent* event) {
  if (!model_ || !delegate_) return;
  const int rows = RowCount();
  const int columns = ColumnCount();
  const QRect dirty = event->rect();
  const int top = verticalScrollBar()->value();
  const int first = std::max(0, (dirty.top() + top) / rowHeight_);
  const int last = std::min(rows - 1, (dirty.bottom() + top) / rowHeight_);
  QPainter painter(viewport());
  for (int row = first; row <= last; ++row) {
    for (int column = 0; column < columns; ++column) {
      const QStyleOptionViewItem option = CellOption(row, column);
      if (!option.rect.intersects(dirty)) continue;
      painter.save();
      delegate_->paint(&painter, option, model_->index(row, column));
      painter.restore();
    }
  }
}

bool ActionListView::viewportEvent(QEvent* event) {
  // Selected rows are drawn in the window's active or inactive colours.
  if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
    viewport()->update();
  return QAbstractScrollArea::viewportEvent(event);
}

void ActionListView::mousePressEvent(QMouseEvent* event) {
  pressedRow_ = pressedColumn_ = -1;
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  const QPoint at = event->position().toPoint();
  const int row = rowAt(at.y());
  if (row < 0) return;
  if (at.x() >= ContentWidth()) {
    emit besideColumnsClicked();
    event->accept();
    return;
  }
  setFocus(Qt::MouseFocusReason);
  setCurrentRow(row);
  pressedRow_ = row;
  pressedColumn_ = header_->logicalIndexAt(at.x());
  event->accept();
}

void ActionListView::mouseReleaseEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  const bool same = index.isValid() && index.row() == pressedRow_ &&
                    index.column() == pressedColumn_ && event->button() == Qt::LeftButton;
  pressedRow_ = pressedColumn_ = -1;
  if (same) emit clicked(index);
  event->accept();
}

void ActionListView::keyPressEvent(QKeyEvent* event) {
  const int rows = RowCount();
  int row = current_;
  switch (event->key()) {
    case Qt::Key_Up:
      row = row < 0 ? 0 : row - 1;
      break;
    case Qt::Key_Down:
      row = row < 0 ? 0 : row + 1;
      break;
    case Qt::Key_Home:
      row = 0;
      break;
    case Qt::Key_End:
      row = rows - 1;
      break;
    case Qt::Key_PageUp:
      row = row < 0 ? 0 : row - PageRows();
      break;
    case Qt::Key_PageDown:
      row = row < 0 ? 0 : row + PageRows();
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
  if (rows == 0) return;
  row = std::clamp(row, 0, rows - 1);
  setCurrentRow(row);
  scrollToRow(row);
}

void ActionListView::edit(const QModelIndex& index) {
  if (!delegate_ || !model_ || !index.isValid() || index.model() != model_) return;
  if (editor_) {
    CommitEditor(editor_);
    CloseEditor(editor_);
  }
  scrollToRow(index.row());
  const QStyleOptionViewItem option = CellOption(index.row(), index.column());
  QWidget* editor = delegate_->createEditor(viewport(), option, index);
  if (!editor) return;
  editor_ = editor;
  editorIndex_ = index;
  editor->installEventFilter(delegate_);
  delegate_->setEditorData(editor, index);
  delegate_->updateEditorGeometry(editor, option, index);
  editor->show();
  editor->setFocus(Qt::OtherFocusReason);
}

void ActionListView::PlaceEditor() {
  if (!editor_ || !delegate_) return;
  if (!editorIndex_.isValid()) return;
  const QModelIndex index = editorIndex_;
  delegate_->updateEditorGeometry(editor_, CellOption(index.row(), index.column()), index);
}

void ActionListView::CommitEditor(QWidget* editor) {
  if (!editor || editor != editor_ || !delegate_ || !model_ || !editorIndex_.isValid()) return;
  delegate_->setModelData(editor, model_, editorIndex_);
}

void ActionListView::CloseEditor(QWidget* editor) {
  if (!editor || editor != editor_) return;
  const bool hadFocus =
      editor->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == editor;
  editor_ = nullptr;
  editor->removeEventFilter(delegate_);
  editor->hide();
  const QModelIndex index = editorIndex_;
  editorIndex_ = QPersistentModelIndex();
  if (delegate_) {
    delegate_->destroyEditor(editor, index);
  } else {
    editor->deleteLater();
  }
  if (hadFocus) setFocus(Qt::OtherFocusReason);
}

void ActionListView::OnRowsInserted(const QModelIndex& parent, int first, int last) {
  if (parent.isValid()) return;
  DeferScrollRange();
  // The current row moves with its row: still the same row, so no signal.
  if (current_ >= first) current_ += last - first + 1;
  PlaceEditor();
  // Rows from `first` down move; the ones above stay as they are.
  const int y = first * rowHeight_ - verticalScrollBar()->value();
  if (y < viewport()->height())
    viewport()->update(0, std::max(0, y), viewport()->width(), viewport()->height());
}

void ActionListView::OnRowsRemoved(const QModelIndex& parent, int first, int last) {
  if (parent.isValid()) return;
  // An editor over a removed row goes without a word to the model.
  if (editor_ && !editorIndex_.isValid()) CloseEditor(editor_);
  DeferScrollRange();
  if (current_ > last) {
    current_ -= last - first + 1;
  } else if (current_ >= first) {
    const int rows = RowCount();
    current_ = first < rows ? first : rows - 1;
    emit currentRowChanged(current_);
  }
  PlaceEditor();
  viewport()->update();
}

void ActionListView::OnReset() {
  if (editor_) CloseEditor(editor_);
  const bool had = current_ >= 0;
  current_ = -1;
  UpdateScrollRange();
  if (had) emit currentRowChanged(-1);
  viewport()->update();
}

}  // namespace kst
