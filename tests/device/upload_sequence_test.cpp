// The upload and the rebuild's reads as command sequences, and the profile
// they act on after the keyboard reset itself, against the simulated keyboard.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "capture_log.h"
#include "device/ConfigurationUpload.h"
#include "device/DeviceProfileRebuild.h"
#include "device/KeyMap.h"
#include "device/UploadSnapshot.h"
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
using uploadtest::RigOptions;
using uploadtest::SimKeyboardRig;

class UploadSequenceTest : public uploadtest::UploadFixture {
 protected:
  void Connect(const RigOptions& options = {}) {
    rig = std::make_unique<SimKeyboardRig>(options);
    ASSERT_EQ(rig->Error(), "");
    upload = std::make_unique<ConfigurationUpload>(store, snapshot, rig->Device(), files, host);
  }
  std::vector<std::uint8_t> KeyMapOf(const std::vector<std::uint8_t>& keyMaps, int profile) {
    const auto at = keyMaps.begin() + static_cast<std::ptrdiff_t>(profile) * kKeyMapBytes;
    return {at, at + kKeyMapBytes};
  }

  std::unique_ptr<SimKeyboardRig> rig;
  std::unique_ptr<ConfigurationUpload> upload;
};

TEST_F(UploadSequenceTest, RebuildReadsNeverLandInsideTheUploadsUpdate) {
  const std::string capture = (dir.path() + "/capture.txt").toStdString();
  Connect({.latencyUs = 300, .capture = capture});
  for (int p = 0; p < 4; ++p) store.SetAssignment(p, 0x1E, AssignmentKind::StopMacro, 0);

  // The keyboard reset itself while Apply runs: the window rebuilds from it.
  std::atomic<bool> uploading{true};
  std::atomic<int> rebuilds{0};
  std::atomic<int> failed{0};
  std::thread rebuild([&] {
    while (uploading.load()) {
      DeviceImages images;
      if (ReadDeviceImages(rig->Device(), images) != 1) ++failed;
      ++rebuilds;
    }
  });
  while (rebuilds.load() == 0) std::this_thread::yield();
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(upload->BuildSnapshotAndUpload(false), 1) << round;
  }
  uploading.store(false);
  rebuild.join();
  EXPECT_EQ(failed.load(), 0);

  rig->Control("sync");
  const auto sent = capturetest::SentRequests(capture);
  EXPECT_EQ(capturetest::SequenceFaults(sent), std::vector<std::string>{});
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const auto& r) { return r.command == 1; }),
            3);
}

TEST_F(UploadSequenceTest, AfterTheKeyboardsResetApplyWritesItsNewCurrentProfile) {
  Connect();
  // The keyboard's profile key, twice; the window followed it.
  ASSERT_EQ(rig->Control("profile-key"), 1);
  ASSERT_EQ(rig->Control("profile-key"), 1);
  rig->ForgetCurrentProfile();
  ASSERT_EQ(rig->Device().CurrentProfile(), 2);
  // The reset puts the keyboard back on profile 0 (returns once the link has
  // seen its notice).
  ASSERT_EQ(rig->Control("factory-reset"), 1);
  const auto before = rig->Read("keymaps");
  for (int p = 0; p < 4; ++p) store.SetAssignment(p, 0x1E, AssignmentKind::StopMacro, 0);

  ASSERT_EQ(upload->BuildSnapshotAndUpload(false), 1);
  const auto after = rig->Read("keymaps");
  std::array<std::uint8_t, kKeyMapBytes> expected{};
  EncodeKeyMap(snapshot, rig->Device().FactoryKeyMap(), 0, expected);
  EXPECT_EQ(KeyMapOf(after, 0), std::vector<std::uint8_t>(expected.begin(), expected.end()));
  for (int p : {1, 2, 3}) EXPECT_EQ(KeyMapOf(after, p), KeyMapOf(before, p)) << p;
}

}  // namespace
}  // namespace kst
