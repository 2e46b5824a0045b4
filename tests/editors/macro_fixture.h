#pragma once
// A store, a language in English and message boxes that record what they
// would have shown, for the macro page's tests. The language files lie in the
// build's program folder; the registry lives in a temporary folder.

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Language.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"

namespace kst::macrotest {

inline constexpr std::uint16_t kEnglish = 1033;

class RecordingBoxes : public MessageBoxes {
 public:
  struct Box {
    QString text;
    MessageKind kind;
  };
  bool Show(const QString& text, MessageKind kind) override {
    shown.push_back({text, kind});
    return kind == MessageKind::Question && answerYes;
  }
  std::vector<Box> shown;
  bool answerYes = false;
};

// A stored macro with the name, number and events.
inline MacroRecord StoredMacro(const std::u16string& name, std::uint16_t number,
                               std::vector<MacroEvent> events = {}) {
  MacroRecord r;
  r.SetName(name);
  r.number = number;
  r.eventCount = static_cast<std::uint16_t>(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) r.events[i] = events[i];
  return r;
}

class MacroFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    registry = std::make_unique<Registry>(temp.filePath(QStringLiteral("registry.reg")));
    language =
        std::make_unique<Language>(*registry, QStringLiteral(KST_BIN_DIR), [] { return kEnglish; });
  }

  // Installs the macros as the stored list (fresh flags cleared).
  void StoreMacros(std::vector<MacroRecord> macros) { ASSERT_TRUE(store.ReplaceMacroList(macros)); }
  void AssignMacro(int profile, int slot, std::uint32_t number) {
    ASSERT_TRUE(store.SetAssignment(profile, slot, AssignmentKind::PlayMacro, number));
  }

  QTemporaryDir temp;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<Language> language;
  AssignmentStore store;
  RecordingBoxes boxes;
  int modifiedMarks = 0;
};

}  // namespace kst::macrotest
