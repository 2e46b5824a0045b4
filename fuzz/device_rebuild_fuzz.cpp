// Feeds what a keyboard could return to the rebuild from the keyboard: the
// settings block, the factory key map, the four key maps and the macro
// memory, read through the same UploadDevice calls the program makes. Whatever
// the bytes, nothing is read outside a buffer, and an accepted rebuild is a
// profile file image that the store's own check finds valid.
//
// Input layout (missing bytes read as zero):
//   0     44    settings block (byte 10 current profile, byte 11 macro space / 128)
//   44    512   factory key map
//   556   2048  key maps of profiles 0-3
//   2604  ...   macro memory from its start (padded with zeros to the macro space)

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "device/DeviceProfileRebuild.h"
#include "device/KeyMap.h"
#include "device/UploadDevice.h"
#include "store/ProfileFiles.h"

namespace {

constexpr std::size_t kSettingsBytes = 44;
constexpr std::size_t kFactoryAt = kSettingsBytes;
constexpr std::size_t kKeyMapsAt = kFactoryAt + kst::kKeyMapBytes;
constexpr std::size_t kMacroAt = kKeyMapsAt + 4 * kst::kKeyMapBytes;
static_assert(kMacroAt == 2604);
constexpr int kStatusFE = -103;

void Require(bool condition) {
  if (!condition) std::abort();
}

// A keyboard whose memory is the fuzz input. Reads outside its memory are
// refused as the keyboard refuses them (status 0xFE).
class FuzzKeyboard final : public kst::UploadDevice {
 public:
  explicit FuzzKeyboard(std::span<const std::uint8_t> input) {
    auto take = [&](std::size_t at, std::size_t n) {
      std::vector<std::uint8_t> out(n, 0);
      if (at < input.size()) {
        const std::size_t have = std::min(n, input.size() - at);
        std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(at), have, out.begin());
      }
      return out;
    };
    settings_ = take(0, kSettingsBytes);
    const auto factory = take(kFactoryAt, kst::kKeyMapBytes);
    std::copy(factory.begin(), factory.end(), factory_.begin());
    keyMaps_ = take(kKeyMapsAt, 4 * kst::kKeyMapBytes);
    macro_ = take(kMacroAt, MacroCapacity());
  }

  std::array<std::uint8_t, kst::kUploadKeyMapBytes> FactoryKeyMap() const override {
    return factory_;
  }
  std::uint32_t MacroCapacity() const override { return settings_[11] * 128u; }
  int CurrentProfile() override { return settings_[10]; }
  int BeginUpdate() override { return 1; }
  int EndUpdate() override { return 1; }
  int WriteMacroArea(std::span<const std::uint8_t>) override { return kStatusFE; }
  int WriteParameters(std::span<const std::uint8_t>, std::uint16_t) override { return kStatusFE; }
  int WriteKeyMap(std::span<const std::uint8_t, kst::kUploadKeyMapBytes>, int) override {
    return kStatusFE;
  }
  int ReadMacroArea(std::span<std::uint8_t> area) override {
    if (area.size() > macro_.size()) return kStatusFE;
    std::copy_n(macro_.begin(), area.size(), area.begin());
    return 1;
  }
  int ReadKeyMap(std::span<std::uint8_t, kst::kUploadKeyMapBytes> keyMap, int profile) override {
    if (profile < 0 || profile > 3) return -201;
    std::copy_n(keyMaps_.begin() + profile * 512, 512, keyMap.begin());
    return 1;
  }

 private:
  std::vector<std::uint8_t> settings_;
  std::array<std::uint8_t, kst::kUploadKeyMapBytes> factory_{};
  std::vector<std::uint8_t> keyMaps_;
  std::vector<std::uint8_t> macro_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  FuzzKeyboard keyboard(input);

  // Every key map alone, over the factory map, decodes into in-range entries.
  const auto factory = keyboard.FactoryKeyMap();
  for (int p = 0; p < 4; ++p) {
    std::array<std::uint8_t, kst::kKeyMapBytes> map{};
    Require(keyboard.ReadKeyMap(map, p) == 1);
    std::array<kst::KeyAssignment, kst::kSlotsPerProfile> entries;
    kst::DecodeKeyMap(map, factory, entries);
    for (const kst::KeyAssignment& e : entries) Require(e.kind <= 8);
  }

  kst::DeviceImages images;
  const int read = kst::ReadDeviceImages(keyboard, images);
  if (read != 1) return 0;
  Require(images.macroArea.size() <= keyboard.MacroCapacity());
  std::vector<std::uint8_t> image;
  if (kst::BuildProfileImageFromDevice(images, u"Macro ", image) != 1) {
    Require(image.empty());
    return 0;
  }
  Require(kst::CheckProfileImage(image) == kst::ProfileImageStatus::Valid);
  const auto content = kst::DecodeProfileImage(image);
  Require(content.has_value());
  return 0;
}
