#include "skin/SkinPictures.h"

#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kst {

std::optional<QPixmap> DecodeSkinPicture(const QString& path) {
  QImageReader reader(path);
  reader.setAutoTransform(false);
  QImage image;
  if (!reader.read(&image) || image.isNull()) return std::nullopt;
  return QPixmap::fromImage(std::move(image));
}

void EndProcessForMissingPicture(const QString& path) {
  std::fflush(stdout);
  std::fprintf(stderr, "kestrune: cannot load skin picture %s\n", qUtf8Printable(path));
  std::fflush(stderr);
  // At once: nothing of a half-built window may run on.
  std::_Exit(0);
}

SkinPictures::SkinPictures(QString folder) { SetFolder(std::move(folder)); }

void SkinPictures::SetFolder(QString folder) {
  if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  if (folder != folder_) Clear();
  folder_ = std::move(folder);
}

QString SkinPictures::PathOf(const QString& fileName) const { return folder_ + fileName; }

std::optional<QPixmap> SkinPictures::Get(const QString& fileName) {
  if (const auto it = pictures_.constFind(fileName); it != pictures_.constEnd()) return *it;
  ++decodes_;
  auto picture = DecodeSkinPicture(PathOf(fileName));
  if (!picture) return std::nullopt;
  pictures_.insert(fileName, *picture);
  return picture;
}

QPixmap SkinPictures::Required(const QString& fileName) {
  auto picture = Get(fileName);
  if (!picture) EndProcessForMissingPicture(PathOf(fileName));
  return *picture;
}

QPixmap SkinPictures::Surface(const QString& fileName, QSize clientSize) {
  if (const auto it = surfaces_.constFind(fileName); it != surfaces_.constEnd()) {
    if (it->width() >= clientSize.width() + kSurfaceMargin &&
        it->height() >= clientSize.height() + kSurfaceMargin)
      return *it;
  }
  const QPixmap picture = Required(fileName);
  const QSize size(std::max(picture.width(), clientSize.width() + kSurfaceMargin),
                   std::max(picture.height(), clientSize.height() + kSurfaceMargin));
  QPixmap surface(size);
  surface.fill(Qt::black);
  {
    QPainter painter(&surface);
    painter.drawPixmap(0, 0, picture);
  }
  surfaces_.insert(fileName, surface);
  return surface;
}

void SkinPictures::Clear() {
  pictures_.clear();
  surfaces_.clear();
}

}  // namespace kst
