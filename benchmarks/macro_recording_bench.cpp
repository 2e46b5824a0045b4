// Recording into a long macro must cost what recording into an empty one
// costs: one row in, one row selected and scrolled to, one repaint. Each
// iteration times one key press through the key hook and the page, then the
// events that follow it (layout and paint of the action list); putting the
// macro back to its size is not timed.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "editors/KeyboardHook.h"
#include "editors/MacroPage.h"
#include "editors/MacroWorkingCopies.h"
#include "foundation/Language.h"
#include "foundation/SkinLayout.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"

namespace kst {
namespace {

class SilentBoxes : public MessageBoxes {
 public:
  bool Show(const QString&, MessageKind) override { return false; }
};

struct Rig {
  Rig()
      : registry(temp.filePath(QStringLiteral("registry.reg"))),
        language(registry, QStringLiteral(KST_BIN_DIR), [] { return std::uint16_t{1033}; }),
        profile(registry),
        hook([this] { return nowMs; }) {
    dialog.resize(760, 480);
    page = std::make_unique<MacroPage>(
        dialog, MacroPage::Context{store, language, profile, boxes, hook, [] {}});
    const QString skins = QStringLiteral(KST_BIN_DIR "/Skins/");
    const EditorPictureSet pictures{QPixmap(skins + QLatin1String(kMacroPictureFiles.normal)),
                                    QPixmap(skins + QLatin1String(kMacroPictureFiles.over)),
                                    QPixmap(skins + QLatin1String(kMacroPictureFiles.down)),
                                    QPixmap(skins + QLatin1String(kMacroPictureFiles.disabled))};
    page->Layout(skins + QLatin1String(kCompositeSkinFileName), pictures);
    page->SetCaptions(language.GetLanguageIndex());
    page->SetShown(true);
    page->LoadWorkingCopies();
    dialog.show();
    view = qobject_cast<QTableView*>(page->Control(1019));
  }

  MacroWorkingCopies& Copies() { return page->WorkingCopies(); }

  // A new empty macro on show with `rows` rows, recording, `selected` selected.
  void Prepare(int rows, int selected) {
    page->StopRecording();
    Copies().Add();
    for (int i = 0; i < rows; ++i) {
      Copies().InsertAction(MacroEvent{10, static_cast<KeyIndex>(0x10 + i % 40), kEventPress},
                            {.raw = true});
    }
    Select(selected);
    page->Control(1020)->setProperty("checked", false);
    qobject_cast<QAbstractButton*>(page->Control(1020))->click();
    QApplication::processEvents();
  }
  void Select(int row) {
    if (row >= 0) view->setCurrentIndex(view->model()->index(row, 0));
  }
  // One recorded press, timed with what the event loop does for it.
  double RecordOne() {
    NativeKeyEvent press;
    press.qtKey = Qt::Key_A;
    nowMs += 37;
    const auto start = std::chrono::steady_clock::now();
    hook.Offer(press);
    QApplication::processEvents();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
  }
  // Takes the recorded row out again and selects `selected`.
  void Undo(int selected) {
    Copies().DeleteAction();
    Select(selected);
    QApplication::processEvents();
  }

  QTemporaryDir temp;
  Registry registry;
  Language language;
  AppProfile profile;
  AssignmentStore store;
  SilentBoxes boxes;
  std::int64_t nowMs = 0;
  KeyboardHook hook;
  QWidget dialog;
  std::unique_ptr<MacroPage> page;
  QTableView* view = nullptr;
};

std::unique_ptr<Rig> g_rig;

Rig& Shared() {
  if (!g_rig) g_rig = std::make_unique<Rig>();
  return *g_rig;
}

void RecordInto(benchmark::State& state, int rows, int selected) {
  Rig& rig = Shared();
  rig.Prepare(rows, selected);
  for (auto _ : state) {
    state.SetIterationTime(rig.RecordOne());
    rig.Undo(selected);
  }
  state.counters["rows"] = rig.view->model()->rowCount();
}

void BM_RecordFirstRow(benchmark::State& state) { RecordInto(state, 0, -1); }
// Into the middle: every row after it moves.
void BM_RecordInto30Rows(benchmark::State& state) { RecordInto(state, 30, 15); }
void BM_RecordInto1999Rows(benchmark::State& state) { RecordInto(state, 1999, 1000); }
// After the last of 1999 rows, as a recording goes on: the list scrolls by a row.
void BM_RecordAfter1999Rows(benchmark::State& state) { RecordInto(state, 1999, 1998); }

BENCHMARK(BM_RecordFirstRow)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordInto30Rows)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordInto1999Rows)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordAfter1999Rows)->UseManualTime()->Unit(benchmark::kMicrosecond);

double g_first = 0;
double g_short = 0;
double g_long = 0;
double g_after = 0;

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.benchmark_name().find("FirstRow") != std::string::npos) {
        g_first = run.GetAdjustedRealTime();
      }
      if (run.benchmark_name().find("30Rows") != std::string::npos) {
        g_short = run.GetAdjustedRealTime();
      }
      if (run.benchmark_name().find("Into1999") != std::string::npos) {
        g_long = run.GetAdjustedRealTime();
      }
      if (run.benchmark_name().find("After1999") != std::string::npos) {
        g_after = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace
}  // namespace kst

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  kst::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  kst::g_rig.reset();
  // The first row repaints one row of the list; any longer macro repaints a
  // screenful and the scroll bar, whatever its length: the second ratio shows
  // what the length itself costs.
  if (kst::g_first > 0 && kst::g_short > 0) {
    std::printf(
        "macro recording: insert into 1999 rows / first row %.2f (goal <= 2); "
        "after the last of 1999 rows / first row %.2f; into 1999 rows / into 30 rows %.2f\n",
        kst::g_long / kst::g_first, kst::g_after / kst::g_first, kst::g_long / kst::g_short);
  }
  return 0;
}
