#include "mainwindow/profiles/MainWindowProfiles.h"

#include "mainwindow/CKestruneDlg.h"
#include "mainwindow/profiles/ProfileBar.h"

namespace kst {

MainWindowProfiles::MainWindowProfiles(CKestruneDlg& window, AppContext& context,
                                       std::function<LightingModel*()> lighting)
    : bar_(std::make_unique<ProfileBar>(window, context, std::move(lighting))) {
  ProfileBar* bar = bar_.get();
  CKestruneDlg::Parts parts;
  parts.layoutParts = [bar] { bar->Layout(); };
  parts.command = [bar](int id) { return bar->RunCommand(id); };
  parts.selectProfile = [bar](int profile) { return bar->SelectProfile(profile); };
  parts.updateProfileBar = [bar] { bar->UpdateProfileBar(); };
  parts.followKeyboardProfile = [bar] { bar->FollowKeyboardProfile(); };
  parts.lightingShown = [bar] { bar->ShowReportRate(); };
  parts.languageChanged = [bar](int languageIndex) { bar->SetCaptions(languageIndex); };
  window.PlugIn(std::move(parts));
}

MainWindowProfiles::~MainWindowProfiles() = default;

}  // namespace kst
