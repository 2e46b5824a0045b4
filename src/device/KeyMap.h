#pragma once

// The keyboard's per-profile key map: 128 three-byte key records at the
// positions of the factory map, followed by 128 bytes of device data that are
// always carried over from the factory map. Which physical key a position
// belongs to is told only by the factory record at the same position.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "foundation/KeyCodeTable.h"
#include "store/ProfileFormat.h"

namespace kst {

struct KeyRecord {
  std::uint8_t type = 0;
  std::uint8_t b1 = 0;
  std::uint8_t b2 = 0;
  friend constexpr bool operator==(const KeyRecord&, const KeyRecord&) = default;
};

inline constexpr std::size_t kKeyRecordBytes = 3;
inline constexpr int kKeyMapRecords = 128;
inline constexpr std::size_t kKeyMapRecordBytes = kKeyMapRecords * kKeyRecordBytes;
inline constexpr std::size_t kKeyMapBytes = 512;
static_assert(kKeyMapRecordBytes == 384);
static_assert(kKeyMapRecordBytes <= kKeyMapBytes);

// Record types.
inline constexpr std::uint8_t kRecordNone = 0;
inline constexpr std::uint8_t kRecordMouse = 1;
inline constexpr std::uint8_t kRecordKeyboard = 2;
inline constexpr std::uint8_t kRecordConsumer = 3;
inline constexpr std::uint8_t kRecordSystem = 4;
inline constexpr std::uint8_t kRecordKeyboardFunction = 5;
inline constexpr std::uint8_t kRecordDeviceKey = 6;

// b1 of mouse records.
inline constexpr std::uint8_t kMouseButtons = 1;
inline constexpr std::uint8_t kMouseWheel = 5;
// b1 of keyboard records.
inline constexpr std::uint8_t kKeyboardModifiers = 1;
inline constexpr std::uint8_t kKeyboardUsage = 2;
// b1 of keyboard-function records.
inline constexpr std::uint8_t kFunctionPlayMacro = 1;
inline constexpr std::uint8_t kFunctionStopMacro = 2;
inline constexpr std::uint8_t kFunctionNumber = 5;
// b1 of device-key records (G keys of the factory map).
inline constexpr std::uint8_t kDeviceKeyMarker = 0xA2;

using KeyMapBytes = std::span<std::uint8_t, kKeyMapBytes>;
using ConstKeyMapBytes = std::span<const std::uint8_t, kKeyMapBytes>;

// position 0-127; anything else reads as a zero record and writes nothing.
KeyRecord ReadKeyRecord(ConstKeyMapBytes map, int position);
void WriteKeyRecord(KeyMapBytes map, int position, KeyRecord record);

// The key a device record stands for; 0 when the record names no key the
// program knows.
KeyIndex KeyIndexFromDeviceRecord(KeyRecord record);

// The device record that sends one key: mouse buttons and wheel steps as
// mouse records, the eight modifiers as modifier bits, any other key as its
// keyboard usage (0 when the key has none). This is the rule for key map
// positions; macro events describe keys by their usage class instead.
KeyRecord KeyRecordForKey(KeyIndex key);

// Position of a macro number in the macro list (FindMacroIndex: 0 when the
// number is not in the list).
using MacroIndexLookup = std::function<int(std::uint32_t number)>;

// The record the keyboard gets for one assignment entry at a position whose
// factory record is `factory`. Entries that the keyboard cannot hold keep the
// factory record: Default, LaunchProgram, kinds this program does not know and
// a MediaKey index outside the media key table.
KeyRecord KeyRecordForAssignment(const KeyAssignment& entry, KeyRecord factory,
                                 const MacroIndexLookup& macroIndex);

// Builds profile `profile`'s key map from the entries of `block` over the
// factory map: positions whose factory record names no key keep it, and so do
// the 128 device bytes after the records. A profile outside 0-3 gives the
// factory map unchanged.
void EncodeKeyMap(ConstKeyMapBytes factory, ConstBlockSpan block, int profile,
                  const MacroIndexLookup& macroIndex, KeyMapBytes out);

// Rebuilds one profile's 512 entries from a key map read back from the
// keyboard. The entries are cleared (G-key slots get their GKeyCode); a
// position whose record equals the factory record stays Default; any other
// position sets the entry of its factory key's slot. Any bytes are accepted:
// records the program cannot express become Disabled.
void DecodeKeyMap(ConstKeyMapBytes map, ConstKeyMapBytes factory,
                  std::span<KeyAssignment, kSlotsPerProfile> entries);

}  // namespace kst
