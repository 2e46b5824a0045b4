#include "device/DeviceProfileRebuild.h"

#include <mutex>
#include <new>

#include "device/ConfigurationUpload.h"
#include "device/MacroArea.h"
#include "device/UploadDevice.h"
#include "platform/AtomicFile.h"
#include "store/AssignmentStore.h"
#include "store/MacroRecord.h"
#include "store/ProfileFiles.h"
#include "store/ProfileFormat.h"

namespace kst {

static_assert(kUploadKeyMapBytes == kKeyMapBytes);

int ReadDeviceImages(UploadDevice& device, DeviceImages& images) {
  // One run of reads: no write lands between the key maps and the macro area.
  const SequenceHold hold(device);
  const int profile = device.CurrentProfile();
  if (profile < 0 || profile >= kProfileCount) return 0;
  images.factory = device.FactoryKeyMap();
  for (int p = 0; p < kProfileCount; ++p) {
    if (device.ReadKeyMap(images.keyMaps[static_cast<std::size_t>(p)], p) != 1) return 0;
  }

  std::array<std::uint8_t, kMacroAreaHeaderBytes> head{};
  if (device.ReadMacroArea(head) != 1) return 0;
  const auto header = ReadMacroAreaHeader(head);
  images.macroArea.clear();
  if (!header || header->magic != kMacroAreaMagic) return 1;  // no macros

  const std::size_t tableEnd = kMacroAreaHeaderBytes + kMacroAreaOffsetBytes * header->count;
  if (header->count > kMaxMacroCount || header->length < tableEnd ||
      header->length > device.MacroCapacity()) {
    return 0;
  }
  try {
    images.macroArea.resize(header->length);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (device.ReadMacroArea(images.macroArea) != 1) return 0;
  return 1;
}

int BuildProfileImageFromDevice(const DeviceImages& images, std::u16string_view namePrefix,
                                std::vector<std::uint8_t>& image) {
  image.clear();
  std::vector<MacroRecord> macros;
  if (!images.macroArea.empty()) {
    const auto header = ReadMacroAreaHeader(images.macroArea);
    if (!header || header->magic != kMacroAreaMagic || header->length != images.macroArea.size()) {
      return 0;
    }
    if (DecodeMacroArea(images.macroArea, header->count, macros, std::u16string(namePrefix)) != 1) {
      return 0;
    }
  }

  try {
    image.assign(kProfileBlockSize + kMacroRecordSize * macros.size(), 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  const BlockSpan block = std::span(image).first<kProfileBlockSize>();
  FillDefaultProfileBlock(block, 0);
  RefreshFileHeader(block, static_cast<std::uint16_t>(macros.size()), 0, 0);
  std::array<KeyAssignment, kSlotsPerProfile> entries;
  for (int p = 0; p < kProfileCount; ++p) {
    DecodeKeyMap(images.keyMaps[static_cast<std::size_t>(p)], images.factory, entries);
    for (int slot = 0; slot < kSlotsPerProfile; ++slot) {
      WriteEntry(block, EntryIndex(p, slot), entries[static_cast<std::size_t>(slot)]);
    }
  }
  for (std::size_t r = 0; r < macros.size(); ++r) {
    EncodeMacroRecord(macros[r], std::span(image)
                                     .subspan(kProfileBlockSize + r * kMacroRecordSize)
                                     .first<kMacroRecordSize>());
  }
  return 1;
}

int RebuildWorkingProfileFromDevice(UploadDevice& device, const QString& path,
                                    std::u16string_view namePrefix) {
  DeviceImages images;
  if (ReadDeviceImages(device, images) != 1) return 0;
  std::vector<std::uint8_t> image;
  if (BuildProfileImageFromDevice(images, namePrefix, image) != 1) return 0;

  return WriteFileAtomically(path, image) ? 1 : 0;
}

void LoadActiveProfile(AssignmentStore& store, ProfileFiles& files, UploadDevice& device,
                       UploadHost& host, std::u16string_view namePrefix, bool keepApplyFlag) {
  const QString path = files.WorkingProfilePath();  // makes sure the folder exists
  const int profile = device.CurrentProfile();
  const bool rebuilt =
      profile >= 0 && RebuildWorkingProfileFromDevice(device, path, namePrefix) == 1;
  {
    std::lock_guard lock(store.Lock());
    if (!rebuilt || files.LoadProfileFile(path) != 1) store.InstallDefault();
    host.RefreshKeyButtons();
  }
  if (!keepApplyFlag) host.SetApplyEnabled(false);
}

int ImportProfileFileAndUpload(AssignmentStore& store, ProfileFiles& files,
                               ConfigurationUpload& upload, UploadHost& host, const QString& path,
                               int* uploadResult) {
  int uploaded = 0;
  const int imported = files.ImportProfileFile(path, [&] {
    std::lock_guard lock(store.Lock());
    uploaded = upload.BuildSnapshotAndUpload(true);
    host.RefreshKeyButtons();
  });
  if (uploadResult) *uploadResult = uploaded;
  if (imported == 1) host.SetApplyEnabled(uploaded != 1);
  return imported;
}

}  // namespace kst
