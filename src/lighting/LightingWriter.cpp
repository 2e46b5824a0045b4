#include "lighting/LightingWriter.h"

#include <algorithm>
#include <array>

namespace kst {

bool EffectWritesMulticolour(EffectCode code) {
  switch (code) {
    case 1:
    case 2:
    case 3:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 13:
    case 14:
    case 15:
    case 21:
      return true;
    default:
      return false;
  }
}

int ReadLightingRecords(LightingDevice& device, LightingRecords& records,
                        std::array<bool, kLightingRecordCount>* read) {
  if (read) read->fill(false);
  const SequenceHold hold(device);
  if (!hold.Held()) return kDeviceNothing;
  int result = device.BeginUpdate();
  for (std::size_t r = 0; r < kLightingRecordCount; ++r) {
    std::array<std::uint8_t, kChunkDataBytes> reply{};
    const int got =
        device.ReadParameters(reply, kChunkDataBytes, LightingRecordOffset(static_cast<int>(r)));
    if (got == kDeviceOk) {
      std::copy_n(reply.begin(), kLightingRecordBytes, records[r].begin());
      if (read) (*read)[r] = true;
    } else if (result == kDeviceOk) {
      result = got;
    }
  }
  const int end = device.EndUpdate();
  return result == kDeviceOk ? end : result;
}

bool LightingWriter::ActiveProfileValid() const {
  return state_.activeProfile >= 0 && state_.activeProfile < kLightingProfileCount;
}

int LightingWriter::WriteFields(int profile, std::span<const Field> fields) {
  const SequenceHold hold(device_);
  if (!hold.Held()) return kDeviceNothing;
  int result = device_.BeginUpdate();
  const auto note = [&](int r) {
    if (result == kDeviceOk) result = r;
  };
  for (const Field& field : fields) {
    note(device_.WriteParameters(
        field.bytes, static_cast<std::uint16_t>(LightingRecordOffset(profile) + field.offset)));
  }
  note(device_.EndUpdate());
  return result;
}

int LightingWriter::WriteByte(std::size_t offset, std::uint8_t value) {
  const std::array<std::uint8_t, 1> bytes = {value};
  const std::array<Field, 1> fields = {Field{offset, bytes}};
  return WriteFields(state_.activeProfile, fields);
}

int LightingWriter::SelectEffect(int listIndex) {
  if (!ActiveProfileValid() || listIndex < 0 || listIndex >= state_.effectCount) {
    return kDeviceBadArgument;
  }
  const EffectCode code = state_.effectList[static_cast<std::size_t>(listIndex)].code;
  state_.effect = code;
  if (!IsKnownEffect(code)) return kDeviceNothing;
  const std::array<std::uint8_t, 1> effect = {code};
  const std::array<std::uint8_t, 1> multicolour = {
      static_cast<std::uint8_t>(state_.multicolour ? 1 : 0)};
  const std::array<Field, 2> fields = {Field{kRecEffect, effect},
                                       Field{kRecMulticolour, multicolour}};
  return WriteFields(state_.activeProfile,
                     std::span(fields).first(EffectWritesMulticolour(code) ? 2 : 1));
}

int LightingWriter::SetBrightness(int brightness) {
  if (!ActiveProfileValid() || brightness < 0 || brightness > kMaxBrightness) {
    return kDeviceBadArgument;
  }
  if (brightness == state_.brightness) return kDeviceNothing;
  state_.brightness = static_cast<std::uint8_t>(brightness);
  return WriteByte(kRecBrightness, state_.brightness);
}

int LightingWriter::SetSpeed(int speed) {
  if (!ActiveProfileValid() || speed < 0 || speed > kMaxSpeed) return kDeviceBadArgument;
  if (speed == state_.speed) return kDeviceNothing;
  state_.speed = static_cast<std::uint8_t>(speed);
  return WriteByte(kRecSpeed, state_.speed);
}

int LightingWriter::SetDirection(int direction) {
  if (!ActiveProfileValid() || (direction != kDirectionLeft && direction != kDirectionRight)) {
    return kDeviceBadArgument;
  }
  state_.direction = static_cast<std::uint8_t>(direction);
  return WriteByte(kRecDirection, state_.direction);
}

int LightingWriter::SetColour(ColorRef colour) {
  if (!ActiveProfileValid()) return kDeviceBadArgument;
  const auto rgb = RgbBytes(colour);
  state_.colour = ColourFromRgb(rgb);
  state_.multicolour = false;
  const std::array<std::uint8_t, 1> single = {0};
  const std::array<Field, 2> fields = {Field{kRecMulticolour, single}, Field{kRecColour, rgb}};
  return WriteFields(state_.activeProfile, fields);
}

int LightingWriter::ToggleMulticolour() {
  if (!ActiveProfileValid()) return kDeviceBadArgument;
  state_.multicolour = !state_.multicolour;
  return WriteByte(kRecMulticolour, static_cast<std::uint8_t>(state_.multicolour ? 1 : 0));
}

int LightingWriter::SetColourChoice(int choice) {
  if (!ActiveProfileValid() || choice < 0 || choice > kMaxColourChoice) return kDeviceBadArgument;
  state_.colourChoice = static_cast<std::uint8_t>(choice);
  return WriteByte(kRecColourChoice, state_.colourChoice);
}

int LightingWriter::SetReportRate(int rate) {
  if (!ActiveProfileValid() || rate < 0 || rate > kMaxReportRate) return kDeviceBadArgument;
  state_.reportRate = static_cast<std::uint8_t>(rate);
  return WriteByte(kRecReportRate, state_.reportRate);
}

int LightingWriter::WriteBaseColour(ColorRef colour) {
  if (!ActiveProfileValid()) return kDeviceBadArgument;
  const auto rgb = RgbBytes(colour);
  const std::array<Field, 1> fields = {Field{kRecBaseColour, rgb}};
  return WriteFields(state_.activeProfile, fields);
}

int LightingWriter::ClearKeyDefaultBytes() {
  if (!ActiveProfileValid()) return kDeviceBadArgument;
  static constexpr std::array<std::uint8_t, kKeyDefaultBytes> kZeros{};
  const std::array<Field, 1> fields = {Field{kRecEffect7Flag, kZeros}};
  if (state_.effect == 7) state_.effect7Flag = 0;
  state_.trigger = 0;
  return WriteFields(state_.activeProfile, fields);
}

int LightingWriter::ResetProfileRecord(int profile) {
  if (profile < 0 || profile >= kLightingProfileCount) return kDeviceBadArgument;
  if (profile == state_.activeProfile) {
    state_.effect = DefaultEffect(profile);
    state_.brightness = 4;
    state_.speed = 2;
    state_.direction = kDirectionRight;
    state_.multicolour = true;
    state_.colour = kWhite;
    state_.effect7Flag = 1;
    state_.secondFlag = true;
    state_.thirdFlag = true;
    state_.secondColour = kWhite;
    state_.thirdColour = kWhite;
    state_.reportRate = 0;
  }
  const auto record = DefaultLightingRecord(profile);
  const std::array<Field, 1> fields = {Field{0, record}};
  return WriteFields(profile, fields);
}

}  // namespace kst
