#pragma once

// The keyboard's command protocol: 64-byte command reports exchanged on the
// 'CTRL' channel, each answered by one 64-byte reply; transfers longer than
// one report are cut into chunks of at most 56 data bytes.
//
// Every operation returns 1 on success, or: 0 no keyboard (or the wait for a
// reply failed), -1 the report could not be sent, -2 no matching reply,
// -102 reply status 0xFF, -103 reply status 0xFE, -201 profile number outside
// 0-3, -202 an argument out of range (nothing is sent).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kst {

inline constexpr int kDeviceOk = 1;
inline constexpr int kDeviceNothing = 0;
inline constexpr int kDeviceSendFailed = -1;
inline constexpr int kDeviceNoReply = -2;
inline constexpr int kDeviceStatusFF = -102;
inline constexpr int kDeviceStatusFE = -103;
inline constexpr int kDeviceBadProfile = -201;
inline constexpr int kDeviceBadArgument = -202;

// CommandReport layout (requests and replies).
inline constexpr std::size_t kCommandReportBytes = 64;
inline constexpr std::size_t kReportIdOffset = 0;
inline constexpr std::size_t kChecksumOffset = 1;  // u16 LE: sum of bytes 3-63 mod 65536
inline constexpr std::size_t kCommandOffset = 3;
inline constexpr std::size_t kLengthOffset = 4;
inline constexpr std::size_t kAddressOffset = 5;  // u16 LE offset in the addressed area
inline constexpr std::size_t kStatusOffset = 7;   // 0 in requests
inline constexpr std::size_t kDataOffset = 8;
inline constexpr std::size_t kChunkDataBytes = 56;
static_assert(kDataOffset + kChunkDataBytes == kCommandReportBytes);
inline constexpr std::uint8_t kCommandReportId = 0x04;
inline constexpr std::uint8_t kStatusFF = 0xFF;
inline constexpr std::uint8_t kStatusFE = 0xFE;

// Commands.
inline constexpr std::uint8_t kCmdBeginUpdate = 0x01;
inline constexpr std::uint8_t kCmdEndUpdate = 0x02;
inline constexpr std::uint8_t kCmdReadSettings = 0x03;
inline constexpr std::uint8_t kCmdWriteSettings = 0x04;
inline constexpr std::uint8_t kCmdReadParameters = 0x05;
inline constexpr std::uint8_t kCmdWriteParameters = 0x06;
inline constexpr std::uint8_t kCmdReadKeyMap = 0x07;
inline constexpr std::uint8_t kCmdWriteKeyMap = 0x08;
inline constexpr std::uint8_t kCmdReadMacroArea = 0x09;
inline constexpr std::uint8_t kCmdWriteMacroArea = 0x0A;
inline constexpr std::uint8_t kCmdReadFactoryKeyMap = 0x0F;
inline constexpr std::uint8_t kCmdWriteKeyColours = 0x11;

// SettingsBlock.
inline constexpr std::size_t kSettingsBlockBytes = 44;
inline constexpr std::size_t kSettingsCurrentProfile = 10;
inline constexpr std::size_t kSettingsMacroSpace = 11;  // units of 128 bytes
inline constexpr std::size_t kSettingsEffectCodes = 12;
inline constexpr std::size_t kSettingsEffectCount = 32;
inline constexpr std::uint32_t kMacroSpaceUnit = 128;
static_assert(kSettingsEffectCodes + kSettingsEffectCount == kSettingsBlockBytes);
static_assert(kSettingsBlockBytes <= kChunkDataBytes);
using SettingsBlock = std::array<std::uint8_t, kSettingsBlockBytes>;

inline constexpr int kDeviceProfileCount = 4;
inline constexpr std::size_t kDeviceKeyMapBytes = 512;
inline constexpr std::size_t kParameterRecordBytes = 42;
inline constexpr std::size_t kKeyColourAreaBytes = 512;   // per lighting profile
inline constexpr std::size_t kMaxMacroAreaBytes = 65535;  // 16-bit offsets

using CommandReport = std::array<std::uint8_t, kCommandReportBytes>;

// Checksum of bytes 3-63, modulo 65536.
std::uint16_t CommandChecksum(std::span<const std::uint8_t, kCommandReportBytes> report);

// A finished request: report id, command, length, offset, data (zero after),
// status 0 and the checksum over all of it. data.size() must not exceed 56.
CommandReport BuildCommandReport(std::uint8_t command, std::uint8_t length, std::uint16_t offset,
                                 std::span<const std::uint8_t> data = {});

