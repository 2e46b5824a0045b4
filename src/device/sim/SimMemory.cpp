#include "device/sim/SimMemory.h"

#include <algorithm>

namespace kst::sim {
namespace {

// Board keys in the order of the keyboard view's key list.
constexpr std::array<FirmwareKey, kBoardKeyCount> kBoardKeys{{
    {0x01E, 0x04}, {0x030, 0x05}, {0x02E, 0x06}, {0x020, 0x07}, {0x012, 0x08},  // A-E
    {0x021, 0x09}, {0x022, 0x0A}, {0x023, 0x0B}, {0x017, 0x0C}, {0x024, 0x0D},  // F-J
    {0x025, 0x0E}, {0x026, 0x0F}, {0x032, 0x10}, {0x031, 0x11}, {0x018, 0x12},  // K-O
    {0x019, 0x13}, {0x010, 0x14}, {0x013, 0x15}, {0x01F, 0x16}, {0x014, 0x17},  // P-T
    {0x016, 0x18}, {0x02F, 0x19}, {0x011, 0x1A}, {0x02D, 0x1B}, {0x015, 0x1C},  // U-Y
    {0x02C, 0x1D},                                                              // Z
    {0x002, 0x1E}, {0x003, 0x1F}, {0x004, 0x20}, {0x005, 0x21}, {0x006, 0x22},  // 1-5
    {0x007, 0x23}, {0x008, 0x24}, {0x009, 0x25}, {0x00A, 0x26}, {0x00B, 0x27},  // 6-0
    {0x01C, 0x28},                                                              // Enter
    {0x001, 0x29},                                                              // Esc
    {0x00E, 0x2A},                                                              // Backspace
    {0x00F, 0x2B},                                                              // Tab
    {0x039, 0x2C},                                                              // Space
    {0x00C, 0x2D}, {0x00D, 0x2E}, {0x01A, 0x2F}, {0x01B, 0x30}, {0x02B, 0x31},  // - = [ ] \ .
    {0x027, 0x33}, {0x028, 0x34}, {0x029, 0x35}, {0x033, 0x36}, {0x034, 0x37},  // ; ' ` , .
    {0x035, 0x38},                                                              // /
    {0x03B, 0x3A}, {0x03C, 0x3B}, {0x03D, 0x3C}, {0x03E, 0x3D}, {0x03F, 0x3E},  // F1-F5
    {0x040, 0x3F}, {0x041, 0x40}, {0x042, 0x41}, {0x043, 0x42}, {0x044, 0x43},  // F6-F10
    {0x057, 0x44}, {0x058, 0x45},                                               // F11 F12
    {0x137, 0x46},                                                              // Print Screen
    {0x045, 0x48},                                                              // Pause
    {0x152, 0x49}, {0x153, 0x4C}, {0x147, 0x4A}, {0x14F, 0x4D},                 // Ins Del Home End
    {0x149, 0x4B}, {0x151, 0x4E},                                               // Page Up/Down
    {0x148, 0x52}, {0x150, 0x51}, {0x14B, 0x50}, {0x14D, 0x4F},                 // arrows
    {0x046, 0x47},                                                              // Scroll Lock
    {0x03A, 0x39},                                                              // Caps Lock
    {0x15D, 0x65},                                                              // App
    {0x01D, 0xE0}, {0x11D, 0xE4}, {0x02A, 0xE1}, {0x036, 0xE5},                 // Ctrl, Shift
    {0x038, 0xE2}, {0x138, 0xE6}, {0x15B, 0xE3}, {0x15C, 0xE7},                 // Alt, Win
    {0x04F, 0x59}, {0x050, 0x5A}, {0x051, 0x5B}, {0x04B, 0x5C}, {0x04C, 0x5D},  // Num 1-5
    {0x04D, 0x5E}, {0x047, 0x5F}, {0x048, 0x60}, {0x049, 0x61}, {0x052, 0x62},  // Num 6-0
    {0x145, 0x53},                                                              // Num Lock
    {0x11C, 0x58},                                                              // Num Enter
    {0x053, 0x63}, {0x135, 0x54}, {0x037, 0x55}, {0x04A, 0x56}, {0x04E, 0x57},  // Num . / * - +
}};
static_assert(
    [] {
      for (const FirmwareKey& k : kBoardKeys) {
        if (k.keyIndex == 0 || k.usage == 0) return false;
      }
      return true;
    }(),
    "every board key needs its KeyIndex and usage");

// HID modifier usages 0xE0-0xE7 are sent as modifier bits, not as usages.
constexpr std::uint8_t kFirstModifierUsage = 0xE0;
constexpr std::uint8_t kLastModifierUsage = 0xE7;

constexpr std::uint8_t kRecordKeyboard = 2;
constexpr std::uint8_t kKeyboardModifiers = 1;
constexpr std::uint8_t kKeyboardUsage = 2;
constexpr std::uint8_t kRecordDeviceKey = 6;
constexpr std::uint8_t kDeviceKeyMarker = 0xA2;

// The firmware scans its matrix in an order of its own; stride 45 is odd, so
// it visits every one of the 128 positions once.
constexpr std::size_t kMatrixStride = 45;

std::array<std::uint8_t, kKeyMapSize> BuildFactoryKeyMap() {
  std::array<std::uint8_t, kKeyMapSize> map{};
  auto put = [&map](std::size_t item, std::uint8_t type, std::uint8_t b1, std::uint8_t b2) {
    const std::size_t at = (item * kMatrixStride) % kKeyRecordCount * kKeyRecordSize;
    map[at] = type;
    map[at + 1] = b1;
    map[at + 2] = b2;
  };
  for (std::size_t i = 0; i < kBoardKeys.size(); ++i) {
    const std::uint8_t usage = kBoardKeys[i].usage;
    if (usage >= kFirstModifierUsage && usage <= kLastModifierUsage) {
      put(i, kRecordKeyboard, kKeyboardModifiers,
          static_cast<std::uint8_t>(1u << (usage - kFirstModifierUsage)));
    } else {
      put(i, kRecordKeyboard, kKeyboardUsage, usage);
    }
  }
  for (std::size_t n = 1; n <= kGKeySlots; ++n) {
    put(kBoardKeys.size() + n - 1, kRecordDeviceKey, kDeviceKeyMarker,
        static_cast<std::uint8_t>(n));
  }
  // Device data: the firmware's own bookkeeping, opaque to the host.
  for (std::size_t i = kKeyDeviceDataByte; i < kKeyMapSize; ++i) {
    map[i] = static_cast<std::uint8_t>((i * 7 + 0x35) & 0xFF);
  }
  return map;
}

constexpr std::array<std::uint8_t, 22> kOfferedEffects{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                                       12, 13, 14, 15, 16, 17, 18, 20, 21, 22, 23};

constexpr std::uint8_t kRed[3] = {0xFF, 0x00, 0x00};

// State file.
constexpr std::uint8_t kStateMagic[4] = {'K', 'S', 'I', 'M'};
constexpr std::uint16_t kStateVersion = 1;
constexpr std::size_t kStateHeaderSize = 16;
constexpr std::size_t kHdrMagic = 0;
constexpr std::size_t kHdrVersion = 4;
constexpr std::size_t kHdrHeaderSize = 6;
constexpr std::size_t kHdrPayloadLength = 8;
constexpr std::size_t kHdrChecksum = 12;
static_assert(kHdrChecksum + 4 == kStateHeaderSize);
constexpr std::size_t kPaySettings = 0;
constexpr std::size_t kPayParameters = kPaySettings + kSettingsSize;
constexpr std::size_t kPayKeyMaps = kPayParameters + kParameterAreaSize;
constexpr std::size_t kPayColours = kPayKeyMaps + kKeyMapAreaSize;
constexpr std::size_t kPayMacroLength = kPayColours + kColourAreasSize;
constexpr std::size_t kPayMacro = kPayMacroLength + 4;
static_assert(kPayMacro == 4396);

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v & 0xFF);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}
std::uint16_t GetU16(std::span<const std::uint8_t> in, std::size_t at) {
  return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}
