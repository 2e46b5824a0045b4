// The profile bar on the real main window over the simulated keyboard: the
// switch with its question and refusal, following the keyboard's profile
// key, the menu, the default button and the report rates.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include "device/CommandProtocol.h"
#include "lighting/LightingModel.h"
#include "lighting/panel/MainWindowLighting.h"
#include "lighting/panel/controls_app.h"
#include "mainwindow/main_window_harness.h"
#include "mainwindow/profiles/MainWindowProfiles.h"
#include "mainwindow/profiles/ProfileBar.h"
#include "skin/CPngButton.h"

namespace kst::mwtest {
namespace {

using namespace profile_id;

constexpr AssignmentSlot kSlotA = 0x1E;
constexpr AssignmentSlot kSlotB = 0x30;
constexpr int kKeyMapBytes = 512;

class ProfileBarTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    test::EnsureControlsApp();
    MainWindowFixture::SetUp();
    lighting = std::make_unique<MainWindowLighting>(*dialog, *context);
    profiles = std::make_unique<MainWindowProfiles>(*dialog, *context,
                                                    [this] { return lighting->Model(); });
    Start();
    ASSERT_EQ(KeyboardProfile(), 0);
  }
  void TearDown() override {
    profiles.reset();
    lighting.reset();
    MainWindowFixture::TearDown();
  }

  ProfileBar& Bar() { return profiles->Bar(); }
  LightingModel& Model() { return *lighting->Model(); }

  int KeyboardProfile() {
    const QByteArray settings =
        QByteArray::fromHex(QByteArray::fromStdString(Sim("read settings")));
    return settings.size() > 10 ? static_cast<std::uint8_t>(settings[10]) : -1;
  }
  QByteArray KeyMap(int profile) {
    return QByteArray::fromHex(
        QByteArray::fromStdString(Sim("read keymaps " + std::to_string(profile * kKeyMapBytes) +
                                      " " + std::to_string(kKeyMapBytes))));
  }
  void Click(int controlId) {
    dialog->OnCommand(controlId);
    ASSERT_TRUE(Settle());
  }
  // A key change made in an editor: in the store, Apply pending.
  void ChangeKey(int profile, AssignmentSlot slot, std::uint32_t key) {
    ASSERT_TRUE(store->SetAssignment(profile, slot, AssignmentKind::SingleKey, key));
    dialog->SetApplyEnabled(true);
  }
  KeyAssignment Entry(int profile, AssignmentSlot slot) {
    return store->GetAssignment(profile, slot);
  }
  std::vector<QString> MenuTexts() {
    std::vector<QString> texts;
    for (QAction* action : Bar().ProfileMenu()->actions()) {
      if (!action->isSeparator()) texts.push_back(action->text());
    }
    return texts;
  }
  int MenuChecked() {
    int index = 0;
    for (QAction* action : Bar().ProfileMenu()->actions()) {
      if (action->isChecked()) return index;
      ++index;
    }
    return -1;
  }

  std::unique_ptr<MainWindowLighting> lighting;
  std::unique_ptr<MainWindowProfiles> profiles;
};

TEST_F(ProfileBarTest, TheBarStartsOnTheKeyboardsProfileAndItsReportRate) {
  EXPECT_EQ(Bar().MarkedProfile(), 0);
  EXPECT_TRUE(Button(kProfileButtons[0])->isVisible() || !dialog->isVisible());
  EXPECT_EQ(Bar().MarkedReportRate(), Model().State().reportRate);
  EXPECT_EQ(Button(kProfileName)->text(), QStringLiteral("$Profile0"));
  EXPECT_EQ(Button(kProfileName)->TooltipText(),
            language->ShowSlot(TextSlot::ProfileTip, language->GetLanguageIndex()) + "$Profile0");
}

TEST_F(ProfileBarTest, ClickingTheCurrentProfileOnlyReadsTheLightingAgain) {
  ChangeKey(0, kSlotA, 0x30);
  const QByteArray keyMap = KeyMap(0);
  Sim("reports clear");
  Click(kProfileButtons[0]);
  EXPECT_GT(CtrlRequests(), 0);  // the lighting is read again
  EXPECT_EQ(KeyboardProfile(), 0);
  EXPECT_TRUE(boxes.empty());  // no question about the pending change
  EXPECT_TRUE(dialog->ApplyPending());
  EXPECT_EQ(KeyMap(0), keyMap);
}

