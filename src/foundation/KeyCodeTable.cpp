#include "foundation/KeyCodeTable.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "foundation/Language.h"
#include "foundation/TextTable.h"

namespace kst {
namespace {

// One row of the table as written down: the key, then its row fields. vk2 of
// 0 means "same as vk".
struct KeySpec {
  KeyIndex key;
  const char* label;
  const char* textKey;
  std::uint8_t vk;
  std::uint8_t vk2;
  std::uint16_t keyId;
  std::uint8_t usageCode;
};

// Letters A-Z in alphabet order: set-1 make code and text key. Virtual key is
// the upper-case letter, KeyId the position, UsageCode 0x04 + position.
constexpr std::array<KeyIndex, 26> kLetterKeys = {
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
    0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
constexpr std::array<const char*, 26> kLetterTextKeys = {
    "IDS_KEYBOARD_A", "IDS_KEYBOARD_B", "IDS_KEYBOARD_C", "IDS_KEYBOARD_D", "IDS_KEYBOARD_E",
    "IDS_KEYBOARD_F", "IDS_KEYBOARD_G", "IDS_KEYBOARD_H", "IDS_KEYBOARD_I", "IDS_KEYBOARD_J",
    "IDS_KEYBOARD_K", "IDS_KEYBOARD_L", "IDS_KEYBOARD_M", "IDS_KEYBOARD_N", "IDS_KEYBOARD_O",
    "IDS_KEYBOARD_P", "IDS_KEYBOARD_Q", "IDS_KEYBOARD_R", "IDS_KEYBOARD_S", "IDS_KEYBOARD_T",
    "IDS_KEYBOARD_U", "IDS_KEYBOARD_V", "IDS_KEYBOARD_W", "IDS_KEYBOARD_X", "IDS_KEYBOARD_Y",
    "IDS_KEYBOARD_Z"};
constexpr std::array<const char*, 26> kLetterLabels = {"A", "B", "C", "D", "E", "F", "G", "H", "I",
                                                       "J", "K", "L", "M", "N", "O", "P", "Q", "R",
                                                       "S", "T", "U", "V", "W", "X", "Y", "Z"};

// Digits in the order 1...9, 0 are KeyIndex 0x002-0x00B.
constexpr std::array<const char*, 10> kDigitTextKeys = {
    "IDS_KEYBOARD_1", "IDS_KEYBOARD_2", "IDS_KEYBOARD_3", "IDS_KEYBOARD_4", "IDS_KEYBOARD_5",
    "IDS_KEYBOARD_6", "IDS_KEYBOARD_7", "IDS_KEYBOARD_8", "IDS_KEYBOARD_9", "IDS_KEYBOARD_0"};
constexpr std::array<const char*, 10> kDigitLabels = {"1", "2", "3", "4", "5",
                                                      "6", "7", "8", "9", "0"};

// F1-F12.
constexpr std::array<KeyIndex, 12> kFunctionKeys = {0x03B, 0x03C, 0x03D, 0x03E, 0x03F, 0x040,
                                                    0x041, 0x042, 0x043, 0x044, 0x057, 0x058};
constexpr std::array<const char*, 12> kFunctionTextKeys = {
    "IDS_KEYBOARD_F1", "IDS_KEYBOARD_F2",  "IDS_KEYBOARD_F3",  "IDS_KEYBOARD_F4",
    "IDS_KEYBOARD_F5", "IDS_KEYBOARD_F6",  "IDS_KEYBOARD_F7",  "IDS_KEYBOARD_F8",
    "IDS_KEYBOARD_F9", "IDS_KEYBOARD_F10", "IDS_KEYBOARD_F11", "IDS_KEYBOARD_F12"};
constexpr std::array<const char*, 12> kFunctionLabels = {"F1", "F2", "F3", "F4",  "F5",  "F6",
                                                         "F7", "F8", "F9", "F10", "F11", "F12"};

// clang-format off
constexpr KeySpec kListedKeys[] = {
    // key    label            text key                       vk    vk2   KeyId   Usage
    {0x001, "Esc",           "IDS_KEYBOARD_ESC",            0x1B, 0,    0x0025, 0x29},
    {0x00C, "-",             "IDS_KEYBOARD_MINUS",          0xBD, 0,    0x0029, 0x2D},
    {0x00D, "=",             "IDS_KEYBOARD_EQU",            0xBB, 0,    0x002A, 0x2E},
    {0x00E, "Backspace",     "IDS_KEYBOARD_BS",             0x08, 0,    0x0026, 0x2A},
    {0x00F, "Tab",           "IDS_KEYBOARD_TAB",            0x09, 0,    0x0027, 0x2B},
    {0x01A, "[",             "IDS_KEYBOARD_SB1",            0xDB, 0,    0x002B, 0x2F},
    {0x01B, "]",             "IDS_KEYBOARD_SB2",            0xDD, 0,    0x002C, 0x30},
    {0x01C, "Enter",         "IDS_KEYBOARD_ENTER",          0x0D, 0,    0x0024, 0x28},
    {0x01D, "Ctrl",          "IDS_KEYBOARD_LCTRL",          0xA2, 0,    0x0063, 0xE0},
    {0x027, ";",             "IDS_KEYBOARD_SEM",            0xBA, 0,    0x002E, 0x33},
    {0x028, "'",             "IDS_KEYBOARD_QUOT",           0xDE, 0,    0x002F, 0x34},
    {0x029, "`",             "IDS_KEYBOARD_AID1",           0xC0, 0,    0x0030, 0x35},
    {0x02A, "Shift",         "IDS_KEYBOARD_LSHIFT",         0xA0, 0,    0x0064, 0xE1},
    {0x02B, "\\",            "IDS_KEYBOARD_AV",             0xDC, 0,    0x002D, 0x31},
    {0x033, ",",             "IDS_KEYBOARD_COMMA",          0xBC, 0,    0x0031, 0x36},
    {0x034, ".",             "IDS_KEYBOARD_PER",            0xBE, 0,    0x0032, 0x37},
    {0x035, "/",             "IDS_KEYBOARD_VIR",            0xBF, 0,    0x0033, 0x38},
    {0x036, "Right Shift",   "IDS_KEYBOARD_RSHIFT",         0xA1, 0,    0x0068, 0xE5},
    {0x037, "Num *",         "IDS_KEYBOARD_S_AST",          0x6A, 0,    0x0052, 0x55},
    {0x038, "Alt",           "IDS_KEYBOARD_LALT",           0xA4, 0,    0x0065, 0xE2},
    {0x039, "Space",         "IDS_KEYBOARD_SPACE",          0x20, 0,    0x0028, 0x2C},
    {0x03A, "Caps Lock",     "IDS_KEYBOARD_CAPS",           0x14, 0,    0x004F, 0x39},
    {0x045, "Pause",         "IDS_KEYBOARD_PAUSE",          0x13, 0,    0x0041, 0x48},
    {0x046, "Scroll Lock",   "IDS_KEYBOARD_SCROLL",         0x91, 0,    0x004E, 0x47},
    {0x047, "Num 7",         "IDS_KEYBOARD_S_7",            0x67, 0x24, 0x005C, 0x5F},
    {0x048, "Num 8",         "IDS_KEYBOARD_S_8",            0x68, 0x26, 0x005D, 0x60},
    {0x049, "Num 9",         "IDS_KEYBOARD_S_9",            0x69, 0x21, 0x005E, 0x61},
    {0x04A, "Num -",         "IDS_KEYBOARD_S_MINUS",        0x6D, 0,    0x0053, 0x56},
    {0x04B, "Num 4",         "IDS_KEYBOARD_S_4",            0x64, 0x25, 0x0059, 0x5C},
    {0x04C, "Num 5",         "IDS_KEYBOARD_S_5",            0x65, 0x0C, 0x005A, 0x5D},
    {0x04D, "Num 6",         "IDS_KEYBOARD_S_6",            0x66, 0x27, 0x005B, 0x5E},
    {0x04E, "Num +",         "IDS_KEYBOARD_S_PLUS",         0x6B, 0,    0x0054, 0x57},
    {0x04F, "Num 1",         "IDS_KEYBOARD_S_1",            0x61, 0x23, 0x0056, 0x59},
    {0x050, "Num 2",         "IDS_KEYBOARD_S_2",            0x62, 0x28, 0x0057, 0x5A},
    {0x051, "Num 3",         "IDS_KEYBOARD_S_3",            0x63, 0x22, 0x0058, 0x5B},
    {0x052, "Num 0",         "IDS_KEYBOARD_S_0",            0x60, 0x2D, 0x005F, 0x62},
    {0x053, "Num .",         "IDS_KEYBOARD_S_DEL",          0x6E, 0x2E, 0x0060, 0x63},
    {0x054, "Sys Req",       "IDS_KEYBOARD_SYSREQ",         0x2C, 0,    0x8012, 0x00},
    {0x056, "K45",           "IDS_KEYBOARD_K45",            0xE2, 0,    0x0061, 0x64},
    {0x064, "F13",           "",                            0x7C, 0,    0x802D, 0x00},
    {0x070, "ROMA (133)",    "IDS_KEYBOARD_ROMA",           0xFF, 0,    0x8018, 0x88},
    {0x071, "KL",            "IDS_KEYBOARD_KL",             0xE9, 0,    0x8019, 0x91},
    {0x072, "KR",            "IDS_KEYBOARD_KR",             0xFF, 0,    0x801A, 0x90},
    {0x073, "K56",           "IDS_KEYBOARD_K56",            0xC1, 0,    0x8014, 0x87},
    {0x079, "CHG (132)",     "IDS_KEYBOARD_CHG",            0xFF, 0,    0x8017, 0x8A},
    {0x07B, "N-CHG (131)",   "IDS_KEYBOARD_N_CHG",          0xEB, 0,    0x8016, 0x8B},
    {0x07D, "K14",           "IDS_KEYBOARD_K14",            0xFF, 0,    0x8013, 0x89},
    {0x07E, "K107",          "IDS_KEYBOARD_K107",           0xC2, 0,    0x8015, 0x85},
    {0x110, "Prev Track",    "IDS_KEYBOARD_PREV_TRACK",     0xB1, 0,    0x8021, 0xD0},
    {0x119, "Next Track",    "IDS_KEYBOARD_NEXT_TRACK",     0xB0, 0,    0x8022, 0xD1},
    {0x11C, "Num Enter",     "IDS_KEYBOARD_S_ENTER",        0x0D, 0,    0x0055, 0x58},
    {0x11D, "Right Ctrl",    "IDS_KEYBOARD_RCTRL",          0xA3, 0,    0x0067, 0xE4},
    {0x120, "Mute",          "IDS_KEYBOARD_MUTE",           0xAD, 0,    0x8025, 0xCD},
    {0x121, "Calc",          "IDS_KEYBOARD_CALC",           0xB7, 0,    0x801C, 0xC4},
    {0x122, "Play/Pause",    "IDS_KEYBOARD_PLAY",           0xB3, 0,    0x801F, 0xCE},
    {0x124, "Stop Play",     "IDS_KEYBOARD_STOP",           0xB2, 0,    0x8020, 0xCF},
    {0x12E, "V-",            "IDS_KEYBOARD_VOL_SUB",        0xAE, 0,    0x8024, 0xC1},
    {0x130, "V+",            "IDS_KEYBOARD_VOL_ADD",        0xAF, 0,    0x8023, 0xC0},
    {0x132, "WWW Home",      "IDS_KEYBOARD_W_HOME",         0xAC, 0,    0x8026, 0xC7},
    {0x135, "Num /",         "IDS_KEYBOARD_S_VIR",          0x6F, 0,    0x0051, 0x54},
    {0x136, "Right Shift",   "IDS_KEYBOARD_RSHIFT",         0xA1, 0,    0x0068, 0xE5},
    {0x137, "Print Screen",  "IDS_KEYBOARD_PRINT",          0x2C, 0,    0x0040, 0x46},
    {0x138, "Right Alt",     "IDS_KEYBOARD_RALT",           0xA5, 0,    0x0069, 0xE6},
    {0x145, "Num Lock",      "IDS_KEYBOARD_NUM",            0x90, 0,    0x0050, 0x53},
    {0x146, "Break",         "IDS_KEYBOARD_BREAK",          0x03, 0,    0x0042, 0x48},
    {0x147, "Home",          "IDS_KEYBOARD_HOME",           0x24, 0,    0x0045, 0x4A},
    {0x148, "\u2191",        "IDS_KEYBOARD_UP",             0x26, 0,    0x0049, 0x52},
    {0x149, "Page Up",       "IDS_KEYBOARD_PAGE_UP",        0x21, 0,    0x0047, 0x4B},
    {0x14B, "\u2190",        "IDS_KEYBOARD_LEFT",           0x25, 0,    0x004C, 0x50},
    {0x14D, "\u2192",        "IDS_KEYBOARD_RIGHT",          0x27, 0,    0x004D, 0x4F},
    {0x14F, "End",           "IDS_KEYBOARD_END",            0x23, 0,    0x0046, 0x4D},
    {0x150, "\u2193",        "IDS_KEYBOARD_DOWN",           0x28, 0,    0x004A, 0x51},
    {0x151, "Page Down",     "IDS_KEYBOARD_PAGE_DOWN",      0x22, 0,    0x0048, 0x4E},
    {0x152, "Insert",        "IDS_KEYBOARD_INSERT",         0x2D, 0,    0x0043, 0x49},
    {0x153, "Delete",        "IDS_KEYBOARD_DELETE",         0x2E, 0,    0x0044, 0x4C},
    {0x15B, "Win",           "IDS_KEYBOARD_LWIN",           0x5B, 0,    0x0066, 0xE3},
    {0x15C, "Right Win",     "IDS_KEYBOARD_RWIN",           0x5C, 0,    0x006A, 0xE7},
    {0x15D, "App",           "IDS_KEYBOARD_APP",            0x5D, 0,    0x0062, 0x65},
    {0x15E, "Power",         "IDS_KEYBOARD_POWER",          0xFF, 0,    0x8001, 0x81},
    {0x15F, "Sleep",         "IDS_KEYBOARD_SLEEP",          0x5F, 0,    0x8002, 0x82},
    {0x161, "Roll Up",       "IDS_ROLL_UP",                 0xD1, 0,    0x006E, 0xF4},
    {0x162, "Roll Down",     "IDS_ROLL_DOWN",               0xD2, 0,    0x006F, 0xF5},
    {0x163, "Wake",          "IDS_KEYBOARD_WAKE",           0xFF, 0,    0x8003, 0x83},
    {0x165, "WWW Search",    "IDS_KEYBOARD_W_SEARCH",       0xAA, 0,    0x802C, 0xC6},
    {0x166, "WWW Favorite",  "IDS_KEYBOARD_W_FAVORITE",     0xAB, 0,    0x802B, 0xCC},
    {0x167, "WWW Refresh",   "IDS_KEYBOARD_W_REFRESH",      0xA8, 0,    0x8027, 0xCB},
    {0x168, "WWW Stop",      "IDS_KEYBOARD_W_STOP",         0xA9, 0,    0x8028, 0xCA},
    {0x169, "WWW Forward",   "IDS_KEYBOARD_W_FORWARD",      0xA7, 0,    0x802A, 0xC9},
    {0x16A, "WWW Back",      "IDS_KEYBOARD_W_BACK",         0xA6, 0,    0x8029, 0xC8},
    {0x16B, "My PC",         "IDS_KEYBOARD_MY_PC",          0xB6, 0,    0x801B, 0xC5},
    {0x16C, "Mail",          "IDS_KEYBOARD_MAIL",           0xB4, 0,    0x801D, 0xC3},
    {0x16D, "Media Player",  "IDS_KEYBOARD_MEDIA",          0xB5, 0,    0x801E, 0xC2},
    {0x16E, "Pan Left",      "IDS_KEYBOARD_MOU_PANLEFT",    0x88, 0,    0x8005, 0x00},
    {0x16F, "Pan Right",     "IDS_KEYBOARD_MOU_PANRIGHT",   0x89, 0,    0x8006, 0x00},
    {0x170, "Double Click",  "IDS_KEYBOARD_MOU_DBCLICK",    0x8A, 0,    0x8004, 0x00},
    {0x171, "Left Button",   "IDS_KEYBOARD_MOU_LEFT",       0x01, 0,    0x006B, 0xF1},
    {0x172, "Right Button",  "IDS_KEYBOARD_MOU_RIGHT",      0x02, 0,    0x006C, 0xF2},
    {0x173, "Middle Button", "IDS_KEYBOARD_MOU_MIDDLE",     0x04, 0,    0x006D, 0xF3},
    {0x174, "Zoom-",         "IDS_KEYBOARD_FUNC_ZOOMOUT",   0x8B, 0,    0x8007, 0xD2},
    {0x175, "Zoom+",         "IDS_KEYBOARD_FUNC_ZOOMIN",    0x8C, 0,    0x8008, 0xD3},
    {0x176, "Copy",          "IDS_KEYBOARD_FUNC_COPY",      0x97, 0,    0x8009, 0x00},
    {0x177, "Cut",           "IDS_KEYBOARD_FUNC_CUT",       0x98, 0,    0x800A, 0x00},
    {0x178, "Paste",         "IDS_KEYBOARD_FUNC_PASTE",     0x99, 0,    0x800B, 0x00},
    {0x179, "Minimize",      "IDS_KEYBOARD_FUNC_MINI",      0x9A, 0,    0x800C, 0x00},
    {0x17A, "Maximize",      "IDS_KEYBOARD_FUNC_MAXI",      0x9B, 0,    0x800D, 0x00},
    {0x17B, "Word",          "IDS_KEYBOARD_FUNC_WORD",      0x9C, 0,    0x800E, 0xD4},
    {0x17C, "Excel",         "IDS_KEYBOARD_FUNC_EXCEL",     0x9D, 0,    0x800F, 0xD5},
    {0x17D, "PowerPoint",    "IDS_KEYBOARD_FUNC_POWERPOINT", 0x9E, 0,   0x8010, 0x00},
    {0x17E, "Calendar",      "IDS_KEYBOARD_FUNC_CALENDAR",  0x9F, 0,    0x8011, 0x00},
};
// clang-format on

constexpr std::size_t kListedKeyCount = std::size(kListedKeys);
constexpr std::size_t kKeyRowCount = 26 + 10 + 12 + kListedKeyCount;
static_assert(kListedKeyCount == 109);
static_assert(kKeyRowCount == 157, "every key listed once");

constexpr KeyRow kEmptyRow = {0, 0, kEmptyKeyId, "", 0, ""};

constexpr int RowOf(KeyIndex k) { return k < kFirstDeviceKey ? SlotFromKeyIndex(k) : -1; }

constexpr std::array<KeyRow, kKeyTableRows> BuildKeyCodeTable() {
  std::array<KeyRow, kKeyTableRows> table{};
  for (KeyRow& row : table) row = kEmptyRow;
  for (int i = 0; i < 26; ++i) {
    const auto vk = static_cast<std::uint8_t>('A' + i);
    table[RowOf(kLetterKeys[i])] = {vk,
                                    vk,
                                    static_cast<std::uint16_t>(i),
                                    kLetterLabels[i],
                                    static_cast<std::uint8_t>(0x04 + i),
                                    kLetterTextKeys[i]};
  }
  for (int i = 0; i < 10; ++i) {
    const auto vk = static_cast<std::uint8_t>(i == 9 ? '0' : '1' + i);
    table[RowOf(static_cast<KeyIndex>(0x002 + i))] = {vk,
                                                      vk,
                                                      static_cast<std::uint16_t>(0x1A + i),
                                                      kDigitLabels[i],
                                                      static_cast<std::uint8_t>(0x1E + i),
                                                      kDigitTextKeys[i]};
  }
  for (int i = 0; i < 12; ++i) {
    const auto vk = static_cast<std::uint8_t>(0x70 + i);
    table[RowOf(kFunctionKeys[i])] = {vk,
                                      vk,
                                      static_cast<std::uint16_t>(0x34 + i),
                                      kFunctionLabels[i],
                                      static_cast<std::uint8_t>(0x3A + i),
                                      kFunctionTextKeys[i]};
  }
  for (const KeySpec& listed : kListedKeys) {
    table[RowOf(listed.key)] = {listed.vk,        listed.vk2 != 0 ? listed.vk2 : listed.vk,
                                listed.keyId,     listed.label,
                                listed.usageCode, listed.textKey};
  }
  return table;
}

constexpr std::array<KeyRow, kKeyTableRows> kKeyCodeTable = BuildKeyCodeTable();

constexpr bool IsEmptyRow(const KeyRow& row) { return row.keyId == kEmptyKeyId; }

// No two groups or listed rows land on the same row.
constexpr bool EveryKeyHasItsOwnRow() {
  int filled = 0;
  for (const KeyRow& row : kKeyCodeTable) filled += IsEmptyRow(row) ? 0 : 1;
  return filled == static_cast<int>(kKeyRowCount);
}
static_assert(EveryKeyHasItsOwnRow());

// KeyIds 0x0000-0x006F except 0x004B and 0x8001-0x802D each occur once,
// except 0x0068 (Right Shift) which occurs twice.
constexpr bool KeyIdsAreAsDocumented() {
  for (const KeyRow& row : kKeyCodeTable) {
    if (IsEmptyRow(row)) continue;
    const std::uint16_t id = row.keyId;
    const bool ordinary = id <= 0x006F && id != 0x004B;
    const bool special = id >= 0x8001 && id <= 0x802D;
    if (!ordinary && !special) return false;
    int count = 0;
    for (const KeyRow& other : kKeyCodeTable) count += other.keyId == id ? 1 : 0;
    if (count != (id == 0x0068 ? 2 : 1)) return false;
  }
  return true;
}
static_assert(KeyIdsAreAsDocumented());

constexpr std::array<std::uint16_t, kConsumerUsageSlots> kConsumerUsageTable = {
    0x00E9, 0x00EA, 0x0183, 0x018A, 0x0192, 0x0194, 0x0221, 0x0223, 0x0224,
    0x0225, 0x0226, 0x0227, 0x022A, 0x00E2, 0x00CD, 0x00B7, 0x00B6, 0x00B5};
static_assert(kConsumerUsageTable.size() == 32);

constexpr std::uint8_t kVkShift = 0x10;
constexpr std::uint8_t kVkControl = 0x11;
constexpr std::uint8_t kVkMenu = 0x12;
constexpr std::uint8_t kVkReturn = 0x0D;
constexpr std::uint8_t kVkSnapshot = 0x2C;
constexpr std::uint8_t kVkRShift = 0xA1;
constexpr std::uint8_t kVkNone = 0xFF;

// Pan Left/Right, Double Click, the mouse buttons and the office functions
// carry private virtual-key codes that a real key never produces.
constexpr bool HasPrivateVk(KeyIndex k) { return k >= 0x16E && k <= 0x17E; }

constexpr std::array<std::uint8_t, 256> BuildVkTable() {
  std::array<std::uint8_t, 256> vkTable{};
  for (int row = 0; row < kKeyTableRows; ++row) {
    const KeyRow& r = kKeyCodeTable[row];
    if (IsEmptyRow(r) || r.vk == kVkNone || HasPrivateVk(KeyIndexFromRow(row))) continue;
    if (vkTable[r.vk] == 0) vkTable[r.vk] = static_cast<std::uint8_t>(row);
  }
  // Codes shared by two rows, or produced by no row: the ordinary key wins.
  vkTable[kVkReturn] = static_cast<std::uint8_t>(RowOf(0x01C));
  vkTable[kVkSnapshot] = static_cast<std::uint8_t>(RowOf(0x137));
  vkTable[kVkRShift] = static_cast<std::uint8_t>(RowOf(0x036));
  vkTable[kVkShift] = static_cast<std::uint8_t>(RowOf(0x02A));
  vkTable[kVkControl] = static_cast<std::uint8_t>(RowOf(0x01D));
  vkTable[kVkMenu] = static_cast<std::uint8_t>(RowOf(0x038));
  return vkTable;
}

constexpr std::array<std::uint8_t, 256> kVkTable = BuildVkTable();

// The only virtual keys in the first column carried by more than one mapped
// row are the three decided above.
constexpr bool VkSharingIsDecided() {
  for (int vk = 0; vk < 0xFF; ++vk) {
    int count = 0;
    for (int row = 0; row < kKeyTableRows; ++row) {
      const KeyRow& r = kKeyCodeTable[row];
      if (!IsEmptyRow(r) && r.vk == vk && !HasPrivateVk(KeyIndexFromRow(row))) ++count;
    }
    if (count > 1 && vk != kVkReturn && vk != kVkSnapshot && vk != kVkRShift) return false;
  }
  return true;
}
static_assert(VkSharingIsDecided());

constexpr std::array<KeyIndex, 8> kModifierKeys = {0x01D, 0x02A, 0x038, 0x15B,
                                                   0x11D, 0x036, 0x138, 0x15C};

const KeyRow* RowPtr(KeyIndex k) {
  const int row = RowOf(k);
  return row < 0 ? nullptr : &kKeyCodeTable[row];
}

bool IsEmpty(const char* text) { return text == nullptr || *text == '\0'; }

}  // namespace

const std::array<KeyRow, kKeyTableRows>& KeyCodeTable() { return kKeyCodeTable; }

const std::array<std::uint16_t, kConsumerUsageSlots>& ConsumerUsageTable() {
  return kConsumerUsageTable;
}

const std::array<std::uint8_t, 256>& VkTable() { return kVkTable; }

const std::array<KeyIndex, 8>& ModifierKeys() { return kModifierKeys; }

std::uint16_t KeyIdFromKeyIndex(KeyIndex k) {
  const KeyRow* row = RowPtr(k);
  return row ? row->keyId : kEmptyKeyId;
}

KeyIndex KeyIndexFromKeyId(std::uint16_t id) {
  for (int row = 0; row < kKeyTableRows; ++row) {
    if (kKeyCodeTable[row].keyId == id) return KeyIndexFromRow(row);
  }
  return 0;
}

UsageAction UsageActionFromKeyIndex(KeyIndex k) {
  const KeyRow* row = RowPtr(k);
  const std::uint8_t c = row ? row->usageCode : 0;
  if (c == 0x00 || c == 0xFF) return {kUsageClassNone, 0};
  if (c >= 0x81 && c <= 0x83) return {kUsageClassSystem, c};
  if (c >= 0xF1 && c <= 0xF8) return {kUsageClassMouse, c};
  return {kUsageClassKeyboard, c};
}

KeyIndex KeyIndexFromUsageAction(UsageAction action) {
  unsigned target = 0;
  switch (action.cls) {
    case kUsageClassKeyboard:
      target = action.code;
      break;
    case kUsageClassSystem:
      target = action.code >= 0x81 && action.code <= 0x83 ? action.code : 0;
      break;
    case kUsageClassConsumer:
      for (int slot = 0; slot < kConsumerUsageSlots; ++slot) {
        if (kConsumerUsageTable[slot] == action.code) {
          target = 0xC0 + static_cast<unsigned>(slot);
          break;
        }
      }
      break;
    default:
      break;
  }
  for (int row = 0; row < kKeyTableRows; ++row) {
    if (kKeyCodeTable[row].usageCode == target) return KeyIndexFromRow(row);
  }
  return 0;
}

KeyIndex KeyIndexFromVk(std::uint8_t vk) { return KeyIndexFromRow(kVkTable[vk]); }

KeyIndex KeyIndexFromKeyMessage(std::uint32_t vk, std::uint32_t lParam) {
  const KeyIndex b = vk <= 0xFF ? KeyIndexFromVk(static_cast<std::uint8_t>(vk)) : 0;
  const auto c = static_cast<KeyIndex>((lParam >> 16) & 0x1FF);
  if (c == 0x036) return 0x036;
  if (vk == 0xFF) return c;
  if ((c & 0xFF) == 0) return b;
  const KeyRow& row = kKeyCodeTable[RowOf(c)];
  if (vk == row.vk || vk == row.vk2) return c;
  if (vk <= 0xFF && kVkTable[vk] == (c & 0xFF)) return c;
  return b;
}

KeyIndex KeyIndexFromModifierBits(std::uint8_t bits) {
  for (int bit = 0; bit < 8; ++bit) {
    if (bits & (1u << bit)) return kModifierKeys[bit];
  }
  return 0;
}

std::uint8_t ModifierBitFromKeyIndex(KeyIndex k) {
  for (int bit = 0; bit < 8; ++bit) {
    if (kModifierKeys[bit] == k) return static_cast<std::uint8_t>(1u << bit);
  }
  return 0;
}

bool IsReleaseOnlyKey(KeyIndex k) { return k == 0x054 || k == 0x071 || k == 0x072 || k == 0x137; }

QString FormatKeyCode(const QString& format, unsigned code) {
  QString out;
  out.reserve(format.size() + 8);
  bool consumed = false;
  const qsizetype n = format.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar ch = format[i];
    if (ch != u'%') {
      out += ch;
      ++i;
      continue;
    }
    if (i + 1 < n && format[i + 1] == u'%') {
      out += u'%';
      i += 2;
      continue;
    }
    // %[flags][width][.precision][length]conversion
    qsizetype j = i + 1;
    bool leftAlign = false, zeroPad = false, alternate = false, plus = false, space = false;
    for (; j < n; ++j) {
      const QChar f = format[j];
      if (f == u'-')
        leftAlign = true;
      else if (f == u'0')
        zeroPad = true;
      else if (f == u'#')
        alternate = true;
      else if (f == u'+')
        plus = true;
      else if (f == u' ')
        space = true;
      else
        break;
    }
    int width = 0;
    for (; j < n && format[j].isDigit() && width < 1000; ++j)
      width = width * 10 + format[j].digitValue();
    int precision = -1;
    if (j < n && format[j] == u'.') {
      precision = 0;
      for (++j; j < n && format[j].isDigit() && precision < 1000; ++j)
        precision = precision * 10 + format[j].digitValue();
    }
    while (j < n && (format[j] == u'h' || format[j] == u'l')) ++j;
    const QChar conv = j < n ? format[j] : QChar();
    const bool integer = conv == u'd' || conv == u'i' || conv == u'u' || conv == u'o' ||
                         conv == u'x' || conv == u'X';
    if (!integer || consumed) {
      // Not something one integer argument can fill: keep the text as written.
      const qsizetype end = j < n ? j + 1 : n;
      out += format.mid(i, end - i);
      i = end;
      continue;
    }
    consumed = true;
    const int base = conv == u'o' ? 8 : (conv == u'x' || conv == u'X') ? 16 : 10;
    QString digits = QString::number(code, base);
    if (conv == u'X') digits = digits.toUpper();
    if (precision == 0 && code == 0) digits.clear();
    if (precision > digits.size()) digits = QString(precision - digits.size(), u'0') + digits;
    QString prefix;
    const bool isSigned = conv == u'd' || conv == u'i';
    if (isSigned && plus)
      prefix = QStringLiteral("+");
    else if (isSigned && space)
      prefix = QStringLiteral(" ");
    if (alternate && code != 0 && base == 16)
      prefix = conv == u'X' ? QStringLiteral("0X") : QStringLiteral("0x");
    if (alternate && base == 8 && !digits.startsWith(u'0')) digits.prepend(u'0');
    const int fill = width - static_cast<int>(prefix.size() + digits.size());
    if (fill > 0) {
      if (leftAlign) {
        out += prefix + digits + QString(fill, u' ');
      } else if (zeroPad && precision < 0) {
        out += prefix + QString(fill, u'0') + digits;
      } else {
        out += QString(fill, u' ') + prefix + digits;
      }
    } else {
      out += prefix + digits;
    }
    i = j + 1;
  }
  return out;
}

QString KeyNameFromKeyIndex(KeyIndex k, Language& language) {
  QString name;
  const KeyRow* row = RowPtr(k);
  if (row && !IsEmpty(row->textKey))
    name = language.LoadLangText(QString::fromLatin1(row->textKey));
  if (name.isEmpty()) {
    const QString format = language.ShowSlot(TextSlot::UnknownKey, language.GetLanguageIndex());
    name = FormatKeyCode(format, k);
  }
  return name;
}

void KeyNameFromKeyIndex(KeyIndex k, char16_t* buffer, int capacity, Language& language) {
  if (buffer == nullptr || capacity < 1) return;
  const QString name = KeyNameFromKeyIndex(k, language);
  const qsizetype length =
      name.size() + 2 <= capacity ? name.size() : static_cast<qsizetype>(capacity - 1);
  std::copy_n(reinterpret_cast<const char16_t*>(name.utf16()), length, buffer);
  buffer[length] = u'\0';
}

QString KeyNameFromKeyId(std::uint16_t id, Language& language) {
  const KeyIndex k = KeyIndexFromKeyId(id);
  // KeyIndex 0 is row 0, which is empty, so "none" and "no text key" agree.
  const KeyRow* row = RowPtr(k);
  if (row == nullptr || row->keyId != id || IsEmpty(row->textKey)) return {};
  return language.LoadLangText(QString::fromLatin1(row->textKey));
}

}  // namespace kst
