// kst-render-no-keyboard <folder>: runs the main window offscreen over the
// simulated keyboard with the lighting and the profile bar plugged in, on a
// desktop without a notification area, unplugs the keyboard and saves
// no-keyboard-window.png: the window as it stays, saying that the keyboard
// went.

#include <dlfcn.h>

#include <QLabel>

#include <string>
#include <vector>

#include "device/ServiceLibrary.h"
#include "device/sim/TolvaneSimControl.h"
#include "lighting/panel/MainWindowLighting.h"
#include "mainwindow/profiles/MainWindowProfiles.h"
#include "support/OffscreenMainWindow.h"

int main(int argc, char** argv) {
  using namespace kst;
  return RunRenderTool(
      argc, argv, "kst-render-no-keyboard", [](OffscreenMainWindow& rig, const QString& out) {
        CKestruneDlg& window = rig.Window();
        rig.SetNotificationArea(false);
        MainWindowLighting lighting(window, rig.Context());
        MainWindowProfiles profiles(window, rig.Context(), [&] { return lighting.Model(); });
        rig.Init();
        window.ShowMainWindow();

        const std::string library = std::string(KST_BIN_DIR) + "/" + kSimulatedServiceLibraryName;
        void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
        auto control =
            handle ? reinterpret_cast<TolvaneSimControlFn>(dlsym(handle, "TolvaneSimControl"))
                   : nullptr;
        if (!control) return false;
        std::vector<char> reply(4096);
        if (control("unplug", reply.data(), static_cast<std::uint32_t>(reply.size())) !=
            TOLVANE_SIM_OK)
          return false;
        rig.Settle();
        if (!window.NoKeyboardState() || !window.NoKeyboardState()->isVisible()) return false;
        return SaveRender(window, out + "/no-keyboard-window.png");
      });
}
