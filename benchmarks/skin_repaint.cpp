// A window of the main window's size with 120 image buttons that share four
// state pictures. Measures, in one run, a full repaint of the window and one
// blit of a full-window picture of the same size, and prints their ratio and
// the number of picture decodes (one per state picture is the goal, whatever
// the number of buttons; the time goal is a ratio of at most 3).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "skin/CBaseDialog.h"
#include "skin/CPngButton.h"
#include "skin/SkinPictures.h"

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 712;
constexpr int kButtons = 120;
constexpr int kColumns = 15;

struct Fixture {
  QTemporaryDir dir;
  std::unique_ptr<kst::CBaseDialog> window;
  QImage target{kWidth, kHeight, QImage::Format_ARGB32_Premultiplied};
  QPixmap full;
  int decodes = 0;

  Fixture() {
    const char* names[] = {"normal.jpg", "over.jpg", "down.jpg", "disable.jpg"};
    for (int i = 0; i < 4; ++i) {
      QImage image(kWidth, kHeight, QImage::Format_RGB32);
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) image.setPixel(x, y, qRgb(x % 256, y % 256, i * 60));
      image.save(dir.filePath(names[i]), "JPG", 90);
    }
    QFile ini(dir.filePath("Main.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[SCREEN]\nMain=normal.jpg\n");
    ini.close();
    window = std::make_unique<kst::CBaseDialog>(102, nullptr, dir.filePath("Main.ini"), dir.path());
    window->ApplySkin();
    kst::SkinPictures& pictures = window->Pictures();
    const QPixmap normal = pictures.Required(names[0]);
    const QPixmap over = pictures.Required(names[1]);
    const QPixmap down = pictures.Required(names[2]);
    const QPixmap disabled = pictures.Required(names[3]);
    for (int i = 0; i < kButtons; ++i) {
      auto* button = new kst::CPngButton(window.get());
      const QRect r(20 + (i % kColumns) * 76, 40 + (i / kColumns) * 80, 70, 70);
      button->setGeometry(r);
      button->SetPictures(r.x(), r.y(), normal, over, down, normal, disabled, false);
      if (i % 7 == 0) button->SetSelected(true, false);
    }
    window->show();
    QApplication::processEvents();
    full = pictures.Required(names[0]);
    decodes = pictures.DecodeCount();
  }
};

std::unique_ptr<Fixture> g_fixture;  // made after, and freed before, the application

Fixture& Shared() {
  if (!g_fixture) g_fixture = std::make_unique<Fixture>();
  return *g_fixture;
}

double g_repaintSeconds = 0;
double g_blitSeconds = 0;
double g_repaintCpu = 0;
double g_blitCpu = 0;

void BM_FullWindowRepaint(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    // Every widget of the window paints itself: the background and the 120
    // buttons, each copying its part of a shared state picture.
    f.window->render(&f.target);
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  state.counters["decodes"] = f.decodes;
  state.counters["buttons"] = kButtons;
}

void BM_FullWindowBlit(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    QPainter painter(&f.target);
    painter.drawPixmap(0, 0, f.full);
    painter.end();
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
}

BENCHMARK(BM_FullWindowRepaint)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullWindowBlit)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Collects the per-iteration times so the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const double perIteration = run.GetAdjustedRealTime();
      const double cpu = run.GetAdjustedCPUTime();
      if (run.benchmark_name().find("Repaint") != std::string::npos) {
        g_repaintSeconds = perIteration;
        g_repaintCpu = cpu;
      }
      if (run.benchmark_name().find("Blit") != std::string::npos) {
        g_blitSeconds = perIteration;
        g_blitCpu = cpu;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const int decodes = Shared().decodes;
  g_fixture.reset();
  if (g_blitSeconds > 0) {
    const double ratio = g_repaintSeconds / g_blitSeconds;
    std::printf(
        "skin repaint: %d buttons, %d picture decodes, repaint/blit ratio %.2f wall, %.2f cpu "
        "(goal <= 3)\n",
        kButtons, decodes, ratio, g_blitCpu > 0 ? g_repaintCpu / g_blitCpu : 0.0);
  }
  return 0;
}
