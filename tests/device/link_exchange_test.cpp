// Command exchanges on 'CTRL' over the simulated keyboard: attempts, faults,
// cut replies, unplugging, concurrent callers and shutdown.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "device/CommandProtocol.h"
#include "link_harness.h"

namespace kst::linktest {
namespace {

using namespace std::chrono_literals;

class ExchangeTest : public LinkFixture {
 protected:
  void SetUp() override {
    LinkFixture::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(Arm(), 1);
    host.TakeCalls();
    Sim("reports clear");
  }
  int ReadSettingsExchange(std::span<std::uint8_t> reply, std::uint32_t& length) {
    const CommandReport request = BuildCommandReport(kCmdReadSettings, kSettingsBlockBytes, 0);
    return link->ExchangeReport(request, reply, length);
  }
};

TEST_F(ExchangeTest, AttemptsAndTheirResults) {
  struct Case {
    const char* fault;  // armed before the exchange; "" = none
    int result;
    int requests;       // 'CTRL' requests the keyboard saw
    int status;         // reply byte 7 on success
    bool slow = false;  // takes about a second or more
  };
  const Case cases[] = {
      {"", kDeviceOk, 1, 0x00},
      {"fault wrong-command every", kDeviceNoReply, 3, -1},
      {"fault status-fe every", kDeviceOk, 3, 0xFE},
      {"fault status-ff every", kDeviceOk, 3, 0xFF},
      {"fault status-ff 1", kDeviceOk, 2, 0x00},
      {"fault wrong-command 1", kDeviceOk, 2, 0x00},
      {"fault no-reply 1", kDeviceOk, 2, 0x00, true},
      {"fault slow 1 900", kDeviceOk, 1, 0x00, true},
      {"fault slow 1 1100", kDeviceOk, 2, 0x00, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    if (*c.fault) Sim(c.fault);
    CommandReport reply{};
    std::uint32_t length = 99;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadSettingsExchange(reply, length), c.result);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(CtrlRequests(), c.requests);
    if (c.result == kDeviceOk) {
      EXPECT_EQ(length, kCommandReportBytes);
      EXPECT_EQ(reply[kCommandOffset], kCmdReadSettings);
      EXPECT_EQ(reply[kStatusOffset], c.status);
    } else {
      EXPECT_EQ(length, 0u);
    }
    if (!c.slow) {
      EXPECT_LT(took, 900ms);
    }
    EXPECT_FALSE(link->ExchangePending());
    Sim("fault clear");
    Sim("sync");  // late replies are delivered (and dropped) before the next case
    Sim("reports clear");
  }
}

TEST_F(ExchangeTest, ReplyLongerThanTheCapacityIsCut) {
  std::array<std::uint8_t, 20> reply{};
  std::uint32_t length = 0;
  EXPECT_EQ(ReadSettingsExchange(reply, length), kDeviceOk);
  EXPECT_EQ(length, reply.size());
  const auto settings = SimRead("settings");
  EXPECT_TRUE(std::equal(reply.begin() + kDataOffset, reply.end(), settings.begin()));
}

TEST_F(ExchangeTest, NoKeyboardMeansNoExchange) {
  Sim("unplug");
  ASSERT_TRUE(Idle());
  Sim("reports clear");
  CommandReport reply{};
  std::uint32_t length = 0;
  EXPECT_EQ(ReadSettingsExchange(reply, length), kDeviceNothing);
  EXPECT_EQ(CtrlRequests(), 0);
}

TEST_F(ExchangeTest, StatusFEOnTheThirdChunkKeepsTheFirstTwo) {
  Sim("macro-space 4");
  const auto before = SimRead("macro");
  ASSERT_EQ(before.size(), 512u);
  std::vector<std::uint8_t> area(200);
  for (std::size_t i = 0; i < area.size(); ++i) area[i] = static_cast<std::uint8_t>(0x80 ^ i);
  // Every attempt of the third chunk is refused.
  Sim("fault status-fe 3");
  Sim("fault status-fe 4");
  Sim("fault status-fe 5");
  EXPECT_EQ(WriteMacroArea(*link, area), kDeviceStatusFE);
  EXPECT_EQ(CtrlRequests(), 5);
  const auto after = SimRead("macro");
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + 112, area.begin()));
  EXPECT_TRUE(std::equal(after.begin() + 112, after.end(), before.begin() + 112));
}

TEST_F(ExchangeTest, UnplugInTheMiddleOfAKeyMapWrite) {
  const auto before = SimRead("keymaps");
  ASSERT_EQ(before.size(), 4 * kDeviceKeyMapBytes);
  std::array<std::uint8_t, kDeviceKeyMapBytes> map{};
  for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<std::uint8_t>(i * 7 + 1);
  Sim("fault unplug 4");
  EXPECT_NE(WriteKeyMap(*link, map, 1), kDeviceOk);
  ASSERT_TRUE(GoneAndIdle());
  EXPECT_EQ(link->ConnectionState(), 0);
  EXPECT_EQ(host.TakeCalls(), (std::vector<std::string>{kSendGone, "hide", "icon 128"}));
  // Four chunks arrived; the rest of the map and the other profiles are untouched.
  const auto after = SimRead("keymaps");
  const std::size_t base = kDeviceKeyMapBytes;
  EXPECT_TRUE(std::equal(after.begin() + base, after.begin() + base + 4 * 56, map.begin()));
  EXPECT_TRUE(
      std::equal(after.begin() + base + 4 * 56, after.end(), before.begin() + base + 4 * 56));
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + base, before.begin()));
  // Back again, the write goes through.
  Sim("plug");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(WriteKeyMap(*link, map, 1), kDeviceOk);
}

