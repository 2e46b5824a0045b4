#include "platform/AtomicFile.h"

#include <QSaveFile>

namespace kst {

bool WriteFileAtomically(const QString& path, std::span<const char> bytes) {
  QSaveFile file(path);
  // Unbuffered: a write that fails must fail here, where commit() learns of
  // it. A buffered write is only flushed by commit(), which does not notice
  // a failed flush and would put a cut-off file in place.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
  // Before any byte is written: the temporary file takes the mode of the file
  // it replaces (or the umask's), and the renamed file keeps it.
  if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
    file.cancelWriting();
    return false;
  }
  const auto size = static_cast<qint64>(bytes.size());
  if (size != 0 && file.write(bytes.data(), size) != size) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

bool WriteFileAtomically(const QString& path, std::span<const std::uint8_t> bytes) {
  return WriteFileAtomically(
      path, std::span<const char>(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
  return WriteFileAtomically(
      path, std::span<const char>(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace kst
