#pragma once

// Apply: the store's key configuration turned into the keyboard's images (a
// key map per profile, one macro area) and written between begin-update and
// end-update.
//
// Threads: ApplyConfiguration, ImportConfiguration and StartOwedUpload run on
// the main window's thread and hand the file work and the upload to a worker
// thread, so the window keeps painting its busy animation while the keyboard
// is written; the store stays locked (and the snapshot with it) for the whole
// write. BuildSnapshotAndUpload and UploadConfiguration run on the caller's
// thread.
//
// An upload that begins writing marks the keyboard as owing an upload
// (OwedUpload) before its first write and clears the mark only when every
// command succeeded; while the mark is set every upload writes all four
// profiles, since any of them may hold a part of the failed one.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include <QString>

#include "device/KeyMap.h"
#include "device/UploadSnapshot.h"

namespace kst {

class AssignmentStore;
class OwedUpload;
class ProfileFiles;
class UploadDevice;

// The main window's busy animation timer and its period.
inline constexpr std::uint32_t kTimerApplyProgress = 1050;
inline constexpr std::uint32_t kApplyProgressPeriodMs = 50;

// Text keys of the upload's messages.
inline constexpr const char* kMacroOverTextKey = "IDS_MACRO_OVER";
inline constexpr const char* kNamesLeftOutTextKey = "EXTRA_PROFILE_SPACE_TIGHT";
// The keyboard is sent the working file again after an upload that did not
// complete.
inline constexpr const char* kOwedUploadTextKey = "IDS_MAIN_UPLOAD_OWED";
// Apply refused: the store holds a default block standing in for the
// keyboard's content, which could not be read.
inline constexpr const char* kStandInContentTextKey = "IDS_MAIN_APPLY_NOT_LOADED";
// A file imported into the store (the keyboard has it too unless Apply is
// left enabled).
inline constexpr const char* kImportDoneTextKey = "IDS_MAIN_PROMPT_IMPORT_DONE";

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
  // The same for a text with one "%s", which becomes detail.
  virtual void ShowUploadMessageWith(const char* textKey, const QString& detail) {
    (void)detail;
    ShowUploadMessage(textKey);
  }
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

  // The mark of an owed upload; not owned, null for none. Set before any
  // upload runs.
  void SetOwedUpload(OwedUpload* owed) { owed_ = owed; }
  OwedUpload* Owed() const { return owed_; }

  // Whether the store holds a default block standing in for content that
  // could not be loaded. While set, Apply and every upload refuse with a
  // message and write nothing (neither the keyboard nor the working file).
  // Any thread.
  void SetStandInContent(bool standIn) { standIn_.store(standIn); }
  bool StandInContent() const { return standIn_.load(); }

  // Refreshes the snapshot from the store and uploads it: all four profiles,
  // or the keyboard's current one. Takes the store's lock (the caller may
  // hold it already). 1 on success; 0 when memory runs out, the store holds
  // stand-in content (message) or the upload fails.
  int BuildSnapshotAndUpload(bool allProfiles);

  // Writes the snapshot to the keyboard: the macro area (with the macro
  // names when they fit the keyboard's macro space, else without them and a
  // message), then per profile the cleared parameter bytes and the key map.
  // Every command's result is checked: the first failure stops the writes,
  // end-update is still sent, and 0 is given. Nothing is sent when the macros
  // do not fit even without names (message) or the current profile is
  // unknown. 1 only when every command succeeded. With an owed upload
  // recorded, all four profiles are written whatever allProfiles says.
  int UploadConfiguration(bool allProfiles);

  // The Apply command (window thread). With changes pending: shows the
  // progress picture, starts timer 1050, and on a worker thread, under the
  // store's lock, saves the working profile file and uploads the current
  // profile; back on the window's thread it disables Apply when both
  // succeeded (so a failure keeps the changes pending), stops the timer and
  // hides the picture. A working file that cannot be written is reported
  // once (ProfileFiles::NoteWorkingFileWrite). Without pending changes nothing happens. False when
  // nothing was started (nothing pending, or an Apply still running).
  bool ApplyConfiguration();
  // The import command after the file was chosen (window thread): like
  // Apply, on the worker under the store's lock, the exchange file is
  // checked and loaded into the store, the working file saved and all four
  // profiles uploaded (ImportProfileFileAndUpload); back on the window's
  // thread the key buttons are redrawn and Apply is left enabled only when
  // the file was loaded and the upload failed. False when nothing was
  // started (an Apply still running).
  bool ImportConfiguration(const QString& path);
  // Uploads the store (just loaded from the working file) to a keyboard
  // that owes an upload: like Apply, all four profiles, without saving.
  // Apply is enabled meanwhile and disabled when the upload succeeded. With
  // an Apply or import still running, it starts when that one has finished.
  bool StartOwedUpload();
  // True from the start of an Apply, import or owed upload until its
  // completion ran on the window thread.
  bool ApplyRunning() const { return applyRunning_.load(); }
  // Waits until a running Apply's worker has finished (its completion may
  // still be queued for the window thread).
  void WaitForApplyWorker();

 private:
  // Shows the progress, runs work on the worker thread and then, on the
  // window's thread, finish with its result before the progress is hidden.
  bool RunInBackground(std::function<int()> work, std::function<void(int)> finish);
  void FinishApply(int result, const std::function<void(int)>& finish);

  AssignmentStore& store_;
  UploadSnapshot& snapshot_;
  UploadDevice& device_;
  ProfileFiles& files_;
  UploadHost& host_;
  OwedUpload* owed_ = nullptr;

  // An owed upload waits for the running one (window thread only).
  bool owedUploadWaiting_ = false;
  std::atomic<bool> standIn_{false};
  std::atomic<bool> applyRunning_{false};
  std::thread applyWorker_;
  // Expires with this object, so a completion still queued on the window
  // thread does nothing once it is gone.
  std::shared_ptr<ConfigurationUpload*> self_;
};

}  // namespace kst
