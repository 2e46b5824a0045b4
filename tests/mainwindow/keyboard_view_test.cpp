// The keyboard picture on the main window: assigned looks and captions from
// the store, the G-key bank, the orientation switch and key clicks.

#include <QKeyEvent>
#include <QTest>

#include <optional>

#include "foundation/SkinLayout.h"
#include "main_window_harness.h"
#include "mainwindow/MainWindowIds.h"
#include "skin/SkinKeys.h"
#include "store/MacroRecord.h"
#include "support/KeyPresses.h"

namespace kst::mwtest {
namespace {

constexpr int kKeyA = 1058;
constexpr int kKeyPrintScreen = 1091;
constexpr int kKeyF1 = 1010;
constexpr AssignmentSlot kSlotA = 0x1E;

using KeyboardView_ = MainWindowFixture;
using Look = CPngButton::Look;

const QString kSkins = QStringLiteral(KST_BIN_DIR "/Skins/");

// The part of `picture` a button at `place` shows, in device pixels.
QImage Region(const QPixmap& picture, const QRect& place) {
  const qreal ratio = picture.devicePixelRatio();
  const QRect pixels(QPointF(place.topLeft() * ratio).toPoint(),
                     QSizeF(QSizeF(place.size()) * ratio).toSize());
  return picture.toImage().copy(pixels).convertToFormat(QImage::Format_RGB32);
}

// What the button shows in `look`: its picture under its own rectangle.
QImage Shown(const CPngButton& button, Look look) {
  return button.LookPixels(look).toImage().convertToFormat(QImage::Format_RGB32);
}

// Mean grey level of a column of `image` over its middle half.
double ColumnGrey(const QImage& image, int x) {
  double sum = 0;
  const int top = image.height() / 4;
  const int bottom = image.height() * 3 / 4;
  for (int y = top; y < bottom; ++y) sum += qGray(image.pixel(x, y));
  return sum / (bottom - top);
}

TEST_F(KeyboardView_, CaptionsAndAssignedLookFollowTheStore) {
  Start();
  auto macro = NewMacroRecord(u"Combo", {});
  ASSERT_TRUE(macro);
  std::vector<MacroRecord> macros{*macro};
  ASSERT_TRUE(store->ReplaceMacroList(macros));
  const std::uint16_t number = macros[0].number;

  struct Case {
    const char* name;
    AssignmentKind kind;
    std::uint32_t param;
    bool assigned;
    QString caption;
  };
  const std::vector<Case> cases = {
      {"single key", AssignmentKind::SingleKey, 0x30, true, "A → Key (B)"},
      {"macro", AssignmentKind::PlayMacro, number, true, "A → Macro (Combo)"},
      {"missing macro", AssignmentKind::PlayMacro, number + 1u, true, "A → Macro ()"},
      {"media", AssignmentKind::MediaKey, 3, true, "A → Multimedia (Previous Track)"},
      {"media beyond the list", AssignmentKind::MediaKey, 18, true, "A → Multimedia ()"},
      {"function", AssignmentKind::FunctionKey, 4, true, "A → Function (Copy)"},
      {"function beyond the list", AssignmentKind::FunctionKey, 0xFFFFFFFF, true,
       "A → Function ()"},
      {"disabled", AssignmentKind::Disabled, 0, true, "A →"},
      {"default again", AssignmentKind::Default, 0, false, "A"},
  };
  CPngButton* a = Button(kKeyA);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(store->SetAssignment(0, kSlotA, c.kind, c.param));
    dialog->RefreshKeyButtons();
    EXPECT_EQ(a->IsSelected(), c.assigned);
    EXPECT_EQ(a->TooltipText(), c.caption);
    EXPECT_EQ(a->CurrentLook(), c.assigned ? CPngButton::Look::Selected : CPngButton::Look::Normal);
  }
  // Another profile's entry does not mark the key of the current one.
  ASSERT_TRUE(store->SetAssignment(2, kSlotA, AssignmentKind::SingleKey, 0x30));
  dialog->RefreshKeyButtons();
  EXPECT_FALSE(a->IsSelected());
}

TEST_F(KeyboardView_, ADroppedMacroAssignmentRedrawsItsKey) {
  Start();
  auto macro = NewMacroRecord(u"Gone", {});
  std::vector<MacroRecord> macros{*macro};
  ASSERT_TRUE(store->ReplaceMacroList(macros));
  ASSERT_TRUE(store->SetAssignment(0, kSlotA, AssignmentKind::PlayMacro, macros[0].number));
  dialog->RefreshKeyButtons();
  ASSERT_TRUE(Button(kKeyA)->IsSelected());
  std::vector<MacroRecord> none;
  ASSERT_TRUE(store->ReplaceMacroList(none));
  EXPECT_FALSE(Button(kKeyA)->IsSelected());
  EXPECT_EQ(Button(kKeyA)->TooltipText(), "A");
}

TEST_F(KeyboardView_, TheBankSwitchReMarksTheGKeys) {
  Start();
  const int g1 = kGKeyIds[0];
  const int g2 = kGKeyIds[1];
  ASSERT_TRUE(store->SetAssignment(0, GKeySlot(GKeyBank::B, 0), AssignmentKind::SingleKey, 0x30));
  ASSERT_TRUE(store->SetAssignment(0, GKeySlot(GKeyBank::A, 1), AssignmentKind::SingleKey, 0x30));
  dialog->RefreshKeyButtons();
  EXPECT_FALSE(Button(g1)->IsSelected());
  EXPECT_TRUE(Button(g2)->IsSelected());
  EXPECT_EQ(Button(g1)->text(), "A1");
  EXPECT_EQ(Button(kGKeyIds[5])->text(), "");
  const QPixmap bankA = Button(kIdLockBank)->Picture(CPngButton::Look::Normal);

  Sim("g-bank");
  ASSERT_TRUE(WaitFor([&] { return dialog->View()->ShownBank() == GKeyBank::B; }));
  EXPECT_TRUE(Button(g1)->IsSelected());
  EXPECT_FALSE(Button(g2)->IsSelected());
  EXPECT_EQ(Button(g1)->text(), "B1");
  EXPECT_EQ(Button(g1)->TooltipText(), "G1 → Key (B)");
  EXPECT_NE(Button(kIdLockBank)->Picture(CPngButton::Look::Normal).cacheKey(), bankA.cacheKey());
  EXPECT_EQ(Button(kIdLockBank)->Picture(CPngButton::Look::Selected).cacheKey(), bankA.cacheKey());

  Sim("g-bank");
  ASSERT_TRUE(WaitFor([&] { return dialog->View()->ShownBank() == GKeyBank::A; }));
  EXPECT_FALSE(Button(g1)->IsSelected());
  EXPECT_TRUE(Button(g2)->IsSelected());
}

TEST_F(KeyboardView_, FlipSwapsF1ToF4ForTheExtraKeysAndIsRemembered) {
  Start();
  CPngButton* f1 = Button(kKeyF1);
  CPngButton* d1 = Button(kFirstExtraKeyId);
  EXPECT_TRUE(f1->isEnabled());
  EXPECT_FALSE(d1->isVisible());
  EXPECT_FALSE(Button(kIdFlip0)->IsSelected());
  const QPoint downArrow = Button(kIdLeftArrow)->Origin();

  QTest::mouseClick(Button(kIdFlip1), Qt::LeftButton);
  EXPECT_EQ(AppProfile(*registry).GetFlip(), 1);
  EXPECT_FALSE(f1->isEnabled());
  EXPECT_TRUE(d1->isVisible());
  EXPECT_TRUE(d1->isEnabled());
  EXPECT_TRUE(Button(kIdFlip0)->IsSelected());
  EXPECT_NE(Button(kIdLeftArrow)->Origin(), downArrow);

  QTest::mouseClick(Button(kIdFlip2), Qt::LeftButton);
  EXPECT_EQ(AppProfile(*registry).GetFlip(), 0);
  EXPECT_TRUE(f1->isEnabled());
  EXPECT_FALSE(d1->isVisible());
  EXPECT_EQ(Button(kIdLeftArrow)->Origin(), downArrow);
  // G8 and G9 stay disabled whatever happens.
  dialog->RefreshKeyButtons();
  EXPECT_FALSE(Button(kGKeyIds[7])->isEnabled());
  EXPECT_FALSE(Button(kGKeyIds[8])->isEnabled());
}

// With Flip 1 the extra keys take their looks from pictures that draw them
// where F1-F4 are, so what a key shows, hovered or pressed, is the key under
// the pointer, and the pointer over a key reaches that key.
TEST_F(KeyboardView_, InFlip1EachExtraKeyShowsTheKeyDrawnUnderIt) {
  Start();
  QTest::mouseClick(Button(kIdFlip1), Qt::LeftButton);
  ASSERT_EQ(dialog->View()->Flip(), 1);
  const std::pair<Look, const char*> looks[] = {{Look::Normal, kMainFlipPictureSet.normal},
                                                {Look::Hover, kMainFlipPictureSet.over},
                                                {Look::Pressed, kMainFlipPictureSet.down}};
  std::vector<CPngButton*> extra;
  for (int i = 0; i < kExtraKeyCount; ++i) extra.push_back(Button(kFirstExtraKeyId + i));
  for (CPngButton* key : extra) {
    SCOPED_TRACE(qPrintable(key->objectName()));
    ASSERT_TRUE(key->isVisible());
    EXPECT_EQ(key->Origin(), key->pos());
    EXPECT_EQ(dialog->childAt(key->geometry().center()), key);
    for (const auto& [look, file] : looks) {
      const QImage drawn(kSkins + QLatin1String(file));
      ASSERT_FALSE(drawn.isNull());
      EXPECT_EQ(Shown(*key, look), Region(QPixmap::fromImage(drawn), key->geometry()))
          << static_cast<int>(look);
    }
  }
  // The picture has a keycap in each extra key's place: the column where two
  // neighbours meet is the dark gap between caps, the middle of a key its
  // lighter face. The F1-F4 caps would span those meeting columns.
  const QImage flip(kSkins + QLatin1String(kMainFlipPictureSet.normal));
  for (std::size_t i = 0; i + 1 < extra.size(); ++i) {
    SCOPED_TRACE(i);
    const QRect left = extra[i]->geometry();
    const QImage strip = flip.copy(left.united(extra[i + 1]->geometry()));
    const double face = ColumnGrey(strip, left.width() / 4);
    const double gap = ColumnGrey(strip, left.width());
    EXPECT_GT(face - gap, 15.0) << "face " << face << ", gap " << gap;
  }
}

// A button that takes no click shows a look of its own, dimmer than its
// usual one.
TEST_F(KeyboardView_, DisabledButtonsLookDisabled) {
  Start();
  for (int id : {kGKeyIds[7], kGKeyIds[8], kIdApply}) {
    CPngButton* button = Button(id);
    SCOPED_TRACE(qPrintable(button->objectName()));
    ASSERT_FALSE(button->isEnabled());
    EXPECT_EQ(button->CurrentLook(), Look::Disabled);
    const QImage disabled = Shown(*button, Look::Disabled);
    const QImage normal = Shown(*button, Look::Normal);
    EXPECT_NE(disabled, normal);
    double dim = 0, usual = 0;
    for (int x = 0; x < normal.width(); ++x) {
      dim += ColumnGrey(disabled, x);
      usual += ColumnGrey(normal, x);
    }
    EXPECT_LT(dim, usual);
  }
}

// Nothing reports the keyboard's NUM, CAPS and SCRL state: the indicators
// stay unlit until it is known, and then show it.
TEST_F(KeyboardView_, LockIndicatorsAreUnlitUnlessTheStateIsKnown) {
  Start();
  // The lit look is in the hover picture, which the window takes once it is up.
  ASSERT_TRUE(WaitFor([&] { return dialog->LaterLooksTaken(); }));
  const int ids[] = {kIdLockNum, kIdLockCaps, kIdLockScroll};
  auto lit = [&](int id) {
    CPngButton* button = Button(id);
    const QImage shown = Shown(*button, button->CurrentLook());
    // The LED sits centred, 10 pixels below the indicator's top.
    return qRed(shown.pixel(shown.width() / 2, 10 * shown.height() / button->height())) > 0xC0;
  };
  struct Case {
    const char* name;
    std::optional<LockLights> lights;
    bool expected[3];
  };
  const Case cases[] = {
      {"unknown", std::nullopt, {false, false, false}},
      {"caps on", LockLights{false, true, false}, {false, true, false}},
      {"num and scroll on", LockLights{true, false, true}, {true, false, true}},
      {"unknown again", std::nullopt, {false, false, false}},
  };
  for (int id : ids) EXPECT_FALSE(lit(id)) << id << " at start";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialog->View()->ShowLockLights(c.lights);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(lit(ids[i]), c.expected[i]) << ids[i];
  }
}

