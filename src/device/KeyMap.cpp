#include "device/KeyMap.h"

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

}  // namespace kst
