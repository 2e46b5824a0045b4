// The user's files: read only when regular, without waiting.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/RegularFile.h"
#include "support/Unprivileged.h"

namespace kst {
namespace {

bool MakeFile(const QString& path, const QByteArray& bytes = "x") {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool MakeFifo(const QString& path) {
  return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

class PrivateFilesTest : public ::testing::Test {
 protected:
  QTemporaryDir dir_;
};

TEST_F(PrivateFilesTest, ReadRegularFileRefusesAllButRegularFilesWithoutWaiting) {
  ASSERT_TRUE(MakeFile(dir_.filePath("plain"), "contents"));
  ASSERT_TRUE(MakeFile(dir_.filePath("large"), QByteArray(101, 'x')));
  ASSERT_TRUE(QDir(dir_.path()).mkdir("folder"));
  // A FIFO nobody writes to: a blocking open would wait here for good.
  ASSERT_TRUE(MakeFifo(dir_.filePath("fifo")));
  ASSERT_TRUE(QFile::link(dir_.filePath("fifo"), dir_.filePath("link-to-fifo")));
  ASSERT_TRUE(QFile::link(dir_.filePath("plain"), dir_.filePath("link-to-plain")));
  const struct {
    const char* name;
    FileRefusal refusal;
    QByteArray bytes;
  } cases[] = {
      {"plain", FileRefusal::None, "contents"}, {"link-to-plain", FileRefusal::None, "contents"},
      {"missing", FileRefusal::Missing, {}},    {"plain/below-a-file", FileRefusal::Missing, {}},
      {"large", FileRefusal::TooLarge, {}},     {"folder", FileRefusal::NotRegular, {}},
      {"fifo", FileRefusal::NotRegular, {}},    {"link-to-fifo", FileRefusal::NotRegular, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RegularFileContents read = ReadRegularFile(dir_.filePath(c.name), 100);
    EXPECT_EQ(read.refusal, c.refusal);
    EXPECT_EQ(read.bytes, c.bytes);
  }
  EXPECT_EQ(ReadRegularFile(dir_.filePath("large"), 101).bytes.size(), 101);
  EXPECT_EQ(ReadRegularFile("/dev/null", 100).refusal, FileRefusal::NotRegular);

  // Permissions bind only an unprivileged user.
  const int failed = test::RunUnprivileged([] {
    QTemporaryDir own;
    const QString path = own.filePath("unreadable");
    if (!own.isValid() || !MakeFile(path)) return 1;
    QFile::setPermissions(path, QFile::WriteOwner);
    return ReadRegularFile(path, 100).refusal == FileRefusal::Unreadable ? 0 : 2;
  });
  EXPECT_EQ(failed, 0) << "1 setting up, 2 an unreadable file read";
}

}  // namespace
}  // namespace kst
