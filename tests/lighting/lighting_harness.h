#pragma once
// Lighting tests against the simulated keyboard: a device link bound to it,
// and a lighting device that records every command it passes on.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "device/link_harness.h"
#include "lighting/LightingDevice.h"
#include "lighting/LightingRecord.h"

namespace kst::lightingtest {

using Bytes = std::vector<std::uint8_t>;

// Passes every command to the keyboard and records it as one line:
// "begin", "end", "write <offset>: <hex>", "read <offset>"; and whether each
// command ran inside a held sequence.
class RecordingDevice : public LightingDevice {
 public:
  explicit RecordingDevice(LightingDevice& inner) : inner_(inner) {}
  std::vector<std::string> log;
  bool unheldCommand = false;

  bool LockSequence() override {
    ++holds_;
    return inner_.LockSequence();
  }
  void UnlockSequence() override {
    --holds_;
    inner_.UnlockSequence();
  }
  int BeginUpdate() override {
    Add("begin");
    return inner_.BeginUpdate();
  }
  int EndUpdate() override {
    Add("end");
    return inner_.EndUpdate();
  }
  int ReadSettings(std::span<std::uint8_t, kSettingsBlockBytes> settings) override {
    Add("settings");
    return inner_.ReadSettings(settings);
  }
  int ReadParameters(std::span<std::uint8_t, kChunkDataBytes> buffer, std::uint8_t length,
                     std::uint16_t offset) override {
    Add("read " + std::to_string(offset));
    return inner_.ReadParameters(buffer, length, offset);
  }
  int WriteParameters(std::span<const std::uint8_t> data, std::uint16_t offset) override {
    std::string line = "write " + std::to_string(offset) + ":";
    for (const auto b : data) {
      char hex[4];
      std::snprintf(hex, sizeof hex, " %02X", b);
      line += hex;
    }
    Add(line);
    return inner_.WriteParameters(data, offset);
  }
  int WriteKeyColours(std::span<const std::uint8_t> data, int firstPosition,
                      int lightingProfile) override {
    Add("colours " + std::to_string(firstPosition));
    return inner_.WriteKeyColours(data, firstPosition, lightingProfile);
  }

 private:
  void Add(std::string line) {
    if (holds_ <= 0) unheldCommand = true;
    log.push_back(std::move(line));
  }
  LightingDevice& inner_;
  int holds_ = 0;
};

// The simulated keyboard behind a device link, seen through a recording
// lighting device.
class LightingSimFixture : public linktest::LinkFixture {
 protected:
  std::unique_ptr<LinkLightingDevice> linkDevice;
  std::unique_ptr<RecordingDevice> device;
  LightingState state;

  void SetUp() override {
    LinkFixture::SetUp();
    ASSERT_EQ(Arm(), 1);
    linkDevice = std::make_unique<LinkLightingDevice>(*link);
    device = std::make_unique<RecordingDevice>(*linkDevice);
  }
  void Poke(std::size_t offset, const std::string& hex) {
    Sim("write parameters " + std::to_string(offset) + " " + hex);
  }
  Bytes Parameters() { return SimRead("parameters"); }
  // Red, green, blue of LED position led in profile's colour area.
  Bytes KeyboardColour(int profile, int led) {
    const Bytes area = SimRead("colours");
    const auto at = static_cast<std::size_t>(profile * 512 + 3 * led);
    return Bytes(area.begin() + at, area.begin() + at + 3);
  }
};

}  // namespace kst::lightingtest
