#pragma once

// The running utility's side of kestrunectl: a command line's request,
// received over the instance socket, runs the same operations as
// kestrunectl runs on its own, on the window's device link, store, profile
// bar and lighting model, so the window shows the change at once and the
// keyboard keeps one owner. Lives while the window's parts live; answers
// from construction to destruction.

#include <functional>
#include <memory>

#include "ctl/CtlOperations.h"

namespace kst {

struct AppContext;
class CKestruneDlg;
class LinkLightingDevice;

class WindowCtlHost final : public CtlHost {
 public:
  // lighting: the lighting part's model, null while it has none.
  WindowCtlHost(CKestruneDlg& window, AppContext& context,
                std::function<LightingModel*()> lighting);
  ~WindowCtlHost() override;
  WindowCtlHost(const WindowCtlHost&) = delete;
  WindowCtlHost& operator=(const WindowCtlHost&) = delete;

  Language& Lang() override;
  LightingDevice* Device() override;
  LightingModel* Lighting() override;
  int SwitchProfile(int profile) override;
  AssignmentStore& Store() override;
  ProfileFiles& Files() override;
  int ApplyStore() override;
  int Import(const QString& path, int& uploaded) override;
  QString TakeMessage() override { return {}; }

 private:
  CKestruneDlg& window_;
  AppContext& context_;
  std::function<LightingModel*()> lighting_;
  std::unique_ptr<LinkLightingDevice> device_;
};

}  // namespace kst
