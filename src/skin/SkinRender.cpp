#include "skin/SkinRender.h"

#include <QPainter>
#include <QWidget>

namespace kst {

QImage RenderWindow(QWidget& window) {
  // At the window's device pixel ratio, as a screen of that ratio shows it.
  const qreal ratio = window.devicePixelRatioF();
  QImage image((QSizeF(window.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    window.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  }
  if (!window.mask().isEmpty()) {
    QImage clipped(image.size(), QImage::Format_ARGB32_Premultiplied);
    clipped.setDevicePixelRatio(ratio);
    clipped.fill(Qt::transparent);
    QPainter painter(&clipped);
    painter.setClipRegion(window.mask());
    painter.drawImage(0, 0, image);
    painter.end();
    return clipped;
  }
  return image;
}

bool RenderWindowToPng(QWidget& window, const QString& path) {
  return RenderWindow(window).save(path, "PNG");
}

}  // namespace kst
