// The connection worker's reads ahead of the window's rebuild: the rebuild
// gets exactly what the keyboard holds, without asking it twice, and never
// anything a write or a reset has overtaken.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "device/DeviceProfileRebuild.h"
#include "device/MacroArea.h"
#include "mainwindow/KeyboardReadAhead.h"

namespace kst {
namespace {

using KeyMapBytes = std::array<std::uint8_t, kUploadKeyMapBytes>;

// A keyboard in memory that counts what it is asked.
class CountingKeyboard final : public UploadDevice {
 public:
  CountingKeyboard() {
    for (std::size_t p = 0; p < maps.size(); ++p) maps[p].fill(static_cast<std::uint8_t>(0x10 + p));
  }

  std::array<KeyMapBytes, 4> maps{};
  std::vector<std::uint8_t> macroArea = std::vector<std::uint8_t>(kMacroAreaHeaderBytes, 0);
  int profile = 1;
  int profileAsks = 0;
  std::array<int, 4> keyMapResults{1, 1, 1, 1};
  int macroResult = 1;
  int keyMapReads = 0;
  int macroReads = 0;
  int writes = 0;
  std::function<void(int profile)> duringKeyMapRead;

  KeyMapBytes FactoryKeyMap() const override { return {}; }
  std::uint32_t MacroCapacity() const override { return 1024; }
  int CurrentProfile() override {
    ++profileAsks;
    return profile;
  }
  int BeginUpdate() override { return Write(); }
  int EndUpdate() override { return Write(); }
  int WriteMacroArea(std::span<const std::uint8_t> area) override {
    macroArea.assign(area.begin(), area.end());
    return Write();
  }
  int ReadMacroArea(std::span<std::uint8_t> area) override {
    ++macroReads;
    if (macroResult != 1) return macroResult;
    std::fill(area.begin(), area.end(), 0);
    std::copy_n(macroArea.begin(), std::min(area.size(), macroArea.size()), area.begin());
    return 1;
  }
  int WriteParameters(std::span<const std::uint8_t>, std::uint16_t) override { return Write(); }
  int WriteKeyMap(std::span<const std::uint8_t, kUploadKeyMapBytes> keyMap, int p) override {
    std::copy(keyMap.begin(), keyMap.end(), maps[static_cast<std::size_t>(p)].begin());
    return Write();
  }
  int ReadKeyMap(std::span<std::uint8_t, kUploadKeyMapBytes> keyMap, int p) override {
    ++keyMapReads;
    if (p < 0 || p > 3) return -201;
    if (duringKeyMapRead) duringKeyMapRead(p);
    const int result = keyMapResults[static_cast<std::size_t>(p)];
    if (result == 1) std::copy(maps[p].begin(), maps[p].end(), keyMap.begin());
    return result;
  }

