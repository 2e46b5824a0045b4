#pragma once

// The keyboard as the configuration upload and the rebuild from the keyboard
// see it: the command operations they use and the state the device link keeps
// from each connection (factory key map, macro space). Every command gives the
// command protocol's result (1 success, 0 no keyboard, negatives for
// failures). LinkUploadDevice is the keyboard behind the device link.
//
// A command sequence (the upload's begin-update ... end-update, the rebuild's
// reads) holds the device through a SequenceHold, so that it reaches the
// keyboard whole (see CommandSequencer).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/CommandProtocol.h"

namespace kst {

class DeviceLink;

inline constexpr std::size_t kUploadKeyMapBytes = 512;

class UploadDevice : public CommandSequencer {
 public:
  ~UploadDevice() override = default;

  // The factory key map read at the last connection (zero before any).
  virtual std::array<std::uint8_t, kUploadKeyMapBytes> FactoryKeyMap() const = 0;
  // Bytes the keyboard offers for the macro area (0 before any connection).
  virtual std::uint32_t MacroCapacity() const = 0;
  // The keyboard's current profile, -1 when unknown and unreadable.
  virtual int CurrentProfile() = 0;

  virtual int BeginUpdate() = 0;
  virtual int EndUpdate() = 0;
  // The macro area from its start.
  virtual int WriteMacroArea(std::span<const std::uint8_t> area) = 0;
  virtual int ReadMacroArea(std::span<std::uint8_t> area) = 0;
  // At most 56 bytes at offset of the parameter area.
  virtual int WriteParameters(std::span<const std::uint8_t> data, std::uint16_t offset) = 0;
  // Profiles 0-3.
  virtual int WriteKeyMap(std::span<const std::uint8_t, kUploadKeyMapBytes> keyMap,
                          int profile) = 0;
  virtual int ReadKeyMap(std::span<std::uint8_t, kUploadKeyMapBytes> keyMap, int profile) = 0;
};

class LinkUploadDevice final : public UploadDevice {
 public:
  // link must outlive this object.
  explicit LinkUploadDevice(DeviceLink& link);

  std::array<std::uint8_t, kUploadKeyMapBytes> FactoryKeyMap() const override;
  std::uint32_t MacroCapacity() const override;
  int CurrentProfile() override;
  bool LockSequence() override;
  void UnlockSequence() override;
  int BeginUpdate() override;
  int EndUpdate() override;
  int WriteMacroArea(std::span<const std::uint8_t> area) override;
  int ReadMacroArea(std::span<std::uint8_t> area) override;
  int WriteParameters(std::span<const std::uint8_t> data, std::uint16_t offset) override;
  int WriteKeyMap(std::span<const std::uint8_t, kUploadKeyMapBytes> keyMap, int profile) override;
  int ReadKeyMap(std::span<std::uint8_t, kUploadKeyMapBytes> keyMap, int profile) override;

 private:
  DeviceLink& link_;
};

}  // namespace kst
