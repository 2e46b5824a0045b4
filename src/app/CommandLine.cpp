#include "app/CommandLine.h"

#include <algorithm>

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

}  // namespace kst
