#include "store/ProfileFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <future>
#include <vector>

#include "foundation/KeyCodeTable.h"
#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFolderSeeder.h"
#include "support/Unprivileged.h"

namespace kst {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr KeyIndex kLeftCtrl = 0x01D;
constexpr KeyIndex kRightCtrl = 0x11D;

class RecordingMessageBoxes : public MessageBoxes {
 public:
  bool Show(const QString& text, MessageKind kind) override {
    shown.push_back(text);
    EXPECT_EQ(kind, MessageKind::Information);
    return false;
  }
  std::vector<QString> shown;
};

class CountingSeeder : public ProfileFolderSeeder {
 public:
  void SeedProfileFolder(const QString& folder) override {
    EXPECT_TRUE(QFileInfo(folder).isDir());
    ++seeded;
  }
  int seeded = 0;
};

Bytes ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = file.readAll();
  return Bytes(data.begin(), data.end());
}

void WriteAll(const QString& path, const Bytes& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())),
      static_cast<qint64>(bytes.size()));
}

void PutU16(Bytes& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Header fields at their file offsets, then a correct checksum.
void SetHeader(Bytes& bytes, std::uint16_t macros, std::uint32_t textBytes,
               std::uint32_t fileSize) {
  PutU32(bytes, 8, fileSize);
  PutU16(bytes, 14, macros);
  PutU32(bytes, 16, textBytes);
  unsigned sum = 0;
  for (int i = 0; i < 31; ++i) sum += bytes[i];
  bytes[31] = static_cast<std::uint8_t>(sum);
}

MacroRecord Macro(std::uint16_t number, int events) {
  MacroRecord r;
  r.SetName(u"Macro " + std::u16string(1, static_cast<char16_t>(u'0' + number % 10)));
  r.number = number;
  r.repeatCount = 3;
  r.eventCount = static_cast<std::uint16_t>(events);
  for (int e = 0; e < events; ++e) {
    r.events[e] = {static_cast<std::uint32_t>(10 * e), static_cast<KeyIndex>(0x10 + e % 40),
                   static_cast<std::uint16_t>(e % 2)};
  }
  return r;
}

class ProfileFilesTest : public ::testing::Test {
 protected:
  QString Path(const QString& name) const { return dir_.filePath(name); }
  Bytes DefaultFile() {
    EXPECT_EQ(files_.WriteDefaultProfileFile(Path("default.kst")), 1);
    return ReadAll(Path("default.kst"));
  }
  QString FormatMessage(const QString& path) const {
    return QStringLiteral("wrong file format, revert to the default values: \n  ") +
           QDir::toNativeSeparators(path);
  }
  // Some of everything: texts on two profiles, macros with events, a G key.
  void Populate(AssignmentStore& store) {
    store.SetAssignment(0, 30, AssignmentKind::TextBlock, 0, u"0123456789");
    store.SetAssignment(0, 31, AssignmentKind::TextBlock, 0, u"abcdefghijklmnopqrst");
    store.SetAssignment(2, 0x1E, AssignmentKind::LaunchProgram, 0, u"/bin/abc");
    store.SetAssignment(1, 267, AssignmentKind::PlayMacro, 2);
    store.SetAssignment(3, SlotFromKeyIndex(kRightCtrl), AssignmentKind::SingleKey, kLeftCtrl);
    std::vector<MacroRecord> macros = {Macro(1, 3), Macro(2, 2000)};
    store.ReplaceMacroList(macros);
  }

  QTemporaryDir dir_;
  Registry registry_{dir_.filePath("registry.reg")};
  Language language_{registry_, dir_.filePath("program"), [] { return std::uint16_t{1033}; }};
  AppPaths paths_{dir_.filePath("program"), dir_.filePath("data/Z-ORMIT M350RGB"),
                  dir_.filePath("registry.reg")};
  RecordingMessageBoxes boxes_;
  AssignmentStore store_;
  ProfileFiles files_{store_, paths_, language_, boxes_};
};

TEST_F(ProfileFilesTest, DefaultFileIsExactlyTheDefaultBlock) {
  const Bytes file = DefaultFile();
  ASSERT_EQ(file.size(), 32832u);
  Bytes header = {0x46, 0x44, 0x20, 0x00, 0x03, 0x00, 0x01, 0x00,
                  0x40, 0x80, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00};
  header.resize(31, 0);
  header.push_back(0x76);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 32), header);
  const Bytes tag = {0x4B, 0x48, 0x20, 0x00, 0x20, 0x80, 0x00, 0x00, 0x04, 0x00, 0x00,
                     0x02, 0x00, 0x00, 0x00, 0x00, 0x68, 0x2F, 0x50, 0x03, 0x4F, 0x1C,
                     0x0E, 0x00, 0,    0,    0,    0,    0,    0,    0,    0};
  EXPECT_EQ(Bytes(file.begin() + 32, file.begin() + 64), tag);
  // Profile 3, G9 of bank B (slot 273): extra 0x1309.
  const std::size_t g9b = 64 + 16 * (3 * 512 + 273);
  EXPECT_EQ(Bytes(file.begin() + g9b, file.begin() + g9b + 4), (Bytes{0, 0, 0x09, 0x13}));
  EXPECT_EQ(files_.CheckProfileFile(Path("default.kst")), 1);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(ProfileFilesTest, CheckRefusesDamagedFiles) {
  const Bytes good = DefaultFile();
  struct Case {
    const char* name;
    Bytes bytes;
    int result;
    bool message;
  };
  std::vector<Case> cases;
  cases.push_back({"valid", good, 1, false});
  Bytes flagOne = good;
  flagOne[30] = 1;
  SetHeader(flagOne, 0, 0, 32832);
  cases.push_back({"flag 1", flagOne, 1, false});
  Bytes flagTwo = good;
  flagTwo[30] = 2;
  SetHeader(flagTwo, 0, 0, 32832);
  cases.push_back({"flag 2", flagTwo, 0, true});
  Bytes checksum = good;
  ++checksum[31];
  cases.push_back({"checksum off by one", checksum, 0, true});
  cases.push_back({"one byte short", Bytes(good.begin(), good.end() - 1), 0, false});
  Bytes hundredOne = good;
  hundredOne.resize(32832 + 101 * 16512);
  SetHeader(hundredOne, 101, 0, 32832 + 101 * 16512);
  cases.push_back({"101 macros, sizes agreeing", hundredOne, 0, true});
  Bytes sizeField = good;
  SetHeader(sizeField, 0, 2, 32832);
  cases.push_back({"size field not the sum", sizeField, 0, true});
  Bytes endsEarly = good;
  endsEarly.resize(32832 + 100);
  SetHeader(endsEarly, 0, 200, 32832 + 200);
  cases.push_back({"ends before its size", endsEarly, 0, true});
  Bytes trailing = good;
  trailing.resize(good.size() + 17, 0xAA);
  cases.push_back({"bytes past its size", trailing, 1, false});
  const std::pair<std::size_t, std::uint16_t> fields[] = {
      {0, 0x4447}, {2, 33}, {4, 2}, {6, 0}, {12, 2047}};
  for (const auto& [at, value] : fields) {
    Bytes bad = good;
    PutU16(bad, at, value);
    SetHeader(bad, 0, 0, 32832);
    cases.push_back({"header field", bad, 0, true});
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.shown.clear();
    const QString path = Path("case.kst");
    WriteAll(path, c.bytes);
    EXPECT_EQ(files_.CheckProfileFile(path), c.result);
    if (c.message) {
      EXPECT_EQ(boxes_.shown, std::vector<QString>{FormatMessage(path)});
    } else {
      EXPECT_TRUE(boxes_.shown.empty());
    }
  }
}

