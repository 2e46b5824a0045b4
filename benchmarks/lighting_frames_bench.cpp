// The colour frames of the custom effect: every key button of the main window
// takes its colour from the key colour table (ShowKeyColours), then the window
// repaints, as after choosing the custom effect or a user mode. Runs the real
// main window offscreen over the simulated keyboard and prints the time of one
// such change against one 16 ms frame (goal: at most 1).

#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <memory>

#include "lighting/EffectList.h"
#include "lighting/LightingModel.h"
#include "lighting/panel/MainWindowLighting.h"
#include "support/OffscreenMainWindow.h"

namespace {

constexpr double kFrameSeconds = 0.016;

kst::OffscreenMainWindow* g_rig = nullptr;
kst::MainWindowLighting* g_lighting = nullptr;
double g_seconds = 0;

void BM_ShowKeyColoursAndRepaint(benchmark::State& state) {
  kst::LightingModel& model = *g_lighting->Model();
  QWidget& window = g_rig->Window();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    model.ShowKeyColours();
    window.repaint();
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
}
BENCHMARK(BM_ShowKeyColoursAndRepaint)->UseManualTime()->Unit(benchmark::kMillisecond);

class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) g_seconds = run.GetAdjustedRealTime() / 1e3;
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  kst::OffscreenMainWindow rig(QStringLiteral(KST_BIN_DIR),
                               QStringLiteral("bench_lighting_frames"));
  kst::MainWindowLighting lighting(rig.Window(), rig.Context());
  rig.Init();
  kst::LightingModel* model = lighting.Model();
  if (!model || !model->ToggleEditMode()) {
    std::fprintf(stderr, "the lighting did not start\n");
    return 1;
  }
  const int custom = kst::EffectListIndex(model->State(), kst::kCustomEffect);
  if (custom < 0 || model->ChangeEffect(custom) < 0) {
    std::fprintf(stderr, "the keyboard does not offer the custom effect\n");
    return 1;
  }
  rig.Window().show();
  rig.Settle();
  g_rig = &rig;
  g_lighting = &lighting;

  benchmark::Initialize(&argc, argv);
  Collector reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("ShowKeyColours + repaint: %.2f ms, %.2f x one 16 ms frame (goal <= 1)\n",
              g_seconds * 1e3, g_seconds / kFrameSeconds);
  return 0;
}
