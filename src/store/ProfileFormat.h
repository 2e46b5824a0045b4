#pragma once

// The byte layout shared by the in-memory store and the profile files: the
// 32832-byte profile block (file header, device tag, 4 x 512 key assignment
// entries), and the small tables that give meaning to the entries.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "foundation/KeyCodeTable.h"

namespace kst {

// ---- Sizes and offsets ------------------------------------------------------

inline constexpr int kProfileCount = 4;
inline constexpr int kSlotsPerProfile = 512;
inline constexpr int kEntryCount = kProfileCount * kSlotsPerProfile;  // 2048

inline constexpr std::size_t kFileHeaderSize = 32;
inline constexpr std::size_t kDeviceTagOffset = 32;
inline constexpr std::size_t kDeviceTagSize = 32;
inline constexpr std::size_t kEntriesOffset = kDeviceTagOffset + kDeviceTagSize;
inline constexpr std::size_t kEntrySize = 16;
inline constexpr std::size_t kProfileEntriesSize = kSlotsPerProfile * kEntrySize;
inline constexpr std::size_t kProfileBlockSize = kEntriesOffset + kEntryCount * kEntrySize;
static_assert(kEntriesOffset == 64);
static_assert(kProfileEntriesSize == 8192);
static_assert(kProfileBlockSize == 32832);

// ProfileFileHeader field offsets.
inline constexpr std::size_t kHeaderMagicOffset = 0;
inline constexpr std::size_t kHeaderSizeOffset = 2;
inline constexpr std::size_t kHeaderVersionOffset = 4;
inline constexpr std::size_t kHeaderFormatOffset = 6;
inline constexpr std::size_t kHeaderFileSizeOffset = 8;
inline constexpr std::size_t kHeaderEntryCountOffset = 12;
inline constexpr std::size_t kHeaderMacroCountOffset = 14;
inline constexpr std::size_t kHeaderTextBytesOffset = 16;
inline constexpr std::size_t kHeaderReserved1Offset = 20;
inline constexpr std::size_t kHeaderReserved2Offset = 24;
inline constexpr std::size_t kHeaderReserved3Offset = 28;
inline constexpr std::size_t kHeaderFlagOffset = 30;
inline constexpr std::size_t kHeaderChecksumOffset = 31;
static_assert(kHeaderChecksumOffset + 1 == kFileHeaderSize);

inline constexpr std::uint16_t kProfileMagic = 0x4446;  // bytes 'F' 'D'
inline constexpr std::uint16_t kProfileVersion = 3;
inline constexpr std::uint16_t kProfileFormat = 1;
inline constexpr int kMaxMacroCount = 100;
// One MacroRecord; the records follow the block in list order.
inline constexpr std::size_t kMacroRecordSize = 16512;

// KeyAssignment field offsets within an entry.
inline constexpr std::size_t kEntryKindOffset = 0;
inline constexpr std::size_t kEntryExtraOffset = 2;
inline constexpr std::size_t kEntryParamOffset = 4;
inline constexpr std::size_t kEntryReserved1Offset = 8;
inline constexpr std::size_t kEntryReserved2Offset = 12;
static_assert(kEntryReserved2Offset + 4 == kEntrySize);

using ProfileBlock = std::array<std::uint8_t, kProfileBlockSize>;
using BlockSpan = std::span<std::uint8_t, kProfileBlockSize>;
using ConstBlockSpan = std::span<const std::uint8_t, kProfileBlockSize>;

// ---- Key assignments ----------------------------------------------------------

enum class AssignmentKind : std::uint16_t {
  Default = 0,
  Disabled = 1,
  SingleKey = 2,
  LaunchProgram = 3,
  PlayMacro = 4,
  StopMacro = 5,
  TextBlock = 6,
  MediaKey = 7,
  FunctionKey = 8,
};

// Kinds whose entry owns a text in the text slot table.
constexpr bool KindCarriesText(std::uint16_t kind) {
  return kind == static_cast<std::uint16_t>(AssignmentKind::LaunchProgram) ||
         kind == static_cast<std::uint16_t>(AssignmentKind::TextBlock);
}

// One 16-byte entry. kind is kept raw: a file may hold values this program
// does not know, and they are carried through unchanged.
struct KeyAssignment {
  std::uint16_t kind = 0;
  std::uint16_t extra = 0;  // PlayMacro: repeat count; G-key slots: GKeyCode; else 0
  std::uint32_t param = 0;
  std::uint32_t reserved1 = 0;
  std::uint32_t reserved2 = 0;

