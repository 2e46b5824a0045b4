#include "foundation/KeyCodeTable.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "foundation/Language.h"
#include "foundation/TextTable.h"
#include "platform/Registry.h"

namespace kst {
namespace {

constexpr std::uint32_t kVkReturn = 0x0D;
constexpr std::uint32_t kVkShift = 0x10;
constexpr std::uint32_t kVkControl = 0x11;
constexpr std::uint32_t kVkSnapshot = 0x2C;
constexpr std::uint32_t kVkHome = 0x24;
constexpr std::uint32_t kVkNumLock = 0x90;
constexpr std::uint32_t kVkRShift = 0xA1;

// lParam of a key message: repeat count 1, scan code, extended bit, and the
// previous-state and transition bits set, which must not disturb the lookup.
std::uint32_t KeyLParam(std::uint32_t scan, bool extended = false) {
  return 1u | (scan << 16) | (extended ? 1u << 24 : 0u) | 0xC0000000u;
}

TEST(KeyCodeTableTest, RowAndSlotAreInverseForEveryRow) {
  for (int row = 0; row < kKeyTableRows; ++row) {
    EXPECT_EQ(SlotFromKeyIndex(KeyIndexFromRow(row)), row) << row;
  }
  struct Case {
    int row;
    KeyIndex key;
  };
  for (const Case& c :
       {Case{30, 0x01E}, Case{156, 0x11C}, Case{127, 0x07F}, Case{128, 0x100}, Case{255, 0x17F}}) {
    EXPECT_EQ(KeyIndexFromRow(c.row), c.key) << c.row;
  }
  EXPECT_EQ(KeyIndexFromRow(-1), 0);
  EXPECT_EQ(KeyIndexFromRow(256), 0);
}

TEST(KeyCodeTableTest, SlotFoldsUpperExtendedRangeAndShiftsDeviceKeys) {
  struct Case {
    KeyIndex key;
    AssignmentSlot slot;
  };
  for (const Case& c :
       {Case{0x000, 0}, Case{0x0FF, 255}, Case{0x100, 128}, Case{0x17F, 255}, Case{0x180, 0},
        Case{0x19E, 30}, Case{0x1FF, 127}, Case{0x200, 256}, Case{0x211, 273}, Case{0x2FF, 511}}) {
    EXPECT_EQ(SlotFromKeyIndex(c.key), c.slot) << std::hex << c.key;
  }
}

TEST(KeyCodeTableTest, RowsFollowTheirGroupRules) {
  const auto& table = KeyCodeTable();
  struct Case {
    KeyIndex key;
    std::uint8_t vk, vk2;
    std::uint16_t keyId;
    std::uint8_t usage;
    std::string_view textKey;
  };
  for (const Case& c : {
           Case{0x01E, 'A', 'A', 0x00, 0x04, "IDS_KEYBOARD_A"},
           Case{0x010, 'Q', 'Q', 0x10, 0x14, "IDS_KEYBOARD_Q"},
           Case{0x02C, 'Z', 'Z', 0x19, 0x1D, "IDS_KEYBOARD_Z"},
           Case{0x002, '1', '1', 0x1A, 0x1E, "IDS_KEYBOARD_1"},
           Case{0x00B, '0', '0', 0x23, 0x27, "IDS_KEYBOARD_0"},
           Case{0x03B, 0x70, 0x70, 0x34, 0x3A, "IDS_KEYBOARD_F1"},
           Case{0x044, 0x79, 0x79, 0x3D, 0x43, "IDS_KEYBOARD_F10"},
           Case{0x057, 0x7A, 0x7A, 0x3E, 0x44, "IDS_KEYBOARD_F11"},
           Case{0x058, 0x7B, 0x7B, 0x3F, 0x45, "IDS_KEYBOARD_F12"},
           Case{0x04C, 0x65, 0x0C, 0x5A, 0x5D, "IDS_KEYBOARD_S_5"},
           Case{0x053, 0x6E, 0x2E, 0x60, 0x63, "IDS_KEYBOARD_S_DEL"},
           Case{0x064, 0x7C, 0x7C, 0x802D, 0x00, ""},
           Case{0x17E, 0x9F, 0x9F, 0x8011, 0x00, "IDS_KEYBOARD_FUNC_CALENDAR"},
           Case{0x055, 0, 0, 0xFFFF, 0, ""},
           Case{0x000, 0, 0, 0xFFFF, 0, ""},
       }) {
    const KeyRow& row = table[SlotFromKeyIndex(c.key)];
    SCOPED_TRACE(c.key);
    EXPECT_EQ(row.vk, c.vk);
    EXPECT_EQ(row.vk2, c.vk2);
    EXPECT_EQ(row.keyId, c.keyId);
    EXPECT_EQ(row.usageCode, c.usage);
    EXPECT_EQ(std::string_view(row.textKey), c.textKey);
  }
}

TEST(KeyCodeTableTest, EveryNamedRowHasItsOwnTextKey) {
  std::set<std::string> textKeys;
  int named = 0;
  for (const KeyRow& row : KeyCodeTable()) {
    ASSERT_NE(row.textKey, nullptr);
    ASSERT_NE(row.label, nullptr);
    if (*row.textKey == '\0') continue;
    ++named;
    textKeys.insert(row.textKey);
  }
  // Right Shift has two rows with one name.
  EXPECT_EQ(named, 156);
  EXPECT_EQ(textKeys.size(), 155u);
}

TEST(KeyCodeTableTest, KeyIdLookups) {
  struct ById {
    std::uint16_t id;
    KeyIndex key;
  };
  for (const ById& c :
       {ById{0x0068, 0x036}, ById{0x004B, 0}, ById{0x0000, 0x01E}, ById{0x006F, 0x162},
        ById{0x802D, 0x064}, ById{0x8001, 0x15E}, ById{0xFFFF, 0}, ById{0x1234, 0}}) {
    EXPECT_EQ(KeyIndexFromKeyId(c.id), c.key) << std::hex << c.id;
  }
  struct ByKey {
    KeyIndex key;
    std::uint16_t id;
  };
  for (const ByKey& c : {ByKey{0x136, 0x0068}, ByKey{0x055, 0xFFFF}, ByKey{0x200, 0xFFFF},
                         ByKey{0x19E, 0x0000}, ByKey{0x145, 0x0050}}) {
    EXPECT_EQ(KeyIdFromKeyIndex(c.key), c.id) << std::hex << c.key;
  }
  // The pickers list ids from 0 upward: each one names its own key.
  for (std::uint16_t id = 0; id <= 0x6F; ++id) {
    const KeyIndex key = KeyIndexFromKeyId(id);
    if (id == 0x004B) continue;
    ASSERT_NE(key, 0) << id;
    EXPECT_EQ(KeyIdFromKeyIndex(key), id);
  }
}

TEST(KeyCodeTableTest, UsageActionFromKey) {
  struct Case {
    KeyIndex key;
    UsageAction action;
  };
  for (const Case& c :
       {Case{0x120, {7, 0xCD}}, Case{0x15E, {1, 0x81}}, Case{0x163, {1, 0x83}},
        Case{0x171, {2, 0xF1}}, Case{0x162, {2, 0xF5}}, Case{0x054, {0, 0}}, Case{0x01E, {7, 0x04}},
        Case{0x070, {7, 0x88}}, Case{0x055, {0, 0}}, Case{0x200, {0, 0}}}) {
    const UsageAction got = UsageActionFromKeyIndex(c.key);
    EXPECT_EQ(got, c.action) << std::hex << c.key << " gave {" << got.cls << ", " << got.code
                             << "}";
  }
}

TEST(KeyCodeTableTest, KeyFromUsageAction) {
  struct Case {
    UsageAction action;
    KeyIndex key;
  };
  for (const Case& c : {
           Case{{12, 0x00E2}, 0x120},  // Mute
           Case{{12, 0x00E9}, 0x130},  // V+
           Case{{12, 0}, 0x174},       // first empty consumer slot is 18 -> 0xD2 Zoom-
           Case{{12, 0x1234}, 0},
           Case{{7, 0x04}, 0x01E},
           Case{{7, 0x48}, 0x045},  // Pause and Break share 0x48: the first row wins
           Case{{7, 0xE5}, 0x036},  // Right Shift's first row
           Case{{7, 0x104}, 0},     // no 8-bit truncation onto 0x04
           Case{{7, 0}, 0},         // target 0 finds row 0
           Case{{1, 0x82}, 0x15F},
           Case{{1, 0x84}, 0},
           Case{{1, 0x04}, 0},
           Case{{2, 0xF1}, 0},  // mouse class has no reverse
           Case{{0, 0}, 0},
       }) {
    EXPECT_EQ(KeyIndexFromUsageAction(c.action), c.key)
        << "{" << c.action.cls << ", " << std::hex << c.action.code << "}";
  }
  // Every consumer key is found by its consumer usage.
  for (int row = 0; row < kKeyTableRows; ++row) {
    const std::uint8_t code = KeyCodeTable()[row].usageCode;
    if (code < 0xC0 || code > 0xD1) continue;
    const std::uint16_t usage = ConsumerUsageTable()[code - 0xC0];
    EXPECT_EQ(KeyIndexFromUsageAction({12, usage}), KeyIndexFromRow(row)) << std::hex << usage;
  }
}

TEST(KeyCodeTableTest, VirtualKeyLookup) {
  struct Case {
    std::uint8_t vk;
    KeyIndex key;
  };
  for (const Case& c : {
           Case{0x0D, 0x01C},
           Case{0x2C, 0x137},
           Case{0xA1, 0x036},
           Case{0x10, 0x02A},
           Case{0x11, 0x01D},
           Case{0x12, 0x038},
           Case{'A', 0x01E},
           Case{'0', 0x00B},
           Case{0x7B, 0x058},
           Case{0x90, 0x145},
           Case{0x03, 0x146},
           Case{0x24, 0x147},
           Case{0x64, 0x04B},
           Case{0xD1, 0x161},
           Case{0xE9, 0x071},
           // Mouse buttons, Pan, Double Click, office functions and 0xFF: no key.
           Case{0x01, 0},
           Case{0x02, 0},
           Case{0x04, 0},
           Case{0x88, 0},
           Case{0x8A, 0},
           Case{0x8B, 0},
           Case{0x97, 0},
           Case{0x9F, 0},
           Case{0xFF, 0},
           Case{0x00, 0},
       }) {
    EXPECT_EQ(KeyIndexFromVk(c.vk), c.key) << std::hex << int{c.vk};
  }
  // Apart from the three generic modifier codes, a virtual key leads to a row
  // that produces it.
  for (int vk = 0; vk < 256; ++vk) {
    const std::uint8_t row = VkTable()[vk];
    if (row == 0 || vk == 0x10 || vk == 0x11 || vk == 0x12) continue;
    EXPECT_EQ(KeyCodeTable()[row].vk, vk) << vk;
  }
}

TEST(KeyCodeTableTest, KeyMessages) {
  struct Case {
    const char* what;
    std::uint32_t vk;
    std::uint32_t lParam;
    KeyIndex key;
  };
  for (const Case& c : {
           Case{"Num Enter", kVkReturn, KeyLParam(0x1C, true), 0x11C},
           Case{"Enter", kVkReturn, KeyLParam(0x1C), 0x01C},
           Case{"Enter without scan code", kVkReturn, 0, 0x01C},
           Case{"Num Lock", kVkNumLock, KeyLParam(0x45, true), 0x145},
           Case{"Num Lock without scan code", kVkNumLock, 0, 0x145},
           Case{"Right Shift as VK_SHIFT", kVkShift, KeyLParam(0x36), 0x036},
           Case{"Right Shift as VK_RSHIFT", kVkRShift, KeyLParam(0x36), 0x036},
           Case{"Right Shift with any vk", 'A', KeyLParam(0x36), 0x036},
           Case{"Left Shift as VK_SHIFT", kVkShift, KeyLParam(0x2A), 0x02A},
           Case{"Right Ctrl as VK_CONTROL", kVkControl, KeyLParam(0x1D, true), 0x11D},
           Case{"vk 0xFF takes the scan code", 0xFF, KeyLParam(0x70), 0x070},
           Case{"vk 0xFF extended", 0xFF, KeyLParam(0x1D, true), 0x11D},
           Case{"Num 7 with Num Lock off", kVkHome, KeyLParam(0x47), 0x047},
           Case{"Home block key", kVkHome, KeyLParam(0x47, true), 0x147},
           Case{"Print Screen", kVkSnapshot, KeyLParam(0x37, true), 0x137},
           Case{"Sys Req", kVkSnapshot, KeyLParam(0x54), 0x054},
           Case{"contradictory scan code", 'A', KeyLParam(0x30), 0x01E},
           Case{"vk beyond a byte", 0x141, KeyLParam(0x1E), 0},
       }) {
    EXPECT_EQ(KeyIndexFromKeyMessage(c.vk, c.lParam), c.key) << c.what;
  }
}

TEST(KeyCodeTableTest, ModifierBits) {
  const KeyIndex order[8] = {0x01D, 0x02A, 0x038, 0x15B, 0x11D, 0x036, 0x138, 0x15C};
  for (int bit = 0; bit < 8; ++bit) {
    EXPECT_EQ(KeyIndexFromModifierBits(static_cast<std::uint8_t>(1u << bit)), order[bit]);
    EXPECT_EQ(ModifierBitFromKeyIndex(order[bit]), 1u << bit);
  }
  EXPECT_EQ(KeyIndexFromModifierBits(0), 0);
  EXPECT_EQ(KeyIndexFromModifierBits(0x60), 0x036);  // lowest set bit wins
  EXPECT_EQ(KeyIndexFromModifierBits(0xFF), 0x01D);
  for (KeyIndex k : {KeyIndex{0x01E}, KeyIndex{0x136}, KeyIndex{0}, KeyIndex{0x200}}) {
    EXPECT_EQ(ModifierBitFromKeyIndex(k), 0) << k;
  }
}

TEST(KeyCodeTableTest, ReleaseOnlyKeys) {
  for (KeyIndex k : {0x054, 0x071, 0x072, 0x137}) EXPECT_TRUE(IsReleaseOnlyKey(k)) << k;
  for (KeyIndex k : {0x000, 0x01E, 0x070, 0x02C, 0x136}) EXPECT_FALSE(IsReleaseOnlyKey(k)) << k;
}

TEST(FormatKeyCodeTest, IntegerConversionsOnlyAndOnlyOnce) {
  struct Case {
    const char* format;
    unsigned code;
    const char* expected;
  };
  for (const Case& c : {
           Case{"Unknown Key: %03x", 0x55, "Unknown Key: 055"},
           Case{"Unknown Key: %03x", 0x200, "Unknown Key: 200"},
           Case{"%X", 0x1AB, "1AB"},
           Case{"%d", 300, "300"},
           Case{"%5u|", 42, "   42|"},
           Case{"%-4x|", 0xA, "a   |"},
           Case{"%#x", 0x1F, "0x1f"},
           Case{"%.5u", 7, "00007"},
           Case{"%lx", 0x1E, "1e"},
           Case{"100%% %x", 1, "100% 1"},
           Case{"no conversion", 1, "no conversion"},
           // A text file must not make the formatter read what is not there.
           Case{"%s %x %x", 0x10, "%s 10 %x"},
           Case{"%n%p", 1, "%n%p"},
           Case{"trailing %", 1, "trailing %"},
       }) {
    EXPECT_EQ(FormatKeyCode(QString::fromUtf8(c.format), c.code), QString::fromUtf8(c.expected))
        << c.format;
  }
}

// A Language over a temporary program folder whose only language file is
// English (Lang0409.ini) with a handful of key names.
class KeyNameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    WriteLangFile(
        "[TEXT]\n"
        "IDS_KEYBOARD_A=A\n"
        "IDS_KEYBOARD_B=\n"
        "IDS_KEYBOARD_S_ENTER=Num Enter\n"
        "IDS_KEYBOARD_RSHIFT=Right Shift\n"
        "Unknown Key: %03x=Unknown Key: %03x\n");
    registry_ = std::make_unique<Registry>(dir_.filePath("registry.reg"));
    language_ =
        std::make_unique<Language>(*registry_, dir_.path(), [] { return std::uint16_t{1033}; });
  }

