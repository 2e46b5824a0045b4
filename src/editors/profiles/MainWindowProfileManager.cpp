#include "editors/profiles/MainWindowProfileManager.h"

#include "app/AppContext.h"
#include "device/CommandProtocol.h"
#include "device/DeviceLink.h"
#include "editors/profiles/CKestrune_DlgProfile.h"
#include "editors/profiles/ProfileManagerHost.h"
#include "mainwindow/CKestruneDlg.h"
#include "mainwindow/MainWindowIds.h"
#include "mainwindow/profiles/ProfileBar.h"

namespace kst {

namespace {

// The profile manager's view of the main window and the keyboard.
class MainWindowHost final : public ProfileManagerHost {
 public:
  MainWindowHost(CKestruneDlg& window, ProfileBar& bar) : window_(window), bar_(bar) {}

  int CurrentProfile() override {
    DeviceLink* link = window_.Link();
    return link ? GetCurrentProfile(*link) : -1;
  }
  int SwitchKeyboardProfile(int profile) override {
    DeviceLink* link = window_.Link();
    return link ? SetCurrentProfile(*link, profile) : 0;
  }
  void ReloadActiveProfile() override { window_.ReloadActiveProfile(); }
  void ShowSwitchedProfile() override { bar_.ShowKeyboardProfile(); }
  void DisableMainApply() override { window_.SetApplyEnabled(false); }
  void OpenHelp() override { window_.OnCommand(kIdHelp); }

 private:
  CKestruneDlg& window_;
  ProfileBar& bar_;
};

}  // namespace

struct MainWindowProfileManager::Impl {
  Impl(CKestruneDlg& w, AppContext& c, ProfileBar& b) : window(w), context(c), host(w, b) {}

  CKestruneDlg& window;
  AppContext& context;
  MainWindowHost host;
  std::unique_ptr<CKestrune_DlgProfile> dialog;
};

MainWindowProfileManager::MainWindowProfileManager(CKestruneDlg& window, AppContext& context,
                                                   ProfileBar& bar)
    : impl_(std::make_unique<Impl>(window, context, bar)) {
  Impl* d = impl_.get();
  ProfileManagerLink link;
  link.open = [this] { Open(); };
  link.modified = [d] { return d->dialog && d->dialog->Modified(); };
  link.showCurrentProfile = [d](int profile) {
    if (d->dialog && d->dialog->IsOpen()) d->dialog->ShowCurrentProfile(profile);
  };
  bar.SetManager(std::move(link));

  CKestruneDlg::Parts parts;
  parts.cancelEditors = [d] {
    if (d->dialog) d->dialog->CloseIfOpen();
  };
  window.PlugIn(std::move(parts));
}

MainWindowProfileManager::~MainWindowProfileManager() = default;

void MainWindowProfileManager::Open() {
  Impl& d = *impl_;
  ProfileFiles* files = d.window.Files();
  if (!files || (d.dialog && d.dialog->IsOpen())) return;
  if (!d.dialog) {
    d.dialog = std::make_unique<CKestrune_DlgProfile>(d.host, *files, d.context.language,
                                                      d.context.registry, d.window, d.context.paths,
                                                      &d.window);
  }
  d.dialog->Open();
}

CKestrune_DlgProfile* MainWindowProfileManager::Dialog() const { return impl_->dialog.get(); }

}  // namespace kst
