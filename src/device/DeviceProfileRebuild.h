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

// What the rebuild reads from the keyboard.
struct DeviceImages {
  std::array<std::uint8_t, kKeyMapBytes> factory{};
  std::array<std::array<std::uint8_t, kKeyMapBytes>, 4> keyMaps{};
  // The whole macro area as its header gives its length; empty when the
  // keyboard holds no macro area.
  std::vector<std::uint8_t> macroArea;
};

// Reads the four key maps and the macro area: the first 16 bytes, then, when
// they carry the area's magic, the whole area. An area whose header gives
// more than 100 macros, a length shorter than its header and offset table,
// or longer than the keyboard's macro space is refused. 1 on success; 0 when
// the current profile is not 0-3, a read fails or the area is refused.
int ReadDeviceImages(UploadDevice& device, DeviceImages& images);

// The profile file image of what the keyboard holds: a default block with
// every profile's entries decoded from its key map, the macros decoded from
// the area (a macro without a name in the area is named namePrefix + its
// number), no texts. 1 on success, 0 for a macro area that does not hold
// together (image left empty).
int BuildProfileImageFromDevice(const DeviceImages& images, std::u16string_view namePrefix,
                                std::vector<std::uint8_t>& image);

// Writes the working file (path) from the keyboard's content, replacing it
// atomically. 1 when written; 0 when the keyboard's content cannot be read or
// does not hold together, or the file cannot be written (the old file stays).
int RebuildWorkingProfileFromDevice(UploadDevice& device, const QString& path,
                                    std::u16string_view namePrefix);

// Fills the store for the keyboard now connected: the working file rebuilt
// from the keyboard and loaded, or, when the keyboard does not answer or its
// content is refused, a default block in memory (the file keeps its last
// content). Then the key buttons are redrawn and, unless keepApplyFlag, the
// Apply button is disabled. Window thread. namePrefix: the current text of the
// MACRO_NEW_PREFIX text slot.
void LoadActiveProfile(AssignmentStore& store, ProfileFiles& files, UploadDevice& device,
                       UploadHost& host, std::u16string_view namePrefix, bool keepApplyFlag);

// The import command: checks and loads the exchange file into the store,
// saves the working file and uploads all four profiles, under the store's
// lock, then redraws the key buttons. Apply is disabled only when the upload
// succeeded, so a failed upload keeps the changes pending. Gives the import's
// result (1 loaded, 0 refused); uploadResult gets the upload's (0 when not
// run).
int ImportProfileFileAndUpload(AssignmentStore& store, ProfileFiles& files,
                               ConfigurationUpload& upload, UploadHost& host, const QString& path,
                               int* uploadResult = nullptr);

}  // namespace kst
