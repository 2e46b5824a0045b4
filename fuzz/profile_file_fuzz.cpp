// Feeds arbitrary bytes to the profile file check and load, through a real
// file and in memory, and checks that both agree and that whatever loads is
// written back into a file that checks valid with the same texts.

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFiles.h"

namespace {

class NoMessageBoxes : public kst::MessageBoxes {
 public:
  bool Show(const QString&, kst::MessageKind) override { return false; }
};

// One set of objects for the whole run: building a Language per input would
// cost more than the check itself.
struct Harness {
  QTemporaryDir dir;
  kst::Registry registry{dir.filePath("registry.reg")};
  kst::Language language{registry, dir.path(), [] { return std::uint16_t{1033}; }};
  NoMessageBoxes boxes;
  kst::AssignmentStore store;
  kst::AppPaths paths{dir.path(), dir.filePath("data"), dir.filePath("registry.reg")};
  kst::ProfileFiles files{store, paths, language, boxes};
  QString input = dir.filePath("input.kst");
};

Harness& TheHarness() {
  static Harness harness;
  return harness;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

// The store written out as one image, as a save would write it.
std::vector<std::uint8_t> ImageOf(kst::AssignmentStore& store) {
  std::lock_guard guard(store.Lock());
  const std::vector<std::uint8_t> area = store.PrepareForWrite();
  std::vector<std::uint8_t> image(store.Block().begin(), store.Block().end());
  image.insert(image.end(), store.MacroArray().begin(), store.MacroArray().end());
  image.insert(image.end(), area.begin(), area.end());
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Harness& h = TheHarness();
  const std::span<const std::uint8_t> bytes(data, size);

  const kst::ProfileImageStatus status = kst::CheckProfileImage(bytes);
  const std::optional<kst::StoreContent> decoded = kst::DecodeProfileImage(bytes);
  Require(decoded.has_value() == (status == kst::ProfileImageStatus::Valid));

  {
    QFile file(h.input);
    Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    Require(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
            static_cast<qint64>(size));
  }
  const int check = h.files.CheckProfileFile(h.input);
  Require(check == (status == kst::ProfileImageStatus::Valid ? 1 : 0));
  const int load = h.files.LoadProfileFile(h.input);
  Require(load == check);
  if (load != 1) {
    Require(h.store.MacroCount() == 0 && h.store.TextBytesTotal() == 0);
    return 0;
  }

  // What was loaded writes back into a valid image that loads the same texts.
  const std::vector<std::uint8_t> image = ImageOf(h.store);
  const std::optional<kst::StoreContent> again = kst::DecodeProfileImage(image);
  Require(again.has_value());
  for (int i = 0; i < kst::kEntryCount; ++i) {
    const int profile = i / kst::kSlotsPerProfile;
    const int slot = i % kst::kSlotsPerProfile;
    Require(again->texts[static_cast<std::size_t>(i)].text == h.store.TextAt(profile, slot));
  }
  Require(again->macros ==
          std::vector<std::uint8_t>(h.store.MacroArray().begin(), h.store.MacroArray().end()));
  return 0;
}
