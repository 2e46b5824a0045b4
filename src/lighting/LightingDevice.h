#pragma once

// The keyboard as the lighting sees it: the command operations of a lighting
// change or reload. Every command gives the command protocol's result (1
// success, 0 no keyboard, negatives for failures). A begin-update ...
// end-update group, and the reads of a reload, hold the keyboard through a
// SequenceHold so that they reach it whole.

#include <cstdint>
#include <span>

#include "device/CommandProtocol.h"

namespace kst {

class LightingDevice : public CommandSequencer {
 public:
  ~LightingDevice() override = default;

  virtual int BeginUpdate() = 0;
  virtual int EndUpdate() = 0;
  virtual int ReadSettings(std::span<std::uint8_t, kSettingsBlockBytes> settings) = 0;
  // Asks for length bytes (at most 56) at offset of the parameter area; the
  // 56 reply data bytes land in buffer on success.
  virtual int ReadParameters(std::span<std::uint8_t, kChunkDataBytes> buffer, std::uint8_t length,
                             std::uint16_t offset) = 0;
  // At most 56 bytes at offset of the parameter area.
  virtual int WriteParameters(std::span<const std::uint8_t> data, std::uint16_t offset) = 0;
  // Three bytes per LED position from firstPosition on, in the colour area
  // of lightingProfile (0-3); at most 56 bytes.
  virtual int WriteKeyColours(std::span<const std::uint8_t> data, int firstPosition,
                              int lightingProfile) = 0;
};

// The keyboard behind a report exchanger (the device link).
class LinkLightingDevice final : public LightingDevice {
 public:
  // link must outlive this object.
  explicit LinkLightingDevice(ReportExchanger& link) : link_(link) {}

  bool LockSequence() override { return link_.LockSequence(); }
  void UnlockSequence() override { link_.UnlockSequence(); }
  int BeginUpdate() override { return kst::BeginUpdate(link_); }
  int EndUpdate() override { return kst::EndUpdate(link_); }
  int ReadSettings(std::span<std::uint8_t, kSettingsBlockBytes> settings) override {
    return kst::ReadSettings(link_, settings);
  }
  int ReadParameters(std::span<std::uint8_t, kChunkDataBytes> buffer, std::uint8_t length,
                     std::uint16_t offset) override {
    return kst::ReadParameters(link_, buffer, length, offset);
  }
  int WriteParameters(std::span<const std::uint8_t> data, std::uint16_t offset) override {
    return kst::WriteParameters(link_, data, offset);
  }
  int WriteKeyColours(std::span<const std::uint8_t> data, int firstPosition,
                      int lightingProfile) override {
    return kst::WriteKeyColours(link_, data, firstPosition, lightingProfile);
  }

 private:
  ReportExchanger& link_;
};

}  // namespace kst
