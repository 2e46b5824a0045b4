#include "skin/SkinLayoutOps.h"

#include <QWidget>

#include <algorithm>
#include <cstdlib>

#include "skin/CPngButton.h"

namespace kst {

QRect GeometryFromSkinRect(const SkinRect& rect) {
  auto position = [](int v) { return std::clamp(v, -kMaxLayoutExtent, kMaxLayoutExtent); };
  auto extent = [](int v) { return std::clamp(v, 0, kMaxLayoutExtent); };
  return QRect(position(rect.x), position(rect.y), extent(rect.width), extent(rect.height));
}

namespace {

// Moves without painting: the window paints once its layout is complete.
void MoveQuietly(QWidget& control, const SkinRect& rect) {
  const bool updates = control.updatesEnabled();
  control.setUpdatesEnabled(false);
  control.setGeometry(GeometryFromSkinRect(rect));
  control.setUpdatesEnabled(updates);
}

}  // namespace

SkinRect LayoutImageButton(CPngButton& control, const QString& file, const QString& section,
                           const QString& key, const QPixmap& normal, const QPixmap& hover,
                           const QPixmap& pressed, const QPixmap& disabled, const QPixmap& extra) {
  const SkinRect rect = ReadSkinRect(file, section, key);
  MoveQuietly(control, rect);
  control.SetPictures(rect.x, rect.y, normal, hover, pressed, disabled, extra, false);
  if (rect.MarksHidden()) {
    control.setEnabled(false);
    control.setVisible(false);
  }
  return rect;
}

SkinRect LayoutControl(QWidget& control, const QString& file, const QString& section,
                       const QString& key) {
  const SkinRect rect = ReadSkinRect(file, section, key);
  MoveQuietly(control, rect);
  return rect;
}

SkinRect LayoutVariantButton(CPngButton& control, const QString& file, const QString& section,
                             const QString& key, const QString& section2, const QString& key2,
                             const QPixmap& bitmap) {
  const SkinRect rect = ReadSkinRect(file, section, key);
  MoveQuietly(control, rect);
  const SkinRect origin = ReadSkinRect(file, section2, key2);
  control.SetPictures(origin.x, origin.y, bitmap, bitmap, bitmap, bitmap, bitmap, false);
  return rect;
}

void SortInReadingOrder(std::vector<QWidget*>& controls) {
  std::stable_sort(controls.begin(), controls.end(), [](const QWidget* a, const QWidget* b) {
    const QRect ra = a->geometry();
    const QRect rb = b->geometry();
    const int rowTolerance = std::min(ra.height(), rb.height()) / 2;
    if (std::abs(ra.center().y() - rb.center().y()) > rowTolerance)
      return ra.center().y() < rb.center().y();
    return ra.center().x() < rb.center().x();
  });
}

void SetTabChain(const std::vector<QWidget*>& controls) {
  for (std::size_t i = 1; i < controls.size(); ++i)
    QWidget::setTabOrder(controls[i - 1], controls[i]);
}

}  // namespace kst
