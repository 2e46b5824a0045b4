#include "lighting/ModeFile.h"

#include <algorithm>
#include <array>

#include "foundation/IniFile.h"

namespace kst {
namespace {

// Value buffer of every mode file lookup, in characters with the terminator.
constexpr int kModeValueChars = 260;

// Reads up to values.size() comma-separated decimal numbers the way "%d,%d,..."
// scans them: leading blanks and a sign allowed, reading stops at the first
// field that does not start with a number or is not followed by a comma.
// Fields not read keep their value; read ones are clamped to 0-255.
void ScanNumbers(const QString& text, std::span<int> values) {
  qsizetype at = 0;
  const qsizetype end = text.size();
  for (std::size_t field = 0; field < values.size(); ++field) {
    if (field > 0) {
      if (at >= end || text[at] != u',') return;
      ++at;
    }
    while (at < end && text[at].isSpace()) ++at;
    bool negative = false;
    if (at < end && (text[at] == u'-' || text[at] == u'+')) negative = text[at++] == u'-';
    const qsizetype digits = at;
    long long value = 0;
    while (at < end && text[at] >= u'0' && text[at] <= u'9') {
      value = std::min<long long>(value * 10 + (text[at].unicode() - u'0'), 1000);
      ++at;
    }
    if (at == digits) return;
    values[field] = negative ? 0 : static_cast<int>(std::min<long long>(value, 255));
  }
}

QString Read(const QString& file, const QString& section, const QString& key,
             const QString& defaultValue) {
  return ReadProfileString(file, section, key, defaultValue, kModeValueChars);
}

}  // namespace

QString ModeFilePath(const QString& dataFolder, int profile) {
  return dataFolder + QStringLiteral("/UserDengColor_") + QString::number(profile) +
         QStringLiteral(".userd");
}

ModeKeyEntry ParseModeKeyEntry(const QString& value) {
  std::array<int, 4> n = {255, 0, 0, 1};
  ScanNumbers(value, n);
  return {MakeColorRef(static_cast<std::uint8_t>(n[0]), static_cast<std::uint8_t>(n[1]),
                       static_cast<std::uint8_t>(n[2])),
          n[3] != 0};
}

ColorRef ParseModeColour(const QString& value) {
  std::array<int, 3> n = {0, 0, 0};
  ScanNumbers(value, n);
  return MakeColorRef(static_cast<std::uint8_t>(n[0]), static_cast<std::uint8_t>(n[1]),
                      static_cast<std::uint8_t>(n[2]));
}

void LoadUserMode(const QString& modeFile, std::span<const int> leds, LightingState& state,
                  KeyColourTable& table) {
  bool ok = false;
  const int mode =
      Read(modeFile, QStringLiteral("PRESENTMODE"), QStringLiteral("mode"), QStringLiteral("0"))
          .trimmed()
          .toInt(&ok);
  state.userMode = ok ? mode : 0;
  const QString section = QStringLiteral("Mode%1").arg(state.userMode);
  const int tool = Read(modeFile, section, QStringLiteral("tool"), QStringLiteral("0")).toInt();
  state.tool = tool == 1 ? 1 : 0;
  state.baseColour =
      ParseModeColour(Read(modeFile, section, QStringLiteral("jcolor"), QStringLiteral("0,0,0")));
  state.paintColour =
      ParseModeColour(Read(modeFile, section, QStringLiteral("color"), QStringLiteral("0,0,0")));
  for (const int led : leds) {
    if (led < 0 || led >= kLedPositionCount) continue;
    const ModeKeyEntry entry = ParseModeKeyEntry(
        Read(modeFile, section, QString::number(led), QStringLiteral("255,0,0,1")));
    table.SetColour(state.activeProfile, led, entry.colour);
    table.SetBaseFlag(state.activeProfile, led, entry.base);
  }
}

}  // namespace kst
