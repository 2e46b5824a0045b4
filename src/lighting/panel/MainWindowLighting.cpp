#include "lighting/panel/MainWindowLighting.h"

#include <QDir>
#include <QFileInfo>

#include "app/AppContext.h"
#include "device/DeviceLink.h"
#include "foundation/Language.h"
#include "foundation/TextTable.h"
#include "lighting/LightingModel.h"
#include "lighting/panel/LightingPanel.h"
#include "mainwindow/CKestruneDlg.h"
#include "mainwindow/KeyboardView.h"
#include "skin/CPngButton.h"
#include "store/ProfileFiles.h"

namespace kst {

namespace {

// The key buttons show a painted colour as a frame this opaque.
constexpr int kKeyFrameAlpha = 255;

}  // namespace

struct MainWindowLighting::Impl final : LightingHost {
  Impl(CKestruneDlg& w, AppContext& c) : window(w), context(c) {}

  // ---- LightingHost ----
  void ShowKeyColour(int controlId, ColorRef colour) override {
    KeyboardView* view = window.View();
    if (CPngButton* button = view ? view->Button(controlId) : nullptr) {
      button->SetColourFrame(colour, kKeyFrameAlpha, true);
    }
  }
  void ClearKeyColours() override {
    if (KeyboardView* view = window.View()) view->ClearKeyColours();
    window.RefreshKeyButtons();
  }
  void ShowLocks(bool lockT, bool lockTilde) override {
    if (KeyboardView* view = window.View()) view->ShowLocks(lockT, lockTilde);
  }
  bool SelectProfile(int profile) override {
    const CKestruneDlg::Parts& parts = window.PluggedParts();
    if (parts.selectProfile) return parts.selectProfile(profile);
    if (parts.editorOpen && parts.editorOpen()) {
      Language& language = context.language;
      window.Show(language.ShowSlot(TextSlot::ProfileSeelctPrompt2, language.GetLanguageIndex()),
                  MessageKind::Information);
      return false;
    }
    // Switching to another profile, with its question about unapplied key
    // changes, is the profile bar's; until it is plugged in, the lighting
    // follows the profile the keyboard is on.
    const int current = window.Link() ? window.Link()->CachedCurrentProfile() : -1;
    return current < 0 || current == profile;
  }
  void UpdateProfileBar() override {
    if (window.PluggedParts().updateProfileBar) window.PluggedParts().updateProfileBar();
  }
  void RefreshPanel() override {
    if (panel) panel->Refresh();
    if (window.PluggedParts().lightingShown) window.PluggedParts().lightingShown();
  }

  void Layout() {
    if (model || !window.Link()) return;
    device = std::make_unique<LinkLightingDevice>(*window.Link());
    model = std::make_unique<LightingModel>(
        *device, *this,
        LightingPaths::ForProgram(context.paths.programFolder, context.paths.dataFolder,
                                  context.language));
    // A data folder made from now on starts with the mode files.
    if (ProfileFiles* files = window.Files()) files->SetFolderSeeder(model.get());
    panel = std::make_unique<LightingPanel>(window, *model, context.language);
    panel->SetClickGate([this] { return window.AwaitingKeyboard(); });
    panel->Layout(window.SkinFileName(), window.SkinFolderPath());
    panel->SetCaptions(context.language.GetLanguageIndex());
    // The report-rate buttons are the profile bar's; their caption is ours.
    panel->SetReportRateShown(static_cast<bool>(window.PluggedParts().lightingShown));
  }

  // A data folder that holds no file of the lighting (made by an earlier
  // version, or by the simulated keyboard keeping its memory there before
  // the profile files made it) is seeded as a new one would be.
  void SeedFolderWithoutLighting() {
    const QDir folder(context.paths.dataFolder);
    if (folder.exists() && !QFileInfo::exists(model->Paths().WskbFile()) &&
        folder.entryList({QStringLiteral("UserDengColor_*.userd")}, QDir::Files).isEmpty()) {
      model->SeedProfileFolder(context.paths.dataFolder);
    }
  }

  CKestruneDlg& window;
  AppContext& context;
  std::unique_ptr<LinkLightingDevice> device;
  std::unique_ptr<LightingModel> model;
  std::unique_ptr<LightingPanel> panel;
};

MainWindowLighting::MainWindowLighting(CKestruneDlg& window, AppContext& context)
    : impl_(std::make_unique<Impl>(window, context)) {
  Impl* impl = impl_.get();
  CKestruneDlg::Parts parts;
  parts.layoutParts = [impl] { impl->Layout(); };
  parts.reloadLightingOnConnect = [impl] {
    if (!impl->model) return;
    impl->SeedFolderWithoutLighting();
    impl->model->ReloadOnConnect();
  };
  parts.resetAllLighting = [impl] {
    if (impl->model) impl->model->ResetAllLighting();
  };
  parts.languageChanged = [impl](int languageIndex) {
    if (!impl->panel) return;
    impl->panel->SetCaptions(languageIndex);
    impl->model->RefreshEffectList();
  };
  parts.lightingEditMode = [impl] { return impl->model && impl->model->State().editMode; };
  parts.paintKey = [impl](int controlId) {
    if (impl->model) impl->model->PaintKey(controlId);
  };
  window.PlugIn(std::move(parts));
}

MainWindowLighting::~MainWindowLighting() {
  // The panel's controls are the window's children; the window may go on
  // living a little (its exit sequence), so they go with the panel.
  if (impl_->panel) {
    if (ProfileFiles* files = impl_->window.Files()) files->SetFolderSeeder(nullptr);
  }
}

LightingModel* MainWindowLighting::Model() { return impl_->model.get(); }

LightingPanel* MainWindowLighting::Panel() { return impl_->panel.get(); }

}  // namespace kst
