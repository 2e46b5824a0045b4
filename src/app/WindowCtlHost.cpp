#include "app/WindowCtlHost.h"

#include "app/AppContext.h"
#include "device/ConfigurationUpload.h"
#include "device/DeviceLink.h"
#include "lighting/LightingDevice.h"
#include "mainwindow/CKestruneDlg.h"
#include "store/AssignmentStore.h"
#include "store/ProfileFiles.h"

namespace kst {

WindowCtlHost::WindowCtlHost(CKestruneDlg& window, AppContext& context,
                             std::function<LightingModel*()> lighting)
    : window_(window), context_(context), lighting_(std::move(lighting)) {
  context_.instance.Server().SetCtlHandler([this](const QStringList& arguments) {
    CtlResult result;
    CtlReply reply;
    if (const auto request = ParseCtlArguments(arguments, result, &context_.language))
      result = RunCtlRequest(*request, *this);
    reply.exitCode = ExitCode(result.exit);
    reply.out = result.out;
    reply.error = result.error;
    return reply;
  });
}

WindowCtlHost::~WindowCtlHost() { context_.instance.Server().SetCtlHandler({}); }

Language& WindowCtlHost::Lang() { return context_.language; }

LightingDevice* WindowCtlHost::Device() {
  DeviceLink* link = window_.Link();
  // A keyboard still being read is not there yet for a command.
  if (link == nullptr || link->ConnectionState() <= 0 || window_.AwaitingKeyboard()) return nullptr;
  if (!device_) device_ = std::make_unique<LinkLightingDevice>(*link);
  return device_.get();
}

LightingModel* WindowCtlHost::Lighting() {
  return Device() != nullptr && lighting_ ? lighting_() : nullptr;
}

int WindowCtlHost::SwitchProfile(int profile) {
  const CKestruneDlg::Parts& parts = window_.PluggedParts();
  if (parts.selectProfile) {
    if (!parts.selectProfile(profile)) return kDeviceBadProfile;
    // The switch moves the keyboard only; the window then shows the profile
    // the keyboard is on, as after a switch made on the keyboard: its
    // lighting, and its button marked in the profile bar.
    if (parts.followKeyboardProfile) parts.followKeyboardProfile();
    if (parts.updateProfileBar) parts.updateProfileBar();
    return kDeviceOk;
  }
  DeviceLink* link = window_.Link();
  return link ? SetCurrentProfile(*link, profile) : kDeviceNothing;
}

AssignmentStore& WindowCtlHost::Store() { return context_.store; }

ProfileFiles& WindowCtlHost::Files() { return *window_.Files(); }

int WindowCtlHost::ApplyStore() {
  // The window's own Apply, of whatever is pending with it.
  window_.RefreshKeyButtons();
  window_.SetApplyEnabled(true);
  return window_.ApplyAndWait() ? 1 : 0;
}

int WindowCtlHost::Import(const QString& path, int& uploaded) {
  ConfigurationUpload* upload = window_.Upload();
  if (upload == nullptr) return 0;
  window_.WaitForApply();
  if (!upload->ImportConfiguration(path)) return 0;
  window_.WaitForApply();
  // Apply stays enabled only when the file was loaded and its upload failed.
  uploaded = window_.ApplyPending() ? 0 : 1;
  return 1;
}

}  // namespace kst
