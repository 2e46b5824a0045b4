// The profile manager wired into the real main window and profile bar over
// the simulated keyboard: opened from the profile name button, switching the
// keyboard on Apply, following a switch made from the bar while open, and
// closed with the window's editors.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTimer>

#include <functional>
#include <memory>

#include "editors/profiles/CKestrune_DlgProfile.h"
#include "editors/profiles/MainWindowProfileManager.h"
#include "editors/profiles/ProfileListModel.h"
#include "foundation/SkinLayout.h"
#include "mainwindow/main_window_harness.h"
#include "mainwindow/profiles/MainWindowProfiles.h"
#include "mainwindow/profiles/ProfileBar.h"

namespace kst::mwtest {
namespace {

namespace id = profile_manager_id;

class MainWindowProfileManagerTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    profiles = std::make_unique<MainWindowProfiles>(*dialog, *context, [] { return nullptr; });
    manager = std::make_unique<MainWindowProfileManager>(*dialog, *context, profiles->Bar());
    Start();
    ASSERT_EQ(KeyboardProfile(), 0);
  }
  void TearDown() override {
    manager.reset();
    profiles.reset();
    MainWindowFixture::TearDown();
  }

  int KeyboardProfile() {
    const QByteArray settings =
        QByteArray::fromHex(QByteArray::fromStdString(Sim("read settings")));
    return settings.size() > 10 ? static_cast<std::uint8_t>(settings[10]) : -1;
  }
  // Opens the manager from the profile name button and runs the steps
  // inside it; Cancel afterwards unless the steps closed it.
  void RunManager(const std::function<void(CKestrune_DlgProfile&)>& steps) {
    bool ran = false;
    QTimer::singleShot(0, dialog.get(), [&] {
      CKestrune_DlgProfile* manager_dialog = manager->Dialog();
      ASSERT_NE(manager_dialog, nullptr);
      ASSERT_TRUE(manager_dialog->IsOpen());
      ran = true;
      steps(*manager_dialog);
      if (manager_dialog->IsOpen()) manager_dialog->OnCommand(id::kCancel);
    });
    dialog->OnCommand(profile_id::kProfileName);
    EXPECT_TRUE(ran) << "the manager did not open";
    ASSERT_TRUE(Settle());
  }
  static void Check(CKestrune_DlgProfile& manager_dialog, int row) {
    ProfileListModel& model = manager_dialog.Model();
    EXPECT_TRUE(model.setData(model.index(row, 0), Qt::Checked, Qt::CheckStateRole));
  }

  std::unique_ptr<MainWindowProfiles> profiles;
  std::unique_ptr<MainWindowProfileManager> manager;
};

TEST_F(MainWindowProfileManagerTest, OkSwitchesTheKeyboardAndTheBarFollows) {
  dialog->SetApplyEnabled(true);  // a change of the window, superseded by the reload
  RunManager([&](CKestrune_DlgProfile& manager_dialog) {
    EXPECT_EQ(manager_dialog.Model().CheckedRow(), 0);
    Check(manager_dialog, 2);
    manager_dialog.OnCommand(id::kOk);
    EXPECT_FALSE(manager_dialog.IsOpen());
  });
  EXPECT_EQ(KeyboardProfile(), 2);
  EXPECT_EQ(Profile(), 2);
  EXPECT_EQ(profiles->Bar().MarkedProfile(), 2);
  EXPECT_FALSE(dialog->ApplyPending());
  EXPECT_EQ(AppProfile(*registry).GetProfileValue(0), QStringLiteral("4"));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindowProfileManagerTest, ASwitchFromTheBarWhileOpen) {
  // Unchanged, the manager marks the keyboard's new profile; with a change
  // of its own, the switch asks first (No drops the window's changes).
  struct Case {
    const char* name;
    int checkedBefore;  // -1: the manager is left unchanged
    int target;
    size_t questions;
    int checkedAfter;
  };
  for (const Case& c : {Case{"unchanged", -1, 3, 0u, 3}, Case{"changed", 1, 2, 1u, 1}}) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    answerYes = false;
    RunManager([&](CKestrune_DlgProfile& manager_dialog) {
      if (c.checkedBefore >= 0) Check(manager_dialog, c.checkedBefore);
      EXPECT_TRUE(profiles->Bar().SelectProfile(c.target));
      EXPECT_EQ(boxes.size(), c.questions);
      EXPECT_EQ(manager_dialog.Model().CheckedRow(), c.checkedAfter);
      EXPECT_EQ(manager_dialog.Modified(), c.checkedBefore >= 0);
    });
    EXPECT_EQ(KeyboardProfile(), c.target);
  }
  EXPECT_EQ(AppProfile(*registry).GetProfileValue(0), std::nullopt);
}

TEST_F(MainWindowProfileManagerTest, HelpAndTheWindowsEditorsClosing) {
  RunManager([&](CKestrune_DlgProfile& manager_dialog) {
    Check(manager_dialog, 1);
    manager_dialog.OnCommand(id::kApply);  // nothing else is asked of the window
    openedUrls.clear();
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(&manager_dialog, &f1);
    EXPECT_EQ(openedUrls.size(), 1u);
    Check(manager_dialog, 2);
    // The window's shut-down and the keyboard's going close it as Cancel.
    dialog->PluggedParts().cancelEditors();
    EXPECT_FALSE(manager_dialog.IsOpen());
    EXPECT_EQ(manager_dialog.OpenCount(), 0);
  });
  EXPECT_EQ(KeyboardProfile(), 1);
}

}  // namespace
}  // namespace kst::mwtest
