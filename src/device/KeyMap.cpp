#include "device/KeyMap.h"

#include <algorithm>

namespace kst {

namespace {

constexpr KeyIndex kMouseLeft = 0x171;
constexpr KeyIndex kMouseRight = 0x172;
constexpr KeyIndex kMouseMiddle = 0x173;
constexpr KeyIndex kWheelUp = 0x161;
constexpr KeyIndex kWheelDown = 0x162;

constexpr std::uint8_t kButtonLeft = 0x01;
constexpr std::uint8_t kButtonRight = 0x02;
constexpr std::uint8_t kButtonMiddle = 0x04;
constexpr std::uint8_t kWheelStepUp = 0x01;
constexpr std::uint8_t kWheelStepDown = 0xFF;

std::size_t RecordOffset(int position) {
  return static_cast<std::size_t>(position) * kKeyRecordBytes;
}

bool ValidPosition(int position) { return position >= 0 && position < kKeyMapRecords; }

}  // namespace

KeyRecord ReadKeyRecord(ConstKeyMapBytes map, int position) {
  if (!ValidPosition(position)) return {};
  const std::size_t at = RecordOffset(position);
  return {map[at], map[at + 1], map[at + 2]};
}

void WriteKeyRecord(KeyMapBytes map, int position, KeyRecord record) {
  if (!ValidPosition(position)) return;
  const std::size_t at = RecordOffset(position);
  map[at] = record.type;
  map[at + 1] = record.b1;
  map[at + 2] = record.b2;
}

KeyIndex KeyIndexFromDeviceRecord(KeyRecord record) {
  switch (record.type) {
    case kRecordMouse:
      if (record.b1 == kMouseButtons) {
        switch (record.b2) {
          case kButtonLeft:
            return kMouseLeft;
          case kButtonRight:
            return kMouseRight;
          case kButtonMiddle:
            return kMouseMiddle;
          default:
            return 0;
        }
      }
      if (record.b1 == kMouseWheel) {
        if (record.b2 == kWheelStepUp) return kWheelUp;
        if (record.b2 == kWheelStepDown) return kWheelDown;
      }
      return 0;
    case kRecordKeyboard:
      if (record.b1 == kKeyboardUsage) {
        return KeyIndexFromUsageAction({kUsageClassKeyboard, record.b2});
      }
      return KeyIndexFromModifierBits(record.b2);
    case kRecordConsumer:
      return KeyIndexFromUsageAction(
          {kUsageClassConsumer, static_cast<std::uint16_t>(record.b1 | record.b2 << 8)});
    case kRecordSystem:
      return KeyIndexFromUsageAction(
          {kUsageClassSystem, static_cast<std::uint16_t>(record.b1 | record.b2 << 8)});
    case kRecordDeviceKey:
      if (record.b1 == kDeviceKeyMarker) return static_cast<KeyIndex>(0x1FF + record.b2);
      return 0;
    default:
      return 0;
  }
}

KeyRecord KeyRecordForKey(KeyIndex key) {
  switch (key) {
    case kMouseLeft:
      return {kRecordMouse, kMouseButtons, kButtonLeft};
    case kMouseRight:
      return {kRecordMouse, kMouseButtons, kButtonRight};
    case kMouseMiddle:
      return {kRecordMouse, kMouseButtons, kButtonMiddle};
    case kWheelUp:
      return {kRecordMouse, kMouseWheel, kWheelStepUp};
    case kWheelDown:
      return {kRecordMouse, kMouseWheel, kWheelStepDown};
    default:
      break;
  }
  if (const std::uint8_t bit = ModifierBitFromKeyIndex(key); bit != 0) {
    return {kRecordKeyboard, kKeyboardModifiers, bit};
  }
  const UsageAction action = UsageActionFromKeyIndex(key);
  const std::uint8_t code =
      action.cls == kUsageClassKeyboard ? static_cast<std::uint8_t>(action.code) : 0;
  return {kRecordKeyboard, kKeyboardUsage, code};
}

KeyRecord KeyRecordForAssignment(const KeyAssignment& entry, KeyRecord factory,
                                 const MacroIndexLookup& macroIndex) {
  switch (entry.Kind()) {
    case AssignmentKind::Disabled:
    case AssignmentKind::TextBlock:
      return {kRecordNone, 0, 0};
    case AssignmentKind::SingleKey:
      if (entry.param > 0xFFFF) return {kRecordKeyboard, kKeyboardUsage, 0};
      return KeyRecordForKey(static_cast<KeyIndex>(entry.param));
    case AssignmentKind::PlayMacro: {
      const int index = macroIndex ? macroIndex(entry.param) : 0;
      return {kRecordKeyboardFunction, kFunctionPlayMacro,
              static_cast<std::uint8_t>(index >= 0 && index <= 0xFF ? index : 0)};
    }
    case AssignmentKind::StopMacro:
      return {kRecordKeyboardFunction, kFunctionStopMacro, 0};
    case AssignmentKind::MediaKey: {
      if (entry.param >= kMediaKeyTable.size()) return factory;
      const std::uint16_t usage = kMediaKeyTable[entry.param];
      return {kRecordConsumer, static_cast<std::uint8_t>(usage & 0xFF),
              static_cast<std::uint8_t>(usage >> 8)};
    }
    case AssignmentKind::FunctionKey:
      return {kRecordKeyboardFunction, kFunctionNumber,
              static_cast<std::uint8_t>(entry.param & 0xFF)};
    case AssignmentKind::Default:
    case AssignmentKind::LaunchProgram:
    default:
      return factory;
  }
}

void EncodeKeyMap(ConstKeyMapBytes factory, ConstBlockSpan block, int profile,
                  const MacroIndexLookup& macroIndex, KeyMapBytes out) {
  std::copy(factory.begin(), factory.end(), out.begin());
  if (profile < 0 || profile >= kProfileCount) return;
  for (int k = 0; k < kKeyMapRecords; ++k) {
    const KeyRecord factoryRecord = ReadKeyRecord(factory, k);
    const KeyIndex key = KeyIndexFromDeviceRecord(factoryRecord);
    if (key == 0) continue;
    const int index = EntryIndex(profile, SlotFromKeyIndex(key));
    if (index < 0) continue;
    WriteKeyRecord(out, k,
                   KeyRecordForAssignment(ReadEntry(block, index), factoryRecord, macroIndex));
  }
}

namespace {

KeyAssignment EntryFromRecord(KeyRecord record, KeyAssignment entry) {
  auto set = [&entry](AssignmentKind kind, std::uint32_t param) {
    entry.kind = static_cast<std::uint16_t>(kind);
    entry.param = param;
  };
  set(AssignmentKind::Disabled, 0);
  switch (record.type) {
    case kRecordKeyboardFunction:
      if (record.b1 == kFunctionPlayMacro) {
        set(AssignmentKind::PlayMacro, record.b2 + 1u);
      } else if (record.b1 == kFunctionStopMacro) {
        set(AssignmentKind::StopMacro, 0);
      } else if (record.b1 == kFunctionNumber) {
        set(AssignmentKind::FunctionKey, record.b2);
      }
      break;
    case kRecordConsumer: {
      const int index =
          MediaKeyIndexOfUsage(static_cast<std::uint16_t>(record.b1 | record.b2 << 8));
      if (index >= 0) set(AssignmentKind::MediaKey, static_cast<std::uint32_t>(index));
      break;
    }
    case kRecordMouse:
      set(AssignmentKind::SingleKey, KeyIndexFromDeviceRecord(record));
      break;
    case kRecordKeyboard:
      if (record.b1 == kKeyboardUsage) {
        if (const KeyIndex key = KeyIndexFromDeviceRecord(record); key != 0) {
          set(AssignmentKind::SingleKey, key);
        }
      } else if (record.b1 == kKeyboardModifiers) {
        set(AssignmentKind::SingleKey, KeyIndexFromModifierBits(record.b2));
      }
      break;
    default:
      break;
  }
  return entry;
}

}  // namespace

void DecodeKeyMap(ConstKeyMapBytes map, ConstKeyMapBytes factory,
                  std::span<KeyAssignment, kSlotsPerProfile> entries) {
  for (int slot = 0; slot < kSlotsPerProfile; ++slot) {
    entries[slot] = KeyAssignment{};
    entries[slot].extra = GKeyCode(slot);
  }
  for (int k = 0; k < kKeyMapRecords; ++k) {
    const KeyRecord record = ReadKeyRecord(map, k);
    const KeyRecord factoryRecord = ReadKeyRecord(factory, k);
    if (record == factoryRecord) continue;
    const AssignmentSlot slot = SlotFromKeyIndex(KeyIndexFromDeviceRecord(factoryRecord));
    if (slot == 0 || slot >= kSlotsPerProfile) continue;
    entries[slot] = EntryFromRecord(record, entries[slot]);
  }
}

}  // namespace kst
