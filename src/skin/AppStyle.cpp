#include "skin/AppStyle.h"

#include <QFileDialog>
#include <QWidget>

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

namespace kst {

QPalette AppPalette() {
  const QColor window(kStyleWindow);
  const QColor surface(kStyleSurface);
  const QColor field(kStyleField);
  const QColor button(kStyleButton);
  const QColor border(kStyleBorder);
  const QColor text(kStyleText);
  const QColor disabledText(kStyleDisabledText);

  QPalette palette;
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Window, window);
    palette.setColor(group, QPalette::WindowText, text);
    palette.setColor(group, QPalette::Base, field);
    palette.setColor(group, QPalette::AlternateBase, QColor(0x0b0e13));
    palette.setColor(group, QPalette::Text, text);
    palette.setColor(group, QPalette::PlaceholderText, disabledText);
    palette.setColor(group, QPalette::Button, button);
    palette.setColor(group, QPalette::ButtonText, text);
    palette.setColor(group, QPalette::BrightText, QColor(0xff6b8a));
    palette.setColor(group, QPalette::Highlight, QColor(kStyleSelection));
    palette.setColor(group, QPalette::HighlightedText, Qt::white);
    palette.setColor(group, QPalette::ToolTipBase, surface);
    palette.setColor(group, QPalette::ToolTipText, text);
    palette.setColor(group, QPalette::Link, QColor(kStyleAccent));
    palette.setColor(group, QPalette::LinkVisited, QColor(0xcb1e41));
    // The bevels Fusion draws: lighter above, darker below the button colour.
    palette.setColor(group, QPalette::Light, QColor(0x3a4150));
    palette.setColor(group, QPalette::Midlight, border);
    palette.setColor(group, QPalette::Mid, QColor(0x171a22));
    palette.setColor(group, QPalette::Dark, field);
    palette.setColor(group, QPalette::Shadow, Qt::black);
  }
  palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(0x6e0c22));
  for (const QPalette::ColorRole role :
       {QPalette::Window, QPalette::Base, QPalette::AlternateBase, QPalette::Button,
        QPalette::ToolTipBase, QPalette::Light, QPalette::Midlight, QPalette::Mid, QPalette::Dark,
        QPalette::Shadow, QPalette::Link, QPalette::LinkVisited, QPalette::BrightText})
    palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
  for (const QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::PlaceholderText})
    palette.setColor(QPalette::Disabled, role, disabledText);
  palette.setColor(QPalette::Disabled, QPalette::Base, QColor(0x0b0d12));
  palette.setColor(QPalette::Disabled, QPalette::Highlight, border);
  palette.setColor(QPalette::Disabled, QPalette::HighlightedText, disabledText);
  return palette;
}

