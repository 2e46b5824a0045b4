#pragma once

// Why the keyboard answers or not: the service library, the keyboard's
// hidraw nodes (mode, owner, whether this user opens them), the udev rule
// and one settings read, with the one cause they point to. Used by
// "kestrune --diagnose", the command-line tool and the main window's
// no-keyboard prompt. Nothing here needs a display.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "device/ServiceLibrary.h"

namespace kst {

enum class DiagnosisCause {
  KeyboardAnswers,       // the settings read succeeded
  NoServiceLibrary,      // the service library cannot be loaded or started
  NoKeyboardInterfaces,  // no interface of the keyboard is present
  NoPermission,          // interfaces are present, this user may not open them
  NoAnswer,              // the keyboard opens but the settings read fails
};

// The process exit code of each cause: 0 only for KeyboardAnswers.
int DiagnosisExitCode(DiagnosisCause cause);
// One line per cause for --help: "<code>  <what it means>".
QStringList DiagnosisExitCodeLines();

struct HidrawNodeReport {
  QString path;            // /dev/hidrawN, or the path the library names
  std::uint32_t mode = 0;  // permission bits (07777); 0 when it cannot be seen
  QString owner;           // user name, or the number when it has none
  QString group;           // group name, or the number
  bool opens = false;      // this user opened it for reading and writing
  QString error;           // why it does not open; empty when it does
  bool matches = false;    // it belongs to the keyboard (vendor and product)
};

struct DiagnosisReport {
  QString serviceLibrary;       // the file asked for
  QString serviceLibraryError;  // empty when it loaded and started
  std::vector<HidrawNodeReport> nodes;
  QString udevRule;  // where the rule was found; empty when missing
  bool udevRuleFound = false;
  QString udevRuleFix;   // the command that installs the rule and applies it
  QString settingsRead;  // what the one settings read gave
  DiagnosisCause cause = DiagnosisCause::NoServiceLibrary;

  int ExitCode() const { return DiagnosisExitCode(cause); }
};

using ServiceLoader =
    std::function<ServiceBinding(const std::filesystem::path& folder, std::string_view file)>;

// Another process of this user that holds the keyboard (the running
// utility): the keyboard takes one command sequence at a time, so the
// diagnosis asks it instead of reading the keyboard itself.
struct KeyboardOwner {
  qint64 pid = 0;
  // Whether the owner has the keyboard connected; nullopt when it did not say.
  std::optional<bool> connected;
};

struct DiagnosisInputs {
  QString sysfsRoot = QStringLiteral("/sys");
  QString devRoot = QStringLiteral("/dev");
  // Folders udev reads rules from, first match wins.
  QStringList udevRuleFolders = {
      QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/run/udev/rules.d"),
      QStringLiteral("/usr/lib/udev/rules.d"), QStringLiteral("/lib/udev/rules.d")};
  QString executableFolder;  // holds the service library; decides the fix command
  QString serviceLibraryFile = QString::fromLatin1(kServiceLibraryName);
  ServiceLoader load = BindServiceLibrary;
  // Set when the keyboard has an owner: no settings read is made then.
  std::optional<KeyboardOwner> owner;
};

// Loads and starts the service library, looks at the nodes and the rule and,
// when the library sees the keyboard, reads its settings once. The library
// is ended again before this returns.
DiagnosisReport DiagnoseKeyboard(const DiagnosisInputs& inputs);

// The report as "kestrune --diagnose" prints it, one line per entry.
QStringList DiagnosisLines(const DiagnosisReport& report);

// For a program that has its service library bound but sees no keyboard:
// NoPermission when an interface of the keyboard is present but refuses
// this user (as sysfs shows it, or as the library's optional node states
// say), otherwise NoKeyboardInterfaces. Cheap: no exchange with the keyboard.
DiagnosisCause NotFoundCause(const TolvaneApi& api,
                             const QString& sysfsRoot = QStringLiteral("/sys"),
                             const QString& devRoot = QStringLiteral("/dev"));

// The shell command that installs the shipped udev rule where udev reads it
// and applies it to a keyboard already plugged in, for a program whose
// executable lies in executableFolder (installed under a prefix, or in the
// build tree).
QString UdevRuleFixCommand(const QString& executableFolder);

}  // namespace kst
