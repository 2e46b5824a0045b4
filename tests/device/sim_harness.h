#pragma once
// Loads the simulated keyboard's library the way the program does (by name
// from the program folder), registers standing reads whose callback records
// every notification, and talks 64-byte command reports to it.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/TolvaneApi.h"
#include "device/sim/TolvaneSimControl.h"
#include "foundation/DeviceIdentity.h"

namespace kst::simtest {

using Report = std::array<std::uint8_t, 64>;

constexpr std::uint32_t kTagLed = 0x004C4544;
constexpr std::uint32_t kTagCons = 0x434F4E53;
constexpr std::uint32_t kTagCtrl = 0x4354524C;

inline DeviceSelector Selector(std::uint16_t usagePage, std::uint16_t usage) {
  return DeviceSelector{
      TOLVANE_MATCH_ALL, kKeyboardVendorId, kKeyboardProductId, usagePage, usage, 0};
}
inline const DeviceSelector kLed = Selector(0x0008, 0x0089);
inline const DeviceSelector kCons = Selector(0x000C, 0x0001);
inline const DeviceSelector kCtrl = Selector(0xFF1C, 0x0092);

struct Api {
  void* handle = nullptr;
#define KST_SIMTEST_FIELD(name, type) type name = nullptr;
  TOLVANE_ENTRY_POINTS(KST_SIMTEST_FIELD)
#undef KST_SIMTEST_FIELD
  TolvaneSimControlFn Control = nullptr;

  static const Api& Get() {
    static const Api api = [] {
      Api a;
      a.handle = dlopen(KST_BIN_DIR "/libTolvaneSim.so", RTLD_NOW);
      if (!a.handle) return a;
#define KST_SIMTEST_RESOLVE(name, type) a.name = reinterpret_cast<type>(dlsym(a.handle, #name));
      TOLVANE_ENTRY_POINTS(KST_SIMTEST_RESOLVE)
#undef KST_SIMTEST_RESOLVE
      a.Control = reinterpret_cast<TolvaneSimControlFn>(dlsym(a.handle, "TolvaneSimControl"));
      return a;
    }();
    return api;
  }
};

// One notification as the callback saw it, copied out of the library's records.
struct Event {
  std::uint32_t kind = 0;
  std::uint32_t tag = 0;
  std::uintptr_t lengthOrCount = 0;
  std::vector<std::uint8_t> viaRequest;   // request word 2
  std::vector<std::uint8_t> viaTransfer;  // transfer word 7
};

class Recorder {
 public:
  static Recorder& Get() {
    static Recorder recorder;
    return recorder;
  }
  static int Callback(const TolvaneNotification* n) {
    const auto* request =
        reinterpret_cast<const TolvaneRequest*>(n->words[TOLVANE_NOTIFICATION_REQUEST]);
    Event e;
    e.kind = static_cast<std::uint32_t>(n->words[TOLVANE_NOTIFICATION_KIND]);
    e.tag = static_cast<std::uint32_t>(request->words[TOLVANE_REQUEST_TAG]);
    e.lengthOrCount = request->words[TOLVANE_REQUEST_LENGTH];
    if (e.kind == TOLVANE_EVENT_REPORT) {
      const auto* bytes =
          reinterpret_cast<const std::uint8_t*>(request->words[TOLVANE_REQUEST_REPORT]);
      if (bytes) e.viaRequest.assign(bytes, bytes + e.lengthOrCount);
      const auto* transfer =
          reinterpret_cast<const TolvaneTransfer*>(request->words[TOLVANE_REQUEST_TRANSFER]);
      if (transfer && transfer->words[TOLVANE_TRANSFER_REPORT]) {
        const auto* t =
            reinterpret_cast<const std::uint8_t*>(transfer->words[TOLVANE_TRANSFER_REPORT]);
        e.viaTransfer.assign(t, t + e.lengthOrCount);
      }
    }
    Get().Push(std::move(e));
    return 1;
  }
  void Push(Event e) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(e));
    cv_.notify_all();
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }
  // Takes the first recorded event of this kind and tag, waiting up to timeout.
  std::optional<Event> Take(std::uint32_t kind, std::uint32_t tag,
                            std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    std::unique_lock lock(mutex_);
    std::optional<Event> found;
    cv_.wait_for(lock, timeout, [&] {
      for (auto it = events_.begin(); it != events_.end(); ++it) {
        if (it->kind == kind && it->tag == tag) {
          found = std::move(*it);
          events_.erase(it);
          return true;
        }
      }
      return false;
    });
    return found;
  }
  std::size_t Count(std::uint32_t kind, std::uint32_t tag) {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const Event& e : events_) n += (e.kind == kind && e.tag == tag) ? 1 : 0;
    return n;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Event> events_;
};

