#include "skin/CPngButton.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <functional>
#include <memory>

#include "TestApp.h"
#include "skin/CBaseDialog.h"
#include "skin/PieceArena.h"
#include "skin/SkinRender.h"

namespace kst {
namespace {

using Look = CPngButton::Look;

// Five full-window pictures, each a gradient in its own colour channel so that
// every pixel of every picture differs.
QPixmap StatePicture(int index) {
  QImage image(120, 80, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixel(x, y, qRgb((index * 50 + x) % 256, (index * 40 + y) % 256, index * 45));
  return QPixmap::fromImage(image);
}

// A button on a plain widget paints itself; on a skinned window the window
// paints it. Every look must come out the same either way.
enum class Parent { PlainWidget, SkinnedWindow };

class PngButtonTest : public ::testing::TestWithParam<Parent> {
 protected:
  void SetUp() override {
    test::EnsureApp();
    for (int i = 0; i < 5; ++i) pictures_[i] = StatePicture(i);
    if (GetParam() == Parent::SkinnedWindow)
      window_ = std::make_unique<CBaseDialog>(102, nullptr, QString(), QString());
    else
      window_ = std::make_unique<QWidget>();
    window_->resize(120, 80);
    button_ = new CPngButton(window_.get());
    ASSERT_EQ(button_->PaintedByWindow(), GetParam() == Parent::SkinnedWindow);
    button_->setGeometry(30, 20, 24, 16);
    button_->SetPictures(30, 20, pictures_[0], pictures_[1], pictures_[2], pictures_[3],
                         pictures_[4]);
    window_->show();
  }
  QImage Shown() {
    const QImage shown = GetParam() == Parent::SkinnedWindow
                             ? RenderWindow(*window_).copy(button_->geometry())
                             : button_->grab().toImage();
    return shown.convertToFormat(QImage::Format_RGB32);
  }
  QImage Expected(int picture) {
    return pictures_[picture]
        .toImage()
        .copy(button_->Origin().x(), button_->Origin().y(), button_->width(), button_->height())
        .convertToFormat(QImage::Format_RGB32);
  }
  void Enter() {
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(button_, &enter);
  }
  void Leave() {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button_, &leave);
  }

  QPixmap pictures_[5];
  std::unique_ptr<QWidget> window_;
  CPngButton* button_ = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Parents, PngButtonTest,
                         ::testing::Values(Parent::PlainWidget, Parent::SkinnedWindow),
                         [](const ::testing::TestParamInfo<Parent>& info) {
                           return info.param == Parent::SkinnedWindow ? "SkinnedWindow"
                                                                      : "PlainWidget";
                         });

TEST_P(PngButtonTest, ShowsExactlyThePixelsUnderItsRectangle) {
  EXPECT_EQ(Shown(), Expected(0));
  button_->SetOrigin(50, 40);
  EXPECT_EQ(Shown(), Expected(0));
}

TEST_P(PngButtonTest, LookFollowsTheDrawingOrder) {
  struct Case {
    bool enabled, down, hover, selected;
    Look look;
    int picture;
  };
  const Case cases[] = {
      {true, false, false, false, Look::Normal, 0},
      {true, false, false, true, Look::Selected, 4},
      {true, false, true, true, Look::Hover, 1},
      {true, true, true, true, Look::Pressed, 2},
      // Disabled wins over everything, selected and hovered included.
      {false, false, false, true, Look::Disabled, 3},
      {false, false, true, true, Look::Disabled, 3},
      {false, true, true, true, Look::Disabled, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.enabled << c.down << c.hover << c.selected);
    button_->setEnabled(true);
    Leave();
    button_->setDown(c.down);
    if (c.hover) Enter();
    button_->SetSelected(c.selected, true);
    button_->setEnabled(c.enabled);
    EXPECT_EQ(button_->CurrentLook(), c.look);
    EXPECT_EQ(Shown(), Expected(c.picture));
  }
}

// Cuts the fixture's pictures for buttons that hold 1x1 stand-ins of them.
class StandInCutter : public PieceCutter {
 public:
  explicit StandInCutter(const QPixmap (&pictures)[5]) : pictures_(pictures) {
    for (QPixmap& standIn : standIns) {
      standIn = QPixmap(1, 1);
      standIn.fill(Qt::transparent);
    }
  }
  bool StandsIn(const QPixmap& picture) const override { return Index(picture) >= 0; }
  std::optional<QPixmap> Cut(const QPixmap& standIn, const QRect& area) override {
    ++cuts;
    if (holdOff) return std::nullopt;
    // As the main window does: the pieces' pixels packed in an arena.
    return CutPiece(pictures_[Index(standIn)], area, &arena_);
  }
  int Index(const QPixmap& picture) const {
    for (int i = 0; i < 5; ++i)
      if (standIns[i].cacheKey() == picture.cacheKey()) return i;
    return -1;
  }

