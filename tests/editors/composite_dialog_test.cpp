// The key assignment dialog, offscreen, on a real store, language and
// registry in a temporary folder; the window that opens it is a fake that
// records what it was asked. The dialog is modal: each test runs its steps
// inside the open dialog (Run) and looks at the store afterwards.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editors/EditorLooks.h"
#include "editors/Kestrune_DlgComposite.h"
#include "editors/KeyEditorHost.h"
#include "editors/KeyboardHook.h"
#include "editors/MacroPage.h"
#include "editors/MacroWorkingCopies.h"
#include "foundation/Language.h"
#include "foundation/SkinLayout.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "skin/CPngButton.h"
#include "store/AssignmentStore.h"
#include "support/ButtonLooks.h"
#include "support/KeyPresses.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace kst {
namespace {

constexpr std::uint16_t kEnglish = 1033;
constexpr int kKeyButtonId = 1300;
constexpr AssignmentSlot kSlotA = 0x1E;
constexpr AssignmentSlot kSlotB = 0x30;
constexpr AssignmentSlot kSlotG1 = 256;
constexpr QRect kScreen(0, 0, 1920, 1080);
constexpr QRect kSecondScreen(1920, 0, 1280, 1024);

class FakeHost : public KeyEditorHost {
 public:
  int profile = 0;
  QRect buttonRect{100, 100, 40, 40};
  std::vector<std::pair<int, bool>> editing;
  std::vector<std::pair<int, bool>> assigned;
  std::vector<QString> messages;
  int refreshes = 0;
  int applyPending = 0;
  int helps = 0;

  bool Show(const QString& text, MessageKind) override {
    messages.push_back(text);
    return false;
  }
  int CurrentProfile() override { return profile; }
  QRect KeyButtonScreenRect(int) override { return buttonRect; }
  void ShowKeyEditing(int id, bool on) override { editing.emplace_back(id, on); }
  void ShowKeyAssigned(int id, bool on) override { assigned.emplace_back(id, on); }
  void RefreshKeyButtons() override { ++refreshes; }
  void MarkApplyPending() override { ++applyPending; }
  void OpenHelp() override { ++helps; }
};

class CompositeDialogTest : public ::testing::Test {
 public:
  QTemporaryDir temp;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<Language> language;
  std::unique_ptr<AppProfile> appProfile;
  AssignmentStore store;
  FakeHost host;
  AppPaths paths;
  std::unique_ptr<Kestrune_DlgComposite> dialog;
  QString onScreenKeyboard;  // what the dialog finds on PATH
  std::vector<QString> started;

  // The folder the language files are read from; the program folder by default.
  virtual QString LanguageFolder() const { return QStringLiteral(KST_BIN_DIR); }

  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    paths.programFolder = QStringLiteral(KST_BIN_DIR);
    paths.dataFolder = temp.path() + "/data";
    paths.registryFile = temp.path() + "/registry.reg";
    registry = std::make_unique<Registry>(paths.registryFile);
    language = std::make_unique<Language>(*registry, LanguageFolder(), [] { return kEnglish; });
    appProfile = std::make_unique<AppProfile>(*registry);
    dialog = std::make_unique<Kestrune_DlgComposite>(host, store, *language, *appProfile, paths);
    Kestrune_DlgComposite::Seams seams;
    seams.screenAt = [](QPoint point) {
      return kSecondScreen.contains(point) ? kSecondScreen : kScreen;
    };
    seams.startDetached = [this](const QString& program) {
      started.push_back(program);
      return true;
    };
    seams.findOnScreenKeyboard = [this] { return onScreenKeyboard; };
    dialog->SetSeams(std::move(seams));
  }

  // Opens the dialog on the slot, runs the steps inside it, then closes it
  // with Cancel unless the steps closed it. Returns the dialog's result.
  int Run(AssignmentSlot slot, const std::function<void()>& steps, int buttonId = kKeyButtonId) {
    QTimer::singleShot(0, dialog.get(), [this, &steps] {
      steps();
      if (dialog->IsOpen()) dialog->OnCommand(2);
    });
    return dialog->Open(slot, buttonId);
  }

  KeyboardHook::Verdict Key(int qtKey, bool release = false, bool autoRepeat = false) {
    NativeKeyEvent event;
    event.qtKey = qtKey;
    event.release = release;
    event.autoRepeat = autoRepeat;
    return dialog->Hook().Offer(event);
  }

  void Put(AssignmentSlot slot, AssignmentKind kind, std::uint32_t param,
           std::u16string_view text = {}) {
    ASSERT_TRUE(store.SetAssignment(host.profile, slot, kind, param, text));
  }
  KeyAssignment Entry(AssignmentSlot slot) const { return store.GetAssignment(host.profile, slot); }
  // New macros with these names in the store; the records as stored (empty
  // when the store refused them).
  std::vector<MacroRecord> StoreMacros(std::initializer_list<const char16_t*> names) {
    std::vector<MacroRecord> macros;
    for (const char16_t* name : names) {
      std::vector<std::uint16_t> used;
      for (const MacroRecord& m : macros) used.push_back(m.number);
      auto record = NewMacroRecord(name, used);
      if (!record) return {};
      macros.push_back(*record);
    }
    if (!store.ReplaceMacroList(macros)) return {};
    return macros;
  }

