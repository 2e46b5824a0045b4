#include "foundation/IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <thread>

namespace kst {
namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

class IniFileTest : public ::testing::Test {
 protected:
  QString Make(const QByteArray& bytes, const QString& name = "test.ini") {
    const QString path = dir_.filePath(name);
    WriteAll(path, bytes);
    return path;
  }
  QTemporaryDir dir_;
};

TEST_F(IniFileTest, LookupFollowsPrivateProfileRules) {
  const QString path = Make(
      "orphan=before any section\n"
      "[Text]\n"
      "  Key1  =  padded value  \n"
      "key1=second of the same key\n"
      "quoted=\"  inner  \"\n"
      "single='x'\n"
      "half=\"x\n"
      "empty=\n"
      "; comment=not a key\n"
      "noequals\n"
      "eq=a=b\n"
      "Unknown Key: %03x=Key %03X\n"
      "[ Other ]\n"
      "k=other\n"
      "[TEXT]\n"
      "late=in the second TEXT section\n"
      "[Broken\n"
      "leak=under a header without ]\n");
  const struct {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"TEXT", "KEY1", "padded value"},
      {"text", "key1", "padded value"},
      {"Text", "quoted", "  inner  "},
      {"Text", "single", "x"},
      {"Text", "half", "\"x"},
      {"Text", "empty", ""},
      {"Text", "; comment", "<default>"},
      {"Text", "noequals", "<default>"},
      {"Text", "eq", "a=b"},
      {"Text", "unknown key: %03x", "Key %03X"},
      {"other", "K", "other"},
      {"Text", "late", "<default>"},
      {"Text", "orphan", "<default>"},
      {"", "orphan", "<default>"},
      {"Broken", "leak", "<default>"},
      {"Other", "leak", "<default>"},
      {"Missing", "k", "<default>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadProfileString(path, c.section, c.key, "<default>", 260), QString(c.expected))
        << c.section << "/" << c.key;
  }
}

TEST_F(IniFileTest, BomAndLineEndsDoNotShowInValues) {
  const QString crlf = Make("\xEF\xBB\xBF[A]\r\nk=v\r\nz=\xE4\xB8\xAD\r\n", "crlf.ini");
  EXPECT_EQ(ReadProfileString(crlf, "A", "k", "", 260), "v");
  EXPECT_EQ(ReadProfileString(crlf, "A", "z", "", 260), QString("\u4e2d"));
  const QString noEnd = Make("[A]\nk=last line without end", "noend.ini");
  EXPECT_EQ(ReadProfileString(noEnd, "A", "k", "", 260), "last line without end");
}

TEST_F(IniFileTest, ResultIsCutToTheCapacity) {
  const QByteArray longLine(100 * 1024, 'x');
  const QString path = Make("[A]\nlong=" + longLine + "\npair=ab\xF0\x9F\x98\x80" + "c\n");
  EXPECT_EQ(ReadProfileString(path, "A", "long", "", 260), QString(259, 'x'));
  EXPECT_EQ(ReadProfileString(path, "A", "missing", "defaultdefault", 5), "defa");
  EXPECT_EQ(ReadProfileString(path, "A", "long", "", 1), "");
  EXPECT_EQ(ReadProfileString(path, "A", "long", "", 0), "");
  EXPECT_EQ(ReadProfileString(path, "A", "long", "", -3), "");
  // Capacity 4 ends inside the surrogate pair: the half character is dropped.
  EXPECT_EQ(ReadProfileString(path, "A", "pair", "", 4), "ab");
  EXPECT_EQ(ReadProfileString(path, "A", "pair", "", 5), QString("ab\U0001F600"));
}

TEST_F(IniFileTest, UnusableFilesGiveTheDefault) {
  const QString folder = dir_.filePath("folder.ini");
  QDir().mkpath(folder);
  EXPECT_EQ(ReadProfileString(dir_.filePath("missing.ini"), "A", "k", "d", 260), "d");
  EXPECT_EQ(ReadProfileString(folder, "A", "k", "d", 260), "d");
  EXPECT_EQ(ReadProfileString("", "A", "k", "d", 260), "d");
  // A FIFO nobody writes to is neither waited for nor replaced by a write.
  const QString fifo = dir_.filePath("fifo.ini");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  EXPECT_EQ(ReadProfileString(fifo, "A", "k", "d", 260), "d");
  EXPECT_FALSE(WriteProfileString(fifo, "A", "k", "v"));
  EXPECT_FALSE(QFileInfo(fifo).isFile());

  // Bytes that are not UTF-8 do not hide the keys around them.
  const QString latin1 = Make("[A]\n; caf\xE9 in Latin-1\nk=v\nw=caf\xE9\n", "latin1.ini");
  EXPECT_EQ(ReadProfileString(latin1, "A", "k", "d", 260), "v");
  EXPECT_EQ(ReadProfileString(latin1, "A", "w", "d", 260), QString("caf\uFFFD"));
}

TEST_F(IniFileTest, FileOverTheSizeCapIsNotReadNorWritten) {
  const QString path = dir_.filePath("huge.ini");
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.write("[A]\nk=v\n") > 0);
    ASSERT_TRUE(file.resize(50 * 1024 * 1024));
  }
  EXPECT_EQ(ReadProfileString(path, "A", "k", "d", 260), "d");
  EXPECT_FALSE(WriteProfileString(path, "A", "k", "new"));
  EXPECT_EQ(QFileInfo(path).size(), 50 * 1024 * 1024);
  EXPECT_EQ(ReadAll(path).left(8), "[A]\nk=v\n");
}

