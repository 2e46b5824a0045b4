#include "lighting/panel/CBitmapSlider.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QShortcut>
#include <QTest>
#include <QWheelEvent>

#include <memory>
#include <utility>
#include <vector>

#include "controls_app.h"

namespace kst {
namespace {

constexpr int kId = 1178;

QPixmap Channel(int width, int height, QColor colour = QColor(30, 40, 50)) {
  QPixmap picture(width, height);
  picture.fill(colour);
  return picture;
}

// A slider of range 0..4 with a 180 x 28 channel, the brightness slider's
// shape, on a window of its own; every posted notification is recorded.
class BitmapSliderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureControlsApp();
    window_ = std::make_unique<QWidget>();
    window_->resize(400, 300);
    slider_ = new CBitmapSlider(kId, window_.get());
    slider_->move(20, 20);
    slider_->SetRange(0, 4);
    slider_->SetPageSize(10);
    slider_->SetChannel(Channel(180, 28));
    QObject::connect(slider_, &CBitmapSlider::positionPosted,
                     [this](int id, int position) { posts_.emplace_back(id, position); });
    window_->show();
  }

  // Runs what was posted; the slider never notifies from inside an event.
  void Deliver() { QCoreApplication::processEvents(); }

  // A move without a button: the pointer is over the slider.
  void Hover(QPoint at = QPoint(5, 5)) {
    QMouseEvent move(QEvent::MouseMove, at, slider_->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(slider_, &move);
  }
  void Leave() {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(slider_, &leave);
  }
  void Wheel(int deltaY) {
    const QPointF at(5, 5);
    QWheelEvent wheel(at, slider_->mapToGlobal(at), QPoint(), QPoint(0, deltaY), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider_, &wheel);
  }

  std::vector<int> PostedPositions() const {
    std::vector<int> positions;
    for (const auto& [id, position] : posts_) {
      EXPECT_EQ(id, kId);
      positions.push_back(position);
    }
    return positions;
  }

  std::unique_ptr<QWidget> window_;
  CBitmapSlider* slider_ = nullptr;
  std::vector<std::pair<int, int>> posts_;
};

TEST_F(BitmapSliderTest, PointerPositionRuleAtTheEdges) {
  struct Case {
    bool vertical;
    int minimum, maximum;
    QSize channel;
    int along;  // x, or y when vertical
    int expected;
  };
  const Case cases[] = {
      // 0 + (x + 10) / 180 * 4, truncated.
      {false, 0, 4, {180, 28}, 0, 0},
      {false, 0, 4, {180, 28}, 34, 0},    // 44 / 180 * 4 = 0.98
      {false, 0, 4, {180, 28}, 35, 1},    // exactly 1
      {false, 0, 4, {180, 28}, 169, 3},   // width - 11: 3.98
      {false, 0, 4, {180, 28}, 170, 4},   // width - 10: the maximum
      {false, 0, 4, {180, 28}, 179, 4},   // width - 1: 4.2, clamped
      {false, 0, 4, {180, 28}, -10, 0},   // left of the control
      {false, 0, 4, {180, 28}, -400, 0},  // far left: clamped
      {false, 0, 4, {180, 28}, 1000, 4},  // far right: clamped
      {false, 10, 20, {100, 28}, 0, 11},  // the minimum is added
      {false, -5, 5, {100, 28}, 40, 0},   // -5 + 50 / 100 * 10
      {false, -5, 5, {100, 28}, 39, -1},  // -5 + 4.9, truncated
      {false, 3, 3, {100, 28}, 50, 3},    // an empty range
      // Vertical: 0 + y / 180 * 4, no offset.
      {true, 0, 4, {28, 180}, 0, 0},
      {true, 0, 4, {28, 180}, 44, 0},
      {true, 0, 4, {28, 180}, 45, 1},
      {true, 0, 4, {28, 180}, 179, 3},
      {true, 0, 4, {28, 180}, 180, 4},
      {true, 0, 4, {28, 180}, -20, 0},
      {true, 0, 4, {28, 180}, 900, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.vertical ? "vertical " : "horizontal ") << c.minimum
                                    << ".." << c.maximum << " at " << c.along);
    CBitmapSlider slider(kId);
    slider.SetVertical(c.vertical);
    slider.SetRange(c.minimum, c.maximum);
    slider.SetChannel(Channel(c.channel.width(), c.channel.height()));
    const int x = c.vertical ? 7 : c.along;
    const int y = c.vertical ? c.along : 7;
    EXPECT_EQ(slider.PositionAt(x, y), c.expected);
  }
}

TEST_F(BitmapSliderTest, PressTakesFocusAndPostsThePositionUnderThePointerQueued) {
  slider_->SetPos(1);
  QTest::mousePress(slider_, Qt::LeftButton, Qt::NoModifier, QPoint(170, 14));
  EXPECT_EQ(slider_->Pos(), 4);
  EXPECT_TRUE(slider_->Pressed());
  EXPECT_TRUE(slider_->Active());
  EXPECT_EQ(window_->focusWidget(), slider_);
  EXPECT_TRUE(posts_.empty()) << "notified from inside the press";
  Deliver();
  EXPECT_EQ(PostedPositions(), std::vector<int>{4});
}

