#include "device/CommandProtocol.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace kst {

namespace {

constexpr auto kEndUpdateDelay = std::chrono::milliseconds(10);

// One exchange and the reply's status. On 1 the reply holds at least the
// header (8 bytes); replyLength tells how much of it arrived.
int Exchange(ReportExchanger& link, const CommandReport& request, CommandReport& reply,
             std::uint32_t& replyLength) {
  replyLength = 0;
  reply.fill(0);
  const int result = link.ExchangeReport(request, reply, replyLength);
  if (result != kDeviceOk) return result;
  if (replyLength < kDataOffset) return kDeviceNoReply;  // too short to carry a status
  if (reply[kStatusOffset] == kStatusFF) return kDeviceStatusFF;
  if (reply[kStatusOffset] == kStatusFE) return kDeviceStatusFE;
  return kDeviceOk;
}

int SimpleCommand(ReportExchanger& link, std::uint8_t command, std::uint8_t length,
                  std::uint16_t offset, std::span<const std::uint8_t> data = {}) {
  CommandReport reply{};
  std::uint32_t replyLength = 0;
  return Exchange(link, BuildCommandReport(command, length, offset, data), reply, replyLength);
}

// Exchanges a command whose reply carries `length` data bytes from byte 8
// and copies them to out.
int ReadCommand(ReportExchanger& link, std::uint8_t command, std::uint8_t length,
                std::uint16_t offset, std::span<std::uint8_t> out) {
  CommandReport reply{};
  std::uint32_t replyLength = 0;
  const int result =
      Exchange(link, BuildCommandReport(command, length, offset), reply, replyLength);
  if (result != kDeviceOk) return result;
  if (replyLength < kDataOffset + out.size()) return kDeviceNoReply;
  std::copy_n(reply.begin() + kDataOffset, out.size(), out.begin());
  return kDeviceOk;
}

// Chunks of at most 56 bytes at offsets base + 0, 56, 112, ...; the first
// chunk that fails ends the transfer with its result (earlier chunks stay).
// The chunks of one transfer reach the keyboard as one sequence.
int ChunkedRead(ReportExchanger& link, std::uint8_t command, std::uint32_t base,
                std::span<std::uint8_t> out) {
  const SequenceHold hold(link);
  for (std::size_t at = 0; at < out.size(); at += kChunkDataBytes) {
    const std::size_t n = std::min(kChunkDataBytes, out.size() - at);
    const int result = ReadCommand(link, command, static_cast<std::uint8_t>(n),
                                   static_cast<std::uint16_t>(base + at), out.subspan(at, n));
    if (result != kDeviceOk) return result;
  }
  return kDeviceOk;
}

int ChunkedWrite(ReportExchanger& link, std::uint8_t command, std::uint32_t base,
                 std::span<const std::uint8_t> data) {
  const SequenceHold hold(link);
  for (std::size_t at = 0; at < data.size(); at += kChunkDataBytes) {
    const std::size_t n = std::min(kChunkDataBytes, data.size() - at);
    const int result = SimpleCommand(link, command, static_cast<std::uint8_t>(n),
                                     static_cast<std::uint16_t>(base + at), data.subspan(at, n));
    if (result != kDeviceOk) return result;
  }
  return kDeviceOk;
}

bool ValidProfile(int profile) { return profile >= 0 && profile < kDeviceProfileCount; }

}  // namespace

std::uint16_t CommandChecksum(std::span<const std::uint8_t, kCommandReportBytes> report) {
  std::uint32_t sum = 0;
  for (std::size_t i = kCommandOffset; i < kCommandReportBytes; ++i) sum += report[i];
  return static_cast<std::uint16_t>(sum & 0xFFFF);
}

CommandReport BuildCommandReport(std::uint8_t command, std::uint8_t length, std::uint16_t offset,
                                 std::span<const std::uint8_t> data) {
  CommandReport report{};
  report[kReportIdOffset] = kCommandReportId;
  report[kCommandOffset] = command;
  report[kLengthOffset] = length;
  report[kAddressOffset] = static_cast<std::uint8_t>(offset & 0xFF);
  report[kAddressOffset + 1] = static_cast<std::uint8_t>(offset >> 8);
  report[kStatusOffset] = 0;
  const std::size_t n = std::min(data.size(), kChunkDataBytes);
  std::copy_n(data.begin(), n, report.begin() + kDataOffset);
  const std::uint16_t checksum = CommandChecksum(report);
  report[kChecksumOffset] = static_cast<std::uint8_t>(checksum & 0xFF);
  report[kChecksumOffset + 1] = static_cast<std::uint8_t>(checksum >> 8);
  return report;
}

int BeginUpdate(ReportExchanger& link) { return SimpleCommand(link, kCmdBeginUpdate, 0, 0); }

int EndUpdate(ReportExchanger& link) {
  std::this_thread::sleep_for(kEndUpdateDelay);
  return SimpleCommand(link, kCmdEndUpdate, 0, 0);
}

