// The simulated keyboard's side of the command protocol, through the service
// library's entry points: interface matching, replies, refused requests.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "device/KeyMap.h"
#include "foundation/BoardKeys.h"
#include "sim_harness.h"

namespace kst::simtest {
namespace {

using ::testing::ElementsAre;

TEST(SimSelector, MatchesByIdsUsagePageAndUsage) {
  const Api& api = Api::Get();
  ASSERT_NE(api.handle, nullptr) << dlerror();
  setenv("KESTRUNE_SIM_SOCKET", "off", 1);
  const auto state = std::filesystem::temp_directory_path() /
                     ("kst-sim-selector-" + std::to_string(::getpid()) + ".bin");
  setenv("KESTRUNE_SIM_STATE", state.c_str(), 1);
  unsetenv("KESTRUNE_SIM_PRESENT");
  ASSERT_EQ(api.Init(0), 1);
  struct Case {
    const char* what;
    DeviceSelector selector;
    int count;
  };
  auto with = [](DeviceSelector s, auto change) {
    change(s);
    return s;
  };
  const Case cases[] = {
      {"LED", kLed, 1},
      {"CONS", kCons, 1},
      {"CTRL", kCtrl, 1},
      {"usage of another interface", Selector(0xFF1C, 0x0001), 0},
      {"unknown usage page", Selector(0x0001, 0x0006), 0},
      {"other vendor", with(kCtrl, [](DeviceSelector& s) { s.vendorId ^= 1; }), 0},
      {"other product", with(kCtrl, [](DeviceSelector& s) { s.productId ^= 1; }), 0},
      {"usage not compared",
       with(Selector(0xFF1C, 0x7777), [](DeviceSelector& s) { s.matchMask = 0x7; }), 1},
      {"ids only", with(Selector(0, 0), [](DeviceSelector& s) { s.matchMask = 0x3; }), 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(api.RequestGetDeviceCount(&c.selector, 0, 0, 0, 0), c.count) << c.what;
    std::uint32_t unit = 0;
    EXPECT_EQ(api.RequestAsyncRead(&c.selector, &Recorder::Callback, kTagCtrl, 0, &unit), c.count)
        << c.what;
    if (c.count == 1) {
      EXPECT_NE(unit, 0u);
      EXPECT_EQ(api.DeleteRequestFromUnitId(unit), 1) << c.what;
      EXPECT_EQ(api.DeleteRequestFromUnitId(unit), 0) << "deleted twice: " << c.what;
    }
  }
  // A write to an interface that is not there, or without data, is refused.
  const Report request = MakeRequest(0x01);
  const DeviceSelector nothing = Selector(0x0001, 0x0006);
  EXPECT_EQ(api.RequestWriteOne(&nothing, nullptr, 0, request.data(), 64, 0, nullptr), 0);
  EXPECT_EQ(api.RequestWriteOne(&kCons, nullptr, 0, request.data(), 64, 0, nullptr), 0);
  EXPECT_LT(api.RequestWriteOne(&kCtrl, nullptr, 0, nullptr, 64, 0, nullptr), 0);
  EXPECT_LT(api.RequestGetDeviceCount(nullptr, 0, 0, 0, 0), 0);
  EXPECT_EQ(api.End(), 1);
  EXPECT_EQ(api.End(), 0);
  // Without Init nothing is present.
  EXPECT_EQ(api.RequestGetDeviceCount(&kCtrl, 0, 0, 0, 0), 0);
  std::filesystem::remove(state);
}

using SimProtocol = SimFixture;

TEST_F(SimProtocol, ReplyRepeatsTheCommandWithStatusAndChecksum) {
  const auto reply = Exchange(MakeRequest(0x01));
  ASSERT_TRUE(reply);
  Report expected{};
  expected[0] = 0x04;
  expected[1] = 0x01;
  expected[3] = 0x01;
  EXPECT_EQ(*reply, expected);

  const auto settings = Exchange(MakeRequest(0x03, 0x2C, 0));
  ASSERT_TRUE(settings);
  EXPECT_THAT(std::vector<std::uint8_t>(settings->begin(), settings->begin() + 8),
              ElementsAre(0x04, (*settings)[1], (*settings)[2], 0x03, 0x2C, 0x00, 0x00, 0x00));
  unsigned sum = 0;
  for (std::size_t i = 3; i < 64; ++i) sum += (*settings)[i];
  EXPECT_EQ((*settings)[1] | ((*settings)[2] << 8), static_cast<int>(sum & 0xFFFF));
  // Factory settings: profile 0, 64 x 128 bytes of macro space, effects 1-18 and 20-23.
  EXPECT_EQ((*settings)[8 + 10], 0);
  EXPECT_EQ((*settings)[8 + 11], 64);
  std::vector<std::uint8_t> effects(settings->begin() + 8 + 12, settings->begin() + 8 + 44);
  std::vector<std::uint8_t> expectedEffects;
  for (int c = 1; c <= 23; ++c) {
    if (c != 19) expectedEffects.push_back(static_cast<std::uint8_t>(c));
  }
  expectedEffects.resize(32, 0);
  EXPECT_EQ(effects, expectedEffects);
}

TEST_F(SimProtocol, WritesLandInTheirAreaAndReadBack) {
  const std::vector<std::uint8_t> chunk{0x02, 0x02, 0x04, 0x05, 0x01, 0x00, 0xAA, 0xBB};
  struct Case {
    std::uint8_t write, read;
    std::uint16_t offset;
    const char* area;
  };
  const Case cases[] = {
      {0x06, 0x05, 42 * 3 + 1, "parameters"},
      {0x08, 0x07, 0x05F8, "keymaps"},  // last chunk of profile 2
      {0x0A, 0x09, 8192 - 8, "macro"},
      {0x11, 0x00, 512 * 3 + 3 * 126, "colours"},
  };
  for (const Case& c : cases) {
    const auto w =
        Exchange(MakeRequest(c.write, static_cast<std::uint8_t>(chunk.size()), c.offset, chunk));
    ASSERT_TRUE(w) << c.area;
    EXPECT_EQ((*w)[7], 0x00) << c.area;
    const std::string stored =
        Control("read " + std::string(c.area) + " " + std::to_string(c.offset) + " " +
                std::to_string(chunk.size()));
    EXPECT_EQ(FromHex(stored), chunk) << c.area;
    if (c.read != 0) {
      const auto r =
          Exchange(MakeRequest(c.read, static_cast<std::uint8_t>(chunk.size()), c.offset));
      ASSERT_TRUE(r) << c.area;
      EXPECT_EQ(std::vector<std::uint8_t>(r->begin() + 8, r->begin() + 8 + chunk.size()), chunk)
          << c.area;
    }
  }
}

TEST_F(SimProtocol, RefusedRequestsAnswer0xFEAndChangeNothing) {
  const std::vector<std::uint8_t> data(56, 0x5A);
  auto badChecksum = MakeRequest(0x08, 56, 0, data);
  badChecksum[1] ^= 0x01;
  auto badId = MakeRequest(0x08, 56, 0, data);
  badId[0] = 0x05;  // the checksum does not cover byte 0
  struct Case {
    const char* what;
    Report request;
    std::uint8_t status;
  };
  const Case cases[] = {
      {"wrong checksum", badChecksum, 0xFE},
      {"wrong report id", badId, 0xFE},
      {"length above 56", MakeRequest(0x0A, 57, 0, data), 0xFE},
      {"settings past the block", MakeRequest(0x04, 44, 1, data), 0xFE},
      {"current profile 4", MakeRequest(0x04, 11, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4}), 0xFE},
      {"parameters past the area", MakeRequest(0x06, 8, 248, data), 0xFE},
      {"parameter read outside", MakeRequest(0x05, 56, 252), 0xFE},
      {"key map chunk across profiles", MakeRequest(0x08, 56, 480, data), 0xFE},
      {"key map of profile 4", MakeRequest(0x08, 8, 0x0800, data), 0xFE},
      {"macro area past its end", MakeRequest(0x0A, 16, 8192 - 8, data), 0xFE},
      {"factory map past its end", MakeRequest(0x0F, 56, 480), 0xFE},
      {"key colours across profiles", MakeRequest(0x11, 54, 510, data), 0xFE},
      {"unknown command", MakeRequest(0x33), 0xFF},
  };
  const std::string before = Control("dump");
  for (const Case& c : cases) {
    const auto reply = Exchange(c.request);
    ASSERT_TRUE(reply) << c.what;
    EXPECT_EQ((*reply)[7], c.status) << c.what;
    EXPECT_EQ((*reply)[3], c.request[3]) << c.what;
  }
  EXPECT_EQ(Control("dump"), before);
}

TEST_F(SimProtocol, SettingsWriteChangesOnlyWhatTheHostOwns) {
  auto settings = Read("settings");
  settings[10] = 2;
  settings[11] = 3;     // macro space belongs to the hardware
  settings[12] = 0x63;  // offered effects belong to the firmware
  settings[5] = 0x77;
  const auto reply = Exchange(MakeRequest(0x04, 44, 0, settings));
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[7], 0x00);
  const auto after = Read("settings");
  EXPECT_EQ(after[10], 2);
  EXPECT_EQ(after[5], 0x77);
  EXPECT_EQ(after[11], 64);
  EXPECT_EQ(after[12], 1);
}

TEST_F(SimProtocol, ParameterWindowRunsPastTheLastRecordAsZeros) {
  // Profile records hold the default lighting; the host reads 56 bytes from
  // the start of every record, the last one included.
  const auto params = Read("parameters");
  ASSERT_EQ(params.size(), 252u);
  const std::uint8_t effects[6] = {1, 4, 8, 7, 1, 1};
  for (int r = 0; r < 6; ++r) {
    const std::vector<std::uint8_t> head(params.begin() + 42 * r, params.begin() + 42 * r + 8);
    EXPECT_THAT(head, ElementsAre(effects[r], 4, 2, 0x00, 0xFF, 0xFF, 0xFF, 0xFF)) << r;
  }
  const auto reply = Exchange(MakeRequest(0x05, 56, 210));
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[7], 0x00);
  EXPECT_TRUE(std::equal(params.begin() + 210, params.end(), reply->begin() + 8));
  EXPECT_TRUE(std::all_of(reply->begin() + 8 + 42, reply->end(), [](auto b) { return b == 0; }));
}

