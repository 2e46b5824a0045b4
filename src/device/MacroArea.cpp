#include "device/MacroArea.h"

#include <algorithm>

namespace kst {

namespace {

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

void WriteU16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// The parts of a record the area carries; both are bounded by what the
// record can hold, whatever a loaded file put into its fields.
std::u16string_view NameOf(const MacroRecord& record) { return record.Name(); }
std::size_t EventCountOf(const MacroRecord& record) { return record.Events().size(); }

std::size_t BlockSize(const MacroRecord& record, bool names) {
  std::size_t size = kMacroBlockHeaderBytes + kMacroAreaEventBytes * EventCountOf(record);
  if (names) size += kMacroAreaNameCharBytes * NameOf(record).size();
  return size;
}

std::size_t AreaSize(std::span<const MacroRecord> macros, bool names) {
  std::size_t size = kMacroAreaHeaderBytes + kMacroAreaOffsetBytes * macros.size();
  for (const MacroRecord& record : macros) size += BlockSize(record, names);
  return size;
}

// Key record of a modifier key by its HID modifier bit; macro events name
// the eight modifiers by bit, every other keyboard key by its usage.
constexpr KeyIndex kModifierKeys[] = {0x01D, 0x02A, 0x038, 0x15B, 0x11D, 0x036, 0x138, 0x15C};

bool IsModifierKey(KeyIndex key) {
  return std::find(std::begin(kModifierKeys), std::end(kModifierKeys), key) !=
         std::end(kModifierKeys);
}

}  // namespace

std::optional<MacroAreaHeader> ReadMacroAreaHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMacroAreaHeaderBytes) return std::nullopt;
  MacroAreaHeader header;
  header.magic = ReadU16(bytes, kMacroAreaMagicOffset);
  header.length = ReadU16(bytes, kMacroAreaLengthOffset);
  header.count = ReadU16(bytes, kMacroAreaCountOffset);
  header.names = ReadU16(bytes, kMacroAreaNamesOffset);
  return header;
}

KeyRecord MacroEventRecordForKey(KeyIndex key) {
  const UsageAction action = UsageActionFromKeyIndex(key);
  switch (action.cls) {
    case kUsageClassKeyboard:
      if (IsModifierKey(key)) {
        return {kRecordKeyboard, kKeyboardModifiers, ModifierBitFromKeyIndex(key)};
      }
      return {kRecordKeyboard, kKeyboardUsage, static_cast<std::uint8_t>(action.code)};
    case kUsageClassConsumer:
      return {kRecordConsumer, static_cast<std::uint8_t>(action.code & 0xFF),
              static_cast<std::uint8_t>(action.code >> 8)};
    case kUsageClassSystem:
      return {kRecordSystem, static_cast<std::uint8_t>(action.code & 0xFF),
              static_cast<std::uint8_t>(action.code >> 8)};
    case kUsageClassMouse:
      switch (action.code) {
        case 0xF1:
          return {kRecordMouse, kMouseButtons, 0x01};
        case 0xF2:
          return {kRecordMouse, kMouseButtons, 0x02};
        case 0xF3:
          return {kRecordMouse, kMouseButtons, 0x04};
        case 0xF4:
          return {kRecordMouse, kMouseWheel, 0x01};
        case 0xF5:
          return {kRecordMouse, kMouseWheel, 0xFF};
        default:
          return {kRecordMouse, 0, 0};
      }
    default:
      return {kRecordNone, 0, 0};
  }
}

void EncodeMacroAreaEvent(const MacroEvent& event, std::span<std::uint8_t, 4> out) {
  const KeyRecord record = MacroEventRecordForKey(event.key);
  const std::uint32_t units =
      std::min<std::uint32_t>(event.delayMs / kMacroDelayUnitMs, kMacroWordDelayMask);
  std::uint16_t word = static_cast<std::uint16_t>(units);
  word |= static_cast<std::uint16_t>((record.type & kMacroWordTypeMask) << kMacroWordTypeShift);
  if (event.direction != kEventRelease) word |= kMacroWordPress;
  WriteU16(out, 0, word);
  out[2] = record.b1;
  out[3] = record.b2;
}

MacroEvent DecodeMacroAreaEvent(std::span<const std::uint8_t, 4> bytes) {
  const std::uint16_t word = ReadU16(bytes, 0);
  MacroEvent event{};
  event.delayMs = static_cast<std::uint32_t>(word & kMacroWordDelayMask) * kMacroDelayUnitMs;
  const KeyRecord record{
      static_cast<std::uint8_t>((word >> kMacroWordTypeShift) & kMacroWordTypeMask), bytes[2],
      bytes[3]};
  event.key = KeyIndexFromDeviceRecord(record);
  event.direction = (word & kMacroWordPress) ? kEventPress : kEventRelease;
  return event;
}

std::size_t MacroAreaSizeWithNames(std::span<const MacroRecord> macros) {
  return AreaSize(macros, true);
}

std::size_t MacroAreaSizeWithoutNames(std::span<const MacroRecord> macros) {
  return AreaSize(macros, false);
}

