#pragma once
// The simulated keyboard's memory: what a real keyboard keeps in its flash,
// plus the factory key map of its firmware. Plain data; the caller locks.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/sim/SimLayout.h"

namespace kst::sim {

struct KeyboardMemory {
  std::array<std::uint8_t, kSettingsSize> settings{};
  std::array<std::uint8_t, kParameterAreaSize> parameters{};
  std::array<std::uint8_t, kKeyMapAreaSize> keyMaps{};
  std::array<std::uint8_t, kColourAreasSize> colours{};
  // Size is always settings[kMacroSpaceByte] * kMacroSpaceUnit.
  std::vector<std::uint8_t> macroArea;

  friend bool operator==(const KeyboardMemory&, const KeyboardMemory&) = default;
};

// One board key of the firmware's table: its KeyIndex (scan code identity
// used by the host) and the HID keyboard usage the key sends.
struct FirmwareKey {
  std::uint16_t keyIndex;
  std::uint8_t usage;
};
inline constexpr std::size_t kBoardKeyCount = 104;
const std::array<FirmwareKey, kBoardKeyCount>& FirmwareBoardKeys();

// The firmware's factory key map (ROM): 128 records covering the board keys
// and the G-key slots, then 128 bytes of device data.
const std::array<std::uint8_t, kKeyMapSize>& FactoryKeyMap();

// The lighting record profile p starts with after a factory reset.
std::array<std::uint8_t, kLightingRecordSize> DefaultLightingRecord(int profile);

KeyboardMemory FactoryMemory();

// The effect codes a keyboard lists in settings bytes 12-43 as it leaves the
// factory: 1-18 and 20-23, the rest of the slots empty (0).
std::span<const std::uint8_t> DefaultEffectCodes();
// Fills the code slots with codes in order and empties the rest; false, with
// nothing changed, for more than kEffectCodeSlots codes.
bool SetEffectCodes(KeyboardMemory& memory, std::span<const std::uint8_t> codes);
// The code slots up to the last one that is not empty.
std::vector<std::uint8_t> EffectCodes(const KeyboardMemory& memory);

// Sets the macro space (settings byte 11) and resizes the macro area: the
// bytes that still fit are kept, new bytes are zero.
void SetMacroSpace(KeyboardMemory& memory, std::uint8_t units);

// Named areas, addressed the way the commands address them ("keymaps" and
// "colours" span all four profiles, profile p at p * 512).
enum class Area { Settings, Parameters, KeyMaps, Factory, Macro, Colours };
std::optional<Area> AreaFromName(std::string_view name);
std::string_view AreaName(Area area);
// Read-only view of an area (Factory comes from the ROM).
std::span<const std::uint8_t> AreaBytes(const KeyboardMemory& memory, Area area);
// Writable view; empty for the ROM.
std::span<std::uint8_t> WritableAreaBytes(KeyboardMemory& memory, Area area);

// State file: little-endian, versioned, CRC-checked image of the memory.
std::vector<std::uint8_t> EncodeState(const KeyboardMemory& memory);
// Fails (nullopt) with a reason on any inconsistency; never reads out of bounds.
std::optional<KeyboardMemory> DecodeState(std::span<const std::uint8_t> bytes, std::string* why);

}  // namespace kst::sim
