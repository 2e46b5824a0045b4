#include "skin/LargeImage.h"

#include <cstdint>
#include <limits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kst {

namespace {

#if defined(__linux__)
constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

struct Mapping {
  void* start;
  std::size_t length;
};

void Unmap(void* info) {
  auto* mapping = static_cast<Mapping*>(info);
  munmap(mapping->start, mapping->length);
  delete mapping;
}

// `length` bytes (a multiple of the huge page size) at an address aligned to
// it, so that every page of the mapping can be a huge one; nullptr when the
// system has no memory to map.
void* MapAligned(std::size_t length) {
  const std::size_t reserved = length + kHugePageBytes;
  void* raw = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto base = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (base + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  const std::size_t head = aligned - base;
  if (head > 0) munmap(raw, head);
  const std::size_t tail = reserved - head - length;
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
  return reinterpret_cast<void*>(aligned);
}
#endif

}  // namespace

QImage NewLargeImage(QSize size, QImage::Format format) {
  if (!size.isValid() || size.isEmpty() || format == QImage::Format_Invalid) return {};
#if defined(__linux__)
  // The toolkit's own row length for the format: 32-bit aligned rows.
  const QImage probe(1, 1, format);
  const int bitsPerPixel = probe.depth();
  const qint64 bytesPerLine = ((qint64{size.width()} * bitsPerPixel + 31) / 32) * 4;
  const qint64 bytes = bytesPerLine * size.height();
  if (!probe.isNull() && probe.colorCount() == 0 &&
      bytesPerLine <= std::numeric_limits<int>::max() && bytes >= kLargeImageBytes) {
    const std::size_t length =
        (static_cast<std::size_t>(bytes) + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    if (void* start = MapAligned(length)) {
      // Only advice: without huge pages the mapping works with small ones.
      madvise(start, length, MADV_HUGEPAGE);
      auto* mapping = new Mapping{start, length};
      QImage image(static_cast<uchar*>(start), size.width(), size.height(),
                   static_cast<qsizetype>(bytesPerLine), format, Unmap, mapping);
      if (!image.isNull()) return image;
      // Refused before it took the mapping over.
      Unmap(mapping);
    }
  }
#endif
  return QImage(size, format);
}

}  // namespace kst
