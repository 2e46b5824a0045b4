#include "foundation/BoardKeys.h"

#include <cstddef>

namespace kst {
namespace {

// clang-format off
constexpr std::array<BoardKey, kBoardKeyCount> kBoardKeys = {{
    // control, KeyIndex, skin key, LED    position and key
    {1058, 0x01E, 0x01E, 64},  // 0 A
    {1075, 0x030, 0x030, 90},  // 1 B
    {1073, 0x02E, 0x02E, 88},  // 2 C
    {1060, 0x020, 0x020, 66},  // 3 D
    {1046, 0x012, 0x012, 45},  // 4 E
    {1061, 0x021, 0x021, 67},  // 5 F
    {1062, 0x022, 0x022, 68},  // 6 G
    {1063, 0x023, 0x023, 6},  // 7 H
    {1051, 0x017, 0x017, 6},  // 8 I
    {1064, 0x024, 0x024, 6},  // 9 J
    {1065, 0x025, 0x025, 6},  // 10 K
    {1066, 0x026, 0x026, 6},  // 11 L
    {1077, 0x032, 0x032, 5},  // 12 M
    {1076, 0x031, 0x031, 6},  // 13 N
    {1052, 0x018, 0x018, 6},  // 14 O
    {1053, 0x019, 0x019, 6},  // 15 P
    {1044, 0x010, 0x010, 43},  // 16 Q
    {1047, 0x013, 0x013, 46},  // 17 R
    {1059, 0x01F, 0x01F, 65},  // 18 S
    {1048, 0x014, 0x014, 47},  // 19 T
    {1050, 0x016, 0x016, 6},  // 20 U
    {1074, 0x02F, 0x02F, 89},  // 21 V
    {1045, 0x011, 0x011, 44},  // 22 W
    {1072, 0x02D, 0x02D, 87},  // 23 X
    {1049, 0x015, 0x015, 6},  // 24 Y
    {1071, 0x02C, 0x02C, 86},  // 25 Z
    {1030, 0x002, 0x002, 22},  // 26 1
    {1031, 0x003, 0x003, 23},  // 27 2
    {1032, 0x004, 0x004, 24},  // 28 3
    {1033, 0x005, 0x005, 25},  // 29 4
    {1034, 0x006, 0x006, 26},  // 30 5
    {1035, 0x007, 0x007, 27},  // 31 6
    {1036, 0x008, 0x008, 6},  // 32 7
    {1037, 0x009, 0x009, 6},  // 33 8
    {1038, 0x00A, 0x00A, 6},  // 34 9
    {1039, 0x00B, 0x00B, 6},  // 35 0
    {1070, 0x01C, 0x01C, 6},  // 36 Enter
    {1022, 0x001, 0x001, 0},  // 37 Esc
    {1043, 0x00E, 0x00E, 6},  // 38 Backspace
    {1056, 0x00F, 0x00F, 42},  // 39 Tab
    {1090, 0x039, 0x039, 108},  // 40 Space
    {1040, 0x00C, 0x00C, 6},  // 41 Minus
    {1041, 0x00D, 0x00D, 6},  // 42 Equals
    {1054, 0x01A, 0x01A, 6},  // 43 Left bracket
    {1055, 0x01B, 0x01B, 6},  // 44 Right bracket
    {1042, 0x02B, 0x02B, 6},  // 45 Backslash
    {1067, 0x027, 0x027, 6},  // 46 Semicolon
    {1068, 0x028, 0x028, 6},  // 47 Quote
    {1029, 0x029, 0x029, 21},  // 48 Grave accent
    {1078, 0x033, 0x033, 6},  // 49 Comma
    {1079, 0x034, 0x034, 6},  // 50 Period
    {1080, 0x035, 0x035, 6},  // 51 Slash
    {1010, 0x03B, 0x03B, 1},  // 52 F1
    {1011, 0x03C, 0x03C, 2},  // 53 F2
    {1012, 0x03D, 0x03D, 3},  // 54 F3
    {1013, 0x03E, 0x03E, 4},  // 55 F4
    {1014, 0x03F, 0x03F, 6},  // 56 F5
    {1015, 0x040, 0x040, 6},  // 57 F6
    {1023, 0x041, 0x041, 6},  // 58 F7
    {1024, 0x042, 0x042, 6},  // 59 F8
    {1025, 0x043, 0x043, 6},  // 60 F9
    {1026, 0x044, 0x044, 6},  // 61 F10
    {1027, 0x057, 0x057, 6},  // 62 F11
    {1028, 0x058, 0x058, 6},  // 63 F12
    {1091, 0x137, 0x0B7, 6},  // 64 Print Screen
    {1093, 0x045, 0x045, 6},  // 65 Pause
    {1094, 0x152, 0x0D2, 6},  // 66 Insert
    {1097, 0x153, 0x0D3, 6},  // 67 Delete
    {1095, 0x147, 0x0C7, 6},  // 68 Home
    {1098, 0x14F, 0x0CF, 6},  // 69 End
    {1096, 0x149, 0x0C9, 6},  // 70 Page Up
    {1099, 0x151, 0x0D1, 6},  // 71 Page Down
    {1103, 0x148, 0x0C8, 6},  // 72 Up
    {1101, 0x150, 0x0D0, 6},  // 73 Down
    {1100, 0x14B, 0x0CB, 6},  // 74 Left
    {1102, 0x14D, 0x0CD, 6},  // 75 Right
    {1092, 0x046, 0x046, 6},  // 76 Scroll Lock
    {1069, 0x03A, 0x03A, 63},  // 77 Caps Lock
    {1088, 0x15D, 0x0DD, 6},  // 78 App
    {1083, 0x01D, 0x01D, 105},  // 79 Left Ctrl
    {1089, 0x11D, 0x09D, 6},  // 80 Right Ctrl
    {1082, 0x02A, 0x02A, 84},  // 81 Left Shift
    {1081, 0x036, 0x036, 6},  // 82 Right Shift
    {1085, 0x038, 0x038, 107},  // 83 Left Alt
    {1086, 0x138, 0x0B8, 6},  // 84 Right Alt
    {1084, 0x15B, 0x0DB, 6},  // 85 Left Win
    {1087, 0x15C, 0x0DC, 6},  // 86 Right Win
    {1115, 0x04F, 0x04F, 6},  // 87 Num 1
    {1116, 0x050, 0x050, 6},  // 88 Num 2
    {1117, 0x051, 0x051, 6},  // 89 Num 3
    {1112, 0x04B, 0x04B, 6},  // 90 Num 4
    {1113, 0x04C, 0x04C, 6},  // 91 Num 5
    {1114, 0x04D, 0x04D, 6},  // 92 Num 6
    {1108, 0x047, 0x047, 6},  // 93 Num 7
    {1109, 0x048, 0x048, 6},  // 94 Num 8
    {1110, 0x049, 0x049, 6},  // 95 Num 9
    {1120, 0x052, 0x052, 6},  // 96 Num 0
    {1104, 0x145, 0x0C5, 6},  // 97 Num Lock
    {1118, 0x11C, 0x09C, 6},  // 98 Num Enter
    {1119, 0x053, 0x053, 6},  // 99 Num .
    {1105, 0x135, 0x0B5, 6},  // 100 Num /
    {1106, 0x037, 0x037, 6},  // 101 Num *
    {1107, 0x04A, 0x04A, 6},  // 102 Num -
    {1111, 0x04E, 0x04E, 6},  // 103 Num +
}};
// clang-format on

constexpr bool SkinKeysAreSlots() {
  for (const BoardKey& b : kBoardKeys) {
    if (b.skinKey != SlotFromKeyIndex(b.key)) return false;
  }
  return true;
}
static_assert(SkinKeysAreSlots(), "a skin key number is the slot of its key");

constexpr bool KeysAndControlsAreUnique() {
  for (std::size_t i = 0; i < kBoardKeys.size(); ++i) {
    for (std::size_t j = i + 1; j < kBoardKeys.size(); ++j) {
      if (kBoardKeys[i].key == kBoardKeys[j].key) return false;
      if (kBoardKeys[i].controlId == kBoardKeys[j].controlId) return false;
    }
  }
  return true;
}
static_assert(KeysAndControlsAreUnique());

}  // namespace

const std::array<BoardKey, kBoardKeyCount>& BoardKeyList() { return kBoardKeys; }

int BoardPositionOfKey(KeyIndex key) {
  for (int i = 0; i < kBoardKeyCount; ++i) {
    if (kBoardKeys[i].key == key) return i;
  }
  return -1;
}

int BoardPositionOfControl(std::uint16_t controlId) {
  for (int i = 0; i < kBoardKeyCount; ++i) {
    if (kBoardKeys[i].controlId == controlId) return i;
  }
  return -1;
}

}  // namespace kst
