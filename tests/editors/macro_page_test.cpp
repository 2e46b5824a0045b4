// The macro page's widgets, offscreen: layout from the dialog's skin file,
// the enabled rules, the name field, the cycles field, the record-delay
// setting, the in-place editors and recording through the key hook.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <functional>
#include <memory>

#include "editors/ActionListView.h"
#include "editors/KeyboardHook.h"
#include "editors/MacroPage.h"
#include "editors/MacroWorkingCopies.h"
#include "foundation/SkinLayout.h"
#include "macro_fixture.h"
#include "skin/CPngButton.h"

namespace kst {
namespace {

using macrotest::MacroFixture;
using macrotest::StoredMacro;

constexpr KeyIndex kA = 0x1E;

EditorPictureSet MacroPictures() {
  const QString folder = QStringLiteral(KST_BIN_DIR "/Skins/");
  return EditorPictureSet{QPixmap(folder + QLatin1String(kMacroPictureFiles.normal)),
                          QPixmap(folder + QLatin1String(kMacroPictureFiles.over)),
                          QPixmap(folder + QLatin1String(kMacroPictureFiles.down)),
                          QPixmap(folder + QLatin1String(kMacroPictureFiles.disabled))};
}

// Runs the events until done holds; false when it never did.
bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > 10000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

NativeKeyEvent Key(int qtKey, bool release, bool autoRepeat = false) {
  NativeKeyEvent e;
  e.qtKey = qtKey;
  e.release = release;
  e.autoRepeat = autoRepeat;
  return e;
}

class MacroPageTest : public MacroFixture {
 protected:
  void SetUp() override {
    MacroFixture::SetUp();
    profile = std::make_unique<AppProfile>(*registry);
    hook = std::make_unique<KeyboardHook>([this] { return nowMs; });
    dialog = std::make_unique<QWidget>();
    dialog->resize(760, 480);
    page = std::make_unique<MacroPage>(
        *dialog,
        MacroPage::Context{store, *language, *profile, boxes, *hook, [this] { ++modifiedMarks; }});
    page->Layout(QStringLiteral(KST_BIN_DIR "/Skins/") + QLatin1String(kCompositeSkinFileName),
                 MacroPictures());
    page->SetCaptions(language->GetLanguageIndex());
    page->SetShown(true);
    dialog->show();
  }
  void TearDown() override {
    page.reset();
    dialog.reset();
  }
  // Dialog initialisation as the dialog runs it.
  void Open() {
    page->LoadWorkingCopies();
    page->ReadRecordDelay();
    modifiedMarks = 0;
  }
  MacroWorkingCopies& Copies() { return page->WorkingCopies(); }
  template <typename T>
  T* Get(int id) {
    return qobject_cast<T*>(page->Control(id));
  }
  void Click(int id) {
    auto* button = Get<QAbstractButton>(id);
    ASSERT_NE(button, nullptr) << id;
    ASSERT_TRUE(button->isEnabled()) << id;
    button->click();
  }
  ActionListView* View() { return Get<ActionListView>(1019); }
  // Clicks the cell of the action list.
  void ClickCell(int row, int column) {
    ActionListView* view = View();
    const QModelIndex index = view->model()->index(row, column);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
  }
  QWidget* OpenEditor() { return View()->OpenEditor(); }

