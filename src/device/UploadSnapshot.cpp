#include "device/UploadSnapshot.h"

#include <new>

#include "store/AssignmentStore.h"

namespace kst {

bool UploadSnapshot::Refresh(const AssignmentStore& store) {
  std::lock_guard storeLock(store.Lock());
  std::lock_guard lock(lock_);
  Release();
  try {
    auto block = std::make_unique<ProfileBlock>();
    const ConstBlockSpan source = store.Block();
    std::copy(source.begin(), source.end(), block->begin());
    const std::uint16_t macroCount = store.MacroCount();
    const std::uint32_t textBytes = store.TextBytesTotal();
    RefreshFileHeader(*block, macroCount, textBytes, 0);

    const std::span<const std::uint8_t> macroBytes = store.MacroArray();
    std::vector<MacroRecord> macros;
    macros.reserve(macroCount);
    for (std::size_t r = 0; r < macroCount && (r + 1) * kMacroRecordSize <= macroBytes.size();
         ++r) {
      macros.push_back(
          DecodeMacroRecord(macroBytes.subspan(r * kMacroRecordSize).first<kMacroRecordSize>()));
    }

    std::vector<std::uint8_t> textArea(textBytes, 0);
    store.FlattenTextsInto(*block, textArea);

    block_ = std::move(block);
    macros_ = std::move(macros);
    textArea_ = std::move(textArea);
    return true;
  } catch (const std::bad_alloc&) {
    Release();
    return false;
  }
}

void UploadSnapshot::Release() {
  std::lock_guard lock(lock_);
  block_.reset();
  std::vector<MacroRecord>().swap(macros_);
  std::vector<std::uint8_t>().swap(textArea_);
}

int UploadSnapshot::FindMacroIndex(std::uint32_t number) const {
  std::lock_guard lock(lock_);
  for (std::size_t i = 0; i < macros_.size(); ++i) {
    if (macros_[i].number == number) return static_cast<int>(i);
  }
  return 0;
}

}  // namespace kst
