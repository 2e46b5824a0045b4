#pragma once

// The in-memory key configuration of the four profiles: the profile block
// (header, device tag, 2048 key assignment entries), the macro list shared by
// all profiles, and the texts some entries carry (program paths, text blocks).
// One instance, owned by whoever creates it and handed down by reference.
//
// Every operation takes the store's lock for its whole duration. The lock is
// re-entrant, so a caller that already holds it (a save inside an import, the
// upload building its snapshot) may call any operation.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/KeyCodeTable.h"
#include "store/MacroRecord.h"
#include "store/ProfileFormat.h"

namespace kst {

class KeyButtonRefresher;

using StoreLock = std::recursive_mutex;

// One slot of the text table: the text an entry carries. size is in bytes,
// terminator included (2 x characters + 2); 0 means the slot holds no text.
struct TextSlotEntry {
  std::u16string text;
  std::uint32_t size = 0;
};

// A complete replacement of the store's content (a loaded file).
struct StoreContent {
  std::unique_ptr<ProfileBlock> block;  // never null in a complete content
  std::vector<std::uint8_t> macros;     // macroCount x 16512 bytes, list order
  std::uint16_t macroCount = 0;
  std::vector<TextSlotEntry> texts;  // kEntryCount slots, or empty for no texts
};

class AssignmentStore {
 public:
  // An empty text table, no macros and a default block (flag 0).
  AssignmentStore();
  ~AssignmentStore();
  AssignmentStore(const AssignmentStore&) = delete;
  AssignmentStore& operator=(const AssignmentStore&) = delete;

  // Guards everything below. Taken before the upload snapshot's own lock.
  StoreLock& Lock() const { return lock_; }

  // Not owned; null to stop refreshing. Must outlive the store or be reset.
  void SetKeyButtonRefresher(KeyButtonRefresher* refresher);

  // ---- Entries ----
  // A zero entry when profile (0-3) or slot (0-511) is out of range.
  KeyAssignment GetAssignment(int profile, int slot) const;
  // Drops the entry's old text; for LaunchProgram and TextBlock keeps `text`
  // (up to its first zero character) in the entry's text slot. Writes kind,
  // param, extra = GKeyCode of the slot (0 for non-G-key slots) and zero
  // reserved words. False (nothing changed) for an out-of-range profile or slot.
  bool SetAssignment(int profile, int slot, AssignmentKind kind, std::uint32_t param,
                     std::u16string_view text = {});
  // Writes the 16 bytes as given; the text slot is not touched. For editors
  // that set a field SetAssignment fixes (the repeat count of PlayMacro).
  bool PutAssignment(int profile, int slot, const KeyAssignment& entry);
  // Zeroes the nine G-key entries of the bank and the entries of the 104 board
  // keys in the profile. Their texts stay in the text table (and in
  // TextBytesTotal) until replaced or released.
  void ClearProfileAssignments(int profile, GKeyBank bank);

  // ---- Texts ----
  void ReleaseAllTexts();
  // The text of the entry; empty when it has none.
  std::u16string TextAt(int profile, int slot) const;
  // Bytes of the entry's text slot including the terminator; 0 when empty.
  std::uint32_t TextSizeAt(int profile, int slot) const;
  std::uint32_t TextBytesTotal() const;

  // ---- Macros ----
  std::uint16_t MacroCount() const;
  // Installs the edited list. Every PlayMacro entry whose number is missing
  // from the list, or belongs to a record created since the editor opened
  // (fresh flag), becomes Default (param and extra kept) and its key button is
  // refreshed; a PlayMacro entry with number 0 takes the list's first number.
  // The fresh flags are cleared, in `records` too. False, with nothing
  // changed, for more than 100 records.
  bool ReplaceMacroList(std::span<MacroRecord> records);
  // Index of the first record with this number; 0 when none.
  int FindMacroIndex(std::uint16_t number) const;
  // Number of the record at the index; 0 when the index is out of range.
  std::uint16_t MacroNumberAt(int index) const;
  // Whether any PlayMacro entry of any profile carries this number.
  bool IsMacroInUse(std::uint16_t number) const;
  std::optional<MacroRecord> MacroAt(int index) const;
  std::vector<MacroRecord> CopyMacros() const;

  // ---- Whole store ----
  // Views of the store's own memory; valid while the caller holds Lock() and
  // no operation replaces the content.
  ConstBlockSpan Block() const;
  std::span<const std::uint8_t> MacroArray() const;
  // Releases texts and macros and installs a default block.
  void InstallDefault();
  // Replaces the whole content. False, with the store unchanged, when the
  // content is incomplete (no block, macro bytes not matching the count, a
  // text table of the wrong size or with sizes not matching the texts).
  bool Install(StoreContent content);
  // Makes the store's own block ready to be written out: the header gets the
  // current counts, flag 0 and a fresh checksum, and the texts are flattened
  // into the returned text area (TextBytesTotal bytes) with the entries' params
  // set to their offsets.
  std::vector<std::uint8_t> PrepareForWrite();
  // Flattens the texts into `area` (TextBytesTotal bytes, zeroed by the
  // caller), writing the offsets into `block`'s entries: the store's own block
  // or a copy of it. Entries in `block` decide which texts are written.
  void FlattenTextsInto(BlockSpan block, std::span<std::uint8_t> area) const;

 private:
  void ReleaseText(int index);

  mutable StoreLock lock_;
  std::unique_ptr<ProfileBlock> block_;
  std::vector<std::uint8_t> macros_;
  std::uint16_t macroCount_ = 0;
  std::vector<TextSlotEntry> texts_;
  std::uint32_t textBytesTotal_ = 0;
  KeyButtonRefresher* refresher_ = nullptr;
};

}  // namespace kst
