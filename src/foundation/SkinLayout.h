#pragma once

// Files beside the program and in the per-user data folder, the per-user
// application profile values, and the rectangles of the skin layout files.
// QtCore only; the layout operations that move widgets live in skin/.

#include <QString>

#include <cstdint>
#include <optional>

#include "platform/AppPaths.h"

namespace kst {

class Language;
class Registry;

// ---- Program folder -------------------------------------------------------

inline constexpr const char* kSkinFolderName = "Skins";
inline constexpr const char* kHelpFolderName = "Help";
inline constexpr const char* kHelpPageName = "index.html";
inline constexpr const char* kMainSkinFileName = "Main.ini";
inline constexpr const char* kCompositeSkinFileName = "Composite.ini";
inline constexpr const char* kProfileSkinFileName = "Profile.ini";
inline constexpr const char* kSkinLanguageFileName = "language.ini";
inline constexpr const char* kModeFilePrefix = "UserDengColor_";
inline constexpr const char* kModeFileSuffix = ".userd";
// Number of the template mode file in the skin folder ("UserDengColor_4.userd").
inline constexpr int kModeTemplateNumber = 4;
inline constexpr const char* kWskbFileName = "wskb.ini";
#ifdef Q_OS_WIN
inline constexpr const char* kCompanionProgramName = "Mervisto.exe";
#else
inline constexpr const char* kCompanionProgramName = "Mervisto";
#endif

// The skin folder with a trailing separator, in which every skin picture lies.
QString SkinFolder(const AppPaths& paths);
// The path of a file a skin file names, when it lies inside `folder`: the
// name is relative and has no ".." step, and, when the file exists, its
// canonical path (symbolic links resolved, which it then is) lies below the
// folder's. nullopt for any other name.
std::optional<QString> PathInsideFolder(const QString& folder, const QString& name);
QString SkinFile(const AppPaths& paths, const QString& fileName);  // SkinFolder + fileName
QString MainSkinFile(const AppPaths& paths);
QString CompositeSkinFile(const AppPaths& paths);
QString ProfileSkinFile(const AppPaths& paths);
QString SkinLanguageFile(const AppPaths& paths);
QString ModeTemplateFile(const AppPaths& paths);
// The help folder with a trailing separator, and the help page in it.
QString HelpFolder(const AppPaths& paths);
QString HelpPageFile(const AppPaths& paths);
QString CompanionProgramFile(const AppPaths& paths);

// ---- Per-user data folder -------------------------------------------------

QString WskbFile(const AppPaths& paths);
// "UserDengColor_<profile>.userd" in the data folder.
QString ModeFile(const AppPaths& paths, int profile);
// Creates the data folder (with its parents) when it is missing, private to
// the user (0700; an existing one of the user's is tightened to that).
// 1: created now, 0: it existed, -1: it could not be created.
int EnsureDataFolder(const AppPaths& paths);

// ---- Per-user application profile ------------------------------------------

inline constexpr const char* kAppProfileKey =
    "Software\\Kestrune_Marovel\\Z-ORMIT M350RGB Keyboard\\PROFILES";
inline constexpr const char* kFlipValueName = "Flip";
inline constexpr const char* kRecordDelayTextKey = "IDS_MACRO_ACTION_RECORD_DELAY";
inline constexpr const char* kProfileValuePrefix = "PROFILE";

// The string values of section "PROFILES" of the per-user application
// profile. Holds the registry by reference; the caller keeps it alive.
class AppProfile {
 public:
  explicit AppProfile(Registry& registry);

  // "Flip": 1 only when the stored text is "1"; missing or anything else 0.
  int GetFlip() const;
  // Stores "0" or "1"; any other value is stored as "0". false when the
  // registry file could not be written.
  bool SetFlip(int value);

  // The record-delay option, stored under the current language's text of
  // IDS_MACRO_ACTION_RECORD_DELAY (so it follows the language): 1 only when
  // the stored text is "1".
  int GetRecordDelay(Language& language) const;
  bool SetRecordDelay(Language& language, int value);  // stores "1" for 1, else "0"

  // "PROFILE%02d"
  static QString ProfileValueName(int number);
  std::optional<QString> GetProfileValue(int number) const;
  bool SetProfileValue(int number, const QString& value);

 private:
  Registry& registry_;
};

// ---- Skin layout rectangles ------------------------------------------------

inline constexpr const char* kScreenSection = "SCREEN";
inline constexpr const char* kButtonInfoSection = "BUTTONINFO";
inline constexpr const char* kButtonInfo2Section = "BUTTONINFO2";
// Value read for a missing key: x 1, y 1, width 1, height 1.
inline constexpr const char* kDefaultSkinRect = "1,1,1,1,x";
// Buffer of a rectangle lookup in characters, terminator included.
inline constexpr int kSkinValueCapacity = 260;

struct SkinRect {
  int x = 1;
  int y = 1;
  int width = 1;
  int height = 1;
  // A rectangle at (1, 1) marks an image button the skin does not show.
  bool MarksHidden() const { return x == 1 && y == 1; }
  friend bool operator==(const SkinRect&, const SkinRect&) = default;
};

// Parses "x,y,w,h" as sscanf "%d,%d,%d,%d" does: each number may follow
// blanks and carry a sign, the commas must follow the numbers directly, text
// after the fourth number is ignored. Parsing stops at the first field that
// does not match; that field and the ones after it are 0. Numbers beyond the
// int range saturate.
SkinRect ParseSkinRect(const QString& text);
// Reads `key` of `section` with the default "1,1,1,1,x" and parses it.
SkinRect ReadSkinRect(const QString& file, const QString& section, const QString& key);

}  // namespace kst
