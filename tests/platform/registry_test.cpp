#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "platform/AppPaths.h"

namespace kst {
namespace {

const QString kKey = QStringLiteral("Software\\Z-ORMIT_M350RGB");
const QString kProfiles =
    QStringLiteral("Software\\Kestrune_Marovel\\Z-ORMIT M350RGB Keyboard\\PROFILES");

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

class RegistryTest : public ::testing::Test {
 protected:
  QTemporaryDir dir_;
  QString path_ = dir_.filePath("cfg/registry.reg");  // the folder does not exist yet
};

TEST_F(RegistryTest, ValuesSurviveANewInstanceWithTheirTypes) {
  {
    Registry registry(path_);
    ASSERT_TRUE(registry.SetDword(kKey, "dwLanguageId", 0xABCD));
    ASSERT_TRUE(registry.SetString(kProfiles, "Flip", "1"));
    ASSERT_TRUE(
        registry.SetString(kProfiles, "PROFILE00", "a \"quoted\" C:\\path\nline2 \u00e9\u4e2d"));
    ASSERT_TRUE(registry.SetString(kProfiles, "", "default value"));
  }
  Registry registry(path_);
  EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), 0xABCDu);
  EXPECT_EQ(registry.GetDword("software\\z-ormit_m350rgb\\", "DWLANGUAGEID"), 0xABCDu);
  EXPECT_EQ(registry.GetString(kProfiles, "flip"), QString("1"));
  EXPECT_EQ(registry.GetString(kProfiles, "PROFILE00"),
            QString("a \"quoted\" C:\\path\nline2 \u00e9\u4e2d"));
  EXPECT_EQ(registry.GetString(kProfiles, ""), QString("default value"));

  // A value of the other type is not there for the typed getter.
  EXPECT_EQ(registry.GetString(kKey, "dwLanguageId"), std::nullopt);
  EXPECT_EQ(registry.GetDword(kProfiles, "Flip"), std::nullopt);
  EXPECT_EQ(registry.GetDword(kKey, "missing"), std::nullopt);
  EXPECT_EQ(registry.GetDword("Software\\Other", "dwLanguageId"), std::nullopt);

  const QByteArray text = ReadAll(path_);
  EXPECT_TRUE(text.startsWith("Windows Registry Editor Version 5.00\n"));
  EXPECT_TRUE(
      text.contains("[HKEY_CURRENT_USER\\Software\\Z-ORMIT_M350RGB]\n"
                    "\"dwLanguageId\"=dword:0000abcd\n"));
  EXPECT_TRUE(text.contains("@=\"default value\"\n"));
}

TEST_F(RegistryTest, SetReplacesTypeAndDeleteRemoves) {
  Registry registry(path_);
  ASSERT_TRUE(registry.SetString(kKey, "dwLanguageId", "1033"));
  ASSERT_TRUE(registry.SetDword(kKey, "DWLANGUAGEID", 1033));
  EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), 1033u);
  EXPECT_EQ(registry.GetString(kKey, "dwLanguageId"), std::nullopt);
  EXPECT_EQ(ReadAll(path_).count("dwLanguageId"), 1);

  EXPECT_TRUE(registry.DeleteValue(kKey, "dwLanguageId"));
  EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), std::nullopt);
  EXPECT_TRUE(registry.DeleteValue(kKey, "never there"));
}

// Every write replaces the whole file with an fsync; storing what the file
// already holds must not cost one (the editors store settings on every opening).
TEST_F(RegistryTest, StoringTheHeldValueAgainLeavesTheFileAlone) {
  Registry registry(path_);
  ASSERT_TRUE(registry.SetString(kProfiles, "Flip", "1"));
  ASSERT_TRUE(registry.SetDword(kKey, "dwLanguageId", 1033));
  // A second name keeps the written file alive, so a replacement cannot
  // reuse its inode number.
  const QString kept = path_ + ".kept";
  ASSERT_EQ(::link(QFile::encodeName(path_).constData(), QFile::encodeName(kept).constData()), 0);
  auto sameFile = [&] {
    struct stat a {};
    struct stat b {};
    return ::stat(QFile::encodeName(path_).constData(), &a) == 0 &&
           ::stat(QFile::encodeName(kept).constData(), &b) == 0 && a.st_ino == b.st_ino;
  };
  EXPECT_TRUE(registry.SetString(kProfiles, "FLIP", "1"));
  EXPECT_TRUE(registry.SetDword(kKey, "dwLanguageId", 1033));
  EXPECT_TRUE(sameFile());
  // Another value, or the same text as another type, is written.
  EXPECT_TRUE(registry.SetString(kKey, "dwLanguageId", "1033"));
  EXPECT_FALSE(sameFile());
  EXPECT_EQ(registry.GetString(kKey, "dwLanguageId"), QString("1033"));
}

