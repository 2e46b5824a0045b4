// Command sequences over the device link: a sequence held by one thread
// reaches the keyboard whole while other threads exchange; waiters give up
// when the link shuts down.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "capture_log.h"
#include "device/CommandProtocol.h"
#include "link_harness.h"

namespace kst::linktest {
namespace {

// Records every report the keyboard sees in a capture file.
class SequenceTest : public LinkFixture {
 protected:
  std::filesystem::path capture;

  void BeforeBind() override {
    capture = dir / "capture.txt";
    setenv("KESTRUNE_CAPTURE", capture.c_str(), 1);
  }
  void SetUp() override {
    LinkFixture::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(Arm(), 1);
    Sim("latency 300");
  }
};

TEST_F(SequenceTest, AHeldUpdateAndChunkedReadsReachTheKeyboardWhole) {
  std::vector<std::uint8_t> area(200);
  for (std::size_t i = 0; i < area.size(); ++i) area[i] = static_cast<std::uint8_t>(i * 3 + 1);
  std::array<std::uint8_t, kDeviceKeyMapBytes> map{};
  for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<std::uint8_t>(i ^ 0x5A);
  Sim("macro-space 4");
  const auto factory = SimRead("factory");
  const auto keyMaps = SimRead("keymaps");

  // Another thread reads as the window, the connection worker and a rebuild
  // would: single settings reads and chunked key-map reads, until the
  // updates are done.
  std::atomic<bool> updating{true};
  std::atomic<int> reads{0};
  std::atomic<int> wrong{0};
  std::thread reader([&] {
    while (updating.load()) {
      SettingsBlock settings{};
      if (ReadSettings(*link, settings) != kDeviceOk) ++wrong;
      std::array<std::uint8_t, kDeviceKeyMapBytes> read{};
      if (ReadKeyMap(*link, read, 2) != kDeviceOk ||
          !std::equal(read.begin(), read.end(), keyMaps.begin() + 2 * kDeviceKeyMapBytes)) {
        ++wrong;
      }
      if (ReadFactoryKeyMap(*link, read) != kDeviceOk ||
          !std::equal(read.begin(), read.end(), factory.begin())) {
        ++wrong;
      }
      ++reads;
    }
  });
  while (reads.load() == 0 && wrong.load() == 0) std::this_thread::yield();
  for (int round = 0; round < 3; ++round) {
    const SequenceHold hold(*link);
    ASSERT_TRUE(hold.Held());
    EXPECT_EQ(BeginUpdate(*link), kDeviceOk);
    EXPECT_EQ(WriteMacroArea(*link, area), kDeviceOk);
    const std::array<std::uint8_t, 4> cleared{};
    EXPECT_EQ(WriteParameters(*link, cleared, 42 + 18), kDeviceOk);
    EXPECT_EQ(WriteKeyMap(*link, map, 1), kDeviceOk);
    EXPECT_EQ(EndUpdate(*link), kDeviceOk);
  }
  updating.store(false);
  reader.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(reads.load(), 0);

  Sim("sync");
  const auto sent = capturetest::SentRequests(capture);
  EXPECT_EQ(capturetest::SequenceFaults(sent), std::vector<std::string>{});
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                          [](const auto& r) { return r.command == kCmdBeginUpdate; }),
            3);
}

TEST_F(SequenceTest, ShutdownReleasesAThreadWaitingForTheKeyboard) {
  std::atomic<int> result{99};
  std::atomic<bool> started{false};
  std::thread waiter;
  {
    const SequenceHold hold(*link);
    ASSERT_TRUE(hold.Held());
    EXPECT_FALSE(link->SequenceHeldElsewhere());
    waiter = std::thread([&] {
      started.store(true);
      EXPECT_TRUE(link->SequenceHeldElsewhere());
      SettingsBlock settings{};
      result.store(ReadSettings(*link, settings));
    });
    while (!started.load()) std::this_thread::yield();
    // The exit sequence shuts the link down while this thread still holds
    // the keyboard: the waiter must not be kept waiting for it.
    link->Shutdown();
    waiter.join();
    EXPECT_EQ(result.load(), kDeviceNothing);
  }
  EXPECT_FALSE(link->SequenceHeldElsewhere());
}

}  // namespace
}  // namespace kst::linktest
