// What only the real keyboard's library meets, through the stand-in for
// hidapi and udev: other devices beside the keyboard, nodes that cannot be
// opened, short reads, failed writes, floods of reports and of udev events.
// The cases run in the "hid." pass of the device tests (on
// libTolvaneFakeHid.so); on the simulated library they are skipped.

#include <dirent.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

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

TEST_F(FakeHidTest, NumberedAndUnnumberedReportsGiveTheSameBytesOnTheWire) {
  // Reports on an interface without report ids go to hidapi behind a 0 that
  // never reaches the keyboard; with ids they go as they are.
  struct Case {
    const char* numbered;
    const char* hidapiStart;
  };
  std::vector<std::string> wires;
  for (const Case& c : {Case{"0", "0004"}, Case{"1", "04"}}) {
    SCOPED_TRACE(c.numbered);
    Sim(std::string("hid numbered ") + c.numbered);
    Replug();  // the write handles read the descriptors anew
    std::array<std::uint8_t, kSettingsBlockBytes> settings{};
    ASSERT_EQ(ReadSettings(*link, settings), kDeviceOk);
    const std::string last = Sim("hid last-write");
    const std::size_t wire = last.find("\nwire ");
    ASSERT_NE(wire, std::string::npos) << last;
    EXPECT_EQ(last.rfind(std::string("hidapi ") + c.hidapiStart, 0), 0u) << last;
    wires.push_back(last.substr(wire + 6));
  }
  ASSERT_EQ(wires.size(), 2u);
  EXPECT_EQ(wires[0], wires[1]);
  EXPECT_EQ(wires[0].size(), 2 * kCommandReportBytes);
}

TEST_F(FakeHidTest, OversizedUnsolicitedReportsAreTakenWithoutLosingTheNextExchange) {
  for (int bytes : {65, 1024, 4096}) {
    SCOPED_TRACE(bytes);
    Sim("hid inject " + std::to_string(bytes));
    EXPECT_EQ(ReadProfile(), 0);
  }
}

TEST_F(FakeHidTest, AReplyWithTheWrongCommandByteIsNotTakenForTheAnswer) {
  std::array<std::uint8_t, kSettingsBlockBytes> before{};
  ASSERT_EQ(ReadSettings(*link, before), kDeviceOk);
  Sim("fault wrong-command 1");
  std::array<std::uint8_t, kSettingsBlockBytes> after{};
  // The attempt that got the wrong reply is repeated; the block is the real one.
  EXPECT_EQ(ReadSettings(*link, after), kDeviceOk);
  EXPECT_EQ(after, before);
}

TEST_F(FakeHidTest, UnplugInTheMiddleOfAChunkedReadFailsItAndTheNextReadIsWhole) {
  std::array<std::uint8_t, kDeviceKeyMapBytes> whole{};
  ASSERT_EQ(ReadKeyMap(*link, whole, 0), kDeviceOk);
  Sim("fault unplug 3");
  std::array<std::uint8_t, kDeviceKeyMapBytes> cut{};
  EXPECT_NE(ReadKeyMap(*link, cut, 0), kDeviceOk);
  ASSERT_TRUE(Idle());
  Sim("plug");
  ASSERT_TRUE(Idle());
  std::array<std::uint8_t, kDeviceKeyMapBytes> again{};
  ASSERT_EQ(ReadKeyMap(*link, again, 0), kDeviceOk);
  EXPECT_EQ(again, whole);
}

}  // namespace
}  // namespace kst::linktest