TEST_F(ProfileFilesTest, CheckOfFilesThatCannotBeRead) {
  EXPECT_EQ(files_.CheckProfileFile(Path("absent.kst")), 0);
  ASSERT_TRUE(QDir(dir_.path()).mkdir("folder.kst"));
  EXPECT_EQ(files_.CheckProfileFile(Path("folder.kst")), -2);
  // A FIFO without a writer is refused at once instead of holding the check.
  ASSERT_EQ(::mkfifo(QFile::encodeName(Path("fifo.kst")).constData(), 0600), 0);
  EXPECT_EQ(files_.CheckProfileFile(Path("fifo.kst")), -2);
  EXPECT_EQ(files_.LoadProfileFile(Path("fifo.kst")), 0);
  EXPECT_TRUE(boxes_.shown.empty());

  // As a user whom permissions bind: an exchange file handed over read-only
  // can still be imported; one the user may not read cannot.
  const Bytes image = DefaultFile();
  const int failed = test::RunUnprivileged([&] {
    QTemporaryDir own;
    const QString readOnly = own.filePath("readonly.kst");
    const QString hidden = own.filePath("hidden.kst");
    for (const QString& path : {readOnly, hidden}) {
      QFile file(path);
      if (!own.isValid() || !file.open(QIODevice::WriteOnly) ||
          file.write(reinterpret_cast<const char*>(image.data()),
                     static_cast<qint64>(image.size())) != static_cast<qint64>(image.size())) {
        return 1;
      }
    }
    QFile::setPermissions(readOnly, QFile::ReadOwner);
    QFile::setPermissions(hidden, QFile::WriteOwner);
    if (files_.CheckProfileFile(readOnly) != 1) return 2;
    if (files_.CheckProfileFile(hidden) != -2) return 3;
    return boxes_.shown.empty() ? 0 : 4;
  });
  EXPECT_EQ(failed, 0) << "1 setting up, 2 read-only file refused, 3 unreadable file read, "
                          "4 a message shown";
}