  int Index() { return language->GetLanguageIndex(); }
  QString Text(const char* key) {
    return language->LoadLangText(QString::fromLatin1(key), Index());
  }
  QWidget* Control(int id) const { return dialog->Control(id); }
  CPngButton* Button(int id) const { return qobject_cast<CPngButton*>(Control(id)); }
  QComboBox* List(int id) const { return qobject_cast<QComboBox*>(Control(id)); }
  QString EditText() const { return qobject_cast<QLineEdit*>(Control(1127))->text(); }
  bool Checked(int id) const { return qobject_cast<QCheckBox*>(Control(id))->isChecked(); }
};

// ---- Key capture on the single-key page --------------------------------------

struct KeyStroke {
  int qtKey;
  bool release;
  bool autoRepeat;
  KeyboardHook::Verdict verdict;
};

struct CaptureCase {
  const char* name;
  AssignmentSlot slot;
  int mousePosition;  // -1: keyboard source; otherwise the mouse source with this button
  std::vector<KeyStroke> strokes;
  KeyIndex captured;
  AssignmentKind kind;  // written by OK
  std::uint32_t param;
};

using V = KeyboardHook::Verdict;

class CaptureTest : public CompositeDialogTest,
                    public ::testing::WithParamInterface<CaptureCase> {};

TEST_P(CaptureTest, CapturesAndWrites) {
  const CaptureCase& c = GetParam();
  const int result = Run(c.slot, [&] {
    EXPECT_TRUE(dialog->Hook().Installed());
    if (c.mousePosition >= 0) {
      dialog->OnCommand(1186);
      List(1187)->setCurrentIndex(c.mousePosition);
    }
    for (const KeyStroke& stroke : c.strokes)
      EXPECT_EQ(Key(stroke.qtKey, stroke.release, stroke.autoRepeat), stroke.verdict)
          << "key " << stroke.qtKey << (stroke.release ? " up" : " down");
    EXPECT_EQ(dialog->CapturedKey(), c.captured);
    EXPECT_EQ(EditText(), c.captured ? KeyNameFromKeyIndex(c.captured, *language) : QString());
    // The source stays as chosen, whatever was captured.
    EXPECT_EQ(Checked(1186), c.mousePosition >= 0);
    dialog->OnCommand(1);
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(Entry(c.slot).kind, static_cast<std::uint16_t>(c.kind));
  EXPECT_EQ(Entry(c.slot).param, c.param);
  EXPECT_FALSE(dialog->Hook().Installed());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CaptureTest,
    ::testing::Values(
        CaptureCase{"OtherKey",
                    kSlotA,
                    -1,
                    {{Qt::Key_B, false, false, V::Swallow}, {Qt::Key_B, true, false, V::Swallow}},
                    0x30,
                    AssignmentKind::SingleKey,
                    0x30},
        // Mapping a key to itself is its default function.
        CaptureCase{"EditedKeyItself",
                    kSlotA,
                    -1,
                    {{Qt::Key_A, false, false, V::Swallow}, {Qt::Key_A, true, false, V::Swallow}},
                    0x1E,
                    AssignmentKind::Default,
                    0x1E},
        CaptureCase{
            "VolumeUpPasses",
            kSlotA,
            -1,
            {{Qt::Key_VolumeUp, false, false, V::Pass}, {Qt::Key_VolumeUp, true, false, V::Pass}},
            0,
            AssignmentKind::Default,
            0},
        // Only the release of Print Screen reaches the hook, and captures it.
        CaptureCase{
            "PrintScreenRelease",
            kSlotA,
            -1,
            {{Qt::Key_Print, false, false, V::Swallow}, {Qt::Key_Print, true, false, V::Swallow}},
            0x137,
            AssignmentKind::SingleKey,
            0x137},
        CaptureCase{"AutoRepeatNotCaptured",
                    kSlotA,
                    -1,
                    {{Qt::Key_B, false, true, V::Swallow}, {Qt::Key_B, true, false, V::Swallow}},
                    0,
                    AssignmentKind::Default,
                    0},
        // Mouse source: keys are swallowed, not captured...
        CaptureCase{"MouseSourceKey",
                    kSlotA,
                    2,
                    {{Qt::Key_B, false, false, V::Swallow}, {Qt::Key_B, true, false, V::Swallow}},
                    0,
                    AssignmentKind::SingleKey,
                    0x173},
        // ... but the Windows key still fills the name field; Apply writes
        // the mouse button.
        CaptureCase{
            "MouseSourceWindowsKey",
            kSlotA,
            1,
            {{Qt::Key_Meta, false, false, V::Swallow}, {Qt::Key_Meta, true, false, V::Swallow}},
            0x15B,
            AssignmentKind::SingleKey,
            0x172},
        CaptureCase{"KeyboardSourceWindowsKey",
                    kSlotA,
                    -1,
                    {{Qt::Key_Meta, false, false, V::Swallow}},
                    0x15B,
                    AssignmentKind::SingleKey,
                    0x15B}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Pages, Apply, Clear ----------------------------------------------------

TEST_F(CompositeDialogTest, OpensMediaEntryOnItsPositionAndSwitchesPages) {
  Put(kSlotA, AssignmentKind::MediaKey, 3);
  Run(kSlotA, [&] {
    EXPECT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageMedia);
    EXPECT_EQ(List(1128)->currentIndex(), 3);
    EXPECT_EQ(List(1128)->count(), 18);
    EXPECT_EQ(List(1128)->itemText(3), KeyNameFromKeyIndex(0x110, *language));
    EXPECT_TRUE(Control(1128)->isVisibleTo(dialog.get()));
    EXPECT_FALSE(Control(1127)->isVisibleTo(dialog.get()));
    EXPECT_FALSE(Control(1129)->isVisibleTo(dialog.get()));
    EXPECT_TRUE(Button(1030)->IsSelected());
    EXPECT_FALSE(Button(1028)->IsSelected());
    EXPECT_FALSE(dialog->Hook().Installed());
    EXPECT_FALSE(dialog->Modified());

    dialog->OnCommand(1030);  // already there
    EXPECT_FALSE(dialog->Modified());
    dialog->OnCommand(1031);
    EXPECT_TRUE(dialog->Modified());
    EXPECT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageFunction);
    EXPECT_EQ(List(1129)->count(), 11);
    EXPECT_TRUE(Control(1129)->isVisibleTo(dialog.get()));
    EXPECT_FALSE(Control(1128)->isVisibleTo(dialog.get()));
    EXPECT_TRUE(Button(1031)->IsSelected());
    EXPECT_FALSE(Button(1030)->IsSelected());
    List(1129)->setCurrentIndex(9);

    dialog->OnApply();
    EXPECT_FALSE(dialog->Modified());
    EXPECT_TRUE(dialog->IsOpen());
    EXPECT_EQ(Entry(kSlotA).kind, static_cast<std::uint16_t>(AssignmentKind::FunctionKey));
    EXPECT_EQ(Entry(kSlotA).param, 9u);

    dialog->OnCommand(1028);
    EXPECT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageSingle);
    EXPECT_TRUE(dialog->Hook().Installed());
    EXPECT_TRUE(Control(1127)->isVisibleTo(dialog.get()));
    EXPECT_TRUE(Checked(1185));
  });
  // Cancel after Apply keeps what Apply wrote.
  EXPECT_EQ(Entry(kSlotA).kind, static_cast<std::uint16_t>(AssignmentKind::FunctionKey));
  ASSERT_EQ(host.assigned.size(), 1u);
  EXPECT_EQ(host.assigned[0], std::make_pair(kKeyButtonId, true));
  EXPECT_EQ(host.refreshes, 1);
  EXPECT_EQ(host.applyPending, 1);
}

TEST_F(CompositeDialogTest, GKeyWithMediaPageKeepsItsGKeyCode) {
  Run(kSlotG1, [&] {
    dialog->OnCommand(1030);
    List(1128)->setCurrentIndex(5);
    dialog->OnCommand(1);
  });
  const KeyAssignment entry = Entry(kSlotG1);
  EXPECT_EQ(entry.kind, static_cast<std::uint16_t>(AssignmentKind::MediaKey));
  EXPECT_EQ(entry.extra, 0x0301);
  EXPECT_EQ(entry.param, 5u);
}

TEST_F(CompositeDialogTest, GKeyWithMacroPageWritesCyclesAsExtra) {
  const std::vector<MacroRecord> macros = StoreMacros({u"first", u"second"});
  ASSERT_EQ(macros.size(), 2u);
  Run(kSlotG1, [&] {
    dialog->OnCommand(1029);
    EXPECT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageMacro);
    // First visit with no macro stored: the first macro is shown.
    EXPECT_EQ(dialog->Macros().CurrentPosition(), 0);
    auto* cycles = qobject_cast<QLineEdit*>(Control(1125));
    ASSERT_NE(cycles, nullptr);
    cycles->setText(QStringLiteral("7"));
    dialog->OnCommand(1);
  });
  const KeyAssignment entry = Entry(kSlotG1);
  EXPECT_EQ(entry.kind, static_cast<std::uint16_t>(AssignmentKind::PlayMacro));
  EXPECT_EQ(entry.param, macros[0].number);
  EXPECT_EQ(entry.extra, 7);
}