std::uint32_t GetU32(std::span<const std::uint8_t> in, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(in[at + i]) << (8 * i);
  return v;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

template <std::size_t N>
void CopyIn(std::array<std::uint8_t, N>& to, std::span<const std::uint8_t> from, std::size_t at) {
  std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(at), N, to.begin());
}

}  // namespace

const std::array<FirmwareKey, kBoardKeyCount>& FirmwareBoardKeys() { return kBoardKeys; }

const std::array<std::uint8_t, kKeyMapSize>& FactoryKeyMap() {
  static const std::array<std::uint8_t, kKeyMapSize> map = BuildFactoryKeyMap();
  return map;
}

std::array<std::uint8_t, kLightingRecordSize> DefaultLightingRecord(int profile) {
  std::array<std::uint8_t, kLightingRecordSize> record{};
  constexpr std::uint8_t kDefaultEffect[kProfileCount] = {1, 4, 8, 7};
  record[0] = (profile >= 0 && profile < kProfileCount) ? kDefaultEffect[profile] : 1;
  record[1] = 4;     // brightness
  record[2] = 2;     // speed
  record[3] = 0x00;  // direction
  record[4] = 0xFF;  // multicolour
  record[5] = record[6] = record[7] = 0xFF;
  return record;
}

std::span<const std::uint8_t> DefaultEffectCodes() { return kOfferedEffects; }