 private:
  int Write() {
    ++writes;
    return 1;
  }
};

// A macro area header with the magic, the given total length and no macros.
std::vector<std::uint8_t> MacroArea(std::uint16_t length) {
  std::vector<std::uint8_t> area(length, 0xEE);
  std::fill_n(area.begin(), kMacroAreaHeaderBytes, 0);
  area[kMacroAreaMagicOffset] = kMacroAreaMagic & 0xFF;
  area[kMacroAreaMagicOffset + 1] = kMacroAreaMagic >> 8;
  area[kMacroAreaLengthOffset] = static_cast<std::uint8_t>(length & 0xFF);
  area[kMacroAreaLengthOffset + 1] = static_cast<std::uint8_t>(length >> 8);
  return area;
}

TEST(ReadAheadDevice, TheRebuildGetsTheKeyboardsContentWithoutAskingTwice) {
  const struct {
    const char* name;
    std::vector<std::uint8_t> area;
    int liveMacroReads;  // the header, then the whole area when it has more
  } cases[] = {
      {"no macro area", std::vector<std::uint8_t>(kMacroAreaHeaderBytes, 0), 1},
      {"header only", MacroArea(kMacroAreaHeaderBytes), 1},
      {"area with data", MacroArea(90), 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CountingKeyboard keyboard;
    keyboard.macroArea = c.area;
    DeviceImages direct;
    ASSERT_EQ(ReadDeviceImages(keyboard, direct), 1);
    keyboard.keyMapReads = keyboard.macroReads = 0;

    ReadAheadDevice device(keyboard);
    device.ReadAhead();
    EXPECT_TRUE(device.HoldsReads());
    EXPECT_EQ(keyboard.keyMapReads, 4);
    EXPECT_EQ(keyboard.macroReads, c.liveMacroReads);

    DeviceImages served;
    ASSERT_EQ(ReadDeviceImages(device, served), 1);
    EXPECT_EQ(served.keyMaps, direct.keyMaps);
    EXPECT_EQ(served.macroArea, direct.macroArea);
    EXPECT_EQ(keyboard.keyMapReads, 4);
    EXPECT_EQ(keyboard.macroReads, c.liveMacroReads);

    device.Invalidate();
    EXPECT_FALSE(device.HoldsReads());
    ASSERT_EQ(ReadDeviceImages(device, served), 1);
    EXPECT_EQ(keyboard.keyMapReads, 8);
  }
}

TEST(ReadAheadDevice, AFailedReadIsAnsweredWithItsResultWithoutAskingAgain) {
  CountingKeyboard keyboard;
  keyboard.keyMapResults[2] = -2;  // no reply
  ReadAheadDevice device(keyboard);
  device.ReadAhead();
  EXPECT_EQ(keyboard.keyMapReads, 3);  // the rebuild stops at the failure

  DeviceImages images;
  EXPECT_EQ(ReadDeviceImages(device, images), 0);
  EXPECT_EQ(keyboard.keyMapReads, 3);

  CountingKeyboard refusing;
  refusing.macroResult = -102;
  ReadAheadDevice macroDevice(refusing);
  macroDevice.ReadAhead();
  std::array<std::uint8_t, kMacroAreaHeaderBytes> head{};
  EXPECT_EQ(macroDevice.ReadMacroArea(head), -102);
  EXPECT_EQ(refusing.macroReads, 1);
}

TEST(ReadAheadDevice, ReadsItDidNotMakeGoToTheKeyboard) {
  CountingKeyboard keyboard;
  ReadAheadDevice device(keyboard);
  device.ReadAhead();
  KeyMapBytes map{};
  EXPECT_EQ(device.ReadKeyMap(map, 4), -201);
  std::vector<std::uint8_t> longer(kMacroAreaHeaderBytes + 1);
  EXPECT_EQ(device.ReadMacroArea(longer), 1);
  EXPECT_EQ(keyboard.keyMapReads, 5);
  EXPECT_EQ(keyboard.macroReads, 2);
}

TEST(ReadAheadDevice, AKeyboardThatCannotTellItsProfileIsAskedOnce) {
  CountingKeyboard keyboard;
  keyboard.profile = -1;
  ReadAheadDevice device(keyboard);
  device.ReadAhead();
  EXPECT_EQ(keyboard.profileAsks, 1);
  EXPECT_EQ(keyboard.keyMapReads, 0);
  // The rebuild asks twice (before and inside the read of the images).
  EXPECT_EQ(device.CurrentProfile(), -1);
  DeviceImages images;
  EXPECT_EQ(ReadDeviceImages(device, images), 0);
  EXPECT_EQ(keyboard.profileAsks, 1);
  device.Invalidate();
  keyboard.profile = 2;
  EXPECT_EQ(device.CurrentProfile(), 2);
}

TEST(ReadAheadDevice, WritesAndResetsDropWhatWasRead) {
  const KeyMapBytes changed = [] {
    KeyMapBytes map{};
    map.fill(0x77);
    return map;
  }();
  const std::vector<std::uint8_t> area = MacroArea(40);
  const std::uint8_t parameters[4] = {1, 2, 3, 4};
  const struct {
    const char* name;
    std::function<void(ReadAheadDevice&)> change;
  } cases[] = {
      {"key map", [&](ReadAheadDevice& d) { d.WriteKeyMap(changed, 1); }},
      {"macro area", [&](ReadAheadDevice& d) { d.WriteMacroArea(area); }},
      {"parameters", [&](ReadAheadDevice& d) { d.WriteParameters(parameters, 0); }},
      {"begin update", [](ReadAheadDevice& d) { d.BeginUpdate(); }},
      {"end update", [](ReadAheadDevice& d) { d.EndUpdate(); }},
      {"keyboard reset", [](ReadAheadDevice& d) { d.Invalidate(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CountingKeyboard keyboard;
    ReadAheadDevice device(keyboard);
    device.ReadAhead();
    c.change(device);
    EXPECT_FALSE(device.HoldsReads());
    DeviceImages images;
    ASSERT_EQ(ReadDeviceImages(device, images), 1);
    EXPECT_EQ(images.keyMaps[1], keyboard.maps[1]);
    EXPECT_EQ(keyboard.keyMapReads, 8);
  }

  // A write while the worker is still reading: nothing it read is kept.
  CountingKeyboard keyboard;
  ReadAheadDevice device(keyboard);
  keyboard.duringKeyMapRead = [&](int p) {
    if (p == 2) device.WriteKeyMap(changed, 1);
  };
  device.ReadAhead();
  keyboard.duringKeyMapRead = nullptr;
  EXPECT_FALSE(device.HoldsReads());
  KeyMapBytes map{};
  ASSERT_EQ(device.ReadKeyMap(map, 1), 1);
  EXPECT_EQ(map, changed);
}

}  // namespace
}  // namespace kst
