// The macro page's action list view on its own: current row and keys, scrolling,
// painting only what shows, and the in-place editor against rows that come and go.

#include <gtest/gtest.h>

#include <QAbstractTableModel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>

#include <memory>
#include <set>
#include <vector>

#include "editors/ActionListView.h"

namespace kst {
namespace {

// Rows of three texts; records which rows were read for display.
class TextRows : public QAbstractTableModel {
 public:
  explicit TextRows(int rows) {
    for (int i = 0; i < rows; ++i) rows_.push_back(QString::number(i));
  }
  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : 3;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::DisplayRole) readRows.insert(index.row());
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    return rows_[static_cast<std::size_t>(index.row())] + u'/' + QString::number(index.column());
  }
  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (!index.isValid() || role != Qt::EditRole) return false;
    rows_[static_cast<std::size_t>(index.row())] = value.toString();
    emit dataChanged(index, index);
    return true;
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
  }
  QVariant headerData(int section, Qt::Orientation, int role) const override {
    return role == Qt::DisplayRole ? QVariant(QStringLiteral("H%1").arg(section)) : QVariant();
  }
  void Insert(int row, const QString& text) {
    beginInsertRows({}, row, row);
    rows_.insert(rows_.begin() + row, text);
    endInsertRows();
  }
  void Remove(int row) {
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
  }
  QString Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  mutable std::set<int> readRows;

 private:
  std::vector<QString> rows_;
};

class ActionListViewTest : public ::testing::Test {
 protected:
  void Make(int rows) {
    model = std::make_unique<TextRows>(rows);
    view = std::make_unique<ActionListView>();
    delegate = std::make_unique<QStyledItemDelegate>();
    view->setModel(model.get());
    view->setItemDelegate(delegate.get());
    for (int c = 0; c < 3; ++c) view->setColumnWidth(c, 100);
    view->setRowHeight(20);
    view->resize(340, 230);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  }
  int VisibleRows() const { return view->viewport()->height() / view->rowHeight() + 1; }
  bool RowShows(int row) const {
    const QRect cell = view->visualRect(model->index(row, 0));
    return view->viewport()->rect().contains(cell);
  }
  void ClickCell(int row, int column) {
    view->scrollToRow(row);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(model->index(row, column)).center());
  }

  std::unique_ptr<TextRows> model;
  std::unique_ptr<QStyledItemDelegate> delegate;
  std::unique_ptr<ActionListView> view;
};

TEST_F(ActionListViewTest, KeysMoveTheCurrentRowAndStopAtTheEdges) {
  Make(50);
  const int page = view->viewport()->height() / view->rowHeight();
  struct Case {
    int from;
    Qt::Key key;
    int to;
  };
  const Case cases[] = {
      {-1, Qt::Key_Down, 0},     {-1, Qt::Key_Up, 0},    {0, Qt::Key_Up, 0},
      {0, Qt::Key_Down, 1},      {49, Qt::Key_Down, 49}, {49, Qt::Key_Up, 48},
      {20, Qt::Key_Home, 0},     {20, Qt::Key_End, 49},  {0, Qt::Key_PageDown, page},
      {page, Qt::Key_PageUp, 0}, {3, Qt::Key_PageUp, 0}, {47, Qt::Key_PageDown, 49},
      {-1, Qt::Key_End, 49},
  };
  for (const Case& c : cases) {
    view->setCurrentRow(c.from);
    QTest::keyClick(view.get(), c.key);
    EXPECT_EQ(view->currentRow(), c.to) << c.from << " key " << c.key;
    EXPECT_TRUE(RowShows(c.to)) << c.from << " key " << c.key;
  }
}

TEST_F(ActionListViewTest, AnEmptyListKeepsNoCurrentRowWhateverTheKey) {
  Make(0);
  QSignalSpy changed(view.get(), &ActionListView::currentRowChanged);
  for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_PageDown}) {
    QTest::keyClick(view.get(), key);
    EXPECT_EQ(view->currentRow(), -1) << key;
  }
  view->setCurrentRow(0);
  EXPECT_EQ(view->currentRow(), -1);
  EXPECT_EQ(changed.count(), 0);
}

TEST_F(ActionListViewTest, ScrollToRowBringsTheRowIntoViewFromEitherSide) {
  Make(2000);
  for (int row : {1999, 1500, 0, 1000, 1001}) {
    view->setCurrentRow(row);
    view->scrollToRow(row);
    EXPECT_TRUE(RowShows(row)) << row;
    EXPECT_EQ(view->rowAt(view->visualRect(model->index(row, 1)).center().y()), row);
  }
  // Rows just added can be scrolled to at once, before the event loop runs.
  for (int i = 0; i < 50; ++i) model->Insert(model->rowCount(), QStringLiteral("added"));
  view->scrollToRow(2049);
  EXPECT_TRUE(RowShows(2049));
  EXPECT_TRUE(QTest::qWaitFor([this] {
    return view->verticalScrollBar()->maximum() ==
           2050 * view->rowHeight() - view->viewport()->height();
  }));
  // Out of range changes nothing.
  const int scrolled = view->verticalScrollBar()->value();
  view->scrollToRow(model->rowCount());
  view->scrollToRow(-1);
  EXPECT_EQ(view->verticalScrollBar()->value(), scrolled);
}

