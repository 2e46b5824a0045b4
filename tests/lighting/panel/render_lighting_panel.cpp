// kst-render-lighting <folder>: runs the main window offscreen over the
// simulated keyboard with the lighting plugged in and saves the lower half
// as the user meets it: lighting-off.png (edit mode off), then with edit mode
// on lighting-effect-1.png, -12, -17 and lighting-effect-20.png (keys
// painted with the custom effect).

#include <initializer_list>

#include "lighting/EffectList.h"
#include "lighting/LightingModel.h"
#include "lighting/panel/MainWindowLighting.h"
#include "support/OffscreenMainWindow.h"

int main(int argc, char** argv) {
  return kst::RunRenderTool(
      argc, argv, "kst-render-lighting", [](kst::OffscreenMainWindow& rig, const QString& out) {
        kst::MainWindowLighting lighting(rig.Window(), rig.Context());
        rig.Init();
        kst::LightingModel* model = lighting.Model();
        if (!model) return false;
        bool ok = kst::SaveRender(rig.Window(), out + "/lighting-off.png");
        if (!model->ToggleEditMode()) return false;
        for (int code : {1, 12, 17, 20}) {
          const int index =
              kst::EffectListIndex(model->State(), static_cast<kst::EffectCode>(code));
          if (index < 0 || model->ChangeEffect(index) < 0) return false;
          if (code == 20) {
            // Q, W, E, R and G1-G3 in the paint colour.
            for (int id : {1044, 1045, 1046, 1047, 1000, 1001, 1002}) model->PaintKey(id);
          }
          rig.Settle();
          ok = kst::SaveRender(rig.Window(),
                               out + QStringLiteral("/lighting-effect-%1.png").arg(code)) &&
               ok;
        }
        return ok;
      });
}
