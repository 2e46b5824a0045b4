#include "skin/CBaseDialog.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QTemporaryDir>

#include "TestApp.h"
#include "skin/CPngButton.h"
#include "skin/SkinPictures.h"
#include "skin/SkinRender.h"
#include "support/DeathTestFolders.h"

namespace kst {
namespace {

// Regions compare by area: the same pixels may be held as different rectangles.
::testing::AssertionResult SameArea(const QRegion& a, const QRegion& b) {
  if (a.xored(b).isEmpty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "regions differ, bounding " << a.boundingRect().x() << "," << a.boundingRect().y()
         << " " << a.boundingRect().width() << "x" << a.boundingRect().height();
}

QImage Filled(QSize size, QRgb colour) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

TEST(MaskRegion, WhiteIsTransparent) {
  QImage border = Filled({10, 8}, 0xFFFFFF);
  {
    QPainter p(&border);
    p.fillRect(QRect(2, 1, 6, 5), Qt::black);
  }
  QImage stripes = Filled({6, 2}, 0x000000);
  stripes.setPixel(2, 0, 0xFFFFFFFF);
  stripes.setPixel(3, 0, 0xFFFFFFFF);
  QImage nearWhite = Filled({4, 4}, 0xFEFEFE);
  struct Case {
    const char* name;
    QImage mask;
    int tolerance;
    QRegion expected;
    int rects;  // rows alike are joined: a plain shape is few rectangles
  };
  const Case cases[] = {
      {"white border", border, 0, QRegion(2, 1, 6, 5), 1},
      {"no white", Filled({7, 5}, 0x102030), 0, QRegion(0, 0, 7, 5), 1},
      {"all white", Filled({7, 5}, 0xFFFFFF), 0, QRegion(), 0},
      {"two runs in a row", stripes, 0,
       QRegion(0, 0, 2, 1) + QRegion(4, 0, 2, 1) + QRegion(0, 1, 6, 1), 3},
      {"near white, no tolerance", nearWhite, 0, QRegion(0, 0, 4, 4), 1},
      {"near white, outside the key's range", nearWhite, 1, QRegion(0, 0, 4, 4), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QRegion region = MaskRegion(c.mask, kMaskKeyWhite, c.tolerance);
    EXPECT_TRUE(SameArea(region, c.expected));
    EXPECT_EQ(region.rectCount(), c.rects);
  }
  // Below the key: a grey key with tolerance takes lighter greys away too.
  EXPECT_TRUE(MaskRegion(nearWhite, 0xFDFDFD, 1).isEmpty());
  EXPECT_TRUE(SameArea(MaskRegion(nearWhite, 0xFDFDFD, 0), QRegion(0, 0, 4, 4)));
}

TEST(MaskRegion, LargeMasksAreJoinedBlockByBlock) {
  // Every other pixel opaque, shifted by one on every other row so that no
  // two rows join: far more than one block of rectangles.
  QImage comb = Filled({200, 40}, 0xFFFFFF);
  for (int y = 0; y < comb.height(); ++y)
    for (int x = y % 2; x < comb.width(); x += 2) comb.setPixel(x, y, 0xFF000000);
  const QRegion region = MaskRegion(comb, kMaskKeyWhite, 0);
  EXPECT_EQ(region.rectCount(), 100 * 40);
  int area = 0;
  for (const QRect& r : region) area += r.width() * r.height();
  EXPECT_EQ(area, 100 * 40);
  EXPECT_TRUE(region.contains(QPoint(199, 39)));
  EXPECT_FALSE(region.contains(QPoint(198, 39)));
  EXPECT_TRUE(region.contains(QPoint(198, 38)));
}

class BaseDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureApp();
    folder_ = dir_.path() + "/";
    QImage background = Filled({40, 30}, 0x202020);
    {
      QPainter p(&background);
      p.fillRect(QRect(0, 0, 40, 2), Qt::white);  // a white top edge
    }
    ASSERT_TRUE(background.save(folder_ + "bg.png"));
    QImage mask = Filled({40, 30}, 0x000000);
    mask.setPixel(0, 0, 0xFFFFFFFF);
    ASSERT_TRUE(mask.save(folder_ + "mask.png"));
    ASSERT_TRUE(Filled({40, 30}, 0xFFFFFF).save(folder_ + "white.png"));
  }
  QString Skin(const QByteArray& screen) {
    const QString ini = folder_ + "skin.ini";
    EXPECT_TRUE(test::WriteFile(ini, "[SCREEN]\n" + screen));
    return ini;
  }
  QTemporaryDir dir_;
  QString folder_;
};

TEST_F(BaseDialogTest, SkinGivesSizeBackgroundAndShape) {
  struct Case {
    const char* name;
    QByteArray screen;
    QRegion region;
  };
  const Case cases[] = {
      {"mask of its own", "Main=bg.png\nMask=mask.png\n",
       QRegion(1, 0, 39, 1) + QRegion(0, 1, 40, 29)},
      // Without a mask the background is the mask: its white edge is cut away.
      {"background as mask", "Main=bg.png\n", QRegion(0, 2, 40, 28)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CBaseDialog dialog(102, nullptr, Skin(c.screen), folder_);
    dialog.move(33, 44);
    dialog.ApplySkin();
    EXPECT_EQ(dialog.size(), QSize(40, 30));
    EXPECT_EQ(dialog.pos(), QPoint(33, 44));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.Loading());
    EXPECT_TRUE(SameArea(dialog.SkinRegion(), c.region));
    EXPECT_TRUE(SameArea(dialog.mask(), c.region));
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialog.grab().toImage().pixel(20, 20), 0xFF202020u);
  }
}

TEST_F(BaseDialogTest, AllWhiteMaskLeavesNothingVisible) {
  CBaseDialog dialog(102, nullptr, Skin("Main=bg.png\nMask=white.png\n"), folder_);
  dialog.ApplySkin();
  EXPECT_TRUE(dialog.SkinRegion().isEmpty());
  EXPECT_FALSE(dialog.mask().isEmpty());
  EXPECT_TRUE(dialog.mask().intersected(dialog.rect()).isEmpty());
}

TEST_F(BaseDialogTest, OkReleasesThePicturesCancelKeepsThem) {
  CBaseDialog dialog(102, nullptr, Skin("Main=bg.png\nMask=mask.png\n"), folder_);
  dialog.ApplySkin();
  dialog.reject();
  EXPECT_FALSE(dialog.Background().isNull());
  EXPECT_FALSE(dialog.MaskPicture().isNull());
  dialog.ApplySkin();
  dialog.accept();
  EXPECT_TRUE(dialog.Background().isNull());
  EXPECT_TRUE(dialog.MaskPicture().isNull());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// A button whose look is the window's background draws nothing itself; what
// the window shows under it must still be exactly its picture.
TEST_F(BaseDialogTest, ButtonsShowingTheBackgroundLookTheSame) {
  QImage selected = Filled({40, 30}, 0x00AA00);
  ASSERT_TRUE(selected.save(folder_ + "selected.png"));
  CBaseDialog dialog(102, nullptr, Skin("Main=bg.png\nMask=mask.png\n"), folder_);
  dialog.ApplySkin();
  const QPixmap normal = dialog.Pictures().Required("bg.png");
  EXPECT_EQ(normal.cacheKey(), dialog.Background().cacheKey());
  auto* button = new CPngButton(&dialog);
  button->setGeometry(10, 0, 20, 10);
  button->SetPictures(10, 0, normal, normal, normal, normal,
                      dialog.Pictures().Required("selected.png"));
  int draws = 0;
  button->SetDrawCallback([&](CPngButton&, QPainter&, bool) { ++draws; });
  const QImage plain = RenderWindow(dialog);
  EXPECT_EQ(plain.pixel(15, 1), 0xFFFFFFFFu);  // the background's white top edge
  EXPECT_EQ(plain.pixel(15, 5), 0xFF202020u);
  button->SetSelected(true, true);
  const QImage marked = RenderWindow(dialog);
  EXPECT_EQ(marked.pixel(15, 5), 0xFF00AA00u);
  EXPECT_EQ(marked.pixel(35, 5), 0xFF202020u);
  EXPECT_EQ(draws, 2);
}

using BaseDialogDeathTest = BaseDialogTest;

TEST_F(BaseDialogDeathTest, MissingPictureEndsTheProcessNamingTheFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const test::DeathTestFolders folders(dir_.path());
  struct Case {
    const char* name;
    QByteArray screen;
    const char* file;
  };
  const Case cases[] = {
      {"background", "Main=gone.jpg\n", "gone.jpg"},
      {"mask", "Main=bg.png\nMask=nomask.bmp\n", "nomask.bmp"},
      {"no background named", "Mask=mask.png\n", "cannot load skin picture"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString ini = Skin(c.screen);
    EXPECT_EXIT(
        {
          CBaseDialog dialog(102, nullptr, ini, folder_);
          dialog.ApplySkin();
        },
        ::testing::ExitedWithCode(0), c.file);
  }
  EXPECT_EXIT(SkinPictures(folder_).Required("absent.png"), ::testing::ExitedWithCode(0),
              "cannot load skin picture .*absent.png");
}

TEST(SkinPictures, EachFileIsDecodedOnce) {
  test::EnsureApp();
  QTemporaryDir dir;
  ASSERT_TRUE(test::WritePicture(dir.filePath("a.png"), {30, 20}, 0xFF00FF00));
  SkinPictures pictures(dir.path());
  const QPixmap first = pictures.Required("a.png");
  const QPixmap second = pictures.Required("a.png");
  EXPECT_EQ(pictures.DecodeCount(), 1);
  EXPECT_EQ(first.cacheKey(), second.cacheKey());
  EXPECT_FALSE(pictures.Get("missing.png").has_value());
  EXPECT_EQ(pictures.DecodeCount(), 2);  // a.png once, missing.png once
}

}  // namespace
}  // namespace kst
