#pragma once

// The rows of the profile manager's list: one profile file per row, shown as
// its name and its folder, with a check mark on the row of the profile the
// keyboard is to use. No widgets: the dialog shows it in a table view.
//
// At most one row is checked. Only the first kCheckableRows rows can carry
// the mark: the keyboard holds profiles 0-3 and the row number is the
// profile asked for, so a later row (added by Add or Load) has no check box.

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <vector>

namespace kst {

class ProfileListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column : int { kActiveColumn = 0, kNameColumn = 1, kFolderColumn = 2, kColumnCount = 3 };
  // Profiles the keyboard holds; rows from this number on cannot be checked.
  static constexpr int kCheckableRows = 4;

  struct Row {
    QString name;    // file name without folder and extension
    QString folder;  // the file's folder, native separators, with the trailing separator
    bool checked = false;
  };

  explicit ProfileListModel(QObject* parent = nullptr);

  // The row a file path gives: its name without the last extension and its
  // absolute folder.
  static Row RowForPath(const QString& path);
  // The headings of the three columns.
  static QStringList Headings();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Qt::CheckStateRole of column 0: Checked marks the row and clears the
  // mark of every other; Unchecked clears it. Refused (false) for a row that
  // cannot be checked and for every other role and column.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  // Replaces every row; the marks given are dropped.
  void SetPaths(const QStringList& paths);
  void AppendPath(const QString& path);
  // false when there is no such row.
  bool RemoveRow(int row);

  // Marks the row as the only checked one: false (and nothing changed) for a
  // row that does not exist or cannot be checked. -1 clears every mark.
  bool CheckRow(int row);
  // The checked row; -1 for none.
  int CheckedRow() const;
  bool Checkable(int row) const { return row >= 0 && row < kCheckableRows && row < RowCount(); }

  int RowCount() const { return static_cast<int>(rows_.size()); }
  const Row& At(int row) const { return rows_.at(static_cast<size_t>(row)); }
  // The row's file as the registry keeps it: folder + name + ".kst".
  QString RegistryPath(int row) const;

 signals:
  // The checked row changed, from the view or through CheckRow.
  void CheckChanged();

 private:
  // Sets the mark of exactly `row` (-1: none), telling the view of each
  // row whose mark changed.
  void MarkOnly(int row);

  std::vector<Row> rows_;
};

}  // namespace kst