TEST_F(ProfileBarTest, ClickingAnotherProfileSwitchesTheKeyboardBarMenuKeysAndLighting) {
  ASSERT_TRUE(store->SetAssignment(2, kSlotA, AssignmentKind::SingleKey, 0x30));
  Click(kProfileButtons[2]);
  EXPECT_EQ(KeyboardProfile(), 2);
  EXPECT_EQ(Profile(), 2);
  EXPECT_EQ(Bar().MarkedProfile(), 2);
  EXPECT_TRUE(Button(kProfileButtons[2])->IsSelected());
  EXPECT_FALSE(Button(kProfileButtons[0])->IsSelected());
  EXPECT_EQ(Model().State().activeProfile, 2);
  EXPECT_EQ(MenuChecked(), 4);  // default, separator, profiles 0 and 1, then 2
  EXPECT_EQ(dialog->View()->Button(1058)->TooltipText(), "A → Key (B)");
}

TEST_F(ProfileBarTest, UnappliedChangesAreAppliedOrDroppedBeforeTheSwitch) {
  struct Case {
    const char* name;
    bool yes;
  };
  for (const Case& c :
       {Case{"yes applies to the old profile", true}, Case{"no drops the change", false}}) {
    SCOPED_TRACE(c.name);
    Sim("write settings 10 00");
    dialog->Link()->SetCachedCurrentProfile(0);
    const QByteArray before = KeyMap(0);
    const KeyAssignment old = Entry(0, kSlotB);
    ChangeKey(0, kSlotB, 0x04);
    boxes.clear();
    answerYes = c.yes;
    Click(kProfileButtons[1]);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, MessageKind::Question);
    EXPECT_EQ(boxes[0].text, language->LoadLangText(QStringLiteral("IDS_PROFILE_SELECT_PROMPT"),
                                                    language->GetLanguageIndex()));
    EXPECT_EQ(KeyboardProfile(), 1);
    EXPECT_EQ(Bar().MarkedProfile(), 1);
    EXPECT_FALSE(dialog->ApplyPending());
    if (c.yes) {
      EXPECT_NE(KeyMap(0), before);
      EXPECT_EQ(Entry(0, kSlotB).Kind(), AssignmentKind::SingleKey);
    } else {
      EXPECT_EQ(KeyMap(0), before);
      EXPECT_EQ(Entry(0, kSlotB), old);
    }
    EXPECT_FALSE(Bar().SwitchGuard());
  }
}

TEST_F(ProfileBarTest, AnOpenEditorRefusesEveryWayOfSwitching) {
  CKestruneDlg::Parts parts;
  parts.editorOpen = [] { return true; };
  dialog->PlugIn(std::move(parts));
  const QString refusal =
      language->ShowSlot(TextSlot::ProfileSeelctPrompt2, language->GetLanguageIndex());

  Click(kProfileButtons[3]);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, refusal);
  EXPECT_EQ(KeyboardProfile(), 0);
  EXPECT_EQ(Bar().MarkedProfile(), 0);
  EXPECT_EQ(Model().State().activeProfile, 0);  // the lighting shown stays the keyboard's

  Click(kMenuFirstProfile + 2);
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(KeyboardProfile(), 0);

  // The keyboard's own key: it switches itself, the window does not follow.
  Sim("profile-key");
  ASSERT_TRUE(Settle());
  ASSERT_TRUE(WaitFor([&] { return boxes.size() == 3u; }));
  EXPECT_EQ(boxes[2].text, refusal);
  EXPECT_EQ(KeyboardProfile(), 1);
  EXPECT_EQ(Profile(), 0);
  EXPECT_EQ(Bar().MarkedProfile(), 0);
}

TEST_F(ProfileBarTest, TheWindowFollowsTheKeyboardsProfileKey) {
  for (int expected : {1, 2, 3, 0}) {
    Sim("profile-key");
    ASSERT_TRUE(WaitFor([&] { return Bar().MarkedProfile() == expected; })) << expected;
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Profile(), expected);
    EXPECT_EQ(Model().State().activeProfile, expected);
    EXPECT_EQ(MenuChecked(), expected + 2);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ProfileBarTest, TheProfileKeyHeldDownForManyPressesEndsOnTheKeyboardsProfile) {
  for (int i = 0; i < 200; ++i) {
    Sim("profile-key");
    QApplication::processEvents();
  }
  const int last = KeyboardProfile();
  ASSERT_TRUE(WaitFor([&] {
    QApplication::processEvents();
    return Bar().MarkedProfile() == last && Profile() == last;
  }));
  ASSERT_TRUE(Settle());
  EXPECT_EQ(KeyboardProfile(), last);
  EXPECT_EQ(Model().State().activeProfile, last);
}

