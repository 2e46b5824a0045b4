#pragma once

// The command line of kestrunectl: its sub-commands, their help (one table
// that --help, the manual page and the completion's word lists are made
// from) and the parser.

#include <QString>
#include <QStringList>

#include <optional>
#include <span>

#include "ctl/CtlExit.h"

namespace kst {

struct SubcommandHelp {
  const char* name;
  const char* synopsis;  // after "kestrunectl "
  const char* summary;   // one line
  const char* details;   // paragraphs separated by "\n\n"
};
std::span<const SubcommandHelp> SubcommandHelps();

struct ExitCodeHelp {
  CtlExit code;
  const char* meaning;
};
std::span<const ExitCodeHelp> ExitCodeHelps();

// "kestrunectl --help": synopsis of every sub-command and the exit codes.
QString UsageText();
// "kestrunectl NAME --help"; empty for an unknown name.
QString SubcommandHelpText(const QString& name);
// The manual page (troff, man(7) macros) from the same table.
QString ManPage(const QString& version);

// What a sub-command's outcome gives the caller: the exit code, what goes to
// stdout and the one line for stderr (empty on success).
struct CtlResult {
  CtlExit exit = CtlExit::Ok;
  QString out;
  QString error;
};

struct CtlRequest {
  QString verb;          // one of the table's names
  QStringList operands;  // the rest, options removed
  bool json = false;     // dump --json
  int profile = -1;      // lighting --profile N, 0-3; -1: the current one
};

class Language;

// Parses the arguments after the program name. nullopt with result set for
// help texts (exit 0) and usage errors (exit 2), the errors in language's
// language when given; the options --help, --simulate, --manpage and
// --complete are the caller's before this.
std::optional<CtlRequest> ParseCtlArguments(const QStringList& arguments, CtlResult& result,
                                            Language* language = nullptr);

// How long the running utility may take to answer a request: import and
// assign end with the upload of the whole configuration (macros included),
// which may take far longer than a setting does.
inline constexpr int kCtlReplyMs = 5000;
inline constexpr int kCtlUploadReplyMs = 60000;
int CtlReplyLimitMs(const CtlRequest& request);

// Flattens a request back into arguments (what is sent to the running
// utility); ParseCtlArguments gives the same request back.
QStringList RequestArguments(const CtlRequest& request);

}  // namespace kst