TEST_F(RegistryTest, ChangesByAnotherWriterAreSeenOnTheNextGet) {
  Registry registry(path_);
  ASSERT_TRUE(registry.SetDword(kKey, "dwLanguageId", 1033));
  EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), 1033u);

  // Edited in place by hand (the size changes).
  WriteAll(path_,
           "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Z-ORMIT_M350RGB]\r\n"
           "\"dwLanguageId\"=dword:00000407\r\n");
  EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), 1031u);

  // Replaced by another instance with a file of the same size.
  Registry other(path_);
  ASSERT_TRUE(other.SetDword(kKey, "dwLanguageId", 2052));
  EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), 2052u);
  ASSERT_TRUE(other.SetDword(kKey, "dwLanguageId", 1033));
  EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), 1033u);

  QFile::remove(path_);
  EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), std::nullopt);
}

TEST_F(RegistryTest, DamagedFileReadsEmptyAndIsKeptAsBadBeforeTheNextWrite) {
  const QByteArray header = "Windows Registry Editor Version 5.00\n";
  const QByteArray section = "[HKEY_CURRENT_USER\\Software\\Z-ORMIT_M350RGB]\n";
  const struct {
    const char* what;
    QByteArray bytes;
  } cases[] = {
      {"no header", section + "\"dwLanguageId\"=dword:00000409\n"},
      {"value before any key", header + "\"dwLanguageId\"=dword:00000409\n"},
      {"garbage line", header + section + "dwLanguageId=409\n"},
      {"unterminated string", header + section + "\"a\"=\"text\n"},
      {"dword too long", header + section + "\"dwLanguageId\"=dword:000000409\n"},
      {"dword not hex", header + section + "\"dwLanguageId\"=dword:0000040g\n"},
      {"key without ]", header + "[HKEY_CURRENT_USER\\Software\\Z-ORMIT_M350RGB\n"},
      {"deletion entry", header + section + "\"dwLanguageId\"=-\n"},
      {"not UTF-8", header + section + "\"a\"=\"\xff\xfe\x80\"\n"},
      {"binary", QByteArray("\x00\x01\x02\x03", 4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir dir;
    const QString path = dir.filePath("registry.reg");
    WriteAll(path, c.bytes);
    Registry registry(path);
    EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), std::nullopt);
    EXPECT_EQ(registry.GetString(kKey, "a"), std::nullopt);

    ASSERT_TRUE(registry.SetDword(kKey, "dwLanguageId", 1036));
    EXPECT_EQ(ReadAll(path + ".bad"), c.bytes);
    EXPECT_EQ(Registry(path).GetDword(kKey, "dwLanguageId"), 1036u);
    EXPECT_TRUE(Registry::Parse(ReadAll(path)).has_value());
  }
}

TEST_F(RegistryTest, OtherValueTypesAndKeysAreKeptOnWrite) {
  QDir().mkpath(QFileInfo(path_).absolutePath());
  const QByteArray original =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
      "; a comment\r\n"
      "[HKEY_CURRENT_USER\\Software\\Z-ORMIT_M350RGB]\r\n"
      "\"Blob\"=hex:01,02,\\\r\n  03,04\r\n"
      "\"Path\"=hex(2):25,00,00,00\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\r\n"
      "\"Kept\"=\"yes\"\r\n";
  WriteAll(path_, original);
  Registry registry(path_);
  EXPECT_EQ(registry.GetString(kKey, "Blob"), std::nullopt);
  ASSERT_TRUE(registry.SetDword(kKey, "dwLanguageId", 1033));
  EXPECT_FALSE(QFile::exists(path_ + ".bad"));

  const QByteArray text = ReadAll(path_);
  EXPECT_TRUE(text.contains("\"Blob\"=hex:01,02,03,04\n")) << text.constData();
  EXPECT_TRUE(text.contains("\"Path\"=hex(2):25,00,00,00\n"));
  EXPECT_TRUE(text.contains("[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n\"Kept\"=\"yes\"\n"));
  EXPECT_EQ(Registry(path_).GetDword(kKey, "dwLanguageId"), 1033u);
}

TEST_F(RegistryTest, ReadsTheUtf16FileOfTheRegistryEditor) {
  QDir().mkpath(QFileInfo(path_).absolutePath());
  const QString text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Z-ORMIT_M350RGB]\r\n"
      "\"dwLanguageId\"=dword:00000c0a\r\n\"Name\"=\"\u4e2d\u6587\"\r\n";
  QByteArray bytes("\xFF\xFE");
  for (const QChar c : text) {
    bytes.append(static_cast<char>(c.unicode() & 0xFF));
    bytes.append(static_cast<char>(c.unicode() >> 8));
  }
  WriteAll(path_, bytes);
  Registry registry(path_);
  EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), 3082u);
  EXPECT_EQ(registry.GetString(kKey, "Name"), QString("\u4e2d\u6587"));
}

