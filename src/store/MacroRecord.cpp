#include "store/MacroRecord.h"

#include <algorithm>

#include "store/LittleEndian.h"

namespace kst {

MacroEvent DecodeMacroEvent(std::span<const std::uint8_t, kMacroEventSize> bytes) {
  return MacroEvent{le::U32(bytes, kEventDelayOffset), le::U16(bytes, kEventKeyOffset),
                    le::U16(bytes, kEventDirectionOffset)};
}

void EncodeMacroEvent(const MacroEvent& event, std::span<std::uint8_t, kMacroEventSize> bytes) {
  le::PutU32(bytes, kEventDelayOffset, event.delayMs);
  le::PutU16(bytes, kEventKeyOffset, event.key);
  le::PutU16(bytes, kEventDirectionOffset, event.direction);
}

std::u16string_view MacroRecord::Name() const {
  const auto end = std::find(name.begin(), name.begin() + kMaxMacroNameLength, u'\0');
  return std::u16string_view(name.data(), static_cast<std::size_t>(end - name.begin()));
}

void MacroRecord::SetName(std::u16string_view text) {
  name.fill(u'\0');
  const std::size_t length =
      std::min<std::size_t>(text.substr(0, text.find(u'\0')).size(), kMaxMacroNameLength);
  std::copy_n(text.begin(), length, name.begin());
}

std::span<const MacroEvent> MacroRecord::Events() const {
  return std::span<const MacroEvent>(events).first(
      std::min<std::size_t>(eventCount, kMaxMacroEvents));
}

MacroRecord DecodeMacroRecord(MacroBytes bytes) {
  MacroRecord r;
  for (int i = 0; i < kMacroNameChars; ++i) {
    r.name[i] = static_cast<char16_t>(le::U16(bytes, kMacroNameOffset + 2 * i));
  }
  r.repeatCount = le::U8(bytes, kMacroRepeatOffset);
  r.reserved1 = le::U8(bytes, kMacroReserved1Offset);
  r.fresh = le::U16(bytes, kMacroFreshOffset);
  r.reserved2 = le::U16(bytes, kMacroReserved2Offset);
  r.number = le::U16(bytes, kMacroNumberOffset);
  r.eventCount = le::U16(bytes, kMacroEventCountOffset);
  r.reserved3 = le::U16(bytes, kMacroReserved3Offset);
  for (int i = 0; i < kMaxMacroEvents; ++i) {
    r.events[i] =
        DecodeMacroEvent(bytes.subspan(kMacroEventsOffset + i * kMacroEventSize).first<8>());
  }
  return r;
}

void EncodeMacroRecord(const MacroRecord& r, std::span<std::uint8_t, kMacroRecordSize> bytes) {
  for (int i = 0; i < kMacroNameChars; ++i) {
    le::PutU16(bytes, kMacroNameOffset + 2 * i, static_cast<std::uint16_t>(r.name[i]));
  }
  le::PutU8(bytes, kMacroRepeatOffset, r.repeatCount);
  le::PutU8(bytes, kMacroReserved1Offset, r.reserved1);
  le::PutU16(bytes, kMacroFreshOffset, r.fresh);
  le::PutU16(bytes, kMacroReserved2Offset, r.reserved2);
  le::PutU16(bytes, kMacroNumberOffset, r.number);
  le::PutU16(bytes, kMacroEventCountOffset, r.eventCount);
  le::PutU16(bytes, kMacroReserved3Offset, r.reserved3);
  for (int i = 0; i < kMaxMacroEvents; ++i) {
    EncodeMacroEvent(r.events[i],
                     bytes.subspan(kMacroEventsOffset + i * kMacroEventSize).first<8>());
  }
}

std::uint16_t MacroNumberOf(MacroBytes bytes) { return le::U16(bytes, kMacroNumberOffset); }

std::uint16_t MacroEventCountOf(MacroBytes bytes) { return le::U16(bytes, kMacroEventCountOffset); }

std::optional<MacroRecord> NewMacroRecord(std::u16string_view name,
                                          std::span<const std::uint16_t> numbersInUse) {
  for (std::uint16_t number = 1; number <= kMaxMacroNumber; ++number) {
    if (std::find(numbersInUse.begin(), numbersInUse.end(), number) != numbersInUse.end()) {
      continue;
    }
    MacroRecord r;
    r.SetName(name);
    r.repeatCount = 1;
    r.fresh = 1;
    r.number = number;
    return r;
  }
  return std::nullopt;
}

}  // namespace kst
