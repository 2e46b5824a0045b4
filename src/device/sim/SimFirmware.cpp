#include "device/sim/SimFirmware.h"

#include <algorithm>

namespace kst::sim {
namespace {

bool Fits(std::size_t offset, std::size_t length, std::size_t size) {
  return offset <= size && length <= size - offset;
}

// Areas split into one 512-byte block per profile: a chunk never crosses from
// one profile into the next.
bool FitsProfileBlock(std::size_t offset, std::size_t length, std::size_t blockSize,
                      std::size_t totalSize) {
  return offset < totalSize && (offset % blockSize) + length <= blockSize;
}

}  // namespace

std::uint16_t ReportChecksum(std::span<const std::uint8_t, kReportSize> report) {
  unsigned sum = 0;
  for (std::size_t i = kCommandByte; i < kReportSize; ++i) sum += report[i];
  return static_cast<std::uint16_t>(sum & 0xFFFF);
}

void SealReport(Report& report) {
  const std::uint16_t sum = ReportChecksum(report);
  report[kChecksumByte] = static_cast<std::uint8_t>(sum & 0xFF);
  report[kChecksumByte + 1] = static_cast<std::uint8_t>(sum >> 8);
}

CommandOutcome HandleCommand(KeyboardMemory& memory,
                             std::span<const std::uint8_t, kReportSize> request) {
  CommandOutcome out;
  Report& reply = out.reply;
  std::copy_n(request.begin(), kStatusByte, reply.begin());
  reply[kReportIdByte] = kReportId;

  const std::uint8_t command = request[kCommandByte];
  const std::size_t length = request[kLengthByte];
  const std::size_t offset = request[kOffsetByte] | (request[kOffsetByte + 1] << 8);
  const auto data = request.subspan(kDataByte, kMaxChunk);
  const std::uint16_t sent =
      static_cast<std::uint16_t>(request[kChecksumByte] | (request[kChecksumByte + 1] << 8));

  auto answer = [&](std::uint8_t status) {
    reply[kStatusByte] = status;
    SealReport(reply);
    return out;
  };
  auto readInto = [&](std::span<const std::uint8_t> area) {
    std::copy_n(area.begin() + static_cast<std::ptrdiff_t>(offset), length,
                reply.begin() + kDataByte);
    return answer(kStatusOk);
  };
  auto writeFrom = [&](std::span<std::uint8_t> area) {
    std::copy_n(data.begin(), length, area.begin() + static_cast<std::ptrdiff_t>(offset));
    out.memoryChanged = length > 0;
    return answer(kStatusOk);
  };

  if (request[kReportIdByte] != kReportId || sent != ReportChecksum(request) ||
      length > kMaxChunk) {
    return answer(kStatusBadRequest);
  }

  switch (command) {
    case kCmdBeginUpdate:
    case kCmdEndUpdate:
      return answer(kStatusOk);

    case kCmdReadSettings:
      if (!Fits(offset, length, kSettingsSize)) return answer(kStatusBadRequest);
      return readInto(memory.settings);

    case kCmdWriteSettings: {
      if (!Fits(offset, length, kSettingsSize)) return answer(kStatusBadRequest);
      // Bytes from the macro space on describe the hardware and the firmware:
      // a write carries them along but cannot change them.
      const std::size_t end = offset + length;
      if (offset <= kCurrentProfileByte && kCurrentProfileByte < end &&
          data[kCurrentProfileByte - offset] >= kProfileCount) {
        return answer(kStatusBadRequest);
      }
      const std::size_t writableEnd = std::min(end, kMacroSpaceByte);
      for (std::size_t i = offset; i < writableEnd; ++i) {
        if (memory.settings[i] != data[i - offset]) out.memoryChanged = true;
        memory.settings[i] = data[i - offset];
      }
      return answer(kStatusOk);
    }

    case kCmdReadParameters: {
      // The firmware reads a fixed window: a window that starts inside the
      // area may run past its end, those bytes read as zero.
      if (offset >= kParameterAreaSize) return answer(kStatusBadRequest);
      const std::size_t n = std::min(length, kParameterAreaSize - offset);
      std::copy_n(memory.parameters.begin() + static_cast<std::ptrdiff_t>(offset), n,
                  reply.begin() + kDataByte);
      return answer(kStatusOk);
    }

    case kCmdWriteParameters:
      if (!Fits(offset, length, kParameterAreaSize)) return answer(kStatusBadRequest);
      return writeFrom(memory.parameters);

    case kCmdReadKeyMap:
      if (!FitsProfileBlock(offset, length, kKeyMapSize, kKeyMapAreaSize)) {
        return answer(kStatusBadRequest);
      }
      return readInto(memory.keyMaps);

    case kCmdWriteKeyMap:
      if (!FitsProfileBlock(offset, length, kKeyMapSize, kKeyMapAreaSize)) {
        return answer(kStatusBadRequest);
      }
      return writeFrom(memory.keyMaps);

    case kCmdReadMacroArea:
      if (!Fits(offset, length, memory.macroArea.size())) return answer(kStatusBadRequest);
      return readInto(memory.macroArea);

    case kCmdWriteMacroArea:
      if (!Fits(offset, length, memory.macroArea.size())) return answer(kStatusBadRequest);
      return writeFrom(memory.macroArea);

    case kCmdReadFactoryKeyMap:
      if (!Fits(offset, length, kKeyMapSize)) return answer(kStatusBadRequest);
      return readInto(FactoryKeyMap());

    case kCmdWriteKeyColours:
      if (!FitsProfileBlock(offset, length, kColourAreaSize, kColourAreasSize)) {
        return answer(kStatusBadRequest);
      }
      return writeFrom(memory.colours);

    default:
      return answer(kStatusError);
  }
}

}  // namespace kst::sim
