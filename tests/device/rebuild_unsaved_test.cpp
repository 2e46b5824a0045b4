// The rebuild from the keyboard when the working file cannot be written: the
// store keeps what the keyboard holds and the user is told once why.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

#include "device/ConfigurationUpload.h"
#include "device/DeviceProfileRebuild.h"
#include "device/KeyMap.h"
#include "device/UploadSnapshot.h"
#include "file_size_limit.h"
#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFiles.h"
#include "upload_fixture.h"
#include "upload_sim_rig.h"

namespace kst {
namespace {

using uploadtest::RecordingUploadHost;

// A keyboard in memory: key A (usage 4) at position 0 of the factory map,
// and in profile 1 the function key 12 on it; no macro area.
class MemoryKeyboard final : public UploadDevice {
 public:
  MemoryKeyboard() {
    factory_[0] = 2;
    factory_[1] = 2;
    factory_[2] = 4;
    for (auto& map : maps_) map = factory_;
    maps_[1][0] = 5;
    maps_[1][1] = 5;
    maps_[1][2] = 12;
  }
  std::array<std::uint8_t, kUploadKeyMapBytes> FactoryKeyMap() const override { return factory_; }
  std::uint32_t MacroCapacity() const override { return 1024; }
  int CurrentProfile() override { return 0; }
  int BeginUpdate() override { return 1; }
  int EndUpdate() override { return 1; }
  int WriteMacroArea(std::span<const std::uint8_t>) override { return 1; }
  int ReadMacroArea(std::span<std::uint8_t> area) override {
    std::fill(area.begin(), area.end(), std::uint8_t{0});
    return 1;
  }
  int WriteParameters(std::span<const std::uint8_t>, std::uint16_t) override { return 1; }
  int WriteKeyMap(std::span<const std::uint8_t, kUploadKeyMapBytes>, int) override { return 1; }
  int ReadKeyMap(std::span<std::uint8_t, kUploadKeyMapBytes> keyMap, int profile) override {
    if (profile < 0 || profile >= 4) return -201;
    std::copy(maps_[static_cast<std::size_t>(profile)].begin(),
              maps_[static_cast<std::size_t>(profile)].end(), keyMap.begin());
    return 1;
  }

 private:
  std::array<std::uint8_t, kUploadKeyMapBytes> factory_{};
  std::array<std::array<std::uint8_t, kUploadKeyMapBytes>, 4> maps_{};
};

constexpr AssignmentSlot kSlotA = 0x1E;

class RebuildUnsavedTest : public uploadtest::UploadFixture {
 protected:
  void SetUp() override {
    UploadFixture::SetUp();
    working = files.WorkingProfilePath();
    ASSERT_EQ(files.WriteDefaultProfileFile(working), 1);
    QFile file(working);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    before = file.readAll();
  }

  // What must hold after the rebuild: empty when all of it does.
  std::string Check(ActiveProfileSource source) {
    std::string wrong;
    if (source != ActiveProfileSource::Keyboard) wrong += "not from the keyboard; ";
    if (!store.GetAssignment(1, kSlotA).Is(AssignmentKind::FunctionKey)) {
      wrong += "the keyboard's assignment is lost; ";
    }
    if (upload.StandInContent()) wrong += "marked as stand-in; ";
    if (host.Messages() != std::vector<std::string>{kSaveFailedTextKey}) {
      wrong += "not told exactly once; ";
    } else if (!host.Details().front().startsWith(QDir::toNativeSeparators(working))) {
      wrong += "the message does not name the file; ";
    }
    return wrong;
  }

  MemoryKeyboard keyboard;
  ConfigurationUpload upload{store, snapshot, keyboard, files, host};
  QString working;
  QByteArray before;
};

// Run as an unprivileged user (root may write anywhere): the check runs in a
// forked child that gives up root first, and reports through its exit code.
TEST_F(RebuildUnsavedTest, AReadOnlyFolderKeepsTheKeyboardsContentAndSaysWhy) {
  const QByteArray folder = QFile::encodeName(files.ProfileFolderPath());
  ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
  ASSERT_EQ(chmod(QFile::encodeName(paths.dataFolder).constData(), 0755), 0);
  ASSERT_EQ(chmod(folder.constData(), 0555), 0);

  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeEnds[0]);
    std::string wrong;
    if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      wrong = "cannot drop privileges";
    } else if (access(folder.constData(), W_OK) == 0) {
      wrong = "the folder is writable";
    } else {
      wrong = Check(LoadActiveProfile(store, files, keyboard, host, u"M", false, &upload));
      if (wrong.empty() && !host.Details().front().endsWith(qt_error_string(EACCES))) {
        wrong = "the reason is not the folder's: " + host.Details().front().toStdString();
      }
    }
    const ssize_t ignored = write(pipeEnds[1], wrong.data(), wrong.size());
    (void)ignored;
    _exit(wrong.empty() ? 0 : 1);
  }
  close(pipeEnds[1]);
  std::string report;
  char buffer[256];
  for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
  close(pipeEnds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  chmod(folder.constData(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << report;
  QFile file(working);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
}

TEST_F(RebuildUnsavedTest, AFullDiskKeepsTheKeyboardsContentAndSaysSo) {
  ActiveProfileSource source;
  {
    const uploadtest::FileSizeLimit fullDisk(1000);
    source = LoadActiveProfile(store, files, keyboard, host, u"M", false, &upload);
  }

  EXPECT_EQ(Check(source), "");
  QFile file(working);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
}

}  // namespace
}  // namespace kst
