#include "mainwindow/KeyCaptions.h"

#include <mutex>

#include "foundation/Language.h"
#include "store/AssignmentStore.h"

namespace kst {

QString GKeyName(int n) { return QStringLiteral("G%1").arg(n + 1); }

namespace {

QString MacroName(const AssignmentStore& store, std::uint32_t number) {
  if (number == 0 || number > 0xFFFF) return {};
  std::lock_guard lock(store.Lock());
  // FindMacroIndex gives 0 both for the first record and for none.
  const int index = store.FindMacroIndex(static_cast<std::uint16_t>(number));
  if (store.MacroNumberAt(index) != number) return {};
  const std::optional<MacroRecord> record = store.MacroAt(index);
  if (!record) return {};
  const std::u16string_view name = record->Name();
  return QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

KeyButtonCaption MakeKeyButtonCaption(const QString& name, const KeyAssignment& entry,
                                      const AssignmentStore& store, Language& language,
                                      int languageIndex) {
  KeyButtonCaption result;
  if (entry.Is(AssignmentKind::Default)) {
    result.caption = name;
    return result;
  }
  result.assigned = true;
  QString caption = name + language.ShowSlot(TextSlot::KeyPromptSet, languageIndex);
  const QString close = QStringLiteral(")");
  switch (entry.Kind()) {
    case AssignmentKind::SingleKey: {
      const KeyIndex key = entry.param <= 0xFFFF ? static_cast<KeyIndex>(entry.param) : 0;
      caption += language.ShowSlot(TextSlot::KeyPromptSingle, languageIndex);
      if (key != 0) caption += KeyNameFromKeyIndex(key, language);
      caption += close;
      break;
    }
    case AssignmentKind::PlayMacro:
      caption += language.ShowSlot(TextSlot::KeyPromptMacro, languageIndex) +
                 MacroName(store, entry.param) + close;
      break;
    case AssignmentKind::MediaKey:
      caption += language.ShowSlot(TextSlot::KeyPromptMedia, languageIndex);
      if (entry.param < kMediaKeyList.size())
        caption += KeyNameFromKeyIndex(kMediaKeyList[entry.param], language);
      caption += close;
      break;
    case AssignmentKind::FunctionKey: {
      caption += language.ShowSlot(TextSlot::KeyPromptFunction, languageIndex);
      const TextSlot slot =
          FunctionKeyTextSlot(entry.param < kFunctionKeyCount ? static_cast<int>(entry.param) : -1);
      if (slot != TextSlot::Count) caption += language.ShowSlot(slot, languageIndex);
      caption += close;
      break;
    }
    default:
      break;
  }
  result.caption = caption;
  return result;
}

}  // namespace kst