  std::int64_t nowMs = 1000;
  std::unique_ptr<AppProfile> profile;
  std::unique_ptr<KeyboardHook> hook;
  std::unique_ptr<QWidget> dialog;
  std::unique_ptr<MacroPage> page;
};

TEST_F(MacroPageTest, ControlsArePlacedByTheirSkinKeysAndFollowTheCurrentMacro) {
  struct Place {
    int id;
    QRect rect;
  };
  const Place places[] = {{1126, {342, 82, 266, 28}},   {1017, {616, 80, 54, 32}},
                          {1019, {230, 122, 340, 288}}, {1020, {582, 122, 148, 34}},
                          {1027, {232, 426, 20, 20}},   {1125, {566, 421, 64, 30}},
                          {1200, {230, 82, 110, 28}}};
  for (const Place& p : places) {
    ASSERT_NE(page->Control(p.id), nullptr) << p.id;
    EXPECT_EQ(page->Control(p.id)->geometry(), p.rect) << p.id;
    EXPECT_TRUE(page->Control(p.id)->isVisible()) << p.id;
  }
  EXPECT_EQ(page->Control(1019)->objectName(), QStringLiteral("FUNC_MACRO_LIST2"));
  EXPECT_EQ(page->Control(1008), nullptr);
  EXPECT_EQ(Get<QLabel>(1133)->palette().color(QPalette::WindowText),
            ColorFromColorRef(kEditorTextColour));
  EXPECT_EQ(Get<QLabel>(1130)->text(), language->LoadLangText("IDS_MACRO_CYCLES"));
  EXPECT_EQ(Get<CPngButton>(1022)->text(),
            language->LoadLangText("IDS_COMPOSITE_MACRO_ACTION_CLEAR"));
  EXPECT_EQ(View()->model()->headerData(0, Qt::Horizontal).toString(),
            language->LoadLangText("IDS_MACRO_MACRO_ACTION_COLUME_KEYS"));
  EXPECT_EQ(View()->columnWidth(1), 100);

  Open();
  for (int id = 1020; id <= 1026; ++id) EXPECT_FALSE(page->Control(id)->isEnabled()) << id;
  Click(1017);
  EXPECT_EQ(page->CurrentPosition(), 0);
  EXPECT_EQ(Get<QComboBox>(1126)->currentText(), QStringLiteral("Macro 1"));
  EXPECT_EQ(modifiedMarks, 1);
  for (int id = 1020; id <= 1026; ++id) EXPECT_TRUE(page->Control(id)->isEnabled()) << id;
  Click(1018);
  EXPECT_EQ(page->MacroCount(), 0);
  for (int id = 1020; id <= 1026; ++id) EXPECT_FALSE(page->Control(id)->isEnabled()) << id;

  page->SetShown(false);
  EXPECT_FALSE(page->Control(1126)->isVisible());
}

TEST_F(MacroPageTest, RecordingThroughTheHookWithMeasuredDelays) {
  Open();
  Click(1017);
  Click(1027);  // record delays
  EXPECT_EQ(registry->GetString(QString::fromLatin1(kAppProfileKey),
                                language->LoadLangText("IDS_MACRO_ACTION_RECORD_DELAY")),
            QStringLiteral("1"));
  auto* record = Get<CPngButton>(1020);
  EXPECT_EQ(record->text(), language->LoadLangText("IDS_COMPOSITE_MACRO_ACTION_RECORD"));
  Click(1020);
  ASSERT_TRUE(page->Recording());
  EXPECT_TRUE(hook->Installed());
  EXPECT_EQ(record->text(), language->LoadLangText("IDS_MACRO_ACTION_STOP_RECORD"));
  EXPECT_TRUE(record->IsSelected());
  for (int id : {1017, 1018, 1126}) EXPECT_FALSE(page->Control(id)->isEnabled()) << id;

  struct Step {
    std::int64_t at;
    NativeKeyEvent event;
    KeyboardHook::Verdict verdict;
  };
  const Step steps[] = {
      {1100, Key(Qt::Key_A, false), KeyboardHook::Verdict::Swallow},
      {1300, Key(Qt::Key_A, false, true), KeyboardHook::Verdict::Swallow},  // held
      {1400, Key(Qt::Key_A, true), KeyboardHook::Verdict::Swallow},
      {1450, Key(Qt::Key_VolumeUp, false), KeyboardHook::Verdict::Pass},
      // Print Screen: the desktop's press is never shown; the release brings both rows.
      {1500, Key(Qt::Key_Print, false), KeyboardHook::Verdict::Swallow},
      {1600, Key(Qt::Key_Print, true), KeyboardHook::Verdict::Swallow},
      // The Windows key, held: one press, one release.
      {1700, Key(Qt::Key_Super_L, false), KeyboardHook::Verdict::Swallow},
      {1750, Key(Qt::Key_Super_L, false, true), KeyboardHook::Verdict::Swallow},
      {1800, Key(Qt::Key_Super_L, true), KeyboardHook::Verdict::Swallow},
  };
  for (const Step& s : steps) {
    nowMs = s.at;
    EXPECT_EQ(hook->Offer(s.event), s.verdict) << s.at;
  }
  Click(1020);
  EXPECT_FALSE(page->Recording());
  EXPECT_FALSE(hook->Installed());
  EXPECT_EQ(record->text(), language->LoadLangText("IDS_MACRO_ACTION_RECORD"));
  EXPECT_FALSE(record->IsSelected());
  for (int id : {1017, 1018, 1126}) EXPECT_TRUE(page->Control(id)->isEnabled()) << id;

  // Each row waits until the next; the row before Print Screen's unseen press waits 2.
  const std::vector<MacroEvent> expected = {
      {300, kA, kEventPress},      {2, kA, kEventRelease},    {200, 0x137, kEventPress},
      {100, 0x137, kEventRelease}, {100, 0x15B, kEventPress}, {0, 0x15B, kEventRelease},
  };
  EXPECT_EQ(Copies().Actions().Rows(), expected);
  EXPECT_EQ(View()->currentIndex().row(), 5);  // the last recorded row is selected
  ASSERT_TRUE(page->Commit());
  EXPECT_EQ(store.MacroAt(0)->Events().size(), expected.size());
}

TEST_F(MacroPageTest, TheRecordDelaySettingIsReadNormalisedAndToggled) {
  const QString key = QString::fromLatin1(kAppProfileKey);
  const QString name = language->LoadLangText("IDS_MACRO_ACTION_RECORD_DELAY");
  struct Case {
    const char* stored;
    bool checked;
    const char* written;
  };
  const Case cases[] = {{"1", true, "1"}, {"0", false, "0"}, {"7", false, "0"}, {"", false, "0"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(registry->SetString(key, name, QString::fromLatin1(c.stored)));
    page->ReadRecordDelay();
    EXPECT_EQ(Get<QCheckBox>(1027)->isChecked(), c.checked) << c.stored;
    EXPECT_EQ(registry->GetString(key, name), QString::fromLatin1(c.written)) << c.stored;
  }
  Click(1027);
  EXPECT_TRUE(Get<QCheckBox>(1027)->isChecked());
  EXPECT_EQ(Copies().RecordDelay(), 1);
  EXPECT_EQ(registry->GetString(key, name), QStringLiteral("1"));
  Click(1027);
  EXPECT_EQ(registry->GetString(key, name), QStringLiteral("0"));
}

TEST_F(MacroPageTest, TheCyclesFieldIsCorrectedAtOnce) {
  Open();
  Click(1017);
  auto* cycles = Get<QLineEdit>(1125);
  struct Case {
    const char* typed;
    const char* shown;
  };
  const Case cases[] = {{"0", "1"}, {"300", "255"}, {"12", "12"}};
  for (const Case& c : cases) {
    cycles->selectAll();
    QTest::keyClicks(cycles, QString::fromLatin1(c.typed));
    EXPECT_EQ(cycles->text(), QString::fromLatin1(c.shown)) << c.typed;
  }
  EXPECT_EQ(page->Cycles(), 12);
  EXPECT_GT(modifiedMarks, 1);
}

TEST_F(MacroPageTest, TypingANameRenamesTheMacroOnShowAndNothingWhenNoneIs) {
  StoreMacros({StoredMacro(u"Alpha", 1), StoredMacro(u"Beta", 2)});
  Open();
  auto* list = Get<QComboBox>(1126);
  ASSERT_EQ(list->count(), 2);
  QTest::keyClicks(list->lineEdit(), QStringLiteral("Zed"));
  EXPECT_EQ(list->itemText(0), QStringLiteral("Alpha"));
  EXPECT_EQ(list->itemText(1), QStringLiteral("Beta"));
  EXPECT_EQ(page->CurrentPosition(), -1);
  EXPECT_EQ(modifiedMarks, 0);

  page->SelectByNumber(2);
  EXPECT_EQ(list->currentText(), QStringLiteral("Beta"));
  list->lineEdit()->selectAll();
  QTest::keyClicks(list->lineEdit(), QStringLiteral("Zed"));
  EXPECT_EQ(list->itemText(1), QStringLiteral("Zed"));
  EXPECT_EQ(list->lineEdit()->text(), QStringLiteral("Zed"));
  EXPECT_EQ(list->lineEdit()->cursorPosition(), 3);
  EXPECT_EQ(Copies().NameAt(1), QStringLiteral("Zed"));
  EXPECT_EQ(list->count(), 2);
  EXPECT_GT(modifiedMarks, 0);
}

TEST_F(MacroPageTest, ChoosingAnotherMacroSavesThePageAndShowsTheOther) {
  MacroRecord beta = StoredMacro(u"Beta", 2);
  beta.repeatCount = 9;
  StoreMacros({StoredMacro(u"Alpha", 1, {{10, kA, 0}}), beta});
  Open();
  page->SelectByNumber(2);
  EXPECT_EQ(Get<QLineEdit>(1125)->text(), QStringLiteral("9"));
  EXPECT_EQ(modifiedMarks, 0);  // showing a macro is no change
  page->SelectByNumber(0);
  EXPECT_EQ(page->CurrentPosition(), 0);
  EXPECT_EQ(View()->model()->rowCount(), 1);
  Copies().InsertAction(MacroEvent{0, kA, kEventRelease}, {});
  auto* list = Get<QComboBox>(1126);
  list->setCurrentIndex(1);
  EXPECT_EQ(page->CurrentPosition(), 1);
  EXPECT_EQ(View()->model()->rowCount(), 0);
  EXPECT_EQ(Copies().CopyAt(0)->eventCount, 2);
  EXPECT_EQ(Get<QLineEdit>(1125)->text(), QStringLiteral("9"));
  EXPECT_EQ(page->Cycles(), 9);
  EXPECT_EQ(modifiedMarks, 1);  // the choice of the key's macro
}

TEST_F(MacroPageTest, ADelayEditIsDigitsOnlyStopsRecordingAndTakesTheRule) {
  Open();
  Click(1017);
  Copies().InsertAction(MacroEvent{120, kA, kEventPress}, {.raw = true});
  Click(1020);
  ASSERT_TRUE(page->Recording());
  ClickCell(0, 2);
  EXPECT_FALSE(page->Recording());
  auto* edit = qobject_cast<QLineEdit*>(OpenEditor());
  ASSERT_NE(edit, nullptr);
  edit->clear();
  QTest::keyClicks(edit, QStringLiteral("5x0-000"));
  EXPECT_EQ(edit->text(), QStringLiteral("50000"));
  QTest::keyClick(edit, Qt::Key_Return);  // the view commits on its next round
  ASSERT_TRUE(WaitFor([&] { return OpenEditor() == nullptr; }));
  EXPECT_EQ(Copies().Actions().Rows()[0].delayMs, 40000u);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, QStringLiteral("A delay can be at most 40000 ms."));

  ClickCell(0, 2);
  edit = qobject_cast<QLineEdit*>(OpenEditor());
  ASSERT_NE(edit, nullptr);
  edit->clear();
  QTest::keyClicks(edit, QStringLiteral("12345678901234"));
  EXPECT_LE(edit->text().size(), 10);
  edit->setText(QStringLiteral("12345"));
  page->CommitInPlaceEdit();
  EXPECT_EQ(Copies().Actions().Rows()[0].delayMs, 12340u);
  EXPECT_EQ(OpenEditor(), nullptr);
}

TEST_F(MacroPageTest, TheKeyAndDirectionPickersChangeTheRow) {
  Open();
  Click(1017);
  Copies().InsertAction(MacroEvent{0, kA, kEventPress}, {.raw = true});
  ClickCell(0, 0);
  auto* keys = qobject_cast<QComboBox*>(OpenEditor());
  ASSERT_NE(keys, nullptr);
  ASSERT_EQ(keys->count(), kPickerKeyCount);
  EXPECT_EQ(keys->currentIndex(), KeyIdFromKeyIndex(kA));
  EXPECT_EQ(keys->itemText(3), KeyNameFromKeyId(3, *language));
  const int other = KeyIdFromKeyIndex(kA) == 5 ? 6 : 5;
  keys->setCurrentIndex(other);
  emit keys->activated(other);
  EXPECT_EQ(Copies().Actions().Rows()[0].key, KeyIndexFromKeyId(static_cast<std::uint16_t>(other)));

  ClickCell(0, 1);
  auto* direction = qobject_cast<QComboBox*>(OpenEditor());
  ASSERT_NE(direction, nullptr);
  ASSERT_EQ(direction->count(), 2);
  EXPECT_EQ(direction->itemText(1), QStringLiteral("  \u2191"));
  direction->setCurrentIndex(1);
  emit direction->activated(1);
  EXPECT_EQ(Copies().Actions().Rows()[0].direction, kEventRelease);
}

TEST_F(MacroPageTest, AClickBesideTheColumnsSaysTheyCannotBeEdited) {
  Open();
  Click(1017);
  Copies().InsertAction(MacroEvent{0, kA, kEventPress}, {.raw = true});
  ActionListView* view = View();
  const QRect cell = view->visualRect(view->model()->index(0, 2));
  ASSERT_LT(cell.right() + 10, view->viewport()->width());
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                    QPoint(cell.right() + 10, cell.center().y()));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, language->LoadLangText("IDS_MACRO_ACTION_ERR_MODIFY"));
  EXPECT_EQ(OpenEditor(), nullptr);
}

TEST_F(MacroPageTest, MoveButtonsKeepTheRowSelectedInTheView) {
  Open();
  Click(1017);
  for (int i = 0; i < 4; ++i) {
    Copies().InsertAction(MacroEvent{0, static_cast<KeyIndex>(0x10 + i), kEventPress},
                          {.raw = true});
  }
  View()->setCurrentIndex(View()->model()->index(1, 0));
  EXPECT_EQ(Copies().SelectedRow(), 1);
  Click(1026);
  EXPECT_EQ(View()->currentIndex().row(), 3);
  EXPECT_EQ(Copies().Actions().Rows()[3].key, 0x11);
  Click(1023);
  EXPECT_EQ(View()->currentIndex().row(), 0);
  Click(1021);
  EXPECT_EQ(View()->model()->rowCount(), 3);
  EXPECT_EQ(View()->currentIndex().row(), 0);
}

}  // namespace
}  // namespace kst
