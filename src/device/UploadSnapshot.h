#pragma once

// The upload snapshot: a second copy of the store's content (profile block,
// macro list, flattened text area) that the configuration upload reads, so the
// keyboard gets one consistent picture of the store. One instance, owned by
// the application and handed down by reference.
//
// Lock order: the store's lock, then the snapshot's lock, never the reverse.

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "store/MacroRecord.h"
#include "store/ProfileFormat.h"

namespace kst {

class AssignmentStore;

using SnapshotLock = std::recursive_mutex;

class UploadSnapshot {
 public:
  UploadSnapshot() = default;
  UploadSnapshot(const UploadSnapshot&) = delete;
  UploadSnapshot& operator=(const UploadSnapshot&) = delete;

  // Guards everything below; re-entrant. Take it after the store's lock.
  SnapshotLock& Lock() const { return lock_; }

  // Replaces the content with a copy of the store's: the block with its
  // header refreshed (macro count, TextBytesTotal, flag 0), the macro list,
  // and the texts flattened into a new text area with the copy's entries
  // pointing at them. The caller holds the store's lock. False, with the
  // snapshot left empty, when memory runs out.
  bool Refresh(const AssignmentStore& store);
  // Frees the content.
  void Release();

  // Views valid while the caller holds Lock() and nothing refreshes.
  bool HasContent() const { return block_ != nullptr; }
  // Precondition: HasContent().
  ConstBlockSpan Block() const { return *block_; }
  std::span<const MacroRecord> Macros() const { return macros_; }
  std::span<const std::uint8_t> TextArea() const { return textArea_; }
  // Position of the first macro with this number; 0 when none (as the store's
  // FindMacroIndex).
  int FindMacroIndex(std::uint32_t number) const;

 private:
  mutable SnapshotLock lock_;
  std::unique_ptr<ProfileBlock> block_;
  std::vector<MacroRecord> macros_;
  std::vector<std::uint8_t> textArea_;
};

}  // namespace kst
