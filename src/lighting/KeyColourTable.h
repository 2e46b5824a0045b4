#pragma once

// Per-key colours of the custom effect: for each profile the 512-byte image
// of the keyboard's colour area (LED position n at bytes 3n..3n+2: red,
// green, blue) and, per LED position, the base flag: true when the key shows
// the custom effect's base colour and follows its changes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "lighting/LightingDevice.h"
#include "lighting/LightingRecord.h"

namespace kst {

inline constexpr int kLedPositionCount = 170;
// Positions 0-143 are the ones the keyboard lights.
inline constexpr int kSentLedPositions = 144;
inline constexpr int kKeyColourChunkPositions = 18;
inline constexpr std::size_t kKeyColourChunkBytes = 3 * kKeyColourChunkPositions;
static_assert(3 * kLedPositionCount <= kKeyColourAreaBytes);
static_assert(kSentLedPositions % kKeyColourChunkPositions == 0);
static_assert(kKeyColourChunkBytes <= kChunkDataBytes);

using KeyColourArea = std::array<std::uint8_t, kKeyColourAreaBytes>;

class KeyColourTable {
 public:
  // nullopt for a profile outside 0-3 or a position outside 0-169.
  std::optional<ColorRef> Colour(int profile, int led) const;
  std::optional<bool> BaseFlag(int profile, int led) const;
  // False, changing nothing, for a profile or position out of range.
  bool SetColour(int profile, int led, ColorRef colour);
  bool SetBaseFlag(int profile, int led, bool base);
  // The colour area image of profile (0-3; others give an empty span).
  std::span<const std::uint8_t> Area(int profile) const;

 private:
  static bool Valid(int profile, int led);

  std::array<KeyColourArea, kLightingProfileCount> colours_{};
  std::array<std::array<bool, kLedPositionCount>, kLightingProfileCount> baseFlags_{};
};

// Sends LED positions 0-143 of profile's colours as 8 WriteKeyColours of 54
// bytes (first positions 0, 18, ..., 126) between one BeginUpdate/EndUpdate
// pair, holding the keyboard. Gives 1, or the first failing command's result
// (every chunk is sent regardless); -202 without sending for a profile
// outside 0-3.
int UploadKeyColours(LightingDevice& device, const KeyColourTable& table, int profile);

}  // namespace kst
