#include "editors/KeyboardHook.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace kst {
namespace {

// Records the keys it is given and ignores them, so that they go on to its
// parent as unhandled keys do.
class KeyLog : public QWidget {
 public:
  explicit KeyLog(QWidget* parent = nullptr) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }
  std::vector<int> presses;
  std::vector<int> releases;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    presses.push_back(e->key());
    e->ignore();
  }
  void keyReleaseEvent(QKeyEvent* e) override {
    releases.push_back(e->key());
    e->ignore();
  }
};

// A shown, active window whose focus widget sits inside a parent that also
// logs keys, and a window shortcut on F5.
class KeyboardHookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.resize(200, 100);
    auto* layout = new QVBoxLayout(&window_);
    focus_ = new KeyLog(&window_);
    layout->addWidget(focus_);
    shortcut_ = new QShortcut(QKeySequence(Qt::Key_F5), &window_);
    QObject::connect(shortcut_, &QShortcut::activated, [this] { ++shortcutsFired_; });
    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    focus_->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([this] { return focus_->hasFocus(); }));
  }

  QWindow* Window() { return window_.windowHandle(); }

  // Hook handlers that log what they are offered and give a fixed verdict
  // for some keys.
  KeyboardHook::Handler Logging(std::vector<KeyboardHook::Event>& log,
                                std::vector<KeyIndex> swallow) {
    return [&log, swallow](const KeyboardHook::Event& e) {
      log.push_back(e);
      for (KeyIndex k : swallow) {
        if (k == e.key) return KeyboardHook::Verdict::Swallow;
      }
      return KeyboardHook::Verdict::Pass;
    };
  }

  // Sends a key event with native codes to the window, as the window system
  // delivers it on X11.
  void SendNative(QEvent::Type type, int qtKey, quint32 nativeScanCode, quint32 keysym,
                  bool autoRepeat) {
    QKeyEvent e(type, qtKey, Qt::NoModifier, nativeScanCode, keysym, 0, QString(), autoRepeat);
    QApplication::sendEvent(Window(), &e);
  }

  KeyLog window_;
  KeyLog* focus_ = nullptr;
  QShortcut* shortcut_ = nullptr;
  int shortcutsFired_ = 0;
};

// Swallowed keys reach no widget, passed keys reach the focus widget and go
// on to its parent, and each key event is offered once however many
// receivers Qt hands it to: through the window as the window system sends
// it, or straight to the widget as synthetic events go.
TEST_F(KeyboardHookTest, EachEventIsOfferedOnceAndSwallowedOnesReachNoWidget) {
  enum class Route { Window, Widget };
  struct Case {
    const char* name;
    Route route;
    Qt::Key key;
    bool swallowed;
  };
  constexpr Case kCases[] = {
      {"swallowed through the window", Route::Window, Qt::Key_A, true},
      {"passed through the window", Route::Window, Qt::Key_B, false},
      {"swallowed at the widget", Route::Widget, Qt::Key_A, true},
      {"passed at the widget", Route::Widget, Qt::Key_B, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    focus_->presses.clear();
    focus_->releases.clear();
    window_.presses.clear();
    window_.releases.clear();
    std::vector<KeyboardHook::Event> offered;
    KeyboardHook hook;
    hook.Install({}, Logging(offered, {0x01E}));
    if (c.route == Route::Window) {
      QTest::keyClick(Window(), c.key);
    } else {
      QTest::keyClick(focus_, c.key);
    }
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_FALSE(offered[0].message.Release());
    EXPECT_TRUE(offered[1].message.Release());
    const std::vector<int> expected =
        c.swallowed ? std::vector<int>{} : std::vector<int>{static_cast<int>(c.key)};
    EXPECT_EQ(focus_->presses, expected);
    EXPECT_EQ(focus_->releases, expected);
    EXPECT_EQ(window_.presses, expected);
    EXPECT_EQ(window_.releases, expected);
  }
}

// A key Windows has no message for (a display brightness key) reaches no
// handler and passes untouched, as a key whose KeyIndex is 0 would.
TEST_F(KeyboardHookTest, KeyWithoutWindowsMessagePasses) {
  constexpr quint32 kScanBrightnessUp = 225 + 8;
  std::vector<KeyboardHook::Event> offered;
  KeyboardHook hook;
  hook.Install(Logging(offered, {}), Logging(offered, {}));
  SendNative(QEvent::KeyPress, Qt::Key_MonBrightnessUp, kScanBrightnessUp, 0x1008FF02, false);
  SendNative(QEvent::KeyRelease, Qt::Key_MonBrightnessUp, kScanBrightnessUp, 0x1008FF02, false);
  EXPECT_TRUE(offered.empty());
  EXPECT_EQ(focus_->presses, std::vector<int>{Qt::Key_MonBrightnessUp});
  EXPECT_EQ(focus_->releases, std::vector<int>{Qt::Key_MonBrightnessUp});
}

// The low-level handler comes first; what it swallows the thread handler
// never sees.
TEST_F(KeyboardHookTest, LowLevelHandlerFirst) {
  std::vector<KeyboardHook::Event> low;
  std::vector<KeyboardHook::Event> thread;
  KeyboardHook hook;
  hook.Install(Logging(low, {0x15B}), Logging(thread, {}));
  QTest::keyClick(Window(), Qt::Key_Super_L);
  QTest::keyClick(Window(), Qt::Key_C);
  ASSERT_EQ(low.size(), 4u);
  ASSERT_EQ(thread.size(), 2u);
  EXPECT_EQ(low[0].key, 0x15B);
  EXPECT_EQ(low[0].message.vk, 0x5Bu);
  EXPECT_EQ(thread[0].key, 0x02E);
  EXPECT_EQ(focus_->presses, std::vector<int>{Qt::Key_C});
}

// A swallowed key starts no shortcut; a passed one does, and is still
// offered once.
TEST_F(KeyboardHookTest, SwallowedKeyStartsNoShortcut) {
  for (const bool swallow : {true, false}) {
    SCOPED_TRACE(swallow);
    shortcutsFired_ = 0;
    std::vector<KeyboardHook::Event> offered;
    KeyboardHook hook;
    hook.Install(
        {}, Logging(offered, swallow ? std::vector<KeyIndex>{0x03F} : std::vector<KeyIndex>{}));
    QTest::keyPress(Window(), Qt::Key_F5);
    EXPECT_EQ(shortcutsFired_, swallow ? 0 : 1);
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0].key, 0x03F);
    QTest::keyRelease(Window(), Qt::Key_F5);
    EXPECT_EQ(offered.size(), 2u);
  }
}

