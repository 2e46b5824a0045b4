#include "platform/KeyMessages.h"

#include <gtest/gtest.h>

#include <Qt>

#include <cstdio>
#include <string>

#include "foundation/KeyCodeTable.h"

namespace kst {
namespace {

// xkb keysyms of a US layout.
constexpr std::uint32_t kXkBackSpace = 0xFF08, kXkTab = 0xFF09, kXkReturn = 0xFF0D,
                        kXkPause = 0xFF13, kXkScrollLock = 0xFF14, kXkSysReq = 0xFF15,
                        kXkEscape = 0xFF1B, kXkHome = 0xFF50, kXkLeft = 0xFF51, kXkUp = 0xFF52,
                        kXkRight = 0xFF53, kXkDown = 0xFF54, kXkPrior = 0xFF55, kXkNext = 0xFF56,
                        kXkEnd = 0xFF57, kXkPrint = 0xFF61, kXkInsert = 0xFF63, kXkMenu = 0xFF67,
                        kXkBreak = 0xFF6B, kXkNumLock = 0xFF7F, kXkKpEnter = 0xFF8D,
                        kXkKpHome = 0xFF95, kXkKpLeft = 0xFF96, kXkKpUp = 0xFF97,
                        kXkKpRight = 0xFF98, kXkKpDown = 0xFF99, kXkKpPrior = 0xFF9A,
                        kXkKpNext = 0xFF9B, kXkKpEnd = 0xFF9C, kXkKpBegin = 0xFF9D,
                        kXkKpInsert = 0xFF9E, kXkKpDelete = 0xFF9F, kXkKpMultiply = 0xFFAA,
                        kXkKpAdd = 0xFFAB, kXkKpSubtract = 0xFFAD, kXkKpDecimal = 0xFFAE,
                        kXkKpDivide = 0xFFAF, kXkKp0 = 0xFFB0, kXkF1 = 0xFFBE, kXkShiftL = 0xFFE1,
                        kXkShiftR = 0xFFE2, kXkControlL = 0xFFE3, kXkControlR = 0xFFE4,
                        kXkCapsLock = 0xFFE5, kXkAltL = 0xFFE9, kXkAltR = 0xFFEA,
                        kXkSuperL = 0xFFEB, kXkSuperR = 0xFFEC, kXkDelete = 0xFFFF,
                        kXkCyrillicEf = 0x06C6;

constexpr std::uint32_t kXkbOffset = 8;

NativeKeyEvent Native(std::uint32_t evdev, std::uint32_t keysym, bool release = false,
                      bool autoRepeat = false) {
  NativeKeyEvent e;
  e.nativeScanCode = evdev + kXkbOffset;
  e.nativeVirtualKey = keysym;
  e.release = release;
  e.autoRepeat = autoRepeat;
  return e;
}

KeyIndex IndexOf(const std::optional<KeyMessage>& m) {
  return m ? KeyIndexFromKeyMessage(m->vk, m->lParam) : 0;
}

std::string Hex(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%03X", v);
  return buf;
}

struct BoardKey {
  const char* name;
  std::uint32_t evdev;
  std::uint32_t keysym;
  KeyIndex key;
};

// The 104 keys of the keyboard picture, as X11 and Wayland deliver them with
// a US layout and Num Lock on.
// clang-format off
constexpr BoardKey kBoardKeys[] = {
    {"A", 30, 'a', 0x01E}, {"B", 48, 'b', 0x030}, {"C", 46, 'c', 0x02E}, {"D", 32, 'd', 0x020},
    {"E", 18, 'e', 0x012}, {"F", 33, 'f', 0x021}, {"G", 34, 'g', 0x022}, {"H", 35, 'h', 0x023},
    {"I", 23, 'i', 0x017}, {"J", 36, 'j', 0x024}, {"K", 37, 'k', 0x025}, {"L", 38, 'l', 0x026},
    {"M", 50, 'm', 0x032}, {"N", 49, 'n', 0x031}, {"O", 24, 'o', 0x018}, {"P", 25, 'p', 0x019},
    {"Q", 16, 'q', 0x010}, {"R", 19, 'r', 0x013}, {"S", 31, 's', 0x01F}, {"T", 20, 't', 0x014},
    {"U", 22, 'u', 0x016}, {"V", 47, 'v', 0x02F}, {"W", 17, 'w', 0x011}, {"X", 45, 'x', 0x02D},
    {"Y", 21, 'y', 0x015}, {"Z", 44, 'z', 0x02C},
    {"1", 2, '1', 0x002}, {"2", 3, '2', 0x003}, {"3", 4, '3', 0x004}, {"4", 5, '4', 0x005},
    {"5", 6, '5', 0x006}, {"6", 7, '6', 0x007}, {"7", 8, '7', 0x008}, {"8", 9, '8', 0x009},
    {"9", 10, '9', 0x00A}, {"0", 11, '0', 0x00B},
    {"Enter", 28, kXkReturn, 0x01C}, {"Esc", 1, kXkEscape, 0x001},
    {"Backspace", 14, kXkBackSpace, 0x00E}, {"Tab", 15, kXkTab, 0x00F},
    {"Space", 57, ' ', 0x039}, {"Minus", 12, '-', 0x00C}, {"Equals", 13, '=', 0x00D},
    {"Left bracket", 26, '[', 0x01A}, {"Right bracket", 27, ']', 0x01B},
    {"Backslash", 43, '\\', 0x02B}, {"Semicolon", 39, ';', 0x027}, {"Quote", 40, '\'', 0x028},
    {"Grave accent", 41, '`', 0x029}, {"Comma", 51, ',', 0x033}, {"Period", 52, '.', 0x034},
    {"Slash", 53, '/', 0x035},
    {"F1", 59, kXkF1, 0x03B}, {"F2", 60, kXkF1 + 1, 0x03C}, {"F3", 61, kXkF1 + 2, 0x03D},
    {"F4", 62, kXkF1 + 3, 0x03E}, {"F5", 63, kXkF1 + 4, 0x03F}, {"F6", 64, kXkF1 + 5, 0x040},
    {"F7", 65, kXkF1 + 6, 0x041}, {"F8", 66, kXkF1 + 7, 0x042}, {"F9", 67, kXkF1 + 8, 0x043},
    {"F10", 68, kXkF1 + 9, 0x044}, {"F11", 87, kXkF1 + 10, 0x057}, {"F12", 88, kXkF1 + 11, 0x058},
    {"Print Screen", 99, kXkPrint, 0x137}, {"Pause", 119, kXkPause, 0x045},
    {"Insert", 110, kXkInsert, 0x152}, {"Delete", 111, kXkDelete, 0x153},
    {"Home", 102, kXkHome, 0x147}, {"End", 107, kXkEnd, 0x14F},
    {"Page Up", 104, kXkPrior, 0x149}, {"Page Down", 109, kXkNext, 0x151},
    {"Up", 103, kXkUp, 0x148}, {"Down", 108, kXkDown, 0x150},
    {"Left", 105, kXkLeft, 0x14B}, {"Right", 106, kXkRight, 0x14D},
    {"Scroll Lock", 70, kXkScrollLock, 0x046}, {"Caps Lock", 58, kXkCapsLock, 0x03A},
    {"App", 127, kXkMenu, 0x15D},
    {"Left Ctrl", 29, kXkControlL, 0x01D}, {"Right Ctrl", 97, kXkControlR, 0x11D},
    {"Left Shift", 42, kXkShiftL, 0x02A}, {"Right Shift", 54, kXkShiftR, 0x036},
    {"Left Alt", 56, kXkAltL, 0x038}, {"Right Alt", 100, kXkAltR, 0x138},
    {"Left Win", 125, kXkSuperL, 0x15B}, {"Right Win", 126, kXkSuperR, 0x15C},
    {"Num 1", 79, kXkKp0 + 1, 0x04F}, {"Num 2", 80, kXkKp0 + 2, 0x050},
    {"Num 3", 81, kXkKp0 + 3, 0x051}, {"Num 4", 75, kXkKp0 + 4, 0x04B},
    {"Num 5", 76, kXkKp0 + 5, 0x04C}, {"Num 6", 77, kXkKp0 + 6, 0x04D},
    {"Num 7", 71, kXkKp0 + 7, 0x047}, {"Num 8", 72, kXkKp0 + 8, 0x048},
    {"Num 9", 73, kXkKp0 + 9, 0x049}, {"Num 0", 82, kXkKp0, 0x052},
    {"Num Lock", 69, kXkNumLock, 0x145}, {"Num Enter", 96, kXkKpEnter, 0x11C},
    {"Num .", 83, kXkKpDecimal, 0x053}, {"Num /", 98, kXkKpDivide, 0x135},
    {"Num *", 55, kXkKpMultiply, 0x037}, {"Num -", 74, kXkKpSubtract, 0x04A},
    {"Num +", 78, kXkKpAdd, 0x04E},
};
// clang-format on
static_assert(std::size(kBoardKeys) == 104);

// Every board key gives its KeyIndex on press and on release. Print Screen is
// the one key whose press a Windows hook never saw: only its release comes
// through, so the recorder's release-only rule sees what it expects.
TEST(KeyMessages, EveryBoardKeyGivesItsKeyIndex) {
  for (const BoardKey& k : kBoardKeys) {
    SCOPED_TRACE(k.name);
    const auto press = KeyMessageFromNativeEvent(Native(k.evdev, k.keysym));
    const auto release = KeyMessageFromNativeEvent(Native(k.evdev, k.keysym, true));
    ASSERT_TRUE(release.has_value());
    EXPECT_EQ(Hex(IndexOf(release)), Hex(k.key));
    if (k.key == 0x137) {
      EXPECT_FALSE(press.has_value());
    } else {
      ASSERT_TRUE(press.has_value());
      EXPECT_EQ(Hex(IndexOf(press)), Hex(k.key));
    }
  }
}

// The multimedia keys (the keys the editors never capture or record) with
// both codes where the USB and the PS/2 drivers differ.
TEST(KeyMessages, MediaKeysGiveTheirKeyIndex) {
  struct Case {
    const char* name;
    std::uint32_t evdev;
    KeyIndex key;
  };
  constexpr Case kCases[] = {
      {"Media Player (USB)", 171, 0x16D},
      {"Media Player (PS/2)", 226, 0x16D},
      {"Play/Pause", 164, 0x122},
      {"Stop", 166, 0x124},
      {"Prev Track", 165, 0x110},
      {"Next Track", 163, 0x119},
      {"V-", 114, 0x12E},
      {"V+", 115, 0x130},
      {"Mute", 113, 0x120},
      {"WWW Home", 172, 0x132},
      {"WWW Refresh", 173, 0x167},
      {"WWW Stop", 128, 0x168},
      {"WWW Back", 158, 0x16A},
      {"WWW Forward", 159, 0x169},
      {"WWW Favorite", 156, 0x166},
      {"WWW Search", 217, 0x165},
      {"My PC (USB)", 144, 0x16B},
      {"My PC (PS/2)", 157, 0x16B},
      {"Calc", 140, 0x121},
      {"Mail", 155, 0x16C},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Hex(IndexOf(KeyMessageFromNativeEvent(Native(c.evdev, 0)))), Hex(c.key));
    EXPECT_EQ(Hex(IndexOf(KeyMessageFromNativeEvent(Native(c.evdev, 0, true)))), Hex(c.key));
  }
}

// The exact (virtual key, lParam) pairs of the keys Windows treats apart:
// the extended bit decides between Pause and Num Lock, the Windows and
// Application keys are what the low-level rules look for, and Print Screen,
// Alt+Print (Sys Req) and Ctrl+Pause (Break) come as Windows sent them.
TEST(KeyMessages, SpecialKeysComeAsWindowsSentThem) {
  constexpr std::uint32_t kPress = 1;
  constexpr std::uint32_t kRelease = 1 | kLParamPreviousState | kLParamTransition;
  struct Case {
    const char* name;
    std::uint32_t evdev;
    std::uint32_t keysym;
    bool release;
    std::uint32_t vk;
    std::uint32_t lParam;
    KeyIndex key;
  };
  constexpr Case kCases[] = {
      {"Pause", 119, kXkPause, false, 0x13, kPress | 0x45u << 16, 0x045},
      {"Break", 119, kXkBreak, false, 0x03, kPress | 0x46u << 16 | kLParamExtended, 0x146},
      {"Num Lock", 69, kXkNumLock, false, 0x90, kPress | 0x45u << 16 | kLParamExtended, 0x145},
      {"Print Screen", 99, kXkPrint, true, 0x2C, kRelease | 0x37u << 16 | kLParamExtended, 0x137},
      {"Sys Req", 99, kXkSysReq, true, 0x2C, kRelease | 0x54u << 16, 0x054},
      {"Left Win", 125, kXkSuperL, false, 0x5B, kPress | 0x5Bu << 16 | kLParamExtended, 0x15B},
      {"Right Win", 126, kXkSuperR, true, 0x5C, kRelease | 0x5Cu << 16 | kLParamExtended, 0x15C},
      {"App", 127, kXkMenu, false, 0x5D, kPress | 0x5Du << 16 | kLParamExtended, 0x15D},
      {"Right Shift", 54, kXkShiftR, false, 0x10, kPress | 0x36u << 16, 0x036},
      {"Right Ctrl", 97, kXkControlR, false, 0x11, kPress | 0x1Du << 16 | kLParamExtended, 0x11D},
      {"Num Enter", 96, kXkKpEnter, false, 0x0D, kPress | 0x1Cu << 16 | kLParamExtended, 0x11C},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto m = KeyMessageFromNativeEvent(Native(c.evdev, c.keysym, c.release));
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(Hex(m->vk), Hex(c.vk));
    EXPECT_EQ(m->lParam, c.lParam) << std::hex << m->lParam;
    EXPECT_EQ(Hex(IndexOf(m)), Hex(c.key));
  }
  // Neither the press of Print Screen nor that of Alt+Print reaches a hook,
  // nor the repeated presses of either held down.
  EXPECT_FALSE(KeyMessageFromNativeEvent(Native(99, kXkPrint)));
  EXPECT_FALSE(KeyMessageFromNativeEvent(Native(99, kXkSysReq)));
  EXPECT_FALSE(KeyMessageFromNativeEvent(Native(99, kXkPrint, false, true)));
}

// With Num Lock off the keypad gives the navigation virtual keys, and the
// key is still the keypad key, never the navigation block's own key.
TEST(KeyMessages, KeypadWithNumLockOffStaysOnTheKeypad) {
  struct Case {
    std::uint32_t evdev;
    std::uint32_t keysym;
    std::uint32_t vk;
    KeyIndex key;
  };
  constexpr Case kCases[] = {
      {71, kXkKpHome, 0x24, 0x047},   {72, kXkKpUp, 0x26, 0x048},     {73, kXkKpPrior, 0x21, 0x049},
      {75, kXkKpLeft, 0x25, 0x04B},   {76, kXkKpBegin, 0x0C, 0x04C},  {77, kXkKpRight, 0x27, 0x04D},
      {79, kXkKpEnd, 0x23, 0x04F},    {80, kXkKpDown, 0x28, 0x050},   {81, kXkKpNext, 0x22, 0x051},
      {82, kXkKpInsert, 0x2D, 0x052}, {83, kXkKpDelete, 0x2E, 0x053},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.evdev);
    const auto m = KeyMessageFromNativeEvent(Native(c.evdev, c.keysym));
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(Hex(m->vk), Hex(c.vk));
    EXPECT_FALSE(m->lParam & kLParamExtended);
    EXPECT_EQ(Hex(IndexOf(m)), Hex(c.key));
  }
}

