#include "editors/profiles/ProfileListModel.h"

#include <QDir>
#include <QFileInfo>

#include "store/ProfileFiles.h"

namespace kst {

ProfileListModel::ProfileListModel(QObject* parent) : QAbstractTableModel(parent) {}

ProfileListModel::Row ProfileListModel::RowForPath(const QString& path) {
  const QFileInfo info(path);
  QString folder = QDir::toNativeSeparators(info.absolutePath());
  if (!folder.endsWith(QDir::separator())) folder += QDir::separator();
  return {info.completeBaseName(), folder, false};
}

QStringList ProfileListModel::Headings() {
  return {QStringLiteral("激活"), QStringLiteral("名称"), QStringLiteral("路径")};
}

int ProfileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : RowCount();
}

int ProfileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant ProfileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RowCount()) return {};
  const Row& row = At(index.row());
  switch (index.column()) {
    case kActiveColumn:
      if (role == Qt::CheckStateRole && Checkable(index.row()))
        return row.checked ? Qt::Checked : Qt::Unchecked;
      return {};
    case kNameColumn:
      if (role == Qt::DisplayRole) return row.name;
      if (role == Qt::ToolTipRole) return row.folder + row.name;
      return {};
    case kFolderColumn:
      if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return row.folder;
      return {};
    default:
      return {};
  }
}

QVariant ProfileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return Headings().at(section);
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  return {};
}

Qt::ItemFlags ProfileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == kActiveColumn && Checkable(index.row())) result |= Qt::ItemIsUserCheckable;
  return result;
}

bool ProfileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::CheckStateRole || index.column() != kActiveColumn ||
      !Checkable(index.row()))
    return false;
  const bool checked = value.toInt() == Qt::Checked;
  const int wanted = checked ? index.row() : (At(index.row()).checked ? -1 : CheckedRow());
  if (wanted != CheckedRow()) {
    MarkOnly(wanted);
    emit CheckChanged();
  }
  return true;
}

void ProfileListModel::SetPaths(const QStringList& paths) {
  beginResetModel();
  rows_.clear();
  for (const QString& path : paths) rows_.push_back(RowForPath(path));
  endResetModel();
}

void ProfileListModel::AppendPath(const QString& path) {
  const int row = RowCount();
  beginInsertRows({}, row, row);
  rows_.push_back(RowForPath(path));
  endInsertRows();
}

bool ProfileListModel::RemoveRow(int row) {
  if (row < 0 || row >= RowCount()) return false;
  const bool wasChecked = At(row).checked;
  beginRemoveRows({}, row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
  // The rows below move up; the mark goes with its row, which stays among
  // the checkable ones.
  if (wasChecked) emit CheckChanged();
  return true;
}

bool ProfileListModel::CheckRow(int row) {
  if (row != -1 && !Checkable(row)) return false;
  if (row != CheckedRow()) {
    MarkOnly(row);
    emit CheckChanged();
  }
  return true;
}

int ProfileListModel::CheckedRow() const {
  for (int i = 0; i < RowCount(); ++i)
    if (At(i).checked) return i;
  return -1;
}

QString ProfileListModel::RegistryPath(int row) const {
  const Row& entry = At(row);
  return entry.folder + entry.name + QLatin1Char('.') + QLatin1String(kExchangeFileExtension);
}

void ProfileListModel::MarkOnly(int row) {
  for (int i = 0; i < RowCount(); ++i) {
    Row& entry = rows_[static_cast<size_t>(i)];
    const bool checked = i == row;
    if (entry.checked == checked) continue;
    entry.checked = checked;
    const QModelIndex cell = index(i, kActiveColumn);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
  }
}

}  // namespace kst