// An opening on another page leaves the macros where they are until the
// macro page or Apply needs them; neither may find them missing.
TEST_F(CompositeDialogTest, MacrosOutlastOpeningsThatNeverShowTheMacroPage) {
  const std::vector<MacroRecord> macros = StoreMacros({u"first", u"second"});
  ASSERT_EQ(macros.size(), 2u);
  Put(kSlotG1, AssignmentKind::PlayMacro, macros[1].number);

  // A key captured and applied: the macros and the key playing one stay.
  Run(kSlotA, [&] {
    Key(Qt::Key_B);
    Key(Qt::Key_B, true);
    dialog->OnCommand(1);
  });
  EXPECT_EQ(Entry(kSlotA).kind, static_cast<std::uint16_t>(AssignmentKind::SingleKey));
  ASSERT_EQ(store.MacroCount(), 2);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(store.MacroAt(i), macros[static_cast<std::size_t>(i)]);
  EXPECT_EQ(Entry(kSlotG1).kind, static_cast<std::uint16_t>(AssignmentKind::PlayMacro));
  EXPECT_EQ(Entry(kSlotG1).param, macros[1].number);

  // An opening on the macro page selects the key's macro.
  Run(kSlotG1, [&] {
    EXPECT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageMacro);
    EXPECT_EQ(dialog->Macros().CurrentPosition(), 1);
    EXPECT_EQ(List(1126)->currentText(), QStringLiteral("second"));
    dialog->OnCommand(1028);
  });
  // The macro page shown later in an opening lists them.
  Run(kSlotA, [&] {
    dialog->OnCommand(1029);
    EXPECT_EQ(dialog->Macros().MacroCount(), 2);
    EXPECT_EQ(List(1126)->count(), 2);
  });
}