// Remove takes the filter away: keys reach the widget and no handler again.
// Installing again replaces the handlers.
TEST_F(KeyboardHookTest, RemoveRemovesAndInstallReplaces) {
  std::vector<KeyboardHook::Event> first;
  std::vector<KeyboardHook::Event> second;
  KeyboardHook hook;
  EXPECT_FALSE(hook.Installed());
  hook.Install({}, Logging(first, {0x01E}));
  hook.Install({}, Logging(second, {0x01E}));
  EXPECT_TRUE(hook.Installed());
  QTest::keyClick(Window(), Qt::Key_A);
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(second.size(), 2u);
  EXPECT_TRUE(focus_->presses.empty());

  hook.Remove();
  EXPECT_FALSE(hook.Installed());
  QTest::keyClick(Window(), Qt::Key_A);
  EXPECT_EQ(second.size(), 2u);
  EXPECT_EQ(focus_->presses, std::vector<int>{Qt::Key_A});
  hook.Remove();
}

// A handler may remove the hook while it is offered a key: the key it
// swallowed stays swallowed and the next one passes untouched.
TEST_F(KeyboardHookTest, HandlerMayRemoveTheHook) {
  KeyboardHook hook;
  int calls = 0;
  hook.Install({}, [&](const KeyboardHook::Event&) {
    ++calls;
    hook.Remove();
    return KeyboardHook::Verdict::Swallow;
  });
  QTest::keyClick(Window(), Qt::Key_A);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(focus_->presses.empty());
  EXPECT_EQ(focus_->releases, std::vector<int>{Qt::Key_A});
}

// Event times come from the hook's clock.
TEST_F(KeyboardHookTest, ClockGivesTheEventTime) {
  std::int64_t now = 1000;
  KeyboardHook hook([&now] { return now; });
  std::vector<KeyboardHook::Event> offered;
  hook.Install({}, Logging(offered, {}));
  QTest::keyPress(Window(), Qt::Key_A);
  now = 1250;
  QTest::keyRelease(Window(), Qt::Key_A);
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[0].timeMs, 1000);
  EXPECT_EQ(offered[1].timeMs, 1250);
  EXPECT_EQ(hook.Now(), 1250);
}

