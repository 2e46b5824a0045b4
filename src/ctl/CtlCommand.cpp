#include "ctl/CtlCommand.h"

#include "ctl/CtlMessages.h"

#include <QDate>

#include <array>

namespace kst {

namespace {

// The help table is the program's documentation (--help, the manual page) and
// stays English in every language, as manual pages commonly do; the messages
// about what went wrong are the language files' (CtlMessages.h).
constexpr std::array<SubcommandHelp, 7> kSubcommands = {{
    {"status", "status",
     "Shows whether the keyboard is found, its current profile, each profile's effect and "
     "brightness, and the macro space in use.",
     "Without a keyboard it says why none was found and exits with code 6."},
    {"profile", "profile [N]", "Prints the keyboard's current profile, or switches to profile N.",
     "N is 1 to 4, as the window's profile buttons show it. The switch is the window's: the "
     "keyboard changes at once and the window, when it runs, shows the new profile."},
    {"export", "export FILE", "Writes the whole configuration (four profiles, macros) to FILE.",
     "FILE is written as the window's Export writes it, in one piece: an existing file is "
     "replaced only once the new one is complete."},
    {"import", "import FILE",
     "Loads the whole configuration from FILE and writes it to the keyboard.",
     "FILE is checked as the window's Import checks it; a file the window refuses is refused "
     "for the same reason, and then nothing changes on the keyboard or on disk."},
    {"dump", "dump FILE [--json]",
     "Prints a profile file as text, or as JSON with --json. Needs no keyboard.",
     "Lists every key assignment that is not the default, by profile, with the key's name and "
     "the assignment's kind, and every macro with its events."},
    {"lighting",
     "lighting [--profile N] effect NAME|CODE | brightness 0-4 | speed 0-4 | colour RRGGBB",
     "Changes one lighting setting of the current profile, or of profile N, at once.",
     "effect takes an effect's name from the language file (spaces written as hyphens, e.g. "
     "Spectrum-cycle) or its number; brightness and speed take 0 to 4 (4 the brightest, the "
     "fastest); colour takes a hexadecimal red, green, blue triple such as ff8000."},
    {"assign", "assign KEY single KEY2 | media NAME | function NAME | macro NAME | default",
     "Assigns an action to a key of the current profile and writes the profile to the keyboard, "
     "as Apply does.",
     "KEY is a key of the keyboard (e.g. Caps-Lock, F5, Num-7) or a G key (G1-G9 of bank A, "
     "G1B-G9B of bank B). single makes it send KEY2; media a media key (e.g. Mute, V+); function "
     "an editing function (e.g. copy, paste); macro plays the macro of that name; default gives "
     "the key back its own action."},
}};

constexpr std::array<ExitCodeHelp, 10> kExitCodes = {{
    {CtlExit::Ok, "success"},
    {CtlExit::Usage, "unknown sub-command or option, a missing or an extra argument"},
    {CtlExit::BadValue,
     "unknown key, effect, media, function or macro name, or a number out of range"},
    {CtlExit::FileRefused, "the profile file is empty, damaged or not a profile file"},
    {CtlExit::FileAccess, "the file is missing, is a folder, cannot be read, or cannot be written"},
    {CtlExit::NoKeyboard, "no keyboard found"},
    {CtlExit::KeyboardFailed, "the keyboard did not take or give what was asked"},
    {CtlExit::NoAnswer,
     "the running utility did not answer within 5 seconds (60 seconds for import and assign)"},
    {CtlExit::Busy, "another kestrunectl is running"},
    {CtlExit::Refused, "the running utility's socket is not this user's alone"},
}};

const SubcommandHelp* Find(const QString& name) {
  for (const SubcommandHelp& help : kSubcommands) {
    if (name == QLatin1String(help.name)) return &help;
  }
  return nullptr;
}

CtlResult UsageError(Language* language, const CtlMessageText& text,
                     const QStringList& arguments = {}) {
  CtlResult result;
  result.exit = CtlExit::Usage;
  result.error = CtlMessage(language, text, arguments) + QStringLiteral(" (") +
                 CtlMessage(language, ctl_text::kSeeHelp) + QLatin1Char(')');
  return result;
}

// Operands each sub-command takes: {least, most}.
std::pair<int, int> OperandCount(const QString& verb, const QStringList& operands) {
  if (verb == QLatin1String("status")) return {0, 0};
  if (verb == QLatin1String("profile")) return {0, 1};
  if (verb == QLatin1String("export") || verb == QLatin1String("import") ||
      verb == QLatin1String("dump"))
    return {1, 1};
  if (verb == QLatin1String("lighting")) return {2, 2};
  if (verb == QLatin1String("assign")) {
    if (operands.size() >= 2 && operands[1] == QLatin1String("default")) return {2, 2};
    return {3, 3};
  }
  return {0, 0};
}

}  // namespace

std::span<const SubcommandHelp> SubcommandHelps() { return kSubcommands; }
std::span<const ExitCodeHelp> ExitCodeHelps() { return kExitCodes; }

QString UsageText() {
  QString text = QStringLiteral(
      "Usage: kestrunectl [--simulate] COMMAND [ARGUMENTS]\n"
      "Configures the keyboard from the command line, through the running utility when it "
      "runs.\n\nCommands:\n");
  for (const SubcommandHelp& help : kSubcommands) {
    text += QStringLiteral("  kestrunectl %1\n      %2\n")
                .arg(QLatin1String(help.synopsis), QString::fromUtf8(help.summary));
  }
  text +=
      QStringLiteral("\n'kestrunectl COMMAND --help' tells more about a command.\n\nExit codes:\n");
  for (const ExitCodeHelp& code : kExitCodes) {
    text +=
        QStringLiteral("  %1  %2\n").arg(ExitCode(code.code), 2).arg(QLatin1String(code.meaning));
  }
  return text;
}

QString SubcommandHelpText(const QString& name) {
  const SubcommandHelp* help = Find(name);
  if (help == nullptr) return {};
  QString text = QStringLiteral("Usage: kestrunectl %1\n%2\n\n%3\n")
                     .arg(QLatin1String(help->synopsis), QString::fromUtf8(help->summary),
                          QString::fromUtf8(help->details));
  text += QStringLiteral("\nExit codes: see kestrunectl --help.\n");
  return text;
}

namespace {

// Text for a troff line: backslashes doubled, a leading dot or quote escaped.
QString Troff(QString text) {
  text.replace(QLatin1Char('\\'), QStringLiteral("\\e"));
  text.replace(QLatin1Char('-'), QStringLiteral("\\-"));
  if (text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('\'')))
    text.prepend(QStringLiteral("\\&"));
  return text;
}

}  // namespace