  AssignmentKind Kind() const { return static_cast<AssignmentKind>(kind); }
  bool Is(AssignmentKind k) const { return kind == static_cast<std::uint16_t>(k); }
  friend bool operator==(const KeyAssignment&, const KeyAssignment&) = default;
};

KeyAssignment DecodeKeyAssignment(std::span<const std::uint8_t, kEntrySize> bytes);
void EncodeKeyAssignment(const KeyAssignment& entry, std::span<std::uint8_t, kEntrySize> bytes);

// Byte offset of entry `index` (0-2047) in the block.
constexpr std::size_t EntryOffset(int index) {
  return kEntriesOffset + static_cast<std::size_t>(index) * kEntrySize;
}
// Entry index of (profile, slot); -1 when either is out of range.
constexpr int EntryIndex(int profile, int slot) {
  if (profile < 0 || profile >= kProfileCount || slot < 0 || slot >= kSlotsPerProfile) return -1;
  return profile * kSlotsPerProfile + slot;
}
KeyAssignment ReadEntry(ConstBlockSpan block, int index);
void WriteEntry(BlockSpan block, int index, const KeyAssignment& entry);

// ---- G keys -------------------------------------------------------------------

inline constexpr AssignmentSlot kFirstGKeySlot = 256;
inline constexpr int kGKeysPerBank = 9;
inline constexpr int kGKeySlotCount = 2 * kGKeysPerBank;  // slots 256-273

enum class GKeyBank : std::uint8_t { A = 0, B = 1 };

// The bank from the second LedStatus byte kept by the device link: bit 0.
constexpr GKeyBank GKeyBankFromLedStatusByte(std::uint8_t secondByte) {
  return (secondByte & 0x01) ? GKeyBank::B : GKeyBank::A;
}
// Slot of G key k (0-8) of the bank; 0 when k is out of range.
constexpr AssignmentSlot GKeySlot(GKeyBank bank, int k) {
  if (k < 0 || k >= kGKeysPerBank) return 0;
  return static_cast<AssignmentSlot>(kFirstGKeySlot + (bank == GKeyBank::B ? kGKeysPerBank : 0) +
                                     k);
}
// 0x0301-0x0309 for bank A G1-G9, 0x1301-0x1309 for bank B; 0 for any other slot.
constexpr std::uint16_t GKeyCode(int slot) {
  if (slot < kFirstGKeySlot || slot >= kFirstGKeySlot + kGKeySlotCount) return 0;
  const int k = slot - kFirstGKeySlot;
  return static_cast<std::uint16_t>(k < kGKeysPerBank ? 0x0301 + k : 0x1301 + (k - kGKeysPerBank));
}
static_assert(GKeyCode(256) == 0x0301 && GKeyCode(264) == 0x0309);
static_assert(GKeyCode(265) == 0x1301 && GKeyCode(273) == 0x1309);
static_assert(GKeyCode(255) == 0 && GKeyCode(274) == 0);

// ---- Media keys ---------------------------------------------------------------

inline constexpr int kMediaKeyCount = 18;
// Consumer-page usage of each MediaKey param.
inline constexpr std::array<std::uint16_t, kMediaKeyCount> kMediaKeyTable = {
    0x0183, 0x00CD, 0x00B7, 0x00B6, 0x00B5, 0x00EA, 0x00E9, 0x00E2, 0x0223,
    0x0227, 0x0226, 0x0224, 0x0225, 0x022A, 0x0221, 0x0194, 0x0192, 0x018A,
};
// Index of the usage in the table; -1 when absent.
int MediaKeyIndexOfUsage(std::uint16_t usage);

// ---- File header and device tag ---------------------------------------------

struct ProfileFileHeader {
  std::uint16_t magic = kProfileMagic;
  std::uint16_t headerSize = kFileHeaderSize;
  std::uint16_t version = kProfileVersion;
  std::uint16_t format = kProfileFormat;
  std::uint32_t fileSize = kProfileBlockSize;
  std::uint16_t entryCount = kEntryCount;
  std::uint16_t macroCount = 0;
  std::uint32_t textBytes = 0;
  std::uint32_t reserved1 = 0;
  std::uint32_t reserved2 = 0;
  std::uint16_t reserved3 = 0;
  std::uint8_t flag = 0;
  std::uint8_t checksum = 0;
  friend bool operator==(const ProfileFileHeader&, const ProfileFileHeader&) = default;
};

ProfileFileHeader DecodeFileHeader(std::span<const std::uint8_t, kFileHeaderSize> bytes);
// Writes every field as given, checksum included.
void EncodeFileHeader(const ProfileFileHeader& header,
                      std::span<std::uint8_t, kFileHeaderSize> bytes);
// Sum of bytes 0-30 modulo 256.
std::uint8_t HeaderChecksum(std::span<const std::uint8_t, kFileHeaderSize> bytes);
// The size a file with these counts has: 32832 + 16512 x macros + text bytes.
std::uint64_t ExpectedFileSize(std::uint64_t macroCount, std::uint64_t textBytes);
// Sets the count and size fields and the flag of the block's header and
// recomputes its checksum; the other fields keep their values.
void RefreshFileHeader(BlockSpan block, std::uint16_t macroCount, std::uint32_t textBytes,
                       std::uint8_t flag = 0);

inline constexpr std::size_t kDeviceTagWords = 8;
// The device tag's eight words; word 4 is the keyboard's product id << 16 | vendor id.
std::array<std::uint32_t, kDeviceTagWords> DeviceTagWords();
void EncodeDeviceTag(std::span<std::uint8_t, kDeviceTagSize> bytes);

// A fresh block: header for 0 macros and 0 text bytes with the given flag, the
// device tag, every entry zero except the GKeyCode extra field of slots
// 256-273 of every profile.
std::unique_ptr<ProfileBlock> MakeDefaultProfileBlock(std::uint8_t flag = 0);
// The same content written into an existing block.
void FillDefaultProfileBlock(BlockSpan block, std::uint8_t flag = 0);

}  // namespace kst