  QPixmap standIns[5];
  int cuts = 0;
  bool holdOff = false;

 private:
  const QPixmap (&pictures_)[5];
  PieceArena arena_;
};

// A button holding stand-ins shows, in every look, the same pixels as from
// the whole pictures, after its origin moves or its size changes too, and
// cuts each piece once per place.
TEST_P(PngButtonTest, PiecesOfStandInsShowTheWholePicturesPixels) {
  StandInCutter cutter(pictures_);
  button_->SetPieceCutter(&cutter);
  const QPixmap* in = cutter.standIns;
  button_->SetStatePictures(in[0], in[1], in[2], in[3], in[4]);
  EXPECT_EQ(cutter.cuts, 5);
  EXPECT_TRUE(button_->PiecesCurrent());
  struct Place {
    const char* name;
    std::function<void()> make;
  };
  const Place places[] = {
      {"as laid out", [] {}},
      {"origin moved", [&] { button_->SetOrigin(70, 50); }},
      {"resized", [&] { button_->setGeometry(30, 20, 40, 30); }},
      {"moved and resized",
       [&] {
         button_->setGeometry(10, 50, 20, 12);
         button_->SetOrigin(96, 64);
       }},
  };
  const std::pair<Look, int> looks[] = {{Look::Normal, 0},
                                        {Look::Selected, 4},
                                        {Look::Hover, 1},
                                        {Look::Pressed, 2},
                                        {Look::Disabled, 3}};
  for (const Place& place : places) {
    SCOPED_TRACE(place.name);
    place.make();
    QApplication::processEvents();
    const int cuts = cutter.cuts;
    for (const auto& [look, picture] : looks) {
      SCOPED_TRACE(static_cast<int>(look));
      button_->setEnabled(look != Look::Disabled);
      Leave();
      button_->setDown(look == Look::Pressed);
      if (look == Look::Hover) Enter();
      button_->SetSelected(look == Look::Selected, true);
      ASSERT_EQ(button_->CurrentLook(), look);
      EXPECT_EQ(Shown(), Expected(picture));
      EXPECT_EQ(button_->LookPixels(look).toImage().convertToFormat(QImage::Format_RGB32),
                Expected(picture));
    }
    EXPECT_EQ(cutter.cuts, cuts) << "drawing cut again";
  }
}

// Past the picture's edge a piece is transparent: the button draws there
// what it drew from the whole picture, nothing over what lies beneath.
TEST_P(PngButtonTest, PiecesReachingPastThePictureDrawWhatTheWholePictureDrew) {
  button_->SetOrigin(110, 70);
  const QImage fromWhole = Shown();
  StandInCutter cutter(pictures_);
  button_->SetPieceCutter(&cutter);
  const QPixmap* in = cutter.standIns;
  button_->SetStatePictures(in[0], in[1], in[2], in[3], in[4]);
  EXPECT_EQ(Shown(), fromWhole);
  const QImage piece = button_->LookPixels(Look::Normal).toImage();
  ASSERT_EQ(piece.size(), button_->size());
  EXPECT_EQ(qAlpha(piece.pixel(9, 9)), 255);
  EXPECT_EQ(qAlpha(piece.pixel(10, 9)), 0);
  EXPECT_EQ(qAlpha(piece.pixel(9, 10)), 0);
}

// A cutter holding off (a hidden window) leaves the look empty; the pieces
// come once it cuts again.
TEST_P(PngButtonTest, PiecesDroppedAreCutAgainWhenAsked) {
  StandInCutter cutter(pictures_);
  button_->SetPieceCutter(&cutter);
  const QPixmap* in = cutter.standIns;
  button_->SetStatePictures(in[0], in[1], in[2], in[3], in[4]);
  cutter.holdOff = true;
  button_->DropPieces();
  EXPECT_FALSE(button_->PiecesCurrent());
  EXPECT_TRUE(button_->LookPixels(Look::Normal).isNull());
  cutter.holdOff = false;
  button_->CutPieces();
  EXPECT_TRUE(button_->PiecesCurrent());
  EXPECT_EQ(Shown(), Expected(0));
}

// At a device pixel ratio of 2 a piece is cut in device pixels from the
// twice-sized picture and keeps its ratio.
TEST(PngButtonPieces, AreCutInDevicePixelsAtARatioOfTwo) {
  QImage image(240, 160, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x, y, (x * y) % 256));
  QPixmap picture = QPixmap::fromImage(image);
  picture.setDevicePixelRatio(2);
  PieceArena arena;
  for (PieceArena* in : {static_cast<PieceArena*>(nullptr), &arena}) {
    SCOPED_TRACE(in ? "in an arena" : "on the heap");
    const QPixmap piece = CutPiece(picture, QRect(31, 17, 24, 16), in);
    EXPECT_EQ(piece.devicePixelRatio(), 2);
    EXPECT_EQ(piece.toImage(), image.copy(62, 34, 48, 32));
  }
}

// A view of a picture kept whole shows the same pixels as a cut piece and
// copies none of them; past the picture's edge it is cut as a piece is.
TEST(PngButtonPieces, ViewsShareThePicturesPixels) {
  QImage image(240, 160, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x, y, (x * y) % 256));
  const QPixmap picture = QPixmap::fromImage(image);
  const QImage held = picture.toImage();
  const uchar* begin = held.constBits();
  const uchar* end = begin + held.sizeInBytes();
  for (const QRect area : {QRect(31, 17, 24, 16), QRect(0, 0, 240, 160), QRect(239, 159, 1, 1)}) {
    SCOPED_TRACE(testing::Message() << area.x() << "," << area.y());
    const QPixmap view = ViewPiece(picture, area);
    const QImage pixels = view.toImage();
    EXPECT_EQ(pixels, CutPiece(picture, area).toImage());
    EXPECT_TRUE(pixels.constBits() >= begin && pixels.constBits() < end) << "a copy";
  }
  const QRect past(230, 150, 20, 20);
  EXPECT_EQ(ViewPiece(picture, past).toImage(), CutPiece(picture, past).toImage());
}

