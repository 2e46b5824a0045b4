#include "foundation/TextTable.h"

#include <array>

namespace kst {

namespace {

constexpr std::array<TextSlotInfo, kTextSlotCount> kSlots = {{
    {"UNKNOWN_KEY", "Unknown Key: %03x", true},
    {"EXTRA_MACRO_TOO_LONG", "IDS_MACRO_OVER", true},
    {"FUNC_KEY_DESC1", "IDS_COMPOSITE_FUNC_KEY_OPEN", true},
    {"FUNC_KEY_DESC2", "IDS_COMPOSITE_FUNC_KEY_NEW", true},
    {"FUNC_KEY_DESC3", "IDS_COMPOSITE_FUNC_KEY_UNDO", true},
    {"FUNC_KEY_DESC4", "IDS_COMPOSITE_FUNC_KEY_SAVE", true},
    {"FUNC_KEY_DESC5", "IDS_COMPOSITE_FUNC_KEY_COPY", true},
    {"FUNC_KEY_DESC6", "IDS_COMPOSITE_FUNC_KEY_CUT", true},
    {"FUNC_KEY_DESC7", "IDS_COMPOSITE_FUNC_KEY_PASTE", true},
    {"FUNC_KEY_DESC8", "IDS_COMPOSITE_FUNC_KEY_FIND", true},
    {"FUNC_KEY_DESC9", "IDS_COMPOSITE_FUNC_KEY_SELECT_ALL", true},
    {"FUNC_KEY_DESC10", "IDS_COMPOSITE_FUNC_KEY_ZOOMOUT", true},
    {"FUNC_KEY_DESC11", "IDS_COMPOSITE_FUNC_KEY_ZOOMIN", true},
    {"APPLY_PROMPT", "IDS_KEY_APPLY_PROMPT", true},
    {"MACRO_DELETE_CONFIRM_OF_KEYS", "IDS_KEY_MACRO_DELETE_CONFIRM_OF_KEYS", true},
    {"EXTRA_PROFILE_SPACE_TIGHT", "EXTRA_PROFILE_SPACE_TIGHT", true},
    {"MAIN_DEFAULT_MATRIX_PROMPT", "IDS_MIAN_DEFAULT_PROMPT", true},
    {"MAIN_NO_DEVICE_PROMPT", "IDS_MAIN_DEVICE_PROMRT", true},
    {"MACRO_ACTION_RECORD_DELAY", "IDS_MACRO_ACTION_RECORD_DELAY", true},
    {"MACRO_NEW_PREFIX", "IDS_MACRO_NEW_PREFIX", true},
    {"MACRO_ERR_MAX", "IDS_MACRO_ERR_MAX", true},
    {"MACRO_ACTION_CLEAR_CONFIRM", "IDS_MACRO_ACTION_CLEAR_CONFIRM", true},
    {"MACRO_ACTION_ERR_MODIFY", "IDS_MACRO_ACTION_ERR_MODIFY", true},
    {"MACRO_ACTION_ERR_DELAY_MAX", "IDS_MACRO_ACTION_ERR_DELAY_MAX", true},
    {"MACRO_ACTION_RECORD", "IDS_MACRO_ACTION_RECORD", true},
    {"MACRO_ACTION_STOP_RECORD", "IDS_MACRO_ACTION_STOP_RECORD", true},
    {"KEY_PROMPT_SET", "IDS_KEY_PROMPT_SET", true},
    {"KEY_PROMPT_SINGLE", "IDS_KEY_PROMPT_SINGLE", true},
    {"KEY_PROMPT_MACRO", "IDS_KEY_PROMPT_MACRO", true},
    {"KEY_PROMPT_MEDIA", "IDS_KEY_PROMPT_MEDIA", true},
    {"KEY_PROMPT_FUNCTION", "IDS_KEY_PROMPT_FUNCTION", true},
    {"DEFAULT_PROFILE_NAME", "IDS_DEFAULT_PROFILE_NAME", true},
    {"PROFILE_SELECT_PROMPT", "IDS_PROFILE_SELECT_PROMPT", true},
    {"KEYBOARD_TRAY_DESC", "IDS_KEYBOARD_TRAY_DESC", true},
    {"MAIN_CAPTION", "IDS_MAIN_CAPTION", true},
    {"MAIN_HELP_PROMPT", "IDS_MAIN_HELP_PROMPT", true},
    {"MAIN_MINIMIZE_PROMPT", "IDS_MAIN_MINIMIZE_PROMPT", true},
    {"MAIN_MENU_PROMPT", "IDS_MAIN_MENU_PROMPT", true},
    {"MAIN_CLOSE_PROMPT", "IDS_MAIN_CLOSE_PROMPT", true},
    {"MAIN_PROMPT_DEFAULT", "IDS_MAIN_PROMPT_DEFAULT", true},
    {"MAIN_PROMPT_INPORT", "IDS_MAIN_PROMPT_INPORT", true},
    {"PROFILE_SEELCT_PROMPT2",
     "When fast switch scene mode, you must first close the editor dialog box.", false},
    {"PROFILE_FORMAT_ERROR", "wrong file format, revert to the default values: \n  %s", false},
    {"PROFILE_NEW", "The new contextual  mode", false},
    {"PROFILE_TIP", "The current contextual  mode: ", false},
    {"MAIN_BUTTON_TELVIN_VER", "", false},
}};

constexpr bool SlotsFit() {
  for (const TextSlotInfo& info : kSlots) {
    if (info.skinKey == nullptr || info.builtIn == nullptr) return false;
    int length = 0;
    while (info.builtIn[length] != '\0') ++length;
    if (length > kTextSlotMaxChars) return false;
  }
  return true;
}
static_assert(SlotsFit(), "every built-in text fits its slot");

}  // namespace

std::span<const TextSlotInfo> TextSlotInfos() { return kSlots; }

const TextSlotInfo& TextSlotInfoOf(TextSlot slot) {
  const int index = static_cast<int>(slot);
  return kSlots[index >= 0 && index < kTextSlotCount ? static_cast<size_t>(index) : 0];
}

}  // namespace kst
