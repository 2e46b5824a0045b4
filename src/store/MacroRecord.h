#pragma once

// Macros: the fixed-size 16512-byte record with up to 2000 8-byte events, as
// kept in the store and in the profile files, and how new records are named
// and numbered.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "foundation/KeyCodeTable.h"
#include "store/ProfileFormat.h"

namespace kst {

inline constexpr int kMaxMacroEvents = 2000;
inline constexpr int kMacroNameChars = 250;  // field size in characters, terminator included
inline constexpr int kMaxMacroNameLength = kMacroNameChars - 1;
inline constexpr std::uint32_t kMaxMacroDelayMs = 40000;
inline constexpr std::uint16_t kMaxMacroNumber = 100;

inline constexpr std::size_t kMacroEventSize = 8;
inline constexpr std::size_t kEventDelayOffset = 0;
inline constexpr std::size_t kEventKeyOffset = 4;
inline constexpr std::size_t kEventDirectionOffset = 6;
static_assert(kEventDirectionOffset + 2 == kMacroEventSize);

inline constexpr std::size_t kMacroNameOffset = 0;
inline constexpr std::size_t kMacroRepeatOffset = 500;
inline constexpr std::size_t kMacroReserved1Offset = 501;
inline constexpr std::size_t kMacroFreshOffset = 502;
inline constexpr std::size_t kMacroReserved2Offset = 504;
inline constexpr std::size_t kMacroNumberOffset = 506;
inline constexpr std::size_t kMacroEventCountOffset = 508;
inline constexpr std::size_t kMacroReserved3Offset = 510;
inline constexpr std::size_t kMacroEventsOffset = 512;
static_assert(kMacroNameOffset + 2 * kMacroNameChars == kMacroRepeatOffset);
static_assert(kMacroEventsOffset + kMaxMacroEvents * kMacroEventSize == kMacroRecordSize);

inline constexpr std::uint16_t kEventPress = 0;
inline constexpr std::uint16_t kEventRelease = 1;

struct MacroEvent {
  std::uint32_t delayMs = 0;  // wait after this event before the next one
  KeyIndex key = 0;
  std::uint16_t direction = kEventPress;  // 0 press, 1 release
  friend bool operator==(const MacroEvent&, const MacroEvent&) = default;
};

MacroEvent DecodeMacroEvent(std::span<const std::uint8_t, kMacroEventSize> bytes);
void EncodeMacroEvent(const MacroEvent& event, std::span<std::uint8_t, kMacroEventSize> bytes);

// Every field of the record, reserved ones included, so a decoded record
// encodes back to the same bytes.
struct MacroRecord {
  std::array<char16_t, kMacroNameChars> name{};  // zero-terminated; the rest zero
  std::uint8_t repeatCount = 1;                  // 1-255
  std::uint8_t reserved1 = 0;
  std::uint16_t fresh = 0;  // 1: created since the editor opened; 0 in every stored record
  std::uint16_t reserved2 = 0;
  std::uint16_t number = 0;      // 1-100, unique in the list
  std::uint16_t eventCount = 0;  // as stored; see Events()
  std::uint16_t reserved3 = 0;
  std::array<MacroEvent, kMaxMacroEvents> events{};

  // The name up to its terminator (at most 249 characters).
  std::u16string_view Name() const;
  // Sets the name, cut to 249 characters, and zeroes the rest of the field.
  void SetName(std::u16string_view text);
  // The events in use; a stored count above 2000 is read as 2000.
  std::span<const MacroEvent> Events() const;

  friend bool operator==(const MacroRecord&, const MacroRecord&) = default;
};

using MacroBytes = std::span<const std::uint8_t, kMacroRecordSize>;

MacroRecord DecodeMacroRecord(MacroBytes bytes);
void EncodeMacroRecord(const MacroRecord& record, std::span<std::uint8_t, kMacroRecordSize> bytes);
// Single fields of an encoded record, for lookups that need no full decode.
std::uint16_t MacroNumberOf(MacroBytes bytes);
std::uint16_t MacroEventCountOf(MacroBytes bytes);

// A zeroed record with the name, repeat count 1, fresh flag 1, no events and
// the lowest number of 1-100 that `numbersInUse` does not hold; nullopt when
// all of them are in use.
std::optional<MacroRecord> NewMacroRecord(std::u16string_view name,
                                          std::span<const std::uint16_t> numbersInUse);

}  // namespace kst
