#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace kst {

// What one stat() tells about a file: enough to notice that it was changed in
// place (size, modification time) or replaced by rename (identity, change time).
struct FileStamp {
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool regularFile = false;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// One stat() of `path`; nullopt when it does not exist or cannot be examined.
std::optional<FileStamp> StatFile(const QString& path);
// Same, for a path already encoded for the file system (QFile::encodeName).
std::optional<FileStamp> StatFile(const char* encodedPath);
// Same, for a file already open (fstat): describes exactly the file read.
std::optional<FileStamp> StatOpenFile(int fd);

}  // namespace kst
