#include "skin/SkinRender.h"

#include <QPainter>
#include <QWidget>

namespace kst {

QImage RenderWindow(QWidget& window) {
  QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    window.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  }
  if (!window.mask().isEmpty()) {
    QImage clipped(image.size(), QImage::Format_ARGB32_Premultiplied);
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