TEST_P(PngButtonTest, HoverAndTrackingFollowTheMouse) {
  Enter();
  EXPECT_TRUE(button_->IsHover());
  EXPECT_TRUE(button_->IsTracking());
  Leave();
  EXPECT_FALSE(button_->IsHover());
  EXPECT_FALSE(button_->IsTracking());
  Enter();
  button_->SetStatePictures(pictures_[0], pictures_[1], pictures_[2], pictures_[3], pictures_[4]);
  EXPECT_FALSE(button_->IsHover());
  EXPECT_FALSE(button_->IsTracking());
}

TEST_P(PngButtonTest, ColourFrameReplacesThePictureUntilTurnedOff) {
  button_->SetColourFrame(0x0000FF /* red */, 250, true);
  EXPECT_EQ(button_->ColourFrameAlpha(), 100);
  const QImage framed = Shown();
  const QRgb red = qRgb(255, 0, 0);
  for (QPoint p : {QPoint(1, 1), QPoint(2, 2), QPoint(22, 14), QPoint(21, 13), QPoint(12, 1)})
    EXPECT_EQ(framed.pixel(p), red) << p.x() << "," << p.y();
  // Inside the frame no state picture is drawn; the window beneath shows through.
  EXPECT_NE(framed.pixel(12, 8), Expected(0).pixel(12, 8));
  EXPECT_NE(framed.pixel(12, 8), red);
  button_->SetColourFrame(0x0000FF, 250, false);
  EXPECT_EQ(Shown(), Expected(0));
}

