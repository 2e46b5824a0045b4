#pragma once

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kst {

// Decodes a skin picture (JPEG, PNG, BMP, GIF); nullopt when the file cannot
// be opened, read or decoded. Only a regular file is opened, without
// waiting; anything else (a FIFO, a device) is refused with one stderr line.
std::optional<QPixmap> DecodeSkinPicture(const QString& path);
// The same into an image; a null image when it cannot be loaded. Safe on any
// thread.
QImage DecodeSkinImage(const QString& path);

// A picture a window cannot do without is missing: one line naming the file
// on stderr, then the process ends at once with exit code 0.
[[noreturn]] void EndProcessForMissingPicture(const QString& path);

// Hands the pages of freed memory back to the system, where the C library
// can (pictures of megabytes freed while the process stays resident).
void ReturnFreedMemory();
// Has every block of more than a few hundred kilobytes (a picture) mapped
// on its own pages, which go back to the system as soon as it is freed, on
// whatever thread it was made. Process-wide; for a program that frees
// pictures while it stays resident.
void MapLargeBlocksApart();

// The pictures of one window: each file is decoded once, however many
// buttons show it; the pixmaps handed out share the decoded image. Owned by
// the window, released with it. Used on the window's thread only; the
// decodes started by Prefetch run on threads of their own, and the
// destructor and Clear wait for them.
class SkinPictures {
 public:
  // Threads decoding at once for Prefetch.
  static constexpr unsigned kDecodeThreads = 2;

  explicit SkinPictures(QString folder = {});
  ~SkinPictures();
  SkinPictures(const SkinPictures&) = delete;
  SkinPictures& operator=(const SkinPictures&) = delete;

  void SetFolder(QString folder);  // with or without a trailing separator
  // The device pixel ratio of the screen the window is drawn on. Above 1,
  // each picture is taken from its twice-sized file when the skin has one
  // (DoubleSizeName; exactly twice the width and height of the picture),
  // with a device pixel ratio of 2, so it is drawn at the window's size
  // without scaling up; otherwise from the file as named. At 1 the larger
  // files are never read. A change drops what is held.
  void SetDeviceRatio(qreal ratio);
  qreal DeviceRatio() const { return ratio_; }
  // "main_normal.jpg" -> "main_normal@2x.jpg".
  static QString DoubleSizeName(const QString& fileName);
  QString Folder() const { return folder_; }
  // The file's place in the folder, as named (for messages).
  QString PathOf(const QString& fileName) const;

  // Starts decoding the files, in the order given, on background threads.
  // Get and Required of such a file take that decode's result (waiting for
  // it when it is still running) instead of decoding again. Files already
  // held or being decoded are skipped.
  void Prefetch(const QStringList& fileNames);

  // Whether the file opens as a picture of a known format and size, from
  // its header alone; nothing is decoded or kept.
  bool Readable(const QString& fileName) const;
  // The picture's size from its header alone; invalid when it cannot be read.
  QSize HeaderSize(const QString& fileName) const;

  // The picture, decoded on first use; nullopt when it cannot be loaded.
  std::optional<QPixmap> Get(const QString& fileName);
  // Like Get, but ends the process when the picture cannot be loaded.
  QPixmap Required(const QString& fileName);

  // Decodes started, prefetched or not, since construction.
  int DecodeCount() const { return decodes_; }
  // Whether no decode started for the file is still running, so taking it
  // will not wait.
  bool Ready(const QString& fileName) const;
  // Whether the decoded picture of the file is held.
  bool Holds(const QString& fileName) const { return pictures_.contains(fileName); }
  // Forgets the file's decoded picture (a later Get decodes it again);
  // pixmaps handed out keep their pixels until released.
  void Drop(const QString& fileName);
  void Clear();

 private:
  struct Job {
    QString path;
    QString doublePath;  // tried first when not empty
    std::promise<QImage> result;
  };
  // Jobs waiting for a decoding thread, shared with the threads.
  struct JobQueue {
    std::mutex mutex;
    std::deque<Job> jobs;
    unsigned workers = 0;  // threads taking jobs
  };

  // The decoded image of a file: a finished or running prefetch, or a decode
  // now. A null image when it cannot be loaded.
  QImage TakeImage(const QString& fileName);
  // The path to open for a file a skin names: empty when it lies outside the
  // folder (an absolute name, a ".." step, a link leading out), which is
  // said once per name on stderr. Files outside are never opened.
  QString Resolve(const QString& fileName) const;
  // The twice-sized file to try for fileName: empty at a ratio of 1.
  QString ResolveDouble(const QString& fileName) const;
  void Start(std::vector<Job> jobs);
  void JoinDecoders();

  QString folder_;
  qreal ratio_ = 1;
  mutable QSet<QString> refused_;  // names reported as outside the folder
  QHash<QString, QPixmap> pictures_;
  QHash<QString, std::shared_future<QImage>> pending_;
  std::shared_ptr<JobQueue> queue_;
  std::vector<std::thread> decoders_;
  int decodes_ = 0;
};

}  // namespace kst
