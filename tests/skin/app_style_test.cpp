// The application's look on the standard windows Qt draws: menus, message
// boxes, file dialogs, tooltips and drop-downs come out dark with light
// text, as the skin is; the skin's own image buttons keep their pictures.

#include "skin/AppStyle.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QToolTip>
#include <QTreeView>

#include <functional>
#include <memory>

#include "TestApp.h"

namespace kst {
namespace {

// Mean lightness (0-255) of the picture and the lightest pixel in it.
struct Lightness {
  int mean = 0;
  int lightest = 0;
};

Lightness Measure(const QImage& image) {
  long long sum = 0;
  int lightest = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const int l = QColor(image.pixel(x, y)).lightness();
      sum += l;
      lightest = std::max(lightest, l);
    }
  }
  const long long count = static_cast<long long>(image.width()) * image.height();
  return {count == 0 ? 0 : static_cast<int>(sum / count), lightest};
}

QImage Shot(QWidget& widget) {
  widget.ensurePolished();
  widget.adjustSize();
  return widget.grab().toImage();
}

// Applies the application's look for one test and puts the previous one back.
class AppStyleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureApp();
    styleName_ = QApplication::style()->name();
    palette_ = QApplication::palette();
    sheet_ = qApp->styleSheet();
    ApplyAppStyle(*qApp);
  }
  void TearDown() override {
    qApp->setStyleSheet(sheet_);
    QApplication::setStyle(styleName_);
    QApplication::setPalette(palette_);
  }

 private:
  QString styleName_;
  QPalette palette_;
  QString sheet_;
};

TEST_F(AppStyleTest, StandardWindowsAreDarkWithLightText) {
  const struct {
    const char* name;
    std::function<std::unique_ptr<QWidget>()> make;
  } cases[] = {
      {"menu",
       [] {
         auto menu = std::make_unique<QMenu>();
         menu->addAction(QStringLiteral("Open"));
         QAction* checked = menu->addAction(QStringLiteral("Profile 1"));
         checked->setCheckable(true);
         checked->setChecked(true);
         menu->addSeparator();
         menu->addAction(QStringLiteral("Exit"));
         return std::unique_ptr<QWidget>(std::move(menu));
       }},
      {"message box",
       [] {
         return std::make_unique<QMessageBox>(QMessageBox::Information, QStringLiteral("Title"),
                                              QStringLiteral("The configuration was imported."),
                                              QMessageBox::Ok);
       }},
      {"question box",
       [] {
         return std::make_unique<QMessageBox>(QMessageBox::Question, QStringLiteral("Title"),
                                              QStringLiteral("Restore the default keys?"),
                                              QMessageBox::Yes | QMessageBox::No);
       }},
      {"file dialog",
       [] {
         auto dialog = std::make_unique<QFileDialog>(nullptr, QString(), QDir::tempPath(),
                                                     QStringLiteral("Profile files (*.kst)"));
         dialog->setOption(QFileDialog::DontUseNativeDialog);
         dialog->resize(640, 420);
         return std::unique_ptr<QWidget>(std::move(dialog));
       }},
      {"drop-down",
       [] {
         auto box = std::make_unique<QComboBox>();
         box->addItems({QStringLiteral("Custom"), QStringLiteral("Wave")});
         box->resize(160, 26);
         return std::unique_ptr<QWidget>(std::move(box));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<QWidget> widget = c.make();
    // As the utility's menus, boxes, file dialogs and editors take it.
    UseAppStyleSheet(*widget);
    const Lightness lightness = Measure(Shot(*widget));
    // A plain light window measures above 200.
    EXPECT_LT(lightness.mean, 60);
    EXPECT_GT(lightness.lightest, 180) << "its text must stand out";
    EXPECT_LT(widget->palette().color(QPalette::Window).lightness(), 40);
  }
}

TEST_F(AppStyleTest, MessageBoxButtonsAndMenuEntriesTakeTheSkinsColours) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("Title"), QStringLiteral("Text"),
                  QMessageBox::Ok);
  UseAppStyleSheet(box);
  Shot(box);
  QAbstractButton* ok = box.button(QMessageBox::Ok);
  ASSERT_NE(ok, nullptr);
  const QImage button = ok->grab().toImage();
  EXPECT_EQ(QColor(button.pixel(button.width() / 2, 4)), QColor(kStyleButton));

  QMenu menu;
  UseAppStyleSheet(menu);
  menu.addAction(QStringLiteral("Import..."));
  menu.addAction(QStringLiteral("Export..."));
  const QImage picture = Shot(menu);
  EXPECT_EQ(QColor(picture.pixel(picture.width() / 2, picture.height() - 2)),
            QColor(kStyleSurface));
  // The entry under the pointer is the red of the skin's selection.
  menu.setActiveAction(menu.actions().constFirst());
  const QImage active = menu.grab().toImage();
  const QRect entry = menu.actionGeometry(menu.actions().constFirst());
  EXPECT_EQ(QColor(active.pixel(entry.right() - 3, entry.center().y())), QColor(kStyleSelection));
}

TEST_F(AppStyleTest, TooltipsAreDark) {
  QWidget anchor;
  anchor.resize(100, 100);
  anchor.show();
  QToolTip::showText(anchor.mapToGlobal(QPoint(10, 10)), QStringLiteral("Profile 1"), &anchor);
  QWidget* tip = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->inherits("QTipLabel") && top->isVisible()) tip = top;
  }
  ASSERT_NE(tip, nullptr);
  const Lightness lightness = Measure(tip->grab().toImage());
  EXPECT_LT(lightness.mean, 80);
  EXPECT_GT(lightness.lightest, 180);
  QToolTip::hideText();
}

}  // namespace
}  // namespace kst