TEST_F(ProfileFilesTest, StoreSurvivesSaveAndLoadByteForByte) {
  Populate(store_);
  ASSERT_TRUE(files_.ExportProfileFile(Path("full.kst")));
  const Bytes first = ReadAll(Path("full.kst"));
  // Texts: 22 + 42 + 18 bytes, in entry order.
  ASSERT_EQ(first.size(), 32832u + 2 * 16512 + 82);
  EXPECT_EQ(store_.GetAssignment(0, 30).param, 0u);
  EXPECT_EQ(store_.GetAssignment(0, 31).param, 22u);
  EXPECT_EQ(store_.GetAssignment(2, 0x1E).param, 64u);

  AssignmentStore other;
  RecordingMessageBoxes boxes;
  ProfileFiles otherFiles(other, paths_, language_, boxes);
  ASSERT_EQ(otherFiles.CheckProfileFile(Path("full.kst")), 1);
  ASSERT_EQ(otherFiles.LoadProfileFile(Path("full.kst")), 1);
  EXPECT_EQ(other.TextBytesTotal(), 82u);
  EXPECT_EQ(other.TextAt(2, 0x1E), u"/bin/abc");
  // Right Ctrl's entry is the 157th of profile 3, in the store and in the file.
  const KeyAssignment rightCtrl = other.GetAssignment(3, SlotFromKeyIndex(kRightCtrl));
  EXPECT_TRUE(rightCtrl.Is(AssignmentKind::SingleKey));
  EXPECT_EQ(rightCtrl.param, kLeftCtrl);
  const std::size_t rightCtrlAt = 64 + 16 * (3 * 512 + 157);
  EXPECT_EQ(first[rightCtrlAt + 4], kLeftCtrl);
  EXPECT_EQ(other.CopyMacros(), store_.CopyMacros());
  EXPECT_EQ(other.MacroAt(1)->Events().back(), (MacroEvent{19990, 0x10 + 1999 % 40, 1}));
  ASSERT_TRUE(otherFiles.ExportProfileFile(Path("again.kst")));
  EXPECT_EQ(ReadAll(Path("again.kst")), first);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ProfileFilesTest, TwoTextBlocksMakeASixtyFourByteArea) {
  store_.SetAssignment(1, 2, AssignmentKind::TextBlock, 0, u"0123456789");
  store_.SetAssignment(1, 3, AssignmentKind::TextBlock, 0, u"abcdefghijklmnopqrst");
  ASSERT_TRUE(files_.ExportProfileFile(Path("texts.kst")));
  const Bytes file = ReadAll(Path("texts.kst"));
  ASSERT_EQ(file.size(), 32832u + 64);
  EXPECT_EQ(file[16], 64);
  const std::size_t second = 64 + 16 * (512 + 3) + 4;
  EXPECT_EQ(file[second], 22);
  EXPECT_EQ(file[32832 + 22], 'a');
}