  void WriteLangFile(const char* text) {
    QFile file(dir_.filePath("Lang0409.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
  }

  QTemporaryDir dir_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<Language> language_;
};

TEST_F(KeyNameTest, NamesComeFromTheLanguageFile) {
  struct Case {
    KeyIndex key;
    const char* name;
  };
  for (const Case& c : {
           Case{0x01E, "A"},  // a one-character name is a name
           Case{0x11C, "Num Enter"}, Case{0x136, "Right Shift"},
           Case{0x001, "#Error"},            // key missing from the file
           Case{0x030, "Unknown Key: 030"},  // key present with an empty value
           Case{0x055, "Unknown Key: 055"},  // empty row
           Case{0x064, "Unknown Key: 064"},  // row without a text key
           Case{0x200, "Unknown Key: 200"},  // device key: no row
           Case{0x19E, "A"},                 // folds onto row 30
       }) {
    EXPECT_EQ(KeyNameFromKeyIndex(c.key, *language_), QString::fromUtf8(c.name))
        << std::hex << c.key;
  }
}

TEST_F(KeyNameTest, UnknownKeyTextFollowsTheLanguageAndTheSlot) {
  WriteLangFile("[TEXT]\nUnknown Key: %03x=Taste %04X (%s)\n");
  EXPECT_EQ(KeyNameFromKeyIndex(0x055, *language_), QStringLiteral("Taste 0055 (%s)"));

  WriteLangFile("[TEXT]\n");
  EXPECT_EQ(KeyNameFromKeyIndex(0x055, *language_), QStringLiteral("#Error"));

  // A slot refilled with a display text is used as the format directly.
  language_->SetSlotText(TextSlot::UnknownKey, QStringLiteral("? %x"));
  EXPECT_EQ(KeyNameFromKeyIndex(0x055, *language_), QStringLiteral("? 55"));
}

TEST_F(KeyNameTest, BufferIsCutAtItsCapacity) {
  // "Num Enter" has 9 characters.
  struct Case {
    int capacity;
    const char16_t* expected;
  };
  for (const Case& c : {Case{16, u"Num Enter"}, Case{11, u"Num Enter"}, Case{10, u"Num Enter"},
                        Case{9, u"Num Ente"}, Case{2, u"N"}, Case{1, u""}}) {
    char16_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    KeyNameFromKeyIndex(0x11C, buffer, c.capacity, *language_);
    EXPECT_EQ(std::u16string(buffer), std::u16string(c.expected)) << c.capacity;
    for (int i = c.capacity; i < 16; ++i) EXPECT_EQ(buffer[i], u'#') << c.capacity << " at " << i;
  }
  char16_t untouched[2] = {u'#', u'#'};
  KeyNameFromKeyIndex(0x11C, untouched, 0, *language_);
  KeyNameFromKeyIndex(0x11C, nullptr, 10, *language_);
  EXPECT_EQ(untouched[0], u'#');
}

TEST_F(KeyNameTest, NameByKeyId) {
  struct Case {
    std::uint16_t id;
    const char* name;
  };
  for (const Case& c :
       {Case{0x0000, "A"}, Case{0x0068, "Right Shift"}, Case{0x0055, "Num Enter"}, Case{0x004B, ""},
        Case{0x802D, ""}, Case{0xFFFF, ""}, Case{0x0025, "#Error"}}) {
    EXPECT_EQ(KeyNameFromKeyId(c.id, *language_), QString::fromUtf8(c.name)) << std::hex << c.id;
  }
}

}  // namespace
}  // namespace kst
