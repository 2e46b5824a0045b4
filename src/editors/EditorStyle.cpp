#include "editors/EditorStyle.h"

namespace kst {

QString EditorStyleSheet() {
  return QStringLiteral(R"(
QLineEdit, QComboBox, QTableView, kst--ActionListView, QTreeView, QListView {
  color: #e8ebf1; background: #07090d; border: 1px solid #2c3340; border-radius: 4px;
  selection-color: #ffffff; selection-background-color: #9c102e; }
QLineEdit, QComboBox { padding: 1px 6px; }
QLineEdit:focus, QComboBox:focus, QTableView:focus,
kst--ActionListView:focus { border-color: #ff2d55; }
QLineEdit:disabled, QComboBox:disabled { color: #5d6473; background: #0b0d12;
  border-color: #1d222b; }
QLineEdit[readOnly="true"] { background: #0b0e14; }
QComboBox QAbstractItemView { color: #e8ebf1; background: #0c0f14; border: 1px solid #2c3340;
  selection-background-color: #9c102e; outline: 0; }
QTableView, kst--ActionListView { gridline-color: #161a22; alternate-background-color: #0b0e13; outline: 0; }
QTableView::item { padding: 0 4px; }
QHeaderView { background: #10131a; border: none; }
QHeaderView::section { color: #868fa3; background: #10131a; border: none;
  border-bottom: 1px solid #2c3340; border-right: 1px solid #161a22; padding: 3px 6px; }
QTableCornerButton::section { background: #10131a; border: none; }
QScrollBar:vertical { background: #07090d; width: 10px; margin: 0; }
QScrollBar::handle:vertical { background: #2c3340; border-radius: 4px; min-height: 24px; }
QScrollBar::handle:vertical:hover { background: #4a5262; }
QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QCheckBox { background: transparent; spacing: 0; }
QCheckBox::indicator { width: 14px; height: 14px; border: 1px solid #4a5262; border-radius: 3px;
  background: #07090d; }
QCheckBox::indicator:checked { background: #ff2d55; border-color: #ff6b8a; }
QCheckBox::indicator:disabled { border-color: #2c3340; background: #0b0d12; }
QCheckBox::indicator:checked:disabled { background: #6b1a2c; border-color: #6b1a2c; }
QToolTip { color: #e8ebf1; background: #10131a; border: 1px solid #2c3340; }
)");
}

}  // namespace kst
