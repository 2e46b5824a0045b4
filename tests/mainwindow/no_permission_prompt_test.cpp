// The no-keyboard prompt when the keyboard is plugged in but this user may
// not open it: the real keyboard's library over the stand-in for hidapi,
// whose command node refuses to open, in a program folder of its own.

#include <QFile>
#include <QLabel>

#include "device/hid/HidSupport.h"
#include "main_window_harness.h"

namespace kst::mwtest {
namespace {

const QString kFixCommand = QStringLiteral("sudo cp " KST_SOURCE_DIR "/resources/udev/") +
                            hid::kUdevRuleFileName +
                            " /etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo "
                            "udevadm trigger";

class KeyboardOverHidapi : public MainWindowFixture {
 protected:
  // Which nodes refuse to open, and whether the keyboard is plugged in.
  virtual const char* Denied() const = 0;

  void SetUp() override {
    MainWindowFixture::SetUp();
    const QString folder = temp.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(KST_BIN_DIR "/libTolvaneFakeHid.so", folder + "/libTolvane.so"));
    ASSERT_TRUE(QFile::copy(KST_BIN_DIR "/libTolvaneSim.so", folder + "/libTolvaneSim.so"));
    context->executableFolder = folder;
    unsetenv("KESTRUNE_DEVICE");
    setenv("KESTRUNE_FAKE_HID_DENY", Denied(), 1);
    dialog->OnInitDialog();
    ASSERT_TRUE(Settle());
  }
  void TearDown() override {
    MainWindowFixture::TearDown();
    unsetenv("KESTRUNE_FAKE_HID_DENY");
  }
};

class RefusedKeyboard : public KeyboardOverHidapi {
  const char* Denied() const override { return "ctrl"; }
};

class AbsentKeyboard : public KeyboardOverHidapi {
  const char* Denied() const override { return ""; }
  bool KeyboardPresent() const override { return false; }
};

TEST_F(RefusedKeyboard, ThePromptSaysSoAndNamesTheUdevRuleCommandInTheUsersLanguage) {
  EXPECT_FALSE(context->state.devicePresent.load());
  dialog->ShowMainWindow();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "The keyboard is plugged in, but this user may not open it. Install the keyboard's "
            "udev rule with this command in a terminal, then plug the keyboard in again:\n\n" +
                kFixCommand);

  language->SetLanguageId(0x040C);
  dialog->ShowMainWindow();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(boxes[1].text.startsWith(
      "Le clavier est branché, mais cet utilisateur n'a pas le droit de l'ouvrir."))
      << boxes[1].text.toStdString();
  EXPECT_TRUE(boxes[1].text.endsWith(kFixCommand));

  // Without a notification area the window itself says it, over the keys.
  notificationArea = false;
  dialog->SendMessage(UM_DEVICE_GONE, 0, 0);
  QLabel* state = dialog->NoKeyboardState();
  ASSERT_NE(state, nullptr);
  ASSERT_FALSE(state->isHidden());
  EXPECT_TRUE(state->text().contains(QStringLiteral("Accès au clavier refusé").toHtmlEscaped()));
  for (const QString& step : kFixCommand.split(" && "))
    EXPECT_TRUE(state->text().contains(step.toHtmlEscaped())) << step.toStdString();
}

TEST_F(AbsentKeyboard, AKeyboardThatIsNotPluggedInKeepsThePlainPrompt) {
  dialog->ShowMainWindow();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "No keyboard found. Connect the keyboard and try again.");
}

}  // namespace
}  // namespace kst::mwtest