// The keyboard takes one command sequence at a time: a begin-update ...
// end-update group, or a run of chunked reads, must reach it whole, with no
// exchange of another thread between its reports. A thread holds the
// keyboard for such a sequence through a SequenceHold; every exchange takes
// the hold for itself, so exchanges of other threads wait until the sequence
// ends. Holds are re-entrant on the holding thread.
//
// Rule for callers: while holding a sequence, never wait for another thread
// that may itself wait for the keyboard (the window's thread in particular:
// a hold is released before anything is sent to the window).
class CommandSequencer {
 public:
  virtual ~CommandSequencer() = default;
  // Waits until no other thread holds a sequence, then holds it. False when
  // the keyboard's link is shutting down: nothing is held, and exchanges give
  // 0. A keyboard that only one thread uses needs no lock: the defaults.
  virtual bool LockSequence() { return true; }
  // Ends one LockSequence that gave true.
  virtual void UnlockSequence() {}
};

// Holds the keyboard for one command sequence for its lifetime.
class SequenceHold {
 public:
  // Waits for the keyboard (LockSequence).
  explicit SequenceHold(CommandSequencer& sequencer)
      : sequencer_(&sequencer), held_(sequencer.LockSequence()) {}
  ~SequenceHold() {
    if (held_) sequencer_->UnlockSequence();
  }
  SequenceHold(const SequenceHold&) = delete;
  SequenceHold& operator=(const SequenceHold&) = delete;

  bool Held() const { return held_; }

 private:
  CommandSequencer* sequencer_;
  bool held_;
};

// One request/reply exchange on the keyboard's command channel, and the
// cached current profile kept beside it. The device link implements it.
class ReportExchanger : public CommandSequencer {
 public:
  ~ReportExchanger() override = default;
  // Sends the first min(request.size(), 64) bytes as one report and copies
  // at most reply.size() bytes of the reply; replyLength = bytes copied.
  // Gives 1, 0, -1 or -2.
  virtual int ExchangeReport(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply,
                             std::uint32_t& replyLength) = 0;
  // The keyboard's current profile as last seen, -1 = unknown.
  virtual int CachedCurrentProfile() const = 0;
  virtual void SetCachedCurrentProfile(int profile) = 0;
  // Counts the times the cached profile was forgotten because the keyboard
  // may have changed it by itself (factory reset, a new connection).
  virtual std::uint64_t CurrentProfileEpoch() const { return 0; }
  // Caches a profile read from the keyboard, unless the cache was forgotten
  // after epoch (CurrentProfileEpoch before the read) was taken: such an
  // answer may predate the change.
  virtual void CacheCurrentProfileRead(int profile, std::uint64_t epoch) {
    (void)epoch;
    SetCachedCurrentProfile(profile);
  }
};

int BeginUpdate(ReportExchanger& link);
// Sleeps 10 ms before the exchange.
int EndUpdate(ReportExchanger& link);
// Copies the block only on success.
int ReadSettings(ReportExchanger& link, std::span<std::uint8_t, kSettingsBlockBytes> settings);
int WriteSettings(ReportExchanger& link,
                  std::span<const std::uint8_t, kSettingsBlockBytes> settings);
// Asks for length bytes (at most 56) at offset of the parameter area and
// copies the 56 reply data bytes on success.
int ReadParameters(ReportExchanger& link, std::span<std::uint8_t, kChunkDataBytes> buffer,
                   std::uint8_t length, std::uint16_t offset);
// At most 56 bytes at offset of the parameter area.
int WriteParameters(ReportExchanger& link, std::span<const std::uint8_t> data,
                    std::uint16_t offset);
// Profiles 0-3; others give -201 without an exchange.
int ReadKeyMap(ReportExchanger& link, std::span<std::uint8_t, kDeviceKeyMapBytes> keyMap,
               int profile);
int WriteKeyMap(ReportExchanger& link, std::span<const std::uint8_t, kDeviceKeyMapBytes> keyMap,
                int profile);
// The macro area from its start; an empty span gives 1 at once.
int ReadMacroArea(ReportExchanger& link, std::span<std::uint8_t> area);
int WriteMacroArea(ReportExchanger& link, std::span<const std::uint8_t> area);
int ReadFactoryKeyMap(ReportExchanger& link, std::span<std::uint8_t, kDeviceKeyMapBytes> keyMap);
// Three bytes (red, green, blue) per key from firstKeyPosition on, into the
// colour area of lightingProfile (0-3); at most 56 bytes.
int WriteKeyColours(ReportExchanger& link, std::span<const std::uint8_t> data, int firstKeyPosition,
                    int lightingProfile);

// The cached current profile, or the settings block's byte 10 read (and
// cached) when unknown; -1 when it cannot be read.
int GetCurrentProfile(ReportExchanger& link);
// Read-modify-write of the settings block with byte 10 = profile; caches the
// profile on success, forgets the cache when the write fails. Negative
// profiles do nothing. Returns the result of the failing step, or 1.
int SetCurrentProfile(ReportExchanger& link, int profile);

}  // namespace kst
