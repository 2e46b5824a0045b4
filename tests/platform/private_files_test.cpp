// The user's files: read only when regular, without waiting; written private
// to the user; leftovers of interrupted writes cleared.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/PrivateFolder.h"
#include "platform/RegularFile.h"
#include "support/Unprivileged.h"

namespace kst {
namespace {

mode_t ModeOf(const QString& path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

bool MakeFile(const QString& path, const QByteArray& bytes = "x") {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool MakeFifo(const QString& path) {
  return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Other users' modes, whatever the test runner's umask.
class PrivateFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { savedUmask_ = ::umask(022); }
  void TearDown() override { ::umask(savedUmask_); }
  QTemporaryDir dir_;
  mode_t savedUmask_ = 0;
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

TEST_F(PrivateFilesTest, FoldersAreMadePrivateAndOwnWideOnesTightened) {
  const QString nested = dir_.filePath("share/Z-ORMIT M350RGB");
  EXPECT_EQ(MakePrivateFolder(nested), 1);
  EXPECT_EQ(ModeOf(nested), 0700u);
  EXPECT_EQ(ModeOf(dir_.filePath("share")), 0700u) << "a parent it made";
  EXPECT_EQ(MakePrivateFolder(nested), 0);

  // A folder of an earlier version, open to everyone.
  ASSERT_TRUE(QDir(dir_.path()).mkdir("wide"));
  ASSERT_EQ(::chmod(QFile::encodeName(dir_.filePath("wide")).constData(), 0755), 0);
  EXPECT_EQ(MakePrivateFolder(dir_.filePath("wide")), 0);
  EXPECT_EQ(ModeOf(dir_.filePath("wide")), 0700u);

  ASSERT_TRUE(MakeFile(dir_.filePath("file")));
  EXPECT_EQ(MakePrivateFolder(dir_.filePath("file")), -1);
  EXPECT_EQ(MakePrivateFolder(dir_.filePath("file/below")), -1);
  EXPECT_EQ(MakePrivateFolder(QString()), -1);

  // Someone else's folder is used, never changed (root could change it).
  if (::geteuid() == 0) {
    const QString theirs = dir_.filePath("theirs");
    ASSERT_TRUE(QDir(dir_.path()).mkdir("theirs"));
    const QByteArray encoded = QFile::encodeName(theirs);
    ASSERT_EQ(::chmod(encoded.constData(), 0755), 0);
    ASSERT_EQ(::chown(encoded.constData(), test::kUnprivilegedId, test::kUnprivilegedId), 0);
    EXPECT_EQ(MakePrivateFolder(theirs), 0);
    EXPECT_EQ(ModeOf(theirs), 0755u);
  }
}

TEST_F(PrivateFilesTest, AtomicWritesLeaveFilesReadableByTheOwnerOnly) {
  const QString path = dir_.filePath("file");
  ASSERT_TRUE(WriteFileAtomically(path, QByteArray("new")));
  EXPECT_EQ(ModeOf(path), 0600u);
  // A file an earlier version left readable by everyone.
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
  ASSERT_TRUE(WriteFileAtomically(path, QByteArray("replaced")));
  EXPECT_EQ(ModeOf(path), 0600u);
}

TEST_F(PrivateFilesTest, LeftoversOfInterruptedWritesAreCleared) {
  const QDir dir(dir_.path());
  const struct {
    const char* name;
    bool leftover;
  } files[] = {
      {"$Profile0.Ab12Cd", true},
      {"wskb.ini.x1Y2z3", true},
      {"UserDengColor_2.userd.QwErTy", true},
      {"$Profile0", false},
      {"$Profile0.abc12", false},      // five characters
      {"$Profile0.abc1234", false},    // seven
      {"$Profile0.ab-12c", false},     // not a letter or digit
      {"notes.backup", false},         // not a file we write
      {"x$Profile0.Ab12Cd", false},    // nor this
      {"registry.reg.Ab12Cd", false},  // not among the names asked for
  };
  for (const auto& f : files) ASSERT_TRUE(MakeFile(dir.filePath(f.name)));
  // Leftover names that are not our regular files stay.
  ASSERT_TRUE(dir.mkdir("$Profile0.Folder"));
  ASSERT_TRUE(QFile::link(dir.filePath("$Profile0"), dir.filePath("$Profile0.Link12")));
  ASSERT_TRUE(MakeFifo(dir.filePath("$Profile0.Fifo12")));
  bool othersFile = false;
  if (::geteuid() == 0) {
    ASSERT_TRUE(MakeFile(dir.filePath("$Profile0.Theirs")));
    ASSERT_EQ(::chown(QFile::encodeName(dir.filePath("$Profile0.Theirs")).constData(),
                      test::kUnprivilegedId, test::kUnprivilegedId),
              0);
    othersFile = true;
  }

  EXPECT_EQ(
      ClearAtomicWriteLeftovers(dir_.path(), {"$Profile0", "wskb.ini", "UserDengColor_*.userd"}),
      3);
  for (const auto& f : files) EXPECT_EQ(dir.exists(f.name), !f.leftover) << f.name;
  for (const char* kept : {"$Profile0.Folder", "$Profile0.Link12", "$Profile0.Fifo12"}) {
    EXPECT_TRUE(QFileInfo(dir.filePath(kept)).isSymLink() || dir.exists(kept)) << kept;
  }
  if (othersFile) {
    EXPECT_TRUE(dir.exists("$Profile0.Theirs"));
  }
}

}  // namespace
}  // namespace kst