TEST_F(CompositeDialogTest, MacroPageWithoutMacrosWritesDefault) {
  Put(kSlotA, AssignmentKind::SingleKey, 0x30);
  Run(kSlotA, [&] {
    dialog->OnCommand(1029);
    dialog->OnCommand(1);
  });
  EXPECT_EQ(Entry(kSlotA).kind, static_cast<std::uint16_t>(AssignmentKind::Default));
}

// The setting is read for the macro page of each opening, whether the page
// shows at once (macro-only) or later; a value left from an earlier opening
// would show the wrong state and record with the wrong delays.
TEST_F(CompositeDialogTest, RecordDelaySettingIsReadAtEachOpeningForTheMacroPage) {
  const QString key = QString::fromLatin1(kAppProfileKey);
  const QString name = Text("IDS_MACRO_ACTION_RECORD_DELAY");
  struct Case {
    const char* stored;
    int buttonId;
    bool checked;
    const char* written;
  };
  const Case cases[] = {{"1", kKeyButtonId, true, "1"},
                        {"7", kKeyButtonId, false, "0"},
                        {"1", kMacroOnlyControlId, true, "1"},
                        {"", kMacroOnlyControlId, false, "0"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(registry->SetString(key, name, QString::fromLatin1(c.stored)));
    Run(
        kSlotA,
        [&] {
          const bool macroOnly = c.buttonId == kMacroOnlyControlId;
          if (!macroOnly) dialog->OnCommand(1029);
          ASSERT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageMacro);
          EXPECT_EQ(qobject_cast<QCheckBox*>(Control(1027))->isChecked(), c.checked) << c.stored;
          EXPECT_EQ(dialog->Macros().WorkingCopies().RecordDelay(), c.checked ? 1 : 0);
          EXPECT_EQ(registry->GetString(key, name), QString::fromLatin1(c.written)) << c.stored;
          // Leaves the macro page hidden for the next opening.
          if (!macroOnly) dialog->OnCommand(1028);
        },
        c.buttonId);
  }
}

// The dialog is kept for its next opening, but its skin and picture sets
// live only while it is open; each opening shows the same looks.
TEST_F(CompositeDialogTest, PicturesLiveOnlyWhileOpen) {
  std::vector<std::vector<QImage>> looks;
  for (int opening = 0; opening < 2; ++opening) {
    SCOPED_TRACE(opening);
    Run(kSlotA, [&] { looks.push_back(test::ButtonLookImages(*dialog)); });
    EXPECT_EQ(test::ButtonsHoldingPictures(*dialog), QStringList());
    for (const EditorPictureFiles& set : {kKeyPictureFiles, kMacroPictureFiles, kMacro2PictureFiles,
                                          kMediaPictureFiles, kFunctionPictureFiles}) {
      for (const char* file : {set.normal, set.over, set.down, set.disabled})
        EXPECT_FALSE(dialog->Pictures().Holds(QString::fromLatin1(file))) << file;
    }
    EXPECT_TRUE(dialog->Background().isNull());
  }
  ASSERT_EQ(looks.size(), 2u);
  EXPECT_FALSE(looks[0].empty());
  EXPECT_TRUE(looks[0] == looks[1]);
}

TEST_F(CompositeDialogTest, ClearResetsASingleKeyAssignment) {
  Put(kSlotA, AssignmentKind::SingleKey, 0x30);
  Run(kSlotA, [&] {
    EXPECT_EQ(dialog->CapturedKey(), 0x30);
    EXPECT_EQ(EditText(), KeyNameFromKeyIndex(0x30, *language));
    EXPECT_FALSE(dialog->Modified());
    dialog->OnCommand(1032);
    EXPECT_TRUE(EditText().isEmpty());
    EXPECT_TRUE(dialog->Modified());
    EXPECT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageNone);
    EXPECT_TRUE(Checked(1185));
    dialog->OnApply();
  });
  EXPECT_EQ(Entry(kSlotA), KeyAssignment{});
}

TEST_F(CompositeDialogTest, OpensMouseAssignmentOnTheMouseSource) {
  Put(kSlotA, AssignmentKind::SingleKey, 0x161);
  Run(kSlotA, [&] {
    EXPECT_TRUE(Checked(1186));
    EXPECT_FALSE(Checked(1185));
    EXPECT_EQ(List(1187)->currentIndex(), 3);
    EXPECT_TRUE(Control(1187)->isEnabled());
    EXPECT_FALSE(Control(1127)->isEnabled());
    dialog->OnCommand(1185);
    EXPECT_TRUE(Checked(1185));
    EXPECT_FALSE(Control(1187)->isEnabled());
  });
}

TEST_F(CompositeDialogTest, UnknownProfileShowsTheMessageAndWritesNothing) {
  host.profile = 1;
  Put(kSlotA, AssignmentKind::MediaKey, 2);
  const KeyAssignment before = Entry(kSlotA);
  // The keyboard's profile becomes unknown while the dialog is open.
  Run(kSlotA, [&] {
    host.profile = -1;
    dialog->OnCommand(1028);
    EXPECT_EQ(Key(Qt::Key_B), V::Swallow);
    dialog->OnApply();
    EXPECT_TRUE(dialog->Modified());
  });
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], language->ShowSlot(TextSlot::ApplyPrompt, Index()));
  EXPECT_EQ(store.GetAssignment(1, kSlotA), before);
  EXPECT_EQ(host.refreshes, 0);
  EXPECT_EQ(host.applyPending, 0);
  EXPECT_TRUE(host.assigned.empty());
}

