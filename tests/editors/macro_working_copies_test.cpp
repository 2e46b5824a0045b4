// The macro page's rules without widgets: working copies, names, limits, the
// action list, the recorder and the commit into the store.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "editors/MacroWorkingCopies.h"
#include "macro_fixture.h"

namespace kst {
namespace {

using macrotest::MacroFixture;
using macrotest::StoredMacro;
using Verdict = KeyboardHook::Verdict;

constexpr KeyIndex kA = 0x1E;
constexpr KeyIndex kB = 0x30;
constexpr KeyIndex kPrintScreen = 0x137;
constexpr KeyIndex kVolumeUp = 0x130;

std::vector<std::uint32_t> Delays(const MacroWorkingCopies& copies) {
  std::vector<std::uint32_t> delays;
  for (const MacroEvent& e : copies.Actions().Rows()) delays.push_back(e.delayMs);
  return delays;
}

std::vector<KeyIndex> Keys(const MacroWorkingCopies& copies) {
  std::vector<KeyIndex> keys;
  for (const MacroEvent& e : copies.Actions().Rows()) keys.push_back(e.key);
  return keys;
}

// A hook event as the key hook hands it over.
KeyboardHook::Event HookEvent(std::uint32_t vk, KeyIndex key, bool release, bool repeat,
                              std::int64_t timeMs) {
  KeyboardHook::Event e;
  e.message.vk = vk;
  e.message.lParam = 1u | (release ? kLParamTransition | kLParamPreviousState : 0u) |
                     (repeat ? kLParamPreviousState : 0u);
  e.key = key;
  e.timeMs = timeMs;
  return e;
}

class MacroWorkingCopiesTest : public MacroFixture {
 protected:
  void SetUp() override {
    MacroFixture::SetUp();
    copies = std::make_unique<MacroWorkingCopies>(
        MacroWorkingCopies::Context{store, *language, boxes, [this] { ++modifiedMarks; }});
  }
  // Loads the store and shows a new empty macro.
  void StartWithNewMacro() {
    copies->Load();
    ASSERT_TRUE(copies->Add());
  }
  void AddRows(int n) {
    for (int i = 0; i < n; ++i) {
      ASSERT_TRUE(copies->InsertAction(MacroEvent{static_cast<std::uint32_t>(100 * (i + 1)),
                                                  static_cast<KeyIndex>(0x10 + i), kEventPress},
                                       {.raw = true}));
    }
  }
  std::unique_ptr<MacroWorkingCopies> copies;
};

// ---- Recording ----------------------------------------------------------------

struct RecordCase {
  const char* name;
  int recordDelay;
  std::vector<std::uint32_t> delays;
};

class RecordAbTest : public MacroWorkingCopiesTest,
                     public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordAbTest, FourRowsWithTheWaitUntilTheNextRow) {
  StartWithNewMacro();
  copies->SetRecordDelay(GetParam().recordDelay);
  copies->BeginRecording(1000);
  copies->RecordKey(kA, false, 1100);  // A down
  copies->RecordKey(kA, true, 1170);   // A up: 70 after
  copies->RecordKey(kB, false, 1400);  // B down: 230 after
  copies->RecordKey(kB, true, 1405);   // B up: 5 after
  EXPECT_EQ(Keys(*copies), (std::vector<KeyIndex>{kA, kA, kB, kB}));
  EXPECT_EQ(Delays(*copies), GetParam().delays);
  std::vector<std::uint16_t> directions;
  for (const MacroEvent& e : copies->Actions().Rows()) directions.push_back(e.direction);
  EXPECT_EQ(directions, (std::vector<std::uint16_t>{0, 1, 0, 1}));
  EXPECT_EQ(copies->SelectedRow(), 3);
}

INSTANTIATE_TEST_SUITE_P(Delays, RecordAbTest,
                         ::testing::Values(RecordCase{"Measured", 1, {70, 230, 5, 0}},
                                           RecordCase{"Fixed", 0, {50, 50, 50, 0}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MacroWorkingCopiesTest, MeasuredDelaysAreNeitherRoundedNorLimited) {
  StartWithNewMacro();
  copies->SetRecordDelay(1);
  copies->BeginRecording(0);
  copies->RecordKey(kA, false, 10);
  copies->RecordKey(kA, true, 60'013);
  EXPECT_EQ(Delays(*copies), (std::vector<std::uint32_t>{60'003, 0}));
}

TEST_F(MacroWorkingCopiesTest, RecordingIntoTheMiddleKeepsTheOrder) {
  StartWithNewMacro();
  AddRows(5);  // delays 100..500
  copies->SetSelectedRow(1);
  copies->SetRecordDelay(1);
  copies->BeginRecording(5000);
  copies->RecordKey(kA, false, 5123);
  ASSERT_EQ(copies->Actions().rowCount(), 6);
  EXPECT_EQ(copies->Actions().Rows()[2].key, kA);
  // Row 2 (one-based) waits from the start of the recording to the press;
  // the new row 3 takes row 2's former wait.
  EXPECT_EQ(Delays(*copies), (std::vector<std::uint32_t>{100, 123, 200, 300, 400, 500}));
  EXPECT_EQ(copies->SelectedRow(), 2);
}

struct PrintScreenCase {
  const char* name;
  int rowsBefore;
  int recordDelay;
  std::vector<std::uint32_t> delays;
};

class PrintScreenTest : public MacroWorkingCopiesTest,
                        public ::testing::WithParamInterface<PrintScreenCase> {};

TEST_P(PrintScreenTest, TheUnseenPressIsRecordedBeforeTheRelease) {
  const PrintScreenCase& c = GetParam();
  StartWithNewMacro();
  copies->SetRecordDelay(c.recordDelay);
  copies->BeginRecording(0);
  if (c.rowsBefore > 0) {
    copies->RecordKey(kA, false, 10);
    copies->RecordKey(kA, true, 30);
  }
  copies->RecordKey(kPrintScreen, true, 700);
  const auto& rows = copies->Actions().Rows();
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(c.rowsBefore + 2));
  EXPECT_EQ(rows[c.rowsBefore].key, kPrintScreen);
  EXPECT_EQ(rows[c.rowsBefore].direction, kEventPress);
  EXPECT_EQ(rows[c.rowsBefore + 1].key, kPrintScreen);
  EXPECT_EQ(rows[c.rowsBefore + 1].direction, kEventRelease);
  EXPECT_EQ(Delays(*copies), c.delays);
}

INSTANTIATE_TEST_SUITE_P(Cases, PrintScreenTest,
                         ::testing::Values(PrintScreenCase{"FirstMeasured", 0, 1, {700, 0}},
                                           PrintScreenCase{"FirstFixed", 0, 0, {50, 0}},
                                           PrintScreenCase{"LaterMeasured", 2, 1, {20, 2, 670, 0}},
                                           PrintScreenCase{"LaterFixed", 2, 0, {50, 50, 50, 0}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MacroWorkingCopiesTest, HookHandlersRecordOnePressAndOneReleasePerHeldKey) {
  StartWithNewMacro();
  copies->BeginRecording(0);
  struct Step {
    bool lowLevel;
    KeyboardHook::Event event;
    Verdict verdict;
  };
  const std::vector<Step> steps = {
      {false, HookEvent(0x41, kA, false, false, 10), Verdict::Swallow},
      {false, HookEvent(0x41, kA, false, true, 40), Verdict::Swallow},  // auto-repeat
      {false, HookEvent(0x41, kA, false, true, 70), Verdict::Swallow},
      {false, HookEvent(0x41, kA, true, false, 90), Verdict::Swallow},
      {false, HookEvent(0xAF, kVolumeUp, false, false, 95), Verdict::Pass},  // exclusion set
      {false, HookEvent(0xFF, 0, false, false, 96), Verdict::Pass},          // no key
      {true, HookEvent(0x41, kA, false, false, 97), Verdict::Pass},  // low level: not Windows
      {true, HookEvent(0x5B, 0x15B, false, false, 100), Verdict::Swallow},
      {true, HookEvent(0x5B, 0x15B, false, false, 130), Verdict::Swallow},  // held
      {true, HookEvent(0x5B, 0x15B, true, false, 150), Verdict::Swallow},
      {true, HookEvent(0x5C, 0x15C, false, false, 160), Verdict::Swallow},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& s = steps[i];
    const Verdict v = s.lowLevel ? copies->OnLowLevelHook(s.event) : copies->OnThreadHook(s.event);
    EXPECT_EQ(v, s.verdict) << "step " << i;
  }
  EXPECT_EQ(Keys(*copies), (std::vector<KeyIndex>{kA, kA, 0x15B, 0x15B, 0x15C}));
  copies->EndRecording();
  EXPECT_EQ(copies->OnThreadHook(HookEvent(0x42, kB, false, false, 200)), Verdict::Pass);
  EXPECT_EQ(copies->Actions().rowCount(), 5);
}

// ---- The action list ----------------------------------------------------------

TEST_F(MacroWorkingCopiesTest, InsertShiftsDelaysUnlessRawAndStoresStrangeDirectionsAsPress) {
  StartWithNewMacro();
  ASSERT_TRUE(copies->InsertAction(MacroEvent{300, kA, 7}, {}));
  ASSERT_TRUE(copies->InsertAction(MacroEvent{400, kB, kEventRelease}, {}));
  ASSERT_TRUE(copies->InsertAction(MacroEvent{25, kB, kEventPress}, {.raw = true}));
  const auto& rows = copies->Actions().Rows();
  EXPECT_EQ(rows[0].direction, kEventPress);
  EXPECT_EQ(Delays(*copies), (std::vector<std::uint32_t>{400, 0, 25}));
  EXPECT_EQ(copies->SelectedRow(), -1);
  EXPECT_EQ(modifiedMarks, 1);  // the Add only
}

TEST_F(MacroWorkingCopiesTest, TheListHoldsAtMost2000Rows) {
  StartWithNewMacro();
  for (int i = 0; i < kMaxMacroEvents; ++i) {
    ASSERT_TRUE(copies->InsertAction(MacroEvent{10, kA, kEventPress}, {.raw = true}));
  }
  EXPECT_FALSE(copies->InsertAction(MacroEvent{10, kB, kEventPress}, {.raw = true}));
  copies->BeginRecording(0);
  copies->RecordKey(kB, false, 5);
  EXPECT_EQ(copies->Actions().rowCount(), kMaxMacroEvents);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MacroWorkingCopiesTest, MoveKeepsTheRowSelectedAndClampsAtTheEnds) {
  struct Case {
    int from;
    MacroWorkingCopies::Move move;
    int to;
  };
  using M = MacroWorkingCopies::Move;
  const Case cases[] = {{2, M::Top, 0}, {2, M::Up, 1},   {2, M::Down, 3},   {2, M::Bottom, 4},
                        {0, M::Up, 0},  {4, M::Down, 4}, {0, M::Bottom, 4}, {4, M::Top, 0}};
  StartWithNewMacro();
  AddRows(5);
  for (const Case& c : cases) {
    const std::vector<MacroEvent> before = copies->Actions().Rows();
    copies->SetSelectedRow(c.from);
    ASSERT_TRUE(copies->MoveAction(c.move));
    std::vector<MacroEvent> expected = before;
    const MacroEvent moved = expected[c.from];
    expected.erase(expected.begin() + c.from);
    expected.insert(expected.begin() + c.to, moved);
    EXPECT_EQ(copies->Actions().Rows(), expected) << c.from << " to " << c.to;
    EXPECT_EQ(copies->SelectedRow(), c.to);
  }
  copies->SetSelectedRow(-1);
  EXPECT_FALSE(copies->MoveAction(M::Up));
}

TEST_F(MacroWorkingCopiesTest, DeleteActionSelectsTheNextRowOrThePreviousOneAtTheEnd) {
  StartWithNewMacro();
  AddRows(3);
  EXPECT_FALSE(copies->DeleteAction());  // nothing selected
  copies->SetSelectedRow(1);
  ASSERT_TRUE(copies->DeleteAction());
  EXPECT_EQ(Keys(*copies), (std::vector<KeyIndex>{0x10, 0x12}));
  EXPECT_EQ(copies->SelectedRow(), 1);
  ASSERT_TRUE(copies->DeleteAction());
  EXPECT_EQ(copies->SelectedRow(), 0);
  ASSERT_TRUE(copies->DeleteAction());
  EXPECT_EQ(copies->SelectedRow(), -1);
  EXPECT_EQ(copies->Actions().rowCount(), 0);
}

TEST_F(MacroWorkingCopiesTest, ClearAsksAndRemovesOnlyOnYes) {
  StartWithNewMacro();
  EXPECT_FALSE(copies->ClearActions());
  EXPECT_TRUE(boxes.shown.empty());  // an empty list asks nothing
  AddRows(3);
  EXPECT_FALSE(copies->ClearActions());
  EXPECT_EQ(copies->Actions().rowCount(), 3);
  boxes.answerYes = true;
  EXPECT_TRUE(copies->ClearActions());
  EXPECT_EQ(copies->Actions().rowCount(), 0);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].kind, MessageKind::Question);
  EXPECT_EQ(boxes.shown[0].text, language->LoadLangText("IDS_MACRO_ACTION_CLEAR_CONFIRM"));
}

struct DelayCase {
  const char* typed;
  std::uint32_t stored;  // the row's delay afterwards (it was 777)
  bool changed;
  bool message;
};

class DelayEditTest : public MacroWorkingCopiesTest,
                      public ::testing::WithParamInterface<DelayCase> {};

TEST_P(DelayEditTest, RoundsDownLimitsAndNeverWraps) {
  const DelayCase& c = GetParam();
  StartWithNewMacro();
  ASSERT_TRUE(copies->InsertAction(MacroEvent{777, kA, kEventPress}, {.raw = true}));
  const int marks = modifiedMarks;
  EXPECT_EQ(copies->EditDelay(0, QString::fromLatin1(c.typed)), c.changed);
  EXPECT_EQ(copies->Actions().Rows()[0].delayMs, c.stored);
  EXPECT_EQ(modifiedMarks, marks + (c.changed ? 1 : 0));
  if (c.message) {
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("A delay can be at most 40000 ms."));
  } else {
    EXPECT_TRUE(boxes.shown.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Typed, DelayEditTest,
    ::testing::Values(DelayCase{"12345", 12340, true, false}, DelayCase{"50000", 40000, true, true},
                      DelayCase{"40000", 40000, true, false}, DelayCase{"40001", 40000, true, true},
                      DelayCase{"0", 0, true, false}, DelayCase{"9", 0, true, false},
                      DelayCase{"99999999999", 40000, true, true},
                      DelayCase{"4294967296", 40000, true, true},
                      DelayCase{"-10", 40000, true, true}, DelayCase{"", 777, false, false},
                      DelayCase{"12a", 777, false, false}));

TEST_F(MacroWorkingCopiesTest, KeyAndDirectionEditsChangeOnlyOnADifferentChoice) {
  StartWithNewMacro();
  ASSERT_TRUE(copies->InsertAction(MacroEvent{0, kA, kEventPress}, {.raw = true}));
  const std::uint16_t idOfA = KeyIdFromKeyIndex(kA);
  ASSERT_LT(idOfA, kPickerKeyCount);
  const int marks = modifiedMarks;
  EXPECT_FALSE(copies->EditKey(0, idOfA));
  EXPECT_FALSE(copies->EditKey(0, kPickerKeyCount));
  EXPECT_FALSE(copies->EditDirection(0, kEventPress));
  EXPECT_FALSE(copies->EditDirection(0, 2));
  EXPECT_EQ(modifiedMarks, marks);
  const std::uint16_t other = idOfA == 0 ? 1 : 0;
  EXPECT_TRUE(copies->EditKey(0, other));
  EXPECT_EQ(copies->Actions().Rows()[0].key, KeyIndexFromKeyId(other));
  EXPECT_TRUE(copies->EditDirection(0, kEventRelease));
  EXPECT_EQ(copies->Actions().Rows()[0].direction, kEventRelease);
  EXPECT_EQ(modifiedMarks, marks + 2);
}

TEST_F(MacroWorkingCopiesTest, CyclesAreCorrectedIntoOneTo255) {
  struct Case {
    const char* typed;
    const char* shown;
    int cycles;
  };
  const Case cases[] = {
      {"0", "1", 1}, {"300", "255", 255}, {"7", "7", 7},  {"255", "255", 255},
      {"", "1", 1},  {"x", "1", 1},       {"-4", "1", 1}, {"99999999999", "255", 255}};
  for (const Case& c : cases) {
    const int marks = modifiedMarks;
    EXPECT_EQ(copies->EditCycles(QString::fromLatin1(c.typed)), QString::fromLatin1(c.shown))
        << c.typed;
    EXPECT_EQ(copies->Cycles(), c.cycles) << c.typed;
    EXPECT_EQ(modifiedMarks, marks + 1);
  }
}

// ---- The macro list -----------------------------------------------------------

TEST_F(MacroWorkingCopiesTest, LoadTakesTheStoredMacrosInOrderWithNoneCurrent) {
  StoreMacros({StoredMacro(u"one", 4, {{30, kA, 0}}), StoredMacro(u"two", 2)});
  copies->Load();
  ASSERT_EQ(copies->Count(), 2);
  EXPECT_EQ(copies->NameAt(0), QStringLiteral("one"));
  EXPECT_EQ(copies->CopyAt(1)->number, 2);
  EXPECT_EQ(copies->CopyAt(0)->fresh, 0);
  EXPECT_EQ(copies->Current(), -1);
  EXPECT_EQ(copies->Actions().rowCount(), 0);
  copies->Select(0);
  EXPECT_EQ(Keys(*copies), (std::vector<KeyIndex>{kA}));
}

TEST_F(MacroWorkingCopiesTest, AddNamesWithTheNextNameNoEntryBeginsWith) {
  copies->Load();
  ASSERT_TRUE(copies->Add());
  EXPECT_EQ(copies->NameAt(0), QStringLiteral("Macro 1"));
  const MacroRecord& first = *copies->CopyAt(0);
  EXPECT_EQ(first.number, 1);
  EXPECT_EQ(first.fresh, 1);
  EXPECT_EQ(first.repeatCount, 1);
  EXPECT_EQ(copies->Current(), 0);

  // "Macro 12" begins with "Macro 1": the counter goes on to 2.
  StoreMacros({StoredMacro(u"macro 12", 1)});
  copies->Load();
  ASSERT_TRUE(copies->Add());
  EXPECT_EQ(copies->NameAt(1), QStringLiteral("Macro 2"));
  EXPECT_EQ(copies->CopyAt(1)->number, 2);
  EXPECT_EQ(copies->Current(), 1);
}

TEST_F(MacroWorkingCopiesTest, AddRefusesTheHundredAndFirstMacro) {
  std::vector<MacroRecord> hundred;
  for (std::uint16_t n = 1; n <= kMaxMacroNumber; ++n) {
    hundred.push_back(StoredMacro(u"m" + std::u16string(1, char16_t(u'0' + n % 10)), n));
  }
  StoreMacros(hundred);
  copies->Load();
  copies->Select(5);
  EXPECT_FALSE(copies->Add());
  EXPECT_EQ(copies->Count(), 100);
  EXPECT_EQ(copies->Current(), 5);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, QStringLiteral("You can create at most 100 macros."));
  EXPECT_EQ(boxes.shown[0].kind, MessageKind::Information);
}

TEST_F(MacroWorkingCopiesTest, DeleteAsksOnlyForAStoredMacroThatKeysUse) {
  struct Case {
    const char* name;
    bool fresh;
    bool used;
    bool answerYes;
    bool asked;
    bool deleted;
  };
  const Case cases[] = {{"fresh and used number", true, true, false, false, true},
                        {"stored, used, No", false, true, false, true, false},
                        {"stored, used, Yes", false, true, true, true, true},
                        {"stored, unused", false, false, false, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    store.InstallDefault();
    boxes.shown.clear();
    boxes.answerYes = c.answerYes;
    StoreMacros({StoredMacro(u"keep", 1), StoredMacro(u"stored", 2)});
    if (c.used) AssignMacro(1, 0x1E, 2);
    copies->Load();
    if (c.fresh) {
      boxes.answerYes = true;
      copies->Select(1);
      ASSERT_TRUE(copies->DeleteCurrent());
      ASSERT_TRUE(copies->Add());  // takes number 2 again, fresh
      boxes.shown.clear();
      boxes.answerYes = c.answerYes;
    }
    copies->Select(1);
    EXPECT_EQ(copies->DeleteCurrent(), c.deleted);
    EXPECT_EQ(boxes.shown.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(boxes.shown[0].kind, MessageKind::Question);
      EXPECT_EQ(boxes.shown[0].text,
                language->LoadLangText("IDS_KEY_MACRO_DELETE_CONFIRM_OF_KEYS"));
    }
    EXPECT_EQ(copies->Count(), c.deleted ? 1 : 2);
    EXPECT_EQ(copies->Current(), c.deleted ? 0 : 1);
  }
}

TEST_F(MacroWorkingCopiesTest, DeletingTheLastMacroLeavesNoneCurrent) {
  copies->Load();
  ASSERT_TRUE(copies->Add());
  ASSERT_TRUE(copies->InsertAction(MacroEvent{0, kA, kEventPress}, {}));
  ASSERT_TRUE(copies->DeleteCurrent());
  EXPECT_EQ(copies->Count(), 0);
  EXPECT_EQ(copies->Current(), -1);
  EXPECT_EQ(copies->Actions().rowCount(), 0);
}

TEST_F(MacroWorkingCopiesTest, RenameKeepsNamesUniqueAsTyped) {
  StoreMacros({StoredMacro(u"Alpha", 1), StoredMacro(u"Beta", 2)});
  copies->Load();
  copies->Select(1);
  struct Case {
    const char* typed;
    const char* name;
  };
  // A text that begins another entry gets a generated name; one that only
  // begins the edited entry itself is taken.
  const Case cases[] = {{"Gamma", "Gamma"},
                        {"al", "Macro 1"},
                        {"Alphabet", "Alphabet"},
                        {"Gam", "Gam"},
                        {"ALPHA", "Macro 2"}};
  for (const Case& c : cases) {
    copies->Rename(QString::fromLatin1(c.typed));
    EXPECT_EQ(copies->NameAt(1), QString::fromLatin1(c.name)) << c.typed;
    EXPECT_EQ(copies->NameAt(0), QStringLiteral("Alpha"));
  }
  EXPECT_EQ(copies->Count(), 2);
  copies->Rename(QString(300, u'n'));
  EXPECT_EQ(copies->NameAt(1), QString(kMaxMacroNameLength, u'n'));
}

TEST_F(MacroWorkingCopiesTest, TypingIntoAnEmptyListMakesTheFirstMacro) {
  copies->Load();
  copies->Rename(QStringLiteral("x"));
  ASSERT_EQ(copies->Count(), 1);
  EXPECT_EQ(copies->NameAt(0), QStringLiteral("x"));
  EXPECT_EQ(copies->Current(), 0);
  EXPECT_EQ(copies->CopyAt(0)->fresh, 1);
  EXPECT_EQ(modifiedMarks, 1);
}

// Obvious fault: typing while macros exist but none is current would rename
// (or, as worded, dereference) a copy that is not there.
TEST_F(MacroWorkingCopiesTest, TypingWithNoMacroCurrentTouchesNoCopy) {
  StoreMacros({StoredMacro(u"Alpha", 1), StoredMacro(u"Beta", 2)});
  copies->Load();
  ASSERT_EQ(copies->Current(), -1);
  copies->Rename(QStringLiteral("Zeta"));
  copies->Rename(QString());
  EXPECT_EQ(copies->Count(), 2);
  EXPECT_EQ(copies->NameAt(0), QStringLiteral("Alpha"));
  EXPECT_EQ(copies->NameAt(1), QStringLiteral("Beta"));
  EXPECT_EQ(copies->Current(), -1);
  EXPECT_EQ(modifiedMarks, 0);
}

// Obvious fault: when the emptied name's generated replacement is taken, the
// Add that follows must not lose the copy whose entry was taken out for the
// rename.
TEST_F(MacroWorkingCopiesTest, EmptyingANameWhoseReplacementIsTakenKeepsTheEditedCopy) {
  StoreMacros({StoredMacro(u"Mine", 1, {{10, kA, 0}}), StoredMacro(u"Macro 1", 2)});
  copies->Load();
  copies->Select(0);
  copies->Rename(QString());
  ASSERT_EQ(copies->Count(), 3);
  EXPECT_EQ(copies->NameAt(0), QStringLiteral("Mine"));
  EXPECT_EQ(copies->CopyAt(0)->eventCount, 1);
  EXPECT_EQ(copies->NameAt(1), QStringLiteral("Macro 1"));
  EXPECT_EQ(copies->NameAt(2), QStringLiteral("Macro 2"));
  EXPECT_EQ(copies->Current(), 2);
}

TEST_F(MacroWorkingCopiesTest, WithoutTheLanguageTextsNamesAndMessagesShowTheLookupsResult) {
  QTemporaryDir noTexts;
  ASSERT_TRUE(noTexts.isValid());
  Language bare(*registry, noTexts.path(), [] { return macrotest::kEnglish; });
  MacroWorkingCopies plain(MacroWorkingCopies::Context{store, bare, boxes, [] {}});
  plain.Load();
  ASSERT_TRUE(plain.Add());
  ASSERT_TRUE(plain.Add());
  EXPECT_EQ(plain.NameAt(0), QStringLiteral("#Error1"));
  EXPECT_EQ(plain.NameAt(1), QStringLiteral("#Error2"));
  ASSERT_TRUE(plain.InsertAction(MacroEvent{0, kA, kEventPress}, {}));
  EXPECT_TRUE(plain.EditDelay(0, QStringLiteral("50000")));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, QStringLiteral("#Error"));
  EXPECT_EQ(plain.Actions().headerData(0, Qt::Horizontal).toString(), QStringLiteral("#Error"));
}

// ---- Commit -------------------------------------------------------------------

TEST_F(MacroWorkingCopiesTest, CommitSavesThePageAndClearsTheFreshFlags) {
  copies->Load();
  ASSERT_TRUE(copies->Add());
  copies->EditCycles(QStringLiteral("9"));
  ASSERT_TRUE(copies->InsertAction(MacroEvent{0, kA, kEventPress}, {}));
  ASSERT_TRUE(copies->InsertAction(MacroEvent{30, kA, kEventRelease}, {}));
  ASSERT_TRUE(copies->Commit());
  EXPECT_EQ(copies->CopyAt(0)->fresh, 0);
  const std::optional<MacroRecord> stored = store.MacroAt(0);
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->repeatCount, 9);
  EXPECT_EQ(stored->fresh, 0);
  EXPECT_EQ(stored->Events().size(), 2u);
  EXPECT_EQ(stored->Events()[0].delayMs, 30u);
  EXPECT_EQ(stored->Name(), u"Macro 1");
}

TEST_F(MacroWorkingCopiesTest, ANumberFreedAndTakenAgainResetsTheKeysOfTheOldMacro) {
  StoreMacros({StoredMacro(u"one", 1), StoredMacro(u"two", 2), StoredMacro(u"three", 3)});
  AssignMacro(0, 0x1E, 3);
  AssignMacro(2, 0x30, 2);
  copies->Load();
  copies->Select(2);
  boxes.answerYes = true;
  ASSERT_TRUE(copies->DeleteCurrent());
  ASSERT_TRUE(copies->Add());
  EXPECT_EQ(copies->CopyAt(copies->Current())->number, 3);
  ASSERT_TRUE(copies->Commit());
  EXPECT_TRUE(store.GetAssignment(0, 0x1E).Is(AssignmentKind::Default));
  EXPECT_TRUE(store.GetAssignment(2, 0x30).Is(AssignmentKind::PlayMacro));
  EXPECT_EQ(store.MacroNumberAt(2), 3);
  EXPECT_FALSE(store.IsMacroInUse(3));
}

TEST_F(MacroWorkingCopiesTest, APlayMacroKeyWithoutNumberGetsTheFirstMacro) {
  StoreMacros({StoredMacro(u"one", 5), StoredMacro(u"two", 2)});
  AssignMacro(1, 0x1E, 0);
  copies->Load();
  ASSERT_TRUE(copies->Commit());
  EXPECT_EQ(store.GetAssignment(1, 0x1E).param, 5u);
  EXPECT_TRUE(store.GetAssignment(1, 0x1E).Is(AssignmentKind::PlayMacro));
}

// ---- The model ----------------------------------------------------------------

TEST_F(MacroWorkingCopiesTest, ModelShowsThreeColumnsWithGreyKeyAndDirection) {
  StartWithNewMacro();
  ASSERT_TRUE(copies->InsertAction(MacroEvent{120, kA, kEventPress}, {.raw = true}));
  ASSERT_TRUE(copies->InsertAction(MacroEvent{0, kA, kEventRelease}, {.raw = true}));
  const MacroActionModel& model = copies->Actions();
  EXPECT_EQ(model.columnCount(), 3);
  EXPECT_EQ(model.data(model.index(0, 0)).toString(), KeyNameFromKeyIndex(kA, *language));
  EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("\u2193"));
  EXPECT_EQ(model.data(model.index(1, 1)).toString(), QStringLiteral("  \u2191"));
  EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("120"));
  for (int column = 0; column < 3; ++column) {
    EXPECT_EQ(model.data(model.index(0, column), MacroActionModel::kGreyTextRole).toBool(),
              column < 2);
  }
  EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(),
            language->LoadLangText("IDS_MACRO_MACRO_ACTION_COLUME_DELAY"));
}

TEST_F(MacroWorkingCopiesTest, ARecordedRowIsOneRowInsertedNotAReset) {
  StartWithNewMacro();
  AddRows(1999);
  copies->SetSelectedRow(1000);
  MacroActionModel& model = copies->Actions();
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  copies->BeginRecording(0);
  copies->RecordKey(kA, false, 10);
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(inserted[0][1].toInt(), 1001);
  EXPECT_EQ(inserted[0][2].toInt(), 1001);
  EXPECT_EQ(reset.count(), 0);
  ASSERT_EQ(changed.count(), 1);  // the row before takes the new delay
  EXPECT_EQ(changed[0][0].toModelIndex().row(), 1000);
}

}  // namespace
}  // namespace kst