TEST_F(SimProtocol, FactoryKeyMapCoversBoardKeysAndGKeys) {
  std::vector<std::uint8_t> factory;
  for (std::uint16_t offset = 0; offset < 512; offset += 56) {
    const auto length = static_cast<std::uint8_t>(std::min(56, 512 - offset));
    const auto reply = Exchange(MakeRequest(0x0F, length, offset));
    ASSERT_TRUE(reply);
    ASSERT_EQ((*reply)[7], 0x00);
    factory.insert(factory.end(), reply->begin() + 8, reply->begin() + 8 + length);
  }
  ASSERT_EQ(factory.size(), 512u);
  std::set<int> usages, modifiers, gKeys;
  int empty = 0;
  for (int k = 0; k < 128; ++k) {
    const std::uint8_t type = factory[3 * k], b1 = factory[3 * k + 1], b2 = factory[3 * k + 2];
    if (type == 2 && b1 == 2) {
      EXPECT_TRUE(usages.insert(b2).second) << "usage twice: " << int(b2);
    } else if (type == 2 && b1 == 1) {
      EXPECT_EQ(b2 & (b2 - 1), 0) << "one modifier bit per key";
      EXPECT_TRUE(modifiers.insert(b2).second);
    } else if (type == 6 && b1 == 0xA2) {
      EXPECT_TRUE(gKeys.insert(b2).second);
    } else {
      EXPECT_EQ(type | b1 | b2, 0) << "position " << k;
      ++empty;
    }
  }
  EXPECT_EQ(usages.size() + modifiers.size(), 104u);
  EXPECT_EQ(modifiers.size(), 8u);
  EXPECT_EQ(gKeys, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
  EXPECT_EQ(empty, 128 - 104 - 18);
  // The host reads the map back to exactly the board keys and the G-key slots.
  std::multiset<int> decoded, expected;
  for (int k = 0; k < 128; ++k) {
    const KeyIndex key =
        KeyIndexFromDeviceRecord(KeyRecord{factory[3 * k], factory[3 * k + 1], factory[3 * k + 2]});
    if (key != 0) decoded.insert(key);
  }
  for (const BoardKey& board : BoardKeyList()) expected.insert(board.key);
  for (int n = 1; n <= 18; ++n) expected.insert(0x1FF + n);
  EXPECT_EQ(decoded, expected);
  // Every profile's key map starts as the factory map, device data included.
  const auto keyMaps = Read("keymaps");
  for (int p = 0; p < 4; ++p) {
    EXPECT_TRUE(std::equal(factory.begin(), factory.end(), keyMaps.begin() + 512 * p)) << p;
  }
}

}  // namespace
}  // namespace kst::simtest
