#include "mainwindow/KeyboardReadAhead.h"

#include <algorithm>

#include "device/DeviceProfileRebuild.h"

namespace kst {

namespace {

constexpr int kReadOk = 1;

bool HeldProfile(int profile) { return profile >= 0 && profile < 4; }

}  // namespace

// Passes the rebuild's reads to the keyboard and notes each answer. A
// macro-area read that a successful earlier one already covers is answered
// from it: nothing can have changed the area between the two.
class ReadAheadDevice::Recorder final : public UploadDevice {
 public:
  Recorder(UploadDevice& keyboard, HeldReads& reads) : keyboard_(keyboard), reads_(reads) {}

  std::array<std::uint8_t, kUploadKeyMapBytes> FactoryKeyMap() const override {
    return keyboard_.FactoryKeyMap();
  }
  std::uint32_t MacroCapacity() const override { return keyboard_.MacroCapacity(); }
  int CurrentProfile() override {
    const int profile = keyboard_.CurrentProfile();
    if (!HeldProfile(profile)) reads_.unknownProfile = profile;
    return profile;
  }
  bool LockSequence() override { return keyboard_.LockSequence(); }
  void UnlockSequence() override { keyboard_.UnlockSequence(); }
  // The rebuild only reads; a write here would be a fault of the caller.
  int BeginUpdate() override { return 0; }
  int EndUpdate() override { return 0; }
  int WriteMacroArea(std::span<const std::uint8_t>) override { return 0; }
  int WriteParameters(std::span<const std::uint8_t>, std::uint16_t) override { return 0; }
  int WriteKeyMap(std::span<const std::uint8_t, kUploadKeyMapBytes>, int) override { return 0; }

  int ReadMacroArea(std::span<std::uint8_t> area) override {
    if (const HeldRead* held = FindMacroRead(reads_, area.size());
        held && held->result == kReadOk) {
      std::copy_n(held->bytes.begin(), area.size(), area.begin());
      return kReadOk;
    }
    HeldRead read;
    read.length = area.size();
    read.result = keyboard_.ReadMacroArea(area);
    if (read.result == kReadOk) read.bytes.assign(area.begin(), area.end());
    reads_.macroReads.push_back(std::move(read));
    return reads_.macroReads.back().result;
  }

  int ReadKeyMap(std::span<std::uint8_t, kUploadKeyMapBytes> keyMap, int profile) override {
    const int result = keyboard_.ReadKeyMap(keyMap, profile);
    if (HeldProfile(profile)) {
      HeldRead read;
      read.length = keyMap.size();
      read.result = result;
      if (result == kReadOk) read.bytes.assign(keyMap.begin(), keyMap.end());
      reads_.keyMaps[static_cast<std::size_t>(profile)] = std::move(read);
    }
    return result;
  }

 private:
  UploadDevice& keyboard_;
  HeldReads& reads_;
};

ReadAheadDevice::ReadAheadDevice(UploadDevice& keyboard) : keyboard_(keyboard) {}

void ReadAheadDevice::ReadAhead() {
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    DropHeld();
    generation = generation_;
  }
  HeldReads reads;
  Recorder recorder(keyboard_, reads);
  DeviceImages images;
  ReadDeviceImages(recorder, images);
  std::lock_guard lock(mutex_);
  if (generation_ == generation) held_ = std::move(reads);
}

void ReadAheadDevice::Invalidate() {
  std::lock_guard lock(mutex_);
  DropHeld();
}

void ReadAheadDevice::DropHeld() {
  ++generation_;
  held_ = HeldReads{};
}

bool ReadAheadDevice::HoldsReads() const {
  std::lock_guard lock(mutex_);
  return held_.unknownProfile || !held_.macroReads.empty() ||
         std::any_of(held_.keyMaps.begin(), held_.keyMaps.end(),
                     [](const auto& read) { return read.has_value(); });
}

const ReadAheadDevice::HeldRead* ReadAheadDevice::FindMacroRead(const HeldReads& reads,
                                                                std::size_t length) {
  for (const HeldRead& read : reads.macroReads) {
    if (read.result == kReadOk ? read.length >= length : read.length == length) return &read;
  }
  return nullptr;
}

std::array<std::uint8_t, kUploadKeyMapBytes> ReadAheadDevice::FactoryKeyMap() const {
  return keyboard_.FactoryKeyMap();
}

std::uint32_t ReadAheadDevice::MacroCapacity() const { return keyboard_.MacroCapacity(); }

int ReadAheadDevice::CurrentProfile() {
  {
    std::lock_guard lock(mutex_);
    if (held_.unknownProfile) return *held_.unknownProfile;
  }
  return keyboard_.CurrentProfile();
}

bool ReadAheadDevice::LockSequence() { return keyboard_.LockSequence(); }

void ReadAheadDevice::UnlockSequence() { keyboard_.UnlockSequence(); }

int ReadAheadDevice::ReadKeyMap(std::span<std::uint8_t, kUploadKeyMapBytes> keyMap, int profile) {
  if (HeldProfile(profile)) {
    std::lock_guard lock(mutex_);
    if (const auto& held = held_.keyMaps[static_cast<std::size_t>(profile)]) {
      if (held->result == kReadOk)
        std::copy(held->bytes.begin(), held->bytes.end(), keyMap.begin());
      return held->result;
    }
  }
  return keyboard_.ReadKeyMap(keyMap, profile);
}

int ReadAheadDevice::ReadMacroArea(std::span<std::uint8_t> area) {
  {
    std::lock_guard lock(mutex_);
    if (const HeldRead* held = FindMacroRead(held_, area.size())) {
      if (held->result == kReadOk) std::copy_n(held->bytes.begin(), area.size(), area.begin());
      return held->result;
    }
  }
  return keyboard_.ReadMacroArea(area);
}

template <typename Write>
int ReadAheadDevice::Written(Write write) {
  Invalidate();
  const int result = write();
  Invalidate();
  return result;
}

int ReadAheadDevice::BeginUpdate() {
  return Written([&] { return keyboard_.BeginUpdate(); });
}

int ReadAheadDevice::EndUpdate() {
  return Written([&] { return keyboard_.EndUpdate(); });
}

int ReadAheadDevice::WriteMacroArea(std::span<const std::uint8_t> area) {
  return Written([&] { return keyboard_.WriteMacroArea(area); });
}

int ReadAheadDevice::WriteParameters(std::span<const std::uint8_t> data, std::uint16_t offset) {
  return Written([&] { return keyboard_.WriteParameters(data, offset); });
}

int ReadAheadDevice::WriteKeyMap(std::span<const std::uint8_t, kUploadKeyMapBytes> keyMap,
                                 int profile) {
  return Written([&] { return keyboard_.WriteKeyMap(keyMap, profile); });
}

}  // namespace kst