inline Report MakeRequest(std::uint8_t command, std::uint8_t length = 0, std::uint16_t offset = 0,
                          const std::vector<std::uint8_t>& data = {}) {
  Report r{};
  r[0] = 0x04;
  r[3] = command;
  r[4] = length;
  r[5] = static_cast<std::uint8_t>(offset & 0xFF);
  r[6] = static_cast<std::uint8_t>(offset >> 8);
  for (std::size_t i = 0; i < data.size() && i < 56; ++i) r[8 + i] = data[i];
  unsigned sum = 0;
  for (std::size_t i = 3; i < 64; ++i) sum += r[i];
  r[1] = static_cast<std::uint8_t>(sum & 0xFF);
  r[2] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
  return r;
}

inline std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// A fresh keyboard per test: its own state file, no socket, no latency unless
// the test sets one, standing reads on 'CONS' and 'CTRL'.
class SimFixture : public ::testing::Test {
 protected:
  const Api& api = Api::Get();
  std::filesystem::path dir;
  std::filesystem::path statePath;
  std::uint32_t consUnit = 0;
  std::uint32_t ctrlUnit = 0;

  void SetUp() override {
    ASSERT_NE(api.handle, nullptr) << dlerror();
    ASSERT_NE(api.Control, nullptr);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::temp_directory_path() / ("kst-sim-" + std::to_string(::getpid()) + "-" +
                                                    info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    statePath = dir / "keyboard.bin";
    setenv("KESTRUNE_SIM_STATE", statePath.c_str(), 1);
    setenv("KESTRUNE_SIM_SOCKET", "off", 1);
    setenv("KESTRUNE_SIM_LATENCY_US", "0", 1);
    unsetenv("KESTRUNE_CAPTURE");
    unsetenv("KESTRUNE_SIM_PRESENT");
    BeforeInit();
    Recorder::Get().Clear();
    ASSERT_EQ(api.Init(0), 1);
    ASSERT_EQ(api.RequestAsyncRead(&kCons, &Recorder::Callback, kTagCons, 0, &consUnit), 1);
    ASSERT_EQ(api.RequestAsyncRead(&kCtrl, &Recorder::Callback, kTagCtrl, 0, &ctrlUnit), 1);
  }
  void TearDown() override {
    if (api.End) api.End();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  virtual void BeforeInit() {}

  // Runs a control command; gives its reply and checks its result.
  std::string Control(const std::string& command, int expected = TOLVANE_SIM_OK) {
    std::vector<char> reply(1 << 16);
    const int result =
        api.Control(command.c_str(), reply.data(), static_cast<uint32_t>(reply.size()));
    EXPECT_EQ(result, expected) << command << ": " << reply.data();
    return reply.data();
  }
  std::vector<std::uint8_t> Read(const std::string& area) {
    return FromHex(Control("read " + area));
  }

  bool Send(const Report& request) {
    return api.RequestWriteOne(&kCtrl, nullptr, 0, request.data(), 64, 0, nullptr) > 0;
  }
  // One exchange: the reply on 'CTRL', or nothing within the timeout.
  std::optional<Report> Exchange(const Report& request,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    if (!Send(request)) return std::nullopt;
    auto e = Recorder::Get().Take(TOLVANE_EVENT_REPORT, kTagCtrl, timeout);
    if (!e || e->viaRequest.size() != 64) return std::nullopt;
    Report r{};
    std::copy(e->viaRequest.begin(), e->viaRequest.end(), r.begin());
    return r;
  }
};

}  // namespace kst::simtest
