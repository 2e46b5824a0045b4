#pragma once
// The keyboard firmware's command handler: one 64-byte command report in, one
// 64-byte reply out. Pure over the memory it is given; the caller locks.

#include <array>
#include <cstdint>
#include <span>

#include "device/sim/SimLayout.h"
#include "device/sim/SimMemory.h"

namespace kst::sim {

using Report = std::array<std::uint8_t, kReportSize>;

struct CommandOutcome {
  Report reply{};
  bool memoryChanged = false;
};

// Checksum of a command report: sum of bytes 3-63 modulo 65536.
std::uint16_t ReportChecksum(std::span<const std::uint8_t, kReportSize> report);
// Stores the checksum of bytes 3-63 in bytes 1-2.
void SealReport(Report& report);

// The reply repeats bytes 0-6 of the request (with its own checksum) and
// carries the status in byte 7. A request whose report id, checksum, length,
// offset or content is wrong is answered 0xFE and changes nothing; an unknown
// command is answered 0xFF.
CommandOutcome HandleCommand(KeyboardMemory& memory,
                             std::span<const std::uint8_t, kReportSize> request);

}  // namespace kst::sim