// The press of Print Screen reaches no handler and no widget; its release
// is the key's one event.
TEST_F(KeyboardHookTest, PrintScreenPressReachesNoHandler) {
  std::vector<KeyboardHook::Event> offered;
  KeyboardHook hook;
  hook.Install(Logging(offered, {}), Logging(offered, {}));
  QTest::keyPress(Window(), Qt::Key_Print);
  EXPECT_TRUE(offered.empty());
  EXPECT_TRUE(focus_->presses.empty());
  QTest::keyRelease(Window(), Qt::Key_Print);
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[0].key, 0x137);
  EXPECT_TRUE(offered[0].message.Release());
}

// A held key as X11 delivers it (native codes; a release before every
// repeated press): the handlers see one press, the repeated presses and one
// release, and the releases between repeats go where the key's presses go.
TEST_F(KeyboardHookTest, HeldKeyOffersNoReleaseBetweenRepeats) {
  constexpr quint32 kScanA = 30 + 8;
  for (const bool swallow : {true, false}) {
    SCOPED_TRACE(swallow);
    focus_->presses.clear();
    focus_->releases.clear();
    std::vector<KeyboardHook::Event> offered;
    KeyboardHook hook;
    hook.Install(
        {}, Logging(offered, swallow ? std::vector<KeyIndex>{0x01E} : std::vector<KeyIndex>{}));
    SendNative(QEvent::KeyPress, Qt::Key_A, kScanA, 'a', false);
    SendNative(QEvent::KeyRelease, Qt::Key_A, kScanA, 'a', true);
    SendNative(QEvent::KeyPress, Qt::Key_A, kScanA, 'a', true);
    SendNative(QEvent::KeyRelease, Qt::Key_A, kScanA, 'a', false);
    ASSERT_EQ(offered.size(), 3u);
    EXPECT_FALSE(offered[0].message.PreviouslyDown());
    EXPECT_TRUE(offered[1].message.AutoRepeat());
    EXPECT_TRUE(offered[2].message.Release());
    for (const auto& e : offered) EXPECT_EQ(e.key, 0x01E);
    EXPECT_EQ(focus_->presses.size(), swallow ? 0u : 2u);
    EXPECT_EQ(focus_->releases.size(), swallow ? 0u : 2u);
  }
}

// A keyboard sends a key's release as the code of its press; the desktop
// names the release by the modifiers still held. Ctrl+Pause let go after
// Ctrl is Break down and up, and Alt+Print let go after Alt is Sys Req.
TEST_F(KeyboardHookTest, ReleaseTakesTheCodesOfItsPress) {
  struct Case {
    const char* name;
    quint32 evdev;
    quint32 pressSym;
    quint32 releaseSym;
    std::vector<KeyIndex> offered;
  };
  const Case kCases[] = {
      {"Ctrl+Pause", 119, 0xFF6B /* Break */, 0xFF13 /* Pause */, {0x146, 0x146}},
      {"Alt+Print", 99, 0xFF15 /* Sys_Req */, 0xFF61 /* Print */, {0x054}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<KeyboardHook::Event> offered;
    KeyboardHook hook;
    hook.Install({}, Logging(offered, {}));
    SendNative(QEvent::KeyPress, 0, c.evdev + 8, c.pressSym, false);
    SendNative(QEvent::KeyRelease, 0, c.evdev + 8, c.releaseSym, false);
    std::vector<KeyIndex> keys;
    for (const auto& e : offered) keys.push_back(e.key);
    EXPECT_EQ(keys, c.offered);
    ASSERT_FALSE(offered.empty());
    EXPECT_TRUE(offered.back().message.Release());
  }
}

// An open popup menu (the tray icon's, a drop-down list) keeps its keys: they
// choose in it and reach no handler.
TEST_F(KeyboardHookTest, KeysOfAnOpenPopupReachNoHandler) {
  std::vector<KeyboardHook::Event> offered;
  KeyboardHook hook;
  hook.Install({}, Logging(offered, {0x150, 0x01C}));
  QMenu menu;
  int chosen = 0;
  menu.addAction(QStringLiteral("First"), [&] { chosen = 1; });
  menu.addAction(QStringLiteral("Exit"), [&] { chosen = 2; });
  menu.popup(window_.geometry().center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activePopupWidget() == &menu; }));
  QTest::keyClick(&menu, Qt::Key_Down);
  QTest::keyClick(&menu, Qt::Key_Down);
  QTest::keyClick(&menu, Qt::Key_Return);
  EXPECT_TRUE(offered.empty());
  EXPECT_EQ(chosen, 2);

  // With the popup gone the hook takes keys again.
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
  QTest::keyClick(Window(), Qt::Key_Down);
  EXPECT_EQ(offered.size(), 2u);
}

}  // namespace
}  // namespace kst
