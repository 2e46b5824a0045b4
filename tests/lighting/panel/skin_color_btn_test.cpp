#include "lighting/panel/CSkinColorBtn.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWindow>

#include <memory>
#include <set>
#include <vector>

#include "controls_app.h"
#include "skin/CPngButton.h"

namespace kst {
namespace {

const QColor kSkin(0x0e, 0x11, 0x17);
const QColor kGrey(148, 146, 139);

// A colour button on a window painted in the skin's colour; every picked
// colour is recorded.
class SkinColorBtnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureControlsApp();
    window_ = std::make_unique<QWidget>();
    window_->resize(300, 200);
    QPalette palette = window_->palette();
    palette.setColor(QPalette::Window, kSkin);
    window_->setPalette(palette);
    window_->setAutoFillBackground(true);
    button_ = new CSkinColorBtn(window_.get());
    button_->setGeometry(20, 20, 100, 28);
    QObject::connect(button_, &CSkinColorBtn::colourPicked,
                     [this](ColorRef colour) { picked_.push_back(colour); });
    window_->show();
  }
  void TearDown() override {
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    QCoreApplication::processEvents();
  }

  QWidget* OpenedPalette() {
    button_->OpenPalette();
    QWidget* popup = QApplication::activePopupWidget();
    EXPECT_NE(popup, nullptr);
    return popup;
  }
  static bool PaletteOpen() { return QApplication::activePopupWidget() != nullptr; }

  // The middle of the swatch painted in `colour`, found in the palette's
  // picture.
  static QPoint SwatchCentre(QWidget* popup, ColorRef colour) {
    const QImage image = popup->grab().toImage();
    QRect box;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) == ColorFromColorRef(colour)) box |= QRect(x, y, 1, 1);
    EXPECT_FALSE(box.isEmpty()) << "no swatch of colour " << std::hex << colour;
    return box.center();
  }
  // The "other" button: the strip below the swatches.
  static QPoint OtherButton(QWidget* popup) { return {popup->width() / 2, popup->height() - 20}; }

  QImage Face() {
    return window_->grab(button_->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
  }

  std::unique_ptr<QWidget> window_;
  CSkinColorBtn* button_ = nullptr;
  std::vector<ColorRef> picked_;
};

TEST_F(SkinColorBtnTest, PaletteIsTenColumnsOfDistinctColours) {
  const std::vector<ColorRef>& colours = CSkinColorBtn::PaletteColours();
  EXPECT_TRUE(colours.size() == 40 || colours.size() == 50) << colours.size();
  EXPECT_EQ(colours.size() % 10, 0u);
  EXPECT_EQ(std::set<ColorRef>(colours.begin(), colours.end()).size(), colours.size());
  for (ColorRef colour : colours) EXPECT_EQ(colour & ~0xFFFFFFu, 0u);
  // Ten swatches to a row: the eleventh starts the second row, under the first.
  QWidget* popup = OpenedPalette();
  const QPoint first = SwatchCentre(popup, colours[0]);
  const QPoint tenth = SwatchCentre(popup, colours[9]);
  const QPoint eleventh = SwatchCentre(popup, colours[10]);
  EXPECT_EQ(first.y(), tenth.y());
  EXPECT_EQ(first.x(), eleventh.x());
  EXPECT_GT(eleventh.y(), first.y());
}

TEST_F(SkinColorBtnTest, ClickingASwatchPicksItOnceAndClosesThePalette) {
  const ColorRef chosen = CSkinColorBtn::PaletteColours()[23];
  QTest::mouseClick(button_, Qt::LeftButton);
  QWidget* popup = QApplication::activePopupWidget();
  ASSERT_NE(popup, nullptr) << "a click opens the palette";
  EXPECT_GE(popup->y(), window_->mapToGlobal(QPoint(0, 48)).y()) << "opens below the button";
  QTest::mouseClick(popup, Qt::LeftButton, Qt::NoModifier, SwatchCentre(popup, chosen));
  QCoreApplication::processEvents();
  EXPECT_EQ(picked_, std::vector<ColorRef>{chosen});
  EXPECT_EQ(button_->Colour(), chosen);
  EXPECT_FALSE(PaletteOpen());
  EXPECT_EQ(Face().pixelColor(10, 14), ColorFromColorRef(chosen));
}

TEST_F(SkinColorBtnTest, KeyboardOpensMovesAndPicks) {
  const std::vector<ColorRef>& colours = CSkinColorBtn::PaletteColours();
  const int last = static_cast<int>(colours.size()) - 1;
  struct Case {
    Qt::Key open;
    ColorRef start;
    std::vector<Qt::Key> keys;
    ColorRef expected;
  };
  const Case cases[] = {
      {Qt::Key_Space, colours[0], {Qt::Key_Right, Qt::Key_Down}, colours[11]},
      {Qt::Key_Return, colours[15], {Qt::Key_Up, Qt::Key_Left, Qt::Key_Left}, colours[3]},
      {Qt::Key_Enter, colours[0], {Qt::Key_Left, Qt::Key_Up}, colours[0]},  // the edges hold
      // A colour outside the palette starts on the first swatch.
      {Qt::Key_Space, MakeColorRef(1, 2, 3), {Qt::Key_Right}, colours[1]},
      // Down from the last row reaches "other"; up goes back to the column.
      {Qt::Key_Space,
       colours[static_cast<std::size_t>(last - 3)],
       {Qt::Key_Down, Qt::Key_Up},
       colours[static_cast<std::size_t>(last - 3)]},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "opened with key " << c.open << ", from " << std::hex << c.start);
    picked_.clear();
    button_->SetColour(c.start);
    QTest::keyClick(button_, c.open);
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    for (Qt::Key key : c.keys) QTest::keyClick(popup, key);
    QTest::keyClick(popup, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_FALSE(PaletteOpen());
    EXPECT_EQ(picked_, std::vector<ColorRef>{c.expected});
  }
}