bool SetEffectCodes(KeyboardMemory& memory, std::span<const std::uint8_t> codes) {
  if (codes.size() > kEffectCodeSlots) return false;
  const auto slots = std::span(memory.settings).subspan(kEffectCodesByte, kEffectCodeSlots);
  std::fill(std::copy(codes.begin(), codes.end(), slots.begin()), slots.end(), 0);
  return true;
}

std::vector<std::uint8_t> EffectCodes(const KeyboardMemory& memory) {
  const auto slots = std::span(memory.settings).subspan(kEffectCodesByte, kEffectCodeSlots);
  std::size_t used = slots.size();
  while (used > 0 && slots[used - 1] == 0) --used;
  return {slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(used)};
}

KeyboardMemory FactoryMemory() {
  KeyboardMemory m;
  m.settings[kCurrentProfileByte] = 0;
  SetEffectCodes(m, kOfferedEffects);
  for (std::size_t r = 0; r < kLightingRecordCount; ++r) {
    const auto record = DefaultLightingRecord(static_cast<int>(r));
    std::copy(record.begin(), record.end(), m.parameters.begin() + r * kLightingRecordSize);
  }
  for (int p = 0; p < kProfileCount; ++p) {
    std::copy(FactoryKeyMap().begin(), FactoryKeyMap().end(), m.keyMaps.begin() + p * kKeyMapSize);
    for (std::size_t led = 0; led < kLedPositions; ++led) {
      std::copy(kRed, kRed + 3, m.colours.begin() + p * kColourAreaSize + led * 3);
    }
  }
  m.settings[kMacroSpaceByte] = 0;
  SetMacroSpace(m, kDefaultMacroSpaceUnits);
  // An empty macro area as the firmware formats it: magic 0x55AA, length 16,
  // no macros, no names.
  m.macroArea[0] = 0xAA;
  m.macroArea[1] = 0x55;
  m.macroArea[2] = 16;
  return m;
}

void SetMacroSpace(KeyboardMemory& memory, std::uint8_t units) {
  memory.settings[kMacroSpaceByte] = units;
  memory.macroArea.resize(std::size_t{units} * kMacroSpaceUnit, 0);
}

std::optional<Area> AreaFromName(std::string_view name) {
  for (Area a : {Area::Settings, Area::Parameters, Area::KeyMaps, Area::Factory, Area::Macro,
                 Area::Colours}) {
    if (AreaName(a) == name) return a;
  }
  return std::nullopt;
}

std::string_view AreaName(Area area) {
  switch (area) {
    case Area::Settings:
      return "settings";
    case Area::Parameters:
      return "parameters";
    case Area::KeyMaps:
      return "keymaps";
    case Area::Factory:
      return "factory";
    case Area::Macro:
      return "macro";
    case Area::Colours:
      return "colours";
  }
  return "";
}

