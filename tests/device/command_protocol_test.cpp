// Command reports and the command operations over a scripted exchanger: the
// exact request bytes, chunking, status handling and the profile cache.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "device/CommandProtocol.h"

namespace kst {
namespace {

CommandReport Bytes(std::initializer_list<std::uint8_t> head) {
  CommandReport r{};
  std::size_t i = 0;
  for (std::uint8_t b : head) r[i++] = b;
  return r;
}

TEST(CommandReportTest, RequestsCarryIdCommandLengthOffsetAndChecksum) {
  struct Case {
    const char* name;
    CommandReport built;
    CommandReport expected;
  };
  const std::vector<std::uint8_t> three = {0x10, 0x20, 0x30};
  const Case cases[] = {
      {"begin update", BuildCommandReport(kCmdBeginUpdate, 0, 0),
       Bytes({0x04, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00})},
      {"end update", BuildCommandReport(kCmdEndUpdate, 0, 0),
       Bytes({0x04, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00})},
      {"read settings", BuildCommandReport(kCmdReadSettings, 0x2C, 0),
       Bytes({0x04, 0x2F, 0x00, 0x03, 0x2C, 0x00, 0x00, 0x00})},
      {"key map chunk of profile 2", BuildCommandReport(kCmdReadKeyMap, 56, 0x0438),
       Bytes({0x04, 0x7B, 0x00, 0x07, 0x38, 0x38, 0x04, 0x00})},
      {"data and a checksum above one byte",
       BuildCommandReport(kCmdWriteParameters, 3, 0x00FF, three),
       Bytes({0x04, 0x68, 0x01, 0x06, 0x03, 0xFF, 0x00, 0x00, 0x10, 0x20, 0x30})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.built, c.expected) << c.name;
    EXPECT_EQ(CommandChecksum(c.built), c.built[1] | (c.built[2] << 8)) << c.name;
  }
}

// Answers each request like a keyboard: repeats bytes 0-6, status from the
// script (0 when the script is empty), data from `fill` for reads.
class ScriptedKeyboard : public ReportExchanger {
 public:
  struct Step {
    int result = kDeviceOk;
    std::uint8_t status = 0;
    std::uint32_t length = kCommandReportBytes;
  };
  std::vector<CommandReport> requests;
  std::deque<Step> script;
  std::function<std::uint8_t(std::size_t, std::uint16_t)> fill =
      [](std::size_t i, std::uint16_t offset) { return static_cast<std::uint8_t>(offset + i); };
  int cached = -1;
  std::uint8_t currentProfile = 1;