// A kind the dialog does not offer keeps kind, param and text on Apply
// unless the user chose a page, cleared or captured.
struct UnofferedCase {
  const char* name;
  AssignmentKind kind;
  std::function<void(CompositeDialogTest&, Kestrune_DlgComposite&)> act;
  bool kept;
  AssignmentKind written;
};

class UnofferedKindTest : public CompositeDialogTest,
                          public ::testing::WithParamInterface<UnofferedCase> {};

TEST_P(UnofferedKindTest, KeepsTheEntryUnlessTheUserChanged) {
  const UnofferedCase& c = GetParam();
  const std::u16string_view text = KindCarriesText(static_cast<std::uint16_t>(c.kind))
                                       ? std::u16string_view(u"/usr/bin/program")
                                       : std::u16string_view();
  Put(kSlotB, c.kind, 0x1234, text);
  const KeyAssignment before = Entry(kSlotB);
  Run(kSlotB, [&] {
    // Opened on the single-key page with the keyboard source and no name.
    EXPECT_EQ(dialog->CurrentPage(), static_cast<int>(c.kind));
    EXPECT_TRUE(Checked(1185));
    EXPECT_TRUE(EditText().isEmpty());
    EXPECT_EQ(dialog->CapturedKey(), 0);
    if (c.act) c.act(*this, *dialog);
    dialog->OnCommand(1);
  });
  if (c.kept) {
    EXPECT_EQ(Entry(kSlotB), before);
    EXPECT_EQ(store.TextAt(host.profile, kSlotB), std::u16string(text));
  } else {
    EXPECT_EQ(Entry(kSlotB).kind, static_cast<std::uint16_t>(c.written));
    EXPECT_TRUE(store.TextAt(host.profile, kSlotB).empty());
  }
  // Apply ran in full either way.
  EXPECT_EQ(host.applyPending, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnofferedKindTest,
    ::testing::Values(
        UnofferedCase{"Disabled", AssignmentKind::Disabled, {}, true, {}},
        UnofferedCase{"LaunchProgram", AssignmentKind::LaunchProgram, {}, true, {}},
        UnofferedCase{"StopMacro", AssignmentKind::StopMacro, {}, true, {}},
        UnofferedCase{"TextBlock", AssignmentKind::TextBlock, {}, true, {}},
        // Choosing the keyboard source alone captures nothing: the key is
        // then no key, its default.
        UnofferedCase{"SourceChosen", AssignmentKind::LaunchProgram,
                      [](CompositeDialogTest&, Kestrune_DlgComposite& d) { d.OnCommand(1185); },
                      false, AssignmentKind::Default},
        UnofferedCase{"MediaPageChosen", AssignmentKind::TextBlock,
                      [](CompositeDialogTest&, Kestrune_DlgComposite& d) { d.OnCommand(1030); },
                      false, AssignmentKind::MediaKey},
        UnofferedCase{"Cleared", AssignmentKind::LaunchProgram,
                      [](CompositeDialogTest&, Kestrune_DlgComposite& d) { d.OnCommand(1032); },
                      false, AssignmentKind::Default},
        UnofferedCase{"Captured", AssignmentKind::TextBlock,
                      [](CompositeDialogTest& t, Kestrune_DlgComposite&) {
                        EXPECT_EQ(t.Key(Qt::Key_A), V::Swallow);
                      },
                      false, AssignmentKind::SingleKey}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Closing ----------------------------------------------------------------

struct CloseKeyCase {
  const char* name;
  AssignmentKind kind;  // decides the page on show
  int qtKey;
};

class CloseKeyTest : public CompositeDialogTest,
                     public ::testing::WithParamInterface<CloseKeyCase> {};

TEST_P(CloseKeyTest, EnterAndEscapeDoNotClose) {
  const CloseKeyCase& c = GetParam();
  Put(kSlotA, c.kind, 0);
  Run(kSlotA, [&] {
    QTest::keyClick(dialog.get(), static_cast<Qt::Key>(c.qtKey));
    QApplication::processEvents();
    EXPECT_TRUE(dialog->IsOpen());
    EXPECT_TRUE(dialog->isVisible());
    // What Escape would call on a plain dialog.
    static_cast<QDialog*>(dialog.get())->reject();
    QApplication::processEvents();
    EXPECT_TRUE(dialog->isVisible());
  });
  EXPECT_FALSE(dialog->IsOpen());
  EXPECT_FALSE(dialog->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CloseKeyTest,
    ::testing::Values(CloseKeyCase{"EscapeOnMediaPage", AssignmentKind::MediaKey, Qt::Key_Escape},
                      CloseKeyCase{"EnterOnMediaPage", AssignmentKind::MediaKey, Qt::Key_Return},
                      CloseKeyCase{"EnterOnKeypad", AssignmentKind::FunctionKey, Qt::Key_Enter},
                      CloseKeyCase{"EscapeOnKeyPage", AssignmentKind::Default, Qt::Key_Escape},
                      CloseKeyCase{"EnterOnKeyPage", AssignmentKind::Default, Qt::Key_Return}),
    [](const auto& info) { return std::string(info.param.name); });

// Keyboard use outside the single-key page: Tab walks the page buttons, the
// page's controls, then Clear, OK and Cancel; Space acts on a button. On the
// single-key page Tab is a key to capture and moves nothing.
TEST_F(CompositeDialogTest, TabWalksTheDialogAndSpaceActsOnTheFocusedButton) {
  Put(kSlotA, AssignmentKind::MediaKey, 0);
  Run(kSlotA, [&] {
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    Button(1028)->setFocus(Qt::TabFocusReason);  // the single-key page's button
    ASSERT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageMedia);
    const std::vector<std::string> expected = {
        "CONTROL_KEY",       "CONTROL_MACRO", "CONTROL_MEDIA", "CONTROL_FUNCTION",
        "FUNC_MEDIA_SELECT", "CONTROL_CLEAR", "CONTROL_OK",    "CONTROL_CANCEL"};
    EXPECT_EQ(test::TabWalk(*dialog), expected);
    EXPECT_TRUE(Button(1028)->FocusFrameShown());

    // Space on the function page's button shows that page.
    dialog->findChild<QWidget*>(QStringLiteral("CONTROL_FUNCTION"))->setFocus(Qt::TabFocusReason);
    test::PressKey(Qt::Key_Space);
    EXPECT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageFunction);
    test::PressKey(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("FUNC_FUNCTION_SELECT"));

    // The macro page: its controls between the page buttons and Clear.
    dialog->findChild<QWidget*>(QStringLiteral("CONTROL_MACRO"))->setFocus(Qt::TabFocusReason);
    test::PressKey(Qt::Key_Space);
    ASSERT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageMacro);
    // No macro yet: recording and the action buttons are off and skipped.
    const std::vector<std::string> macroPage = {
        "CONTROL_MACRO",     "CONTROL_MEDIA",     "CONTROL_FUNCTION", "FUNC_MACRO_LIST",
        "FUNC_MACRO_ADD",    "FUNC_MACRO_DELETE", "FUNC_MACRO_LIST2", "FUNC_MACRO_RECORD_DELAY",
        "FUNC_MACRO_CYCLES", "CONTROL_CLEAR",     "CONTROL_OK",       "CONTROL_CANCEL",
        "CONTROL_KEY"};
    EXPECT_EQ(test::TabWalk(*dialog), macroPage);

    // The single-key page: Tab is captured, the focus stays.
    Button(1028)->setFocus(Qt::TabFocusReason);
    test::PressKey(Qt::Key_Space);
    ASSERT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageSingle);
    QWidget* focused = QApplication::focusWidget();
    test::PressKey(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), focused);
    EXPECT_EQ(EditText(), QStringLiteral("Tab"));
  });
}

