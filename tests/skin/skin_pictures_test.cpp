// The picture cache of a skinned window: decodes started ahead on other
// threads, pictures dropped once their users have what they need, and the
// header check of pictures decoded later.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "TestApp.h"
#include "skin/SkinPictures.h"
#include "support/DeathTestFolders.h"

namespace kst {
namespace {

constexpr QRgb kGreen = 0xFF00FF00;

class SkinPicturesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureApp();
    ASSERT_TRUE(dir_.isValid());
    ASSERT_TRUE(test::WritePicture(dir_.filePath("small.png"), {30, 20}, kGreen));
    ASSERT_TRUE(test::WritePicture(dir_.filePath("large.png"), {160, 150}, kGreen));
    ASSERT_TRUE(test::WriteFile(dir_.filePath("text.png"), "not a picture"));
    ASSERT_TRUE(test::WriteFile(dir_.filePath("empty.png"), ""));
    QFile whole(dir_.filePath("small.png"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    // Header and size intact, the end of the pixel data cut off.
    const QByteArray bytes = whole.readAll();
    ASSERT_TRUE(test::WriteFile(dir_.filePath("cut.png"), bytes.first(bytes.size() - 20)));
  }

  QTemporaryDir dir_;
};

TEST_F(SkinPicturesTest, PrefetchedPicturesAreDecodedOnceAndHandedOutShared) {
  SkinPictures pictures(dir_.path());
  pictures.Prefetch({"small.png", "large.png", "small.png", "missing.png"});
  EXPECT_EQ(pictures.DecodeCount(), 3);
  pictures.Prefetch({"small.png"});  // already under way
  EXPECT_EQ(pictures.DecodeCount(), 3);

  const QPixmap first = pictures.Required("small.png");
  const QPixmap second = pictures.Required("small.png");
  EXPECT_EQ(first.size(), QSize(30, 20));
  EXPECT_EQ(first.toImage().pixel(3, 3), kGreen);
  EXPECT_EQ(first.cacheKey(), second.cacheKey());
  EXPECT_TRUE(pictures.Get("large.png").has_value());
  EXPECT_EQ(pictures.DecodeCount(), 3);

  // A failed decode is not kept: the next request tries the file again.
  EXPECT_FALSE(pictures.Get("missing.png").has_value());
  EXPECT_FALSE(pictures.Get("missing.png").has_value());
  EXPECT_EQ(pictures.DecodeCount(), 4);
}

TEST_F(SkinPicturesTest, ReadyOnceNothingStartedForTheFileStillRuns) {
  SkinPictures pictures(dir_.path());
  EXPECT_TRUE(pictures.Ready("small.png"));  // nothing started
  pictures.Prefetch({"small.png"});
  pictures.Prefetch({"large.png"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!(pictures.Ready("small.png") && pictures.Ready("large.png")) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(pictures.Ready("small.png"));
  EXPECT_TRUE(pictures.Ready("large.png"));
  EXPECT_TRUE(pictures.Get("small.png").has_value());
  EXPECT_EQ(pictures.Required("large.png").size(), QSize(160, 150));
  EXPECT_EQ(pictures.DecodeCount(), 2);
}

TEST_F(SkinPicturesTest, ClearAndFolderChangeWaitForDecodesInFlight) {
  SkinPictures pictures(dir_.path());
  pictures.Prefetch({"small.png", "large.png"});
  pictures.Clear();
  EXPECT_FALSE(pictures.Holds("small.png"));
  EXPECT_TRUE(pictures.Get("small.png").has_value());  // decoded anew
  pictures.Prefetch({"large.png"});
  pictures.SetFolder(dir_.path() + "/elsewhere");
  EXPECT_FALSE(pictures.Get("large.png").has_value());
  // Destroyed with a decode still running: must not crash or leak it.
  SkinPictures(dir_.path()).Prefetch({"small.png", "large.png"});
}

// A dropped picture goes from the cache while the pixmaps handed out keep
// their pixels; the next request decodes the file again.
TEST_F(SkinPicturesTest, DroppedPicturesAreDecodedAgain) {
  SkinPictures pictures(dir_.path());
  pictures.Prefetch({"small.png"});
  const QPixmap held = pictures.Required("small.png");
  pictures.Drop("small.png");
  pictures.Drop("large.png");  // never taken
  EXPECT_FALSE(pictures.Holds("small.png"));
  EXPECT_EQ(held.toImage().pixel(5, 5), kGreen);
  const QPixmap again = pictures.Required("small.png");
  EXPECT_NE(again.cacheKey(), held.cacheKey());
  EXPECT_EQ(again.toImage().pixel(5, 5), kGreen);
  EXPECT_EQ(pictures.DecodeCount(), 2);
}

TEST_F(SkinPicturesTest, ReadableLooksAtTheHeaderOnly) {
  SkinPictures pictures(dir_.path());
  const struct {
    const char* name;
    bool readable;
  } cases[] = {{"small.png", true},
               {"cut.png", true},
               {"text.png", false},
               {"empty.png", false},
               {"missing.png", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(pictures.Readable(c.name), c.readable) << c.name;
  }
  EXPECT_EQ(pictures.DecodeCount(), 0);
  // The cut picture passes the header check; its decode fails when used.
  EXPECT_FALSE(pictures.Get("cut.png").has_value());
}

TEST_F(SkinPicturesTest, OnlyRegularFilesInsideTheSkinFolderAreOpened) {
  const QDir root(dir_.path());
  ASSERT_TRUE(root.mkpath("skin/sub"));
  ASSERT_TRUE(test::WritePicture(root.filePath("skin/sub/in.png"), {30, 20}, kGreen));
  ASSERT_TRUE(QFile::copy(root.filePath("small.png"), root.filePath("skin/small.png")));
  // A FIFO nobody writes to: opening it the ordinary way waits for good.
  ASSERT_EQ(::mkfifo(QFile::encodeName(root.filePath("skin/fifo.png")).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(root.filePath("small.png"), root.filePath("skin/link-out.png")));
  const struct {
    QString name;
    bool loads;
  } cases[] = {
      {"small.png", true},
      {"sub/in.png", true},
      {"sub/../small.png", false},
      {"../small.png", false},
      {"sub/../../small.png", false},
      {root.filePath("small.png"), false},
      {"link-out.png", false},
      {"fifo.png", false},
  };
  SkinPictures pictures(root.filePath("skin"));
  QStringList names;
  for (const auto& c : cases) names << c.name;
  testing::internal::CaptureStderr();
  pictures.Prefetch(names);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    EXPECT_EQ(pictures.Readable(c.name), c.loads);
    EXPECT_EQ(pictures.HeaderSize(c.name).isValid(), c.loads);
    EXPECT_EQ(pictures.Get(c.name).has_value(), c.loads);
  }
  pictures.Clear();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("skin picture ../small.png: outside the skin folder"), std::string::npos)
      << said;
  EXPECT_NE(said.find("fifo.png: not a regular file"), std::string::npos) << said;
}

// Above a ratio of 1 a picture comes from its "@2x" file when that is
// exactly twice the size, drawn at ratio 2 so it keeps the window size; at 1
// the larger file is never read (it holds four times the pixels).
TEST_F(SkinPicturesTest, TwiceSizedPicturesServeScaledScreensOnly) {
  constexpr QRgb kRed = 0xFFFF0000;
  ASSERT_TRUE(test::WritePicture(dir_.filePath("small@2x.png"), {60, 40}, kRed));
  ASSERT_TRUE(test::WritePicture(dir_.filePath("large@2x.png"), {100, 100}, kRed));  // wrong size
  struct Case {
    qreal ratio;
    const char* file;
    qreal pictureRatio;
    QRgb colour;
  };
  const Case cases[] = {{1, "small.png", 1, kGreen},
                        {1.5, "small.png", 2, kRed},
                        {2, "small.png", 2, kRed},
                        {2, "large.png", 1, kGreen}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ratio << " " << c.file);
    for (bool prefetched : {false, true}) {
      SkinPictures pictures(dir_.path());
      pictures.SetDeviceRatio(c.ratio);
      if (prefetched) pictures.Prefetch({c.file});
      const auto picture = pictures.Get(c.file);
      ASSERT_TRUE(picture.has_value());
      EXPECT_EQ(picture->devicePixelRatio(), c.pictureRatio);
      const QImage image = picture->toImage();
      EXPECT_EQ(image.pixel(1, 1), c.colour);
      EXPECT_EQ(image.pixel(image.width() - 1, image.height() - 1), c.colour);
    }
  }
}

TEST_F(SkinPicturesTest, RequiredPictureThatCannotBeLoadedEndsTheProcess) {
  const test::DeathTestFolders folders(dir_.path());
  for (const char* name : {"missing.png", "text.png"}) {
    EXPECT_EXIT(
        {
          SkinPictures pictures(dir_.path());
          pictures.Prefetch({name});
          pictures.Required(name);
        },
        ::testing::ExitedWithCode(0), "cannot load skin picture")
        << name;
  }
}

}  // namespace
}  // namespace kst