TEST_F(BitmapSliderTest, PressOnThePixelOfThePositionPostsNothing) {
  // Range 0..100 on 180 pixels: position 50 stands at pixel 90, while the
  // pointer rule reads pixel 90 as 55.
  slider_->SetRange(0, 100);
  slider_->SetPos(50);
  ASSERT_EQ(slider_->PositionAt(90, 0), 55);
  QTest::mousePress(slider_, Qt::LeftButton, Qt::NoModifier, QPoint(90, 14));
  Deliver();
  EXPECT_EQ(slider_->Pos(), 50);
  EXPECT_TRUE(slider_->Pressed());
  EXPECT_TRUE(posts_.empty());

  QTest::mouseRelease(slider_, Qt::LeftButton, Qt::NoModifier, QPoint(90, 14));
  QTest::mousePress(slider_, Qt::LeftButton, Qt::NoModifier, QPoint(91, 14));
  Deliver();
  EXPECT_EQ(slider_->Pos(), 56);
  EXPECT_EQ(PostedPositions(), (std::vector<int>{50, 56}));
}

TEST_F(BitmapSliderTest, DragFollowsThePointerAndReleasePostsTheEnd) {
  // At 0 the press is on the pixel of position 0: nothing yet.
  QTest::mousePress(slider_, Qt::LeftButton, Qt::NoModifier, QPoint(0, 14));
  QTest::mouseMove(slider_, QPoint(80, 14));   // 2
  QTest::mouseMove(slider_, QPoint(500, 40));  // past the end: 4
  QTest::mouseMove(slider_, QPoint(-90, -5));  // past the start: 0
  QTest::mouseMove(slider_, QPoint(130, 14));  // 3
  QTest::mouseRelease(slider_, Qt::LeftButton, Qt::NoModifier, QPoint(130, 14));
  EXPECT_FALSE(slider_->Pressed());
  Deliver();
  EXPECT_EQ(PostedPositions(), (std::vector<int>{2, 4, 0, 3, 3}));

  posts_.clear();
  Hover(QPoint(170, 14));  // not pressed: a move changes nothing
  Deliver();
  EXPECT_EQ(slider_->Pos(), 3);
  EXPECT_TRUE(posts_.empty());
}

TEST_F(BitmapSliderTest, KeysMoveClampAndPost) {
  struct Case {
    int start;
    Qt::Key key;
    int expected;
  };
  const Case cases[] = {
      {2, Qt::Key_PageUp, 0}, {2, Qt::Key_PageDown, 4}, {3, Qt::Key_Home, 0},  {1, Qt::Key_End, 4},
      {2, Qt::Key_Left, 1},   {2, Qt::Key_Up, 1},       {2, Qt::Key_Right, 3}, {2, Qt::Key_Down, 3},
      {0, Qt::Key_Left, 0},   {4, Qt::Key_Right, 4},
  };
  slider_->setFocus();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "key " << c.key << " from " << c.start);
    posts_.clear();
    slider_->SetPos(c.start);
    QTest::keyClick(slider_, c.key);
    Deliver();
    EXPECT_EQ(slider_->Pos(), c.expected);
    EXPECT_EQ(PostedPositions(), std::vector<int>{c.expected});
  }
}

TEST_F(BitmapSliderTest, ArrowKeysAreTheSlidersNotTheWindowsShortcuts) {
  int stolen = 0;
  for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down})
    QObject::connect(new QShortcut(QKeySequence(key), window_.get()), &QShortcut::activated,
                     [&stolen] { ++stolen; });
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  slider_->setFocus();
  slider_->SetPos(2);
  QTest::keyClick(slider_, Qt::Key_Right);
  QTest::keyClick(slider_, Qt::Key_Right);
  QTest::keyClick(slider_, Qt::Key_Up);
  EXPECT_EQ(slider_->Pos(), 3);
  EXPECT_EQ(stolen, 0);

  // Other keys are left to the window.
  bool other = false;
  QObject::connect(new QShortcut(QKeySequence(Qt::Key_F5), window_.get()), &QShortcut::activated,
                   [&other] { other = true; });
  QTest::keyClick(slider_, Qt::Key_F5);
  EXPECT_TRUE(other);
}

