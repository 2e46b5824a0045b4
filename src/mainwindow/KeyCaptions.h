#pragma once

// The caption (tooltip) and the assigned look of a key button, derived from
// the key's entry in the store. The keyboard view uses it on every refresh;
// the key assignment dialog uses the same rule and lists.

#include <QString>

#include <array>

#include "foundation/KeyCodeTable.h"
#include "foundation/TextTable.h"
#include "store/MediaKeys.h"
#include "store/ProfileFormat.h"

namespace kst {

class AssignmentStore;
class Language;

// The function key list by position (the param of a FunctionKey entry).
inline constexpr int kFunctionKeyCount = 11;
// Text slot of the function key at the position; nullopt-like Count when out of range.
// Inline so that the key assignment dialog shares the list without linking this library.
constexpr TextSlot FunctionKeyTextSlot(int position) {
  if (position < 0 || position >= kFunctionKeyCount) return TextSlot::Count;
  return static_cast<TextSlot>(static_cast<int>(TextSlot::FuncKeyDesc1) + position);
}

struct KeyButtonCaption {
  bool assigned = false;  // the entry's kind is not Default
  QString caption;
};

// "G1".."G9" for G key n (0-8).
QString GKeyName(int n);
// The button's caption and look for `entry`: the name alone when the kind
// is Default; otherwise the name, the KEY_PROMPT_SET text and, by kind, the
// single key's name, the macro's name, the multimedia key's name or the
// function key's text between the kind's prompt and ")". A param outside
// its list adds nothing between the prompt and ")". Reads the macro list of
// the store under its lock.
KeyButtonCaption MakeKeyButtonCaption(const QString& name, const KeyAssignment& entry,
                                      const AssignmentStore& store, Language& language,
                                      int languageIndex);

}  // namespace kst