// Each opening starts with the focus on the button of the page shown, not
// where the last opening left it; closing hides the window but keeps its
// native window for the next opening, and still reports how it ended.
TEST_F(CompositeDialogTest, EachOpeningFocusesThePageShownAndKeepsTheWindow) {
  QSignalSpy finished(dialog.get(), &QDialog::finished);
  Put(kSlotA, AssignmentKind::MediaKey, 0);
  Put(kSlotB, AssignmentKind::FunctionKey, 1);
  struct Opening {
    AssignmentSlot slot;
    const char* focused;
  };
  for (const Opening& opening :
       {Opening{kSlotA, "CONTROL_MEDIA"}, Opening{kSlotB, "CONTROL_FUNCTION"},
        Opening{kSlotA, "CONTROL_MEDIA"}}) {
    SCOPED_TRACE(opening.focused);
    const int result = Run(opening.slot, [&] {
      dialog->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
      // The offscreen platform keeps a hidden window as the focus window, so
      // the window shown again is never activated anew, as a desktop's
      // window manager would do.
      if (!QApplication::activeWindow()) QApplication::setActiveWindow(dialog.get());
      ASSERT_NE(QApplication::focusWidget(), nullptr);
      EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), opening.focused);
      EXPECT_FALSE(static_cast<CPngButton*>(QApplication::focusWidget())->FocusFrameShown());
      // Where a user might leave it before closing.
      Button(1)->setFocus(Qt::TabFocusReason);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_NE(dialog->windowHandle(), nullptr);
    EXPECT_NE(dialog->windowHandle()->handle(), nullptr);
  }
  ASSERT_EQ(finished.count(), 3);
  EXPECT_EQ(finished.at(2).at(0).toInt(), QDialog::Rejected);
}

TEST_F(CompositeDialogTest, CancelAndCloseIfOpenWriteNothing) {
  Put(kSlotA, AssignmentKind::MediaKey, 4);
  const KeyAssignment before = Entry(kSlotA);
  EXPECT_EQ(dialog->CloseIfOpen(), 1);  // closed: nothing to do
  int result = Run(kSlotA, [&] {
    EXPECT_TRUE(dialog->IsOpen());
    ASSERT_EQ(host.editing.size(), 1u);
    EXPECT_EQ(host.editing[0], std::make_pair(kKeyButtonId, true));
    dialog->OnCommand(1031);
    EXPECT_EQ(dialog->CloseIfOpen(), 1);
    EXPECT_FALSE(dialog->IsOpen());
  });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(Entry(kSlotA), before);
  ASSERT_EQ(host.editing.size(), 2u);
  EXPECT_EQ(host.editing[1], std::make_pair(kKeyButtonId, false));
  EXPECT_EQ(host.refreshes, 0);

  // A second opening starts from the stored entry again.
  result = Run(kSlotA, [&] {
    EXPECT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageMedia);
    EXPECT_EQ(List(1128)->currentIndex(), 4);
    dialog->OnCommand(2);
  });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(Entry(kSlotA), before);
}

