// The window's prompts and the keyboard coming and going: a prompt holds up
// neither the connection worker nor the messages of other instances, is on
// show once at most, closes when its reason has passed and with the exit
// sequence; a burst of presence changes is settled by the latest.

#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

#include "app/CTrayIcon.h"
#include "main_window_harness.h"
#include "mainwindow/MainWindowIds.h"

namespace kst::mwtest {
namespace {

const QString kNoKeyboardText =
    QStringLiteral("No keyboard found. Connect the keyboard and try again.");
const QString kUnreadText =
    QStringLiteral("The default key layout could not be read from the keyboard.");

// Real message boxes instead of the recording seam, and a watchdog that ends
// a box's loop still running after a while: a prompt that waits for its OK
// then fails the test instead of hanging it.
class Prompts : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    CKestruneDlg::Seams seams;
    seams.openUrl = [](const QUrl&) {};
    seams.trackButtonMenu = [] { return 0; };
    seams.notificationArea = [] { return true; };
    dialog->SetSeams(std::move(seams));
    watchdog_.setInterval(4000);
    QObject::connect(&watchdog_, &QTimer::timeout, [this] {
      // The tests run no event loop of their own: one running now is a box's.
      if (QThread::currentThread()->loopLevel() == 0) return;
      heldByABox = true;
      if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
      if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) box->reject();
    });
  }

  void TearDown() override {
    watchdog_.stop();
    MainWindowFixture::TearDown();
  }

  // The message boxes on show now.
  static std::vector<QMessageBox*> Shown() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
        boxes.push_back(box);
    }
    return boxes;
  }

  static QStringList ShownTexts() {
    QStringList texts;
    for (const QMessageBox* box : Shown()) texts << box->text();
    return texts;
  }

  // A wait for a box that ends with the box: restarted per step.
  void ArmWatchdog() {
    heldByABox = false;
    watchdog_.start();
  }

  QTimer watchdog_;
  bool heldByABox = false;
};

class PromptsWithoutKeyboard : public Prompts {
 protected:
  bool KeyboardPresent() const override { return false; }
};

TEST_F(PromptsWithoutKeyboard, NoKeyboardPromptHoldsNobodyShowsOnceAndClosesWhenTheKeyboardComes) {
  Start();
  ArmWatchdog();
  // A second start (or the tray's Open) waits for this handler.
  EXPECT_EQ(dialog->SendMessage(UM_OPEN, kOpenWParam, 0), 0);
  EXPECT_FALSE(heldByABox) << "the handler waited for the prompt's OK";
  dialog->OnCommand(kCommandOpen);
  EXPECT_FALSE(heldByABox);
  QApplication::processEvents();
  EXPECT_EQ(ShownTexts(), QStringList{kNoKeyboardText});
  EXPECT_EQ(dialog->OpenPrompts(), 1);
  EXPECT_FALSE(dialog->isVisible());

  // Its reason passes: the keyboard is there.
  Sim("plug");
  ASSERT_TRUE(Settle());
  EXPECT_TRUE(WaitFor([] { return Shown().empty(); }));
  EXPECT_EQ(dialog->OpenPrompts(), 0);
  dialog->OnCommand(kCommandOpen);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(Shown().empty());
}

TEST_F(Prompts, UnreadKeyboardPromptShowsOnceHoldsNoWorkerAndClosesWhenTheKeyboardGoes) {
  Start();
  ArmWatchdog();
  // As the connection worker reports a failed read, twice, from its thread;
  // it goes on without waiting for the user.
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    dialog->ShowTextPrompt(kDefaultPromptTextKey);
    dialog->ShowTextPrompt(kDefaultPromptTextKey);
    returned = true;
  });
  EXPECT_TRUE(WaitFor([&] { return returned.load(); }, 20000));
  worker.join();
  EXPECT_FALSE(heldByABox) << "the worker waited for the prompt's OK";
  ASSERT_TRUE(WaitFor([] { return !Shown().empty(); }));
  QApplication::processEvents();
  EXPECT_EQ(ShownTexts(), QStringList{kUnreadText});

  Sim("unplug");
  ASSERT_TRUE(Settle());
  EXPECT_TRUE(WaitFor([] { return Shown().empty(); }));
  EXPECT_FALSE(heldByABox);
}

TEST_F(PromptsWithoutKeyboard, KillEndsTheRunWhilePromptsAndQuestionsAreOpen) {
  Start();
  ArmWatchdog();
  dialog->SendMessage(UM_OPEN, kOpenWParam, 0);
  ASSERT_EQ(ShownTexts(), QStringList{kNoKeyboardText});
  int finished = 0;
  QObject::connect(dialog.get(), &QDialog::finished, [&] { ++finished; });
  // "/Kill" arrives while a question waits for its answer in its own loop.
  QTimer::singleShot(0, dialog.get(), [this] { dialog->SendMessage(UM_KILL, kKillWParam, 0); });
  EXPECT_FALSE(dialog->Show(QStringLiteral("Go on?"), MessageKind::Question));
  EXPECT_FALSE(heldByABox) << "the question held the exit";
  EXPECT_TRUE(dialog->Exited());
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(dialog->OpenPrompts(), 0);
  EXPECT_TRUE(WaitFor([] { return Shown().empty(); }));
  // Nothing new shows after the end.
  dialog->SendMessage(UM_OPEN, kOpenWParam, 0);
  EXPECT_FALSE(dialog->Show(QStringLiteral("Again?"), MessageKind::Question));
  EXPECT_TRUE(Shown().empty());
}

TEST_F(Prompts, KillEndsTheRunWhileTheButtonMenuIsOpen) {
  Start();
  CKestruneDlg::Seams seams;  // the real menu, tracked in its own loop
  seams.notificationArea = [] { return true; };
  dialog->SetSeams(std::move(seams));
  dialog->ShowMainWindow();
  ArmWatchdog();
  QTimer::singleShot(0, dialog.get(), [this] { dialog->SendMessage(UM_KILL, kKillWParam, 0); });
  dialog->OnCommand(kIdMenu);
  EXPECT_FALSE(heldByABox) << "the menu held the exit";
  EXPECT_TRUE(dialog->Exited());
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(MainWindowFixture, ABurstOfUnplugsAndPlugsIsSettledByTheLatest) {
  Start();
  Sim("reports clear");
  // The window's thread is busy meanwhile, as when the user holds a menu:
  // the worker's messages wait and the presence changes pile up.
  constexpr int kCycles = 200;
  for (int n = 0; n < kCycles; ++n) {
    Sim("unplug");
    Sim("plug");
  }
  ASSERT_TRUE(Settle());
  // The keyboard that was away is read again, once: factory key map (10
  // chunks), settings, the four key maps (40) and the macro area's header.
  constexpr int kConnectionRequests = 10 + 1 + 40 + 1;
  EXPECT_EQ(CtrlRequests(), kConnectionRequests);
  EXPECT_EQ(dialog->Link()->ConnectionState(), 1);
  EXPECT_TRUE(context->state.devicePresent);
  EXPECT_EQ(context->state.trayIcon, kTrayIconConnected);
  EXPECT_EQ(Profile(), 0);
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace kst::mwtest