int EncodeMacroArea(std::span<const MacroRecord> macros, std::span<std::uint8_t> buffer,
                    bool names) {
  const std::size_t size = AreaSize(macros, names);
  if (buffer.size() != size || size > kMacroAreaMaxBytes) return 0;
  std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  WriteU16(buffer, kMacroAreaMagicOffset, kMacroAreaMagic);
  WriteU16(buffer, kMacroAreaLengthOffset, static_cast<std::uint16_t>(size));
  WriteU16(buffer, kMacroAreaCountOffset, static_cast<std::uint16_t>(macros.size()));
  WriteU16(buffer, kMacroAreaNamesOffset, names ? 1 : 0);

  std::size_t at = kMacroAreaHeaderBytes + kMacroAreaOffsetBytes * macros.size();
  for (std::size_t r = 0; r < macros.size(); ++r) {
    const MacroRecord& record = macros[r];
    WriteU16(buffer, kMacroAreaHeaderBytes + kMacroAreaOffsetBytes * r,
             static_cast<std::uint16_t>(at));
    const std::size_t events = EventCountOf(record);
    const std::u16string_view name = NameOf(record);
    WriteU16(buffer, at + kMacroBlockEventCountOffset, static_cast<std::uint16_t>(events));
    buffer[at + kMacroBlockRepeatOffset] = record.repeatCount;
    buffer[at + kMacroBlockNameLengthOffset] = names ? static_cast<std::uint8_t>(name.size()) : 0;
    at += kMacroBlockHeaderBytes;
    for (std::size_t e = 0; e < events; ++e) {
      EncodeMacroAreaEvent(record.events[e], buffer.subspan(at).first<kMacroAreaEventBytes>());
      at += kMacroAreaEventBytes;
    }
    if (names) {
      for (char16_t c : name) {
        WriteU16(buffer, at, static_cast<std::uint16_t>(c));
        at += kMacroAreaNameCharBytes;
      }
    }
  }
  return 1;
}

namespace {

// Block r of an area whose offset table (ending at tableEnd) lies inside it;
// false when the block does not fit inside the area or inside a MacroRecord.
bool DecodeMacroBlock(std::span<const std::uint8_t> area, std::size_t tableEnd, std::size_t r,
                      const std::u16string& namePrefix, MacroRecord& record) {
  const std::size_t offset = ReadU16(area, kMacroAreaHeaderBytes + kMacroAreaOffsetBytes * r);
  // A block may not overlap the header or the offset table.
  if (offset < tableEnd || offset > area.size() || area.size() - offset < kMacroBlockHeaderBytes) {
    return false;
  }
  const std::size_t events = ReadU16(area, offset + kMacroBlockEventCountOffset);
  const std::size_t nameLength = area[offset + kMacroBlockNameLengthOffset];
  if (events > static_cast<std::size_t>(kMaxMacroEvents) ||
      nameLength > static_cast<std::size_t>(kMaxMacroNameLength))
    return false;
  const std::size_t blockSize =
      kMacroBlockHeaderBytes + kMacroAreaEventBytes * events + kMacroAreaNameCharBytes * nameLength;
  if (area.size() - offset < blockSize) return false;

  record.repeatCount = area[offset + kMacroBlockRepeatOffset];
  record.fresh = 0;
  record.number = static_cast<std::uint16_t>(r + 1);
  record.eventCount = static_cast<std::uint16_t>(events);
  std::size_t at = offset + kMacroBlockHeaderBytes;
  for (std::size_t e = 0; e < events; ++e) {
    record.events[e] = DecodeMacroAreaEvent(area.subspan(at).first<kMacroAreaEventBytes>());
    at += kMacroAreaEventBytes;
  }
  std::u16string name;
  if (nameLength != 0) {
    for (std::size_t c = 0; c < nameLength; ++c) {
      name.push_back(static_cast<char16_t>(ReadU16(area, at)));
      at += kMacroAreaNameCharBytes;
    }
  } else {
    name = namePrefix;
    for (char ch : std::to_string(r + 1)) name.push_back(static_cast<char16_t>(ch));
  }
  record.SetName(name);
  return true;
}

}  // namespace

int DecodeMacroArea(std::span<const std::uint8_t> area, int count,
                    std::vector<MacroRecord>& records, const std::u16string& namePrefix) {
  records.clear();
  if (count < 0 || count > kMaxMacroCount) return 0;
  const std::size_t n = static_cast<std::size_t>(count);
  const std::size_t tableEnd = kMacroAreaHeaderBytes + kMacroAreaOffsetBytes * n;
  if (area.size() < tableEnd) return 0;

  std::vector<MacroRecord> decoded(n);
  for (std::size_t r = 0; r < n; ++r) {
    if (!DecodeMacroBlock(area, tableEnd, r, namePrefix, decoded[r])) return 0;
  }
  records = std::move(decoded);
  return 1;
}

std::vector<MacroRecord> DecodeReadableMacros(std::span<const std::uint8_t> area, int count,
                                              const std::u16string& namePrefix,
                                              std::vector<int>& dropped) {
  dropped.clear();
  std::vector<MacroRecord> records;
  if (count <= 0) return records;
  const std::size_t n = static_cast<std::size_t>(std::min(count, kMaxMacroCount));
  const std::size_t tableEnd = kMacroAreaHeaderBytes + kMacroAreaOffsetBytes * n;
  if (count > kMaxMacroCount || area.size() < tableEnd) {
    // Without a whole offset table no block can be found.
    for (int r = 0; r < count; ++r) dropped.push_back(r);
    return records;
  }
  for (std::size_t r = 0; r < n; ++r) {
    MacroRecord record;
    if (DecodeMacroBlock(area, tableEnd, r, namePrefix, record)) {
      records.push_back(std::move(record));
    } else {
      dropped.push_back(static_cast<int>(r));
    }
  }
  return records;
}

}  // namespace kst