TEST_F(KeyboardView_, KeyClicksOpenTheAssignmentDialogOnTheKeysSlot) {
  Start();
  struct Opened {
    AssignmentSlot slot;
    bool macroOnly;
    int controlId;
  };
  std::vector<Opened> opened;
  CKestruneDlg::Parts parts;
  parts.openKeyAssignment = [&](AssignmentSlot slot, bool macroOnly, int controlId) {
    opened.push_back({slot, macroOnly, controlId});
  };
  dialog->SetParts(parts);
  // The macro button appears once the dialog it opens exists.
  EXPECT_TRUE(Button(kIdMacro)->isVisible());

  QTest::mouseClick(Button(kKeyPrintScreen), Qt::LeftButton);
  QTest::mouseClick(Button(kGKeyIds[0]), Qt::LeftButton);
  dialog->OnCommand(kIdMacro);
  // Fn, the extra keys and a locked T do nothing.
  dialog->View()->KeyClicked(kIdFn);
  dialog->View()->KeyClicked(kFirstExtraKeyId);
  dialog->View()->ShowLocks(true, false);
  EXPECT_TRUE(Button(kIdTKey)->IsSelected());
  EXPECT_FALSE(Button(kIdGraveKey)->IsSelected());
  dialog->View()->KeyClicked(kIdTKey);
  dialog->View()->KeyClicked(kIdGraveKey);

  ASSERT_EQ(opened.size(), 4u);
  EXPECT_EQ(opened[0].slot, 0xB7);
  EXPECT_FALSE(opened[0].macroOnly);
  EXPECT_EQ(opened[1].slot, GKeySlot(GKeyBank::A, 0));
  EXPECT_EQ(opened[2].slot, GKeySlot(GKeyBank::A, 8));
  EXPECT_TRUE(opened[2].macroOnly);
  EXPECT_EQ(opened[3].controlId, kIdGraveKey);
  EXPECT_EQ(opened[3].slot, 0x29);

  // Without the dialog a click changes nothing.
  dialog->SetParts({});
  EXPECT_FALSE(Button(kIdMacro)->isVisible());
  QTest::mouseClick(Button(kKeyA), Qt::LeftButton);
  EXPECT_EQ(opened.size(), 4u);
}

