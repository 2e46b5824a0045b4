#include "app/CommandLine.h"

#include <algorithm>

#include "device/diagnosis/KeyboardDiagnosis.h"

namespace kst {

bool CommandLine::Has(Switch s) const {
  return std::find(switches.begin(), switches.end(), s) != switches.end();
}

CommandLine CommandLine::Parse(const QStringList& arguments) {
  CommandLine line;
  const QString screenshotPrefix = QStringLiteral("--screenshot=");
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    const auto is = [&a](const char* word) {
      return a.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    };
    if (is("/Kill") || a == QLatin1String("--kill")) {
      line.switches.push_back(Switch::Kill);
    } else if (is("/Start") || a == QLatin1String("--start")) {
      line.switches.push_back(Switch::Start);
    } else if (a == QLatin1String("--simulate")) {
      line.switches.push_back(Switch::Simulate);
    } else if (a == QLatin1String("--list-keys")) {
      line.switches.push_back(Switch::ListKeys);
    } else if (a == QLatin1String("--diagnose")) {
      line.switches.push_back(Switch::Diagnose);
    } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      line.switches.push_back(Switch::Help);
    } else if (a.startsWith(screenshotPrefix)) {
      line.switches.push_back(Switch::Screenshot);
      line.screenshotFile = a.mid(screenshotPrefix.size());
    } else if (a == QLatin1String("--screenshot") && i + 1 < arguments.size()) {
      line.switches.push_back(Switch::Screenshot);
      line.screenshotFile = arguments[++i];
    }
  }
  if (line.screenshotFile.isEmpty()) {
    line.switches.erase(std::remove(line.switches.begin(), line.switches.end(), Switch::Screenshot),
                        line.switches.end());
  }
  return line;
}

QStringList HelpLines() {
  QStringList lines = {
      QStringLiteral("Usage: kestrune [switch]"),
      QStringLiteral("Configuration utility of the Z-ORMIT M350RGB keyboard."),
      QString(),
      QStringLiteral("  /Start, --start        start without showing the window (at log-in)"),
      QStringLiteral("  /Kill, --kill          end the running instance"),
      QStringLiteral(
          "  --simulate             use the simulated keyboard (or KESTRUNE_DEVICE=sim)"),
      QStringLiteral("  --list-keys            print the key table and end"),
      QStringLiteral("  --screenshot <file>    save a picture of the main window once shown"),
      QStringLiteral("  --diagnose             print why the keyboard answers or not, without"),
      QStringLiteral("                         a window or display, and end with the exit code"),
      QStringLiteral("  --help, -h             print this text and end"),
      QString(),
      QStringLiteral("Exit codes of --diagnose:"),
  };
  for (const QString& line : DiagnosisExitCodeLines()) lines << QStringLiteral("  ") + line;
  return lines;
}

}  // namespace kst