TEST_P(PngButtonTest, DrawCallbackReportsWhetherTheNormalPictureWasShown) {
  std::vector<bool> calls;
  button_->SetDrawCallback([&](CPngButton&, QPainter&, bool normal) { calls.push_back(normal); });
  Shown();
  button_->SetSelected(true, false);
  Shown();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_TRUE(calls[0]);
  EXPECT_FALSE(calls[1]);
}

TEST_P(PngButtonTest, DoubleClickActsAsTwoClicks) {
  int clicks = 0;
  QObject::connect(button_, &QAbstractButton::clicked, [&] { ++clicks; });
  const QPointF at(5, 5);
  auto send = [&](QEvent::Type type) {
    QMouseEvent event(type, at, button_->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(button_, &event);
  };
  send(QEvent::MouseButtonPress);
  send(QEvent::MouseButtonRelease);
  send(QEvent::MouseButtonDblClick);
  send(QEvent::MouseButtonRelease);
  EXPECT_EQ(clicks, 2);
}

// Keyboard use: Tab reaches the button and shows the focus frame over its
// picture; focus given otherwise (a click) shows none; Space clicks it.
TEST_P(PngButtonTest, TabShowsTheFocusFrameAndSpaceClicks) {
  auto* other = new CPngButton(window_.get());
  other->setGeometry(70, 20, 24, 16);
  other->SetPictures(70, 20, pictures_[0], pictures_[1], pictures_[2], pictures_[3], pictures_[4]);
  other->show();
  window_->activateWindow();
  QElapsedTimer timer;
  timer.start();
  while (!window_->isActiveWindow() && timer.elapsed() < 10000)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  ASSERT_TRUE(window_->isActiveWindow());
  int clicks = 0;
  QObject::connect(button_, &QAbstractButton::clicked, [&] { ++clicks; });
  auto press = [](QWidget* target, int key) {
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
      QKeyEvent event(type, key, Qt::NoModifier, key == Qt::Key_Space ? " " : "");
      QApplication::sendEvent(target, &event);
    }
    QApplication::processEvents();
  };

  button_->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(button_->hasFocus());
  EXPECT_FALSE(button_->FocusFrameShown());
  EXPECT_EQ(Shown(), Expected(0)) << "focus from the mouse shows no frame";

  other->setFocus(Qt::MouseFocusReason);
  press(other, Qt::Key_Tab);
  ASSERT_TRUE(button_->hasFocus()) << "Tab does not reach the button";
  EXPECT_TRUE(button_->FocusFrameShown());
  const QImage framed = Shown();
  const QRgb accent = FocusFrameColour().rgb();
  for (QPoint p : {QPoint(0, 0), QPoint(1, 8), QPoint(12, 1), QPoint(23, 15), QPoint(22, 8)})
    EXPECT_EQ(framed.pixel(p), accent) << p.x() << "," << p.y();
  // Inside the frame the picture stays.
  EXPECT_EQ(framed.pixel(12, 8), Expected(0).pixel(12, 8));
  EXPECT_FALSE(other->FocusFrameShown());

  press(button_, Qt::Key_Space);
  EXPECT_EQ(clicks, 1);

  // Focus moved by the mouse takes the frame away and shows none.
  other->setFocus(Qt::MouseFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(Shown(), Expected(0)) << "the frame stays after the focus left";
  EXPECT_FALSE(other->FocusFrameShown());
}

TEST_P(PngButtonTest, TooltipIgnoresAnEmptyText) {
  button_->SetTooltip("Close", true);
  button_->SetTooltip("", false);
  EXPECT_EQ(button_->TooltipText(), "Close");
  EXPECT_TRUE(button_->TooltipActive());
  button_->SetTooltip("Help", false);
  EXPECT_EQ(button_->TooltipText(), "Help");
  EXPECT_FALSE(button_->TooltipActive());
}

TEST_P(PngButtonTest, TextIsDrawnInTheColourOfTheLook) {
  button_->setGeometry(0, 0, 120, 80);
  button_->SetPictures(0, 0, QPixmap(), QPixmap(), QPixmap(), QPixmap(), QPixmap());
  button_->setText("WWWW");
  button_->SetTextStyle(true, 20, "DejaVu Sans", 0x00FF00, 0xFF0000, 0x0000FF, 0x00FFFF, 0, 37);
  auto contains = [&](QRgb colour) {
    const QImage image = Shown();
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) == colour) return true;
    return false;
  };
  EXPECT_TRUE(contains(qRgb(0, 255, 0)));
  button_->setEnabled(false);
  EXPECT_TRUE(contains(qRgb(255, 255, 0)));
  EXPECT_FALSE(contains(qRgb(0, 255, 0)));
}

