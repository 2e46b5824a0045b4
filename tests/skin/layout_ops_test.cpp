#include "skin/SkinLayoutOps.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTemporaryDir>

#include "TestApp.h"
#include "skin/CPngButton.h"

namespace kst {
namespace {

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureApp();
    ini_ = dir_.filePath("Main.ini");
    ASSERT_TRUE(test::WriteFile(ini_,
                                "[BUTTONINFO]\n"
                                "CONTROL_HELP=1,1,20,20\n"
                                "CONTROL_OK=10,20,30,40,extra\n"
                                "LEFT_ARROW=50,60,18,22\n"
                                "[BUTTONINFO2]\n"
                                "DOWN_ARROW_LEFT1=36,0,18,22\n"));
    picture_ = QPixmap(200, 200);
    picture_.fill(Qt::red);
  }
  QTemporaryDir dir_;
  QString ini_;
  QPixmap picture_;
  QWidget window_;
};

TEST_F(LayoutTest, ImageButtonPlacementAndHiding) {
  struct Case {
    const char* key;
    QRect geometry;
    bool shown;
  };
  const Case cases[] = {
      {"CONTROL_OK", QRect(10, 20, 30, 40), true},
      // At (1, 1) the button is hidden and disabled although its size is given.
      {"CONTROL_HELP", QRect(1, 1, 20, 20), false},
      {"CONTROL_MISSING", QRect(1, 1, 1, 1), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    CPngButton button(&window_);
    button.show();
    LayoutImageButton(button, ini_, "BUTTONINFO", c.key, picture_, picture_, picture_, picture_,
                      picture_);
    EXPECT_EQ(button.geometry(), c.geometry);
    EXPECT_EQ(button.Origin(), c.geometry.topLeft());
    EXPECT_EQ(button.isVisibleTo(&window_), c.shown);
    EXPECT_EQ(button.isEnabled(), c.shown);
  }
}

TEST_F(LayoutTest, PlainControlWithAMissingKeyStaysVisibleAtOneOne) {
  QLabel label("caption", &window_);
  LayoutControl(label, ini_, "BUTTONINFO", "CONTROL_NOWHERE");
  EXPECT_EQ(label.geometry(), QRect(1, 1, 1, 1));
  EXPECT_TRUE(label.isVisibleTo(&window_));
  EXPECT_TRUE(label.isEnabled());
}

TEST_F(LayoutTest, VariantButtonTakesItsOriginFromTheSecondKey) {
  CPngButton button(&window_);
  LayoutVariantButton(button, ini_, "BUTTONINFO", "LEFT_ARROW", "BUTTONINFO2", "DOWN_ARROW_LEFT1",
                      picture_);
  EXPECT_EQ(button.geometry(), QRect(50, 60, 18, 22));
  EXPECT_EQ(button.Origin(), QPoint(36, 0));
  for (auto look : {CPngButton::Look::Normal, CPngButton::Look::Hover, CPngButton::Look::Pressed,
                    CPngButton::Look::Disabled, CPngButton::Look::Selected})
    EXPECT_EQ(button.Picture(look).cacheKey(), picture_.cacheKey());
}

// Every rectangle of a badly edited skin file lays its control out somewhere
// sane, and painting the window afterwards does not fail.
TEST_F(LayoutTest, GarbageRectanglesLayOutWithoutHarm) {
  const QString garbage = QStringLiteral(KST_TEST_DATA_DIR "/fixtures/garbage_rects.ini");
  struct Case {
    const char* key;
    QRect geometry;
  };
  const Case cases[] = {
      {"LETTERS", QRect(0, 0, 0, 0)},
      {"TWO", QRect(5, 6, 0, 0)},
      {"ONE", QRect(7, 0, 0, 0)},
      {"EMPTY", QRect(0, 0, 0, 0)},
      {"NEGATIVE", QRect(-5, -6, 0, 0)},
      {"HUGE", QRect(100, 200, kMaxLayoutExtent, kMaxLayoutExtent)},
      {"HUGE_POSITION", QRect(kMaxLayoutExtent, -kMaxLayoutExtent, 10, 10)},
      {"SPACED", QRect(7, 8, 9, 0)},
      {"SIGNS", QRect(3, -4, 5, 6)},
      {"TRAILING_COMMA", QRect(1, 2, 3, 0)},
      {"BINARY", QRect(0, 0, 0, 0)},
  };
  QWidget window;
  window.resize(300, 200);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    auto* button = new CPngButton(&window);
    LayoutImageButton(*button, garbage, "BUTTONINFO", c.key, picture_, picture_, picture_, picture_,
                      picture_);
    EXPECT_EQ(button->pos(), c.geometry.topLeft());
    EXPECT_EQ(button->size(), c.geometry.size());
    auto* label = new QLabel("x", &window);
    LayoutControl(*label, garbage, "BUTTONINFO", c.key);
    EXPECT_EQ(label->pos(), c.geometry.topLeft());
  }
  window.show();
  EXPECT_FALSE(window.grab().isNull());
}

}  // namespace
}  // namespace kst
