#include "ctl/CtlStandalone.h"

#include "ctl/CtlMessages.h"

#include <QDir>

#include <chrono>
#include <mutex>

#include "device/ConfigurationUpload.h"
#include "device/DeviceLink.h"
#include "device/DeviceProfileRebuild.h"
#include "device/OwedUpload.h"
#include "device/ServiceLibrary.h"
#include "device/UploadDevice.h"
#include "device/UploadSnapshot.h"
#include "device/diagnosis/KeyboardDiagnosis.h"
#include "foundation/Language.h"
#include "foundation/TextTable.h"
#include "lighting/LightingDevice.h"
#include "lighting/LightingModel.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFiles.h"

namespace kst {

namespace {

// The keyboard's first connection reads its whole content; a keyboard that
// has not settled by then counts as not found.
constexpr auto kConnectionSettle = std::chrono::seconds(30);

// The window's side of the link, the upload and the lighting, with no
// window: what would be shown is kept as the last message.
class Quiet final : public DeviceHost, public UploadHost, public LightingHost, public MessageBoxes {
 public:
  explicit Quiet(Language& language) : language_(language) {}

  QString Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(message_, QString());
  }

  // DeviceHost
  std::intptr_t SendToWindow(std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }
  void PostToWindow(std::uint32_t, std::uintptr_t, std::intptr_t) override {}
  void StartWindowTimer(std::uint32_t, std::uint32_t) override {}
  void ShowConnectionIcon(bool) override {}
  void ShowActivityIcon(bool) override {}
  void ShowTextPrompt(const char* textKey) override { Keep(Text(textKey)); }
  void HideWindow() override {}
  bool IsWindowInitialised() const override { return true; }

  // UploadHost
  void ShowUploadMessage(const char* textKey) override { Keep(Text(textKey)); }
  void ShowUploadMessageWith(const char* textKey, const QString& detail) override {
    QString text = Text(textKey);
    text.replace(QStringLiteral("%s"), detail);
    Keep(text);
  }
  void RunOnWindowThread(std::function<void()> task) override { task(); }
  bool IsApplyEnabled() const override { return false; }
  void SetApplyEnabled(bool) override {}
  void ShowApplyProgress(bool) override {}
  void StopWindowTimer(std::uint32_t) override {}
  void RefreshKeyButtons() override {}

  // LightingHost
  void ShowKeyColour(int, ColorRef) override {}
  void ClearKeyColours() override {}
  void ShowLocks(bool, bool) override {}
  bool SelectProfile(int) override { return true; }
  void UpdateProfileBar() override {}
  void RefreshPanel() override {}

  // MessageBoxes
  bool Show(const QString& text, MessageKind) override {
    Keep(text);
    return false;
  }

 private:
  QString Text(const char* textKey) { return language_.LoadLangText(QLatin1String(textKey)); }
  void Keep(const QString& text) {
    std::lock_guard lock(mutex_);
    message_ = text.simplified();
  }

  Language& language_;
  std::mutex mutex_;
  QString message_;
};

}  // namespace

struct StandaloneCtlHost::Parts {
  Parts(const AppPaths& appPaths, QString folder, bool sim)
      : paths(appPaths),
        serviceFolder(std::move(folder)),
        simulated(sim),
        registry(paths.registryFile),
        language(registry, paths.programFolder),
        quiet(language),
        files(store, paths, language, quiet),
        owed(registry, QString::fromLatin1(kLanguageRegistryKey)) {}

  AppPaths paths;
  QString serviceFolder;
  bool simulated;
  Registry registry;
  Language language;
  Quiet quiet;
  AssignmentStore store;
  ProfileFiles files;
  OwedUpload owed;
  ServiceBinding binding;
  std::unique_ptr<DeviceLink> link;
  std::unique_ptr<LinkUploadDevice> uploadDevice;
  std::unique_ptr<LinkLightingDevice> lightingDevice;
  std::unique_ptr<UploadSnapshot> snapshot;
  std::unique_ptr<ConfigurationUpload> upload;
  std::unique_ptr<LightingModel> lighting;
  bool present = false;
};

StandaloneCtlHost::StandaloneCtlHost(const AppPaths& paths, const QString& serviceFolder,
                                     bool simulated)
    : parts_(std::make_unique<Parts>(paths, serviceFolder, simulated)) {}

