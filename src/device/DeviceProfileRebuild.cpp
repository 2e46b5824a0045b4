#include "device/DeviceProfileRebuild.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <optional>

#include "device/ConfigurationUpload.h"
#include "device/MacroArea.h"
#include "device/OwedUpload.h"
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
  images.macroCount = 0;
  if (!header || header->magic != kMacroAreaMagic) return 1;  // no macros

  images.macroCount = header->count;
  // Never read past the keyboard's macro space, whatever the header says.
  const std::size_t readable = std::min<std::size_t>(
      header->length, std::min<std::size_t>(device.MacroCapacity(), kMacroAreaMaxBytes));
  const std::size_t tableEnd = kMacroAreaHeaderBytes + kMacroAreaOffsetBytes * header->count;
  if (header->count > kMaxMacroCount || readable < tableEnd) return 1;  // nothing readable
  try {
    images.macroArea.resize(readable);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (device.ReadMacroArea(images.macroArea) != 1) {
    images.macroArea.clear();
    return 0;
  }
  return 1;
}

int BuildProfileImageFromDevice(const DeviceImages& images, std::u16string_view namePrefix,
                                std::vector<std::uint8_t>& image, int* droppedMacros) {
  image.clear();
  if (droppedMacros) *droppedMacros = 0;
  std::vector<MacroRecord> macros;
  std::vector<int> dropped;
  try {
    macros = DecodeReadableMacros(images.macroArea, images.macroCount, std::u16string(namePrefix),
                                  dropped);
    image.assign(kProfileBlockSize + kMacroRecordSize * macros.size(), 0);
  } catch (const std::bad_alloc&) {
    image.clear();
    return 0;
  }
  const BlockSpan block = std::span(image).first<kProfileBlockSize>();
  FillDefaultProfileBlock(block, 0);
  RefreshFileHeader(block, static_cast<std::uint16_t>(macros.size()), 0, 0);
  // A key whose macro is not among those read (left out, or beyond the
  // area's count) would play another macro after the next upload.
  std::vector<std::uint32_t> unreadable(dropped.begin(), dropped.end());
  for (std::uint32_t& position : unreadable) ++position;  // numbers from positions
  const auto isRead = [&macros](std::uint32_t number) {
    return std::any_of(macros.begin(), macros.end(),
                       [number](const MacroRecord& m) { return m.number == number; });
  };
  std::array<KeyAssignment, kSlotsPerProfile> entries;
  for (int p = 0; p < kProfileCount; ++p) {
    DecodeKeyMap(images.keyMaps[static_cast<std::size_t>(p)], images.factory, entries);
    for (int slot = 0; slot < kSlotsPerProfile; ++slot) {
      KeyAssignment entry = entries[static_cast<std::size_t>(slot)];
      if (entry.Is(AssignmentKind::PlayMacro) && !isRead(entry.param)) {
        if (std::find(unreadable.begin(), unreadable.end(), entry.param) == unreadable.end()) {
          unreadable.push_back(entry.param);
        }
        entry = KeyAssignment{};
        entry.extra = GKeyCode(slot);
      }
      WriteEntry(block, EntryIndex(p, slot), entry);
    }
  }
  for (std::size_t r = 0; r < macros.size(); ++r) {
    EncodeMacroRecord(macros[r], std::span(image)
                                     .subspan(kProfileBlockSize + r * kMacroRecordSize)
                                     .first<kMacroRecordSize>());
  }
  if (droppedMacros) *droppedMacros = static_cast<int>(unreadable.size());
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

ActiveProfileSource LoadActiveProfile(AssignmentStore& store, ProfileFiles& files,
                                      UploadDevice& device, UploadHost& host,
                                      std::u16string_view namePrefix, bool keepApplyFlag,
                                      ConfigurationUpload* upload) {
  const QString path = files.WorkingProfilePath();  // makes sure the folder exists
  OwedUpload* owed = upload ? upload->Owed() : nullptr;
  if (owed && owed->IsOwed()) {
    // Until the owed upload completes the working file holds the user's
    // configuration; the keyboard may hold a half-written one.
    std::unique_lock lock(store.Lock());
    if (files.LoadProfileFile(path) == 1) {
      host.RefreshKeyButtons();
      lock.unlock();
      upload->SetStandInContent(false);
      host.ShowUploadMessage(kOwedUploadTextKey);
      upload->StartOwedUpload();
      return ActiveProfileSource::WorkingFile;
    }
    // Nothing to send: what the keyboard holds is the best there is.
    owed->Clear();
  }

  std::vector<std::uint8_t> image;
  int dropped = 0;
  std::optional<StoreContent> content;
  if (device.CurrentProfile() >= 0) {
    DeviceImages images;
    if (ReadDeviceImages(device, images) == 1 &&
        BuildProfileImageFromDevice(images, namePrefix, image, &dropped) == 1) {
      content = DecodeProfileImage(image);
    }
  }
  ActiveProfileSource source = ActiveProfileSource::StandIn;
  {
    std::lock_guard lock(store.Lock());
    if (content && store.Install(std::move(*content))) {
      source = ActiveProfileSource::Keyboard;
    } else {
      store.InstallDefault();
    }
    host.RefreshKeyButtons();
  }
  if (upload) upload->SetStandInContent(source == ActiveProfileSource::StandIn);
  if (source == ActiveProfileSource::Keyboard) {
    if (dropped > 0) host.ShowUploadMessage(kMacrosDroppedTextKey);
    QString why;
    if (files.WriteWorkingImage(path, image, why) != 1 && !why.isEmpty()) {
      host.ShowUploadMessageWith(kSaveFailedTextKey, why);
    }
  }
  if (!keepApplyFlag) host.SetApplyEnabled(false);
  return source;
}

int ImportProfileFileAndUpload(ProfileFiles& files, ConfigurationUpload& upload,
                               const QString& path, int* uploadResult) {
  int uploaded = 0;
  const int imported = files.ImportProfileFile(path, [&] {
    upload.SetStandInContent(false);
    uploaded = upload.BuildSnapshotAndUpload(true);
  });
  if (uploadResult) *uploadResult = uploaded;
  return imported;
}

}  // namespace kst
