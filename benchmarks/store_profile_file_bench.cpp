// The working profile file at its largest: SaveWorkingProfile followed by
// LoadProfileFile, against writing and reading back the same number of bytes
// with plain file calls in the same folder. A save flushes its file to disk
// before it replaces the old one, so the plain write is flushed too; the
// unflushed plain write is measured as well to show what the flush costs.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFiles.h"

namespace {

class NoMessageBoxes : public kst::MessageBoxes {
 public:
  bool Show(const QString&, kst::MessageKind) override { return false; }
};

struct Setup {
  QTemporaryDir dir{QDir::tempPath() + "/kst-bench-XXXXXX"};
  kst::Registry registry{dir.filePath("registry.reg")};
  kst::Language language{registry, dir.path(), [] { return std::uint16_t{1033}; }};
  kst::AppPaths paths{dir.path(), dir.filePath("data"), dir.filePath("registry.reg")};
  NoMessageBoxes boxes;
  kst::AssignmentStore store;
  kst::ProfileFiles files{store, paths, language, boxes};
  QString working;
  qint64 fileSize = 0;

  Setup() {
    std::vector<kst::MacroRecord> macros;
    for (std::uint16_t n = 1; n <= kst::kMaxMacroNumber; ++n) {
      kst::MacroRecord r;
      r.SetName(u"Macro " + std::u16string(n % 10 + 1, u'x'));
      r.number = n;
      r.eventCount = kst::kMaxMacroEvents;
      for (int e = 0; e < kst::kMaxMacroEvents; ++e) {
        r.events[e] = {static_cast<std::uint32_t>(10 * (e % 100)),
                       static_cast<kst::KeyIndex>(0x02 + e % 50),
                       static_cast<std::uint16_t>(e % 2)};
      }
      macros.push_back(r);
    }
    store.ReplaceMacroList(macros);
    // A program path or a text on every key slot of every profile.
    for (int p = 0; p < kst::kProfileCount; ++p) {
      for (int slot = 1; slot < 274; ++slot) {
        const auto kind =
            slot % 2 ? kst::AssignmentKind::LaunchProgram : kst::AssignmentKind::TextBlock;
        store.SetAssignment(p, slot, kind, 0,
                            u"/opt/some/program/folder/with/a/long/path/" +
                                std::u16string(slot % 40, u'p') + u".bin");
      }
    }
    working = files.WorkingProfilePath();
    files.WriteDefaultProfileFile(working);
    files.SaveWorkingProfile();
    fileSize = QFileInfo(working).size();
  }
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

void BM_SaveThenLoad(benchmark::State& state) {
  Setup& s = TheSetup();
  for (auto _ : state) {
    if (s.files.SaveWorkingProfile() != 1 || s.files.LoadProfileFile(s.working) != 1) {
      state.SkipWithError("save or load failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * s.fileSize * 2);
}
BENCHMARK(BM_SaveThenLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

void PlainWriteRead(benchmark::State& state, bool flush) {
  Setup& s = TheSetup();
  const std::vector<char> bytes(static_cast<std::size_t>(s.fileSize), 'k');
  std::vector<char> back(bytes.size());
  const QString path = s.dir.filePath("plain.bin");
  for (auto _ : state) {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(bytes.data(), s.fileSize) != s.fileSize || !out.flush() ||
        (flush && ::fsync(out.handle()) != 0)) {
      state.SkipWithError("write failed");
      break;
    }
    out.close();
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly) || in.read(back.data(), s.fileSize) != s.fileSize) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(state.iterations() * s.fileSize * 2);
}
void BM_PlainWriteRead(benchmark::State& state) { PlainWriteRead(state, true); }
void BM_PlainWriteReadUnflushed(benchmark::State& state) { PlainWriteRead(state, false); }
BENCHMARK(BM_PlainWriteRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainWriteReadUnflushed)->Unit(benchmark::kMillisecond)->UseRealTime();

// Remembers each benchmark's time per iteration for the final ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        perIteration[run.run_name.function_name] = run.real_accumulated_time / run.iterations;
      }
    }
  }
  std::map<std::string, double> perIteration;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.perIteration;
  const auto save = t.find("BM_SaveThenLoad");
  const auto plain = t.find("BM_PlainWriteRead");
  const auto unflushed = t.find("BM_PlainWriteReadUnflushed");
  std::printf("file size: %lld bytes\n", static_cast<long long>(TheSetup().fileSize));
  if (save != t.end() && plain != t.end()) {
    const double ratio = save->second / plain->second;
    std::printf(
        "save+load / plain write+read (both flushed to disk) ratio: %.2f (goal: at most 1.5) %s\n",
        ratio, ratio <= 1.5 ? "OK" : "OVER GOAL");
  }
  if (save != t.end() && unflushed != t.end()) {
    std::printf("save+load / plain write+read without flush ratio: %.2f (for reference)\n",
                save->second / unflushed->second);
  }
  benchmark::Shutdown();
  return 0;
}