StandaloneCtlHost::~StandaloneCtlHost() {
  Parts& p = *parts_;
  p.lighting.reset();
  p.upload.reset();
  if (p.link) p.link->Shutdown();
  p.lightingDevice.reset();
  p.uploadDevice.reset();
  p.link.reset();
  if (p.binding.ok) p.binding.api.End();
}

bool StandaloneCtlHost::Open(QString& why) {
  Parts& p = *parts_;
  p.binding = BindServiceLibrary(QDir(p.serviceFolder).absolutePath().toStdString(),
                                 ServiceLibraryFileName(p.simulated));
  if (!p.binding.ok) {
    why = QString::fromStdString(p.binding.message);
    return false;
  }
  p.link = std::make_unique<DeviceLink>(p.binding.api, p.quiet);
  const int count = p.link->ArmChannels();
  if (count < 0) {
    why = CtlMessage(&p.language, ctl_text::kLibraryNotArmed);
    return false;
  }
  if (count == 0 || !p.link->WaitUntilIdle(kConnectionSettle) || p.link->ConnectionState() == 0)
    return true;
  p.present = true;
  p.uploadDevice = std::make_unique<LinkUploadDevice>(*p.link);
  p.lightingDevice = std::make_unique<LinkLightingDevice>(*p.link);
  p.snapshot = std::make_unique<UploadSnapshot>();
  p.upload = std::make_unique<ConfigurationUpload>(p.store, *p.snapshot, *p.uploadDevice, p.files,
                                                   p.quiet);
  p.upload->SetOwedUpload(&p.owed);
  p.lighting = std::make_unique<LightingModel>(
      *p.lightingDevice, p.quiet,
      LightingPaths::ForProgram(p.paths.programFolder, p.paths.dataFolder, p.language));
  p.files.SetFolderSeeder(p.lighting.get());
  const QString prefix =
      p.language.ShowSlot(TextSlot::MacroNewPrefix, p.language.GetLanguageIndex());
  if (LoadActiveProfile(p.store, p.files, *p.uploadDevice, p.quiet, prefix.toStdU16String(),
                        false) == ActiveProfileSource::StandIn)
    p.upload->SetStandInContent(true);
  p.lighting->ReloadOnConnect();
  p.quiet.Take();
  return true;
}

Language& StandaloneCtlHost::Lang() { return parts_->language; }
LightingDevice* StandaloneCtlHost::Device() {
  return parts_->present ? parts_->lightingDevice.get() : nullptr;
}
LightingModel* StandaloneCtlHost::Lighting() {
  return parts_->present ? parts_->lighting.get() : nullptr;
}
int StandaloneCtlHost::SwitchProfile(int profile) {
  if (!parts_->present) return kDeviceNothing;
  const int result = SetCurrentProfile(*parts_->link, profile);
  if (result == kDeviceOk) parts_->lighting->SetActiveProfile(profile);
  return result;
}
AssignmentStore& StandaloneCtlHost::Store() { return parts_->store; }
ProfileFiles& StandaloneCtlHost::Files() { return parts_->files; }

int StandaloneCtlHost::ApplyStore() {
  Parts& p = *parts_;
  if (!p.present) return 0;
  std::lock_guard lock(p.store.Lock());
  const int saved = p.files.SaveWorkingProfile();
  const int uploaded = p.upload->BuildSnapshotAndUpload(false);
  return saved == 1 && uploaded == 1 ? 1 : 0;
}

int StandaloneCtlHost::Import(const QString& path, int& uploaded) {
  Parts& p = *parts_;
  if (!p.present) return 0;
  return ImportProfileFileAndUpload(p.files, *p.upload, path, &uploaded);
}

QString StandaloneCtlHost::TakeMessage() { return parts_->quiet.Take(); }

QString StandaloneCtlHost::WhyNoKeyboard() {
  Parts& p = *parts_;
  if (!p.binding.ok || NotFoundCause(p.binding.api) != DiagnosisCause::NoPermission)
    return CtlMessage(&p.language, ctl_text::kNoKeyboard);
  return p.language.LoadLangText(QStringLiteral("IDS_MAIN_PROMPT_NO_PERMISSION"),
                                 p.language.GetLanguageIndex()) +
         QLatin1Char(' ') + UdevRuleFixCommand(p.serviceFolder);
}

}  // namespace kst
