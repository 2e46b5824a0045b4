#pragma once

// The program's switches. The two of the original command line ("/Kill",
// "/Start") are compared without regard to case; their long forms and the
// program's own options are accepted beside them. Unknown arguments are
// ignored.

#include <QString>
#include <QStringList>

#include <vector>

namespace kst {

enum class Switch {
  Kill,        // "/Kill", "--kill": tell the running instance to exit, then end
  Start,       // "/Start", "--start": no automatic first show
  Simulate,    // "--simulate": use the simulated keyboard
  ListKeys,    // "--list-keys": print the key table and end
  Screenshot,  // "--screenshot <file>" or "--screenshot=<file>": save the first shown main window
  Diagnose,    // "--diagnose": print why the keyboard answers or not, end with its code
  Help,        // "--help", "-h": print the switches and exit codes and end
};

struct CommandLine {
  // Recognised switches in the order given (a switch given twice is listed twice).
  std::vector<Switch> switches;
  // File of "--screenshot"; empty when not given.
  QString screenshotFile;

  bool Has(Switch s) const;

  // arguments: without the program name.
  static CommandLine Parse(const QStringList& arguments);
};

// What "--help" prints: every switch, and the exit codes of "--diagnose".
QStringList HelpLines();

}  // namespace kst
