// kst-render-looks <folder> <scale in percent>: runs the main window offscreen
// over the simulated keyboard at that screen scale and saves it as
// hidpi-<percent>.png; at 100 % also flip-0.png and flip-1.png (the keyboard
// picture in either orientation, a few keys assigned, one key hovered).

#include <QEnterEvent>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/DeviceLink.h"
#include "mainwindow/KeyboardView.h"
#include "mainwindow/MainWindowIds.h"
#include "skin/CPngButton.h"
#include "support/OffscreenMainWindow.h"

namespace {

void Hover(kst::CPngButton* button, bool on) {
  if (!button) return;
  if (on) {
    const QPointF inside(button->width() / 2.0, button->height() / 2.0);
    QEnterEvent enter(inside, button->mapToGlobal(inside), button->mapToGlobal(inside));
    QApplication::sendEvent(button, &enter);
  } else {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <folder> <scale in percent>\n", argv[0]);
    return 2;
  }
  const int percent = std::atoi(argv[2]);
  if (percent < 100 || percent > 400) {
    std::fprintf(stderr, "%s: scale must lie in 100..400\n", argv[0]);
    return 2;
  }
  setenv("QT_SCALE_FACTOR", std::to_string(percent / 100.0).c_str(), 1);
  char* args[] = {argv[0], argv[1], nullptr};
  return kst::RunRenderTool(
      2, args, "kst-render-looks", [percent](kst::OffscreenMainWindow& rig, const QString& out) {
        kst::CKestruneDlg& dialog = rig.Window();
        rig.Init();
        const int profile = dialog.Link()->CachedCurrentProfile();
        using kst::AssignmentKind;
        rig.Store().SetAssignment(profile, 0x1E, AssignmentKind::SingleKey, 0x30);  // A -> B
        rig.Store().SetAssignment(profile, 0x1F, AssignmentKind::SingleKey, 0x30);  // S -> B
        rig.Store().SetAssignment(profile, 0x3C, AssignmentKind::FunctionKey, 4);   // F2
        dialog.RefreshKeyButtons();
        rig.Settle();
        bool ok = kst::SaveRender(dialog, out + QStringLiteral("/hidpi-%1.png").arg(percent));
        if (percent != 100) return ok;

        kst::CPngButton* f2 = dialog.Control(1011);
        Hover(f2, true);
        ok = kst::SaveRender(dialog, out + "/flip-0.png") && ok;
        Hover(f2, false);
        dialog.Control(kst::kIdFlip1)->click();
        rig.Settle();
        kst::CPngButton* d3 = dialog.Control(kst::kFirstExtraKeyId + 2);
        Hover(d3, true);
        ok = kst::SaveRender(dialog, out + "/flip-1.png") && ok;
        Hover(d3, false);
        return ok;
      });
}