int ReadSettings(ReportExchanger& link, std::span<std::uint8_t, kSettingsBlockBytes> settings) {
  SettingsBlock block{};
  const int result = ReadCommand(link, kCmdReadSettings, kSettingsBlockBytes, 0, block);
  if (result == kDeviceOk) std::copy(block.begin(), block.end(), settings.begin());
  return result;
}

int WriteSettings(ReportExchanger& link,
                  std::span<const std::uint8_t, kSettingsBlockBytes> settings) {
  return SimpleCommand(link, kCmdWriteSettings, kSettingsBlockBytes, 0, settings);
}

int ReadParameters(ReportExchanger& link, std::span<std::uint8_t, kChunkDataBytes> buffer,
                   std::uint8_t length, std::uint16_t offset) {
  if (length > kChunkDataBytes) return kDeviceBadArgument;
  std::array<std::uint8_t, kChunkDataBytes> data{};
  const int result = ReadCommand(link, kCmdReadParameters, length, offset, data);
  if (result == kDeviceOk) std::copy(data.begin(), data.end(), buffer.begin());
  return result;
}

int WriteParameters(ReportExchanger& link, std::span<const std::uint8_t> data,
                    std::uint16_t offset) {
  if (data.size() > kChunkDataBytes) return kDeviceBadArgument;
  return SimpleCommand(link, kCmdWriteParameters, static_cast<std::uint8_t>(data.size()), offset,
                       data);
}

int ReadKeyMap(ReportExchanger& link, std::span<std::uint8_t, kDeviceKeyMapBytes> keyMap,
               int profile) {
  if (!ValidProfile(profile)) return kDeviceBadProfile;
  return ChunkedRead(link, kCmdReadKeyMap, static_cast<std::uint32_t>(profile) * kDeviceKeyMapBytes,
                     keyMap);
}

int WriteKeyMap(ReportExchanger& link, std::span<const std::uint8_t, kDeviceKeyMapBytes> keyMap,
                int profile) {
  if (!ValidProfile(profile)) return kDeviceBadProfile;
  return ChunkedWrite(link, kCmdWriteKeyMap,
                      static_cast<std::uint32_t>(profile) * kDeviceKeyMapBytes, keyMap);
}

int ReadMacroArea(ReportExchanger& link, std::span<std::uint8_t> area) {
  if (area.size() > kMaxMacroAreaBytes) return kDeviceBadArgument;
  return ChunkedRead(link, kCmdReadMacroArea, 0, area);
}

int WriteMacroArea(ReportExchanger& link, std::span<const std::uint8_t> area) {
  if (area.size() > kMaxMacroAreaBytes) return kDeviceBadArgument;
  return ChunkedWrite(link, kCmdWriteMacroArea, 0, area);
}

int ReadFactoryKeyMap(ReportExchanger& link, std::span<std::uint8_t, kDeviceKeyMapBytes> keyMap) {
  return ChunkedRead(link, kCmdReadFactoryKeyMap, 0, keyMap);
}

int WriteKeyColours(ReportExchanger& link, std::span<const std::uint8_t> data, int firstKeyPosition,
                    int lightingProfile) {
  if (!ValidProfile(lightingProfile)) return kDeviceBadProfile;
  if (data.size() > kChunkDataBytes || firstKeyPosition < 0 ||
      3 * static_cast<std::size_t>(firstKeyPosition) + data.size() > kKeyColourAreaBytes) {
    return kDeviceBadArgument;
  }
  const auto offset = static_cast<std::uint16_t>(
      static_cast<std::size_t>(lightingProfile) * kKeyColourAreaBytes + 3 * firstKeyPosition);
  return SimpleCommand(link, kCmdWriteKeyColours, static_cast<std::uint8_t>(data.size()), offset,
                       data);
}

int GetCurrentProfile(ReportExchanger& link) {
  const int cached = link.CachedCurrentProfile();
  if (cached != -1) return cached;
  const std::uint64_t epoch = link.CurrentProfileEpoch();
  SettingsBlock settings{};
  if (ReadSettings(link, settings) != kDeviceOk) return -1;
  const int profile = settings[kSettingsCurrentProfile];
  if (!ValidProfile(profile)) return -1;  // a keyboard answer no caller could use
  link.CacheCurrentProfileRead(profile, epoch);
  return profile;
}

int SetCurrentProfile(ReportExchanger& link, int profile) {
  if (profile < 0) return kDeviceNothing;
  if (profile >= kDeviceProfileCount) return kDeviceBadProfile;
  // Read, modify and write back as one sequence: no other write of the block
  // falls between.
  const SequenceHold hold(link);
  const std::uint64_t epoch = link.CurrentProfileEpoch();
  SettingsBlock settings{};
  const int read = ReadSettings(link, settings);
  if (read != kDeviceOk) return read;
  settings[kSettingsCurrentProfile] = static_cast<std::uint8_t>(profile);
  const int written = WriteSettings(link, settings);
  if (written == kDeviceOk) {
    link.CacheCurrentProfileRead(profile, epoch);
  } else {
    link.SetCachedCurrentProfile(-1);
  }
  return written;
}

}  // namespace kst
