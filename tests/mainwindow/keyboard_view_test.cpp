// The keyboard picture on the main window: assigned looks and captions from
// the store, the G-key bank, the orientation switch and key clicks.

#include <QTest>

#include "foundation/SkinLayout.h"
#include "main_window_harness.h"
#include "mainwindow/MainWindowIds.h"
#include "store/MacroRecord.h"

namespace kst::mwtest {
namespace {

constexpr int kKeyA = 1058;
constexpr int kKeyPrintScreen = 1091;
constexpr int kKeyF1 = 1010;
constexpr AssignmentSlot kSlotA = 0x1E;

using KeyboardView_ = MainWindowFixture;

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

}  // namespace
}  // namespace kst::mwtest