TEST_F(KeyboardView_, ClearKeyColoursTakesFramesAndMarksOff) {
  Start();
  ASSERT_TRUE(store->SetAssignment(0, kSlotA, AssignmentKind::SingleKey, 0x30));
  dialog->RefreshKeyButtons();
  Button(kIdFn)->SetColourFrame(0x0000FF, 100, true);
  dialog->View()->ClearKeyColours();
  EXPECT_FALSE(Button(kKeyA)->IsSelected());
  EXPECT_FALSE(Button(kIdFn)->ColourFrameOn());
}

// The key picture from the keyboard: its one tab stop, the arrow keys that
// move it by the keys' places, and Space that clicks the key under it.
class KeyboardViewKeys : public MainWindowFixture {
 protected:
  int Id(const char* skinKey) {
    const auto* button = dialog->findChild<CPngButton*>(QString::fromLatin1(skinKey));
    return button ? button->property("controlId").toInt() : -1;
  }
  KeyboardView& View() { return *dialog->View(); }
  void Press(int key, bool autoRepeat = false) {
    test::PressKey(key, View().FocusStop(), autoRepeat);
  }
};

TEST_F(KeyboardViewKeys, ArrowsMoveToTheNeighbouringKeyInThatDirection) {
  Start();
  struct Case {
    const char* from;
    Qt::Key arrow;
    const char* to;  // nullptr: no key that way, the stop stays
    int flip;
  };
  const Case cases[] = {
      {"KEY_01E", Qt::Key_Right, "KEY_01F", 0},  // A → S
      {"KEY_01E", Qt::Key_Up, "KEY_010", 0},     // A → Q (the nearer of Q and W)
      {"KEY_01E", Qt::Key_Left, "KEY_03A", 0},   // A → Caps Lock
      {"KEY_01E", Qt::Key_Down, "KEY_02C", 0},   // A → Z, not the wide Shift
      {"FUNC_G1", Qt::Key_Down, "FUNC_G2", 0},
      {"FUNC_G1", Qt::Key_Up, nullptr, 0},
      {"FUNC_G1", Qt::Key_Right, "KEY_001", 0},  // G1 → Esc
      {"KEY_001", Qt::Key_Left, "FUNC_G1", 0},
      {"FUNC_G7", Qt::Key_Down, "KEY_01D", 0},   // G8 and G9 are disabled: on to Ctrl
      {"KEY_039", Qt::Key_Up, "KEY_030", 0},     // Space → B
      {"KEY_01C", Qt::Key_Up, "KEY_02B", 0},     // Enter → backslash
      {"KEY_049", Qt::Key_Right, "KEY_04E", 0},  // numpad 9 → the tall +
      {"KEY_04E", Qt::Key_Down, "KEY_09C", 0},   // numpad + → numpad Enter
      {"KEY_04A", Qt::Key_Right, nullptr, 0},    // numpad - is the last column
      {"KEY_0CB", Qt::Key_Up, "KEY_0C8", 0},     // left arrow → up arrow
      {"KEY_001", Qt::Key_Right, "KEY_03B", 0},  // Esc → F1
      {"KEY_001", Qt::Key_Right, "KEY_D1", 1},   // flipped: Esc → D1, F1 is off
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " " << c.arrow << " flip " << c.flip);
    AppProfile(*registry).SetFlip(c.flip);
    View().ApplyFlip();
    ASSERT_TRUE(View().SetCurrentKey(Id(c.from)));
    Press(c.arrow);
    const int expected = c.to ? Id(c.to) : Id(c.from);
    ASSERT_GE(expected, 0);
    EXPECT_EQ(View().CurrentKey(), expected)
        << "on " << View().Button(View().CurrentKey())->objectName().toStdString();
    EXPECT_EQ(View().FocusStop()->geometry(), View().Button(expected)->geometry());
  }
}

