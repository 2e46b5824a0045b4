#pragma once

// kestrunectl's messages on stderr, in the language the window would show:
// each has a text key of the language files and its English text, which is
// what a file without the key gives. "%1", "%2" in a text take arguments.

#include <QString>
#include <QStringList>

#include <span>

namespace kst {

class Language;

struct CtlMessageText {
  const char* key;
  const char* english;
};

namespace ctl_text {
inline constexpr CtlMessageText kSeeHelp{"IDS_CTL_SEE_HELP", "see kestrunectl --help"};
inline constexpr CtlMessageText kNoCommand{"IDS_CTL_NO_COMMAND", "no command given"};
inline constexpr CtlMessageText kUnknownCommand{"IDS_CTL_UNKNOWN_COMMAND", "unknown command: %1"};
inline constexpr CtlMessageText kUnknownOption{"IDS_CTL_UNKNOWN_OPTION",
                                               "unknown option for %1: %2"};
inline constexpr CtlMessageText kMissingArgument{"IDS_CTL_MISSING_ARGUMENT",
                                                 "%1: missing argument"};
inline constexpr CtlMessageText kUnexpectedArgument{"IDS_CTL_UNEXPECTED_ARGUMENT",
                                                    "%1: unexpected argument: %2"};
inline constexpr CtlMessageText kProfileNeedsNumber{"IDS_CTL_PROFILE_NEEDS_NUMBER",
                                                    "--profile needs a number 1-4"};
inline constexpr CtlMessageText kProfileRange{"IDS_CTL_PROFILE_RANGE",
                                              "profile out of range (1-4): %1"};
inline constexpr CtlMessageText kBrightnessRange{"IDS_CTL_BRIGHTNESS_RANGE",
                                                 "brightness out of range (0-4): %1"};
inline constexpr CtlMessageText kSpeedRange{"IDS_CTL_SPEED_RANGE", "speed out of range (0-4): %1"};
inline constexpr CtlMessageText kNotColour{"IDS_CTL_NOT_COLOUR", "not a colour RRGGBB: %1"};
inline constexpr CtlMessageText kUnknownSetting{
    "IDS_CTL_UNKNOWN_SETTING", "lighting: unknown setting: %1 (effect, brightness, speed, colour)"};
inline constexpr CtlMessageText kUnknownEffect{"IDS_CTL_UNKNOWN_EFFECT", "unknown effect: %1"};
inline constexpr CtlMessageText kUnknownKey{"IDS_CTL_UNKNOWN_KEY", "unknown key: %1"};
inline constexpr CtlMessageText kUnknownMedia{"IDS_CTL_UNKNOWN_MEDIA", "unknown media key: %1"};
inline constexpr CtlMessageText kUnknownFunction{"IDS_CTL_UNKNOWN_FUNCTION",
                                                 "unknown function: %1"};
inline constexpr CtlMessageText kUnknownMacro{"IDS_CTL_UNKNOWN_MACRO", "unknown macro: %1"};
inline constexpr CtlMessageText kUnknownKind{
    "IDS_CTL_UNKNOWN_KIND", "assign: unknown kind: %1 (single, media, function, macro, default)"};
inline constexpr CtlMessageText kKeyboardNoAnswer{"IDS_CTL_KEYBOARD_NO_ANSWER",
                                                  "the keyboard did not answer (result %1)"};
inline constexpr CtlMessageText kKeyboardNoSwitch{
    "IDS_CTL_KEYBOARD_NO_SWITCH", "the keyboard did not switch its profile (result %1)"};
inline constexpr CtlMessageText kKeyboardNoProfile{
    "IDS_CTL_KEYBOARD_NO_PROFILE", "the keyboard did not name its profile (result %1)"};
inline constexpr CtlMessageText kKeyboardNoLighting{
    "IDS_CTL_KEYBOARD_NO_LIGHTING", "the keyboard did not take the lighting (result %1)"};
inline constexpr CtlMessageText kAssignmentNotTaken{"IDS_CTL_ASSIGNMENT_NOT_TAKEN",
                                                    "the keyboard did not take the assignment"};
inline constexpr CtlMessageText kConfigurationNotTaken{
    "IDS_CTL_CONFIGURATION_NOT_TAKEN", "the keyboard did not take the configuration"};
inline constexpr CtlMessageText kFileMissing{"IDS_CTL_FILE_MISSING", "%1: does not exist"};
inline constexpr CtlMessageText kFileNotRegular{"IDS_CTL_FILE_NOT_REGULAR",
                                                "%1: not a regular file"};
inline constexpr CtlMessageText kFileUnreadable{"IDS_CTL_FILE_UNREADABLE", "%1: cannot be read"};
inline constexpr CtlMessageText kFileUnwritable{"IDS_CTL_FILE_UNWRITABLE", "%1: cannot be written"};
inline constexpr CtlMessageText kNoKeyboard{"IDS_CTL_NO_KEYBOARD", "keyboard not found"};
inline constexpr CtlMessageText kLibraryNotArmed{"IDS_CTL_LIBRARY_NOT_ARMED",
                                                 "the keyboard's service library cannot be armed"};
inline constexpr CtlMessageText kBusy{"IDS_CTL_BUSY", "another kestrunectl is running"};
inline constexpr CtlMessageText kSocketRefused{
    "IDS_CTL_SOCKET_REFUSED", "the utility's socket belongs to another user: refused"};
inline constexpr CtlMessageText kNoAnswer{"IDS_CTL_NO_ANSWER",
                                          "the running utility did not answer within %1 s"};
}  // namespace ctl_text

// Every message above, in the order the language files hold them.
std::span<const CtlMessageText> CtlMessageTexts();

// The message in language's language (English without a language or when
// its file lacks the key), "%1".."%9" replaced by arguments in one pass: an
// argument's own "%1" stays as typed.
QString CtlMessage(Language* language, const CtlMessageText& text,
                   const QStringList& arguments = {});

}  // namespace kst
