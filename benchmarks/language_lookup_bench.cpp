// Cost of a text lookup in an unchanged language file compared with the one
// stat() of that file the lookup cannot avoid.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "foundation/Language.h"
#include "platform/Registry.h"

namespace {

struct Fixture {
  QTemporaryDir dir;
  std::unique_ptr<kst::Registry> registry;
  std::unique_ptr<kst::Language> language;
  QByteArray encodedLangFile;

  Fixture() {
    // A language file of about the size the program ships: a few hundred keys.
    QByteArray text = "\xEF\xBB\xBF[TEXT]\r\n";
    for (int i = 0; i < 400; ++i) {
      text += "IDS_KEYBOARD_KEY_" + QByteArray::number(i) + "=Key name number " +
              QByteArray::number(i) + "\r\n";
    }
    text += "IDS_MAIN_CAPTION=Z-ORMIT M350RGB Keyboard\r\n[Mode]\r\n1=Wave\r\n";
    const QString path = dir.filePath("Lang0409.ini");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) std::abort();
    file.close();
    encodedLangFile = QFile::encodeName(path);
    registry = std::make_unique<kst::Registry>(dir.filePath("registry.reg"));
    language =
        std::make_unique<kst::Language>(*registry, dir.path(), [] { return std::uint16_t{1033}; });
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_LoadLangText(benchmark::State& state) {
  const kst::Language& language = *Shared().language;
  const QString key = QStringLiteral("IDS_KEYBOARD_KEY_200");
  if (language.LoadLangText(key, 1) != QStringLiteral("Key name number 200")) {
    state.SkipWithError("lookup gave the wrong text");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(language.LoadLangText(key, 1));
}
BENCHMARK(BM_LoadLangText);

void BM_StatLanguageFile(benchmark::State& state) {
  const char* path = Shared().encodedLangFile.constData();
  struct stat st {};
  for (auto _ : state) benchmark::DoNotOptimize(::stat(path, &st));
}
BENCHMARK(BM_StatLanguageFile);

// Remembers each benchmark's time per iteration for the final ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (!run.error_occurred) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto lookup = reporter.times.find("BM_LoadLangText");
  const auto stat = reporter.times.find("BM_StatLanguageFile");
  if (lookup != reporter.times.end() && stat != reporter.times.end() && stat->second > 0) {
    const double ratio = lookup->second / stat->second;
    std::printf("LoadLangText / stat ratio: %.2f (goal: at most 3) %s\n", ratio,
                ratio <= 3.0 ? "OK" : "OVER GOAL");
  }
  return 0;
}
