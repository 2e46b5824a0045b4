#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <csignal>

namespace kst {
namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

TEST(WriteFileAtomically, ReplacesTheWholeFileOrNothing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("file");
  struct Case {
    const char* what;
    QByteArray bytes;
  };
  const Case cases[] = {
      {"a new file", "first content"},
      {"a shorter content replaces all of the longer", "short"},
      {"nothing at all", ""},
      {"binary bytes", QByteArray("\x00\xFF\x00\x01", 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(WriteFileAtomically(path, c.bytes));
    EXPECT_EQ(ReadAll(path), c.bytes);
  }
  // Nothing is left beside the file.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"file"});
}

TEST(WriteFileAtomically, AFailedWriteKeepsTheOldFileAndLeavesNothingBehind) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  EXPECT_FALSE(WriteFileAtomically(dir.filePath("missing/folder/file"), QByteArray("x")));
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));

  const QString path = dir.filePath("file");
  ASSERT_TRUE(WriteFileAtomically(path, QByteArray("old")));
  // A file size limit stands in for a full disk: writes past it fail.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteFileAtomically(path, QByteArray(5000, 'n'));
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(ReadAll(path), "old");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"file"});
}

}  // namespace
}  // namespace kst
