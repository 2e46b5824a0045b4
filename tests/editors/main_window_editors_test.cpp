// The key assignment dialog plugged into the real main window over the
// simulated keyboard: the road of one change from a click on the keyboard
// picture to the keyboard's key map, the button's looks on the way, and the
// window closing the dialog when the keyboard goes.

#include <QByteArray>
#include <QKeyEvent>
#include <QTimer>

#include <functional>

#include "device/KeyMap.h"
#include "editors/Kestrune_DlgComposite.h"
#include "editors/KeyboardHook.h"
#include "editors/MainWindowEditors.h"
#include "mainwindow/MainWindowIds.h"
#include "mainwindow/main_window_harness.h"
#include "support/KeyPresses.h"

namespace kst::mwtest {
namespace {

constexpr int kIdKeyA = 1058;

class MainWindowEditors_ : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    editors = std::make_unique<MainWindowEditors>(*dialog, *context);
    Start();
  }
  void TearDown() override {
    editors.reset();
    MainWindowFixture::TearDown();
  }

  Kestrune_DlgComposite& Editor() { return editors->KeyAssignmentDialog(); }

  // Clicks the key on the keyboard picture and runs `whileOpen` inside the
  // dialog's modal loop; gives the dialog's result.
  int ClickKeyWith(int controlId, std::function<void()> whileOpen) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      ran = true;
      whileOpen();
    });
    dialog->View()->KeyClicked(controlId);
    EXPECT_TRUE(ran) << "no dialog opened";
    return Editor().result();
  }

  void PressKey(int qtKey) {
    for (bool release : {false, true}) {
      NativeKeyEvent event;
      event.qtKey = qtKey;
      event.release = release;
      Editor().Hook().Offer(event);
    }
  }

  std::unique_ptr<MainWindowEditors> editors;
};

// From the keyboard alone: the key picture's stop on A, Space opens the key
// assignment dialog on A's slot, as a click does.
TEST_F(MainWindowEditors_, SpaceOnTheKeyPictureOpensTheDialogOnTheKeyUnderTheStop) {
  KeyboardView& view = *dialog->View();
  ASSERT_TRUE(view.SetCurrentKey(kIdKeyA));
  bool ran = false;
  QTimer::singleShot(0, [&] {
    ran = true;
    EXPECT_TRUE(Editor().IsOpen());
    EXPECT_EQ(Editor().EditedSlot(), 0x1E);
    Editor().OnCommand(kIdCancel);
  });
  test::PressKey(Qt::Key_Space, view.FocusStop());
  EXPECT_TRUE(ran) << "no dialog opened";
  EXPECT_FALSE(Editor().IsOpen());
}

TEST_F(MainWindowEditors_, ACapturedKeyGoesFromTheClickToTheKeyboardsKeyMap) {
  CPngButton* keyA = dialog->View()->Button(kIdKeyA);
  ASSERT_NE(keyA, nullptr);
  const qint64 usualNormal = keyA->Picture(CPngButton::Look::Normal).cacheKey();
  const int profile = Profile();
  ASSERT_GE(profile, 0);

  ClickKeyWith(kIdKeyA, [&] {
    EXPECT_TRUE(Editor().IsOpen());
    EXPECT_EQ(Editor().EditedSlot(), 0x1E);
    EXPECT_EQ(keyA->Picture(CPngButton::Look::Normal).cacheKey(),
              dialog->View()->Pictures().over.cacheKey())
        << "the key shows its hover look while its dialog is open";
    PressKey(Qt::Key_B);
    EXPECT_EQ(Editor().CapturedKey(), 0x30);
    Editor().OnCommand(kIdOk);
  });

  EXPECT_FALSE(Editor().IsOpen());
  EXPECT_EQ(keyA->Picture(CPngButton::Look::Normal).cacheKey(), usualNormal);
  EXPECT_TRUE(keyA->IsSelected()) << "an assigned key shows the selected look";
  EXPECT_TRUE(dialog->ApplyPending());
  const KeyAssignment entry = store->GetAssignment(profile, 0x1E);
  EXPECT_EQ(entry.kind, static_cast<std::uint32_t>(AssignmentKind::SingleKey));
  EXPECT_EQ(entry.param, 0x30u);

  dialog->OnCommand(kIdApply);
  ASSERT_TRUE(WaitFor([&] { return !dialog->ApplyPending() && Settle(); }));
  EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
  const QByteArray keyMaps = QByteArray::fromHex(QByteArray::fromStdString(Sim("read keymaps")));
  const QByteArray factory = QByteArray::fromHex(QByteArray::fromStdString(Sim("read factory")));
  ASSERT_GE(factory.size(), static_cast<qsizetype>(kKeyMapBytes));
  ASSERT_GE(keyMaps.size(), static_cast<qsizetype>((profile + 1) * kKeyMapBytes));
  const auto map = [](const QByteArray& bytes, std::size_t offset) {
    return ConstKeyMapBytes(reinterpret_cast<const std::uint8_t*>(bytes.constData()) + offset,
                            kKeyMapBytes);
  };
  // A's place in the factory map holds B in the profile's map.
  bool found = false;
  for (int position = 0; position < kKeyMapRecords && !found; ++position) {
    if (ReadKeyRecord(map(factory, 0), position) != KeyRecordForKey(0x1E)) continue;
    found = true;
    EXPECT_EQ(
        ReadKeyRecord(map(keyMaps, static_cast<std::size_t>(profile) * kKeyMapBytes), position),
        KeyRecordForKey(0x30));
  }
  EXPECT_TRUE(found) << "A is not in the factory map";
}

