#include "lighting/LightingRecord.h"

#include <algorithm>

namespace kst {

std::array<std::uint8_t, 3> RgbBytes(ColorRef colour) {
  return {static_cast<std::uint8_t>(colour & 0xFF), static_cast<std::uint8_t>(colour >> 8 & 0xFF),
          static_cast<std::uint8_t>(colour >> 16 & 0xFF)};
}

ColorRef ColourFromRgb(std::span<const std::uint8_t> rgb) {
  if (rgb.size() < 3) return 0;
  return MakeColorRef(rgb[0], rgb[1], rgb[2]);
}

EffectCode DefaultEffect(int profile) {
  constexpr std::array<EffectCode, kLightingProfileCount> kDefaults = {1, 4, 8, 7};
  return profile >= 0 && profile < kLightingProfileCount
             ? kDefaults[static_cast<std::size_t>(profile)]
             : EffectCode{1};
}

std::array<std::uint8_t, kDefaultRecordBytes> DefaultLightingRecord(int profile) {
  std::array<std::uint8_t, kDefaultRecordBytes> record{};
  record[kRecEffect] = DefaultEffect(profile);
  record[kRecBrightness] = 4;
  record[kRecSpeed] = 2;
  record[kRecDirection] = kDirectionRight;
  record[kRecMulticolour] = 0xFF;
  std::fill_n(record.begin() + kRecColour, 3, std::uint8_t{0xFF});
  return record;
}

bool DecodeLightingRecord(std::span<const std::uint8_t> record, LightingState& state) {
  if (record.size() < kLightingRecordBytes) return false;
  const auto flag = [&](std::size_t at) { return record[at] != 0; };
  const auto colour = [&](std::size_t at) { return ColourFromRgb(record.subspan(at, 3)); };
  state.effect = record[kRecEffect];
  state.brightness = std::min(record[kRecBrightness], kMaxBrightness);
  state.speed = std::min(record[kRecSpeed], kMaxSpeed);
  state.direction = record[kRecDirection] == kDirectionRight ? kDirectionRight : kDirectionLeft;
  state.multicolour = flag(kRecMulticolour);
  state.colour = colour(kRecColour);
  state.reportRate = std::min(record[kRecReportRate], kMaxReportRate);
  state.colourChoice =
      record[kRecColourChoice] <= kMaxColourChoice ? record[kRecColourChoice] : std::uint8_t{0};
  if (state.effect == 7 && record[kRecEffect7Flag] <= 1)
    state.effect7Flag = record[kRecEffect7Flag];
  if (record[kRecTrigger] <= 1) state.trigger = record[kRecTrigger];
  state.secondColour = colour(kRecSecondColour);
  state.secondFlag = flag(kRecSecondFlag);
  state.thirdColour = colour(kRecThirdColour);
  state.thirdFlag = flag(kRecThirdFlag);
  state.lockT = flag(kRecLockT);
  state.lockTilde = flag(kRecLockTilde);
  return true;
}

bool EncodeLightingRecord(const LightingState& state, std::span<std::uint8_t> record) {
  if (record.size() < kLightingRecordBytes) return false;
  const auto put = [&](std::size_t at, ColorRef colour) {
    const auto rgb = RgbBytes(colour);
    std::copy(rgb.begin(), rgb.end(), record.begin() + static_cast<std::ptrdiff_t>(at));
  };
  record[kRecEffect] = state.effect;
  record[kRecBrightness] = std::min(state.brightness, kMaxBrightness);
  record[kRecSpeed] = std::min(state.speed, kMaxSpeed);
  record[kRecDirection] = state.direction == kDirectionRight ? kDirectionRight : kDirectionLeft;
  record[kRecMulticolour] = state.multicolour ? 1 : 0;
  put(kRecColour, state.colour);
  put(kRecBaseColour, state.baseColour);
  record[kRecReportRate] = std::min(state.reportRate, kMaxReportRate);
  record[kRecColourChoice] =
      state.colourChoice <= kMaxColourChoice ? state.colourChoice : std::uint8_t{0};
  return true;
}

}  // namespace kst
