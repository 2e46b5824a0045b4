#pragma once

// Where the main window goes when it shows: the rule alone, over plain
// geometry, so that it holds on any arrangement of screens without a display.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>
#include <span>
#include <vector>

namespace kst {

// The top-left corner of a window of `size` (frame included) given the
// available geometries of the screens now attached (the first is the primary
// one), the position saved at its last hide (nullopt on the first show) and
// the pointer.
// - First show: centred on the screen that holds the pointer (the primary
//   one when the pointer is on none).
// - A saved position whose window lies wholly on one screen is kept.
// - One that overlaps a screen only in part is moved onto the screen it
//   overlaps most, by the least distance; a window larger than that screen
//   keeps its top-left corner on it.
// - One that overlaps no screen (its screen is gone) is centred again as on
//   the first show.
// Without screens the saved position is kept (the origin on the first show).
QPoint PlaceWindow(std::span<const QRect> screens, QSize size, std::optional<QPoint> saved,
                   QPoint pointer);

// The available geometries of the screens attached now, the primary one first.
std::vector<QRect> AvailableScreenAreas();

}  // namespace kst
