// What the device link adds to the cost of USB: read-settings exchanges with
// the simulated keyboard, each report taking 1 ms each way. The ratio of the
// measured time to 2 ms per exchange is the link's overhead (goal <= 1.05).
// The same exchanges made straight on the service library, without the link,
// are measured too: they show how much of the ratio is the simulated
// keyboard's own timing (timer wake-ups, a loaded machine).
//
// Then the same on the real keyboard's library (hidapi) over the stand-in
// whose far side is the same simulated keyboard, when the tests built it:
// its time against the simulated library's, same run (goal <= 1.05).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "device/CommandProtocol.h"
#include "device/DeviceLink.h"
#include "device/ServiceLibrary.h"
#include "support/QuietDeviceHost.h"

namespace {

using namespace kst;

constexpr int kExchanges = 1000;
constexpr double kUsbSecondsPerExchange = 0.002;  // 1 ms each way

// One library's figures.
struct Run {
  double seconds = 0;   // the link's exchanges
  double ratio = 0;     // against 2 ms per exchange
  double rawRatio = 0;  // the exchanges without the link
};
Run gSim;
Run gHid;
constexpr const char* kHidOverStandIn = "libTolvaneFakeHid.so";

// The straight road: one standing read whose callback wakes the caller.
std::mutex gRawMutex;
std::condition_variable gRawCv;
bool gRawReply = false;
int RawCallback(const TolvaneNotification* n) {
  if (n->words[TOLVANE_NOTIFICATION_KIND] != TOLVANE_EVENT_REPORT) return 1;
  std::lock_guard lock(gRawMutex);
  gRawReply = true;
  gRawCv.notify_all();
  return 1;
}

double RawExchanges(const TolvaneApi& api) {
  const DeviceSelector ctrl = ChannelSelector(Channel::Ctrl);
  std::uint32_t unit = 0;
  if (api.RequestAsyncRead(&ctrl, &RawCallback, kTagCtrl, 0, &unit) != 1) return 0;
  const CommandReport request = BuildCommandReport(kCmdReadSettings, kSettingsBlockBytes, 0);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kExchanges; ++i) {
    {
      std::lock_guard lock(gRawMutex);
      gRawReply = false;
    }
    api.RequestWriteOne(&ctrl, nullptr, 0, request.data(), kCommandReportBytes, 0, nullptr);
    std::unique_lock lock(gRawMutex);
    if (!gRawCv.wait_for(lock, std::chrono::seconds(1), [] { return gRawReply; })) return 0;
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  api.DeleteRequestFromUnitId(unit);
  return took.count() / (kExchanges * kUsbSecondsPerExchange);
}

void RunOn(benchmark::State& state, const char* library, Run& run) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kst-bench-exchange-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  setenv("KESTRUNE_SIM_STATE", (dir / "keyboard.bin").c_str(), 1);
  setenv("KESTRUNE_SIM_SOCKET", "off", 1);
  setenv("KESTRUNE_SIM_LATENCY_US", "1000", 1);
  unsetenv("KESTRUNE_CAPTURE");
  const ServiceBinding binding = BindServiceLibrary(KST_BIN_DIR, library);
  if (!binding.ok) {
    state.SkipWithError(binding.message.c_str());
    return;
  }
  run.rawRatio = RawExchanges(binding.api);
  state.counters["raw_ratio"] = run.rawRatio;
  QuietDeviceHost host;
  {
    DeviceLink link(binding.api, host);
    if (link.ArmChannels() != 1 || !link.WaitUntilIdle(std::chrono::seconds(30))) {
      state.SkipWithError("the simulated keyboard did not connect");
    } else {
      for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        int failures = 0;
        for (int i = 0; i < kExchanges; ++i) {
          SettingsBlock settings{};
          failures += ReadSettings(link, settings) != kDeviceOk;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (failures != 0) state.SkipWithError("an exchange failed");
        run.seconds = took.count();
        run.ratio = took.count() / (kExchanges * kUsbSecondsPerExchange);
        state.counters["ratio"] = run.ratio;
      }
    }
  }
  binding.api.End();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

void BM_ReadSettingsExchanges(benchmark::State& state) {
  RunOn(state, kSimulatedServiceLibraryName, gSim);
}
BENCHMARK(BM_ReadSettingsExchanges)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ReadSettingsExchangesOnHidapi(benchmark::State& state) {
  if (!std::filesystem::exists(std::filesystem::path(KST_BIN_DIR) / kHidOverStandIn)) {
    state.SkipWithError("libTolvaneFakeHid.so is built with the tests");
    return;
  }
  RunOn(state, kHidOverStandIn, gHid);
}
BENCHMARK(BM_ReadSettingsExchangesOnHidapi)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("device exchange ratio: %.3f (measured / (1000 x 2 ms), goal <= 1.05)\n", gSim.ratio);
  std::printf("same exchanges without the link: %.3f; link / without: %.3f\n", gSim.rawRatio,
              gSim.rawRatio > 0 ? gSim.ratio / gSim.rawRatio : 0.0);
  if (gHid.seconds > 0 && gSim.seconds > 0) {
    std::printf(
        "hidapi library over the stand-in: %.3f s against %.3f s on the simulated library, "
        "ratio %.3f (goal <= 1.05)\n",
        gHid.seconds, gSim.seconds, gHid.seconds / gSim.seconds);
  }
  return 0;
}