TEST_F(SkinColorBtnTest, OtherOpensTheColourDialogWithTheCurrentColour) {
  struct Case {
    bool byKeyboard;
    QColor answer;  // invalid: the dialog was cancelled
    std::vector<ColorRef> expectedPicks;
  };
  const Case cases[] = {
      {false, QColor(12, 34, 56), {MakeColorRef(12, 34, 56)}},
      {true, QColor(200, 100, 0), {MakeColorRef(200, 100, 0)}},
      {false, QColor(), {}},
      {true, QColor(), {}},
  };
  const ColorRef start = MakeColorRef(90, 80, 70);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.byKeyboard ? "keyboard" : "mouse") << ", answer "
                                    << c.answer.name().toStdString());
    picked_.clear();
    button_->SetColour(start);
    std::vector<QColor> asked;
    bool paletteWasOpen = true;
    button_->SetColourDialog([&](const QColor& initial) {
      asked.push_back(initial);
      paletteWasOpen = PaletteOpen();
      return c.answer;
    });
    QWidget* popup = OpenedPalette();
    ASSERT_NE(popup, nullptr);
    if (c.byKeyboard) {
      QTest::keyClick(popup, Qt::Key_End);
      QTest::keyClick(popup, Qt::Key_Return);
    } else {
      QTest::mouseClick(popup, Qt::LeftButton, Qt::NoModifier, OtherButton(popup));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(asked, std::vector<QColor>{ColorFromColorRef(start)});
    EXPECT_FALSE(paletteWasOpen) << "the dialog opened over the palette";
    EXPECT_EQ(picked_, c.expectedPicks);
    EXPECT_EQ(button_->Colour(), c.expectedPicks.empty() ? start : c.expectedPicks[0]);
  }
}

TEST_F(SkinColorBtnTest, DismissingThePaletteOrSettingFromCodePicksNothing) {
  const ColorRef start = MakeColorRef(10, 200, 30);
  button_->SetColour(start);
  EXPECT_EQ(button_->Colour(), start);

  QWidget* popup = OpenedPalette();
  QTest::keyClick(popup, Qt::Key_Right);
  QTest::keyClick(popup, Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_FALSE(PaletteOpen());

  // A click outside, delivered as the window system would.
  popup = OpenedPalette();
  ASSERT_NE(popup, nullptr);
  QTest::mouseClick(popup->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(popup->width() + 30, popup->height() + 30));
  QCoreApplication::processEvents();
  EXPECT_FALSE(PaletteOpen());

  // A click on the button itself closes the palette and leaves it closed.
  popup = OpenedPalette();
  ASSERT_NE(popup, nullptr);
  QTest::mouseClick(popup->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                    popup->mapFromGlobal(button_->mapToGlobal(button_->rect().center())));
  QCoreApplication::processEvents();
  EXPECT_FALSE(PaletteOpen());

  EXPECT_TRUE(picked_.empty());
  EXPECT_EQ(button_->Colour(), start);
}

TEST_F(SkinColorBtnTest, ButtonGoneWhileThePaletteIsOpen) {
  OpenedPalette();
  delete button_;
  button_ = nullptr;
  QCoreApplication::processEvents();
  EXPECT_FALSE(PaletteOpen());
}

TEST_F(SkinColorBtnTest, FaceShowsColourLeftGreyRightAndTheArrow) {
  struct Case {
    QSize size;
    bool enabled;
  };
  const Case cases[] = {{{100, 28}, true}, {{100, 28}, false}, {{61, 21}, true}};
  const ColorRef colour = MakeColorRef(20, 120, 250);
  button_->SetColour(colour);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.size.width() << "x" << c.size.height() << (c.enabled ? "" : " disabled"));
    button_->resize(c.size);
    button_->setEnabled(c.enabled);
    const QImage face = Face();
    const int w = c.size.width();
    const int h = c.size.height();
    const int split = w / 2 + 5;  // the colour's part ends here
    const QColor left = c.enabled ? ColorFromColorRef(colour) : kSkin;
    for (const QPoint p : {QPoint(3, 3), QPoint(split - 2, h / 2), QPoint(4, h - 4)})
      EXPECT_EQ(face.pixelColor(p), left) << p.x() << "," << p.y();
    if (c.enabled) {
      EXPECT_EQ(face.pixelColor(split - 1, h / 2), left);
    }
    EXPECT_NE(face.pixelColor(split, h / 2), left);  // the outline starts
    for (const QPoint p :
         {QPoint(split + 3, 3), QPoint(w - 4, h / 2), QPoint(w - 12, h / 2), QPoint(w - 8, h - 4)})
      EXPECT_EQ(face.pixelColor(p), kGrey) << p.x() << "," << p.y();
    // The arrow: 5 to 11 pixels from the right edge, its point below half height.
    for (const QPoint p : {QPoint(w - 11, h / 2 - 2), QPoint(w - 5, h / 2 - 2),
                           QPoint(w - 8, h / 2), QPoint(w - 8, h / 2 + 1)})
      EXPECT_EQ(face.pixelColor(p), QColor(Qt::black)) << p.x() << "," << p.y();
  }
}

}  // namespace
}  // namespace kst