TEST_F(IniFileTest, WriteChangesOnlyItsOwnLine) {
  const struct {
    const char* what;
    QByteArray before;
    const char* section;
    const char* key;
    const char* value;
    QByteArray after;
  } cases[] = {
      {"replace, other lines kept", "; top\n[A]\n  x = 1 \nK=old\ny=2\n\n[B]\nK=b\n", "a", "k",
       "new", "; top\n[A]\n  x = 1 \nk=new\ny=2\n\n[B]\nK=b\n"},
      {"CRLF and BOM kept", "\xEF\xBB\xBF[A]\r\nk=old\r\nz=1\r\n", "A", "k", "v",
       "\xEF\xBB\xBF[A]\r\nk=v\r\nz=1\r\n"},
      {"key in the first line after a BOM", "\xEF\xBB\xBFk=orphan\r\n[A]\r\nk=1\r\n", "A", "k", "2",
       "\xEF\xBB\xBFk=orphan\r\n[A]\r\nk=2\r\n"},
      {"new key after the last entry, before blanks", "[A]\r\na=1\r\n\r\n[B]\r\nb=1\r\n", "A", "n",
       "v", "[A]\r\na=1\r\nn=v\r\n\r\n[B]\r\nb=1\r\n"},
      {"new key in an empty section", "[A]\n[B]\nb=1\n", "A", "n", "v", "[A]\nn=v\n[B]\nb=1\n"},
      {"new key at a last line without end", "[A]\na=1", "A", "n", "v", "[A]\na=1\nn=v\n"},
      {"new key in the first of two sections", "[A]\na=1\n[A]\nb=2\n", "A", "b", "3",
       "[A]\na=1\nb=3\n[A]\nb=2\n"},
      {"new section at the end", "[A]\r\na=1\r\n", "New", "k", "v",
       "[A]\r\na=1\r\n[New]\r\nk=v\r\n"},
      {"new section after a last line without end", "[A]\na=1", "B", "k", "v",
       "[A]\na=1\n[B]\nk=v\n"},
      {"non-UTF-8 lines kept", "[A]\nw=caf\xE9\nk=1\n", "A", "k", "2", "[A]\nw=caf\xE9\nk=2\n"},
      {"header without ] is not the section", "[A\nk=1\n", "A", "k", "2", "[A\nk=1\n[A]\nk=2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QString path = Make(c.before);
    ASSERT_TRUE(WriteProfileString(path, c.section, c.key, c.value));
    EXPECT_EQ(ReadAll(path), c.after);
    EXPECT_EQ(ReadProfileString(path, c.section, c.key, "d", 260), QString(c.value));
  }
}

TEST_F(IniFileTest, WriteCreatesAMissingFileButNotItsFolder) {
  const QString path = dir_.filePath("new.ini");
  ASSERT_TRUE(WriteProfileString(path, "language", "language", "0"));
  EXPECT_EQ(ReadAll(path), "[language]\nlanguage=0\n");
  EXPECT_FALSE(WriteProfileString(dir_.filePath("no/such/folder.ini"), "A", "k", "v"));
}

TEST_F(IniFileTest, WriteRefusesTextThatWouldBreakTheFile) {
  const QByteArray before = "[A]\nk=1\n";
  const QString path = Make(before);
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"A", "k", "two\nlines"}, {"A", "k=x", "v"}, {"A", "", "v"},   {"", "k", "v"},
      {"A]", "k", "v"},         {"A", "[k", "v"},  {"A", ";k", "v"}, {"A\r", "k", "v"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(WriteProfileString(path, c.section, c.key, c.value)) << c.section << c.key;
  }
  EXPECT_EQ(ReadAll(path), before);
}