std::span<const std::uint8_t> AreaBytes(const KeyboardMemory& memory, Area area) {
  switch (area) {
    case Area::Settings:
      return memory.settings;
    case Area::Parameters:
      return memory.parameters;
    case Area::KeyMaps:
      return memory.keyMaps;
    case Area::Factory:
      return FactoryKeyMap();
    case Area::Macro:
      return memory.macroArea;
    case Area::Colours:
      return memory.colours;
  }
  return {};
}

std::span<std::uint8_t> WritableAreaBytes(KeyboardMemory& memory, Area area) {
  switch (area) {
    case Area::Settings:
      return memory.settings;
    case Area::Parameters:
      return memory.parameters;
    case Area::KeyMaps:
      return memory.keyMaps;
    case Area::Factory:
      return {};
    case Area::Macro:
      return memory.macroArea;
    case Area::Colours:
      return memory.colours;
  }
  return {};
}

std::vector<std::uint8_t> EncodeState(const KeyboardMemory& memory) {
  const std::size_t payloadLength = kPayMacro + memory.macroArea.size();
  std::vector<std::uint8_t> out(kStateHeaderSize + payloadLength, 0);
  std::copy(std::begin(kStateMagic), std::end(kStateMagic), out.begin() + kHdrMagic);
  PutU16(out, kHdrVersion, kStateVersion);
  PutU16(out, kHdrHeaderSize, kStateHeaderSize);
  PutU32(out, kHdrPayloadLength, static_cast<std::uint32_t>(payloadLength));
  const auto pay = out.begin() + kStateHeaderSize;
  std::copy(memory.settings.begin(), memory.settings.end(), pay + kPaySettings);
  std::copy(memory.parameters.begin(), memory.parameters.end(), pay + kPayParameters);
  std::copy(memory.keyMaps.begin(), memory.keyMaps.end(), pay + kPayKeyMaps);
  std::copy(memory.colours.begin(), memory.colours.end(), pay + kPayColours);
  PutU32(out, kStateHeaderSize + kPayMacroLength,
         static_cast<std::uint32_t>(memory.macroArea.size()));
  std::copy(memory.macroArea.begin(), memory.macroArea.end(), pay + kPayMacro);
  const std::span<const std::uint8_t> payload(out.data() + kStateHeaderSize, payloadLength);
  PutU32(out, kHdrChecksum, Crc32(payload));
  return out;
}

std::optional<KeyboardMemory> DecodeState(std::span<const std::uint8_t> bytes, std::string* why) {
  auto fail = [why](const char* reason) -> std::optional<KeyboardMemory> {
    if (why) *why = reason;
    return std::nullopt;
  };
  if (bytes.size() < kStateHeaderSize) return fail("shorter than its header");
  if (!std::equal(std::begin(kStateMagic), std::end(kStateMagic), bytes.begin() + kHdrMagic)) {
    return fail("not a simulated keyboard state file");
  }
  if (GetU16(bytes, kHdrVersion) != kStateVersion) return fail("unsupported version");
  if (GetU16(bytes, kHdrHeaderSize) != kStateHeaderSize) return fail("bad header size");
  const std::uint32_t payloadLength = GetU32(bytes, kHdrPayloadLength);
  if (payloadLength != bytes.size() - kStateHeaderSize) return fail("length does not match");
  if (payloadLength < kPayMacro) return fail("payload too short");
  const auto payload = bytes.subspan(kStateHeaderSize);
  if (Crc32(payload) != GetU32(bytes, kHdrChecksum)) return fail("checksum mismatch");

  KeyboardMemory m;
  CopyIn(m.settings, payload, kPaySettings);
  CopyIn(m.parameters, payload, kPayParameters);
  CopyIn(m.keyMaps, payload, kPayKeyMaps);
  CopyIn(m.colours, payload, kPayColours);
  const std::uint32_t macroLength = GetU32(payload, kPayMacroLength);
  if (macroLength != payload.size() - kPayMacro) return fail("macro area length does not match");
  if (macroLength != std::size_t{m.settings[kMacroSpaceByte]} * kMacroSpaceUnit) {
    return fail("macro area does not match the macro space");
  }
  if (m.settings[kCurrentProfileByte] >= kProfileCount) return fail("current profile out of range");
  m.macroArea.assign(payload.begin() + kPayMacro, payload.end());
  return m;
}

}  // namespace kst::sim
