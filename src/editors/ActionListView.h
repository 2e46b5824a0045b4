#pragma once

#include <QAbstractScrollArea>
#include <QPersistentModelIndex>
#include <QPointer>

class QAbstractItemDelegate;
class QAbstractItemModel;
class QHeaderView;
class QStyleOptionViewItem;

namespace kst {

// A list of table rows of one height: a row's place is its number times the
// height, so a row coming or going costs the same however many rows there are.
// One current row (selected), the model's columns at fixed widths under a
// header, and one in-place editor at a time from the delegate.
class ActionListView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit ActionListView(QWidget* parent = nullptr);
  ~ActionListView() override;

  // The model is not owned; nullptr detaches (closing any editor).
  void setModel(QAbstractItemModel* model);
  QAbstractItemModel* model() const { return model_; }
  // Not owned; paints the cells and makes the editors.
  void setItemDelegate(QAbstractItemDelegate* delegate);

  void setRowHeight(int height);
  int rowHeight() const { return rowHeight_; }
  void setColumnWidth(int column, int width);
  int columnWidth(int column) const;
  QHeaderView* header() const { return header_; }

  // -1 when no row is current.
  int currentRow() const { return current_; }
  QModelIndex currentIndex() const;
  // Makes `row` current (and selected); out of range clears the selection.
  void setCurrentRow(int row);
  void setCurrentIndex(const QModelIndex& index) {
    setCurrentRow(index.isValid() ? index.row() : -1);
  }
  void scrollTo(const QModelIndex& index);
  void scrollToRow(int row);

  // The cell's rectangle in viewport coordinates (empty when out of range).
  QRect visualRect(const QModelIndex& index) const;
  QModelIndex indexAt(const QPoint& viewportPoint) const;
  int rowAt(int viewportY) const;

  // Opens the delegate's editor over the cell; an open one is committed first.
  void edit(const QModelIndex& index);
  QWidget* OpenEditor() const { return editor_; }

 signals:
  void currentRowChanged(int row);
  void clicked(const QModelIndex& index);
  // A click on a row, but right of the last column.
  void besideColumnsClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int RowCount() const;
  int ColumnCount() const;
  int ColumnLeft(int column) const;
  int ContentWidth() const;
  int PageRows() const;
  void UpdateScrollRange();
  void DeferScrollRange();
  void UpdateHeaderGeometry();
  void PlaceEditor();
  void CloseEditor(QWidget* editor);
  void CommitEditor(QWidget* editor);
  QStyleOptionViewItem CellOption(int row, int column) const;
  void OnRowsInserted(const QModelIndex& parent, int first, int last);
  void OnRowsRemoved(const QModelIndex& parent, int first, int last);
  void OnReset();

  QAbstractItemModel* model_ = nullptr;
  QPointer<QAbstractItemDelegate> delegate_;
  QHeaderView* header_ = nullptr;
  int rowHeight_ = 20;
  int current_ = -1;
  bool rangePending_ = false;
  int pressedRow_ = -1;
  int pressedColumn_ = -1;
  QPointer<QWidget> editor_;
  QPersistentModelIndex editorIndex_;
  QList<QMetaObject::Connection> modelConnections_;
};

}  // namespace kst
