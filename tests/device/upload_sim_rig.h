#pragma once
// The simulated keyboard behind a real device link, seen through the upload's
// UploadDevice; and a recording UploadHost. The rig's implementation
// (upload_sim_rig.cpp) is its own translation unit, so tests that also use the
// store never see the link's headers.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/ConfigurationUpload.h"
#include "device/UploadDevice.h"

namespace kst::uploadtest {

struct RigOptions {
  // Control commands run before the link connects (e.g. "macro-space 0").
  std::vector<std::string> beforeConnect{};
  int latencyUs = 0;  // per report, each way
  // A file that records every report the keyboard sees (KESTRUNE_CAPTURE);
  // empty: none.
  std::string capture{};
};

class SimKeyboardRig {
 public:
  // Binds the simulated keyboard with its state in a fresh temporary folder,
  // arms a device link and waits until its connection worker has read the
  // factory key map and the macro space.
  explicit SimKeyboardRig(const RigOptions& options = {});
  ~SimKeyboardRig();
  SimKeyboardRig(const SimKeyboardRig&) = delete;
  SimKeyboardRig& operator=(const SimKeyboardRig&) = delete;

  // Empty when the rig is usable; otherwise what went wrong.
  const std::string& Error() const;
  UploadDevice& Device();
  // A temporary folder of this rig (removed with it).
  std::string Folder() const;

  // Runs a control command of the simulated keyboard; its result (1 = ok).
  int Control(const std::string& command, std::string* reply = nullptr);
  // Bytes of a memory area ("keymaps", "macro", "parameters", ...).
  std::vector<std::uint8_t> Read(const std::string& area);
  // Writes raw bytes into an area (no report, no event).
  bool Write(const std::string& area, std::size_t offset, const std::vector<std::uint8_t>& bytes);
  // The link's cached current profile, as the connection left it.
  void ForgetCurrentProfile();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Records what the upload shows; tasks for the window thread are queued and
// run by RunWindowTasks on the test's thread (the "window thread").
class RecordingUploadHost : public UploadHost {
 public:
  void ShowUploadMessage(const char* textKey) override {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(textKey);
  }
  // Records the key with the others, and the detail apart.
  void ShowUploadMessageWith(const char* textKey, const QString& detail) override {
    ShowUploadMessage(textKey);
    std::lock_guard lock(mutex_);
    details_.push_back(detail);
  }
  void RunOnWindowThread(std::function<void()> task) override {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  bool IsApplyEnabled() const override { return applyEnabled; }
  void SetApplyEnabled(bool enabled) override {
    applyEnabled = enabled;
    Log("apply " + std::string(enabled ? "on" : "off"));
  }
  void ShowApplyProgress(bool shown) override { Log(shown ? "progress shown" : "progress hidden"); }
  void StartWindowTimer(std::uint32_t id, std::uint32_t periodMs) override {
    Log("timer " + std::to_string(id) + " start " + std::to_string(periodMs));
  }
  void StopWindowTimer(std::uint32_t id) override { Log("timer " + std::to_string(id) + " stop"); }
  void RefreshKeyButtons() override { Log("refresh keys"); }

  // Runs the queued window-thread tasks; how many ran.
  int RunWindowTasks() {
    std::vector<std::function<void()>> tasks;
    {
      std::lock_guard lock(mutex_);
      tasks.swap(tasks_);
    }
    for (auto& t : tasks) t();
    return static_cast<int>(tasks.size());
  }
  std::vector<std::string> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::vector<QString> Details() {
    std::lock_guard lock(mutex_);
    return details_;
  }
  std::vector<std::string> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void ClearRecords() {
    std::lock_guard lock(mutex_);
    messages_.clear();
    details_.clear();
    calls_.clear();
  }

  bool applyEnabled = true;

 private:
  void Log(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  std::mutex mutex_;
  std::vector<std::string> messages_;
  std::vector<QString> details_;
  std::vector<std::string> calls_;
  std::vector<std::function<void()>> tasks_;
};

}  // namespace kst::uploadtest
