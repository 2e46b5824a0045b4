#include "platform/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kst {

namespace {

constexpr mode_t kPrivateFolderMode = S_IRWXU;

// 1 made, 0 a folder was there, -1 neither.
int MakeOne(const QByteArray& encoded) {
  if (::mkdir(encoded.constData(), kPrivateFolderMode) == 0) return 1;
  if (errno != EEXIST) return -1;
  struct stat st {};
  if (::stat(encoded.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
  return 0;
}

}  // namespace

int MakePrivateFolder(const QString& folder) {
  if (folder.isEmpty()) return -1;
  const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
  const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QString path;
  int result = 0;
  for (const QString& part : parts) {
    path += QLatin1Char('/') + part;
    result = MakeOne(QFile::encodeName(path));
    if (result < 0) return -1;
  }
  if (result == 1) return 1;

  // lstat: a symbolic link in the folder's place is not ours to change.
  const QByteArray encoded = QFile::encodeName(clean);
  struct stat st {};
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
