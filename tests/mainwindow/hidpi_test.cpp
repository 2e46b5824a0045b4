// The main window on a screen that scales by 2: drawn from the twice-sized
// skin pictures pixel for pixel, at its usual size in window pixels, with
// buttons meeting without a seam and taking the clicks where they are drawn.
// Runs in a program of its own: the scale is the application's, set before
// it starts.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include <cstdlib>

#include "main_window_harness.h"
#include "mainwindow/MainWindowIds.h"
#include "skin/SkinKeys.h"
#include "skin/SkinRender.h"

namespace kst::mwtest {
namespace {

using Look = CPngButton::Look;

const QString kSkins = QStringLiteral(KST_BIN_DIR "/Skins/");

constexpr int kKeyA = 1058;
constexpr int kKeyS = 1059;
constexpr AssignmentSlot kSlotA = 0x1E;
constexpr AssignmentSlot kSlotS = 0x1F;

using HiDpiMainWindow = MainWindowFixture;

TEST_F(HiDpiMainWindow, DrawsFromTheTwiceSizedPicturesAtItsUsualSize) {
  Start();
  ASSERT_EQ(dialog->devicePixelRatioF(), 2);
  const QImage single(kSkins + QLatin1String(kMainPictureSet.normal));
  ASSERT_FALSE(single.isNull());
  EXPECT_EQ(dialog->size(), single.size());
  EXPECT_EQ(dialog->Background().devicePixelRatio(), 2);
  for (int id : {kKeyA, kGKeyIds[0], kGKeyIds[8], kIdApply, kIdOk, kIdLockCaps}) {
    CPngButton* button = Button(id);
    SCOPED_TRACE(qPrintable(button->objectName()));
    for (Look look : {Look::Normal, Look::Disabled, Look::Selected})
      EXPECT_EQ(button->LookPixels(look).devicePixelRatio(), 2) << static_cast<int>(look);
    // The pointer over the middle of a button that takes clicks reaches it.
    if (!button->testAttribute(Qt::WA_TransparentForMouseEvents)) {
      EXPECT_EQ(dialog->childAt(button->geometry().center()), button);
    }
  }
  // Every button's piece of each state picture is cut in device pixels.
  ASSERT_TRUE(WaitFor([&] { return dialog->LaterLooksTaken(); }));
  EXPECT_GT(ExpectLooksShowTheirSkinFiles(*dialog, kSkins), 500);
}

// Two neighbouring keys, both marked assigned, drawn from one picture: the
// render shows that picture's own pixels across the edge where the two
// buttons meet, so there is neither a seam nor a step there.
TEST_F(HiDpiMainWindow, NeighbouringButtonsMeetWithoutASeam) {
  Start();
  ASSERT_TRUE(store->SetAssignment(Profile(), kSlotA, AssignmentKind::SingleKey, 0x30));
  ASSERT_TRUE(store->SetAssignment(Profile(), kSlotS, AssignmentKind::SingleKey, 0x30));
  dialog->RefreshKeyButtons();
  CPngButton* a = Button(kKeyA);
  CPngButton* s = Button(kKeyS);
  ASSERT_EQ(a->CurrentLook(), Look::Selected);
  ASSERT_EQ(s->CurrentLook(), Look::Selected);
  ASSERT_EQ(a->geometry().right() + 1, s->geometry().left());

  const QImage shown = RenderWindow(*dialog).convertToFormat(QImage::Format_RGB32);
  const QImage drawn =
      QImage(kSkins + QStringLiteral("main_disable@2x.jpg")).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), drawn.size());
  const int edge = s->geometry().left() * 2;
  int differing = 0;
  for (int y = a->geometry().top() * 2; y < (a->geometry().bottom() + 1) * 2; ++y)
    for (int x = edge - 3; x < edge + 3; ++x) differing += shown.pixel(x, y) != drawn.pixel(x, y);
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace kst::mwtest

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QT_SCALE_FACTOR", "2", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