QString AppStyleSheet() {
  // Sizes in pixels scale with the device pixel ratio (150 % and 200 %);
  // fonts stay the application's, so text keeps the user's size.
  return QStringLiteral(R"(
QToolTip { color: #e8ebf1; background: #10131a; border: 1px solid #2c3340; padding: 2px 4px; }

QMenu { color: #e8ebf1; background: #10131a; border: 1px solid #2c3340; padding: 4px 0; }
QMenu::item { padding: 5px 28px 5px 28px; background: transparent; border: none; }
QMenu::item:selected { color: #ffffff; background: #9c102e; }
QMenu::item:disabled { color: #5d6473; background: transparent; }
QMenu::separator { height: 1px; background: #2c3340; margin: 4px 10px; }
QMenu::indicator { width: 12px; height: 12px; left: 8px; border: 1px solid #4a5262;
  border-radius: 3px; background: #07090d; }
QMenu::indicator:checked { background: #ff2d55; border-color: #ff6b8a; }
QMenu::indicator:exclusive { border-radius: 7px; }

QMessageBox, QFileDialog, QInputDialog, QProgressDialog { background: #0e1118; }
QMessageBox QLabel, QFileDialog QLabel { color: #e8ebf1; background: transparent; }
QMessageBox QPushButton, QFileDialog QPushButton, QDialogButtonBox QPushButton,
kst--CAboutDlg QPushButton {
  color: #e8ebf1; background: #1e222d; border: 1px solid #2c3340; border-radius: 4px;
  padding: 4px 16px; min-width: 64px; min-height: 18px; }
QMessageBox QPushButton:hover, QFileDialog QPushButton:hover,
QDialogButtonBox QPushButton:hover, kst--CAboutDlg QPushButton:hover { border-color: #4a5262;
  background: #252a36; }
QMessageBox QPushButton:pressed, QFileDialog QPushButton:pressed,
QDialogButtonBox QPushButton:pressed, kst--CAboutDlg QPushButton:pressed { background: #9c102e;
  border-color: #ff2d55; }
QMessageBox QPushButton:default, QFileDialog QPushButton:default,
QDialogButtonBox QPushButton:default, kst--CAboutDlg QPushButton:default { border-color: #ff2d55; }
QMessageBox QPushButton:disabled, QFileDialog QPushButton:disabled,
QDialogButtonBox QPushButton:disabled { color: #5d6473; background: #151820;
  border-color: #1d222b; }
QFileDialog QToolButton { background: transparent; border: 1px solid transparent;
  border-radius: 4px; padding: 2px; }
QFileDialog QToolButton:hover { background: #1e222d; border-color: #4a5262; }
QFileDialog QToolButton:pressed { background: #9c102e; }
QFileDialog QToolButton:checked { background: #1e222d; border-color: #ff2d55; }
QFileDialog QSplitter::handle { background: #0e1118; }

QLineEdit, QComboBox, QTableView, kst--ActionListView, QTreeView, QListView {
  color: #e8ebf1; background: #07090d; border: 1px solid #2c3340; border-radius: 4px;
  selection-color: #ffffff; selection-background-color: #9c102e; }
QLineEdit, QComboBox { padding: 1px 6px; }
QLineEdit:hover, QComboBox:hover { border-color: #4a5262; }
QLineEdit:focus, QComboBox:focus, QTableView:focus, QTreeView:focus, QListView:focus,
kst--ActionListView:focus { border-color: #ff2d55; }
QLineEdit:disabled, QComboBox:disabled { color: #5d6473; background: #0b0d12;
  border-color: #1d222b; }
QLineEdit[readOnly="true"] { background: #0b0e14; }
QComboBox QAbstractItemView { color: #e8ebf1; background: #0c0f14; border: 1px solid #2c3340;
  selection-background-color: #9c102e; outline: 0; }
QTableView, kst--ActionListView, QTreeView { gridline-color: #161a22;
  alternate-background-color: #0b0e13; outline: 0; }
QTreeView::item, QListView::item { padding: 2px 0; }
QTreeView::item:hover, QListView::item:hover { background: #161a22; }
QTreeView::item:selected, QListView::item:selected { color: #ffffff; background: #9c102e; }
QTableView::item { padding: 0 4px; }
QHeaderView { background: #10131a; border: none; }
QHeaderView::section { color: #868fa3; background: #10131a; border: none;
  border-bottom: 1px solid #2c3340; border-right: 1px solid #161a22; padding: 3px 6px; }
QTableCornerButton::section { background: #10131a; border: none; }
QScrollBar:vertical { background: #07090d; width: 10px; margin: 0; }
QScrollBar:horizontal { background: #07090d; height: 10px; margin: 0; }
QScrollBar::handle:vertical { background: #2c3340; border-radius: 4px; min-height: 24px; }
QScrollBar::handle:horizontal { background: #2c3340; border-radius: 4px; min-width: 24px; }
QScrollBar::handle:hover { background: #4a5262; }
QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QCheckBox { background: transparent; spacing: 0; }
QCheckBox::indicator { width: 14px; height: 14px; border: 1px solid #4a5262; border-radius: 3px;
  background: #07090d; }
QCheckBox::indicator:checked { background: #ff2d55; border-color: #ff6b8a; }
QCheckBox::indicator:disabled { border-color: #2c3340; background: #0b0d12; }
QCheckBox::indicator:checked:disabled { background: #6b1a2c; border-color: #6b1a2c; }
)");
}

void ApplyAppStyle(QApplication& app) {
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
  app.setPalette(AppPalette());
}

void UseAppStyleSheet(QWidget& window) {
  static const QString sheet = AppStyleSheet();
  if (window.styleSheet() != sheet) window.setStyleSheet(sheet);
}

namespace {

QString RunFileDialog(QFileDialog& dialog, const QString& filters, QString* chosenFilter) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilter(filters);
  UseAppStyleSheet(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  if (chosenFilter) *chosenFilter = dialog.selectedNameFilter();
  return dialog.selectedFiles().front();
}

}  // namespace

QString ChooseOpenFile(QWidget* parent, const QString& directory, const QString& filters) {
  QFileDialog dialog(parent, QString(), directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  return RunFileDialog(dialog, filters, nullptr);
}

QString ChooseSaveFile(QWidget* parent, const QString& directory, const QString& filters,
                       const QString& defaultSuffix, QString* chosenFilter) {
  QFileDialog dialog(parent, QString(), directory);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(defaultSuffix);
  return RunFileDialog(dialog, filters, chosenFilter);
}

}  // namespace kst
