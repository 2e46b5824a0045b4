#pragma once

#include <QImage>
#include <QSize>

namespace kst {

// Pictures of this many bytes or more are worth pages of their own.
inline constexpr qsizetype kLargeImageBytes = 1024 * 1024;

// An image of `size` and `format` whose pixels live on a mapping of their
// own, handed back to the system as soon as the last copy of the image goes.
// Where the system offers them, the mapping is made of huge pages: a picture
// of megabytes is filled through a few page faults instead of a thousand,
// which is most of the cost of decoding one. Undefined pixels; a null image
// when the size or format is not valid. Safe on any thread.
QImage NewLargeImage(QSize size, QImage::Format format);

}  // namespace kst
