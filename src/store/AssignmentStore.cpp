#include "store/AssignmentStore.h"

#include <algorithm>
#include <limits>
#include <new>

#include "foundation/BoardKeys.h"
#include "store/KeyButtonRefresher.h"
#include "store/LittleEndian.h"

namespace kst {

namespace {

constexpr std::uint16_t kPlayMacro = static_cast<std::uint16_t>(AssignmentKind::PlayMacro);

std::span<const std::uint8_t, kMacroRecordSize> RecordBytes(const std::vector<std::uint8_t>& macros,
                                                            int index) {
  return std::span<const std::uint8_t>(macros)
      .subspan(static_cast<std::size_t>(index) * kMacroRecordSize)
      .first<kMacroRecordSize>();
}

// Bytes a text of this many characters occupies with its terminator.
std::uint64_t TextSizeOf(std::size_t characters) {
  return 2 * static_cast<std::uint64_t>(characters) + 2;
}

}  // namespace

AssignmentStore::AssignmentStore()
    : block_(MakeDefaultProfileBlock(0)), texts_(static_cast<std::size_t>(kEntryCount)) {}

AssignmentStore::~AssignmentStore() {
  std::lock_guard guard(lock_);
  ReleaseAllTexts();
}

void AssignmentStore::SetKeyButtonRefresher(KeyButtonRefresher* refresher) {
  std::lock_guard guard(lock_);
  refresher_ = refresher;
}

KeyAssignment AssignmentStore::GetAssignment(int profile, int slot) const {
  std::lock_guard guard(lock_);
  return ReadEntry(*block_, EntryIndex(profile, slot));
}

void AssignmentStore::ReleaseText(int index) {
  TextSlotEntry& slot = texts_[static_cast<std::size_t>(index)];
  if (slot.size == 0) return;
  textBytesTotal_ -= std::min(textBytesTotal_, slot.size);
  slot.size = 0;
  std::u16string().swap(slot.text);
}

bool AssignmentStore::SetAssignment(int profile, int slot, AssignmentKind kind, std::uint32_t param,
                                    std::u16string_view text) {
  const int index = EntryIndex(profile, slot);
  if (index < 0) return false;
  std::lock_guard guard(lock_);
  ReleaseText(index);
  const auto rawKind = static_cast<std::uint16_t>(kind);
  if (KindCarriesText(rawKind)) {
    const std::u16string_view body = text.substr(0, text.find(u'\0'));
    const std::uint64_t size = TextSizeOf(body.size());
    // A text that cannot be held or counted leaves the slot empty; the entry
    // is still written.
    if (size <= std::numeric_limits<std::uint32_t>::max() - textBytesTotal_) {
      try {
        TextSlotEntry& entry = texts_[static_cast<std::size_t>(index)];
        entry.text.assign(body);
        entry.size = static_cast<std::uint32_t>(size);
        textBytesTotal_ += entry.size;
      } catch (const std::bad_alloc&) {
        ReleaseText(index);
      }
    }
  }
  KeyAssignment entry;
  entry.kind = rawKind;
  entry.extra = GKeyCode(slot);
  entry.param = param;
  WriteEntry(*block_, index, entry);
  return true;
}

bool AssignmentStore::PutAssignment(int profile, int slot, const KeyAssignment& entry) {
  const int index = EntryIndex(profile, slot);
  if (index < 0) return false;
  std::lock_guard guard(lock_);
  WriteEntry(*block_, index, entry);
  return true;
}

void AssignmentStore::ClearProfileAssignments(int profile, GKeyBank bank) {
  if (EntryIndex(profile, 0) < 0) return;
  std::lock_guard guard(lock_);
  for (int k = 0; k < kGKeysPerBank; ++k) {
    WriteEntry(*block_, EntryIndex(profile, GKeySlot(bank, k)), KeyAssignment{});
  }
  for (const BoardKey& key : BoardKeyList()) {
    WriteEntry(*block_, EntryIndex(profile, SlotFromKeyIndex(key.key)), KeyAssignment{});
  }
}

void AssignmentStore::ReleaseAllTexts() {
  std::lock_guard guard(lock_);
  for (int i = 0; i < kEntryCount; ++i) ReleaseText(i);
  textBytesTotal_ = 0;
}

std::u16string AssignmentStore::TextAt(int profile, int slot) const {
  const int index = EntryIndex(profile, slot);
  if (index < 0) return {};
  std::lock_guard guard(lock_);
  return texts_[static_cast<std::size_t>(index)].text;
}

std::uint32_t AssignmentStore::TextSizeAt(int profile, int slot) const {
  const int index = EntryIndex(profile, slot);
  if (index < 0) return 0;
  std::lock_guard guard(lock_);
  return texts_[static_cast<std::size_t>(index)].size;
}

std::uint32_t AssignmentStore::TextBytesTotal() const {
  std::lock_guard guard(lock_);
  return textBytesTotal_;
}

std::uint16_t AssignmentStore::MacroCount() const {
  std::lock_guard guard(lock_);
  return macroCount_;
}

bool AssignmentStore::ReplaceMacroList(std::span<MacroRecord> records) {
  if (records.size() > static_cast<std::size_t>(kMaxMacroCount)) return false;
  std::lock_guard guard(lock_);

  // Encode first: a failure here leaves the store as it was.
  std::vector<std::uint8_t> array;
  try {
    array.resize(records.size() * kMacroRecordSize);
  } catch (const std::bad_alloc&) {
    return false;
  }

  for (int i = 0; i < kEntryCount; ++i) {
    KeyAssignment entry = ReadEntry(*block_, i);
    if (entry.kind != kPlayMacro) continue;
    if (entry.param != 0) {
      const auto match = std::find_if(records.begin(), records.end(), [&](const MacroRecord& r) {
        return r.number == entry.param;
      });
      // A fresh record's number may have belonged to a macro deleted in the
      // same edit, so old assignments to that number are dropped too.
      if (match == records.end() || match->fresh != 0) {
        entry.kind = static_cast<std::uint16_t>(AssignmentKind::Default);
        WriteEntry(*block_, i, entry);
        if (refresher_ != nullptr) {
          refresher_->RefreshKeyButton(i / kSlotsPerProfile,
                                       static_cast<AssignmentSlot>(i % kSlotsPerProfile));
        }
      }
    } else if (!records.empty()) {
      entry.param = records.front().number;
      WriteEntry(*block_, i, entry);
    }
  }

  for (std::size_t i = 0; i < records.size(); ++i) {
    records[i].fresh = 0;
    EncodeMacroRecord(
        records[i],
        std::span<std::uint8_t>(array).subspan(i * kMacroRecordSize).first<kMacroRecordSize>());
  }
  macros_ = std::move(array);
  macroCount_ = static_cast<std::uint16_t>(records.size());
  return true;
}

int AssignmentStore::FindMacroIndex(std::uint16_t number) const {
  std::lock_guard guard(lock_);
  for (int i = 0; i < macroCount_; ++i) {
    if (MacroNumberOf(RecordBytes(macros_, i)) == number) return i;
  }
  return 0;
}

std::uint16_t AssignmentStore::MacroNumberAt(int index) const {
  std::lock_guard guard(lock_);
  if (index < 0 || index >= macroCount_) return 0;
  return MacroNumberOf(RecordBytes(macros_, index));
}

bool AssignmentStore::IsMacroInUse(std::uint16_t number) const {
  std::lock_guard guard(lock_);
  for (int i = 0; i < kEntryCount; ++i) {
    const KeyAssignment entry = ReadEntry(*block_, i);
    if (entry.kind == kPlayMacro && entry.param == number) return true;
  }
  return false;
}

std::optional<MacroRecord> AssignmentStore::MacroAt(int index) const {
  std::lock_guard guard(lock_);
  if (index < 0 || index >= macroCount_) return std::nullopt;
  return DecodeMacroRecord(RecordBytes(macros_, index));
}

std::vector<MacroRecord> AssignmentStore::CopyMacros() const {
  std::lock_guard guard(lock_);
  std::vector<MacroRecord> records;
  records.reserve(macroCount_);
  for (int i = 0; i < macroCount_; ++i)
    records.push_back(DecodeMacroRecord(RecordBytes(macros_, i)));
  return records;
}

ConstBlockSpan AssignmentStore::Block() const {
  std::lock_guard guard(lock_);
  return *block_;
}

std::span<const std::uint8_t> AssignmentStore::MacroArray() const {
  std::lock_guard guard(lock_);
  return macros_;
}

void AssignmentStore::InstallDefault() {
  std::lock_guard guard(lock_);
  ReleaseAllTexts();
  std::vector<std::uint8_t>().swap(macros_);
  macroCount_ = 0;
  FillDefaultProfileBlock(*block_, 0);
}

bool AssignmentStore::Install(StoreContent content) {
  if (!content.block) return false;
  if (content.macroCount > kMaxMacroCount ||
      content.macros.size() != content.macroCount * kMacroRecordSize) {
    return false;
  }
  if (content.texts.empty()) content.texts.resize(static_cast<std::size_t>(kEntryCount));
  if (content.texts.size() != static_cast<std::size_t>(kEntryCount)) return false;
  std::uint64_t total = 0;
  for (const TextSlotEntry& slot : content.texts) {
    if (slot.size == 0) {
      if (!slot.text.empty()) return false;
      continue;
    }
    if (slot.size != TextSizeOf(slot.text.size()) ||
        slot.text.find(u'\0') != std::u16string::npos) {
      return false;
    }
    total += slot.size;
  }
  if (total > std::numeric_limits<std::uint32_t>::max()) return false;

  std::lock_guard guard(lock_);
  block_ = std::move(content.block);
  macros_ = std::move(content.macros);
  macroCount_ = content.macroCount;
  texts_ = std::move(content.texts);
  textBytesTotal_ = static_cast<std::uint32_t>(total);
  return true;
}

std::vector<std::uint8_t> AssignmentStore::PrepareForWrite() {
  std::lock_guard guard(lock_);
  std::vector<std::uint8_t> area(textBytesTotal_);
  RefreshFileHeader(*block_, macroCount_, textBytesTotal_, 0);
  FlattenTextsInto(*block_, area);
  return area;
}

void AssignmentStore::FlattenTextsInto(BlockSpan block, std::span<std::uint8_t> area) const {
  std::lock_guard guard(lock_);
  std::uint64_t offset = 0;
  for (int i = 0; i < kEntryCount; ++i) {
    const TextSlotEntry& slot = texts_[static_cast<std::size_t>(i)];
    if (slot.size == 0) continue;
    if (offset + slot.size > textBytesTotal_ || offset + slot.size > area.size()) continue;
    KeyAssignment entry = ReadEntry(block, i);
    if (!KindCarriesText(entry.kind)) continue;
    const std::size_t at = static_cast<std::size_t>(offset) & ~std::size_t{1};
    for (std::size_t c = 0; c < slot.text.size(); ++c) {
      le::PutU16(area, at + 2 * c, static_cast<std::uint16_t>(slot.text[c]));
    }
    le::PutU16(area, at + 2 * slot.text.size(), 0);
    entry.param = static_cast<std::uint32_t>(at);
    WriteEntry(block, i, entry);
    offset += slot.size;
  }
}

}  // namespace kst
