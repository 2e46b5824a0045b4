#pragma once

// The macro area: the one image of every macro that the keyboard keeps for
// all profiles. Little-endian, 16-bit offsets (at most 65535 bytes):
//
//   0   u16  magic 0x55AA
//   2   u16  total length of the area in bytes
//   4   u16  macro count n
//   6   u16  names included (1) or not (0)
//   8   8    zero
//   16  2n   offset of each macro block from the start of the area, list order
//   ..       the macro blocks, back to back in list order
//
// A block: u16 event count, u8 repeat count, u8 name length in characters
// (0 without names), the events of 4 bytes each, then the name as UTF-16LE
// without terminator when names are included.
//
// An event: a 16-bit word (bits 0-11 delay in 10 ms units, bits 12-14 the key
// record type, bit 15 set for a press) followed by the two data bytes of the
// key record.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/KeyMap.h"
#include "foundation/KeyCodeTable.h"
#include "store/MacroRecord.h"

namespace kst {

inline constexpr std::uint16_t kMacroAreaMagic = 0x55AA;
inline constexpr std::size_t kMacroAreaMagicOffset = 0;
inline constexpr std::size_t kMacroAreaLengthOffset = 2;
inline constexpr std::size_t kMacroAreaCountOffset = 4;
inline constexpr std::size_t kMacroAreaNamesOffset = 6;
inline constexpr std::size_t kMacroAreaHeaderBytes = 16;
inline constexpr std::size_t kMacroAreaOffsetBytes = 2;
inline constexpr std::size_t kMacroAreaMaxBytes = 65535;
static_assert(kMacroAreaNamesOffset + 2 + 8 == kMacroAreaHeaderBytes);

inline constexpr std::size_t kMacroBlockEventCountOffset = 0;
inline constexpr std::size_t kMacroBlockRepeatOffset = 2;
inline constexpr std::size_t kMacroBlockNameLengthOffset = 3;
inline constexpr std::size_t kMacroBlockHeaderBytes = 4;
inline constexpr std::size_t kMacroAreaEventBytes = 4;
inline constexpr std::size_t kMacroAreaNameCharBytes = 2;

inline constexpr std::uint16_t kMacroWordDelayMask = 0x0FFF;
inline constexpr int kMacroWordTypeShift = 12;
inline constexpr std::uint16_t kMacroWordTypeMask = 0x7;
inline constexpr std::uint16_t kMacroWordPress = 0x8000;
inline constexpr std::uint32_t kMacroDelayUnitMs = 10;
// The longest delay the keyboard can hold; longer ones are kept at this.
inline constexpr std::uint32_t kMacroMaxDeviceDelayMs = kMacroWordDelayMask * kMacroDelayUnitMs;

struct MacroAreaHeader {
  std::uint16_t magic = 0;
  std::uint16_t length = 0;
  std::uint16_t count = 0;
  std::uint16_t names = 0;
};

// nullopt when fewer than 16 bytes are given.
std::optional<MacroAreaHeader> ReadMacroAreaHeader(std::span<const std::uint8_t> bytes);

// The device record of a key as macro events describe it, by the key's usage
// class (not the key map rule of KeyRecordForKey).
KeyRecord MacroEventRecordForKey(KeyIndex key);

// One event as the keyboard keeps it. The press bit is set unless direction
// is 1 (release); delays beyond what 12 bits hold are kept at the maximum.
void EncodeMacroAreaEvent(const MacroEvent& event, std::span<std::uint8_t, 4> out);
MacroEvent DecodeMacroAreaEvent(std::span<const std::uint8_t, 4> bytes);

// Sizes of the area the list would need, with and without the names.
std::size_t MacroAreaSizeWithNames(std::span<const MacroRecord> macros);
std::size_t MacroAreaSizeWithoutNames(std::span<const MacroRecord> macros);

// Builds the area of the list into buffer. The buffer must be exactly the
// size the matching size function gives, and at most 65535 bytes, and the
// list at most 65535 macros long; otherwise nothing is written and 0 is given.
// 1 on success.
int EncodeMacroArea(std::span<const MacroRecord> macros, std::span<std::uint8_t> buffer,
                    bool names);

// Rebuilds count records from an area read back from the keyboard. The area
// is untrusted: any count, offset, block, event count or name that does not
// fit inside it (or inside a MacroRecord) gives 0 and leaves records empty.
// Record r gets number r + 1; a block without a name is named namePrefix
// followed by r + 1. 1 on success.
int DecodeMacroArea(std::span<const std::uint8_t> area, int count,
                    std::vector<MacroRecord>& records, const std::u16string& namePrefix);

// The same for an area that may be damaged or cut short: every block is
// checked on its own, and one that does not fit inside the area (or inside a
// MacroRecord) is left out, its 0-based position added to dropped in
// increasing order. The records kept are in list order and keep number r + 1
// of their position r. A count above 100, or an offset table that does not
// fit inside the area, drops every position.
std::vector<MacroRecord> DecodeReadableMacros(std::span<const std::uint8_t> area, int count,
                                              const std::u16string& namePrefix,
                                              std::vector<int>& dropped);

}  // namespace kst
