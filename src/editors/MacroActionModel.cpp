#include "editors/MacroActionModel.h"

#include "editors/MacroWorkingCopies.h"
#include "foundation/Language.h"

namespace kst {

namespace {

constexpr const char* kHeadingKeys[MacroActionModel::kColumnCount] = {
    "IDS_MACRO_MACRO_ACTION_COLUME_KEYS",
    "IDS_MACRO_MACRO_ACTION_COLUME_ACTION",
    "IDS_MACRO_MACRO_ACTION_COLUME_DELAY",
};

}  // namespace

QString MacroActionModel::DirectionText(std::uint16_t direction) {
  return direction == kEventRelease ? QStringLiteral("  \u2191") : QStringLiteral("\u2193");
}

MacroActionModel::MacroActionModel(MacroWorkingCopies& owner, Language& language, QObject* parent)
    : QAbstractTableModel(parent), owner_(owner), language_(language) {}

MacroActionModel::~MacroActionModel() = default;

int MacroActionModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MacroActionModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant MacroActionModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
  const MacroEvent& event = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kKeyColumn:
          return KeyName(event.key);
        case kDirectionColumn:
          return DirectionText(event.direction);
        case kDelayColumn:
          return QString::number(event.delayMs);
      }
      return {};
    case Qt::EditRole:
      switch (index.column()) {
        case kKeyColumn:
          return static_cast<uint>(KeyIdFromKeyIndex(event.key));
        case kDirectionColumn:
          return static_cast<uint>(event.direction);
        case kDelayColumn:
          return QString::number(event.delayMs);
      }
      return {};
    case kGreyTextRole:
      return index.column() == kKeyColumn || index.column() == kDirectionColumn;
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  }
  return {};
}

QVariant MacroActionModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  }
  if (role != Qt::DisplayRole) return {};
  const QString key = QString::fromLatin1(kHeadingKeys[section]);
  return languageIndex_ < 0 ? language_.LoadLangText(key)
                            : language_.LoadLangText(key, languageIndex_);
}

Qt::ItemFlags MacroActionModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool MacroActionModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.row() >= rowCount()) return false;
  switch (index.column()) {
    case kKeyColumn: {
      bool ok = false;
      const uint id = value.toUInt(&ok);
      return ok && id <= 0xFFFF && owner_.EditKey(index.row(), static_cast<std::uint16_t>(id));
    }
    case kDirectionColumn: {
      bool ok = false;
      const uint direction = value.toUInt(&ok);
      return ok && direction <= 0xFFFF &&
             owner_.EditDirection(index.row(), static_cast<std::uint16_t>(direction));
    }
    case kDelayColumn:
      return owner_.EditDelay(index.row(), value.toString());
  }
  return false;
}

QString MacroActionModel::KeyName(KeyIndex key) const {
  auto found = keyNames_.find(key);
  if (found == keyNames_.end())
    found = keyNames_.emplace(key, KeyNameFromKeyIndex(key, language_)).first;
  return found->second;
}

void MacroActionModel::SetLanguageIndex(int languageIndex) {
  languageIndex_ = languageIndex;
  keyNames_.clear();
  emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
  if (!rows_.empty()) {
    emit dataChanged(index(0, kKeyColumn), index(rowCount() - 1, kKeyColumn), {Qt::DisplayRole});
  }
}

void MacroActionModel::Reset(std::span<const MacroEvent> events) {
  beginResetModel();
  rows_.assign(events.begin(), events.end());
  endResetModel();
}

void MacroActionModel::InsertRow(int position, const MacroEvent& event) {
  beginInsertRows(QModelIndex(), position, position);
  rows_.insert(rows_.begin() + position, event);
  endInsertRows();
}

void MacroActionModel::RemoveRow(int row) {
  beginRemoveRows(QModelIndex(), row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
}

void MacroActionModel::MoveRow(int from, int to) {
  if (from == to) return;
  // Qt's destination is the row before which the moved row lands, counted
  // before the move.
  const int destination = to > from ? to + 1 : to;
  beginMoveRows(QModelIndex(), from, from, QModelIndex(), destination);
  const MacroEvent moved = rows_[static_cast<std::size_t>(from)];
  rows_.erase(rows_.begin() + from);
  rows_.insert(rows_.begin() + to, moved);
  endMoveRows();
}

void MacroActionModel::SetDelay(int row, std::uint32_t delayMs) {
  rows_[static_cast<std::size_t>(row)].delayMs = delayMs;
  CellChanged(row, kDelayColumn);
}

void MacroActionModel::SetKey(int row, KeyIndex key) {
  rows_[static_cast<std::size_t>(row)].key = key;
  CellChanged(row, kKeyColumn);
}

void MacroActionModel::SetDirection(int row, std::uint16_t direction) {
  rows_[static_cast<std::size_t>(row)].direction = direction;
  CellChanged(row, kDirectionColumn);
}

void MacroActionModel::CellChanged(int row, int column) {
  const QModelIndex cell = index(row, column);
  emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::EditRole});
}

}  // namespace kst