TEST_F(CompositeDialogTest, HelpKeyOpensHelpOutsideTheKeyPage) {
  Put(kSlotA, AssignmentKind::MediaKey, 0);
  Run(kSlotA, [&] {
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(host.helps, 1);
    // On the single-key page F1 is a key to capture.
    dialog->OnCommand(1028);
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(host.helps, 1);
  });
}

// ---- Placement --------------------------------------------------------------

struct PlacementCase {
  const char* name;
  QRect button;
  QRect screen;
  bool centred;
  QPoint expected;
};

class PlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, PlacesTheDialog) {
  const PlacementCase& c = GetParam();
  EXPECT_EQ(PlaceKeyDialog(c.button, QSize(760, 540), c.screen, c.centred), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlacementTest,
    ::testing::Values(
        PlacementCase{"BelowRight", {100, 100, 40, 40}, kScreen, false, {140, 140}},
        PlacementCase{"AboveRight", {100, 900, 40, 40}, kScreen, false, {140, 360}},
        PlacementCase{"NearRightEdge", {1800, 100, 40, 40}, kScreen, false, {1040, 140}},
        PlacementCase{"AboveLeft", {1800, 900, 40, 40}, kScreen, false, {1040, 360}},
        // Exactly the dialog's width to the right still fits.
        PlacementCase{"RightFitsExactly", {1120, 100, 40, 40}, kScreen, false, {1160, 140}},
        PlacementCase{"RightShortByOne", {1121, 100, 40, 40}, kScreen, false, {361, 140}},
        PlacementCase{"NothingFits", {300, 200, 40, 40}, {0, 0, 800, 600}, false, {340, 240}},
        PlacementCase{
            "SecondScreenRightEdge", {3100, 100, 40, 40}, kSecondScreen, false, {2340, 140}},
        PlacementCase{
            "SecondScreenLeftPart", {1930, 100, 40, 40}, kSecondScreen, false, {1970, 140}},
        PlacementCase{"Centred", {100, 100, 40, 40}, kScreen, true, {580, 270}},
        PlacementCase{"CentredOnSecond", {}, kSecondScreen, true, {2180, 242}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CompositeDialogTest, KeyNearTheRightEdgeGetsTheDialogToItsLeft) {
  host.buttonRect = QRect(1800, 300, 40, 40);
  Run(kSlotA, [&] { EXPECT_EQ(dialog->pos(), QPoint(1800 - dialog->width(), 340)); });
}

TEST_F(CompositeDialogTest, MacroOnlyOpeningIsCentredOnTheButtonsScreenAndOffersOnlyMacros) {
  host.buttonRect = QRect(2000, 900, 60, 30);
  Put(kSlotA, AssignmentKind::MediaKey, 1);
  Run(
      kSlotA,
      [&] {
        EXPECT_TRUE(dialog->MacroOnly());
        EXPECT_EQ(dialog->pos(),
                  QPoint(kSecondScreen.x() + (kSecondScreen.width() - dialog->width()) / 2,
                         (kSecondScreen.height() - dialog->height()) / 2));
        EXPECT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageMacro);
        for (int id : {1028, 1030, 1031, 1032}) EXPECT_FALSE(Button(id)->isEnabled()) << id;
        EXPECT_TRUE(Button(1029)->isEnabled());
        for (int id : {1028, 1030, 1031}) EXPECT_TRUE(Button(id)->text().isEmpty()) << id;
        EXPECT_EQ(Button(1029)->text(), Text("IDS_COMPOSITE_SELECT_MACRO"));
        EXPECT_EQ(qobject_cast<QLabel*>(Control(1199))->text(), Text("IDS_KEYBOARD_EDIT_TISHI"));
        for (int id : {1201, 1202, 1203})
          EXPECT_FALSE(Control(id)->isVisibleTo(dialog.get())) << id;
        // The macro2 pictures on the page buttons, the title and Clear.
        QPixmap macro2;
        ASSERT_TRUE(macro2.load(SkinFolder(paths) + "macro2_normal.jpg"));
        EXPECT_EQ(Button(1131)->Picture(CPngButton::Look::Normal).toImage(), macro2.toImage());
        // Clear does nothing here.
        dialog->OnCommand(1032);
        EXPECT_EQ(dialog->CurrentPage(), Kestrune_DlgComposite::kPageMacro);
      },
      kMacroOnlyControlId);

  // The next ordinary opening has every page back.
  Run(kSlotA, [&] {
    EXPECT_FALSE(dialog->MacroOnly());
    for (int id : {1028, 1030, 1031, 1032}) EXPECT_TRUE(Button(id)->isEnabled()) << id;
    EXPECT_EQ(Button(1028)->text(), Text("IDS_COMPOSITE_SELECT_KEY"));
    EXPECT_EQ(qobject_cast<QLabel*>(Control(1199))->text(), Text("IDS_KEYBOARD_KEY_SETTING"));
  });
}

// ---- On-screen keyboard ---------------------------------------------------------

TEST_F(CompositeDialogTest, OnScreenKeyboardButtonFollowsWhatIsInstalled) {
  onScreenKeyboard.clear();
  Run(kSlotA, [&] {
    EXPECT_FALSE(Button(1132)->isEnabled());
    EXPECT_FALSE(Button(1132)->TooltipText().trimmed().isEmpty());
    dialog->OnCommand(1132);
  });
  EXPECT_TRUE(started.empty());

  onScreenKeyboard = QStringLiteral("/usr/bin/onboard");
  Run(kSlotA, [&] {
    EXPECT_TRUE(Button(1132)->isEnabled());
    EXPECT_EQ(Button(1132)->TooltipText(),
              language->LoadChineseSkinText(QStringLiteral("COMPOSITE_PROMPT_OSK")));
    QTest::mouseClick(Button(1132), Qt::LeftButton);
  });
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0], onScreenKeyboard);
}

