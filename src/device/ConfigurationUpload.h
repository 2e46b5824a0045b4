#pragma once

// Apply: the store's key configuration turned into the keyboard's images (a
// key map per profile, one macro area) and written between begin-update and
// end-update.
//
// Threads: ApplyConfiguration runs on the main window's thread and hands the
// save and the upload to a worker thread, so the window keeps painting its
// busy animation while the keyboard is written; the store stays locked (and
// the snapshot with it) for the whole write. BuildSnapshotAndUpload and
// UploadConfiguration run on the caller's thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "device/KeyMap.h"
#include "device/UploadSnapshot.h"

namespace kst {

class AssignmentStore;
class ProfileFiles;
class UploadDevice;

// The main window's busy animation timer and its period.
inline constexpr std::uint32_t kTimerApplyProgress = 1050;
inline constexpr std::uint32_t kApplyProgressPeriodMs = 50;

// Text keys of the upload's messages.
inline constexpr const char* kMacroOverTextKey = "IDS_MACRO_OVER";
inline constexpr const char* kNamesLeftOutTextKey = "EXTRA_PROFILE_SPACE_TIGHT";

// Where the parameter record of profile p is cleared on every upload: four
// zero bytes at 42 x p + 18.
inline constexpr std::size_t kParameterRecordSize = 42;
inline constexpr std::size_t kUploadClearedParameterOffset = 18;
inline constexpr std::size_t kUploadClearedParameterBytes = 4;

// What the upload does to the main window. The window implements it.
class UploadHost {
 public:
  virtual ~UploadHost() = default;

  // Shows the text looked up by key in a topmost message box. Called from
  // the upload's thread with the store locked: it must not wait for the
  // window's thread (queue the box and return).
  virtual void ShowUploadMessage(const char* textKey) = 0;
  // Queues a task for the window's thread; callable from any thread.
  virtual void RunOnWindowThread(std::function<void()> task) = 0;

  // The rest only on the window's thread.
  // The Apply button's enabled state: changes are pending.
  virtual bool IsApplyEnabled() const = 0;
  virtual void SetApplyEnabled(bool enabled) = 0;
  // Shows or hides the progress picture; while shown the window takes no
  // input (but keeps painting).
  virtual void ShowApplyProgress(bool shown) = 0;
  virtual void StartWindowTimer(std::uint32_t timerId, std::uint32_t periodMs) = 0;
  virtual void StopWindowTimer(std::uint32_t timerId) = 0;
  // Redraws every key button from the store (after the store was replaced).
  virtual void RefreshKeyButtons() = 0;
};

// The snapshot's profile key map over the factory map (under the snapshot's
// lock). An empty snapshot gives the factory map.
void EncodeKeyMap(const UploadSnapshot& snapshot, ConstKeyMapBytes factory, int profile,
                  KeyMapBytes out);
// The snapshot's macro area; buffer must have exactly the matching size. 1 on
// success, 0 otherwise.
int EncodeMacroArea(const UploadSnapshot& snapshot, std::span<std::uint8_t> buffer, bool names);

class ConfigurationUpload {
 public:
  // All references must outlive this object.
  ConfigurationUpload(AssignmentStore& store, UploadSnapshot& snapshot, UploadDevice& device,
                      ProfileFiles& files, UploadHost& host);
  // Waits for a running Apply's worker.
  ~ConfigurationUpload();
  ConfigurationUpload(const ConfigurationUpload&) = delete;
  ConfigurationUpload& operator=(const ConfigurationUpload&) = delete;

  // Refreshes the snapshot from the store and uploads it: all four profiles,
  // or the keyboard's current one. Takes the store's lock (the caller may
  // hold it already). 1 on success; 0 when memory runs out or the upload
  // fails.
  int BuildSnapshotAndUpload(bool allProfiles);

  // Writes the snapshot to the keyboard: the macro area (with the macro
  // names when they fit the keyboard's macro space, else without them and a
  // message), then per profile the cleared parameter bytes and the key map.
  // Every command's result is checked: the first failure stops the writes,
  // end-update is still sent, and 0 is given. Nothing is sent when the macros
  // do not fit even without names (message) or the current profile is
  // unknown. 1 only when every command succeeded.
  int UploadConfiguration(bool allProfiles);

  // The Apply command (window thread). With changes pending: shows the
  // progress picture, starts timer 1050, and on a worker thread, under the
  // store's lock, saves the working profile file and uploads the current
  // profile; back on the window's thread it disables Apply when both
  // succeeded (so a failure keeps the changes pending), stops the timer and
  // hides the picture. Without pending changes nothing happens. False when
  // nothing was started (nothing pending, or an Apply still running).
  bool ApplyConfiguration();
  // True from ApplyConfiguration until its completion ran on the window thread.
  bool ApplyRunning() const { return applyRunning_.load(); }
  // Waits until a running Apply's worker has finished (its completion may
  // still be queued for the window thread).
  void WaitForApplyWorker();

 private:
  void FinishApply(int result);

  AssignmentStore& store_;
  UploadSnapshot& snapshot_;
  UploadDevice& device_;
  ProfileFiles& files_;
  UploadHost& host_;

  std::atomic<bool> applyRunning_{false};
  std::thread applyWorker_;
  // Expires with this object, so a completion still queued on the window
  // thread does nothing once it is gone.
  std::shared_ptr<ConfigurationUpload*> self_;
};

}  // namespace kst
