// Pictures on pages of their own: large decodes and the buttons' pieces
// packed into blocks.

#include <gtest/gtest.h>

#include <QImageReader>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

#include "TestApp.h"
#include "skin/LargeImage.h"
#include "skin/PieceArena.h"
#include "skin/SkinPictures.h"

namespace kst {
namespace {

// A picture no two rows or columns of which are alike.
QImage Pattern(QSize size, QImage::Format format, int seed) {
  QImage image(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < size.width(); ++x)
      line[x] = qRgb((x * 7 + seed) % 256, (y * 13 + seed) % 256, (x ^ y) % 256);
  }
  return image.convertToFormat(format);
}

// A decode into pixels made ahead (a large picture's own pages) gives what
// the toolkit's own decode gives, for each format a skin uses, large or
// small, with rows of any length.
TEST(LargeImageTest, SkinDecodesMatchTheToolkitsOwn) {
  test::EnsureApp();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  struct Case {
    const char* file;
    QSize size;
    QImage::Format format;
  };
  for (const Case& c : {Case{"large.jpg", {1201, 713}, QImage::Format_RGB32},
                        Case{"large.bmp", {1201, 713}, QImage::Format_RGB888},
                        Case{"large.png", {1201, 713}, QImage::Format_ARGB32},
                        Case{"grey.png", {1203, 900}, QImage::Format_Grayscale8},
                        Case{"small.jpg", {45, 31}, QImage::Format_RGB32}}) {
    SCOPED_TRACE(c.file);
    const QString path = dir.filePath(QString::fromLatin1(c.file));
    ASSERT_TRUE(Pattern(c.size, c.format, 3).save(path));
    const QImage own = QImageReader(path).read();
    ASSERT_FALSE(own.isNull());
    const QImage decoded = DecodeSkinImage(path);
    EXPECT_EQ(decoded.format(), own.format());
    EXPECT_TRUE(decoded == own);
  }
}

// Pixels made ahead do not get a picture past the toolkit's limit on what a
// reader may allocate (a header claiming gigabytes): it is refused as the
// toolkit's own decode refuses it.
TEST(LargeImageTest, SkinDecodesKeepTheReadersAllocationLimit) {
  test::EnsureApp();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("large.jpg"));
  ASSERT_TRUE(Pattern({1024, 1024}, QImage::Format_RGB32, 1).save(path));  // 4 MB decoded
  const int limit = QImageReader::allocationLimit();
  QImageReader::setAllocationLimit(2);
  const QImage own = QImageReader(path).read();
  const QImage decoded = DecodeSkinImage(path);
  QImageReader::setAllocationLimit(limit);
  EXPECT_TRUE(own.isNull());
  EXPECT_TRUE(decoded.isNull()) << "decoded past the allocation limit";
  EXPECT_FALSE(DecodeSkinImage(path).isNull());
}

TEST(LargeImageTest, HoldsEveryPixelAndRefusesWhatIsNotAnImage) {
  QImage image = NewLargeImage({1000, 700}, QImage::Format_RGB32);
  ASSERT_EQ(image.size(), QSize(1000, 700));
  ASSERT_EQ(image.format(), QImage::Format_RGB32);
  const QImage pattern = Pattern(image.size(), QImage::Format_RGB32, 5);
  for (int y = 0; y < image.height(); ++y)
    std::memcpy(image.scanLine(y), pattern.constScanLine(y), pattern.bytesPerLine());
  // A copy shares the pixels, which stay until the last copy goes.
  QImage copy = image;
  image = QImage();
  EXPECT_TRUE(copy == pattern);
  EXPECT_TRUE(NewLargeImage({0, 10}, QImage::Format_RGB32).isNull());
  EXPECT_TRUE(NewLargeImage({10, 10}, QImage::Format_Invalid).isNull());
}

// Pieces packed side by side keep their own pixels, also those larger than
// a block, and outlive the arena that made them.
TEST(PieceArenaTest, PackedImagesKeepTheirOwnPixels) {
  std::vector<QImage> pieces;
  std::vector<QImage> expected;
  {
    PieceArena arena;
    const std::vector<QSize> sizes = {{44, 44},   {1, 1},     {57, 3},  {3, 57},
                                      {200, 180}, {700, 800}, {45, 29}, {1100, 700}};
    int seed = 0;
    for (int round = 0; round < 4; ++round) {
      for (const QSize size : sizes) {
        for (const QImage::Format format :
             {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888}) {
          QImage piece = arena.NewImage(size, format);
          ASSERT_EQ(piece.size(), size);
          ASSERT_EQ(piece.format(), format);
          const QImage pattern = Pattern(size, format, ++seed);
          for (int y = 0; y < size.height(); ++y)
            std::memcpy(piece.scanLine(y), pattern.constScanLine(y),
                        static_cast<std::size_t>(size.width()) * (pattern.depth() / 8));
          pieces.push_back(piece);
          expected.push_back(pattern);
        }
      }
      if (round == 1) arena.StartNewBlock();
    }
    EXPECT_TRUE(arena.NewImage({0, 5}, QImage::Format_RGB32).isNull());
    // A format of less than a byte per pixel is made the toolkit's way.
    EXPECT_EQ(arena.NewImage({9, 9}, QImage::Format_Mono).size(), QSize(9, 9));
  }
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    ASSERT_TRUE(pieces[i] == expected[i]) << "piece " << i;
  }
}

}  // namespace
}  // namespace kst