TEST_F(RegistryTest, FailedWriteReportsFalseAndChangesNothing) {
  // The folder of the file cannot be created: its parent is a regular file.
  WriteAll(dir_.filePath("plain"), "x");
  Registry blocked(dir_.filePath("plain/registry.reg"));
  EXPECT_FALSE(blocked.SetDword(kKey, "dwLanguageId", 1));
  EXPECT_EQ(blocked.GetDword(kKey, "dwLanguageId"), std::nullopt);

  // The file's path is a folder.
  QDir().mkpath(path_);
  Registry folder(path_);
  EXPECT_FALSE(folder.SetString(kKey, "a", "b"));
  EXPECT_TRUE(QFileInfo(path_).isDir());
}

TEST_F(RegistryTest, SpecialFileInItsPlaceIsNeitherWaitedForNorReplaced) {
  QDir().mkpath(QFileInfo(path_).absolutePath());
  // A FIFO without a writer: opening it to read or to keep a copy would wait
  // for good.
  ASSERT_EQ(::mkfifo(QFile::encodeName(path_).constData(), 0600), 0);
  Registry registry(path_);
  EXPECT_EQ(registry.GetDword(kKey, "dwLanguageId"), std::nullopt);
  EXPECT_FALSE(registry.SetDword(kKey, "dwLanguageId", 1033));
  EXPECT_FALSE(QFileInfo::exists(path_ + ".bad"));
  struct stat st {};
  ASSERT_EQ(::lstat(QFile::encodeName(path_).constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // Once a regular file is back it is used again.
  ASSERT_TRUE(QFile::remove(path_));
  EXPECT_TRUE(registry.SetDword(kKey, "dwLanguageId", 1033));
  EXPECT_EQ(Registry(path_).GetDword(kKey, "dwLanguageId"), 1033u);
}

TEST_F(RegistryTest, SettingsAreTheUsersAloneAndInterruptedWritesLeaveNothing) {
  const mode_t saved = ::umask(022);
  const QString folder = QFileInfo(path_).absolutePath();
  QDir().mkpath(folder);
  // What a write killed before its rename leaves, and a file that only looks alike.
  WriteAll(path_ + ".Xy12Z9", "Windows Registry Editor Version 5.00\n");
  WriteAll(folder + "/other.Xy12Z9", "kept");
  {
    Registry registry(path_);
    ASSERT_TRUE(registry.SetDword(kKey, "dwLanguageId", 1033));
  }
  ::umask(saved);
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"other.Xy12Z9", "registry.reg"}));
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(QFile::encodeName(path_).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNoValue) {
  Registry registry(path_);
  auto writer = [&](const QString& prefix) {
    for (int i = 0; i < 20; ++i) {
      EXPECT_TRUE(registry.SetDword(kKey, prefix + QString::number(i), static_cast<uint>(i)));
      EXPECT_EQ(registry.GetDword(kKey, prefix + QString::number(i)), static_cast<uint>(i));
    }
  };
  std::thread a(writer, QStringLiteral("a"));
  std::thread b(writer, QStringLiteral("b"));
  a.join();
  b.join();
  Registry reread(path_);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(reread.GetDword(kKey, "a" + QString::number(i)), static_cast<uint>(i));
    EXPECT_EQ(reread.GetDword(kKey, "b" + QString::number(i)), static_cast<uint>(i));
  }
}

TEST(AppPathsTest, FoldersFollowTheXdgVariables) {
  QTemporaryDir dir;
  const QByteArray oldData = qgetenv("XDG_DATA_HOME");
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
  qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
  AppPaths paths = AppPaths::FromEnvironment(dir.filePath("bin/"));
  EXPECT_EQ(paths.programFolder, dir.filePath("bin"));
  EXPECT_EQ(paths.dataFolder, dir.filePath("data/Z-ORMIT M350RGB"));
  EXPECT_EQ(paths.registryFile, dir.filePath("config/Z-ORMIT_M350RGB/registry.reg"));
  EXPECT_FALSE(QFileInfo::exists(paths.dataFolder));

  // A relative value is not a base folder: the home defaults apply.
  qputenv("XDG_DATA_HOME", "relative");
  qputenv("XDG_CONFIG_HOME", "relative");
  paths = AppPaths::FromEnvironment(dir.path());
  EXPECT_EQ(paths.dataFolder, QDir::homePath() + "/.local/share/Z-ORMIT M350RGB");
  EXPECT_EQ(paths.registryFile, QDir::homePath() + "/.config/Z-ORMIT_M350RGB/registry.reg");

  qputenv("XDG_DATA_HOME", oldData);
  qputenv("XDG_CONFIG_HOME", oldConfig);
}

}  // namespace
}  // namespace kst
