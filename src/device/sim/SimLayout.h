#pragma once
// Sizes and offsets of the simulated keyboard's memory and of its 64-byte
// command reports. Everything that crosses the wire or the state file is
// addressed through these constants.

#include <cstddef>
#include <cstdint>

namespace kst::sim {

// Command report: id, checksum, command, length, offset, status, data.
inline constexpr std::size_t kReportSize = 64;
inline constexpr std::uint8_t kReportId = 0x04;
inline constexpr std::size_t kReportIdByte = 0;
inline constexpr std::size_t kChecksumByte = 1;  // u16 LE over bytes 3-63
inline constexpr std::size_t kCommandByte = 3;
inline constexpr std::size_t kLengthByte = 4;
inline constexpr std::size_t kOffsetByte = 5;  // u16 LE
inline constexpr std::size_t kStatusByte = 7;
inline constexpr std::size_t kDataByte = 8;
inline constexpr std::size_t kMaxChunk = 56;
static_assert(kDataByte + kMaxChunk == kReportSize);

inline constexpr std::uint8_t kStatusOk = 0x00;
inline constexpr std::uint8_t kStatusError = 0xFF;       // command the firmware does not know
inline constexpr std::uint8_t kStatusBadRequest = 0xFE;  // checksum, offset or length wrong

// Commands.
inline constexpr std::uint8_t kCmdBeginUpdate = 0x01;
inline constexpr std::uint8_t kCmdEndUpdate = 0x02;
inline constexpr std::uint8_t kCmdReadSettings = 0x03;
inline constexpr std::uint8_t kCmdWriteSettings = 0x04;
inline constexpr std::uint8_t kCmdReadParameters = 0x05;
inline constexpr std::uint8_t kCmdWriteParameters = 0x06;
inline constexpr std::uint8_t kCmdReadKeyMap = 0x07;
inline constexpr std::uint8_t kCmdWriteKeyMap = 0x08;
inline constexpr std::uint8_t kCmdReadMacroArea = 0x09;
inline constexpr std::uint8_t kCmdWriteMacroArea = 0x0A;
inline constexpr std::uint8_t kCmdReadFactoryKeyMap = 0x0F;
inline constexpr std::uint8_t kCmdWriteKeyColours = 0x11;

// Settings block.
inline constexpr std::size_t kSettingsSize = 44;
inline constexpr std::size_t kCurrentProfileByte = 10;
inline constexpr std::size_t kMacroSpaceByte = 11;  // units of kMacroSpaceUnit bytes
inline constexpr std::size_t kEffectCodesByte = 12;
inline constexpr std::size_t kEffectCodeSlots = 32;
static_assert(kEffectCodesByte + kEffectCodeSlots == kSettingsSize);
inline constexpr std::size_t kMacroSpaceUnit = 128;
inline constexpr std::uint8_t kDefaultMacroSpaceUnits = 64;  // 8 KiB of macro memory

inline constexpr int kProfileCount = 4;

// Parameter area: six lighting records back to back.
inline constexpr std::size_t kLightingRecordSize = 42;
inline constexpr std::size_t kLightingRecordCount = 6;
inline constexpr std::size_t kParameterAreaSize = kLightingRecordSize * kLightingRecordCount;
static_assert(kParameterAreaSize == 252);
// Bytes of a default lighting record written from its start.
inline constexpr std::size_t kDefaultRecordBytes = 35;

// Key maps: 128 three-byte records and 128 bytes of device data per profile.
inline constexpr std::size_t kKeyMapSize = 512;
inline constexpr std::size_t kKeyRecordSize = 3;
inline constexpr std::size_t kKeyRecordCount = 128;
inline constexpr std::size_t kKeyDeviceDataByte = kKeyRecordSize * kKeyRecordCount;
static_assert(kKeyDeviceDataByte == 384);
inline constexpr std::size_t kKeyMapAreaSize = kKeyMapSize * kProfileCount;
inline constexpr std::size_t kGKeySlots = 18;

// Per-key colours: 512 bytes per profile, three bytes (red, green, blue) per
// LED position.
inline constexpr std::size_t kColourAreaSize = 512;
inline constexpr std::size_t kColourAreasSize = kColourAreaSize * kProfileCount;
inline constexpr std::size_t kLedPositions = 170;
static_assert(kLedPositions * 3 <= kColourAreaSize);
// Positions 0-143 are the ones the host sends and the keys light.
inline constexpr std::size_t kSentLedPositions = 144;

// The 'LED' output report.
inline constexpr std::size_t kLedReportSize = 2;
// The 'CONS' input report: the event code in the first two bytes.
inline constexpr std::size_t kConsumerReportSize = 4;

// Event codes on 'CONS'.
inline constexpr std::uint16_t kEventGKeyBank = 767;
inline constexpr std::uint16_t kEventProfileSwitched = 1025;
inline constexpr std::uint16_t kEventFactoryReset = 1026;
inline constexpr std::uint16_t kEventActivityOff = 6160;
inline constexpr std::uint16_t kEventActivityOn = 6161;

// Interfaces.
inline constexpr std::uint16_t kLedUsagePage = 0x0008;
inline constexpr std::uint16_t kLedUsage = 0x0089;
inline constexpr std::uint16_t kConsumerUsagePage = 0x000C;
inline constexpr std::uint16_t kConsumerUsage = 0x0001;
inline constexpr std::uint16_t kControlUsagePage = 0xFF1C;
inline constexpr std::uint16_t kControlUsage = 0x0092;

}  // namespace kst::sim
