// Keyboard use of the whole main window (profile bar and lighting panel
// plugged in): the order Tab walks, the lighting switch reached and turned
// on from the keyboard.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>

#include <algorithm>
#include <string>
#include <vector>

#include "lighting/LightingModel.h"
#include "lighting/panel/MainWindowLighting.h"
#include "lighting/panel/controls_app.h"
#include "mainwindow/main_window_harness.h"
#include "mainwindow/profiles/MainWindowProfiles.h"
#include "support/KeyPresses.h"

namespace kst::mwtest {
namespace {

class FocusOrderTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    test::EnsureControlsApp();
    MainWindowFixture::SetUp();
    lighting = std::make_unique<MainWindowLighting>(*dialog, *context);
    profiles = std::make_unique<MainWindowProfiles>(*dialog, *context,
                                                    [this] { return lighting->Model(); });
    Start();
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(WaitFor([this] { return dialog->isActiveWindow(); }));
  }
  void TearDown() override {
    profiles.reset();
    lighting.reset();
    MainWindowFixture::TearDown();
  }

  // The walk from the named control.
  std::vector<std::string> WalkFrom(const char* first, int key = Qt::Key_Tab) {
    auto* start = dialog->findChild<QWidget*>(QString::fromLatin1(first));
    EXPECT_NE(start, nullptr) << first;
    if (!start) return {};
    start->setFocus(Qt::TabFocusReason);
    return test::TabWalk(*dialog, key);
  }

  std::unique_ptr<MainWindowLighting> lighting;
  std::unique_ptr<MainWindowProfiles> profiles;
};

TEST_F(FocusOrderTest, TabWalksTheWindowInItsOrderAndBacktabTheOtherWay) {
  // The lighting panel is closed: of it only its switch and the report rates show.
  const std::vector<std::string> expected = {
      "FUNC_PROFILE1",    "FUNC_PROFILE2",  "FUNC_PROFILE3",   "FUNC_PROFILE4",
      "FUNC_PROFILES",    "FUNC_DEFAULT",   "KeyboardPicture", "CONTROL_DengStaPic",
      "FUNC_REPORT1",     "FUNC_REPORT2",   "FUNC_REPORT3",    "FUNC_REPORT4",
      "CONTROL_OK",       "CONTROL_CANCEL", "CONTROL_MENU",    "CONTROL_HELP",
      "CONTROL_MINIMIZE", "CONTROL_CLOSE",  "TELVIN_LINK",     "CONTROL_Network",
      "CONTROL_Facebook", "CONTROL_twitter"};
  EXPECT_EQ(WalkFrom("FUNC_PROFILE1"), expected);
  std::vector<std::string> backwards(expected.rbegin(), expected.rend() - 1);
  backwards.insert(backwards.begin(), expected.front());
  EXPECT_EQ(WalkFrom("FUNC_PROFILE1", Qt::Key_Backtab), backwards);
  // A pending change enables Apply, which then follows Cancel.
  dialog->SetApplyEnabled(true);
  const std::vector<std::string> walk = WalkFrom("CONTROL_CANCEL");
  ASSERT_GE(walk.size(), 2u);
  EXPECT_EQ(walk[1], "CONTROL2_APPLY");
}

TEST_F(FocusOrderTest, SpaceOnTheLightingSwitchOpensThePanelWhoseControlsFollowIt) {
  auto* picture = dialog->findChild<QWidget*>(QStringLiteral("CONTROL_DengStaPic"));
  ASSERT_NE(picture, nullptr);
  picture->setFocus(Qt::TabFocusReason);
  test::PressKey(Qt::Key_Space);
  ASSERT_TRUE(lighting->Model()->State().editMode);
  // The panel's controls, read row by row, between the switch and OK.
  const std::vector<std::string> walk = WalkFrom("CONTROL_DengStaPic");
  std::size_t at = 0;
  for (const char* name : {"CONTROL_DengStaPic", "FUNC_REPORT1", "CONTROL_XGcombox",
                           "CONTROL_LightSlider", "CONTROL_SpeedSlider", "CONTROL_OK"}) {
    const auto found = std::find(walk.begin() + static_cast<std::ptrdiff_t>(at), walk.end(), name);
    ASSERT_NE(found, walk.end()) << name << " missing or out of order";
    at = static_cast<std::size_t>(found - walk.begin());
  }
  // Space on the switch again closes the panel.
  picture->setFocus(Qt::TabFocusReason);
  test::PressKey(Qt::Key_Space);
  EXPECT_FALSE(lighting->Model()->State().editMode);
}

}  // namespace
}  // namespace kst::mwtest