TEST_F(ProfileFilesTest, MalformedFilesAreRefusedAndLeaveADefaultStore) {
  const char* fixtures[] = {"truncated_macros.kst",      "text_bytes_wrap.kst",
                            "text_offset_outside.kst",   "text_unterminated.kst",
                            "one_text_many_entries.kst", "events_2001.kst"};
  for (const char* name : fixtures) {
    SCOPED_TRACE(name);
    const QString path = QStringLiteral(KST_TEST_DATA_DIR "/fixtures/") + name;
    ASSERT_TRUE(QFileInfo::exists(path));
    boxes_.shown.clear();
    EXPECT_EQ(files_.CheckProfileFile(path), 0);
    EXPECT_EQ(boxes_.shown, std::vector<QString>{FormatMessage(path)});

    Populate(store_);
    EXPECT_EQ(files_.LoadProfileFile(path), 0);
    EXPECT_EQ(store_.MacroCount(), 0);
    EXPECT_EQ(store_.TextBytesTotal(), 0u);
    std::lock_guard guard(store_.Lock());
    const auto fresh = MakeDefaultProfileBlock(0);
    EXPECT_TRUE(std::equal(store_.Block().begin(), store_.Block().end(), fresh->begin()));
  }
}

TEST_F(ProfileFilesTest, FolderAndWorkingFile) {
  CountingSeeder seeder;
  files_.SetFolderSeeder(&seeder);
  const QString folder = files_.ProfileFolderPath();
  EXPECT_EQ(folder, QDir::cleanPath(paths_.dataFolder));
  EXPECT_TRUE(QFileInfo(folder).isDir());
  EXPECT_EQ(files_.WorkingProfilePath(), folder + "/$Profile0");
  EXPECT_EQ(seeder.seeded, 1) << "only a folder that had to be created is seeded";
}

TEST_F(ProfileFilesTest, WorkingFileIsTheUsersAloneAndCopiesOfKilledSavesGo) {
  const mode_t savedUmask = ::umask(022);
  const QString working = files_.WorkingProfilePath();
  ASSERT_EQ(files_.WriteDefaultProfileFile(working), 1);
  Populate(store_);
  ASSERT_EQ(files_.SaveWorkingProfile(), 1);
  ::umask(savedUmask);
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(files_.ProfileFolderPath()).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(QFile::encodeName(working).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // A save killed between writing its temporary file and the rename.
  const Bytes whole = ReadAll(working);
  WriteAll(working + ".k3Rm9Q", whole);
  AssignmentStore store;
  ProfileFiles next(store, paths_, language_, boxes_);
  EXPECT_EQ(QDir(files_.ProfileFolderPath()).entryList(QDir::Files | QDir::Hidden),
            QStringList{WorkingProfileFileName()});
}

TEST_F(ProfileFilesTest, SaveRewritesOnlyAnExistingWorkingFile) {
  Populate(store_);
  const QString working = files_.WorkingProfilePath();
  EXPECT_EQ(files_.SaveWorkingProfile(), 0);
  EXPECT_FALSE(QFileInfo::exists(working));

  ASSERT_EQ(files_.WriteDefaultProfileFile(working), 1);
  EXPECT_EQ(files_.SaveWorkingProfile(), 1);
  EXPECT_EQ(ReadAll(working).size(), 32832u + 2 * 16512 + 82);

  ASSERT_TRUE(QFile::remove(working));
  EXPECT_EQ(files_.SaveWorkingProfile(), 0);
  EXPECT_FALSE(QFileInfo::exists(working));
}

TEST_F(ProfileFilesTest, SaveThatRunsOutOfSpaceLeavesTheOldFileWhole) {
  const QString working = files_.WorkingProfilePath();
  ASSERT_EQ(files_.WriteDefaultProfileFile(working), 1);
  const Bytes before = ReadAll(working);
  Populate(store_);  // about 66 KB to write

  // A file size limit stands in for a full disk: writes past it fail.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 40000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int saved1 = files_.SaveWorkingProfile();
  const bool exported = files_.ExportProfileFile(working);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(saved1, 0);
  EXPECT_FALSE(exported);
  EXPECT_EQ(ReadAll(working), before);
  EXPECT_EQ(QDir(files_.ProfileFolderPath()).entryList(QDir::Files),
            QStringList{WorkingProfileFileName()})
      << "no temporary file is left behind";
  EXPECT_EQ(files_.SaveWorkingProfile(), 1);
}

TEST_F(ProfileFilesTest, WritesToAnUnusablePathFail) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir("taken.kst"));
  EXPECT_FALSE(files_.ExportProfileFile(Path("taken.kst")));
  EXPECT_EQ(files_.WriteDefaultProfileFile(Path("taken.kst")), 0);
  EXPECT_FALSE(files_.ExportProfileFile(Path("no/such/folder/x.kst")));
  EXPECT_TRUE(QFileInfo(Path("taken.kst")).isDir());

  // A new default file tells why it could not be made: the path and the
  // system's reason.
  const struct {
    QString path;
    int reason;
  } cases[] = {
      {Path("taken.kst"), EISDIR},
      {Path("no/such/folder/x.kst"), ENOENT},
      {Path(QString(296, QLatin1Char('n')) + ".kst"), ENAMETOOLONG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    QString why;
    EXPECT_EQ(files_.WriteDefaultProfileFile(c.path, &why), 0);
    EXPECT_EQ(why, QDir::toNativeSeparators(c.path) + ": " + qt_error_string(c.reason));
  }
  QString why;
  EXPECT_EQ(files_.WriteDefaultProfileFile(Path("fine.kst"), &why), 1);
  EXPECT_TRUE(why.isEmpty());
}

