// kestrunectl, process start to exit, on the simulated keyboard at 1 ms per
// report each way. status: against the reports it exchanged (counted in the
// simulated keyboard's capture) x 2 ms plus a bare start of the same program
// with --help. dump: the largest profile file (100 macros of 2000 events, an
// assignment on every key) against a bare start plus reading the file and
// printing the same number of lines.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "store/AssignmentStore.h"
#include "store/ProfileFiles.h"

namespace {

using namespace kst;

constexpr double kReportMs = 2.0;

struct Env {
  QTemporaryDir dir;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  Env() {
    env.insert("HOME", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    env.insert("XDG_CACHE_HOME", dir.filePath("cache"));
    env.remove("XDG_RUNTIME_DIR");
    env.insert("KESTRUNE_SIM_STATE", dir.filePath("kb.bin"));
    env.insert("KESTRUNE_SIM_SOCKET", "off");
    env.insert("KESTRUNE_SIM_LATENCY_US", "1000");
    env.insert("KESTRUNE_DEVICE", "sim");
  }
  // Wall time of one run in ms; output to outFile when given.
  double Run(const QStringList& arguments, const QString& outFile = {}) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(outFile.isEmpty() ? QProcess::nullDevice() : outFile);
    const auto start = std::chrono::steady_clock::now();
    process.start(KST_BIN_DIR "/kestrunectl", arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return -1;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
  }
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

void BM_StatusWithoutWindow(benchmark::State& state) {
  Env e;
  const QString capture = e.dir.filePath("capture.txt");
  std::vector<double> status, help;
  long reports = 0;
  for (auto _ : state) {
    QFile::remove(capture);
    e.env.insert("KESTRUNE_CAPTURE", capture);
    const double ms = e.Run({"status"});
    e.env.remove("KESTRUNE_CAPTURE");
    const double bare = e.Run({"--help"});
    if (ms < 0 || bare < 0) {
      state.SkipWithError("kestrunectl failed");
      return;
    }
    QFile file(capture);
    reports = 0;
    if (file.open(QIODevice::ReadOnly)) {
      while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (line.contains(" > CTRL")) ++reports;
      }
    }
    status.push_back(ms);
    help.push_back(bare);
  }
  const double expected = static_cast<double>(reports) * kReportMs + Median(help);
  const double ratio = Median(status) / expected;
  state.counters["ratio"] = ratio;
  std::printf(
      "status: %.1f ms for %ld reports; reports x 2 ms + bare start (%.1f ms) = %.1f ms, "
      "ratio %.3f (goal <= 1.5)\n",
      Median(status), reports, Median(help), expected, ratio);
}
BENCHMARK(BM_StatusWithoutWindow)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_DumpLargestFile(benchmark::State& state) {
  Env e;
  const QString path = e.dir.filePath("largest.kst");
  {
    AssignmentStore store;
    std::vector<MacroRecord> macros;
    for (std::uint16_t n = 1; n <= kMaxMacroNumber; ++n) {
      MacroRecord r;
      r.SetName(u"Macro " + std::u16string(n % 10 + 1, u'x'));
      r.number = n;
      r.eventCount = kMaxMacroEvents;
      for (int e2 = 0; e2 < kMaxMacroEvents; ++e2)
        r.events[static_cast<std::size_t>(e2)] = {10, static_cast<KeyIndex>(0x02 + e2 % 50),
                                                  static_cast<std::uint16_t>(e2 % 2)};
      macros.push_back(r);
    }
    store.ReplaceMacroList(macros);
    for (int p = 0; p < kProfileCount; ++p)
      for (int slot = 1; slot < 274; ++slot)
        store.SetAssignment(p, slot, AssignmentKind::PlayMacro, 1 + slot % 100);
    std::lock_guard lock(store.Lock());
    const std::vector<std::uint8_t> text = store.PrepareForWrite();
    std::vector<std::uint8_t> image(store.Block().begin(), store.Block().end());
    image.insert(image.end(), store.MacroArray().begin(), store.MacroArray().end());
    image.insert(image.end(), text.begin(), text.end());
    if (!WriteProfileImage(path, image, nullptr)) {
      state.SkipWithError("cannot write the file");
      return;
    }
  }
  const QString out = e.dir.filePath("dump.txt");
  std::vector<double> dump, baseline;
  for (auto _ : state) {
    const double ms = e.Run({"dump", path}, out);
    const double bare = e.Run({"--help"});
    QFile printed(out);
    if (ms < 0 || bare < 0 || !printed.open(QIODevice::ReadOnly)) {
      state.SkipWithError("kestrunectl failed");
      return;
    }
    const QList<QByteArray> lines = printed.readAll().split('\n');
    // The same work done plainly: read the file, print as many lines.
    const auto start = std::chrono::steady_clock::now();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    benchmark::DoNotOptimize(bytes.data());
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (const QByteArray& line : lines) std::fprintf(sink, "%s\n", line.constData());
    std::fclose(sink);
    const double plain =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    dump.push_back(ms);
    baseline.push_back(bare + plain);
  }
  const double ratio = Median(dump) / Median(baseline);
  state.counters["ratio"] = ratio;
  std::printf(
      "dump: %.1f ms; bare start + read + print the same lines %.1f ms, ratio %.3f "
      "(goal <= 2)\n",
      Median(dump), Median(baseline), ratio);
}
BENCHMARK(BM_DumpLargestFile)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
