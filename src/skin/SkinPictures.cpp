#include "skin/SkinPictures.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "foundation/SkinLayout.h"
#include "platform/RegularFile.h"
#include "skin/LargeImage.h"

namespace kst {

namespace {

constexpr const char* kWhat = "skin picture";

// Opens a skin picture when it is a regular file; one of another kind (a
// FIFO, a device) is said on stderr.
bool OpenPicture(const QString& path, QFile& file) {
  const FileRefusal refusal = OpenRegularFile(path, file);
  if (refusal == FileRefusal::NotRegular) ReportRefusedFile(kWhat, path, refusal);
  return refusal == FileRefusal::None;
}

// Whether a picture of the size and format stays within the toolkit's limit
// on what a reader may allocate. Pixels made ahead would get past that limit:
// a header claiming gigabytes is left to the reader, which refuses it.
bool WithinReaderLimit(QSize size, QImage::Format format) {
  const qint64 limitMegabytes = QImageReader::allocationLimit();
  if (limitMegabytes <= 0) return true;  // no limit set
  const qint64 bitsPerPixel = QImage::toPixelFormat(format).bitsPerPixel();
  if (bitsPerPixel <= 0) return false;
  const qint64 pixels = qint64{size.width()} * size.height();
  return pixels <= limitMegabytes * 1024 * 1024 * 8 / bitsPerPixel;
}

}  // namespace

QImage DecodeSkinImage(const QString& path) {
  QFile file;
  if (!OpenPicture(path, file)) return QImage();
  // The format comes from the content, as the file name's suffix is not
  // handed over with the opened file.
  QImageReader reader(&file);
  reader.setAutoTransform(false);
  // Decoded into pixels made ahead when the header tells the size and
  // format: a large picture gets pages of its own (NewLargeImage). A reader
  // that decodes into another format makes its own image instead.
  QImage image;
  const QSize size = reader.size();
  const QImage::Format format = reader.imageFormat();
  if (size.isValid() && format != QImage::Format_Invalid && WithinReaderLimit(size, format))
    image = NewLargeImage(size, format);
  if (!reader.read(&image)) return QImage();
  return image;
}

std::optional<QPixmap> DecodeSkinPicture(const QString& path) {
  QImage image = DecodeSkinImage(path);
  if (image.isNull()) return std::nullopt;
  return QPixmap::fromImage(std::move(image));
}

namespace {

// The picture of doublePath when it decodes at exactly twice the size of the
// one of path, marked as drawn at ratio 2; else the one of path.
QImage DecodeBest(const QString& path, const QString& doublePath) {
  if (!doublePath.isEmpty()) {
    QImage image = DecodeSkinImage(doublePath);
    if (!image.isNull()) {
      QFile file;
      QSize base;
      if (OpenRegularFile(path, file) == FileRefusal::None) base = QImageReader(&file).size();
      if (base.isValid() && image.size() == base * 2) {
        image.setDevicePixelRatio(2);
        return image;
      }
    }
  }
  return DecodeSkinImage(path);
}

}  // namespace

void EndProcessForMissingPicture(const QString& path) {
  std::fflush(stdout);
  std::fprintf(stderr, "kestrune: cannot load skin picture %s\n", qUtf8Printable(path));
  std::fflush(stderr);
  // At once: nothing of a half-built window may run on.
  std::_Exit(0);
}

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

void MapLargeBlocksApart() {
#if defined(__GLIBC__)
  // Setting the threshold keeps the C library from raising it after each
  // large block freed, which would put the next pictures in the heaps of
  // the threads decoding them; there the top of a heap is never trimmed.
  constexpr int kOwnMappingBytes = 128 * 1024;
  mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes);
#endif
}

SkinPictures::SkinPictures(QString folder) : queue_(std::make_shared<JobQueue>()) {
  SetFolder(std::move(folder));
}

SkinPictures::~SkinPictures() { JoinDecoders(); }