  int ExchangeReport(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply,
                     std::uint32_t& replyLength) override {
    CommandReport r{};
    std::copy(request.begin(), request.end(), r.begin());
    requests.push_back(r);
    Step step;
    if (!script.empty()) {
      step = script.front();
      script.pop_front();
    }
    replyLength = 0;
    if (step.result != kDeviceOk) return step.result;
    CommandReport answer{};
    std::copy_n(r.begin(), 7, answer.begin());
    answer[kStatusOffset] = step.status;
    const std::uint16_t offset = static_cast<std::uint16_t>(r[5] | (r[6] << 8));
    for (std::size_t i = 0; i < kChunkDataBytes; ++i) answer[8 + i] = fill(i, offset);
    if (r[kCommandOffset] == kCmdReadSettings) answer[8 + kSettingsCurrentProfile] = currentProfile;
    const std::uint32_t n = std::min<std::uint32_t>(step.length, reply.size());
    std::copy_n(answer.begin(), n, reply.begin());
    replyLength = n;
    return kDeviceOk;
  }
  int CachedCurrentProfile() const override { return cached; }
  void SetCachedCurrentProfile(int profile) override { cached = profile; }
};

TEST(CommandProtocolTest, KeyMapOfProfileTwoIsReadInTenChunks) {
  ScriptedKeyboard kb;
  std::array<std::uint8_t, kDeviceKeyMapBytes> map{};
  ASSERT_EQ(ReadKeyMap(kb, map, 2), kDeviceOk);
  ASSERT_EQ(kb.requests.size(), 10u);
  for (std::size_t c = 0; c < 10; ++c) {
    const CommandReport& r = kb.requests[c];
    EXPECT_EQ(r[kCommandOffset], kCmdReadKeyMap);
    EXPECT_EQ(r[5] | (r[6] << 8), 0x0400 + 56 * static_cast<int>(c)) << c;
    EXPECT_EQ(r[kLengthOffset], c == 9 ? 8 : 56) << c;
  }
  EXPECT_EQ(kb.requests.back()[5] | (kb.requests.back()[6] << 8), 0x05F8);
  // Each chunk's data lands at its own place.
  for (std::size_t i = 0; i < map.size(); ++i) {
    ASSERT_EQ(map[i], static_cast<std::uint8_t>(0x0400 + i)) << i;
  }
}

TEST(CommandProtocolTest, ProfileOutsideRangeSendsNothing) {
  ScriptedKeyboard kb;
  std::array<std::uint8_t, kDeviceKeyMapBytes> map{};
  EXPECT_EQ(ReadKeyMap(kb, map, 4), kDeviceBadProfile);
  EXPECT_EQ(WriteKeyMap(kb, map, -1), kDeviceBadProfile);
  EXPECT_EQ(WriteKeyColours(kb, std::span(map).first(3), 0, 4), kDeviceBadProfile);
  EXPECT_EQ(SetCurrentProfile(kb, 4), kDeviceBadProfile);
  EXPECT_EQ(WriteParameters(kb, std::span(map).first(57), 0), kDeviceBadArgument);
  EXPECT_EQ(WriteKeyColours(kb, std::span(map).first(6), 169, 0), kDeviceBadArgument);
  EXPECT_TRUE(kb.requests.empty());
}

TEST(CommandProtocolTest, FirstFailingChunkEndsTheTransferWithItsResult) {
  struct Case {
    const char* name;
    ScriptedKeyboard::Step failure;
    int expected;
  };
  const Case cases[] = {
      {"status 0xFE", {kDeviceOk, kStatusFE}, kDeviceStatusFE},
      {"status 0xFF", {kDeviceOk, kStatusFF}, kDeviceStatusFF},
      {"no reply", {kDeviceNoReply}, kDeviceNoReply},
      {"no keyboard", {kDeviceNothing}, kDeviceNothing},
      {"send failure", {kDeviceSendFailed}, kDeviceSendFailed},
      {"reply without status", {kDeviceOk, 0, 6}, kDeviceNoReply},
  };
  const std::vector<std::uint8_t> area(200, 0xAB);  // four chunks
  for (const Case& c : cases) {
    ScriptedKeyboard kb;
    kb.script = {{}, {}, c.failure};
    EXPECT_EQ(WriteMacroArea(kb, area), c.expected) << c.name;
    EXPECT_EQ(kb.requests.size(), 3u) << c.name;
  }
}

TEST(CommandProtocolTest, ReadsCopyOnlyWhatArrived) {
  ScriptedKeyboard kb;
  // A settings reply that stops before the block's end is no settings block.
  kb.script = {{kDeviceOk, 0, kDataOffset + 20}};
  SettingsBlock settings;
  settings.fill(0x5A);
  EXPECT_EQ(ReadSettings(kb, settings), kDeviceNoReply);
  EXPECT_EQ(settings[0], 0x5A);
  // A failed read leaves the caller's block as it was.
  kb.script = {{kDeviceOk, kStatusFF}};
  EXPECT_EQ(ReadSettings(kb, settings), kDeviceStatusFF);
  EXPECT_EQ(settings[0], 0x5A);
  EXPECT_EQ(ReadSettings(kb, settings), kDeviceOk);
  EXPECT_EQ(settings[0], 0);
  EXPECT_EQ(settings[43], 43);
  std::array<std::uint8_t, 0> none{};
  const std::size_t before = kb.requests.size();
  EXPECT_EQ(ReadMacroArea(kb, none), kDeviceOk);
  EXPECT_EQ(WriteMacroArea(kb, none), kDeviceOk);
  EXPECT_EQ(kb.requests.size(), before);
}

TEST(CommandProtocolTest, KeyColoursAndParametersAddressTheirArea) {
  ScriptedKeyboard kb;
  const std::array<std::uint8_t, 54> colours{};
  ASSERT_EQ(WriteKeyColours(kb, colours, 126, 3), kDeviceOk);
  // 3 x 512 + 3 x 126 = 0x077A.
  EXPECT_EQ(kb.requests[0][5], 0x7A);
  EXPECT_EQ(kb.requests[0][6], 0x07);
  EXPECT_EQ(kb.requests[0][kLengthOffset], 54);
  std::array<std::uint8_t, kChunkDataBytes> buffer{};
  ASSERT_EQ(ReadParameters(kb, buffer, 56, 84), kDeviceOk);
  EXPECT_EQ(kb.requests[1][kCommandOffset], kCmdReadParameters);
  EXPECT_EQ(buffer[0], 84);
  EXPECT_EQ(buffer[55], 84 + 55);
}

TEST(CommandProtocolTest, CurrentProfileIsCachedAndForgottenOnAFailedWrite) {
  ScriptedKeyboard kb;
  kb.currentProfile = 2;
  EXPECT_EQ(GetCurrentProfile(kb), 2);
  EXPECT_EQ(GetCurrentProfile(kb), 2);
  EXPECT_EQ(kb.requests.size(), 1u);  // the second answer came from the cache

  EXPECT_EQ(SetCurrentProfile(kb, 3), kDeviceOk);
  ASSERT_EQ(kb.requests.size(), 3u);
  EXPECT_EQ(kb.requests[2][kCommandOffset], kCmdWriteSettings);
  EXPECT_EQ(kb.requests[2][kDataOffset + kSettingsCurrentProfile], 3);
  // The other bytes of the block go back as they came.
  EXPECT_EQ(kb.requests[2][kDataOffset + 9], 9);
  EXPECT_EQ(kb.requests[2][kDataOffset + 43], 43);
  EXPECT_EQ(kb.cached, 3);

  kb.script = {{}, {kDeviceOk, kStatusFE}};
  EXPECT_EQ(SetCurrentProfile(kb, 1), kDeviceStatusFE);
  EXPECT_EQ(kb.cached, -1);

  kb.script = {{kDeviceNoReply}};
  EXPECT_EQ(GetCurrentProfile(kb), -1);
  EXPECT_EQ(kb.cached, -1);

  const std::size_t before = kb.requests.size();
  EXPECT_EQ(SetCurrentProfile(kb, -1), kDeviceNothing);
  EXPECT_EQ(kb.requests.size(), before);
  // A current profile the keyboard cannot have is not believed.
  kb.currentProfile = 7;
  EXPECT_EQ(GetCurrentProfile(kb), -1);
  EXPECT_EQ(kb.cached, -1);
}

}  // namespace
}  // namespace kst