TEST_F(KeyboardViewKeys, DisabledHiddenAndUnknownKeysAreNotReachable) {
  Start();
  EXPECT_FALSE(View().SetCurrentKey(kGKeyIds[7]));       // G8
  EXPECT_FALSE(View().SetCurrentKey(kFirstExtraKeyId));  // D1, hidden while F1-F4 show
  EXPECT_FALSE(View().SetCurrentKey(kIdFlip1));          // not a key
  EXPECT_FALSE(View().SetCurrentKey(-5));
  // The stop on F1 moves to a reachable key when the flip turns F1 off.
  ASSERT_TRUE(View().SetCurrentKey(kKeyF1));
  AppProfile(*registry).SetFlip(1);
  View().ApplyFlip();
  EXPECT_NE(View().CurrentKey(), kKeyF1);
  EXPECT_TRUE(View().Reachable(View().CurrentKey()));
}

TEST_F(KeyboardViewKeys, SpaceClicksTheKeyUnderTheStopOnceAndEnterDoesNothing) {
  Start();
  std::vector<AssignmentSlot> opened;
  CKestruneDlg::Parts parts;
  parts.openKeyAssignment = [&](AssignmentSlot slot, bool, int) { opened.push_back(slot); };
  dialog->SetParts(parts);
  ASSERT_TRUE(View().SetCurrentKey(kKeyA));
  Press(Qt::Key_Space);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], kSlotA);
  // A held Space repeats presses; it clicks once, on the release.
  {
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(View().FocusStop(), &down);
    Press(Qt::Key_Space, true);
    EXPECT_EQ(opened.size(), 1u);
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(View().FocusStop(), &up);
    EXPECT_EQ(opened.size(), 2u);
  }
  // Enter and Escape stay the window's: they reach no key.
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
    QTest::keyClick(View().FocusStop(), key);
  EXPECT_EQ(opened.size(), 2u);
  EXPECT_TRUE(dialog->isVisible());
}

}  // namespace
}  // namespace kst::mwtest
