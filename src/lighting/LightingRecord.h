#pragma once

// The keyboard's per-profile lighting record (42 bytes in its parameter area)
// and the working copy of the active profile's lighting.
//
// Colours are COLORREF values in memory (red bits 0-7, green 8-15, blue
// 16-23) and three bytes red, green, blue in the record.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/CommandProtocol.h"

namespace kst {

using ColorRef = std::uint32_t;
using EffectCode = std::uint8_t;

inline constexpr std::size_t kLightingRecordBytes = 42;
inline constexpr std::size_t kLightingRecordCount = 6;
static_assert(kLightingRecordBytes == kParameterRecordBytes);

// Offsets within a record.
inline constexpr std::size_t kRecEffect = 0;
inline constexpr std::size_t kRecBrightness = 1;
inline constexpr std::size_t kRecSpeed = 2;
inline constexpr std::size_t kRecDirection = 3;
inline constexpr std::size_t kRecMulticolour = 4;
inline constexpr std::size_t kRecColour = 5;  // red, green, blue
inline constexpr std::size_t kRecBaseColour = 9;
inline constexpr std::size_t kRecReportRate = 15;
inline constexpr std::size_t kRecColourChoice = 17;
inline constexpr std::size_t kRecEffect7Flag = 18;
inline constexpr std::size_t kRecTrigger = 19;
// Bytes 18-23, cleared by the default button.
inline constexpr std::size_t kKeyDefaultBytes = 6;
inline constexpr std::size_t kRecSecondColour = 25;
inline constexpr std::size_t kRecSecondFlag = 28;
inline constexpr std::size_t kRecLockT = 29;
inline constexpr std::size_t kRecLockTilde = 30;
inline constexpr std::size_t kRecThirdColour = 31;
inline constexpr std::size_t kRecThirdFlag = 34;
// The default record covers bytes 0-34; bytes 35-41 are never written.
inline constexpr std::size_t kDefaultRecordBytes = 35;
static_assert(kRecColour + 3 < kRecBaseColour);
static_assert(kRecThirdFlag + 1 == kDefaultRecordBytes);
static_assert(kDefaultRecordBytes <= kLightingRecordBytes);
static_assert(kDefaultRecordBytes <= kChunkDataBytes);

inline constexpr std::uint8_t kMaxBrightness = 4;
inline constexpr std::uint8_t kMaxSpeed = 4;
inline constexpr std::uint8_t kMaxReportRate = 3;
inline constexpr std::uint8_t kMaxColourChoice = 3;
inline constexpr std::uint8_t kDirectionLeft = 0xFF;   // left, up or spread
inline constexpr std::uint8_t kDirectionRight = 0x00;  // right, down or gather
inline constexpr EffectCode kCustomEffect = 20;
inline constexpr int kLightingProfileCount = 4;

constexpr ColorRef MakeColorRef(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<ColorRef>(red) | static_cast<ColorRef>(green) << 8 |
         static_cast<ColorRef>(blue) << 16;
}
inline constexpr ColorRef kWhite = 0xFFFFFF;

// Red, green, blue of a COLORREF; bits 24-31 are ignored.
std::array<std::uint8_t, 3> RgbBytes(ColorRef colour);
// The colour at rgb[0..2]; rgb must hold at least three bytes.
ColorRef ColourFromRgb(std::span<const std::uint8_t> rgb);

// Offset of profile's record in the parameter area; profile 0-5.
constexpr std::uint16_t LightingRecordOffset(int profile) {
  return static_cast<std::uint16_t>(profile * static_cast<int>(kLightingRecordBytes));
}

// The effect a profile starts with: profile 0: 1, 1: 4, 2: 8, 3: 7; any
// other number: 1.
EffectCode DefaultEffect(int profile);
// Bytes 0-34 of profile's record after a reset.
std::array<std::uint8_t, kDefaultRecordBytes> DefaultLightingRecord(int profile);

// The working copy of the active profile's lighting (one for the program).
struct LightingState {
  struct EffectEntry {
    int listIndex = 0;
    EffectCode code = 0;
    bool operator==(const EffectEntry&) const = default;
  };

  EffectCode effect = 0;
  std::uint8_t brightness = 0;  // 0-4
  std::uint8_t speed = 0;       // 0-4
  std::uint8_t direction = kDirectionRight;
  bool multicolour = false;
  ColorRef colour = 0;
  std::uint8_t colourChoice = 0;  // 0 red, 1 yellow, 2 green, 3 blue
  std::uint8_t reportRate = 0;    // 0-3
  std::uint8_t effect7Flag = 0;
  std::uint8_t trigger = 0;
  ColorRef secondColour = 0;
  bool secondFlag = false;
  ColorRef thirdColour = 0;
  bool thirdFlag = false;
  bool lockT = false;
  bool lockTilde = false;
  int activeProfile = 0;  // 0-3
  // The codes the keyboard offers, in its order, empty slots skipped.
  std::array<EffectEntry, kSettingsEffectCount> effectList{};
  int effectCount = 0;
  int tool = 0;  // custom effect: 0 paints paintColour, 1 paints baseColour
  ColorRef baseColour = 0;
  ColorRef paintColour = 0;
  int userMode = 0;
  bool editMode = false;

  std::span<const EffectEntry> Effects() const {
    return std::span(effectList).first(static_cast<std::size_t>(effectCount));
  }
};

// Takes the record's fields into state the way a reload reads them. Values
// out of range are clamped (brightness and speed to 4, report rate to 3, a
// direction other than 0 counts as 0xFF) or replaced (a colour choice above
// 3 counts as 0); effect7Flag and trigger change only when the record holds
// 0 or 1 (effect7Flag only for effect 7). Gives false, and leaves state
// alone, when record is shorter than 42 bytes.
bool DecodeLightingRecord(std::span<const std::uint8_t> record, LightingState& state);

// Writes the fields the lighting code owns (bytes 0-7, 9-11, 15 and 17) from
// state into record, clamped as DecodeLightingRecord reads them; every other
// byte is kept. Gives false, writing nothing, when record is shorter than 42
// bytes.
bool EncodeLightingRecord(const LightingState& state, std::span<std::uint8_t> record);

}  // namespace kst