// The window paints the button, so every change of what the button shows or
// where it is must repaint the window there; the toolkit would not.
TEST(PngButtonOnSkinnedWindow, EveryChangeRepaintsTheWindowUnderTheButton) {
  test::EnsureApp();
  CBaseDialog window(102, nullptr, QString(), QString());
  window.resize(120, 80);
  const QPixmap picture = StatePicture(0);
  auto* button = new CPngButton(&window);
  button->setGeometry(30, 20, 24, 16);
  button->SetPictures(30, 20, picture, picture, picture, picture, picture);

  struct PaintRecorder : QObject {
    QRegion painted;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
      return false;
    }
  } recorder;
  window.installEventFilter(&recorder);
  window.show();
  QApplication::processEvents();

  const QRect home(30, 20, 24, 16);
  struct Case {
    const char* change;
    std::function<void()> make;
    QRect mustRepaint;
  };
  const Case cases[] = {
      {"selected", [&] { button->SetSelected(true, true); }, home},
      {"disabled", [&] { button->setEnabled(false); }, home},
      {"enabled again", [&] { button->setEnabled(true); }, home},
      {"text", [&] { button->setText("G1"); }, home},
      {"down", [&] { button->setDown(true); }, home},
      {"up", [&] { button->setDown(false); }, home},
      {"colour frame", [&] { button->SetColourFrame(0xFF, 50, true); }, home},
      {"update", [&] { button->update(); }, home},
      {"hidden", [&] { button->hide(); }, home},
      {"shown", [&] { button->show(); }, home},
      {"moved: where it was", [&] { button->move(60, 40); }, home},
      {"moved back: where it was", [&] { button->move(30, 20); }, QRect(60, 40, 24, 16)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    recorder.painted = QRegion();
    c.make();
    QApplication::processEvents();
    EXPECT_TRUE(recorder.painted.contains(c.mustRepaint)) << recorder.painted.boundingRect().x();
  }

  // A press with the mouse shows the pressed look at once.
  recorder.painted = QRegion();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(button, &press);
  QApplication::processEvents();
  EXPECT_TRUE(button->isDown());
  EXPECT_TRUE(recorder.painted.contains(home));
}

}  // namespace
}  // namespace kst
