#include "device/ConfigurationUpload.h"

#include <future>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>

#include "device/DeviceProfileRebuild.h"
#include "device/MacroArea.h"
#include "device/OwedUpload.h"
#include "device/UploadDevice.h"
#include "store/AssignmentStore.h"
#include "store/ProfileFiles.h"

namespace kst {

static_assert(kUploadKeyMapBytes == kKeyMapBytes);

void EncodeKeyMap(const UploadSnapshot& snapshot, ConstKeyMapBytes factory, int profile,
                  KeyMapBytes out) {
  std::lock_guard lock(snapshot.Lock());
  if (!snapshot.HasContent()) {
    std::copy(factory.begin(), factory.end(), out.begin());
    return;
  }
  EncodeKeyMap(
      factory, snapshot.Block(), profile,
      [&snapshot](std::uint32_t number) { return snapshot.FindMacroIndex(number); }, out);
}

int EncodeMacroArea(const UploadSnapshot& snapshot, std::span<std::uint8_t> buffer, bool names) {
  std::lock_guard lock(snapshot.Lock());
  return EncodeMacroArea(snapshot.Macros(), buffer, names);
}

ConfigurationUpload::ConfigurationUpload(AssignmentStore& store, UploadSnapshot& snapshot,
                                         UploadDevice& device, ProfileFiles& files,
                                         UploadHost& host)
    : store_(store),
      snapshot_(snapshot),
      device_(device),
      files_(files),
      host_(host),
      self_(std::make_shared<ConfigurationUpload*>(this)) {}

ConfigurationUpload::~ConfigurationUpload() {
  WaitForApplyWorker();
  self_.reset();
}

int ConfigurationUpload::BuildSnapshotAndUpload(bool allProfiles) {
  if (StandInContent()) {
    host_.ShowUploadMessage(kStandInContentTextKey);
    return 0;
  }
  std::lock_guard storeLock(store_.Lock());
  std::lock_guard lock(snapshot_.Lock());
  if (!snapshot_.Refresh(store_)) return 0;
  return UploadConfiguration(allProfiles);
}

int ConfigurationUpload::UploadConfiguration(bool allProfiles) {
  std::lock_guard lock(snapshot_.Lock());
  if (!snapshot_.HasContent()) return 0;

  const std::size_t withNames = MacroAreaSizeWithNames(snapshot_.Macros());
  const std::size_t withoutNames = MacroAreaSizeWithoutNames(snapshot_.Macros());
  const std::size_t capacity = device_.MacroCapacity();
  if (withoutNames > capacity || withoutNames > kMacroAreaMaxBytes) {
    host_.ShowUploadMessage(kMacroOverTextKey);
    return 0;
  }
  const bool names = withNames <= capacity && withNames <= kMacroAreaMaxBytes;
  if (owed_ && owed_->IsOwed()) allProfiles = true;

  std::vector<std::uint8_t> area;
  std::vector<int> profiles;
  std::vector<std::array<std::uint8_t, kKeyMapBytes>> keyMaps;
  try {
    area.resize(names ? withNames : withoutNames);
    if (allProfiles) {
      profiles = {0, 1, 2, 3};
    } else {
      const int current = device_.CurrentProfile();
      if (current < 0 || current >= kProfileCount) return 0;
      profiles = {current};
    }
    keyMaps.resize(profiles.size());
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (EncodeMacroArea(snapshot_.Macros(), area, names) != 1) return 0;
  const auto factory = device_.FactoryKeyMap();
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    EncodeKeyMap(snapshot_, factory, profiles[i], keyMaps[i]);
  }

  // Marked before the first write, so that a crash or an unplug in the middle
  // leaves it set.
  if (owed_) owed_->Set();
  // Stops at the first failed command; end-update is sent in every case so
  // the keyboard leaves its update state. The whole update reaches the
  // keyboard as one sequence; messages wait until it has ended.
  std::optional<SequenceHold> hold(std::in_place, device_);
  bool ok = device_.BeginUpdate() == 1;
  const bool areaWritten = ok && device_.WriteMacroArea(area) == 1;
  ok = areaWritten;
  const std::array<std::uint8_t, kUploadClearedParameterBytes> cleared{};
  for (std::size_t i = 0; ok && i < profiles.size(); ++i) {
    const auto offset = static_cast<std::uint16_t>(kParameterRecordSize * profiles[i] +
                                                   kUploadClearedParameterOffset);
    ok = device_.WriteParameters(cleared, offset) == 1 &&
         device_.WriteKeyMap(keyMaps[i], profiles[i]) == 1;
  }
  ok = device_.EndUpdate() == 1 && ok;
  hold.reset();
  if (ok && owed_) owed_->Clear();

  if (!names && areaWritten) host_.ShowUploadMessage(kNamesLeftOutTextKey);
  return ok ? 1 : 0;
}

bool ConfigurationUpload::ApplyConfiguration() {
  if (applyRunning_.load() || !host_.IsApplyEnabled()) return false;
  if (StandInContent()) {
    // Saving or uploading the stand-in would put defaults over what the
    // keyboard and the working file hold.
    host_.ShowUploadMessage(kStandInContentTextKey);
    return false;
  }
  return RunInBackground(
      [this] {
        // The working file is written while the keyboard takes the upload;
        // the store stays locked until both are done, so file and keyboard
        // get the same content.
        std::lock_guard storeLock(store_.Lock());
        const std::optional<PreparedSave> save = files_.PrepareWorkingProfileSave();
        std::future<int> writing;
        QString why;
        if (save) {
          try {
            writing = std::async(std::launch::async, [&save, &why] { return save->Write(&why); });
          } catch (const std::system_error&) {
            // No thread to spare: the file is written after the upload instead.
          }
        }
        const int uploaded = BuildSnapshotAndUpload(false);
        const int saved = writing.valid() ? writing.get() : save ? save->Write(&why) : 0;
        if (save) {
          const QString tell = files_.NoteWorkingFileWrite(saved == 1, why);
          if (!tell.isEmpty()) host_.ShowUploadMessageWith(kSaveFailedTextKey, tell);
        }
        return saved == 1 && uploaded == 1 ? 1 : 0;
      },
      [this](int result) {
        if (result == 1) host_.SetApplyEnabled(false);
      });
}

bool ConfigurationUpload::ImportConfiguration(const QString& path) {
  // Both results travel in one int: bit 0 imported, bit 1 uploaded.
  return RunInBackground(
      [this, path] {
        int uploaded = 0;
        const int imported = ImportProfileFileAndUpload(files_, *this, path, &uploaded);
        return (imported == 1 ? 1 : 0) | (uploaded == 1 ? 2 : 0);
      },
      [this](int result) {
        if ((result & 1) == 0) return;
        host_.RefreshKeyButtons();
        host_.SetApplyEnabled((result & 2) == 0);
        host_.ShowUploadMessage(kImportDoneTextKey);
      });
}

bool ConfigurationUpload::StartOwedUpload() {
  host_.SetApplyEnabled(true);
  if (applyRunning_.load()) {
    // An upload interrupted by the unplug may not have finished yet: this
    // one follows it.
    owedUploadWaiting_ = true;
    return true;
  }
  return RunInBackground([this] { return BuildSnapshotAndUpload(true); },
                         [this](int result) {
                           if (result == 1) host_.SetApplyEnabled(false);
                         });
}

bool ConfigurationUpload::RunInBackground(std::function<int()> work,
                                          std::function<void(int)> finish) {
  if (applyRunning_.load()) return false;
  WaitForApplyWorker();  // a finished worker whose completion already ran
  applyRunning_.store(true);
  host_.ShowApplyProgress(true);
  host_.StartWindowTimer(kTimerApplyProgress, kApplyProgressPeriodMs);

  std::weak_ptr<ConfigurationUpload*> self = self_;
  applyWorker_ = std::thread([this, self, work = std::move(work), finish = std::move(finish)] {
    const int result = work();
    host_.RunOnWindowThread([self, result, finish] {
      if (auto alive = self.lock()) (*alive)->FinishApply(result, finish);
    });
  });
  return true;
}

void ConfigurationUpload::FinishApply(int result, const std::function<void(int)>& finish) {
  WaitForApplyWorker();
  if (finish) finish(result);
  host_.StopWindowTimer(kTimerApplyProgress);
  host_.ShowApplyProgress(false);
  applyRunning_.store(false);
  if (owedUploadWaiting_) {
    owedUploadWaiting_ = false;
    StartOwedUpload();
  }
}

void ConfigurationUpload::WaitForApplyWorker() {
  if (applyWorker_.joinable() && applyWorker_.get_id() != std::this_thread::get_id()) {
    applyWorker_.join();
  }
}

}  // namespace kst