TEST_F(ProfileFilesTest, ImportOfAnInvalidFileLeavesTheStoreAloneAndSaysSoOnce) {
  // The refusal is shown in the user's language, not as its key, and says
  // nothing of a revert: nothing was reverted.
  const QString languageFile = language_.LanguageFilePath(language_.GetLanguageIndex());
  ASSERT_TRUE(QDir().mkpath(QFileInfo(languageFile).absolutePath()));
  QFile lang(languageFile);
  ASSERT_TRUE(lang.open(QIODevice::WriteOnly));
  lang.write("[TEXT]\nIDS_MAIN_PROMPT_INPORT=Refused; the current configuration is kept.\n");
  lang.close();

  Populate(store_);
  Bytes bad = DefaultFile();
  ++bad[31];
  WriteAll(Path("bad.kst"), bad);
  WriteAll(Path("small.kst"), Bytes(100, 0));
  for (const QString& name :
       {QStringLiteral("bad.kst"), QStringLiteral("small.kst"), QStringLiteral("absent.kst")}) {
    SCOPED_TRACE(name.toStdString());
    boxes_.shown.clear();
    bool ran = false;
    EXPECT_EQ(files_.ImportProfileFile(Path(name), [&] { ran = true; }), 0);
    EXPECT_FALSE(ran);
    EXPECT_EQ(boxes_.shown, std::vector<QString>{"Refused; the current configuration is kept.\n\n" +
                                                 QDir::toNativeSeparators(Path(name))});
    EXPECT_EQ(store_.MacroCount(), 2);
    EXPECT_EQ(store_.TextAt(2, 0x1E), u"/bin/abc");
  }
}

TEST_F(ProfileFilesTest, ImportReplacesTheStoreAndTheWorkingFile) {
  Populate(store_);
  ASSERT_TRUE(files_.ExportProfileFile(Path("exchange.kst")));
  const Bytes exchange = ReadAll(Path("exchange.kst"));
  store_.InstallDefault();
  const QString working = files_.WorkingProfilePath();
  ASSERT_EQ(files_.WriteDefaultProfileFile(working), 1);

  bool lockedDuringFollowUp = false;
  EXPECT_EQ(files_.ImportProfileFile(Path("exchange.kst"),
                                     [&] {
                                       auto tryLock = std::async(std::launch::async, [&] {
                                         const bool got = store_.Lock().try_lock();
                                         if (got) store_.Lock().unlock();
                                         return got;
                                       });
                                       lockedDuringFollowUp = !tryLock.get();
                                     }),
            1);
  EXPECT_TRUE(lockedDuringFollowUp);
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_EQ(store_.MacroCount(), 2);
  EXPECT_EQ(store_.TextAt(0, 31), u"abcdefghijklmnopqrst");
  EXPECT_EQ(ReadAll(working), exchange);
}

}  // namespace
}  // namespace kst