TEST_F(MainWindowEditors_, CancelLeavesTheKeyAndTheApplyMarkAsTheyWere) {
  ClickKeyWith(kIdKeyA, [&] {
    PressKey(Qt::Key_B);
    Editor().OnCommand(kIdCancel);
  });
  EXPECT_FALSE(dialog->View()->Button(kIdKeyA)->IsSelected());
  EXPECT_FALSE(dialog->ApplyPending());
  EXPECT_EQ(store->GetAssignment(Profile(), 0x1E).kind, 0u);
}

// The dialog's controls are not made at start-up, only on the first open;
// the window's closing and language changes before then find nothing to do.
TEST_F(MainWindowEditors_, TheDialogIsMadeOnItsFirstOpenNotWithTheWindow) {
  EXPECT_FALSE(editors->DialogMade());
  EXPECT_FALSE(dialog->PluggedParts().editorOpen());
  dialog->PluggedParts().cancelEditors();
  dialog->PluggedParts().languageChanged(1);
  EXPECT_FALSE(editors->DialogMade());
  bool ran = false;
  QTimer::singleShot(0, [&] {
    ran = true;
    EXPECT_TRUE(dialog->PluggedParts().editorOpen());
    Editor().OnCommand(kIdCancel);
  });
  dialog->View()->KeyClicked(kIdKeyA);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(editors->DialogMade());
  EXPECT_FALSE(dialog->PluggedParts().editorOpen());
}

TEST_F(MainWindowEditors_, TheMacroButtonOpensTheDialogMacroOnlyOnG9) {
  // The editors plug in before the window lays out its controls, as in the
  // program.
  ASSERT_NE(Button(kIdMacro), nullptr);
  EXPECT_TRUE(Button(kIdMacro)->isVisibleTo(dialog.get()) && Button(kIdMacro)->isEnabled());
  bool ran = false;
  QTimer::singleShot(0, [&] {
    ran = true;
    EXPECT_TRUE(Editor().MacroOnly());
    EXPECT_EQ(Editor().CurrentPage(), Kestrune_DlgComposite::kPageMacro);
    EXPECT_EQ(Editor().EditedSlot(), GKeySlot(GKeyBank::A, 8));
    Editor().OnCommand(kIdCancel);
  });
  dialog->OnCommand(kIdMacro);
  EXPECT_TRUE(ran);
}

TEST_F(MainWindowEditors_, UnpluggingTheKeyboardClosesTheDialogWithoutWriting) {
  // The window closes its editors when the keyboard has gone; the dialog
  // still open when this fires is the fault.
  QTimer stillOpen;
  stillOpen.setSingleShot(true);
  bool closedByTheTimer = false;
  QObject::connect(&stillOpen, &QTimer::timeout, [&] {
    closedByTheTimer = Editor().IsOpen();
    Editor().CloseIfOpen();
  });
  ClickKeyWith(kIdKeyA, [&] {
    PressKey(Qt::Key_B);
    Sim("unplug");
    stillOpen.start(10000);
  });
  EXPECT_FALSE(closedByTheTimer);
  EXPECT_EQ(Editor().result(), QDialog::Rejected);
  EXPECT_FALSE(dialog->View()->Button(kIdKeyA)->IsSelected());
  EXPECT_EQ(store->GetAssignment(0, 0x1E).kind, 0u);
}

}  // namespace
}  // namespace kst::mwtest
