// Recording into a long macro must cost what recording into an empty one
// costs: one row in, one row selected and scrolled to. Each iteration times
// one key press through the key hook and the page (the insertion: model,
// selection, scrolling) and, separately, the events that follow it (layout
// and the one coalesced repaint of the action list, which at typing speed
// happens once per frame whatever is inserted); putting the macro back to
// its size is not timed.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editors/ActionListView.h"
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
    view = qobject_cast<ActionListView*>(page->Control(1019));
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
  // One recorded press: the time of the insertion, and of the repaint after it.
  struct Times {
    double insert = 0;
    double repaint = 0;
  };
  Times RecordOne() {
    NativeKeyEvent press;
    press.qtKey = Qt::Key_A;
    nowMs += 37;
    const auto start = std::chrono::steady_clock::now();
    hook.Offer(press);
    const auto inserted = std::chrono::steady_clock::now();
    QApplication::processEvents();
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double>(inserted - start).count(),
            std::chrono::duration<double>(end - inserted).count()};
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
  ActionListView* view = nullptr;
};

std::unique_ptr<Rig> g_rig;

Rig& Shared() {
  if (!g_rig) g_rig = std::make_unique<Rig>();
  return *g_rig;
}

// withRepaint: the time of the insertion and its repaint; else the insertion alone.
void RecordInto(benchmark::State& state, int rows, int selected, bool withRepaint) {
  Rig& rig = Shared();
  rig.Prepare(rows, selected);
  for (auto _ : state) {
    const Rig::Times times = rig.RecordOne();
    state.SetIterationTime(withRepaint ? times.insert + times.repaint : times.insert);
    rig.Undo(selected);
  }
  state.counters["rows"] = rig.view->model()->rowCount();
}

void BM_RecordFirstRow(benchmark::State& state) { RecordInto(state, 0, -1, false); }
// Into the middle: every row after it moves.
void BM_RecordInto1999Rows(benchmark::State& state) { RecordInto(state, 1999, 1000, false); }
// After the last of 1999 rows, as a recording goes on: the list scrolls by a row.
void BM_RecordAfter1999Rows(benchmark::State& state) { RecordInto(state, 1999, 1998, false); }
// With the repaint: the first row paints one row of the list; any longer
// macro a screenful and the scroll bar, whatever its length (30 rows show
// what the length itself costs).
void BM_RecordFirstRowRepainted(benchmark::State& state) { RecordInto(state, 0, -1, true); }
void BM_RecordInto30RowsRepainted(benchmark::State& state) { RecordInto(state, 30, 15, true); }
void BM_RecordInto1999RowsRepainted(benchmark::State& state) {
  RecordInto(state, 1999, 1000, true);
}

BENCHMARK(BM_RecordFirstRow)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordInto1999Rows)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordAfter1999Rows)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordFirstRowRepainted)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordInto30RowsRepainted)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordInto1999RowsRepainted)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Mean time of each benchmark by name.
std::map<std::string, double> g_times;

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) g_times[run.run_name.function_name] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

double Ratio(const char* a, const char* b) {
  const double under = g_times[b];
  return under > 0 ? g_times[a] / under : 0;
}

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
  std::printf(
      "macro recording, insertion: into 1999 rows / first row %.2f (goal <= 2); after the last "
      "of 1999 rows / first row %.2f\n"
      "with the repaint: into 1999 rows / first row %.2f; into 1999 rows / into 30 rows %.2f\n",
      kst::Ratio("BM_RecordInto1999Rows", "BM_RecordFirstRow"),
      kst::Ratio("BM_RecordAfter1999Rows", "BM_RecordFirstRow"),
      kst::Ratio("BM_RecordInto1999RowsRepainted", "BM_RecordFirstRowRepainted"),
      kst::Ratio("BM_RecordInto1999RowsRepainted", "BM_RecordInto30RowsRepainted"));
  return 0;
}
