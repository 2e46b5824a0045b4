// Channel identity: selectors on the wire and the request key.

#include <gtest/gtest.h>

#include <array>
#include <set>

#include "device/DeviceChannels.h"
#include "foundation/DeviceIdentity.h"

namespace kst {
namespace {

TEST(KeyHashTableTest, IsAPermutationBeginningWithTheFixedSixteen) {
  const auto& table = KeyHashTable();
  const std::array<std::uint8_t, 16> head = {0xFD, 0x86, 0xD1, 0xCA, 0xDB, 0xD5, 0xCC, 0x5E,
                                             0x02, 0x0E, 0xE0, 0xB6, 0xA9, 0xF7, 0x6D, 0xA8};
  for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(table[i], head[i]) << i;
  EXPECT_EQ(std::set<std::uint8_t>(table.begin(), table.end()).size(), 256u);
}

TEST(SelectorTest, ChannelsPickTheirInterfaceOfTheKeyboard) {
  struct Case {
    Channel channel;
    std::uint32_t tag;
    std::uint16_t page;
    std::uint16_t usage;
  };
  const Case cases[] = {{Channel::Led, 0x004C4544, 0x0008, 0x0089},
                        {Channel::Cons, 0x434F4E53, 0x000C, 0x0001},
                        {Channel::Ctrl, 0x4354524C, 0xFF1C, 0x0092}};
  for (const Case& c : cases) {
    const DeviceSelector s = ChannelSelector(c.channel);
    EXPECT_EQ(ChannelTag(c.channel), c.tag);
    EXPECT_EQ(s.usagePage, c.page);
    EXPECT_EQ(s.usage, c.usage);
    const auto bytes = EncodeSelector(s);
    const std::array<std::uint8_t, 16> expected = {
        0x0F,
        0x00,
        0x00,
        0x00,
        static_cast<std::uint8_t>(kKeyboardVendorId),
        static_cast<std::uint8_t>(kKeyboardVendorId >> 8),
        static_cast<std::uint8_t>(kKeyboardProductId),
        static_cast<std::uint8_t>(kKeyboardProductId >> 8),
        static_cast<std::uint8_t>(c.page),
        static_cast<std::uint8_t>(c.page >> 8),
        static_cast<std::uint8_t>(c.usage),
        static_cast<std::uint8_t>(c.usage >> 8),
        0,
        0,
        0,
        0};
    EXPECT_EQ(bytes, expected);
  }
}

TEST(RequestKeyTest, SumsTheTableOverSelectorCallbackTagAndPayload) {
  const auto& table = KeyHashTable();
  const DeviceSelector s = ChannelSelector(Channel::Led);
  std::uint32_t expected = 0;
  for (std::uint8_t b : EncodeSelector(s)) expected += table[b];
  for (std::uint8_t b : {0x78, 0x56, 0x34, 0x12}) expected += table[b];  // callback, LE
  for (std::uint8_t b : {0x44, 0x45, 0x4C, 0x00}) expected += table[b];  // 'LED', LE
  const std::array<std::uint8_t, 2> payload = {0x05, 0x03};
  for (std::uint8_t b : payload) expected += table[b];
  EXPECT_EQ(RequestKey(s, 0x12345678, kTagLed, payload), expected);
  // Counting and 'CTRL' reports use zero words; different payloads give
  // different keys.
  const std::array<std::uint8_t, 2> other = {0x05, 0x02};
  EXPECT_NE(RequestKey(s, 0, 0, payload), RequestKey(s, 0, 0, other));
}

}  // namespace
}  // namespace kst
