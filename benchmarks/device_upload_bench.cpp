// Apply and rebuild against the simulated keyboard: how close they come to
// what the reports themselves cost (2 ms per exchange at 1 ms each way, plus
// the 10 ms pause before every end-update).
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "device/ConfigurationUpload.h"
#include "device/DeviceProfileRebuild.h"
#include "device/MacroArea.h"
#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFiles.h"
#include "upload_sim_rig.h"

namespace {

using kst::uploadtest::RecordingUploadHost;
using kst::uploadtest::SimKeyboardRig;

constexpr double kReportMs = 2.0;
constexpr double kEndUpdatePauseMs = 10.0;

class SilentBoxes : public kst::MessageBoxes {
 public:
  bool Show(const QString&, kst::MessageKind) override { return false; }
};

kst::MacroRecord Macro(int number, int events) {
  kst::MacroRecord r;
  r.SetName(u"Macro " + std::u16string(1, static_cast<char16_t>(u'A' + number % 26)));
  r.number = static_cast<std::uint16_t>(number);
  r.eventCount = static_cast<std::uint16_t>(events);
  for (int e = 0; e < events; ++e) {
    r.events[static_cast<std::size_t>(e)] = {10, static_cast<kst::KeyIndex>(0x01E + (e / 2) % 10),
                                             static_cast<std::uint16_t>(e % 2)};
  }
  return r;
}

struct Setup {
  explicit Setup(int macroSpaceUnits)
      : rig({.beforeConnect = {"macro-space " + std::to_string(macroSpaceUnits)},
             .latencyUs = 1000}) {
    if (!rig.Error().empty()) return;
    upload = std::make_unique<kst::ConfigurationUpload>(store, snapshot, rig.Device(), files, host);
    files.WriteDefaultProfileFile(files.WorkingProfilePath());
  }
  long Reports() {
    std::string reply;
    rig.Control("reports", &reply);
    const auto at = reply.find("ctrl-requests ");
    return at == std::string::npos ? 0 : std::stol(reply.substr(at + 14));
  }

  QTemporaryDir dir;
  kst::Registry registry{dir.path() + "/registry.reg"};
  kst::Language language{registry, QStringLiteral(KST_BIN_DIR)};
  kst::AppPaths paths{QStringLiteral(KST_BIN_DIR), dir.path() + "/data",
                      dir.path() + "/registry.reg"};
  SilentBoxes boxes;
  kst::AssignmentStore store;
  kst::ProfileFiles files{store, paths, language, boxes};
  kst::UploadSnapshot snapshot;
  RecordingUploadHost host;
  SimKeyboardRig rig;
  std::unique_ptr<kst::ConfigurationUpload> upload;
};

void Report(benchmark::State& state, const char* what, double measuredMs, double expectedMs) {
  const double ratio = expectedMs > 0 ? measuredMs / expectedMs : 0;
  state.counters["ratio"] = ratio;
  std::printf("%s: measured %.1f ms, reports and fixed waits %.1f ms, ratio %.3f (goal <= 1.05)\n",
              what, measuredMs, expectedMs, ratio);
}

void BM_ApplyOneProfile(benchmark::State& state) {
  Setup s(64);
  if (!s.rig.Error().empty()) {
    state.SkipWithError(s.rig.Error().c_str());
    return;
  }
  std::vector<kst::MacroRecord> macros;
  for (int m = 1; m <= 10; ++m) macros.push_back(Macro(m, 50));
  s.store.ReplaceMacroList(macros);
  for (int m = 0; m < 10; ++m)
    s.store.SetAssignment(0, 0x10 + m, kst::AssignmentKind::PlayMacro, m + 1);
  s.rig.Device().CurrentProfile();

  const long reportsBefore = s.Reports();
  double measuredMs = 0;
  long applies = 0;
  for (auto _ : state) {
    s.host.applyEnabled = true;
    const auto start = std::chrono::steady_clock::now();
    s.upload->ApplyConfiguration();
    s.upload->WaitForApplyWorker();
    s.host.RunWindowTasks();
    measuredMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ++applies;
    if (s.host.applyEnabled) state.SkipWithError("apply failed");
  }
  const long reports = s.Reports() - reportsBefore;
  Report(
      state, "apply, one profile, 10 macros of 50 events", measuredMs,
      static_cast<double>(reports) * kReportMs + static_cast<double>(applies) * kEndUpdatePauseMs);
}
BENCHMARK(BM_ApplyOneProfile)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_RebuildFourProfilesFullMacroArea(benchmark::State& state) {
  Setup s(255);  // the largest macro space: 32640 bytes
  if (!s.rig.Error().empty()) {
    state.SkipWithError(s.rig.Error().c_str());
    return;
  }
  // Macros that fill the macro space with their names.
  std::vector<kst::MacroRecord> macros;
  for (int m = 1; m <= 100; ++m) {
    macros.push_back(Macro(m, 0));
    const std::size_t size = kst::MacroAreaSizeWithNames(macros);
    macros.back().eventCount = static_cast<std::uint16_t>(
        std::min<std::size_t>(2000, (32640 - size) / 4 / static_cast<std::size_t>(101 - m)));
    for (int e = 0; e < macros.back().eventCount; ++e) {
      macros.back().events[static_cast<std::size_t>(e)] = {10, 0x01E,
                                                           static_cast<std::uint16_t>(e % 2)};
    }
  }
  s.store.ReplaceMacroList(macros);
  if (s.upload->BuildSnapshotAndUpload(true) != 1) {
    state.SkipWithError("upload of the full area failed");
    return;
  }
  const std::size_t areaSize = kst::MacroAreaSizeWithNames(s.snapshot.Macros());
  const QString path = s.dir.path() + "/rebuilt";

  const long reportsBefore = s.Reports();
  double measuredMs = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (kst::RebuildWorkingProfileFromDevice(s.rig.Device(), path, u"Macro ") != 1) {
      state.SkipWithError("rebuild failed");
      break;
    }
    measuredMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  const long reports = s.Reports() - reportsBefore;
  state.counters["area_bytes"] = static_cast<double>(areaSize);
  Report(state, "rebuild, four profiles, full macro area", measuredMs,
         static_cast<double>(reports) * kReportMs);
}
BENCHMARK(BM_RebuildFourProfilesFullMacroArea)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