TEST_F(BitmapSliderTest, WheelMovesBySignOfAccumulatedDeltaOneStepPerNotch) {
  struct Case {
    std::vector<int> deltas;
    int expected;  // from 50 in 0..100
  };
  const Case cases[] = {
      {{120}, 49},         // one notch away from the user
      {{240}, 48},         // a fast turn away: two steps, still away
      {{-120}, 51},        // towards the user
      {{-360}, 53},        // a fast turn towards the user
      {{40, 40, 40}, 49},  // touchpad: small deltas add up to a notch
      {{40, 40}, 50},      // not a notch yet
      {{-30, -30, -30, -30, -30}, 51},
      {{80, -40, 80}, 49},    // back and forth: what is left counts
      {{100, 100, 100}, 48},  // 300: two notches, 60 kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "deltas " << testing::PrintToString(c.deltas));
    slider_->SetRange(0, 100);
    slider_->SetPos(50);
    Leave();  // forgets any remainder
    Hover();
    posts_.clear();
    for (int delta : c.deltas) Wheel(delta);
    Deliver();
    EXPECT_EQ(slider_->Pos(), c.expected);
    ASSERT_EQ(posts_.size(), c.deltas.size());
    EXPECT_EQ(posts_.back().second, c.expected);
  }

  // The ends hold.
  slider_->SetRange(0, 4);
  slider_->SetPos(1);
  Hover();
  Wheel(480);
  EXPECT_EQ(slider_->Pos(), 0);
  Wheel(-960);
  EXPECT_EQ(slider_->Pos(), 4);
}

TEST_F(BitmapSliderTest, WheelOnlyWhileThePointerIsOver) {
  slider_->SetPos(2);
  Wheel(-120);  // never hovered
  Deliver();
  EXPECT_FALSE(slider_->Active());
  EXPECT_EQ(slider_->Pos(), 2);
  EXPECT_TRUE(posts_.empty());

  Hover();
  EXPECT_TRUE(slider_->Active());
  Wheel(-60);
  Leave();  // the half notch goes with the pointer
  EXPECT_FALSE(slider_->Active());
  Wheel(-120);
  Hover();
  Wheel(-60);
  Deliver();
  EXPECT_EQ(slider_->Pos(), 2);
  EXPECT_EQ(PostedPositions(), (std::vector<int>{2, 2}));
}

// Counts the presses that reach a widget: a skinned window drags itself on
// a press.
class PressCounter : public QObject {
 public:
  int presses = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress) ++presses;
    return false;
  }
};

TEST_F(BitmapSliderTest, DisabledInputChangesAndPostsNothing) {
  PressCounter window;
  window_->installEventFilter(&window);
  slider_->SetPos(2);
  slider_->SetInputEnabled(false);
  slider_->setFocus();
  QTest::mousePress(slider_, Qt::LeftButton, Qt::NoModifier, QPoint(170, 14));
  QTest::mouseMove(slider_, QPoint(0, 14));
  QTest::mouseRelease(slider_, Qt::LeftButton, Qt::NoModifier, QPoint(0, 14));
  QTest::keyClick(slider_, Qt::Key_End);
  Hover();
  Wheel(-240);
  Deliver();
  EXPECT_EQ(slider_->Pos(), 2);
  EXPECT_FALSE(slider_->Pressed());
  EXPECT_FALSE(slider_->Active());
  EXPECT_TRUE(posts_.empty());
  EXPECT_EQ(window.presses, 0) << "the press went on to the window";
}

TEST_F(BitmapSliderTest, SettingFromCodeClampsAndPostsNothing) {
  slider_->SetPos(9);
  EXPECT_EQ(slider_->Pos(), 4);
  slider_->SetPos(-3);
  EXPECT_EQ(slider_->Pos(), 0);
  slider_->SetPos(3);
  slider_->SetRange(0, 2);  // a narrower range clamps the position
  EXPECT_EQ(slider_->Pos(), 2);
  slider_->SetRange(5, 1);  // refused
  EXPECT_EQ(slider_->Minimum(), 0);
  EXPECT_EQ(slider_->Maximum(), 2);
  Deliver();
  EXPECT_TRUE(posts_.empty());
}

TEST_F(BitmapSliderTest, NotificationOfADeletedSliderIsDropped) {
  QTest::mousePress(slider_, Qt::LeftButton, Qt::NoModifier, QPoint(170, 14));
  delete slider_;
  slider_ = nullptr;
  Deliver();
  EXPECT_TRUE(posts_.empty());
}

TEST_F(BitmapSliderTest, FirstPictureSizesTheControlLaterOnesDoNot) {
  CBitmapSlider slider(kId);
  slider.resize(50, 50);
  slider.SetChannel(QPixmap());  // a missing picture leaves the size
  EXPECT_EQ(slider.size(), QSize(50, 50));
  slider.SetRange(0, 4);
  slider.SetPos(3);
  slider.SetChannel(Channel(180, 28));
  EXPECT_EQ(slider.size(), QSize(180, 28));
  EXPECT_EQ(slider.Pos(), 3);
  slider.SetChannel(Channel(120, 40, Qt::red));
  EXPECT_EQ(slider.size(), QSize(180, 28));
  EXPECT_EQ(slider.Channel().size(), QSize(120, 40));
  EXPECT_EQ(slider.grab().toImage().pixelColor(10, 10), QColor(Qt::red));
}

}  // namespace
}  // namespace kst
