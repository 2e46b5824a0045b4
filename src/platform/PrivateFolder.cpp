#include "platform/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/RuntimeFolder.h"

namespace kst {

int MakePrivateFolder(const QString& folder) {
  if (folder.isEmpty()) return -1;
  const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
  const QByteArray encoded = QFile::encodeName(clean);
  bool created = false;
  if (!MakeFolders(encoded.toStdString(), &created, nullptr)) return -1;
  if (created) return 1;
  struct stat st {};
  if (::stat(encoded.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;

  // lstat: a symbolic link in the folder's place is not ours to change.
  if (::lstat(encoded.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
      (st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    ::chmod(encoded.constData(), (st.st_mode & 07777 & ~(S_IRWXG | S_IRWXO)) | S_IRWXU);
  }
  return 0;
}

int ClearAtomicWriteLeftovers(const QString& folder, const QStringList& fileNames) {
  if (folder.isEmpty() || fileNames.isEmpty()) return 0;
  QStringList names;
  for (const QString& name : fileNames) {
    names << QRegularExpression::wildcardToRegularExpression(
        name, QRegularExpression::UnanchoredWildcardConversion);
  }
  const QRegularExpression leftover(
      QStringLiteral("\\A(?:%1)\\.[A-Za-z0-9]{6}\\z").arg(names.join(QLatin1Char('|'))));
  const QDir dir(folder);
  int removed = 0;
  for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
    if (!leftover.match(entry).hasMatch()) continue;
    const QByteArray encoded = QFile::encodeName(dir.filePath(entry));
    struct stat st {};
    if (::lstat(encoded.constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid()) {
      continue;
    }
    if (::unlink(encoded.constData()) == 0) ++removed;
  }
  return removed;
}

}  // namespace kst
