#pragma once

// Reading files that a user (or anyone who could write to the user's
// folders) may have replaced by something else: only regular files are
// opened, and opening never blocks (a FIFO without a writer, a terminal or a
// device would otherwise hold the caller for as long as it likes). The type
// is taken from the opened descriptor, so a file swapped between a check and
// the open cannot slip through.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>

#include "platform/FileStamp.h"

namespace kst {

enum class FileRefusal {
  None,        // opened (or read)
  Missing,     // nothing at the path (or a folder on the way is missing)
  NotRegular,  // a folder, FIFO, socket or device
  TooLarge,    // larger than the caller's bound
  Unreadable,  // permissions or an I/O error
};

// "not a regular file" and the like, for one line of a message.
const char* RefusalText(FileRefusal refusal);

// Opens `path` read-only when it is a regular file; `file` is then open on
// it (and closes it). `stamp`, when given, receives the opened file's stat.
FileRefusal OpenRegularFile(const QString& path, QFile& file, FileStamp* stamp = nullptr);

struct RegularFileContents {
  FileRefusal refusal = FileRefusal::Missing;
  QByteArray bytes;  // the whole file when refusal is None
  FileStamp stamp;   // of the file read, when refusal is None
};

// The whole file when it is a regular file of at most maxBytes bytes.
RegularFileContents ReadRegularFile(const QString& path, std::int64_t maxBytes);

// One line on stderr naming the file and why it was not read.
void ReportRefusedFile(const QString& what, const QString& path, FileRefusal refusal);

}  // namespace kst
