#pragma once
// A device link bound to the simulated keyboard the way the program binds
// its service library, with a main window that records what the link did.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/DeviceLink.h"
#include "device/ServiceLibrary.h"
#include "device/sim/TolvaneSimControl.h"
#include "service_under_test.h"

namespace kst::linktest {

// Records every call as one line, e.g. "send 5350 564552", "icon 141".
class RecordingHost : public DeviceHost {
 public:
  std::atomic<bool> initialised{true};
  // Runs on the worker inside SendToWindow, like the window's handler.
  std::function<void(std::uint32_t message)> onSend;

  std::intptr_t SendToWindow(std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) override {
    Record("send", message, wParam, lParam);
    if (onSend) onSend(message);
    return 0;
  }
  void PostToWindow(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
    Record("post", message, wParam, lParam);
  }
  void StartWindowTimer(std::uint32_t timerId, std::uint32_t periodMs) override {
    Add("timer " + std::to_string(timerId) + " " + std::to_string(periodMs));
  }
  void ShowConnectionIcon(bool connected) override {
    Add("icon " + std::to_string(connected ? kTrayIconConnected : kTrayIconDisconnected));
  }
  void ShowActivityIcon(bool on) override { Add(on ? "activity on" : "activity off"); }
  void ShowTextPrompt(const char* textKey) override { Add(std::string("prompt ") + textKey); }
  void HideWindow() override { Add("hide"); }
  bool IsWindowInitialised() const override { return initialised.load(); }

  std::vector<std::string> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<std::string> TakeCalls() {
    std::lock_guard lock(mutex_);
    return std::exchange(calls_, {});
  }

 private:
  void Record(const char* what, std::uint32_t message, std::uintptr_t wParam,
              std::intptr_t lParam) {
    char line[64];
    std::snprintf(line, sizeof line, "%s %X %lX%s", what, message,
                  static_cast<unsigned long>(wParam), lParam != 0 ? " !" : "");
    Add(line);
  }
  void Add(std::string line) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(line));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

inline const std::string kSendVersion = "send 5350 564552";
inline const std::string kSendProfile = "send 5452 50524F46";
inline const std::string kSendGone = "send 4753 0";
inline const std::string kPostOpen = "post 5350 4F50454E";
inline const std::string kPostGKeys = "post 5045 4C4544";

// One simulated keyboard with its own state file and a link over it.
class LinkFixture : public ::testing::Test {
 protected:
  std::filesystem::path dir;
  TolvaneApi api;
  TolvaneSimControlFn control = nullptr;
  RecordingHost host;
  std::unique_ptr<DeviceLink> link;

  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::temp_directory_path() /
          ("kst-link-" + std::to_string(::getpid()) + "-" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    setenv("KESTRUNE_SIM_STATE", (dir / "keyboard.bin").c_str(), 1);
    setenv("KESTRUNE_SIM_SOCKET", "off", 1);
    setenv("KESTRUNE_SIM_LATENCY_US", "0", 1);
    unsetenv("KESTRUNE_CAPTURE");
    unsetenv("KESTRUNE_SIM_PRESENT");
    BeforeBind();
    const ServiceBinding binding = BindServiceLibrary(KST_BIN_DIR, ServiceUnderTest());
    ASSERT_TRUE(binding.ok) << binding.message;
    api = binding.api;
    const std::string path = std::string(KST_BIN_DIR) + "/" + ServiceUnderTest();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    control = reinterpret_cast<TolvaneSimControlFn>(dlsym(handle, "TolvaneSimControl"));
    ASSERT_NE(control, nullptr);
    link = std::make_unique<DeviceLink>(api, host);
  }
  void TearDown() override {
    link.reset();
    if (api.End) api.End();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  virtual void BeforeBind() {}

  // Arms the channels and waits until the connection worker is done.
  int Arm() {
    const int count = link->ArmChannels();
    EXPECT_TRUE(link->WaitUntilIdle(std::chrono::seconds(10)));
    return count;
  }
  // Runs a control command of the simulated keyboard and checks its result.
  std::string Sim(const std::string& command, int expected = TOLVANE_SIM_OK) {
    std::vector<char> reply(1 << 16);
    const int result = control(command.c_str(), reply.data(), static_cast<uint32_t>(reply.size()));
    EXPECT_EQ(result, expected) << command << ": " << reply.data();
    return reply.data();
  }
  std::vector<std::uint8_t> SimRead(const std::string& area) {
    const std::string hex = Sim("read " + area);
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      if (hex[i] == '\n') break;
      out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
  }
  // 'CTRL' requests the keyboard received since the last "reports clear".
  int CtrlRequests() {
    const std::string text = Sim("reports");
    const auto at = text.find("ctrl-requests ");
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + 14));
  }
  bool Idle() { return link->WaitUntilIdle(std::chrono::seconds(10)); }
  // A keyboard that leaves during a command says so from the service
  // library's own thread, which may be after the failed command returned:
  // waits (at most 10 s) until the link has seen it, then until it is idle.
  bool GoneAndIdle() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (link->ConnectionState() != 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Idle();
  }
};

}  // namespace kst::linktest
