#include "ctl/CtlMessages.h"

#include <array>

#include "foundation/Language.h"

namespace kst {

namespace {

using namespace ctl_text;

constexpr std::array kTexts = {
    kSeeHelp,
    kNoCommand,
    kUnknownCommand,
    kUnknownOption,
    kMissingArgument,
    kUnexpectedArgument,
    kProfileNeedsNumber,
    kProfileRange,
    kBrightnessRange,
    kSpeedRange,
    kNotColour,
    kUnknownSetting,
    kUnknownEffect,
    kUnknownKey,
    kUnknownMedia,
    kUnknownFunction,
    kUnknownMacro,
    kUnknownKind,
    kKeyboardNoAnswer,
    kKeyboardNoSwitch,
    kKeyboardNoProfile,
    kKeyboardNoLighting,
    kAssignmentNotTaken,
    kConfigurationNotTaken,
    kFileMissing,
    kFileNotRegular,
    kFileUnreadable,
    kFileUnwritable,
    kNoKeyboard,
    kLibraryNotArmed,
    kBusy,
    kSocketRefused,
    kNoAnswer,
};

}  // namespace

std::span<const CtlMessageText> CtlMessageTexts() { return kTexts; }

QString CtlMessage(Language* language, const CtlMessageText& text, const QStringList& arguments) {
  QString pattern;
  if (language != nullptr) pattern = language->LoadLangText(QLatin1String(text.key));
  if (pattern.isEmpty() || pattern == QLatin1String("#Error"))
    pattern = QString::fromUtf8(text.english);
  QString line;
  line.reserve(pattern.size());
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    const QChar c = pattern[i];
    if (c == QLatin1Char('%') && i + 1 < pattern.size()) {
      const int n = pattern[i + 1].digitValue();
      if (n >= 1 && n <= arguments.size()) {
        line += arguments[n - 1];
        ++i;
        continue;
      }
    }
    line += c;
  }
  return line;
}

}  // namespace kst
