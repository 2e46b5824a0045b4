// kst-render-profiles <folder>: runs the main window offscreen over the
// simulated keyboard with the lighting and the profile bar plugged in and
// saves profile-1.png to profile-4.png (each profile with keys of its own,
// its lighting shown and a report rate of its own), profile-menu.png (the
// profile menu open under the profile name button) and
// profile-switch-prompt.png (the question before a switch with unapplied
// changes, over the window); focus-main-keys.png and focus-main-profile.png
// (the keyboard focus on the key picture and on a profile button).

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

#include "foundation/SkinLayout.h"
#include "lighting/EffectList.h"
#include "lighting/LightingModel.h"
#include "lighting/panel/MainWindowLighting.h"
#include "mainwindow/KeyboardView.h"
#include "mainwindow/profiles/MainWindowProfiles.h"
#include "mainwindow/profiles/ProfileBar.h"
#include "skin/CPngButton.h"
#include "skin/SkinLayoutOps.h"
#include "store/AssignmentStore.h"
#include "support/OffscreenMainWindow.h"

namespace {

using namespace kst;

// Each profile's keys: slot and the key it gives (HID usage).
struct Remap {
  AssignmentSlot slot;
  std::uint32_t usage;
};
const std::vector<std::vector<Remap>> kProfileKeys = {
    {{0x1E, 0x05}, {0x1F, 0x06}},                // A, S
    {{0x11, 0x1A}, {0x1E, 0x04}, {0x20, 0x07}},  // W, A, D
    {{0x3B, 0x3A}, {0x3C, 0x3B}},                // F1, F2
    {{0x3A, 0x29}, {0x0F, 0x2B}, {0x2A, 0xE1}},  // Caps Lock, Tab, Shift
};
constexpr int kProfileEffects[] = {1, 12, 17, 20};

bool SaveWithOverlay(QWidget& window, const QPixmap& overlay, QPoint at, const QString& file) {
  QPixmap picture = window.grab();
  {
    QPainter painter(&picture);
    painter.drawPixmap(at, overlay);
  }
  if (!picture.save(file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  return RunRenderTool(
      argc, argv, "kst-render-profiles", [](OffscreenMainWindow& rig, const QString& out) {
        MainWindowLighting lighting(rig.Window(), rig.Context());
        MainWindowProfiles profiles(rig.Window(), rig.Context(), [&] { return lighting.Model(); });
        rig.Init();
        LightingModel* model = lighting.Model();
        CKestruneDlg& window = rig.Window();
        if (!model) return false;
        {
          std::lock_guard<StoreLock> lock(rig.Store().Lock());
          for (int p = 0; p < 4; ++p) {
            for (const Remap& remap : kProfileKeys[static_cast<std::size_t>(p)]) {
              rig.Store().SetAssignment(p, remap.slot, AssignmentKind::SingleKey, remap.usage);
            }
          }
        }
        bool ok = true;
        for (int p = 0; p < 4; ++p) {
          window.OnCommand(profile_id::kProfileButtons[static_cast<std::size_t>(p)]);
          rig.Settle();
          if (!model->State().editMode && !model->ToggleEditMode()) return false;
          const int index = EffectListIndex(model->State(), kProfileEffects[p]);
          if (index >= 0) model->ChangeEffect(index);
          window.OnCommand(profile_id::kReportRates[static_cast<std::size_t>(p)]);
          rig.Settle();
          ok = SaveRender(window, out + QStringLiteral("/profile-%1.png").arg(p + 1)) && ok;
        }

        // The profile menu as it opens under the profile name button.
        QPixmap menuPicture;
        profiles.Bar().SetMenuSeam([&](QMenu& menu) -> QAction* {
          menu.adjustSize();
          menuPicture = menu.grab();
          return nullptr;
        });
        window.OnCommand(profile_id::kShowMenu);
        const QRect name = GeometryFromSkinRect(ReadSkinRect(
            window.SkinFileName(), QString::fromLatin1(kButtonInfoSection), "FUNC_PROFILES"));
        ok = !menuPicture.isNull() &&
             SaveWithOverlay(window, menuPicture, name.bottomLeft() + QPoint(0, 2),
                             out + "/profile-menu.png") &&
             ok;

        // Keyboard focus: the key picture's stop on W, and a profile button
        // reached by Tab; the lighting panel closed, so that no key wears
        // its colour frame.
        if (model->State().editMode) model->ToggleEditMode();
        window.show();
        window.activateWindow();
        for (int i = 0; i < 200 && !window.isActiveWindow(); ++i)
          QApplication::processEvents(QEventLoop::AllEvents, 5);
        constexpr int kIdKeyW = 1045;
        if (KeyboardView* view = window.View(); view && view->SetCurrentKey(kIdKeyW)) {
          view->FocusStop()->setFocus(Qt::TabFocusReason);
          rig.Settle();
          ok = SaveRender(window, out + "/focus-main-keys.png") && ok;
        }
        if (auto* second = window.findChild<CPngButton*>(QStringLiteral("FUNC_PROFILE2"))) {
          second->setFocus(Qt::TabFocusReason);
          rig.Settle();
          ok = SaveRender(window, out + "/focus-main-profile.png") && ok;
        }

        // The question before a switch with a key change not applied: the
        // window's own message box, answered No once it is drawn.
        window.SetSeams({});
        window.SetApplyEnabled(true);
        bool prompted = false;
        QTimer::singleShot(200, [&] {
          auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
          if (!box) return;
          prompted = true;
          box->adjustSize();
          const QPoint at((window.width() - box->width()) / 2,
                          (window.height() - box->height()) / 2);
          ok = SaveWithOverlay(window, box->grab(), at, out + "/profile-switch-prompt.png") && ok;
          box->done(QMessageBox::No);
        });
        window.OnCommand(profile_id::kProfileButtons[0]);
        return ok && prompted;
      });
}
