#pragma once

// The one layout description of the skin: every window's size, every
// control's rectangle and look, every key's place and legend. The generator
// draws the pictures and writes the layout files from these tables only, so
// a picture and its INI rectangle cannot disagree.

namespace kst::skingen {

// How a control is drawn into the state pictures.
enum class Look {
  None,        // rectangle only: the control draws itself (labels, lists, edits, panel bitmaps)
  Keycap,      // a key of the keyboard picture
  GKey,        // a G key
  Pill,        // a button whose caption the button draws
  PillLegend,  // a button with its legend in the picture
  Tab,         // a page button of the key assignment dialog
  Danger,      // the Clear button: a pill with a red edge
  IconMenu,
  IconHelp,
  IconMinimise,
  IconClose,
  IconOsk,
  IconPlus,
  IconMinus,
  IconNetwork,
  IconFacebook,
  IconTwitter,
  LockLed,       // lock indicator with its name
  Bank,          // G-key bank indicator: A lit in normal, B lit in over
  FlipLabel,     // orientation indicator
  FlipLeft,      // orientation button pointing left
  FlipRight,     // orientation button pointing right
  Arrow,         // shows Arrow.jpg; nothing in the state pictures
  Report,        // report-rate button with its rate in the picture
  Profile,       // profile button: a slot number badge, caption drawn by the button
  ProfileName,   // profile name button: folder glyph, caption drawn by the button
  Link,          // text link: caption drawn by the button
  Version,       // version label
  Title,         // title picture of the key assignment dialog
  PageBackdrop,  // the page picture of the key assignment dialog
  Busy,          // busy picture, shows the jdt frames
};

struct Control {
  const char* key;
  int x, y, w, h;
  Look look;
  const char* legend;  // legend drawn in the picture, or nullptr
};

// ---- Main window -------------------------------------------------------------

inline constexpr int kMainWidth = 1200;
inline constexpr int kMainHeight = 712;

// The keyboard plate and its key grid. Keys are placed in quarter units.
inline constexpr int kPlateX = 48;
inline constexpr int kPlateY = 118;
inline constexpr int kPlateW = 1104;
inline constexpr int kPlateH = 340;
inline constexpr int kUnit = 44;                  // pixels per key unit
inline constexpr int kGridX = kPlateX + 18;       // left edge of the G-key column
inline constexpr int kGridY = kPlateY + 18 + 30;  // top edge of the function-key row
inline constexpr int kMainBlockX = kGridX + 77;   // left edge of Esc

struct KeyPlace {
  const char* key;     // "KEY_%03X", "KEY_FN", "KEY_D%d" or "FUNC_G%d"
  const char* legend;  // main legend
  const char* shift;   // upper legend, or nullptr
  int x4, y4, w4, h4;  // quarter units from the main block's top-left corner
};

// Rows in quarter units: function row at 0, number row at 5 (1.25 units down).
inline constexpr KeyPlace kBoardPlaces[] = {
    // Function row.
    {"KEY_001", "Esc", nullptr, 0, 0, 4, 4},
    {"KEY_03B", "F1", nullptr, 8, 0, 4, 4},
    {"KEY_03C", "F2", nullptr, 12, 0, 4, 4},
    {"KEY_03D", "F3", nullptr, 16, 0, 4, 4},
    {"KEY_03E", "F4", nullptr, 20, 0, 4, 4},
    {"KEY_03F", "F5", nullptr, 26, 0, 4, 4},
    {"KEY_040", "F6", nullptr, 30, 0, 4, 4},
    {"KEY_041", "F7", nullptr, 34, 0, 4, 4},
    {"KEY_042", "F8", nullptr, 38, 0, 4, 4},
    {"KEY_043", "F9", nullptr, 44, 0, 4, 4},
    {"KEY_044", "F10", nullptr, 48, 0, 4, 4},
    {"KEY_057", "F11", nullptr, 52, 0, 4, 4},
    {"KEY_058", "F12", nullptr, 56, 0, 4, 4},
    {"KEY_0B7", "PrtSc", nullptr, 61, 0, 4, 4},
    {"KEY_046", "ScrLk", nullptr, 65, 0, 4, 4},
    {"KEY_045", "Pause", nullptr, 69, 0, 4, 4},
    // Number row.
    {"KEY_029", "`", "~", 0, 5, 4, 4},
    {"KEY_002", "1", "!", 4, 5, 4, 4},
    {"KEY_003", "2", "@", 8, 5, 4, 4},
    {"KEY_004", "3", "#", 12, 5, 4, 4},
    {"KEY_005", "4", "$", 16, 5, 4, 4},
    {"KEY_006", "5", "%", 20, 5, 4, 4},
    {"KEY_007", "6", "^", 24, 5, 4, 4},
    {"KEY_008", "7", "&", 28, 5, 4, 4},
    {"KEY_009", "8", "*", 32, 5, 4, 4},
    {"KEY_00A", "9", "(", 36, 5, 4, 4},
    {"KEY_00B", "0", ")", 40, 5, 4, 4},
    {"KEY_00C", "-", "_", 44, 5, 4, 4},
    {"KEY_00D", "=", "+", 48, 5, 4, 4},
    {"KEY_00E", "Backspace", nullptr, 52, 5, 8, 4},
    {"KEY_0D2", "Insert", nullptr, 61, 5, 4, 4},
    {"KEY_0C7", "Home", nullptr, 65, 5, 4, 4},
    {"KEY_0C9", "PgUp", nullptr, 69, 5, 4, 4},
    {"KEY_0C5", "Num", nullptr, 74, 5, 4, 4},
    {"KEY_0B5", "/", nullptr, 78, 5, 4, 4},
    {"KEY_037", "*", nullptr, 82, 5, 4, 4},
    {"KEY_04A", "-", nullptr, 86, 5, 4, 4},
    // Top letter row.
    {"KEY_00F", "Tab", nullptr, 0, 9, 6, 4},
    {"KEY_010", "Q", nullptr, 6, 9, 4, 4},
    {"KEY_011", "W", nullptr, 10, 9, 4, 4},
    {"KEY_012", "E", nullptr, 14, 9, 4, 4},
    {"KEY_013", "R", nullptr, 18, 9, 4, 4},
    {"KEY_014", "T", nullptr, 22, 9, 4, 4},
    {"KEY_015", "Y", nullptr, 26, 9, 4, 4},
    {"KEY_016", "U", nullptr, 30, 9, 4, 4},
    {"KEY_017", "I", nullptr, 34, 9, 4, 4},
    {"KEY_018", "O", nullptr, 38, 9, 4, 4},
    {"KEY_019", "P", nullptr, 42, 9, 4, 4},
    {"KEY_01A", "[", "{", 46, 9, 4, 4},
    {"KEY_01B", "]", "}", 50, 9, 4, 4},
    {"KEY_02B", "\\", "|", 54, 9, 6, 4},
    {"KEY_0D3", "Delete", nullptr, 61, 9, 4, 4},
    {"KEY_0CF", "End", nullptr, 65, 9, 4, 4},
    {"KEY_0D1", "PgDn", nullptr, 69, 9, 4, 4},
    {"KEY_047", "7", "Home", 74, 9, 4, 4},
    {"KEY_048", "8", "\u2191", 78, 9, 4, 4},
    {"KEY_049", "9", "PgUp", 82, 9, 4, 4},
    {"KEY_04E", "+", nullptr, 86, 9, 4, 8},
    // Home row.
    {"KEY_03A", "Caps Lock", nullptr, 0, 13, 7, 4},
    {"KEY_01E", "A", nullptr, 7, 13, 4, 4},
    {"KEY_01F", "S", nullptr, 11, 13, 4, 4},
    {"KEY_020", "D", nullptr, 15, 13, 4, 4},
    {"KEY_021", "F", nullptr, 19, 13, 4, 4},
    {"KEY_022", "G", nullptr, 23, 13, 4, 4},
    {"KEY_023", "H", nullptr, 27, 13, 4, 4},
    {"KEY_024", "J", nullptr, 31, 13, 4, 4},
    {"KEY_025", "K", nullptr, 35, 13, 4, 4},
    {"KEY_026", "L", nullptr, 39, 13, 4, 4},
    {"KEY_027", ";", ":", 43, 13, 4, 4},
    {"KEY_028", "'", "\"", 47, 13, 4, 4},
    {"KEY_01C", "Enter", nullptr, 51, 13, 9, 4},
    {"KEY_04B", "4", "\u2190", 74, 13, 4, 4},
    {"KEY_04C", "5", nullptr, 78, 13, 4, 4},
    {"KEY_04D", "6", "\u2192", 82, 13, 4, 4},
    // Bottom letter row.
    {"KEY_02A", "Shift", nullptr, 0, 17, 9, 4},
    {"KEY_02C", "Z", nullptr, 9, 17, 4, 4},
    {"KEY_02D", "X", nullptr, 13, 17, 4, 4},
    {"KEY_02E", "C", nullptr, 17, 17, 4, 4},
    {"KEY_02F", "V", nullptr, 21, 17, 4, 4},
    {"KEY_030", "B", nullptr, 25, 17, 4, 4},
    {"KEY_031", "N", nullptr, 29, 17, 4, 4},
    {"KEY_032", "M", nullptr, 33, 17, 4, 4},
    {"KEY_033", ",", "<", 37, 17, 4, 4},
    {"KEY_034", ".", ">", 41, 17, 4, 4},
    {"KEY_035", "/", "?", 45, 17, 4, 4},
    {"KEY_036", "Shift", nullptr, 49, 17, 11, 4},
    {"KEY_0C8", "\u2191", nullptr, 65, 17, 4, 4},
    {"KEY_04F", "1", "End", 74, 17, 4, 4},
    {"KEY_050", "2", "\u2193", 78, 17, 4, 4},
    {"KEY_051", "3", "PgDn", 82, 17, 4, 4},
    {"KEY_09C", "Enter", nullptr, 86, 17, 4, 8},
    // Space row.
    {"KEY_01D", "Ctrl", nullptr, 0, 21, 5, 4},
    {"KEY_0DB", "Win", nullptr, 5, 21, 5, 4},
    {"KEY_038", "Alt", nullptr, 10, 21, 5, 4},
    {"KEY_039", "", nullptr, 15, 21, 25, 4},
    {"KEY_0B8", "Alt", nullptr, 40, 21, 4, 4},
    {"KEY_0DC", "Win", nullptr, 44, 21, 4, 4},
    {"KEY_FN", "Fn", nullptr, 48, 21, 4, 4},
    {"KEY_0DD", "Menu", nullptr, 52, 21, 4, 4},
    {"KEY_09D", "Ctrl", nullptr, 56, 21, 4, 4},
    {"KEY_0CB", "\u2190", nullptr, 61, 21, 4, 4},
    {"KEY_0D0", "\u2193", nullptr, 65, 21, 4, 4},
    {"KEY_0CD", "\u2192", nullptr, 69, 21, 4, 4},
    {"KEY_052", "0", "Ins", 74, 21, 8, 4},
    {"KEY_053", ".", "Del", 82, 21, 4, 4},
};

// D1-D6 share F1-F4's place (quarter units 8 to 24 of the function row):
// six equal slices of it. The pictures show F1-F4 there.
inline constexpr int kExtraKeysX4 = 8;
inline constexpr int kExtraKeysW4 = 16;

// Nine G keys in a column left of the main block, spread over its height.
inline constexpr int kGKeyWidth = 55;
inline constexpr int kGKeyHeight = 28;
inline constexpr int kGKeyPitch = 31;

// Window controls of the main window (the lighting panel's bitmap controls
// take the size of their pictures).
inline constexpr Control kMainControls[] = {
    // Title bar.
    {"CONTROL_MENU", 1000, 12, 36, 32, Look::IconMenu, nullptr},
    {"CONTROL_HELP", 1040, 12, 36, 32, Look::IconHelp, nullptr},
    {"CONTROL_MINIMIZE", 1080, 12, 36, 32, Look::IconMinimise, nullptr},
    {"CONTROL_CLOSE", 1120, 12, 36, 32, Look::IconClose, nullptr},
    // Profile bar.
    {"FUNC_PROFILE1", 48, 66, 110, 38, Look::Profile, "1"},
    {"FUNC_PROFILE2", 164, 66, 110, 38, Look::Profile, "2"},
    {"FUNC_PROFILE3", 280, 66, 110, 38, Look::Profile, "3"},
    {"FUNC_PROFILE4", 396, 66, 110, 38, Look::Profile, "4"},
    {"FUNC_PROFILES", 524, 66, 300, 38, Look::ProfileName, nullptr},
    {"FUNC_DEFAULT", 906, 66, 120, 38, Look::Pill, nullptr},
    {"FUNC_MACRO", 1032, 66, 120, 38, Look::Pill, nullptr},
    // Keyboard plate header.
    {"LOCK_AB", kGridX, kPlateY + 14, 55, 22, Look::Bank, nullptr},
    {"FLIP_1", kMainBlockX + 76, kPlateY + 14, 26, 22, Look::FlipLeft, nullptr},
    {"LEFT_ARROW", kMainBlockX + 104, kPlateY + 14, 18, 22, Look::Arrow, nullptr},
    {"FLIP_0", kMainBlockX + 124, kPlateY + 14, 96, 22, Look::FlipLabel, "F1-F4 | D1-D6"},
    {"RIGHT_ARROW", kMainBlockX + 222, kPlateY + 14, 18, 22, Look::Arrow, nullptr},
    {"FLIP_2", kMainBlockX + 242, kPlateY + 14, 26, 22, Look::FlipRight, nullptr},
    // Lock indicators over the keypad, where the function row leaves room.
    {"LOCK_NUM", kMainBlockX + 818, kGridY + 6, 54, 32, Look::LockLed, "NUM"},
    {"LOCK_CAPS", kMainBlockX + 876, kGridY + 6, 54, 32, Look::LockLed, "CAPS"},
    {"LOCK_SCROLL", kMainBlockX + 934, kGridY + 6, 54, 32, Look::LockLed, "SCRL"},
    // Bottom bar.
    {"TELVIN_LINK", 48, 662, 250, 30, Look::Link, nullptr},
    {"TELVIN_VER", 306, 662, 150, 30, Look::Version, nullptr},
    {"CONTROL_Network", 470, 662, 30, 30, Look::IconNetwork, nullptr},
    {"CONTROL_Facebook", 506, 662, 30, 30, Look::IconFacebook, nullptr},
    {"CONTROL_twitter", 542, 662, 30, 30, Look::IconTwitter, nullptr},
    {"CONTROL_BUSY", 768, 661, 32, 32, Look::Busy, nullptr},
    {"CONTROL_OK", 812, 658, 108, 38, Look::Pill, nullptr},
    {"CONTROL_CANCEL", 928, 658, 108, 38, Look::Pill, nullptr},
    {"CONTROL2_APPLY", 1044, 658, 108, 38, Look::Pill, nullptr},
    // Lighting panel: header row.
    {"CONTROL_DengStaPic", 66, 482, 64, 30, Look::None, nullptr},
    {"CONTROL_DengStatic", 140, 484, 260, 26, Look::None, nullptr},
    {"CONTROL_UsbStatic", 754, 484, 150, 26, Look::None, nullptr},
    {"FUNC_REPORT1", 908, 482, 54, 30, Look::Report, "125"},
    {"FUNC_REPORT2", 966, 482, 54, 30, Look::Report, "250"},
    {"FUNC_REPORT3", 1024, 482, 54, 30, Look::Report, "500"},
    {"FUNC_REPORT4", 1082, 482, 54, 30, Look::Report, "1000"},
    // Lighting panel: effect, brightness, speed.
    {"CONTROL_XGcombox", 66, 530, 284, 28, Look::None, nullptr},
    {"CONTROL_LightStatic", 66, 572, 104, 24, Look::None, nullptr},
    {"CONTROL_LightSlider", 172, 570, 180, 28, Look::None, nullptr},
    {"CONTROL_SpeedStatic", 66, 608, 104, 24, Look::None, nullptr},
    {"CONTROL_SpeedSlider", 172, 606, 180, 28, Look::None, nullptr},
    // Direction group: one place for all three layouts.
    {"CONTROL_BLFXStatic", 392, 530, 140, 24, Look::None, nullptr},
    {"CONTROL_BLFXLStaPic", 392, 562, 52, 36, Look::None, nullptr},
    {"CONTROL_BLFXRStaPic", 452, 562, 52, 36, Look::None, nullptr},
    {"CONTROL_BLFXStatic2", 392, 530, 140, 24, Look::None, nullptr},
    {"CONTROL_BLFXLStaPic2", 392, 562, 52, 36, Look::None, nullptr},
    {"CONTROL_BLFXRStaPic2", 452, 562, 52, 36, Look::None, nullptr},
    {"CONTROL_BLFXStatic3", 392, 530, 140, 24, Look::None, nullptr},
    {"CONTROL_BLFXLStaPic3", 392, 562, 52, 36, Look::None, nullptr},
    {"CONTROL_BLFXRStaPic3", 452, 562, 52, 36, Look::None, nullptr},
    // Colour, placements A and B share their place.
    {"CONTROL_HXysStatic", 560, 530, 120, 24, Look::None, nullptr},
    {"CONTROL_HXysButton", 560, 564, 100, 28, Look::None, nullptr},
    {"CONTROL_HXsjsStatic", 700, 530, 150, 24, Look::None, nullptr},
    {"CONTROL_HXsjsStaPic", 700, 564, 56, 28, Look::None, nullptr},
    {"CONTROL_FYYSStatic", 560, 530, 120, 24, Look::None, nullptr},
    {"CONTROL_FYYSButton", 560, 564, 100, 28, Look::None, nullptr},
    {"CONTROL_FYSJSStatic", 700, 530, 150, 24, Look::None, nullptr},
    {"CONTROL_FYSJSStaPic", 700, 564, 56, 28, Look::None, nullptr},
    // Colour choice of effect 17.
    {"CONTROL_HONGPIC", 392, 562, 40, 40, Look::None, nullptr},
    {"CONTROL_HUANGPIC", 440, 562, 40, 40, Look::None, nullptr},
    {"CONTROL_LVPIC", 488, 562, 40, 40, Look::None, nullptr},
    {"CONTROL_LANPIC", 536, 562, 40, 40, Look::None, nullptr},
    // Custom per-key colours of effect 20.
    {"CONTROL_USERysStatic", 392, 530, 120, 24, Look::None, nullptr},
    {"CONTROL_USERysButton", 392, 564, 100, 28, Look::None, nullptr},
    {"CONTROL_USERjsStatic", 528, 530, 120, 24, Look::None, nullptr},
    {"CONTROL_USERjsButton", 528, 564, 100, 28, Look::None, nullptr},
    {"CONTROL_USERgjStatic", 664, 530, 120, 24, Look::None, nullptr},
    {"CONTROL_USERgjStaPic1", 664, 562, 44, 36, Look::None, nullptr},
    {"CONTROL_USERgjStaPic2", 714, 562, 44, 36, Look::None, nullptr},
    {"CONTROL_umCombo", 392, 606, 236, 28, Look::None, nullptr},
    // RGB entry.
    {"CONTROL_RGBStatic", 932, 530, 80, 24, Look::None, nullptr},
    {"COLOR_R", 932, 564, 62, 28, Look::None, nullptr},
    {"COLOR_G", 1004, 564, 62, 28, Look::None, nullptr},
    {"COLOR_B", 1076, 564, 62, 28, Look::None, nullptr},
};

// The panel box drawn behind the lighting controls.
inline constexpr int kPanelX = 48;
inline constexpr int kPanelY = 470;
inline constexpr int kPanelW = 1104;
inline constexpr int kPanelH = 178;

// Arrow.jpg: eight 18 x 22 cells in one row, in this order.
inline constexpr int kArrowCellW = 18;
inline constexpr int kArrowCellH = 22;
inline constexpr const char* kArrowCells[] = {
    "UP_ARROW_LEFT1",  "UP_ARROW_LEFT2",  "DOWN_ARROW_LEFT1",  "DOWN_ARROW_LEFT2",
    "UP_ARROW_RIGHT1", "UP_ARROW_RIGHT2", "DOWN_ARROW_RIGHT1", "DOWN_ARROW_RIGHT2",
};

inline constexpr const char* kDefaultLink = "https://example.com/z-ormit-m350rgb";

// ---- Key assignment dialog --------------------------------------------------

inline constexpr int kCompositeWidth = 760;
inline constexpr int kCompositeHeight = 540;

inline constexpr Control kCompositeControls[] = {
    {"CONTROL_TITLE", 22, 10, 236, 36, Look::Title, nullptr},
    {"KEY_SETTING", 272, 15, 380, 26, Look::None, nullptr},
    {"CONTROL_OSK", 686, 10, 52, 34, Look::IconOsk, nullptr},
    {"CONTROL_KEY", 22, 70, 178, 46, Look::Tab, nullptr},
    {"CONTROL_MACRO", 22, 124, 178, 46, Look::Tab, nullptr},
    {"CONTROL_MEDIA", 22, 178, 178, 46, Look::Tab, nullptr},
    {"CONTROL_FUNCTION", 22, 232, 178, 46, Look::Tab, nullptr},
    {"CONTROL_CLEAR", 22, 424, 178, 40, Look::Danger, nullptr},
    {"CONTROL_MASK", 214, 66, 524, 402, Look::PageBackdrop, nullptr},
    // Single-key page.
    {"TISHI_SINGLE_STATIC", 234, 82, 484, 52, Look::None, nullptr},
    {"FUNC_KEY_RADIO_KB", 236, 152, 20, 20, Look::None, nullptr},
    {"FUNC_KEY_RADIO_KB_STATIC", 262, 149, 300, 26, Look::None, nullptr},
    {"FUNC_KEY_INPUT", 262, 182, 320, 32, Look::None, nullptr},
    {"FUNC_KEY_RADIO_MOU", 236, 240, 20, 20, Look::None, nullptr},
    {"FUNC_KEY_RADIO_MOU_STATIC", 262, 237, 300, 26, Look::None, nullptr},
    {"FUNC_KEY_MOUSE_SELECT", 262, 270, 320, 32, Look::None, nullptr},
    // Multimedia page.
    {"MEDIA_SETTING_TISHI", 234, 82, 484, 52, Look::None, nullptr},
    {"FUNC_MEDIA_SELECT", 236, 152, 340, 32, Look::None, nullptr},
    // Function-key page.
    {"FUNCTION_KEY_SETTING_TISHI", 234, 82, 484, 52, Look::None, nullptr},
    {"FUNC_FUNCTION_SELECT", 236, 152, 340, 32, Look::None, nullptr},
    // Macro page.
    {"MARCO_NAME_SETTING", 230, 82, 110, 28, Look::None, nullptr},
    {"FUNC_MACRO_LIST", 342, 82, 266, 28, Look::None, nullptr},
    {"FUNC_MACRO_ADD", 616, 80, 54, 32, Look::IconPlus, nullptr},
    {"FUNC_MACRO_DELETE", 676, 80, 54, 32, Look::IconMinus, nullptr},
    {"FUNC_MACRO_LIST2", 230, 122, 340, 288, Look::None, nullptr},
    {"FUNC_MACRO_RECORD", 582, 122, 148, 34, Look::Pill, nullptr},
    {"FUNC_MACRO_DELETE2", 582, 164, 148, 32, Look::Pill, nullptr},
    {"FUNC_MACRO_CLEAR", 582, 202, 148, 32, Look::Pill, nullptr},
    {"FUNC_MACRO_UP_TOP", 582, 264, 148, 32, Look::Pill, nullptr},
    {"FUNC_MACRO_UP", 582, 302, 148, 32, Look::Pill, nullptr},
    {"FUNC_MACRO_DOWN", 582, 340, 148, 32, Look::Pill, nullptr},
    {"FUNC_MACRO_DOWN_BOTTOM", 582, 378, 148, 32, Look::Pill, nullptr},
    {"FUNC_MACRO_RECORD_DELAY", 232, 426, 20, 20, Look::None, nullptr},
    {"FUNC_MACRO_RECORD_DELAY2", 258, 422, 190, 28, Look::None, nullptr},
    {"FUNC_MACRO_CYCLES_PROMPT", 454, 422, 110, 28, Look::None, nullptr},
    {"FUNC_MACRO_CYCLES", 566, 421, 64, 30, Look::None, nullptr},
    // Buttons.
    {"CONTROL_OK", 498, 484, 116, 40, Look::Pill, nullptr},
    {"CONTROL_CANCEL", 622, 484, 116, 40, Look::Pill, nullptr},
};

// ---- Profile manager ----------------------------------------------------------

inline constexpr int kProfileWidth = 600;
inline constexpr int kProfileHeight = 404;

inline constexpr Control kProfileControls[] = {
    {"PROGRAM_LIST", 24, 66, 420, 262, Look::None, nullptr},
    {"FUNC_ADD", 460, 66, 116, 38, Look::PillLegend, "New"},
    {"FUNC_LOAD", 460, 112, 116, 38, Look::PillLegend, "Load"},
    {"FUNC_DELETE", 460, 158, 116, 38, Look::PillLegend, "Delete"},
    {"CONTROL_OK", 212, 346, 116, 40, Look::PillLegend, "OK"},
    {"CONTROL_CANCEL", 336, 346, 116, 40, Look::PillLegend, "Cancel"},
    {"CONTROL2_APPLY", 460, 346, 116, 40, Look::PillLegend, "Apply"},
};

}  // namespace kst::skingen
