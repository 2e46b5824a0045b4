#pragma once

// The about box: a plain (not skinned) modeless dialog with the maker's link,
// the version and the copyright line. The main window keeps at most one.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QFont;
class QLabel;
class QPushButton;
class QUrl;

namespace kst {

class Language;

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  // linkAddress: the skin's "SCREEN" "Link"; openUrl opens the link when
  // clicked. Closing (OK, Escape, the window's close) destroys the box.
  CAboutDlg(Language& language, QString linkAddress, std::function<void(const QUrl&)> openUrl,
            QWidget* parent = nullptr);

  // Shows the box and sets its texts in the current language.
  void OnInitDialog();
  // UM_LANGUAGE: the texts in language lParam; ignored (0) for another wParam.
  std::intptr_t OnLanguage(std::uintptr_t wParam, std::intptr_t lParam);

  QLabel* LinkLabel() const { return link_; }
  QLabel* VersionLabel() const { return version_; }
  QLabel* CopyrightLabel() const { return copyright_; }
  QPushButton* OkButton() const { return ok_; }
  QLabel* TitleLabel() const { return title_; }

  // Width a title bar needs to show `title` whole: the window manager draws
  // it in a font of its own, often bold and larger than the window's, beside
  // the window's icon and buttons.
  static int TitleBarWidth(const QString& title, const QFont& font);

 private:
  Language& language_;
  QString linkAddress_;
  std::function<void(const QUrl&)> openUrl_;
  QLabel* title_ = nullptr;      // the title again, as the box's heading
  QLabel* link_ = nullptr;       // 1124
  QLabel* copyright_ = nullptr;  // 1205
  QLabel* version_ = nullptr;    // 1206
  QPushButton* ok_ = nullptr;    // 1
};

}  // namespace kst
