#include "mainwindow/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace kst {
namespace {

QPoint CentreOn(const QRect& screen, QSize size) {
  const QPoint corner(screen.x() + (screen.width() - size.width()) / 2,
                      screen.y() + (screen.height() - size.height()) / 2);
  // A window larger than the screen keeps its top-left corner (its caption
  // and close button) on it.
  return QPoint(std::max(corner.x(), screen.x()), std::max(corner.y(), screen.y()));
}

QPoint ClampOnto(const QRect& screen, const QRect& window) {
  // Right and bottom first, so that a window larger than the screen ends
  // with its top-left corner on it.
  int x = std::min(window.x(), screen.x() + screen.width() - window.width());
  int y = std::min(window.y(), screen.y() + screen.height() - window.height());
  x = std::max(x, screen.x());
  y = std::max(y, screen.y());
  return QPoint(x, y);
}

qint64 Area(const QRect& rect) {
  return rect.isEmpty() ? 0 : qint64{rect.width()} * qint64{rect.height()};
}

}  // namespace

QPoint PlaceWindow(std::span<const QRect> screens, QSize size, std::optional<QPoint> saved,
                   QPoint pointer) {
  if (screens.empty()) return saved.value_or(QPoint());
  if (!saved) {
    const auto under = std::find_if(screens.begin(), screens.end(),
                                    [&](const QRect& screen) { return screen.contains(pointer); });
    return CentreOn(under != screens.end() ? *under : screens.front(), size);
  }
  const QRect window(*saved, size);
  const QRect* best = nullptr;
  qint64 bestArea = 0;
  for (const QRect& screen : screens) {
    if (screen.contains(window)) return *saved;
    const qint64 overlap = Area(screen.intersected(window));
    if (overlap > bestArea) {
      bestArea = overlap;
      best = &screen;
    }
  }
  if (best == nullptr) return PlaceWindow(screens, size, std::nullopt, pointer);
  return ClampOnto(*best, window);
}

std::vector<QRect> AvailableScreenAreas() {
  std::vector<QRect> areas;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary != nullptr) areas.push_back(primary->availableGeometry());
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen != primary) areas.push_back(screen->availableGeometry());
  }
  return areas;
}

}  // namespace kst
