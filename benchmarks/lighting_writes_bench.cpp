// Lighting changes against the simulated keyboard at 1 ms per report each
// way: one field (brightness) through the LightingWriter, and the upload of a
// profile's key colours. Each is timed from the call until it returns, when
// the keyboard's memory holds the change, and compared with what its reports
// cost (2 ms per exchange) plus the 10 ms the protocol waits before every
// end-update.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "device/DeviceLink.h"
#include "device/ServiceLibrary.h"
#include "device/sim/TolvaneSimControl.h"
#include "lighting/KeyColourTable.h"
#include "lighting/LightingDevice.h"
#include "lighting/LightingRecord.h"
#include "lighting/LightingWriter.h"
#include "support/QuietDeviceHost.h"

namespace {

using namespace kst;

constexpr double kReportMs = 2.0;           // 1 ms each way
constexpr double kEndUpdatePauseMs = 10.0;  // the protocol's wait before end-update
constexpr std::size_t kBrightnessByte = 1;

// The simulated keyboard in a temporary folder with a connected device link.
class Rig {
 public:
  Rig() {
    dir_ =
        std::filesystem::temp_directory_path() / ("kst-bench-lighting-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    setenv("KESTRUNE_SIM_STATE", (dir_ / "keyboard.bin").c_str(), 1);
    setenv("KESTRUNE_SIM_SOCKET", "off", 1);
    setenv("KESTRUNE_SIM_LATENCY_US", "1000", 1);
    unsetenv("KESTRUNE_CAPTURE");
    unsetenv("KESTRUNE_SIM_PRESENT");
    binding_ = BindServiceLibrary(KST_BIN_DIR, kSimulatedServiceLibraryName);
    if (!binding_.ok) {
      error_ = binding_.message;
      return;
    }
    const std::string path = std::string(KST_BIN_DIR) + "/" + kSimulatedServiceLibraryName;
    if (void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
      control_ = reinterpret_cast<TolvaneSimControlFn>(dlsym(handle, "TolvaneSimControl"));
      dlclose(handle);
    }
    if (!control_) {
      error_ = "the simulated keyboard has no control entry point";
      return;
    }
    link_ = std::make_unique<DeviceLink>(binding_.api, host_);
    if (link_->ArmChannels() != 1 || !link_->WaitUntilIdle(std::chrono::seconds(30))) {
      error_ = "the simulated keyboard did not connect";
      return;
    }
    device_ = std::make_unique<LinkLightingDevice>(*link_);
  }
  ~Rig() {
    device_.reset();
    link_.reset();
    if (binding_.ok) binding_.api.End();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  const std::string& Error() const { return error_; }
  LightingDevice& Device() { return *device_; }
  std::string Control(const std::string& command) {
    std::vector<char> reply(1 << 16);
    if (control_(command.c_str(), reply.data(), static_cast<std::uint32_t>(reply.size())) !=
        TOLVANE_SIM_OK) {
      return {};
    }
    return reply.data();
  }
  long Reports() {
    const std::string text = Control("reports");
    const auto at = text.find("ctrl-requests ");
    return at == std::string::npos ? -1 : std::stol(text.substr(at + 14));
  }
  // One byte of the keyboard's memory, read without a report.
  int MemoryByte(const std::string& area, std::size_t offset) {
    const std::string hex = Control("read " + area + " " + std::to_string(offset) + " 1");
    return hex.size() == 2 ? std::stoi(hex, nullptr, 16) : -1;
  }

 private:
  std::filesystem::path dir_;
  ServiceBinding binding_{};
  TolvaneSimControlFn control_ = nullptr;
  QuietDeviceHost host_;
  std::unique_ptr<DeviceLink> link_;
  std::unique_ptr<LinkLightingDevice> device_;
  std::string error_;
};

void Report(benchmark::State& state, const char* what, double measuredMs, long reports,
            long updates) {
  const double reportsMs = static_cast<double>(reports) * kReportMs;
  const double expectedMs = reportsMs + static_cast<double>(updates) * kEndUpdatePauseMs;
  const double ratio = expectedMs > 0 ? measuredMs / expectedMs : 0;
  state.counters["ratio"] = ratio;
  state.counters["reports_only_ratio"] = reportsMs > 0 ? measuredMs / reportsMs : 0;
  std::printf(
      "%s: measured %.1f ms for %ld reports in %ld updates; reports and fixed waits %.1f ms, "
      "ratio %.3f (goal <= 1.05); reports alone %.1f ms, ratio %.3f\n",
      what, measuredMs, reports, updates, expectedMs, ratio, reportsMs,
      reportsMs > 0 ? measuredMs / reportsMs : 0);
}

void BM_SetBrightness(benchmark::State& state) {
  Rig rig;
  if (!rig.Error().empty()) {
    state.SkipWithError(rig.Error().c_str());
    return;
  }
  LightingState lighting;
  lighting.activeProfile = 1;
  lighting.brightness = 4;  // the factory record's
  LightingWriter writer(rig.Device(), lighting);
  const std::size_t byte =
      static_cast<std::size_t>(lighting.activeProfile) * kLightingRecordBytes + kBrightnessByte;

  const long reportsBefore = rig.Reports();
  double measuredMs = 0;
  long updates = 0;
  int next = 0;
  for (auto _ : state) {
    next = (next + 1) % 4;  // never the stored value: every change writes
    const auto start = std::chrono::steady_clock::now();
    const int result = writer.SetBrightness(next);
    measuredMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ++updates;
    if (result != kDeviceOk || rig.MemoryByte("parameters", byte) != next) {
      state.SkipWithError("the keyboard does not hold the new brightness");
      return;
    }
  }
  Report(state, "one lighting field (brightness)", measuredMs, rig.Reports() - reportsBefore,
         updates);
}
BENCHMARK(BM_SetBrightness)->Unit(benchmark::kMillisecond)->Iterations(100)->UseRealTime();

void BM_UploadKeyColours(benchmark::State& state) {
  Rig rig;
  if (!rig.Error().empty()) {
    state.SkipWithError(rig.Error().c_str());
    return;
  }
  constexpr int kProfile = 2;
  KeyColourTable table;
  const long reportsBefore = rig.Reports();
  double measuredMs = 0;
  long updates = 0;
  std::uint8_t shade = 0;
  for (auto _ : state) {
    // Other colours each time, so the keyboard's memory shows the upload.
    ++shade;
    for (int led = 0; led < kSentLedPositions; ++led) {
      table.SetColour(kProfile, led,
                      static_cast<ColorRef>(shade) | (static_cast<ColorRef>(led) << 8));
    }
    const auto start = std::chrono::steady_clock::now();
    const int result = UploadKeyColours(rig.Device(), table, kProfile);
    measuredMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ++updates;
    const std::size_t last = kProfile * kKeyColourAreaBytes + 3 * (kSentLedPositions - 1);
    if (result != kDeviceOk || rig.MemoryByte("colours", last) != shade ||
        rig.MemoryByte("colours", last + 1) != kSentLedPositions - 1) {
      state.SkipWithError("the keyboard does not hold the uploaded colours");
      return;
    }
  }
  Report(state, "key colours of one profile (UploadKeyColours)", measuredMs,
         rig.Reports() - reportsBefore, updates);
}
BENCHMARK(BM_UploadKeyColours)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
