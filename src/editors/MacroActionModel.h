#pragma once

// The rows of the macro page's action list: the events of the macro on show,
// one row each, in three columns (key name, direction arrow, delay). The
// model only holds and shows the rows; every change goes through the rules of
// MacroWorkingCopies, which owns it. Edits through setData (the in-place
// editors) are handed to those rules. User-interface thread only.

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "store/MacroRecord.h"

namespace kst {

class Language;
class MacroWorkingCopies;

class MacroActionModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column : int { kKeyColumn = 0, kDirectionColumn = 1, kDelayColumn = 2, kColumnCount = 3 };
  // true for the cells drawn in the desktop's grey-text colour (key and direction).
  static constexpr int kGreyTextRole = Qt::UserRole + 1;

  // Cell texts of the direction column.
  static QString DirectionText(std::uint16_t direction);

  MacroActionModel(MacroWorkingCopies& owner, Language& language, QObject* parent = nullptr);
  ~MacroActionModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  // Display: the cell text. Edit: the KeyId of the row's key (column 0), the
  // direction (1) or the delay (2).
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Edit role: a KeyId (column 0), a direction (1) or the typed delay text (2),
  // judged by the owner's rules. False when nothing changed.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  const std::vector<MacroEvent>& Rows() const { return rows_; }
  // Headings in this language from now on.
  void SetLanguageIndex(int languageIndex);

 private:
  friend class MacroWorkingCopies;

  // Replaces all rows (one reset).
  void Reset(std::span<const MacroEvent> events);
  // One row in, one row out, one row moved: each signalled for that row only.
  void InsertRow(int position, const MacroEvent& event);
  void RemoveRow(int row);
  void MoveRow(int from, int to);
  // A changed field of a row; the views repaint that cell.
  void SetDelay(int row, std::uint32_t delayMs);
  void SetKey(int row, KeyIndex key);
  void SetDirection(int row, std::uint16_t direction);
  void CellChanged(int row, int column);

  // Names in the current language, looked up once per key: a repaint of the
  // list asks for every visible row's name.
  QString KeyName(KeyIndex key) const;

  MacroWorkingCopies& owner_;
  Language& language_;
  int languageIndex_ = -1;  // -1: the language's current one
  std::vector<MacroEvent> rows_;
  mutable std::unordered_map<KeyIndex, QString> keyNames_;
};

}  // namespace kst
