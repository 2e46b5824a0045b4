#include "editors/MainWindowEditors.h"

#include <memory>
#include <optional>

#include "app/AppContext.h"
#include "device/DeviceLink.h"
#include "editors/Kestrune_DlgComposite.h"
#include "editors/KeyEditorHost.h"
#include "foundation/SkinLayout.h"
#include "mainwindow/CKestruneDlg.h"
#include "mainwindow/KeyboardView.h"
#include "mainwindow/MainWindowIds.h"
#include "skin/CPngButton.h"

namespace kst {

namespace {

// The key assignment dialog's view of the main window.
class MainWindowHost final : public KeyEditorHost {
 public:
  explicit MainWindowHost(CKestruneDlg& window) : window_(window) {}

  bool Show(const QString& text, MessageKind kind) override { return window_.Show(text, kind); }
  int CurrentProfile() override {
    return window_.Link() ? window_.Link()->CachedCurrentProfile() : -1;
  }
  QRect KeyButtonScreenRect(int controlId) override {
    const CPngButton* button = Button(controlId);
    if (!button || !button->isVisible()) return {};
    return QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
  }
  void ShowKeyEditing(int controlId, bool editing) override {
    if (KeyboardView* view = window_.View()) view->ShowEditing(controlId, editing);
  }
  void ShowKeyAssigned(int controlId, bool assigned) override {
    if (CPngButton* button = Button(controlId)) button->SetSelected(assigned, true);
  }
  void RefreshKeyButtons() override { window_.RefreshKeyButtons(); }
  void MarkApplyPending() override { window_.SetApplyEnabled(true); }
  void OpenHelp() override { window_.OnCommand(kIdHelp); }

 private:
  CPngButton* Button(int controlId) const {
    KeyboardView* view = window_.View();
    return view ? view->Button(controlId) : nullptr;
  }

  CKestruneDlg& window_;
};

}  // namespace

struct MainWindowEditors::Impl {
  Impl(CKestruneDlg& w, AppContext& c) : window(w), context(c), host(w), appProfile(c.registry) {}

  // Made on its first use, not with the window: the dialog's controls and
  // style sheet are not needed for the window's first paint.
  Kestrune_DlgComposite& Dialog() {
    if (!dialog)
      dialog.emplace(host, context.store, context.language, appProfile, context.paths, &window);
    return *dialog;
  }
  bool Open() const { return dialog && dialog->IsOpen(); }

  CKestruneDlg& window;
  AppContext& context;
  MainWindowHost host;
  AppProfile appProfile;
  std::optional<Kestrune_DlgComposite> dialog;
};

MainWindowEditors::MainWindowEditors(CKestruneDlg& window, AppContext& context)
    : impl_(std::make_unique<Impl>(window, context)) {
  Impl* impl = impl_.get();
  CKestruneDlg::Parts parts;
  // The macro button edits G9's slot, macro-only, as G9 itself would.
  parts.openKeyAssignment = [impl](AssignmentSlot slot, bool macroOnly, int controlId) {
    impl->Dialog().Open(slot, macroOnly ? kMacroOnlyControlId : controlId);
  };
  parts.cancelEditors = [impl] {
    if (impl->dialog) impl->dialog->CloseIfOpen();
  };
  parts.editorOpen = [impl] { return impl->Open(); };
  parts.languageChanged = [impl](int languageIndex) {
    if (impl->Open()) impl->dialog->SetCaptions(languageIndex);
  };
  window.PlugIn(std::move(parts));
}

MainWindowEditors::~MainWindowEditors() = default;

Kestrune_DlgComposite& MainWindowEditors::KeyAssignmentDialog() { return impl_->Dialog(); }

bool MainWindowEditors::DialogMade() const { return impl_->dialog.has_value(); }

}  // namespace kst
