// kst-render-profile-manager <folder>: runs the main window offscreen over
// the simulated keyboard with the profile bar and the profile manager
// plugged in, switches the keyboard to its third profile, opens the manager
// from the profile name button, adds a profile file with the suggested name
// and saves the dialog as profile-manager.png.

#include <QApplication>
#include <QTimer>

#include "editors/profiles/CKestrune_DlgProfile.h"
#include "editors/profiles/MainWindowProfileManager.h"
#include "mainwindow/CKestruneDlg.h"
#include "mainwindow/profiles/MainWindowProfiles.h"
#include "mainwindow/profiles/ProfileBar.h"
#include "support/OffscreenMainWindow.h"

int main(int argc, char** argv) {
  return kst::RunRenderTool(
      argc, argv, "kst-render-profile-manager",
      [](kst::OffscreenMainWindow& rig, const QString& out) {
        kst::CKestruneDlg& window = rig.Window();
        kst::MainWindowProfiles profiles(window, rig.Context(), [] { return nullptr; });
        kst::MainWindowProfileManager manager(window, rig.Context(), profiles.Bar());
        rig.Init();
        if (!profiles.Bar().SelectProfile(2)) return false;
        rig.Settle();
        bool saved = false;
        QTimer::singleShot(0, [&] {
          kst::CKestrune_DlgProfile* dialog = manager.Dialog();
          if (!dialog) return;
          kst::CKestrune_DlgProfile::Seams seams;
          seams.chooseNewFile = [](const QString& suggested) { return suggested; };
          dialog->SetSeams(seams);
          dialog->OnCommand(kst::profile_manager_id::kAdd);
          for (int i = 0; i < 10; ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
          saved = kst::SaveRender(*dialog, out + "/profile-manager.png");
          dialog->CloseIfOpen();
        });
        window.OnCommand(kst::profile_id::kProfileName);
        // The window's exit closes its editors: while the parts still live.
        window.ExitSequence();
        return saved;
      });
}
