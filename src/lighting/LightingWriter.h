#pragma once

// The lighting changes of the panel and the report-rate buttons. Each change
// updates the LightingState and is written to the active profile's record at
// once: one WriteParameters per field, all fields of one change between one
// BeginUpdate/EndUpdate pair, while holding the keyboard. The state keeps the
// new value whatever the keyboard answers; the result (1, or the first
// failing command's result) lets the caller read the record back.
//
// Every operation gives 0 when it writes nothing, and -202 (kDeviceBadArgument)
// without writing or changing the state when its argument is out of range.

#include <array>
#include <cstdint>

#include "lighting/EffectList.h"
#include "lighting/LightingDevice.h"
#include "lighting/LightingRecord.h"

namespace kst {

using LightingRecords =
    std::array<std::array<std::uint8_t, kLightingRecordBytes>, kLightingRecordCount>;

// Reads the six records of the parameter area (56 bytes at each record's
// offset, the first 42 kept) between one BeginUpdate/EndUpdate pair. Gives
// 1, or the first failing command's result; records whose read failed are
// left as they were, and marked false in read when given.
int ReadLightingRecords(LightingDevice& device, LightingRecords& records,
                        std::array<bool, kLightingRecordCount>* read = nullptr);

// Codes whose selection also writes the multicolour switch.
bool EffectWritesMulticolour(EffectCode code);

class LightingWriter {
 public:
  // device and state must outlive the writer; state.activeProfile (0-3)
  // chooses the record.
  LightingWriter(LightingDevice& device, LightingState& state) : device_(device), state_(state) {}

  // The code at listIndex of the effect list.
  int SelectEffect(int listIndex);
  // 0-4; nothing when equal to the stored value.
  int SetBrightness(int brightness);
  // 0-4 (the record's value, not the slider's); nothing when equal.
  int SetSpeed(int speed);
  // kDirectionLeft (0xFF) or kDirectionRight (0x00).
  int SetDirection(int direction);
  // Turns multicolour off; bits 24-31 are ignored.
  int SetColour(ColorRef colour);
  int ToggleMulticolour();
  // 0 red, 1 yellow, 2 green, 3 blue.
  int SetColourChoice(int choice);
  // 0-3.
  int SetReportRate(int rate);
  // Record bytes 9-11 only; repainting the keys that follow the base colour
  // is the key colour table's part.
  int WriteBaseColour(ColorRef colour);
  // The default button's part: record bytes 18-23 of the active profile
  // (the effect-7 flag, the trigger and the bytes after them) set to zero.
  int ClearKeyDefaultBytes();
  // Writes the 35-byte default record of profile (0-3). When profile is the
  // active one, the state takes the default values first.
  int ResetProfileRecord(int profile);

 private:
  struct Field {
    std::size_t offset;  // within the record
    std::span<const std::uint8_t> bytes;
  };
  int WriteFields(int profile, std::span<const Field> fields);
  // One byte of the active profile's record.
  int WriteByte(std::size_t offset, std::uint8_t value);
  bool ActiveProfileValid() const;

  LightingDevice& device_;
  LightingState& state_;
};

}  // namespace kst