TEST_F(ActionListViewTest, PaintReadsOnlyTheRowsOnShow) {
  Make(2000);
  for (int row : {0, 1000, 1999}) {
    view->scrollToRow(row);
    model->readRows.clear();
    view->viewport()->repaint();
    ASSERT_FALSE(model->readRows.empty()) << row;
    EXPECT_LE(static_cast<int>(model->readRows.size()), VisibleRows()) << row;
    EXPECT_TRUE(model->readRows.contains(row)) << row;
  }
}

TEST_F(ActionListViewTest, AClickSelectsTheRowAndOpensItsCellsEditorWhichCommitsIntoTheModel) {
  Make(100);
  QObject::connect(view.get(), &ActionListView::clicked, view.get(),
                   [this](const QModelIndex& index) { view->edit(index); });
  ClickCell(60, 1);
  EXPECT_EQ(view->currentRow(), 60);
  auto* edit = qobject_cast<QLineEdit*>(view->OpenEditor());
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->text(), QStringLiteral("60/1"));
  EXPECT_TRUE(view->visualRect(model->index(60, 1)).contains(edit->geometry().center()));
  edit->setText(QStringLiteral("typed"));
  QTest::keyClick(edit, Qt::Key_Return);  // the delegate ends the edit from the event loop
  EXPECT_TRUE(QTest::qWaitFor([this] { return view->OpenEditor() == nullptr; }));
  EXPECT_EQ(model->Row(60), QStringLiteral("typed"));

  // A second edit opened over an open one keeps what the first held.
  ClickCell(2, 0);
  edit = qobject_cast<QLineEdit*>(view->OpenEditor());
  ASSERT_NE(edit, nullptr);
  edit->setText(QStringLiteral("first"));
  ClickCell(3, 2);
  EXPECT_EQ(model->Row(2), QStringLiteral("first"));
  ASSERT_NE(view->OpenEditor(), nullptr);
  QTest::keyClick(view->OpenEditor(), Qt::Key_Escape);
  EXPECT_TRUE(QTest::qWaitFor([this] { return view->OpenEditor() == nullptr; }));
  EXPECT_EQ(model->Row(3), QStringLiteral("3"));
}

TEST_F(ActionListViewTest, AClickBesideTheColumnsOnlySignalsIt) {
  Make(5);
  view->setCurrentRow(1);
  QSignalSpy beside(view.get(), &ActionListView::besideColumnsClicked);
  QSignalSpy clicked(view.get(), &ActionListView::clicked);
  const int y = view->visualRect(model->index(3, 0)).center().y();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(310, y));
  EXPECT_EQ(beside.count(), 1);
  EXPECT_EQ(clicked.count(), 0);
  EXPECT_EQ(view->currentRow(), 1);
  // Below the last row is no row at all.
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(310, 200));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(50, 200));
  EXPECT_EQ(beside.count(), 1);
  EXPECT_EQ(view->currentRow(), 1);
}

TEST_F(ActionListViewTest, TheCurrentRowAndTheOpenEditorFollowRowsThatComeAndGo) {
  Make(10);
  view->setCurrentRow(4);
  view->edit(model->index(4, 2));
  QWidget* editor = view->OpenEditor();
  ASSERT_NE(editor, nullptr);
  QSignalSpy changed(view.get(), &ActionListView::currentRowChanged);

  model->Insert(0, QStringLiteral("new"));  // above: both move down a row
  EXPECT_EQ(view->currentRow(), 5);
  EXPECT_EQ(view->OpenEditor(), editor);
  EXPECT_TRUE(view->visualRect(model->index(5, 2)).contains(editor->geometry().center()));
  model->Insert(9, QStringLiteral("below"));  // below: nothing moves
  EXPECT_EQ(view->currentRow(), 5);
  EXPECT_TRUE(view->visualRect(model->index(5, 2)).contains(editor->geometry().center()));
  model->Remove(0);
  EXPECT_EQ(view->currentRow(), 4);
  EXPECT_TRUE(view->visualRect(model->index(4, 2)).contains(editor->geometry().center()));
  EXPECT_EQ(changed.count(), 0);

  // The edited row goes: the editor closes and writes nowhere.
  qobject_cast<QLineEdit*>(editor)->setText(QStringLiteral("lost"));
  model->Remove(4);
  EXPECT_EQ(view->OpenEditor(), nullptr);
  for (int row = 0; row < model->rowCount(); ++row) EXPECT_NE(model->Row(row), "lost") << row;
  // The row after the removed current one becomes current.
  EXPECT_EQ(view->currentRow(), 4);
  EXPECT_EQ(changed.count(), 1);
  // The last row removed while current: the one above it.
  view->setCurrentRow(model->rowCount() - 1);
  model->Remove(model->rowCount() - 1);
  EXPECT_EQ(view->currentRow(), model->rowCount() - 1);
}

TEST_F(ActionListViewTest, ADetachedModelClosesTheEditorAndClearsTheRow) {
  Make(10);
  view->setCurrentRow(3);
  view->edit(model->index(3, 0));
  ASSERT_NE(view->OpenEditor(), nullptr);
  view->setModel(nullptr);
  EXPECT_EQ(view->OpenEditor(), nullptr);
  EXPECT_EQ(view->currentRow(), -1);
  view->viewport()->repaint();  // nothing to draw, nothing to read
  view->setModel(model.get());
  EXPECT_EQ(view->currentIndex(), QModelIndex());
  view->setCurrentRow(9);
  EXPECT_EQ(view->currentIndex(), model->index(9, 0));
}

}  // namespace
}  // namespace kst