// Windows takes a letter's virtual key from the layout: the A of an AZERTY
// layout (on the US Q key) is VK 'A', and so KeyIndex A. A layout without
// Latin letters keeps the US virtual keys.
TEST(KeyMessages, LettersFollowTheLayout) {
  EXPECT_EQ(Hex(IndexOf(KeyMessageFromNativeEvent(Native(16, 'a')))), Hex(0x01E));
  EXPECT_EQ(Hex(IndexOf(KeyMessageFromNativeEvent(Native(16, 'A')))), Hex(0x01E));
  EXPECT_EQ(Hex(IndexOf(KeyMessageFromNativeEvent(Native(39, 'm')))), Hex(0x032));
  EXPECT_EQ(Hex(IndexOf(KeyMessageFromNativeEvent(Native(33, kXkCyrillicEf)))), Hex(0x021));
  // Shifted digits and punctuation stay on their keys.
  EXPECT_EQ(Hex(IndexOf(KeyMessageFromNativeEvent(Native(2, '!')))), Hex(0x002));
}

// Repeat count, previous-state and transition bits as a hook saw them. X11
// and Wayland put a release before every repeated press; Windows does not.
TEST(KeyMessages, StateBits) {
  struct Case {
    const char* name;
    bool release;
    bool autoRepeat;
    bool delivered;
    std::uint32_t bits;
  };
  constexpr Case kCases[] = {
      {"press", false, false, true, 1},
      {"auto-repeated press", false, true, true, 1 | kLParamPreviousState},
      {"release", true, false, true, 1 | kLParamPreviousState | kLParamTransition},
      {"release before a repeated press", true, true, false, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto m = KeyMessageFromNativeEvent(Native(30, 'a', c.release, c.autoRepeat));
    ASSERT_EQ(m.has_value(), c.delivered);
    if (!m) continue;
    EXPECT_EQ(m->lParam, c.bits | 0x1Eu << 16) << std::hex << m->lParam;
    EXPECT_EQ(m->Release(), c.release);
    EXPECT_EQ(m->AutoRepeat(), c.autoRepeat && !c.release);
  }
}

// Without a native scan code (offscreen, synthetic events) the Qt key and
// its keypad flag decide.
TEST(KeyMessages, OffscreenEventsAreKnownByTheirQtKey) {
  struct Case {
    int qtKey;
    bool keypad;
    std::uint32_t vk;
    KeyIndex key;
  };
  constexpr Case kCases[] = {
      {Qt::Key_A, false, 'A', 0x01E},          {Qt::Key_Exclam, false, '1', 0x002},
      {Qt::Key_Question, false, 0xBF, 0x035},  {Qt::Key_Return, false, 0x0D, 0x01C},
      {Qt::Key_Enter, true, 0x0D, 0x11C},      {Qt::Key_Escape, false, 0x1B, 0x001},
      {Qt::Key_F12, false, 0x7B, 0x058},       {Qt::Key_End, false, 0x23, 0x14F},
      {Qt::Key_End, true, 0x23, 0x04F},        {Qt::Key_1, true, 0x61, 0x04F},
      {Qt::Key_Clear, true, 0x0C, 0x04C},      {Qt::Key_Slash, true, 0x6F, 0x135},
      {Qt::Key_Asterisk, true, 0x6A, 0x037},   {Qt::Key_NumLock, false, 0x90, 0x145},
      {Qt::Key_Pause, false, 0x13, 0x045},     {Qt::Key_Control, false, 0x11, 0x01D},
      {Qt::Key_Shift, false, 0x10, 0x02A},     {Qt::Key_Alt, false, 0x12, 0x038},
      {Qt::Key_AltGr, false, 0x12, 0x138},     {Qt::Key_Super_L, false, 0x5B, 0x15B},
      {Qt::Key_Meta, false, 0x5B, 0x15B},      {Qt::Key_Super_R, false, 0x5C, 0x15C},
      {Qt::Key_Menu, false, 0x5D, 0x15D},      {Qt::Key_VolumeUp, false, 0xAF, 0x130},
      {Qt::Key_MediaPlay, false, 0xB3, 0x122}, {Qt::Key_LaunchMail, false, 0xB4, 0x16C},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(Hex(c.key));
    NativeKeyEvent e;
    e.qtKey = c.qtKey;
    e.keypad = c.keypad;
    const auto m = KeyMessageFromNativeEvent(e);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(Hex(m->vk), Hex(c.vk));
    EXPECT_EQ(Hex(IndexOf(m)), Hex(c.key));
  }
  NativeKeyEvent print;
  print.qtKey = Qt::Key_Print;
  EXPECT_FALSE(KeyMessageFromNativeEvent(print));
  print.release = true;
  EXPECT_EQ(Hex(IndexOf(KeyMessageFromNativeEvent(print))), Hex(0x137));
}

// Scan codes outside the table, below the xkb offset or far out of range,
// and keys neither table knows: no message, or the Qt key's, never a read
// past the table.
TEST(KeyMessages, UnknownCodes) {
  struct Case {
    std::uint32_t nativeScanCode;
    int qtKey;
    KeyIndex key;  // 0: no message
  };
  constexpr Case kCases[] = {
      {1, 0, 0},
      {7, Qt::Key_B, 0x030},
      {255 + kXkbOffset, Qt::Key_VolumeDown, 0x12E},  // a code bound for the moment
      {256 + kXkbOffset, 0, 0},
      {0xFFFFFFFFu, Qt::Key_Tab, 0x00F},
      {0xFFFFFFFFu, 0, 0},
      {0, Qt::Key_MonBrightnessUp, 0},
      {0, 0, 0},
      {225 + kXkbOffset, Qt::Key_MonBrightnessUp, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.nativeScanCode);
    NativeKeyEvent e;
    e.nativeScanCode = c.nativeScanCode;
    e.qtKey = c.qtKey;
    const auto m = KeyMessageFromNativeEvent(e);
    EXPECT_EQ(m.has_value(), c.key != 0);
    EXPECT_EQ(Hex(IndexOf(m)), Hex(c.key));
  }
}

}  // namespace
}  // namespace kst
