#include "store/ProfileFormat.h"

#include <algorithm>

#include "foundation/DeviceIdentity.h"
#include "store/LittleEndian.h"

namespace kst {

KeyAssignment DecodeKeyAssignment(std::span<const std::uint8_t, kEntrySize> bytes) {
  KeyAssignment entry;
  entry.kind = le::U16(bytes, kEntryKindOffset);
  entry.extra = le::U16(bytes, kEntryExtraOffset);
  entry.param = le::U32(bytes, kEntryParamOffset);
  entry.reserved1 = le::U32(bytes, kEntryReserved1Offset);
  entry.reserved2 = le::U32(bytes, kEntryReserved2Offset);
  return entry;
}

void EncodeKeyAssignment(const KeyAssignment& entry, std::span<std::uint8_t, kEntrySize> bytes) {
  le::PutU16(bytes, kEntryKindOffset, entry.kind);
  le::PutU16(bytes, kEntryExtraOffset, entry.extra);
  le::PutU32(bytes, kEntryParamOffset, entry.param);
  le::PutU32(bytes, kEntryReserved1Offset, entry.reserved1);
  le::PutU32(bytes, kEntryReserved2Offset, entry.reserved2);
}

KeyAssignment ReadEntry(ConstBlockSpan block, int index) {
  if (index < 0 || index >= kEntryCount) return {};
  return DecodeKeyAssignment(block.subspan(EntryOffset(index)).first<kEntrySize>());
}

void WriteEntry(BlockSpan block, int index, const KeyAssignment& entry) {
  if (index < 0 || index >= kEntryCount) return;
  EncodeKeyAssignment(entry, block.subspan(EntryOffset(index)).first<kEntrySize>());
}

int MediaKeyIndexOfUsage(std::uint16_t usage) {
  const auto it = std::find(kMediaKeyTable.begin(), kMediaKeyTable.end(), usage);
  return it == kMediaKeyTable.end() ? -1 : static_cast<int>(it - kMediaKeyTable.begin());
}

ProfileFileHeader DecodeFileHeader(std::span<const std::uint8_t, kFileHeaderSize> bytes) {
  ProfileFileHeader h;
  h.magic = le::U16(bytes, kHeaderMagicOffset);
  h.headerSize = le::U16(bytes, kHeaderSizeOffset);
  h.version = le::U16(bytes, kHeaderVersionOffset);
  h.format = le::U16(bytes, kHeaderFormatOffset);
  h.fileSize = le::U32(bytes, kHeaderFileSizeOffset);
  h.entryCount = le::U16(bytes, kHeaderEntryCountOffset);
  h.macroCount = le::U16(bytes, kHeaderMacroCountOffset);
  h.textBytes = le::U32(bytes, kHeaderTextBytesOffset);
  h.reserved1 = le::U32(bytes, kHeaderReserved1Offset);
  h.reserved2 = le::U32(bytes, kHeaderReserved2Offset);
  h.reserved3 = le::U16(bytes, kHeaderReserved3Offset);
  h.flag = le::U8(bytes, kHeaderFlagOffset);
  h.checksum = le::U8(bytes, kHeaderChecksumOffset);
  return h;
}

void EncodeFileHeader(const ProfileFileHeader& h, std::span<std::uint8_t, kFileHeaderSize> bytes) {
  le::PutU16(bytes, kHeaderMagicOffset, h.magic);
  le::PutU16(bytes, kHeaderSizeOffset, h.headerSize);
  le::PutU16(bytes, kHeaderVersionOffset, h.version);
  le::PutU16(bytes, kHeaderFormatOffset, h.format);
  le::PutU32(bytes, kHeaderFileSizeOffset, h.fileSize);
  le::PutU16(bytes, kHeaderEntryCountOffset, h.entryCount);
  le::PutU16(bytes, kHeaderMacroCountOffset, h.macroCount);
  le::PutU32(bytes, kHeaderTextBytesOffset, h.textBytes);
  le::PutU32(bytes, kHeaderReserved1Offset, h.reserved1);
  le::PutU32(bytes, kHeaderReserved2Offset, h.reserved2);
  le::PutU16(bytes, kHeaderReserved3Offset, h.reserved3);
  le::PutU8(bytes, kHeaderFlagOffset, h.flag);
  le::PutU8(bytes, kHeaderChecksumOffset, h.checksum);
}

std::uint8_t HeaderChecksum(std::span<const std::uint8_t, kFileHeaderSize> bytes) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < kHeaderChecksumOffset; ++i) sum += bytes[i];
  return static_cast<std::uint8_t>(sum);
}

std::uint64_t ExpectedFileSize(std::uint64_t macroCount, std::uint64_t textBytes) {
  return kProfileBlockSize + kMacroRecordSize * macroCount + textBytes;
}

void RefreshFileHeader(BlockSpan block, std::uint16_t macroCount, std::uint32_t textBytes,
                       std::uint8_t flag) {
  const auto bytes = block.first<kFileHeaderSize>();
  ProfileFileHeader h = DecodeFileHeader(bytes);
  h.macroCount = macroCount;
  h.textBytes = textBytes;
  h.fileSize = static_cast<std::uint32_t>(ExpectedFileSize(macroCount, textBytes));
  h.flag = flag;
  EncodeFileHeader(h, bytes);
  le::PutU8(bytes, kHeaderChecksumOffset, HeaderChecksum(bytes));
}

std::array<std::uint32_t, kDeviceTagWords> DeviceTagWords() {
  return {0x0020484B,
          0x00008020,
          0x02000004,
          0x00000000,
          (static_cast<std::uint32_t>(kKeyboardProductId) << 16) | kKeyboardVendorId,
          0x000E1C4F,
          0x00000000,
          0x00000000};
}

void EncodeDeviceTag(std::span<std::uint8_t, kDeviceTagSize> bytes) {
  const auto words = DeviceTagWords();
  for (std::size_t i = 0; i < kDeviceTagWords; ++i) le::PutU32(bytes, 4 * i, words[i]);
}

void FillDefaultProfileBlock(BlockSpan block, std::uint8_t flag) {
  std::fill(block.begin(), block.end(), std::uint8_t{0});
  const auto header = block.first<kFileHeaderSize>();
  ProfileFileHeader h;
  h.flag = flag;
  EncodeFileHeader(h, header);
  le::PutU8(header, kHeaderChecksumOffset, HeaderChecksum(header));
  EncodeDeviceTag(block.subspan<kDeviceTagOffset, kDeviceTagSize>());
  for (int p = 0; p < kProfileCount; ++p) {
    for (int k = 0; k < kGKeySlotCount; ++k) {
      const int slot = kFirstGKeySlot + k;
      const std::size_t offset = EntryOffset(EntryIndex(p, slot)) + kEntryExtraOffset;
      le::PutU16(block, offset, GKeyCode(slot));
    }
  }
}

std::unique_ptr<ProfileBlock> MakeDefaultProfileBlock(std::uint8_t flag) {
  auto block = std::make_unique<ProfileBlock>();
  FillDefaultProfileBlock(*block, flag);
  return block;
}

}  // namespace kst