void SkinPictures::SetFolder(QString folder) {
  if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  if (folder != folder_) Clear();
  folder_ = std::move(folder);
}

void SkinPictures::SetDeviceRatio(qreal ratio) {
  if (!(ratio > 0)) ratio = 1;
  if ((ratio > 1) != (ratio_ > 1)) Clear();
  ratio_ = ratio;
}

QString SkinPictures::DoubleSizeName(const QString& fileName) {
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
  QString name = fileName;
  name.insert(dot > slash ? dot : fileName.size(), QStringLiteral("@2x"));
  return name;
}

QString SkinPictures::ResolveDouble(const QString& fileName) const {
  if (ratio_ <= 1) return QString();
  // Quietly: a name outside the folder is said once, for the file as named.
  return PathInsideFolder(folder_, DoubleSizeName(fileName)).value_or(QString());
}

QString SkinPictures::PathOf(const QString& fileName) const { return folder_ + fileName; }

QString SkinPictures::Resolve(const QString& fileName) const {
  if (std::optional<QString> path = PathInsideFolder(folder_, fileName)) return *path;
  if (!refused_.contains(fileName)) {
    refused_.insert(fileName);
    std::fprintf(stderr, "kestrune: %s %s: outside the skin folder %s, not read\n", kWhat,
                 qUtf8Printable(fileName), qUtf8Printable(folder_));
    std::fflush(stderr);
  }
  return QString();
}

void SkinPictures::Prefetch(const QStringList& fileNames) {
  std::vector<Job> jobs;
  for (const QString& name : fileNames) {
    if (pictures_.contains(name) || pending_.contains(name)) continue;
    Job job;
    job.path = Resolve(name);
    job.doublePath = ResolveDouble(name);
    pending_.insert(name, job.result.get_future().share());
    jobs.push_back(std::move(job));
    ++decodes_;
  }
  Start(std::move(jobs));
}

void SkinPictures::Start(std::vector<Job> jobs) {
  if (jobs.empty()) return;
  std::lock_guard lock(queue_->mutex);
  for (Job& job : jobs) queue_->jobs.push_back(std::move(job));
  while (queue_->workers < kDecodeThreads && queue_->workers < queue_->jobs.size()) {
    ++queue_->workers;
    // Jobs are taken in the order queued, so a job drawing from another's
    // decode only ever waits for one already taken.
    decoders_.emplace_back([queue = queue_] {
      for (;;) {
        Job job;
        {
          std::lock_guard taken(queue->mutex);
          if (queue->jobs.empty()) {
            --queue->workers;
            return;
          }
          job = std::move(queue->jobs.front());
          queue->jobs.pop_front();
        }
        job.result.set_value(DecodeBest(job.path, job.doublePath));
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

QSize SkinPictures::HeaderSize(const QString& fileName) const {
  QFile file;
  if (!OpenPicture(Resolve(fileName), file)) return QSize();
  QImageReader reader(&file);
  if (!reader.canRead()) return QSize();
  return reader.size();
}

bool SkinPictures::Readable(const QString& fileName) const {
  const QSize size = HeaderSize(fileName);
  return size.isValid() && !size.isEmpty();
}

bool SkinPictures::Ready(const QString& fileName) const {
  auto done = [](const std::shared_future<QImage>& result) {
    return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  };
  const auto it = pending_.constFind(fileName);
  return it == pending_.constEnd() || done(*it);
}

QImage SkinPictures::TakeImage(const QString& fileName) {
  if (const auto it = pending_.find(fileName); it != pending_.end()) {
    QImage image = it->get();
    pending_.erase(it);
    return image;
  }
  ++decodes_;
  return DecodeBest(Resolve(fileName), ResolveDouble(fileName));
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

void SkinPictures::Drop(const QString& fileName) { pictures_.remove(fileName); }

void SkinPictures::Clear() {
  JoinDecoders();
  refused_.clear();
  pending_.clear();
  pictures_.clear();
}

}  // namespace kst
