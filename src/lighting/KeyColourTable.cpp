#include "lighting/KeyColourTable.h"

#include <algorithm>

namespace kst {

bool KeyColourTable::Valid(int profile, int led) {
  return profile >= 0 && profile < kLightingProfileCount && led >= 0 && led < kLedPositionCount;
}

std::optional<ColorRef> KeyColourTable::Colour(int profile, int led) const {
  if (!Valid(profile, led)) return std::nullopt;
  return ColourFromRgb(std::span(colours_[static_cast<std::size_t>(profile)])
                           .subspan(3 * static_cast<std::size_t>(led), 3));
}

std::optional<bool> KeyColourTable::BaseFlag(int profile, int led) const {
  if (!Valid(profile, led)) return std::nullopt;
  return baseFlags_[static_cast<std::size_t>(profile)][static_cast<std::size_t>(led)];
}

bool KeyColourTable::SetColour(int profile, int led, ColorRef colour) {
  if (!Valid(profile, led)) return false;
  const auto rgb = RgbBytes(colour);
  std::copy(
      rgb.begin(), rgb.end(),
      colours_[static_cast<std::size_t>(profile)].begin() + 3 * static_cast<std::ptrdiff_t>(led));
  return true;
}

bool KeyColourTable::SetBaseFlag(int profile, int led, bool base) {
  if (!Valid(profile, led)) return false;
  baseFlags_[static_cast<std::size_t>(profile)][static_cast<std::size_t>(led)] = base;
  return true;
}

std::span<const std::uint8_t> KeyColourTable::Area(int profile) const {
  if (profile < 0 || profile >= kLightingProfileCount) return {};
  return colours_[static_cast<std::size_t>(profile)];
}

int UploadKeyColours(LightingDevice& device, const KeyColourTable& table, int profile) {
  const auto area = table.Area(profile);
  if (area.empty()) return kDeviceBadArgument;
  const SequenceHold hold(device);
  if (!hold.Held()) return kDeviceNothing;
  int result = device.BeginUpdate();
  const auto note = [&](int r) {
    if (result == kDeviceOk) result = r;
  };
  for (int first = 0; first < kSentLedPositions; first += kKeyColourChunkPositions) {
    note(device.WriteKeyColours(
        area.subspan(3 * static_cast<std::size_t>(first), kKeyColourChunkBytes), first, profile));
  }
  note(device.EndUpdate());
  return result;
}

}  // namespace kst