TEST_F(ExchangeTest, ConcurrentCallersEachGetTheirOwnReply) {
  Sim("latency 200");
  const auto settings = SimRead("settings");
  const auto factory = SimRead("factory");
  std::atomic<int> wrong{0};
  std::thread other([&] {
    for (int i = 0; i < 10; ++i) {
      std::array<std::uint8_t, kDeviceKeyMapBytes> map{};
      if (ReadFactoryKeyMap(*link, map) != kDeviceOk ||
          !std::equal(map.begin(), map.end(), factory.begin())) {
        ++wrong;
      }
    }
  });
  for (int i = 0; i < 40; ++i) {
    SettingsBlock block{};
    if (ReadSettings(*link, block) != kDeviceOk ||
        !std::equal(block.begin(), block.end(), settings.begin())) {
      ++wrong;
    }
  }
  other.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(ExchangeTest, ShutdownEndsAWaitingExchange) {
  Sim("fault no-reply every");
  int result = 99;
  std::thread caller([&] {
    CommandReport reply{};
    std::uint32_t length = 0;
    result = ReadSettingsExchange(reply, length);
  });
  std::this_thread::sleep_for(100ms);
  const auto start = std::chrono::steady_clock::now();
  link->Shutdown();
  caller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_EQ(result, kDeviceNothing);
  CommandReport reply{};
  std::uint32_t length = 0;
  EXPECT_EQ(ReadSettingsExchange(reply, length), kDeviceNothing);
}

// Writes a pattern that differs from chunk to chunk into an area of the
// keyboard, so that a read that takes one chunk's reply for another shows.
std::string Pattern(std::size_t size, unsigned seed) {
  static const char* digits = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    const auto b = static_cast<std::uint8_t>(i * 7 + i / 56 + seed);
    hex.push_back(digits[b >> 4]);
    hex.push_back(digits[b & 15]);
  }
  return hex;
}

TEST_F(ExchangeTest, ALateReplyIsNotTakenForTheNextChunk) {
  Sim("macro-space 4");
  Sim("write keymaps 0 " + Pattern(4 * kDeviceKeyMapBytes, 1));
  Sim("write macro 0 " + Pattern(512, 2));
  const auto keyMaps = SimRead("keymaps");
  const auto macro = SimRead("macro");
  // The connection's first replies showed the keyboard echoing length and
  // offset.
  EXPECT_EQ(link->ReplyEchoMode(), DeviceLink::ReplyEcho::Echoed);
  Sim("latency 20000");
  struct Case {
    const char* what;
    const char* fault;  // one chunk's reply comes after its attempt gave up
    std::function<int(std::vector<std::uint8_t>&)> read;
    std::vector<std::uint8_t> expected;
  };
  const Case cases[] = {
      {"key map of profile 1",
       "fault slow 3 1030",
       [&](std::vector<std::uint8_t>& out) {
         out.resize(kDeviceKeyMapBytes);
         return ReadKeyMap(*link, std::span(out).first<kDeviceKeyMapBytes>(), 1);
       },
       {keyMaps.begin() + kDeviceKeyMapBytes, keyMaps.begin() + 2 * kDeviceKeyMapBytes}},
      {"macro area",
       "fault slow 2 1030",
       [&](std::vector<std::uint8_t>& out) {
         out.resize(300);
         return ReadMacroArea(*link, out);
       },
       {macro.begin(), macro.begin() + 300}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sim(c.fault);
    std::vector<std::uint8_t> read;
    EXPECT_EQ(c.read(read), kDeviceOk);
    EXPECT_EQ(read, c.expected);
    Sim("fault clear");
    Sim("sync");
  }
}

TEST_F(ExchangeTest, AKeyboardThatDoesNotEchoIsMatchedByTheCommandAlone) {
  Sim("echo off");
  Sim("unplug");
  Sim("plug");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(link->ReplyEchoMode(), DeviceLink::ReplyEcho::NotEchoed);
  const auto keyMaps = SimRead("keymaps");
  std::array<std::uint8_t, kDeviceKeyMapBytes> map{};
  ASSERT_EQ(ReadKeyMap(*link, map, 3), kDeviceOk);
  EXPECT_TRUE(std::equal(map.begin(), map.end(), keyMaps.begin() + 3 * kDeviceKeyMapBytes));
  for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<std::uint8_t>(i + 9);
  EXPECT_EQ(WriteKeyMap(*link, map, 0), kDeviceOk);
  const auto after = SimRead("keymaps");
  EXPECT_TRUE(std::equal(map.begin(), map.end(), after.begin()));
}

TEST_F(ExchangeTest, CurrentProfileFollowsTheKeyboard) {
  ASSERT_EQ(SetCurrentProfile(*link, 3), kDeviceOk);
  EXPECT_EQ(SimRead("settings")[kSettingsCurrentProfile], 3);
  Sim("reports clear");
  EXPECT_EQ(GetCurrentProfile(*link), 3);
  EXPECT_EQ(CtrlRequests(), 0);
  Sim("fault status-ff 2");
  Sim("fault status-ff 3");
  Sim("fault status-ff 4");
  EXPECT_EQ(SetCurrentProfile(*link, 1), kDeviceStatusFF);
  EXPECT_EQ(link->CachedCurrentProfile(), -1);
  EXPECT_EQ(GetCurrentProfile(*link), 3);
}

}  // namespace
}  // namespace kst::linktest
