#pragma once

// The keyboard's key maps and macro area, read on the connection worker
// before it hands the connection to the window, so that the window's rebuild
// of the working profile file does not wait for some fifty exchanges on its
// own thread.
//
// ReadAheadDevice wraps the keyboard's upload device and passes every
// operation through to it, except that a read it holds from ReadAhead is
// answered from what was read (result and bytes, failures included, so a
// keyboard that does not answer is not waited for twice). What it holds is dropped
// by every write through it, by Invalidate (the keyboard changed its memory
// by itself, or went away) and by Discard; a read-ahead overtaken by one of
// these keeps nothing. So a held read is always what the keyboard would
// answer now, as long as key maps and macro area are written only through
// this device.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "device/UploadDevice.h"

namespace kst {

class ReadAheadDevice final : public UploadDevice {
 public:
  // keyboard must outlive this object.
  explicit ReadAheadDevice(UploadDevice& keyboard);

  // Reads, from the keyboard, what the rebuild from the keyboard reads (the
  // current profile, the four key maps, the macro area) and holds the
  // answers, failures included. Any thread; meant for the connection worker.
  void ReadAhead();
  // Drops what is held; any thread.
  void Invalidate();
  // Whether any read is held.
  bool HoldsReads() const;

  std::array<std::uint8_t, kUploadKeyMapBytes> FactoryKeyMap() const override;
  std::uint32_t MacroCapacity() const override;
  int CurrentProfile() override;
  // The keyboard's own sequence lock: a sequence held here holds the keyboard.
  bool LockSequence() override;
  void UnlockSequence() override;
  int BeginUpdate() override;
  int EndUpdate() override;
  int WriteMacroArea(std::span<const std::uint8_t> area) override;
  int ReadMacroArea(std::span<std::uint8_t> area) override;
  int WriteParameters(std::span<const std::uint8_t> data, std::uint16_t offset) override;
  int WriteKeyMap(std::span<const std::uint8_t, kUploadKeyMapBytes> keyMap, int profile) override;
  int ReadKeyMap(std::span<std::uint8_t, kUploadKeyMapBytes> keyMap, int profile) override;

  // One read's answer: the bytes asked for, the command's result and, on
  // success, the bytes read.
  struct HeldRead {
    std::size_t length = 0;
    int result = 0;
    std::vector<std::uint8_t> bytes;
  };
  struct HeldReads {
    // The current profile when the keyboard could not give it (a readable
    // one stays with the link's cache, which follows the keyboard's
    // switches).
    std::optional<int> unknownProfile;
    std::array<std::optional<HeldRead>, 4> keyMaps;
    // Macro-area reads from the area's start, in the order made.
    std::vector<HeldRead> macroReads;
  };

 private:
  class Recorder;

  // The held answer to a macro-area read of `length` bytes: a read of that
  // length, or the prefix of a successful longer one.
  static const HeldRead* FindMacroRead(const HeldReads& reads, std::size_t length);
  void DropHeld();
  // Runs a write with what is held dropped before and after it, so that no
  // read-ahead overlapping it keeps anything.
  template <typename Write>
  int Written(Write write);

  UploadDevice& keyboard_;
  mutable std::mutex mutex_;
  // Bumped by every write and invalidation; a read-ahead keeps its answers
  // only when it did not change while the reads ran.
  std::uint64_t generation_ = 0;
  HeldReads held_;
};

}  // namespace kst