TEST_F(ProfileBarTest, TheMenuNamesTheWorkingFileFourTimesAndSwitches) {
  const std::vector<QString> texts = MenuTexts();
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[0], language->LoadLangText(QStringLiteral("IDS_DEFAULT_PROFILE_NAME"),
                                             language->GetLanguageIndex()));
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(texts[static_cast<std::size_t>(i)], "$Profile0");
  EXPECT_EQ(MenuChecked(), 2);

  Bar().SetMenuSeam([](QMenu& menu) { return menu.actions().at(4); });  // profile 2
  Click(kShowMenu);
  EXPECT_EQ(KeyboardProfile(), 2);
  EXPECT_EQ(MenuChecked(), 4);

  // The default entry refreshes the view and menu and leaves the keyboard.
  Click(kMenuDefault);
  EXPECT_EQ(KeyboardProfile(), 2);
  EXPECT_EQ(MenuChecked(), 4);
}

TEST_F(ProfileBarTest, AKeyboardThatRefusesTheSwitchKeepsTheBarsMarks) {
  // The settings write of the switch is refused (on every attempt): the
  // switch says so.
  for (const char* n : {"2", "3", "4"}) Sim(std::string("fault status-ff ") + n);
  EXPECT_FALSE(Bar().SelectProfile(1));
  EXPECT_EQ(KeyboardProfile(), 0);
  EXPECT_EQ(MenuChecked(), 0);  // the current profile is unknown now
  Sim("fault clear");

  // A keyboard that refuses everything: the bar and the lighting stay.
  Sim("fault status-ff every");
  Click(kProfileButtons[1]);
  Sim("fault clear");
  EXPECT_EQ(KeyboardProfile(), 0);
  EXPECT_EQ(Bar().MarkedProfile(), 0);
  EXPECT_EQ(MenuChecked(), 0);
}

TEST_F(ProfileBarTest, DefaultClearsOnlyTheCurrentProfilesKeys) {
  for (int profile : {0, 1}) {
    ASSERT_TRUE(store->SetAssignment(profile, kSlotA, AssignmentKind::SingleKey, 0x30));
  }
  dialog->SetApplyEnabled(true);
  ASSERT_TRUE(dialog->Upload()->BuildSnapshotAndUpload(true));
  dialog->SetApplyEnabled(false);
  Sim("write parameters 18 010101010101");
  const QByteArray otherProfile = KeyMap(1);
  const QByteArray assigned = KeyMap(0);

  answerYes = false;
  Click(kDefault);
  EXPECT_EQ(Entry(0, kSlotA).Kind(), AssignmentKind::SingleKey);
  EXPECT_EQ(KeyMap(0), assigned);

  answerYes = true;
  Click(kDefault);
  ASSERT_TRUE(WaitFor([&] {
    QApplication::processEvents();
    return !dialog->Upload()->ApplyRunning();
  }));
  EXPECT_EQ(Entry(0, kSlotA).Kind(), AssignmentKind::Default);
  EXPECT_EQ(Entry(1, kSlotA).Kind(), AssignmentKind::SingleKey);
  EXPECT_NE(KeyMap(0), assigned);
  EXPECT_EQ(KeyMap(1), otherProfile);
  EXPECT_FALSE(dialog->ApplyPending());
  const QByteArray parameters =
      QByteArray::fromHex(QByteArray::fromStdString(Sim("read parameters 18 6")));
  EXPECT_EQ(parameters, QByteArray(6, '\0'));
}

TEST_F(ProfileBarTest, EachReportRateButtonWritesItsIndexToTheActiveRecord) {
  Click(kProfileButtons[1]);
  for (int rate : {2, 0, 3, 1}) {
    Click(kReportRates[static_cast<std::size_t>(rate)]);
    const QByteArray byte = QByteArray::fromHex(
        QByteArray::fromStdString(Sim("read parameters " + std::to_string(42 + 15) + " 1")));
    ASSERT_EQ(byte.size(), 1);
    EXPECT_EQ(static_cast<int>(byte[0]), rate);
    EXPECT_EQ(Bar().MarkedReportRate(), rate);
    EXPECT_EQ(Model().State().reportRate, rate);
  }
  // Another profile's rate shows when its lighting is shown.
  Click(kProfileButtons[0]);
  EXPECT_EQ(Bar().MarkedReportRate(), Model().State().reportRate);
}

TEST_F(ProfileBarTest, ASwitchDuringAnUploadWaitsForItAndTheUploadLandsOnTheOldProfile) {
  Sim("latency 2000");
  const QByteArray before = KeyMap(0);
  ChangeKey(0, kSlotB, 0x04);
  dialog->OnCommand(1006);  // Apply: runs on its worker
  ASSERT_TRUE(dialog->Upload()->ApplyRunning());
  Bar().SelectProfile(3);
  EXPECT_FALSE(dialog->Upload()->ApplyRunning());
  ASSERT_TRUE(Settle());
  Sim("latency 0");
  EXPECT_NE(KeyMap(0), before);
  EXPECT_EQ(KeyboardProfile(), 3);
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace kst::mwtest
