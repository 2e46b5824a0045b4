#pragma once

// The profile files: the working copy of the whole store in the per-user
// profile folder and the exchange files (".kst") of the same format.
//
// File layout, little-endian: the 32832-byte profile block exactly as the
// store holds it, then MacroCount macro records of 16512 bytes, then the text
// area of TextBytes bytes holding the zero-terminated UTF-16 texts of the
// LaunchProgram and TextBlock entries (an entry's param is its text's offset).
//
// Results: 1 success; 0 nothing done, absent or invalid; -2 a file that cannot
// be opened; -3 memory that cannot be had. Writes replace a file atomically
// (written beside it, flushed to disk, renamed over it): a failed save leaves
// the old file whole.

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "store/AssignmentStore.h"

namespace kst {

class Language;
class MessageBoxes;
class ProfileFolderSeeder;
struct AppPaths;

inline constexpr const char* kProfileFolderName = "Z-ORMIT M350RGB";
inline constexpr const char* kWorkingProfileNameFormat = "$Profile%d";
inline constexpr const char* kExchangeFileExtension = "kst";
inline constexpr const char* kExchangeFileFilter = "(*.kst)|*.kst|(*.*)|*.*||";
// Names of the file dialogs' two filters; the patterns are added in code, so
// a translation cannot break them.
inline constexpr const char* kProfileFilterTextKey = "IDS_MAIN_FILTER_PROFILES";
inline constexpr const char* kAllFilesFilterTextKey = "IDS_MAIN_FILTER_ALL";

// Why an image of a profile file is or is not acceptable.
enum class ProfileImageStatus {
  Valid,
  TooSmall,   // below 32832 bytes or 4 GiB and more: refused without a message
  BadHeader,  // a header field or the checksum is wrong
  Truncated,  // the file ends before the size its header gives
  BadMacro,   // a macro record claims more than 2000 events
  BadText,    // a text offset outside the text area, a text without a
              // terminator inside it, or texts that need more than the area
};

// Checks a complete file image. Bytes past the header's file size are ignored.
ProfileImageStatus CheckProfileImage(std::span<const std::uint8_t> image);
// The store content of a valid image; nullopt for an invalid one or when
// memory runs out.
std::optional<StoreContent> DecodeProfileImage(std::span<const std::uint8_t> image);

// Replaces the file at path with image atomically: true; false, with why (when
// not null) set to the path and the system's reason (a folder in the way, a
// folder that may not be written, a full disk, ...), when it cannot be written.
bool WriteProfileImage(const QString& path, std::span<const std::uint8_t> image, QString* why);

// "$Profile0": the working file's name, whatever profile is meant.
QString WorkingProfileFileName();

// A save taken apart: the file image is captured from the store first, under
// its lock, and written afterwards without touching the store, so the disk
// write can run beside other work (the keyboard upload of Apply).
class PreparedSave {
 public:
  PreparedSave(QString path, std::vector<std::uint8_t> image);
  // Replaces the file atomically with the image: 1, or 0 when it cannot be
  // written (why, when not null, gets the path and the reason, see
  // WriteProfileImage). Safe on any thread; called once.
  int Write(QString* why = nullptr) const;

 private:
  QString path_;
  std::vector<std::uint8_t> image_;
};

class ProfileFiles {
 public:
  // The profile folder is `paths.dataFolder`. Nothing is created here; the
  // temporary files of interrupted saves in it are removed. Construct it
  // only where no other instance writes that folder.
  ProfileFiles(AssignmentStore& store, const AppPaths& paths, Language& language,
               MessageBoxes& messageBoxes);

  // Not owned; null for none. Called when an operation creates the folder.
  void SetFolderSeeder(ProfileFolderSeeder* seeder);

  // The per-user profile folder, created private to the user (and seeded)
  // when missing.
  QString ProfileFolderPath();
  // The working file in the profile folder (the folder is made sure of first).
  QString WorkingProfilePath();

  // 1 valid; 0 absent, too small or invalid; -2 cannot be opened for reading;
  // -3 out of memory. An invalid file (other than too small) shows the
  // wrong-file-format message with its path.
  int CheckProfileFile(const QString& path);
  // Replaces the whole store with the file's content: 1. When the file is
  // absent, unreadable or invalid the store gets a default block and 0.
  int LoadProfileFile(const QString& path);
  // Rewrites the working file from the store, under the store's lock: 1; 0
  // when the working file does not exist or cannot be written. Afterwards the
  // LaunchProgram and TextBlock params in the store hold their text offsets.
  int SaveWorkingProfile();
  // The first half of SaveWorkingProfile: nullopt when the working file does
  // not exist or memory runs out. The store's params are rewritten as by the
  // save; the caller keeps the store locked until the write is done when the
  // file must match the store.
  std::optional<PreparedSave> PrepareWorkingProfileSave();
  // The same at any path, without the existence check.
  bool ExportProfileFile(const QString& path);
  // Replaces the working file (path) with an image rebuilt from the
  // keyboard: 1 written, 0 not; why as NoteWorkingFileWrite gives it.
  int WriteWorkingImage(const QString& path, std::span<const std::uint8_t> image, QString& why);
  // Records the outcome of a write of the working file; gives what the user
  // is to be told: why for the first failure since the start or since the
  // last success, empty otherwise (told once, not on every connection or
  // Apply). Any thread.
  QString NoteWorkingFileWrite(bool written, const QString& why);
  // A file with a default block (flag 0), no macros and no text: 1, else 0
  // (why, when not null, gets the path and the reason, see WriteProfileImage).
  int WriteDefaultProfileFile(const QString& path, QString* why = nullptr);
  // Checks the file and, when it is valid, replaces the store with it, saves
  // the working file and runs `whileLocked` (the upload of all four profiles
  // and the refresh of the key buttons), all under the store's lock: 1. A
  // file that is absent, unreadable or invalid shows one message, the
  // MAIN_PROMPT_INPORT slot in the user's language with the path, leaves the
  // store untouched, and gives 0.
  int ImportProfileFile(const QString& path, const std::function<void()>& whileLocked = {});

 private:
  std::optional<PreparedSave> PrepareSave(const QString& path);

  AssignmentStore& store_;
  QString folder_;
  Language& language_;
  MessageBoxes& messageBoxes_;
  ProfileFolderSeeder* seeder_ = nullptr;
  std::atomic<bool> writeFailureTold_{false};
};

// The open and save dialogs' filters, "Profile files (*.kst);;All files (*)"
// in the user's language.
QString ProfileFileFilter(Language& language);

}  // namespace kst
