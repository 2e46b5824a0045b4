// kst-render-no-permission <folder>: runs the main window offscreen over the
// real keyboard's library on the stand-in for hidapi, whose command node
// refuses to open, with the lighting and the profile bar plugged in, on a
// desktop without a notification area, and saves no-permission.png: the
// window saying that the keyboard is plugged in but may not be opened, with
// the command that installs the udev rule.

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <cstdlib>

#include "lighting/panel/MainWindowLighting.h"
#include "mainwindow/profiles/MainWindowProfiles.h"
#include "support/OffscreenMainWindow.h"

int main(int argc, char** argv) {
  using namespace kst;
  return RunRenderTool(
      argc, argv, "kst-render-no-permission", [](OffscreenMainWindow& rig, const QString& out) {
        // The stand-in under the real library's name, in a folder of its own.
        QTemporaryDir libraries;
        const QString folder = libraries.path();
        if (!QFile::copy(KST_BIN_DIR "/libTolvaneFakeHid.so", folder + "/libTolvane.so") ||
            !QFile::copy(KST_BIN_DIR "/libTolvaneSim.so", folder + "/libTolvaneSim.so"))
          return false;
        rig.Context().executableFolder = folder;
        unsetenv("KESTRUNE_DEVICE");
        setenv("KESTRUNE_FAKE_HID_DENY", "ctrl", 1);

        CKestruneDlg& window = rig.Window();
        rig.SetNotificationArea(false);
        MainWindowLighting lighting(window, rig.Context());
        MainWindowProfiles profiles(window, rig.Context(), [&] { return lighting.Model(); });
        rig.Init();
        window.show();
        window.SendMessage(UM_DEVICE_GONE, 0, 0);
        rig.Settle();
        if (!window.NoKeyboardState() || !window.NoKeyboardState()->isVisible()) return false;
        const bool saved = SaveRender(window, out + "/no-permission.png");
        window.ExitSequence();
        return saved;
      });
}
