#include "skin/SkinKeys.h"

#include <array>

#include "foundation/BoardKeys.h"

namespace kst {

namespace {

using K = SkinControl;
using G = SkinGroup;

constexpr SkinKey kMainWindowKeys[] = {
    {"TELVIN_LINK", K::ImageButton, nullptr},
    {"FUNC_PROFILES", K::ImageButton, nullptr},
    {"FUNC_MACRO", K::ImageButton, "IDS_MAIN_MACRO"},
    {"CONTROL_OK", K::ImageButton, "IDS_MAIN_OK"},
    {"CONTROL_CANCEL", K::ImageButton, "IDS_MAIN_Cancel"},
    {"CONTROL_HELP", K::ImageButton, nullptr},
    {"CONTROL_CLOSE", K::ImageButton, nullptr},
    {"CONTROL_MINIMIZE", K::ImageButton, nullptr},
    {"CONTROL_MENU", K::ImageButton, nullptr},
    {"CONTROL2_APPLY", K::ImageButton, "IDS_MAIN_Apply"},
    {"LOCK_CAPS", K::ImageButton, nullptr},
    {"LOCK_NUM", K::ImageButton, nullptr},
    {"LOCK_SCROLL", K::ImageButton, nullptr},
    {"LOCK_AB", K::ImageButton, nullptr},
    {"FLIP_0", K::ImageButton, nullptr},
    {"FLIP_1", K::ImageButton, nullptr},
    {"FLIP_2", K::ImageButton, nullptr},
    {"LEFT_ARROW", K::ImageButton, nullptr},
    {"RIGHT_ARROW", K::ImageButton, nullptr},
    {"TELVIN_VER", K::ImageButton, nullptr},
    {"FUNC_PROFILE1", K::ImageButton, "IDS_MAIN_PROFILE1"},
    {"FUNC_PROFILE2", K::ImageButton, "IDS_MAIN_PROFILE2"},
    {"FUNC_PROFILE3", K::ImageButton, "IDS_MAIN_PROFILE3"},
    {"FUNC_PROFILE4", K::ImageButton, "IDS_MAIN_PROFILE4"},
    {"FUNC_DEFAULT", K::ImageButton, "IDS_MAIN_DEFAULT"},
    {"COLOR_R", K::Edit, nullptr},
    {"COLOR_G", K::Edit, nullptr},
    {"COLOR_B", K::Edit, nullptr},
    {"FUNC_REPORT1", K::ImageButton, nullptr},
    {"FUNC_REPORT2", K::ImageButton, nullptr},
    {"FUNC_REPORT3", K::ImageButton, nullptr},
    {"FUNC_REPORT4", K::ImageButton, nullptr},
    {"CONTROL_Network", K::ImageButton, nullptr},
    {"CONTROL_Facebook", K::ImageButton, nullptr},
    {"CONTROL_twitter", K::ImageButton, nullptr},
    // The busy picture shown during Apply (control 1177).
    {"CONTROL_BUSY", K::Picture, nullptr},
    // Lighting panel.
    {"CONTROL_DengStaPic", K::Picture, nullptr},
    {"CONTROL_DengStatic", K::Label, "IDS_KEYBOARD_FUNC_DENG"},
    {"CONTROL_UsbStatic", K::Label, "IDS_KEYBOARD_FUNC_USB"},
    {"CONTROL_RGBStatic", K::Label, nullptr},
    {"CONTROL_XGcombox", K::List, nullptr, G::kPanelCommon},
    {"CONTROL_LightStatic", K::Label, "IDS_KEYBOARD_FUNC_TEXTLIGHT", G::kPanelCommon},
    {"CONTROL_LightSlider", K::Slider, nullptr, G::kPanelCommon},
    {"CONTROL_SpeedStatic", K::Label, "IDS_KEYBOARD_FUNC_SPEED", G::kPanelCommon},
    {"CONTROL_SpeedSlider", K::Slider, nullptr, G::kPanelCommon},
    {"CONTROL_BLFXStatic", K::Label, "IDS_KEYBOARD_FUNC_FX", G::kPanelDirection},
    {"CONTROL_BLFXLStaPic", K::Picture, nullptr, G::kPanelDirection},
    {"CONTROL_BLFXRStaPic", K::Picture, nullptr, G::kPanelDirection},
    {"CONTROL_BLFXStatic2", K::Label, "IDS_KEYBOARD_FUNC_FX", G::kPanelDirection2},
    {"CONTROL_BLFXLStaPic2", K::Picture, nullptr, G::kPanelDirection2},
    {"CONTROL_BLFXRStaPic2", K::Picture, nullptr, G::kPanelDirection2},
    {"CONTROL_BLFXStatic3", K::Label, "IDS_KEYBOARD_FUNC_FX", G::kPanelDirection3},
    {"CONTROL_BLFXLStaPic3", K::Picture, nullptr, G::kPanelDirection3},
    {"CONTROL_BLFXRStaPic3", K::Picture, nullptr, G::kPanelDirection3},
    {"CONTROL_HXysStatic", K::Label, "IDS_KEYBOARD_FUNC_COLOR", G::kPanelColourA},
    {"CONTROL_HXysButton", K::ColourButton, nullptr, G::kPanelColourA},
    {"CONTROL_HXsjsStatic", K::Label, "IDS_KEYBOARD_FUNC_COLOURFUL", G::kPanelColourA},
    {"CONTROL_HXsjsStaPic", K::Picture, nullptr, G::kPanelColourA},
    {"CONTROL_FYYSStatic", K::Label, "IDS_KEYBOARD_FUNC_COLOR", G::kPanelColourB},
    {"CONTROL_FYYSButton", K::ColourButton, nullptr, G::kPanelColourB},
    {"CONTROL_FYSJSStatic", K::Label, "IDS_KEYBOARD_FUNC_COLOURFUL", G::kPanelColourB},
    {"CONTROL_FYSJSStaPic", K::Picture, nullptr, G::kPanelColourB},
    {"CONTROL_HONGPIC", K::Picture, nullptr, G::kPanelChoice},
    {"CONTROL_HUANGPIC", K::Picture, nullptr, G::kPanelChoice},
    {"CONTROL_LVPIC", K::Picture, nullptr, G::kPanelChoice},
    {"CONTROL_LANPIC", K::Picture, nullptr, G::kPanelChoice},
    {"CONTROL_USERysStatic", K::Label, "IDS_KEYBOARD_FUNC_COLOR", G::kPanelCustom},
    {"CONTROL_USERysButton", K::ColourButton, nullptr, G::kPanelCustom},
    {"CONTROL_USERjsStatic", K::Label, "IDS_KEYBOARD_FUNC_JCOLOR", G::kPanelCustom},
    {"CONTROL_USERjsButton", K::ColourButton, nullptr, G::kPanelCustom},
    {"CONTROL_USERgjStatic", K::Label, "IDS_KEYBOARD_FUNC_TOOL", G::kPanelCustom},
    {"CONTROL_USERgjStaPic1", K::Picture, nullptr, G::kPanelCustom},
    {"CONTROL_USERgjStaPic2", K::Picture, nullptr, G::kPanelCustom},
    {"CONTROL_umCombo", K::List, nullptr, G::kPanelCustom},
};

constexpr SkinKey kCompositeKeys[] = {
    {"CONTROL_KEY", K::ImageButton, "IDS_COMPOSITE_SELECT_KEY"},
    {"CONTROL_MACRO", K::ImageButton, "IDS_COMPOSITE_SELECT_MACRO"},
    {"CONTROL_MEDIA", K::ImageButton, "IDS_COMPOSITE_SELECT_MEDIA"},
    {"CONTROL_FUNCTION", K::ImageButton, "IDS_COMPOSITE_SELECT_FUNCTION"},
    {"CONTROL_CLEAR", K::ImageButton, "IDS_KEYBOARD_MARCO_RESET"},
    {"CONTROL_MASK", K::ImageButton, nullptr, G::kBackdrop},
    {"CONTROL_TITLE", K::ImageButton, nullptr},
    {"CONTROL_OSK", K::ImageButton, nullptr},
    {"CONTROL_OK", K::ImageButton, "IDS_COMPOSITE_OK"},
    {"CONTROL_CANCEL", K::ImageButton, "IDS_COMPOSITE_CANCEL"},
    {"KEY_SETTING", K::Label, "IDS_KEYBOARD_KEY_SETTING"},
    {"TISHI_SINGLE_STATIC", K::Label, "IDS_KEYBOARD_KEY_SINGLE", G::kPageKey},
    {"FUNC_KEY_RADIO_KB", K::CheckBox, nullptr, G::kPageKey},
    {"FUNC_KEY_RADIO_KB_STATIC", K::Label, "IDS_MACRO_KB_KEY", G::kPageKey},
    {"FUNC_KEY_INPUT", K::Edit, nullptr, G::kPageKey},
    {"FUNC_KEY_RADIO_MOU", K::CheckBox, nullptr, G::kPageKey},
    {"FUNC_KEY_RADIO_MOU_STATIC", K::Label, "IDS_MACRO_MOU_KEY", G::kPageKey},
    // The mouse button list (control 1187).
    {"FUNC_KEY_MOUSE_SELECT", K::List, nullptr, G::kPageKey},
    {"MEDIA_SETTING_TISHI", K::Label, "IDS_MEDIA_EDIT", G::kPageMedia},
    {"FUNC_MEDIA_SELECT", K::List, nullptr, G::kPageMedia},
    {"FUNCTION_KEY_SETTING_TISHI", K::Label, "IDS_FUNCTION_EDIT", G::kPageFunction},
    {"FUNC_FUNCTION_SELECT", K::List, nullptr, G::kPageFunction},
    {"MARCO_NAME_SETTING", K::Label, "IDS_MACRO_NAME", G::kPageMacro},
    {"FUNC_MACRO_LIST", K::List, nullptr, G::kPageMacro},
    {"FUNC_MACRO_ADD", K::ImageButton, nullptr, G::kPageMacro},
    {"FUNC_MACRO_DELETE", K::ImageButton, nullptr, G::kPageMacro},
    {"FUNC_MACRO_LIST2", K::List, nullptr, G::kPageMacro},
    {"FUNC_MACRO_RECORD", K::ImageButton, "IDS_COMPOSITE_MACRO_ACTION_RECORD", G::kPageMacro},
    {"FUNC_MACRO_DELETE2", K::ImageButton, "IDS_COMPOSITE_MACRO_ACTION_DELETE", G::kPageMacro},
    {"FUNC_MACRO_CLEAR", K::ImageButton, "IDS_COMPOSITE_MACRO_ACTION_CLEAR", G::kPageMacro},
    {"FUNC_MACRO_UP_TOP", K::ImageButton, "IDS_COMPOSITE_MACRO_ACTION_UPTOP", G::kPageMacro},
    {"FUNC_MACRO_UP", K::ImageButton, "IDS_COMPOSITE_MACRO_ACTION_UP", G::kPageMacro},
    {"FUNC_MACRO_DOWN", K::ImageButton, "IDS_COMPOSITE_MACRO_ACTION_DOWN", G::kPageMacro},
    {"FUNC_MACRO_DOWN_BOTTOM", K::ImageButton, "IDS_COMPOSITE_MACRO_ACTION_DOWNBOTTOM",
     G::kPageMacro},
    {"FUNC_MACRO_RECORD_DELAY", K::CheckBox, nullptr, G::kPageMacro},
    {"FUNC_MACRO_RECORD_DELAY2", K::Label, "IDS_MACRO_RECORD_DELAY", G::kPageMacro},
    {"FUNC_MACRO_CYCLES_PROMPT", K::Label, "IDS_MACRO_CYCLES", G::kPageMacro},
    {"FUNC_MACRO_CYCLES", K::Edit, nullptr, G::kPageMacro},
};

constexpr SkinKey kProfileKeys[] = {
    {"PROGRAM_LIST", K::List, nullptr},          {"FUNC_ADD", K::ImageButton, nullptr},
    {"FUNC_LOAD", K::ImageButton, nullptr},      {"FUNC_DELETE", K::ImageButton, nullptr},
    {"CONTROL_OK", K::ImageButton, nullptr},     {"CONTROL_CANCEL", K::ImageButton, nullptr},
    {"CONTROL2_APPLY", K::ImageButton, nullptr},
};

constexpr const char* kControlNameKeys[] = {"Usb",   "Deng",   "Light", "FX",  "Speed",
                                            "Color", "JColor", "DC",    "Tool"};

constexpr PictureSet kCompositeSets[] = {kKeyPictureSet, kMacroPictureSet, kMacro2PictureSet,
                                         kMediaPictureSet, kFunctionPictureSet};

}  // namespace

std::span<const SkinKey> MainWindowSkinKeys() { return kMainWindowKeys; }
std::span<const SkinKey> CompositeSkinKeys() { return kCompositeKeys; }
std::span<const SkinKey> ProfileSkinKeys() { return kProfileKeys; }
std::span<const char* const> ControlNameKeys() { return kControlNameKeys; }
std::span<const PictureSet> CompositePictureSets() { return kCompositeSets; }

QString BoardKeySkinKey(int skinKeyNumber) {
  return QStringLiteral("KEY_%1").arg(skinKeyNumber, 3, 16, QLatin1Char('0')).toUpper();
}

QStringList ExtraKeySkinKeys() {
  QStringList keys;
  for (int n = 1; n <= 6; ++n) keys << QStringLiteral("KEY_D%1").arg(n);
  return keys;
}

QStringList MainKeyButtonSkinKeys() {
  QStringList keys;
  for (int n = 1; n <= 9; ++n) keys << QStringLiteral("FUNC_G%1").arg(n);
  for (const BoardKey& key : BoardKeyList()) keys << BoardKeySkinKey(key.skinKey);
  keys << QStringLiteral("KEY_FN");
  keys << ExtraKeySkinKeys();
  return keys;
}

QStringList MainArrowVariantKeys() {
  QStringList keys;
  for (const char* base :
       {"UP_ARROW_LEFT", "DOWN_ARROW_LEFT", "UP_ARROW_RIGHT", "DOWN_ARROW_RIGHT"})
    for (int n = 1; n <= 2; ++n) keys << QStringLiteral("%1%2").arg(QLatin1String(base)).arg(n);
  return keys;
}

QStringList PictureSetFiles(const PictureSet& set) {
  QStringList files;
  for (const char* name : {set.normal, set.over, set.down, set.disabled}) {
    const QString file = QString::fromLatin1(name);
    if (!files.contains(file)) files << file;
  }
  return files;
}

QStringList MainWindowPictures() {
  QStringList files = PictureSetFiles(kMainPictureSet);
  files << QString::fromLatin1(kMainGreyPicture) << QString::fromLatin1(kArrowPicture)
        << QString::fromLatin1(kMainColourPictures[0])
        << QString::fromLatin1(kMainColourPictures[1]);
  return files;
}

QStringList LightingPanelPictures() {
  QStringList files;
  for (const char* name :
       {"dengup", "dengdown", "leftup",   "leftdown", "rightup",    "rightdown", "upup",
        "updown", "downup",   "downdown", "kuosan",   "kuosandown", "julong",    "julongdown",
        "sjsup",  "sjsdown",  "hong",     "hongok",   "huang",      "huangok",   "lv",
        "lvok",   "lan",      "lanok",    "user1up",  "user1down",  "user2up",   "user2down"})
    files << QStringLiteral("%1.bmp").arg(QLatin1String(name));
  for (int n = 0; n <= 25; ++n) files << QStringLiteral("%1.bmp").arg(n);
  for (int n = 1; n <= 10; ++n) files << QStringLiteral("jdt%1.bmp").arg(n);
  return files;
}

}  // namespace kst
