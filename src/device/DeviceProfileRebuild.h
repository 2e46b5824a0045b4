#pragma once

// Reading the keyboard back: its four key maps and its macro area turned into
// a profile file (the working file), and the store filled from it when the
// keyboard connects. Everything read from the keyboard is untrusted: an image
// that does not hold together gives 0 and is never read outside its buffer.

#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/KeyMap.h"

namespace kst {

class AssignmentStore;
class ConfigurationUpload;
class ProfileFiles;
class UploadDevice;
class UploadHost;

// Text keys of what the rebuild tells the user.
inline constexpr const char* kMacrosDroppedTextKey = "IDS_MAIN_MACROS_DROPPED";
// One "%s": the working file's path and the reason it cannot be written.
inline constexpr const char* kSaveFailedTextKey = "IDS_MAIN_SAVE_FAILED";

// What the rebuild reads from the keyboard.
struct DeviceImages {
  std::array<std::uint8_t, kKeyMapBytes> factory{};
  std::array<std::array<std::uint8_t, kKeyMapBytes>, 4> keyMaps{};
  // The macro area from its start: as long as its header gives, or, when
  // that is more than the keyboard's macro space, as much as that space
  // holds; empty when the keyboard holds no macro area or one whose offset
  // table cannot be read (more than 100 macros, a length or a macro space
  // shorter than the header and the table).
  std::vector<std::uint8_t> macroArea;
  // The macro count of the area's header (0 without an area).
  int macroCount = 0;
};

// Reads the four key maps and the macro area: the first 16 bytes, then, when
// they carry the area's magic, the area (see DeviceImages). 1 on success; 0
// when the current profile is not 0-3 or a read fails.
int ReadDeviceImages(UploadDevice& device, DeviceImages& images);

// The profile file image of what the keyboard holds: a default block with
// every profile's entries decoded from its key map, the macros decoded from
// the area (a macro without a name in the area is named namePrefix + its
// number), no texts. A macro whose block cannot be read is left out, and the
// keys that would play it, or a macro the area does not hold, are Default;
// droppedMacros (when not null) gets how many macros were missed so. 1 on success, 0 when memory
// runs out (image left empty).
int BuildProfileImageFromDevice(const DeviceImages& images, std::u16string_view namePrefix,
                                std::vector<std::uint8_t>& image, int* droppedMacros = nullptr);

// Writes the working file (path) from the keyboard's content, replacing it
// atomically. 1 when written; 0 when the keyboard's content cannot be read,
// or the file cannot be written (the old file stays).
int RebuildWorkingProfileFromDevice(UploadDevice& device, const QString& path,
                                    std::u16string_view namePrefix);

// Where LoadActiveProfile took the store's content from.
enum class ActiveProfileSource {
  Keyboard,     // read back from the keyboard
  WorkingFile,  // the working file, being uploaded to a keyboard that owes it
  StandIn,      // a default block: the keyboard's content could not be read
};

// Fills the store for the keyboard now connected. Window thread. namePrefix:
// the current text of the MACRO_NEW_PREFIX text slot.
//
// When upload has an owed upload recorded and the working file loads, the
// store gets the working file, the user is told in one line, and the upload
// of all four profiles is started (StartOwedUpload): the keyboard may hold a
// half-written configuration that must not be read back. Otherwise the store
// gets what the keyboard holds (macros that cannot be read are left out, with
// one message), and the working file is rewritten from it; when it cannot be
// written the store keeps the keyboard's content and the user is told why
// (once, until a write succeeds again).
// When the keyboard does not answer, the store gets a default block that
// upload marks as stand-in content (never applied), and the file keeps its
// last content. Then the key buttons are redrawn and, unless keepApplyFlag
// (or an owed upload runs), the Apply button is disabled.
ActiveProfileSource LoadActiveProfile(AssignmentStore& store, ProfileFiles& files,
                                      UploadDevice& device, UploadHost& host,
                                      std::u16string_view namePrefix, bool keepApplyFlag,
                                      ConfigurationUpload* upload = nullptr);

// The core of the import command, on any thread: checks and loads the
// exchange file into the store, saves the working file and uploads all four
// profiles, under the store's lock. The store's content is no longer a
// stand-in once the file is loaded. Gives the import's result (1 loaded, 0
// refused); uploadResult gets the upload's (0 when not run). The window's
// side (key buttons, Apply) is ConfigurationUpload::ImportConfiguration's.
int ImportProfileFileAndUpload(ProfileFiles& files, ConfigurationUpload& upload,
                               const QString& path, int* uploadResult = nullptr);

}  // namespace kst
