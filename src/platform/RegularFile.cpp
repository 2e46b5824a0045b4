#include "platform/RegularFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace kst {

const char* RefusalText(FileRefusal refusal) {
  switch (refusal) {
    case FileRefusal::None:
      return "read";
    case FileRefusal::Missing:
      return "does not exist";
    case FileRefusal::NotRegular:
      return "not a regular file";
    case FileRefusal::TooLarge:
      return "too large";
    case FileRefusal::Unreadable:
      return "cannot be read";
  }
  return "cannot be read";
}

FileRefusal OpenRegularFile(const QString& path, QFile& file, FileStamp* stamp) {
  if (path.isEmpty()) return FileRefusal::Missing;
  const QByteArray encoded = QFile::encodeName(path);
  // O_NONBLOCK: opening a FIFO without a writer returns at once instead of
  // waiting for one; O_NOCTTY: a terminal never becomes ours.
  const int fd = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return errno == ENOENT || errno == ENOTDIR ? FileRefusal::Missing : FileRefusal::Unreadable;
  }
  const std::optional<FileStamp> opened = StatOpenFile(fd);
  FileRefusal refusal = FileRefusal::None;
  if (!opened) {
    refusal = FileRefusal::Unreadable;
  } else if (!opened->regularFile) {
    refusal = FileRefusal::NotRegular;
  } else {
    // Reads of a regular file never wait anyway; plain blocking reads keep
    // QFile's error reporting straightforward.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      refusal = FileRefusal::Unreadable;
    }
  }
  if (refusal == FileRefusal::None &&
      !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    refusal = FileRefusal::Unreadable;
  }
  if (refusal != FileRefusal::None) {
    ::close(fd);
    return refusal;
  }
  if (stamp != nullptr) *stamp = *opened;
  return FileRefusal::None;
}

RegularFileContents ReadRegularFile(const QString& path, std::int64_t maxBytes) {
  RegularFileContents contents;
  QFile file;
  contents.refusal = OpenRegularFile(path, file, &contents.stamp);
  if (contents.refusal != FileRefusal::None) return contents;
  if (contents.stamp.size > maxBytes) {
    contents.refusal = FileRefusal::TooLarge;
    return contents;
  }
  // Sized by the stat, so a small file costs a small buffer; a file that
  // grew since is read on, and one byte more than allowed tells it is too
  // large.
  const qint64 limit = maxBytes + 1;
  contents.bytes = file.read(std::min<qint64>(contents.stamp.size + 1, limit));
  while (contents.bytes.size() < limit && file.error() == QFileDevice::NoError) {
    const QByteArray more = file.read(std::min<qint64>(limit - contents.bytes.size(), 1 << 16));
    if (more.isEmpty()) break;
    contents.bytes += more;
  }
  if (file.error() != QFileDevice::NoError) {
    contents.refusal = FileRefusal::Unreadable;
    contents.bytes.clear();
  } else if (contents.bytes.size() > maxBytes) {
    contents.refusal = FileRefusal::TooLarge;
    contents.bytes.clear();
  }
  return contents;
}

void ReportRefusedFile(const QString& what, const QString& path, FileRefusal refusal) {
  std::fprintf(stderr, "kestrune: %s %s: %s, not read\n", qUtf8Printable(what),
               qUtf8Printable(path), RefusalText(refusal));
  std::fflush(stderr);
}

}  // namespace kst