TEST(FindOnScreenKeyboard, TakesTheFirstCommonOneOnPath) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray oldPath = qgetenv("PATH");
  auto install = [&](const char* name) {
    QFile file(dir.path() + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  };
  qputenv("PATH", dir.path().toLocal8Bit());
  EXPECT_TRUE(FindOnScreenKeyboard().isEmpty());
  install("florence");
  EXPECT_EQ(FindOnScreenKeyboard(), dir.path() + "/florence");
  install("onboard");
  EXPECT_EQ(FindOnScreenKeyboard(), dir.path() + "/onboard");
  qputenv("PATH", oldPath);
}

// Without the seam the dialog looks on PATH, and notices an installation
// made while the program runs.
TEST_F(CompositeDialogTest, NoticesAnOnScreenKeyboardInstalledLater) {
  QTemporaryDir bin;
  ASSERT_TRUE(bin.isValid());
  const QByteArray oldPath = qgetenv("PATH");
  qputenv("PATH", bin.path().toLocal8Bit());
  Kestrune_DlgComposite::Seams seams;
  seams.screenAt = [](QPoint) { return kScreen; };
  seams.startDetached = [this](const QString& program) {
    started.push_back(program);
    return true;
  };
  dialog->SetSeams(std::move(seams));
  auto enabledOnOpening = [this] {
    bool enabled = false;
    Run(kSlotA, [&] { enabled = Button(1132)->isEnabled(); });
    return enabled;
  };
  EXPECT_FALSE(enabledOnOpening());
  QFile program(bin.path() + "/onboard");
  ASSERT_TRUE(program.open(QIODevice::WriteOnly));
  program.write("#!/bin/sh\n");
  program.close();
  program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_TRUE(QTest::qWaitFor(enabledOnOpening, 10000));
  qputenv("PATH", oldPath);
}

// ---- Texts ----------------------------------------------------------------------

TEST_F(CompositeDialogTest, CaptionsComeFromTheLanguage) {
  Run(kSlotA, [&] {
    EXPECT_EQ(Button(1028)->text(), Text("IDS_COMPOSITE_SELECT_KEY"));
    EXPECT_EQ(Button(1032)->text(), Text("IDS_KEYBOARD_MARCO_RESET"));
    EXPECT_EQ(Button(1032)->TooltipText(), Text("IDS_KEYBOARD_MARCO_RESET"));
    EXPECT_EQ(Button(1)->text(), Text("IDS_COMPOSITE_OK"));
    EXPECT_EQ(qobject_cast<QLabel*>(Control(1134))->text(), Text("IDS_MACRO_KB_KEY"));
    EXPECT_EQ(qobject_cast<QLabel*>(Control(1201))->text(), Text("IDS_KEYBOARD_KEY_SINGLE"));
    EXPECT_TRUE(qobject_cast<QCheckBox*>(Control(1185))->text().isEmpty());
    EXPECT_EQ(List(1129)->itemText(0), language->ShowSlot(TextSlot::FuncKeyDesc1, Index()));
    EXPECT_EQ(List(1187)->itemText(4), QStringLiteral("Roll Down"));
    EXPECT_NE(Text("IDS_COMPOSITE_SELECT_KEY"), QString::fromLatin1(kMissingLangText));
  });
}

// A language file that holds none of the dialog's texts.
class BareLanguageTest : public CompositeDialogTest {
 protected:
  QTemporaryDir languageDir;
  QString LanguageFolder() const override { return languageDir.path() + "/"; }
  void SetUp() override {
    ASSERT_TRUE(languageDir.isValid());
    QFile file(languageDir.path() + "/Lang0409.ini");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Other]\nIDS_SOMETHING=else\n");
    file.close();
    CompositeDialogTest::SetUp();
  }
};

TEST_F(BareLanguageTest, ShowsWhatTheLookupGivesAndStillWorks) {
  const QString missing = QString::fromLatin1(kMissingLangText);
  onScreenKeyboard = QStringLiteral("/usr/bin/onboard");
  Put(kSlotA, AssignmentKind::FunctionKey, 2);
  Run(kSlotA, [&] {
    for (int id : {1028, 1029, 1030, 1031, 1032, 1, 2})
      EXPECT_EQ(Button(id)->text(), missing) << id;
    for (int id : {1134, 1135, 1199, 1201, 1202, 1203})
      EXPECT_EQ(qobject_cast<QLabel*>(Control(id))->text(), missing) << id;
    EXPECT_EQ(List(1129)->count(), 11);
    EXPECT_EQ(List(1129)->currentIndex(), 2);
    // No skin language text: the button still says what it does.
    EXPECT_FALSE(Button(1132)->TooltipText().trimmed().isEmpty());
    dialog->SetCaptions(3);
    EXPECT_FALSE(dialog->Hook().Installed());
    dialog->OnCommand(1028);
    EXPECT_EQ(Key(Qt::Key_B), V::Swallow);
    dialog->OnCommand(1);
  });
  EXPECT_EQ(Entry(kSlotA).kind, static_cast<std::uint16_t>(AssignmentKind::SingleKey));
  EXPECT_EQ(Entry(kSlotA).param, 0x30u);
}

}  // namespace
}  // namespace kst