QString ManPage(const QString& version) {
  QString page = QStringLiteral(
                     ".TH KESTRUNECTL 1 \"\" \"kestrune %1\" \"User Commands\"\n"
                     ".SH NAME\nkestrunectl \\- configure the Z\\-ORMIT M350RGB keyboard from the "
                     "command line\n"
                     ".SH SYNOPSIS\n")
                     .arg(version);
  for (const SubcommandHelp& help : kSubcommands) {
    page += QStringLiteral(".B kestrunectl\n%1\n.br\n").arg(Troff(QLatin1String(help.synopsis)));
  }
  page += QStringLiteral(
      ".SH DESCRIPTION\n"
      "With the utility's window process running, every command is carried out by it, and the "
      "window shows the change at once; otherwise kestrunectl opens the keyboard itself. Both "
      "ways give the same result and exit code. "
      "\\fB\\-\\-simulate\\fR (or KESTRUNE_DEVICE=sim) uses the simulated keyboard. Error "
      "messages come on standard error, in the utility's language where it has the text.\n"
      ".SH COMMANDS\n");
  for (const SubcommandHelp& help : kSubcommands) {
    page += QStringLiteral(".TP\n.B %1\n%2\n")
                .arg(Troff(QLatin1String(help.synopsis)), Troff(QString::fromUtf8(help.summary)));
    for (const QString& paragraph : QString::fromUtf8(help.details).split(QStringLiteral("\n\n")))
      page += QStringLiteral(".IP\n%1\n").arg(Troff(paragraph));
  }
  page += QStringLiteral(".SH EXIT STATUS\n");
  for (const ExitCodeHelp& code : kExitCodes) {
    page += QStringLiteral(".TP\n.B %1\n%2\n")
                .arg(ExitCode(code.code))
                .arg(Troff(QLatin1String(code.meaning)));
  }
  page += QStringLiteral(
      ".SH EXAMPLES\n.nf\nkestrunectl profile 2\nkestrunectl lighting effect Breathing\n"
      "kestrunectl lighting \\-\\-profile 3 colour ff8000\nkestrunectl assign Caps\\-Lock single "
      "Esc\nkestrunectl export ~/keyboard.kst\nkestrunectl dump ~/keyboard.kst \\-\\-json\n.fi\n"
      ".SH SEE ALSO\n.BR kestrune (1)\n");
  return page;
}

std::optional<CtlRequest> ParseCtlArguments(const QStringList& arguments, CtlResult& result,
                                            Language* language) {
  result = {};
  if (arguments.isEmpty()) {
    result = UsageError(language, ctl_text::kNoCommand);
    return std::nullopt;
  }
  CtlRequest request;
  request.verb = arguments.first();
  if (Find(request.verb) == nullptr) {
    result = UsageError(language, ctl_text::kUnknownCommand, {request.verb});
    return std::nullopt;
  }
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
      result.out = SubcommandHelpText(request.verb);
      return std::nullopt;
    }
    if (argument == QLatin1String("--json") && request.verb == QLatin1String("dump")) {
      request.json = true;
    } else if (argument == QLatin1String("--profile") &&
               request.verb == QLatin1String("lighting")) {
      if (++i >= arguments.size()) {
        result = UsageError(language, ctl_text::kProfileNeedsNumber);
        return std::nullopt;
      }
      bool ok = false;
      const int profile = arguments[i].toInt(&ok);
      if (!ok || profile < 1 || profile > 4) {
        result.exit = CtlExit::BadValue;
        result.error = CtlMessage(language, ctl_text::kProfileRange, {arguments[i]});
        return std::nullopt;
      }
      request.profile = profile - 1;
    } else if (argument.startsWith(QLatin1String("--")) && argument.size() > 2) {
      result = UsageError(language, ctl_text::kUnknownOption, {request.verb, argument});
      return std::nullopt;
    } else {
      request.operands << argument;
    }
  }
  const auto [least, most] = OperandCount(request.verb, request.operands);
  if (request.operands.size() < least) {
    result = UsageError(language, ctl_text::kMissingArgument, {request.verb});
    return std::nullopt;
  }
  if (request.operands.size() > most) {
    result =
        UsageError(language, ctl_text::kUnexpectedArgument, {request.verb, request.operands[most]});
    return std::nullopt;
  }
  return request;
}

int CtlReplyLimitMs(const CtlRequest& request) {
  return request.verb == QLatin1String("import") || request.verb == QLatin1String("assign")
             ? kCtlUploadReplyMs
             : kCtlReplyMs;
}

QStringList RequestArguments(const CtlRequest& request) {
  QStringList arguments{request.verb};
  if (request.profile >= 0)
    arguments << QStringLiteral("--profile") << QString::number(request.profile + 1);
  arguments << request.operands;
  if (request.json) arguments << QStringLiteral("--json");
  return arguments;
}

}  // namespace kst
