#include "skin/PieceArena.h"

#include "skin/LargeImage.h"

namespace kst {

namespace {

// Rows start on 4-byte boundaries, as the toolkit's own images' do.
constexpr std::size_t kRowAlignment = 4;
// Images start on cache-line boundaries.
constexpr std::size_t kImageAlignment = 64;

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

}  // namespace

struct PieceArena::Block {
  // The block's pixels; each image handed out holds the block.
  QImage pages;
};

QImage PieceArena::NewImage(QSize size, QImage::Format format) {
  if (!size.isValid() || size.isEmpty() || format == QImage::Format_Invalid) return {};
  const QImage probe(1, 1, format);
  const int depth = probe.depth();
  if (probe.isNull() || depth % 8 != 0 || probe.colorCount() != 0) return QImage(size, format);
  const std::size_t bytesPerLine =
      AlignUp(static_cast<std::size_t>(size.width()) * (depth / 8), kRowAlignment);
  const std::size_t bytes = bytesPerLine * static_cast<std::size_t>(size.height());
  if (bytes > kBlockBytes) return NewLargeImage(size, format);
  std::size_t start = AlignUp(used_, kImageAlignment);
  if (!block_ || start + bytes > kBlockBytes) {
    auto block = std::make_shared<Block>();
    block->pages =
        NewLargeImage(QSize(static_cast<int>(kBlockBytes), 1), QImage::Format_Grayscale8);
    if (block->pages.isNull()) return QImage(size, format);
    block_ = std::move(block);
    start = 0;
  }
  used_ = start + bytes;
  auto* holder = new std::shared_ptr<Block>(block_);
  uchar* pixels = block_->pages.bits() + start;
  QImage image(
      pixels, size.width(), size.height(), static_cast<qsizetype>(bytesPerLine), format,
      [](void* info) { delete static_cast<std::shared_ptr<Block>*>(info); }, holder);
  if (image.isNull()) {
    delete holder;
    return QImage(size, format);
  }
  return image;
}

}  // namespace kst
