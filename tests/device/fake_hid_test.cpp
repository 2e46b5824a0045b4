// What only the real keyboard's library meets, through the stand-in for
// hidapi and udev: other devices beside the keyboard, nodes that cannot be
// opened, short reads, failed writes, floods of reports and of udev events.
// The cases run in the "hid." pass of the device tests (on
// libTolvaneFakeHid.so); on the simulated library they are skipped.

#include <dirent.h>

#include <array>
#include <cstring>

#include "link_harness.h"

namespace kst::linktest {
namespace {

bool OnFakeHid() { return std::strstr(ServiceUnderTest(), "FakeHid") != nullptr; }

int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

class FakeHidTest : public LinkFixture {
 protected:
  void SetUp() override {
    if (!OnFakeHid()) GTEST_SKIP() << "runs on the hidapi library over the stand-in only";
    LinkFixture::SetUp();
    ASSERT_EQ(Arm(), 1);
    host.TakeCalls();
  }
  int ReadProfile() {
    link->SetCachedCurrentProfile(-1);
    return GetCurrentProfile(*link);
  }
  // Unplugs and plugs the keyboard again, so that every node is opened anew.
  void Replug() {
    Sim("unplug");
    ASSERT_TRUE(Idle());
    Sim("plug");
    ASSERT_TRUE(Idle());
  }
};

TEST_F(FakeHidTest, TheKeyboardIsFoundAmongOtherDevicesAndTheirEvents) {
  Sim("hid extra 6");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(ReadProfile(), 0);
  // Events of unrelated devices, many in a row: the keyboard stays.
  for (int i = 0; i < 1000; ++i) Sim("hid extra " + std::to_string(i % 7));
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(host.TakeCalls().empty());
  EXPECT_EQ(ReadProfile(), 0);
}

TEST_F(FakeHidTest, NodesThatCannotBeOpenedGiveFailedExchangesNotAHang) {
  Sim("hid deny ctrl");
  Replug();
  std::array<std::uint8_t, kSettingsBlockBytes> settings{};
  EXPECT_NE(ReadSettings(*link, settings), kDeviceOk);
  Sim("hid allow");
  Replug();
  EXPECT_EQ(ReadSettings(*link, settings), kDeviceOk);
}

TEST_F(FakeHidTest, ShortRepliesAndFailedWritesFailOneExchangeOnly) {
  struct Case {
    const char* fault;
  };
  for (const Case& c :
       {Case{"hid short-read 0"}, Case{"hid short-read 1"}, Case{"hid short-read 7"},
        Case{"hid short-read 63"}, Case{"hid fail-write 1"}}) {
    SCOPED_TRACE(c.fault);
    Sim(c.fault);
    // The exchange may recover on a later attempt; what matters is that it
    // gives an answer, and the next one is whole.
    std::array<std::uint8_t, kSettingsBlockBytes> settings{};
    const int first = ReadSettings(*link, settings);
    EXPECT_TRUE(first == kDeviceOk || first < 1) << first;
    EXPECT_EQ(ReadProfile(), 0);
  }
}

TEST_F(FakeHidTest, AFloodOfReportsIsTakenWithoutLosingTheExchange) {
  for (int i = 0; i < 10000; ++i) Sim(i % 2 ? "activity off" : "activity on");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(ReadProfile(), 0);
}

TEST_F(FakeHidTest, PlugCyclesLeaveNoThreadAndTheKeyboardAnswering) {
  const int threads = ThreadCount();
  for (int i = 0; i < 1000; ++i) {
    Sim("unplug");
    Sim("plug");
  }
  ASSERT_TRUE(Idle());
  EXPECT_EQ(ReadProfile(), 0);
  EXPECT_EQ(ThreadCount(), threads);
}

}  // namespace
}  // namespace kst::linktest
