#include "app/AppIcons.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "device/DeviceHost.h"
#include "skin/SkinKeys.h"

namespace kst {

QString AppIconFile(const QString& programFolder, int resourceId) {
  const char* name = nullptr;
  switch (resourceId) {
    case kTrayIconDisconnected:
      name = kIconNoKeyboard;
      break;
    case kTrayIconConnected:
      name = kIconConnected;
      break;
    case kTrayIconActivity:
      name = kIconActivity;
      break;
    default:
      return {};
  }
  return programFolder + QStringLiteral("/Skins/") + QLatin1String(name);
}

QImage DrawAppIcon(int resourceId, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 32.0;
  const bool connected = resourceId == kTrayIconConnected || resourceId == kTrayIconActivity;
  const QColor body = connected ? QColor(0x1c, 0x22, 0x2e) : QColor(0x44, 0x48, 0x52);
  const QColor edge = connected ? QColor(0x3d, 0xa5, 0xff) : QColor(0x8a, 0x90, 0x9c);
  const QColor keys = connected ? QColor(0xe8, 0xf2, 0xff) : QColor(0x9a, 0xa0, 0xaa);

  const QRectF plate(1.5 * s, 8 * s, 29 * s, 17 * s);
  p.setPen(QPen(edge, 1.5 * s));
  p.setBrush(body);
  p.drawRoundedRect(plate, 3.5 * s, 3.5 * s);
  p.setPen(Qt::NoPen);
  p.setBrush(keys);
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < 6; ++i) {
      p.drawRoundedRect(QRectF((4.5 + i * 4) * s, (11 + row * 4.5) * s, 2.8 * s, 2.8 * s), 0.6 * s,
                        0.6 * s);
    }
  }
  p.drawRoundedRect(QRectF(9 * s, 20 * s, 14 * s, 2.6 * s), 0.6 * s, 0.6 * s);

  if (!connected) {
    p.setPen(QPen(QColor(0xe0, 0x40, 0x40), 2.6 * s, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5 * s, 29 * s), QPointF(27 * s, 3 * s));
  } else if (resourceId == kTrayIconActivity) {
    p.setPen(QPen(QColor(0x0a, 0x0c, 0x11), 1.2 * s));
    p.setBrush(QColor(0x4c, 0xe0, 0x7a));
    p.drawEllipse(QPointF(26 * s, 7 * s), 4.5 * s, 4.5 * s);
  }
  return image;
}

QIcon LoadAppIcon(const QString& programFolder, int resourceId) {
  const QString file = AppIconFile(programFolder, resourceId);
  if (!file.isEmpty() && QFileInfo(file).isFile()) {
    const QImage picture(file);
    if (!picture.isNull()) return QIcon(QPixmap::fromImage(picture));
  }
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64}) {
    icon.addPixmap(QPixmap::fromImage(DrawAppIcon(resourceId, size)));
  }
  return icon;
}

}  // namespace kst