TEST_F(IniFileTest, ChangedFileIsSeenOnTheNextLookup) {
  const QString path = Make("[A]\nk=1\n");
  EXPECT_EQ(ReadProfileString(path, "A", "k", "d", 260), "1");
  WriteAll(path, "[A]\nk=22\n");  // in place, other size
  EXPECT_EQ(ReadProfileString(path, "A", "k", "d", 260), "22");
  const QString replacement = Make("[A]\nk=33\n", "replacement.ini");
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QFile::rename(replacement, path));  // replaced, same size
  EXPECT_EQ(ReadProfileString(path, "A", "k", "d", 260), "33");
  ASSERT_TRUE(QFile::remove(path));
  EXPECT_EQ(ReadProfileString(path, "A", "k", "d", 260), "d");
}

TEST_F(IniFileTest, CacheHeldByAnObjectSeesWritesOfOthers) {
  const QString path = Make("[A]\nk=1\n");
  IniCache cache;
  EXPECT_EQ(cache.Lookup(path, "a", "K"), QString("1"));
  EXPECT_EQ(cache.Lookup(path, "a", "missing"), std::nullopt);
  ASSERT_TRUE(WriteProfileString(path, "A", "k", "2"));
  EXPECT_EQ(cache.Lookup(path, "a", "K"), QString("2"));

  // More files than the cache holds: every lookup still answers.
  for (int i = 0; i < IniCache::kMaxFiles + 5; ++i) {
    const QString other = Make("[S]\nv=" + QByteArray::number(i) + "\n", QString("f%1.ini").arg(i));
    EXPECT_EQ(cache.Lookup(other, "S", "v"), QString::number(i));
  }
  EXPECT_EQ(cache.Lookup(path, "a", "K"), QString("2"));
}

TEST_F(IniFileTest, ConcurrentWritersOfOneFileLoseNoKey) {
  const QString path = Make("[A]\n");
  auto writer = [&](const QString& prefix) {
    for (int i = 0; i < 20; ++i) {
      EXPECT_TRUE(WriteProfileString(path, "A", prefix + QString::number(i), "v"));
      EXPECT_EQ(ReadProfileString(path, "A", prefix + QString::number(i), "d", 260), "v");
    }
  };
  std::thread a(writer, QStringLiteral("a"));
  std::thread b(writer, QStringLiteral("b"));
  a.join();
  b.join();
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(ReadProfileString(path, "A", "a" + QString::number(i), "d", 260), "v");
    EXPECT_EQ(ReadProfileString(path, "A", "b" + QString::number(i), "d", 260), "v");
  }
}

TEST_F(IniFileTest, CIniFileLimits) {
  const QByteArray longValue(3000, 'y');
  const QString path = Make("[SCREEN]\nMain=main.jpg\nEmpty=\nLong=" + longValue + "\n");
  CIniFile ini(path);
  EXPECT_EQ(ini.Path(), path);
  EXPECT_EQ(ini.GetString("screen", "main", ""), QString("main.jpg"));
  EXPECT_EQ(ini.GetString("SCREEN", "Mask", "main.jpg"), QString("main.jpg"));
  EXPECT_EQ(ini.GetString("SCREEN", "Empty", "unused"), std::nullopt);
  EXPECT_EQ(ini.GetString("SCREEN", "Mask", ""), std::nullopt);
  EXPECT_EQ(ini.GetString("SCREEN", "Long", "")->size(), CIniFile::kMaxValueChars);

  ASSERT_TRUE(ini.WriteString("SCREEN", "Mask", "mask.png"));
  EXPECT_EQ(ini.GetString("SCREEN", "Mask", ""), QString("mask.png"));

  CIniFile none;
  EXPECT_EQ(none.GetString("SCREEN", "Main", "fallback"), QString("fallback"));
  EXPECT_FALSE(none.WriteString("SCREEN", "Main", "x"));

  const QString longPath = dir_.filePath(QString(300, 'p'));
  none.SetPath(longPath);
  EXPECT_EQ(none.Path(), longPath.left(CIniFile::kMaxPathChars));
}

}  // namespace
}  // namespace kst
