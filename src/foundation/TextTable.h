#pragma once

#include <cstdint>
#include <span>

namespace kst {

// The slots of the text table, in table order. A key slot holds a
// language-file key and is shown through LoadLangText; a display slot holds
// its text. Callers name a key slot by its built-in key.
enum class TextSlot : int {
  // Key slots.
  UnknownKey,
  ExtraMacroTooLong,
  FuncKeyDesc1,
  FuncKeyDesc2,
  FuncKeyDesc3,
  FuncKeyDesc4,
  FuncKeyDesc5,
  FuncKeyDesc6,
  FuncKeyDesc7,
  FuncKeyDesc8,
  FuncKeyDesc9,
  FuncKeyDesc10,
  FuncKeyDesc11,
  ApplyPrompt,
  MacroDeleteConfirmOfKeys,
  ExtraProfileSpaceTight,
  MainDefaultMatrixPrompt,
  MainNoDevicePrompt,
  // Key slots whose built-in key is "IDS_" + the skin-language key.
  MacroActionRecordDelay,
  MacroNewPrefix,
  MacroErrMax,
  MacroActionClearConfirm,
  MacroActionErrModify,
  MacroActionErrDelayMax,
  MacroActionRecord,
  MacroActionStopRecord,
  KeyPromptSet,
  KeyPromptSingle,
  KeyPromptMacro,
  KeyPromptMedia,
  KeyPromptFunction,
  DefaultProfileName,
  ProfileSelectPrompt,
  KeyboardTrayDesc,
  MainCaption,
  MainHelpPrompt,
  MainMinimizePrompt,
  MainMenuPrompt,
  MainClosePrompt,
  MainPromptDefault,
  MainPromptInport,
  // Display slots.
  ProfileSeelctPrompt2,
  ProfileFormatError,
  ProfileNew,
  ProfileTip,
  MainButtonTelvinVer,
  Count
};

inline constexpr int kTextSlotCount = static_cast<int>(TextSlot::Count);
// Characters a slot holds (plus a terminator in the original record).
inline constexpr int kTextSlotMaxChars = 107;

struct TextSlotInfo {
  const char* skinKey;  // key in the skin language file
  const char* builtIn;  // the slot's initial content (a key for key slots)
  bool keySlot;
};

// Every slot of the text table, in order; index with static_cast<int>(TextSlot).
std::span<const TextSlotInfo> TextSlotInfos();
const TextSlotInfo& TextSlotInfoOf(TextSlot slot);

// Skin-language key of the on-screen keyboard prompt; always read from the
// "CHINESE" section.
inline constexpr const char* kOskPromptSkinKey = "COMPOSITE_PROMPT_OSK";

}  // namespace kst
