#pragma once

#include <QImage>
#include <QSize>

#include <cstddef>
#include <memory>

namespace kst {

// Pixels of many small images (the pieces a window's buttons cut of its
// full-window pictures), packed one after another into blocks of their own
// pages (NewLargeImage) instead of the heap: a window's hundreds of pieces
// are filled through a few page faults, and a block goes back to the system
// as soon as the last image in it goes, which the heap may never do. Used
// on one thread; the images it hands out may go on any.
class PieceArena {
 public:
  // Bytes of one block: one huge page where the system has them.
  static constexpr std::size_t kBlockBytes = std::size_t{2} << 20;

  PieceArena() = default;
  PieceArena(const PieceArena&) = delete;
  PieceArena& operator=(const PieceArena&) = delete;

  // An image of `size` and `format` (a format of whole bytes per pixel),
  // undefined pixels; one of more than a block's bytes gets a mapping of its
  // own. A null image when the size or format is not valid.
  QImage NewImage(QSize size, QImage::Format format);
  // The next image starts a new block: the images handed out until now no
  // longer keep room for later ones, so their block goes with them.
  void StartNewBlock() { block_.reset(); }

 private:
  struct Block;
  std::shared_ptr<Block> block_;
  std::size_t used_ = 0;
};

}  // namespace kst
