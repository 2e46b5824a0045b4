#include "skin/SkinPictures.h"

#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace kst {

QImage DecodeSkinImage(const QString& path) {
  QImageReader reader(path);
  reader.setAutoTransform(false);
  QImage image;
  if (!reader.read(&image)) return QImage();
  return image;
}

std::optional<QPixmap> DecodeSkinPicture(const QString& path) {
  QImage image = DecodeSkinImage(path);
  if (image.isNull()) return std::nullopt;
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

SkinPictures::~SkinPictures() { JoinDecoders(); }

void SkinPictures::SetFolder(QString folder) {
  if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  if (folder != folder_) Clear();
  folder_ = std::move(folder);
}

QString SkinPictures::PathOf(const QString& fileName) const { return folder_ + fileName; }

void SkinPictures::Prefetch(const QStringList& fileNames) {
  struct Job {
    QString path;
    std::promise<QImage> result;
  };
  struct Batch {
    std::vector<Job> jobs;
    std::atomic<std::size_t> next{0};
  };
  auto batch = std::make_shared<Batch>();
  for (const QString& name : fileNames) {
    if (pictures_.contains(name) || pending_.contains(name)) continue;
    Job job{PathOf(name), {}};
    pending_.insert(name, job.result.get_future().share());
    batch->jobs.push_back(std::move(job));
    ++decodes_;
  }
  if (batch->jobs.empty()) return;
  const unsigned threads =
      std::min<unsigned>(kDecodeThreads, static_cast<unsigned>(batch->jobs.size()));
  for (unsigned t = 0; t < threads; ++t) {
    decoders_.emplace_back([batch] {
      for (;;) {
        const std::size_t k = batch->next.fetch_add(1);
        if (k >= batch->jobs.size()) return;
        Job& job = batch->jobs[k];
        job.result.set_value(DecodeSkinImage(job.path));
      }
    });
  }
}

void SkinPictures::JoinDecoders() {
  for (std::thread& decoder : decoders_) {
    if (decoder.joinable()) decoder.join();
  }
  decoders_.clear();
}

bool SkinPictures::Readable(const QString& fileName) const {
  QImageReader reader(PathOf(fileName));
  if (!reader.canRead()) return false;
  const QSize size = reader.size();
  return size.isValid() && !size.isEmpty();
}

QImage SkinPictures::TakeImage(const QString& fileName) {
  if (const auto it = pending_.find(fileName); it != pending_.end()) {
    QImage image = it->get();
    pending_.erase(it);
    return image;
  }
  ++decodes_;
  return DecodeSkinImage(PathOf(fileName));
}

std::optional<QPixmap> SkinPictures::Get(const QString& fileName) {
  if (const auto it = pictures_.constFind(fileName); it != pictures_.constEnd()) return *it;
  QImage image = TakeImage(fileName);
  if (image.isNull()) return std::nullopt;
  const QPixmap picture = QPixmap::fromImage(std::move(image));
  pictures_.insert(fileName, picture);
  return picture;
}

QPixmap SkinPictures::Required(const QString& fileName) {
  auto picture = Get(fileName);
  if (!picture) EndProcessForMissingPicture(PathOf(fileName));
  return *picture;
}

QPixmap SkinPictures::Surface(const QString& fileName, QSize clientSize) {
  const QSize least(clientSize.width() + kSurfaceMargin, clientSize.height() + kSurfaceMargin);
  if (const auto it = surfaces_.constFind(fileName); it != surfaces_.constEnd()) {
    if (it->width() >= least.width() && it->height() >= least.height()) return *it;
  }
  QPixmap surface;
  if (const auto it = pictures_.constFind(fileName); it != pictures_.constEnd()) {
    const QPixmap& picture = *it;
    if (picture.width() >= least.width() && picture.height() >= least.height()) {
      surface = picture;
    } else {
      QImage canvas(least.expandedTo(picture.size()), QImage::Format_RGB32);
      canvas.fill(Qt::black);
      {
        QPainter painter(&canvas);
        painter.drawPixmap(0, 0, picture);
      }
      surface = QPixmap::fromImage(std::move(canvas));
    }
  } else {
    QImage image = TakeImage(fileName);
    if (image.isNull()) EndProcessForMissingPicture(PathOf(fileName));
    if (image.width() >= least.width() && image.height() >= least.height()) {
      surface = QPixmap::fromImage(std::move(image));
    } else {
      QImage canvas(least.expandedTo(image.size()), QImage::Format_RGB32);
      canvas.fill(Qt::black);
      {
        QPainter painter(&canvas);
        painter.drawImage(0, 0, image);
      }
      image = QImage();
      surface = QPixmap::fromImage(std::move(canvas));
    }
  }
  surfaces_.insert(fileName, surface);
  // The surface stands in for the picture: keep the decoded copy only while
  // it is also held elsewhere (a window's background, a caller's pixmap).
  if (const auto it = pictures_.find(fileName);
      it != pictures_.end() && it->isDetached() && it->cacheKey() != surface.cacheKey()) {
    pictures_.erase(it);
  }
  return surface;
}

void SkinPictures::Clear() {
  JoinDecoders();
  pending_.clear();
  pictures_.clear();
  surfaces_.clear();
}

}  // namespace kst
