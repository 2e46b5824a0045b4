#include "platform/KeyMessages.h"

#include <Qt>

#include <array>
#include <cstddef>

namespace kst {
namespace {

// A key as a PC keyboard and Windows know it: its set-1 make code, plus 0x100
// for a key sent with the E0 prefix (the value of lParam bits 16-24), and the
// virtual key Windows gives it with a US layout. The thread hook sees the
// generic VK_SHIFT, VK_CONTROL and VK_MENU for both keys of a pair; the
// scan code tells them apart.
struct PcKey {
  std::uint16_t scan = 0;
  std::uint8_t vk = 0;
};

struct EvdevKey {
  std::uint16_t evdev;
  PcKey key;
};

constexpr std::uint16_t kExtended = 0x100;

// Virtual keys named where the code below decides between them.
constexpr std::uint8_t kVkCancel = 0x03;
constexpr std::uint8_t kVkSnapshot = 0x2C;

// Set-1 codes that need a second look.
constexpr std::uint16_t kScanPrintScreen = kExtended | 0x37;
constexpr std::uint16_t kScanSysReq = 0x54;
constexpr std::uint16_t kScanPause = 0x45;
constexpr std::uint16_t kScanBreak = kExtended | 0x46;
constexpr std::uint16_t kScanHanja = 0x71;
constexpr std::uint16_t kScanHangul = 0x72;

// evdev codes (linux/input-event-codes.h) of the keys the desktop delivers,
// with their place on a PC keyboard. Media and internet keys come under two
// codes where the USB and the PS/2 drivers differ (My PC: KEY_FILE and
// KEY_COMPUTER; Media Player: KEY_CONFIG and KEY_MEDIA).
// clang-format off
constexpr EvdevKey kEvdevKeys[] = {
    {1,   {0x01, 0x1B}},                        // Esc
    {2,   {0x02, '1'}}, {3,  {0x03, '2'}}, {4,  {0x04, '3'}}, {5,  {0x05, '4'}},
    {6,   {0x06, '5'}}, {7,  {0x07, '6'}}, {8,  {0x08, '7'}}, {9,  {0x09, '8'}},
    {10,  {0x0A, '9'}}, {11, {0x0B, '0'}},
    {12,  {0x0C, 0xBD}},                        // -
    {13,  {0x0D, 0xBB}},                        // =
    {14,  {0x0E, 0x08}},                        // Backspace
    {15,  {0x0F, 0x09}},                        // Tab
    {16,  {0x10, 'Q'}}, {17, {0x11, 'W'}}, {18, {0x12, 'E'}}, {19, {0x13, 'R'}},
    {20,  {0x14, 'T'}}, {21, {0x15, 'Y'}}, {22, {0x16, 'U'}}, {23, {0x17, 'I'}},
    {24,  {0x18, 'O'}}, {25, {0x19, 'P'}},
    {26,  {0x1A, 0xDB}},                        // [
    {27,  {0x1B, 0xDD}},                        // ]
    {28,  {0x1C, 0x0D}},                        // Enter
    {29,  {0x1D, 0x11}},                        // Left Ctrl
    {30,  {0x1E, 'A'}}, {31, {0x1F, 'S'}}, {32, {0x20, 'D'}}, {33, {0x21, 'F'}},
    {34,  {0x22, 'G'}}, {35, {0x23, 'H'}}, {36, {0x24, 'J'}}, {37, {0x25, 'K'}},
    {38,  {0x26, 'L'}},
    {39,  {0x27, 0xBA}},                        // ;
    {40,  {0x28, 0xDE}},                        // '
    {41,  {0x29, 0xC0}},                        // `
    {42,  {0x2A, 0x10}},                        // Left Shift
    {43,  {0x2B, 0xDC}},                        // backslash
    {44,  {0x2C, 'Z'}}, {45, {0x2D, 'X'}}, {46, {0x2E, 'C'}}, {47, {0x2F, 'V'}},
    {48,  {0x30, 'B'}}, {49, {0x31, 'N'}}, {50, {0x32, 'M'}},
    {51,  {0x33, 0xBC}},                        // ,
    {52,  {0x34, 0xBE}},                        // .
    {53,  {0x35, 0xBF}},                        // /
    {54,  {0x36, 0x10}},                        // Right Shift
    {55,  {0x37, 0x6A}},                        // Num *
    {56,  {0x38, 0x12}},                        // Left Alt
    {57,  {0x39, 0x20}},                        // Space
    {58,  {0x3A, 0x14}},                        // Caps Lock
    {59,  {0x3B, 0x70}}, {60, {0x3C, 0x71}}, {61, {0x3D, 0x72}}, {62, {0x3E, 0x73}},
    {63,  {0x3F, 0x74}}, {64, {0x40, 0x75}}, {65, {0x41, 0x76}}, {66, {0x42, 0x77}},
    {67,  {0x43, 0x78}}, {68, {0x44, 0x79}},    // F1-F10
    {69,  {kExtended | 0x45, 0x90}},            // Num Lock: extended although it has no prefix
    {70,  {0x46, 0x91}},                        // Scroll Lock
    {71,  {0x47, 0x67}}, {72, {0x48, 0x68}}, {73, {0x49, 0x69}},  // Num 7 8 9
    {74,  {0x4A, 0x6D}},                        // Num -
    {75,  {0x4B, 0x64}}, {76, {0x4C, 0x65}}, {77, {0x4D, 0x66}},  // Num 4 5 6
    {78,  {0x4E, 0x6B}},                        // Num +
    {79,  {0x4F, 0x61}}, {80, {0x50, 0x62}}, {81, {0x51, 0x63}},  // Num 1 2 3
    {82,  {0x52, 0x60}},                        // Num 0
    {83,  {0x53, 0x6E}},                        // Num .
    {86,  {0x56, 0xE2}},                        // the key beside Left Shift (102-key boards)
    {87,  {0x57, 0x7A}}, {88, {0x58, 0x7B}},    // F11 F12
    {89,  {0x73, 0xC1}},                        // Ro
    {92,  {0x79, 0xFF}},                        // Henkan
    {93,  {0x70, 0xFF}},                        // Katakana/Hiragana
    {94,  {0x7B, 0xEB}},                        // Muhenkan
    {96,  {kExtended | 0x1C, 0x0D}},            // Num Enter
    {97,  {kExtended | 0x1D, 0x11}},            // Right Ctrl
    {98,  {kExtended | 0x35, 0x6F}},            // Num /
    {99,  {kScanPrintScreen, kVkSnapshot}},     // Print Screen
    {100, {kExtended | 0x38, 0x12}},            // Right Alt
    {102, {kExtended | 0x47, 0x24}},            // Home
    {103, {kExtended | 0x48, 0x26}},            // Up
    {104, {kExtended | 0x49, 0x21}},            // Page Up
    {105, {kExtended | 0x4B, 0x25}},            // Left
    {106, {kExtended | 0x4D, 0x27}},            // Right
    {107, {kExtended | 0x4F, 0x23}},            // End
    {108, {kExtended | 0x50, 0x28}},            // Down
    {109, {kExtended | 0x51, 0x22}},            // Page Down
    {110, {kExtended | 0x52, 0x2D}},            // Insert
    {111, {kExtended | 0x53, 0x2E}},            // Delete
    {113, {kExtended | 0x20, 0xAD}},            // Mute
    {114, {kExtended | 0x2E, 0xAE}},            // Volume Down
    {115, {kExtended | 0x30, 0xAF}},            // Volume Up
    {116, {kExtended | 0x5E, 0xFF}},            // Power
    {119, {kScanPause, 0x13}},                  // Pause: E1 1D 45, reported as 0x45
    {121, {0x7E, 0xC2}},                        // keypad comma (Brazilian)
    {122, {kScanHangul, 0xFF}},                 // Hangul
    {123, {kScanHanja, 0xE9}},                  // Hanja
    {124, {0x7D, 0xFF}},                        // Yen
    {125, {kExtended | 0x5B, 0x5B}},            // Left Windows
    {126, {kExtended | 0x5C, 0x5C}},            // Right Windows
    {127, {kExtended | 0x5D, 0x5D}},            // Application
    {128, {kExtended | 0x68, 0xA9}},            // WWW Stop
    {140, {kExtended | 0x21, 0xB7}},            // Calculator
    {142, {kExtended | 0x5F, 0x5F}},            // Sleep
    {143, {kExtended | 0x63, 0xFF}},            // Wake
    {144, {kExtended | 0x6B, 0xB6}},            // My PC (USB)
    {155, {kExtended | 0x6C, 0xB4}},            // Mail
    {156, {kExtended | 0x66, 0xAB}},            // WWW Favorites
    {157, {kExtended | 0x6B, 0xB6}},            // My PC (PS/2)
    {158, {kExtended | 0x6A, 0xA6}},            // WWW Back
    {159, {kExtended | 0x69, 0xA7}},            // WWW Forward
    {163, {kExtended | 0x19, 0xB0}},            // Next Track
    {164, {kExtended | 0x22, 0xB3}},            // Play/Pause
    {165, {kExtended | 0x10, 0xB1}},            // Previous Track
    {166, {kExtended | 0x24, 0xB2}},            // Stop
    {171, {kExtended | 0x6D, 0xB5}},            // Media Player (USB)
    {172, {kExtended | 0x32, 0xAC}},            // WWW Home
    {173, {kExtended | 0x67, 0xA8}},            // WWW Refresh
    {183, {0x64, 0x7C}}, {184, {0x65, 0x7D}}, {185, {0x66, 0x7E}}, {186, {0x67, 0x7F}},
    {187, {0x68, 0x80}}, {188, {0x69, 0x81}}, {189, {0x6A, 0x82}}, {190, {0x6B, 0x83}},
    {191, {0x6C, 0x84}}, {192, {0x6D, 0x85}}, {193, {0x6E, 0x86}}, {194, {0x76, 0x87}},  // F13-F24
    {217, {kExtended | 0x65, 0xAA}},            // WWW Search
    {226, {kExtended | 0x6D, 0xB5}},            // Media Player (PS/2)
};
// clang-format on

constexpr std::size_t kEvdevCodes = 256;

constexpr std::array<PcKey, kEvdevCodes> BuildEvdevTable() {
  std::array<PcKey, kEvdevCodes> table{};
  for (const EvdevKey& entry : kEvdevKeys) table[entry.evdev] = entry.key;
  return table;
}

constexpr std::array<PcKey, kEvdevCodes> kEvdevTable = BuildEvdevTable();

constexpr bool EveryEvdevCodeListedOnce() {
  for (std::size_t i = 0; i < std::size(kEvdevKeys); ++i) {
    if (kEvdevKeys[i].evdev >= kEvdevCodes || kEvdevKeys[i].key.scan == 0) return false;
    for (std::size_t j = i + 1; j < std::size(kEvdevKeys); ++j) {
      if (kEvdevKeys[i].evdev == kEvdevKeys[j].evdev) return false;
    }
  }
  return true;
}
static_assert(EveryEvdevCodeListedOnce());

// The keypad keys that change with Num Lock: evdev code and the virtual key
// with Num Lock off (Home, Up, Page Up, Left, Clear, Right, End, Down,
// Page Down, Insert, Delete).
struct KeypadKey {
  std::uint16_t evdev;
  std::uint8_t navigationVk;
};
constexpr KeypadKey kKeypadKeys[] = {{71, 0x24}, {72, 0x26}, {73, 0x21}, {75, 0x25},
                                     {76, 0x0C}, {77, 0x27}, {79, 0x23}, {80, 0x28},
                                     {81, 0x22}, {82, 0x2D}, {83, 0x2E}};

// xkb keysyms the conversion looks at.
constexpr std::uint32_t kXkSysReq = 0xFF15;
constexpr std::uint32_t kXkBreak = 0xFF6B;
constexpr std::uint32_t kXkKpFirstNavigation = 0xFF95;  // KP_Home
constexpr std::uint32_t kXkKpLastNavigation = 0xFF9F;   // KP_Delete

constexpr std::uint8_t kEvdevPrint = 99;
constexpr std::uint8_t kEvdevPause = 119;

const KeypadKey* FindKeypadKey(std::uint32_t evdev) {
  for (const KeypadKey& k : kKeypadKeys) {
    if (k.evdev == evdev) return &k;
  }
  return nullptr;
}

bool IsLatinLetter(std::uint32_t keysym) {
  return (keysym >= 'a' && keysym <= 'z') || (keysym >= 'A' && keysym <= 'Z');
}

// A key that types a character: a letter, a digit or punctuation.
bool IsCharacterVk(std::uint8_t vk) {
  return (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z') || (vk >= 0xBA && vk <= 0xC0) ||
         (vk >= 0xDB && vk <= 0xDF) || vk == 0xE2;
}

// How one key event looks before the lParam is put together: the physical
// key and the state-dependent choices (Num Lock off, Alt+Print, Ctrl+Pause).
struct Resolved {
  std::uint32_t evdev = 0;
  bool keypadNavigation = false;  // a keypad key with Num Lock off
  bool sysReq = false;            // Print Screen with Alt held
  bool brk = false;               // Pause with Ctrl held
  std::uint8_t letterVk = 0;      // the letter the layout puts on a character key
};

std::optional<Resolved> ResolveNative(const NativeKeyEvent& event) {
  constexpr std::uint32_t kXkbOffset = 8;
  if (event.nativeScanCode < kXkbOffset || event.nativeScanCode - kXkbOffset >= kEvdevCodes) {
    return std::nullopt;
  }
  Resolved r;
  r.evdev = event.nativeScanCode - kXkbOffset;
  const PcKey key = kEvdevTable[r.evdev];
  if (key.scan == 0) return std::nullopt;
  const std::uint32_t sym = event.nativeVirtualKey;
  if (FindKeypadKey(r.evdev) != nullptr) {
    r.keypadNavigation = sym >= kXkKpFirstNavigation && sym <= kXkKpLastNavigation;
  } else if (r.evdev == kEvdevPrint) {
    r.sysReq = sym == kXkSysReq;
  } else if (r.evdev == kEvdevPause) {
    r.brk = sym == kXkBreak;
  } else if (IsCharacterVk(key.vk) && IsLatinLetter(sym)) {
    // Windows follows the layout for letters (an AZERTY A key gives VK 'A').
    r.letterVk = static_cast<std::uint8_t>(sym & ~0x20u);
  }
  return r;
}

struct QtKeyPlace {
  int qtKey;
  std::uint16_t evdev;
};

// Qt keys of a US layout and where they lie, for events without a native
// scan code. Shifted symbols lie on the key that types them; Qt does not
// tell the two Shift, Ctrl, Alt or Windows keys apart except where it has
// keys of its own for them.
// clang-format off
constexpr QtKeyPlace kQtKeys[] = {
    {Qt::Key_Escape, 1},
    {Qt::Key_1, 2}, {Qt::Key_Exclam, 2}, {Qt::Key_2, 3}, {Qt::Key_At, 3},
    {Qt::Key_3, 4}, {Qt::Key_NumberSign, 4}, {Qt::Key_4, 5}, {Qt::Key_Dollar, 5},
    {Qt::Key_5, 6}, {Qt::Key_Percent, 6}, {Qt::Key_6, 7}, {Qt::Key_AsciiCircum, 7},
    {Qt::Key_7, 8}, {Qt::Key_Ampersand, 8}, {Qt::Key_8, 9}, {Qt::Key_Asterisk, 9},
    {Qt::Key_9, 10}, {Qt::Key_ParenLeft, 10}, {Qt::Key_0, 11}, {Qt::Key_ParenRight, 11},
    {Qt::Key_Minus, 12}, {Qt::Key_Underscore, 12}, {Qt::Key_Equal, 13}, {Qt::Key_Plus, 13},
    {Qt::Key_Backspace, 14}, {Qt::Key_Tab, 15}, {Qt::Key_Backtab, 15},
    {Qt::Key_Q, 16}, {Qt::Key_W, 17}, {Qt::Key_E, 18}, {Qt::Key_R, 19}, {Qt::Key_T, 20},
    {Qt::Key_Y, 21}, {Qt::Key_U, 22}, {Qt::Key_I, 23}, {Qt::Key_O, 24}, {Qt::Key_P, 25},
    {Qt::Key_BracketLeft, 26}, {Qt::Key_BraceLeft, 26},
    {Qt::Key_BracketRight, 27}, {Qt::Key_BraceRight, 27},
    {Qt::Key_Return, 28}, {Qt::Key_Control, 29},
    {Qt::Key_A, 30}, {Qt::Key_S, 31}, {Qt::Key_D, 32}, {Qt::Key_F, 33}, {Qt::Key_G, 34},
    {Qt::Key_H, 35}, {Qt::Key_J, 36}, {Qt::Key_K, 37}, {Qt::Key_L, 38},
    {Qt::Key_Semicolon, 39}, {Qt::Key_Colon, 39}, {Qt::Key_Apostrophe, 40},
    {Qt::Key_QuoteDbl, 40}, {Qt::Key_QuoteLeft, 41}, {Qt::Key_AsciiTilde, 41},
    {Qt::Key_Shift, 42}, {Qt::Key_Backslash, 43}, {Qt::Key_Bar, 43},
    {Qt::Key_Z, 44}, {Qt::Key_X, 45}, {Qt::Key_C, 46}, {Qt::Key_V, 47}, {Qt::Key_B, 48},
    {Qt::Key_N, 49}, {Qt::Key_M, 50},
    {Qt::Key_Comma, 51}, {Qt::Key_Less, 51}, {Qt::Key_Period, 52}, {Qt::Key_Greater, 52},
    {Qt::Key_Slash, 53}, {Qt::Key_Question, 53},
    {Qt::Key_Alt, 56}, {Qt::Key_Space, 57}, {Qt::Key_CapsLock, 58},
    {Qt::Key_F1, 59}, {Qt::Key_F2, 60}, {Qt::Key_F3, 61}, {Qt::Key_F4, 62}, {Qt::Key_F5, 63},
    {Qt::Key_F6, 64}, {Qt::Key_F7, 65}, {Qt::Key_F8, 66}, {Qt::Key_F9, 67}, {Qt::Key_F10, 68},
    {Qt::Key_NumLock, 69}, {Qt::Key_ScrollLock, 70}, {Qt::Key_F11, 87}, {Qt::Key_F12, 88},
    {Qt::Key_Enter, 96}, {Qt::Key_AltGr, 100}, {Qt::Key_Print, 99}, {Qt::Key_SysReq, 99},
    {Qt::Key_Home, 102}, {Qt::Key_Up, 103}, {Qt::Key_PageUp, 104}, {Qt::Key_Left, 105},
    {Qt::Key_Right, 106}, {Qt::Key_End, 107}, {Qt::Key_Down, 108}, {Qt::Key_PageDown, 109},
    {Qt::Key_Insert, 110}, {Qt::Key_Delete, 111},
    {Qt::Key_VolumeMute, 113}, {Qt::Key_VolumeDown, 114}, {Qt::Key_VolumeUp, 115},
    {Qt::Key_PowerOff, 116}, {Qt::Key_Pause, 119},
    {Qt::Key_Meta, 125}, {Qt::Key_Super_L, 125}, {Qt::Key_Super_R, 126}, {Qt::Key_Menu, 127},
    {Qt::Key_Stop, 128}, {Qt::Key_Calculator, 140}, {Qt::Key_Sleep, 142},
    {Qt::Key_WakeUp, 143}, {Qt::Key_Explorer, 144}, {Qt::Key_LaunchMail, 155},
    {Qt::Key_Favorites, 156}, {Qt::Key_Launch0, 157}, {Qt::Key_Back, 158},
    {Qt::Key_Forward, 159}, {Qt::Key_MediaNext, 163}, {Qt::Key_MediaPlay, 164},
    {Qt::Key_MediaTogglePlayPause, 164}, {Qt::Key_MediaPrevious, 165},
    {Qt::Key_MediaStop, 166}, {Qt::Key_Tools, 171}, {Qt::Key_HomePage, 172},
    {Qt::Key_Refresh, 173},
    {Qt::Key_F13, 183}, {Qt::Key_F14, 184}, {Qt::Key_F15, 185}, {Qt::Key_F16, 186},
    {Qt::Key_F17, 187}, {Qt::Key_F18, 188}, {Qt::Key_F19, 189}, {Qt::Key_F20, 190},
    {Qt::Key_F21, 191}, {Qt::Key_F22, 192}, {Qt::Key_F23, 193}, {Qt::Key_F24, 194},
    {Qt::Key_Search, 217}, {Qt::Key_LaunchMedia, 226},
};

// The same for keys that carry Qt's keypad flag. With Num Lock off the
// keypad's digits arrive as navigation keys.
constexpr QtKeyPlace kQtKeypadKeys[] = {
    {Qt::Key_7, 71}, {Qt::Key_8, 72}, {Qt::Key_9, 73}, {Qt::Key_Minus, 74},
    {Qt::Key_4, 75}, {Qt::Key_5, 76}, {Qt::Key_6, 77}, {Qt::Key_Plus, 78},
    {Qt::Key_1, 79}, {Qt::Key_2, 80}, {Qt::Key_3, 81}, {Qt::Key_0, 82},
    {Qt::Key_Period, 83}, {Qt::Key_Comma, 83}, {Qt::Key_Asterisk, 55},
    {Qt::Key_Slash, 98}, {Qt::Key_Enter, 96}, {Qt::Key_Return, 96},
    {Qt::Key_Home, 71}, {Qt::Key_Up, 72}, {Qt::Key_PageUp, 73}, {Qt::Key_Left, 75},
    {Qt::Key_Clear, 76}, {Qt::Key_Right, 77}, {Qt::Key_End, 79}, {Qt::Key_Down, 80},
    {Qt::Key_PageDown, 81}, {Qt::Key_Insert, 82}, {Qt::Key_Delete, 83},
};
// clang-format on

bool IsNavigationQtKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Home:
    case Qt::Key_Up:
    case Qt::Key_PageUp:
    case Qt::Key_Left:
    case Qt::Key_Clear:
    case Qt::Key_Right:
    case Qt::Key_End:
    case Qt::Key_Down:
    case Qt::Key_PageDown:
    case Qt::Key_Insert:
    case Qt::Key_Delete:
      return true;
    default:
      return false;
  }
}

std::optional<Resolved> ResolveQtKey(const NativeKeyEvent& event) {
  if (event.keypad) {
    for (const QtKeyPlace& place : kQtKeypadKeys) {
      if (place.qtKey != event.qtKey) continue;
      Resolved r;
      r.evdev = place.evdev;
      r.keypadNavigation = IsNavigationQtKey(event.qtKey);
      return r;
    }
  }
  for (const QtKeyPlace& place : kQtKeys) {
    if (place.qtKey != event.qtKey) continue;
    Resolved r;
    r.evdev = place.evdev;
    r.sysReq = event.qtKey == Qt::Key_SysReq;
    return r;
  }
  return std::nullopt;
}

PcKey PcKeyOf(const Resolved& r) {
  PcKey key = kEvdevTable[r.evdev];
  if (r.keypadNavigation) {
    if (const KeypadKey* keypad = FindKeypadKey(r.evdev)) key.vk = keypad->navigationVk;
  } else if (r.sysReq) {
    key = {kScanSysReq, kVkSnapshot};
  } else if (r.brk) {
    key = {kScanBreak, kVkCancel};
  } else if (r.letterVk != 0) {
    key.vk = r.letterVk;
  }
  return key;
}

// Keys whose press a Windows hook never sees; only their release arrives.
bool PressIsHidden(std::uint16_t scan) {
  return scan == kScanPrintScreen || scan == kScanSysReq || scan == kScanHanja ||
         scan == kScanHangul;
}

}  // namespace

std::optional<KeyMessage> KeyMessageFromNativeEvent(const NativeKeyEvent& event) {
  std::optional<Resolved> resolved;
  if (event.nativeScanCode != 0) resolved = ResolveNative(event);
  // A scan code the table does not know (a key code that a tool such as
  // xdotool bound for the moment) is judged by its Qt key like a synthetic one.
  if (!resolved) resolved = ResolveQtKey(event);
  if (!resolved) return std::nullopt;
  // Windows repeats a held key with presses alone; the release that X11 and
  // Wayland put before each repeated press has no counterpart.
  if (event.release && event.autoRepeat) return std::nullopt;
  const PcKey key = PcKeyOf(*resolved);
  if (!event.release && PressIsHidden(key.scan)) return std::nullopt;

  KeyMessage message;
  message.vk = key.vk;
  message.lParam = 1u | (static_cast<std::uint32_t>(key.scan & 0xFF) << 16);
  if (key.scan & kExtended) message.lParam |= kLParamExtended;
  if (event.release || event.autoRepeat) message.lParam |= kLParamPreviousState;
  if (event.release) message.lParam |= kLParamTransition;
  return message;
}

}  // namespace kst
