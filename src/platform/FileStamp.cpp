#include "platform/FileStamp.h"

#include <QFile>

#include <sys/stat.h>

namespace kst {

namespace {

FileStamp StampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.size = static_cast<std::int64_t>(st.st_size);
  stamp.modifiedNs =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  stamp.changedNs =
      static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.regularFile = S_ISREG(st.st_mode);
  return stamp;
}

}  // namespace

std::optional<FileStamp> StatFile(const char* encodedPath) {
  struct stat st {};
  if (encodedPath == nullptr || ::stat(encodedPath, &st) != 0) return std::nullopt;
  return StampOf(st);
}

std::optional<FileStamp> StatOpenFile(int fd) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) return std::nullopt;
  return StampOf(st);
}

std::optional<FileStamp> StatFile(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  const QByteArray encoded = QFile::encodeName(path);
  return StatFile(encoded.constData());
}

}  // namespace kst
