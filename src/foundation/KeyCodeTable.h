#pragma once

// The key code table: one 16-bit KeyIndex per key the program can show,
// assign, record or send, the constant table describing every key, and the
// pure conversions between a KeyIndex and the other codes met in the program
// (table row, assignment slot, picker id, device usage, virtual keys, key
// messages, modifier bits, display name). All data is constant; every
// function may be called from any thread.

#include <array>
#include <cstdint>

#include <QString>

namespace kst {

class Language;

// 0 = no key. 0x001-0x07F: set-1 make code without prefix; 0x100-0x17F:
// 0x100 + make code of an E0-prefixed key (as in bits 16-24 of a key
// message's lParam); pseudo keys in the free part of the extended range;
// 0x200 + (n - 1): device function key n, which has no table row.
using KeyIndex = std::uint16_t;
// Index into a profile's 512 assignment entries.
using AssignmentSlot = std::uint16_t;

struct KeyRow {
  std::uint8_t vk;         // virtual key produced (keypad: with Num Lock on)
  std::uint8_t vk2;        // virtual key in the other state; equal to vk elsewhere
  std::uint16_t keyId;     // position in the key pickers; 0xFFFF for an empty row
  const char* label;       // English label, never shown; "" for an empty row
  std::uint8_t usageCode;  // code by which the key is described to the keyboard; 0 = none
  const char* textKey;     // language-file key of the display name; "" when none
};

// {class, code}: 0 none, 1 system control, 2 mouse, 7 keyboard usage,
// 12 consumer usage (16-bit usage of the consumer page).
struct UsageAction {
  std::uint16_t cls;
  std::uint16_t code;
  friend constexpr bool operator==(const UsageAction&, const UsageAction&) = default;
};

inline constexpr int kKeyTableRows = 256;
inline constexpr int kConsumerUsageSlots = 32;
inline constexpr std::uint16_t kEmptyKeyId = 0xFFFF;
inline constexpr KeyIndex kFirstDeviceKey = 0x200;

inline constexpr std::uint16_t kUsageClassNone = 0;
inline constexpr std::uint16_t kUsageClassSystem = 1;
inline constexpr std::uint16_t kUsageClassMouse = 2;
inline constexpr std::uint16_t kUsageClassKeyboard = 7;
inline constexpr std::uint16_t kUsageClassConsumer = 12;

const std::array<KeyRow, kKeyTableRows>& KeyCodeTable();
// Consumer-page usage of UsageCode 0xC0 + slot; slots 18-31 are 0.
const std::array<std::uint16_t, kConsumerUsageSlots>& ConsumerUsageTable();
// Table row of each virtual-key code; 0 = no key.
const std::array<std::uint8_t, 256>& VkTable();
// KeyIndex of each bit of the HID keyboard modifier byte, bit 0 first.
const std::array<KeyIndex, 8>& ModifierKeys();

// Row 0-255 -> KeyIndex (r, or r + 128 from row 128 on); 0 outside 0-255.
constexpr KeyIndex KeyIndexFromRow(int row) {
  if (row < 0 || row >= kKeyTableRows) return 0;
  return static_cast<KeyIndex>(row < 128 ? row : row + 128);
}
// k for k < 0x100; ((k - 0x80) & 0xFF) for 0x100-0x1FF (0x180-0x1FF fold onto
// 0-127); k - 0x100 from 0x200 on. Below 0x200 the slot is the table row.
constexpr AssignmentSlot SlotFromKeyIndex(KeyIndex k) {
  if (k < 0x100) return k;
  if (k < kFirstDeviceKey) return static_cast<AssignmentSlot>((k - 0x80) & 0xFF);
  return static_cast<AssignmentSlot>(k - 0x100);
}
// KeyId of the key's row; 0xFFFF for a key without a row.
std::uint16_t KeyIdFromKeyIndex(KeyIndex k);
// KeyIndex of the first row carrying id; 0 if none.
KeyIndex KeyIndexFromKeyId(std::uint16_t id);
UsageAction UsageActionFromKeyIndex(KeyIndex k);
// 0 if no row matches.
KeyIndex KeyIndexFromUsageAction(UsageAction action);
KeyIndex KeyIndexFromVk(std::uint8_t vk);
// vk and lParam of a keyboard message: the scan code in the message wins
// whenever it agrees with the virtual key.
KeyIndex KeyIndexFromKeyMessage(std::uint32_t vk, std::uint32_t lParam);
// Key of the lowest set bit; 0 when no bit is set.
KeyIndex KeyIndexFromModifierBits(std::uint8_t bits);
// Modifier bit of one of the eight modifier keys; 0 for any other key.
std::uint8_t ModifierBitFromKeyIndex(KeyIndex k);
// Keys whose press a keyboard hook never sees (Sys Req, KL, KR, Print Screen).
bool IsReleaseOnlyKey(KeyIndex k);

// Display name in the current language, written into buffer (capacity in
// characters, terminator included). A name whose length + 2 exceeds the
// capacity is cut to capacity - 1 characters. Nothing is written when buffer
// is null or capacity < 1.
void KeyNameFromKeyIndex(KeyIndex k, char16_t* buffer, int capacity, Language& language);
// The same name, uncut.
QString KeyNameFromKeyIndex(KeyIndex k, Language& language);
// Name of the first row carrying id; empty when none or when the row has no
// text key.
QString KeyNameFromKeyId(std::uint16_t id, Language& language);

// Applies a printf-style format from the language files to one key code.
// Only integer conversions (d i u o x X) with flags, width and precision are
// honoured, and only the first of them takes the code; anything else is kept
// literally, so a text file can never make it read a second argument.
QString FormatKeyCode(const QString& format, unsigned code);

}  // namespace kst
