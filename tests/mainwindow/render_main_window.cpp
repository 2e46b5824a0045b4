// kst-render-main-window <folder>: runs the main window offscreen over the
// simulated keyboard (temporary user folders) and saves two pictures of it:
// main-window.png as it starts, main-window-assigned.png with some keys
// assigned and Apply pending.

#include "device/DeviceLink.h"
#include "support/OffscreenMainWindow.h"

int main(int argc, char** argv) {
  return kst::RunRenderTool(
      argc, argv, "kst-render-main-window", [](kst::OffscreenMainWindow& rig, const QString& out) {
        kst::CKestruneDlg& dialog = rig.Window();
        kst::AssignmentStore& store = rig.Store();
        rig.Init();
        bool ok = kst::SaveRender(dialog, out + "/main-window.png");

        const int profile = dialog.Link()->CachedCurrentProfile();
        using kst::AssignmentKind;
        store.SetAssignment(profile, 0x1E, AssignmentKind::SingleKey, 0x30);  // A -> B
        store.SetAssignment(profile, 0x12, AssignmentKind::MediaKey, 1);      // E -> Play
        store.SetAssignment(profile, 0x3B, AssignmentKind::FunctionKey, 4);   // F1 -> Copy
        store.SetAssignment(profile, 0xC8, AssignmentKind::Disabled, 0);      // Up
        store.SetAssignment(profile, kst::GKeySlot(kst::GKeyBank::A, 0), AssignmentKind::SingleKey,
                            0x1D);  // G1 -> Ctrl
        store.SetAssignment(profile, kst::GKeySlot(kst::GKeyBank::A, 2), AssignmentKind::MediaKey,
                            6);
        dialog.RefreshKeyButtons();
        dialog.SetApplyEnabled(true);
        rig.Settle();
        ok = kst::SaveRender(dialog, out + "/main-window-assigned.png") && ok;
        return ok;
      });
}
