#pragma once

// Explicit little-endian access to byte spans for the store's file records.
// Every access is bounds-checked by the caller's span: a read past the end of
// the span yields 0 and a write past it is dropped, so a damaged size field can
// never turn into a read or write outside a buffer.

#include <cstddef>
#include <cstdint>
#include <span>

namespace kst::le {

inline std::uint8_t U8(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes[offset] : 0;
}

inline std::uint16_t U16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return 0;
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::uint32_t U32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return 0;
  return static_cast<std::uint32_t>(bytes[offset]) |
         (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline void PutU8(std::span<std::uint8_t> bytes, std::size_t offset, std::uint8_t value) {
  if (offset < bytes.size()) bytes[offset] = value;
}

inline void PutU16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return;
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return;
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
  bytes[offset + 2] = static_cast<std::uint8_t>(value >> 16);
  bytes[offset + 3] = static_cast<std::uint8_t>(value >> 24);
}

}  // namespace kst::le
