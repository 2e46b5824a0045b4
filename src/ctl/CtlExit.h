#pragma once

// Exit codes of kestrunectl: one per kind of failure, documented in its help
// and manual page (ExitCodeHelp). Scripts test them, so the numbers never change.

namespace kst {

enum class CtlExit : int {
  Ok = 0,
  Usage = 2,           // unknown sub-command or option, missing or extra argument
  BadValue = 3,        // unknown key, effect, media, function or macro name; number out of range
  FileRefused = 4,     // a profile file that is empty, damaged or not a profile file
  FileAccess = 5,      // a file that is missing, a folder, unreadable, or cannot be written
  NoKeyboard = 6,      // no keyboard found
  KeyboardFailed = 7,  // the keyboard did not take or give what was asked
  NoAnswer = 8,        // the running utility did not answer in time (CtlReplyLimitMs)
  Busy = 9,            // another kestrunectl is running
  Refused = 10,        // the utility's socket is not this user's alone
};

constexpr int ExitCode(CtlExit exit) { return static_cast<int>(exit); }

}  // namespace kst
