#include "device/UploadDevice.h"

#include "device/DeviceLink.h"

namespace kst {

static_assert(kUploadKeyMapBytes == kDeviceKeyMapBytes);

LinkUploadDevice::LinkUploadDevice(DeviceLink& link) : link_(link) {}

std::array<std::uint8_t, kUploadKeyMapBytes> LinkUploadDevice::FactoryKeyMap() const {
  return link_.FactoryKeyMap();
}

std::uint32_t LinkUploadDevice::MacroCapacity() const { return link_.DeviceMacroCapacity(); }

int LinkUploadDevice::CurrentProfile() { return GetCurrentProfile(link_); }

bool LinkUploadDevice::LockSequence() { return link_.LockSequence(); }

void LinkUploadDevice::UnlockSequence() { link_.UnlockSequence(); }

int LinkUploadDevice::BeginUpdate() { return kst::BeginUpdate(link_); }

int LinkUploadDevice::EndUpdate() { return kst::EndUpdate(link_); }

int LinkUploadDevice::WriteMacroArea(std::span<const std::uint8_t> area) {
  return kst::WriteMacroArea(link_, area);
}

int LinkUploadDevice::ReadMacroArea(std::span<std::uint8_t> area) {
  return kst::ReadMacroArea(link_, area);
}

int LinkUploadDevice::WriteParameters(std::span<const std::uint8_t> data, std::uint16_t offset) {
  return kst::WriteParameters(link_, data, offset);
}

int LinkUploadDevice::WriteKeyMap(std::span<const std::uint8_t, kUploadKeyMapBytes> keyMap,
                                  int profile) {
  return kst::WriteKeyMap(link_, keyMap, profile);
}

int LinkUploadDevice::ReadKeyMap(std::span<std::uint8_t, kUploadKeyMapBytes> keyMap, int profile) {
  return kst::ReadKeyMap(link_, keyMap, profile);
}

}  // namespace kst
