#include "device/sim/SimKeyboard.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "device/sim/SimSocket.h"
#include "device/sim/TolvaneSimControl.h"
#include "foundation/DeviceIdentity.h"

namespace kst::sim {
namespace {

constexpr std::uint32_t kDefaultLatencyUs = 1000;
constexpr std::uint32_t kMaxLatencyUs = 10'000'000;
constexpr std::uint32_t kMaxSlowMs = 60'000;
// Memory is written to the state file once no change came for this long.
constexpr auto kSaveQuietPeriod = std::chrono::milliseconds(50);
// How long a control command waits for its event to be delivered.
constexpr auto kDeliveryTimeout = std::chrono::seconds(10);
// Between the two codes of "activity" without argument.
constexpr auto kActivityPulse = std::chrono::milliseconds(20);
// A state file larger than this is not one of ours.
constexpr std::uintmax_t kMaxStateFileBytes = 1 << 20;
constexpr std::array<std::uint8_t, kLedReportSize> kDefaultLedReport{0x05, 0x02};
// Not an area: the lighting records and key colours read as fields.
constexpr std::string_view kLightingDump = "lighting";

constexpr std::uint32_t kMatchVendor = 0x1, kMatchProduct = 0x2, kMatchUsagePage = 0x4,
                        kMatchUsage = 0x8;

struct InterfaceInfo {
  Interface iface;
  std::uint16_t usagePage;
  std::uint16_t usage;
  const char* tag;
};
constexpr InterfaceInfo kInterfaces[] = {
    {Interface::Led, kLedUsagePage, kLedUsage, "LED"},
    {Interface::Consumer, kConsumerUsagePage, kConsumerUsage, "CONS"},
    {Interface::Control, kControlUsagePage, kControlUsage, "CTRL"},
};

const InterfaceInfo& Info(Interface iface) {
  for (const auto& info : kInterfaces) {
    if (info.iface == iface) return info;
  }
  return kInterfaces[2];
}

bool Matches(const DeviceSelector& s, Interface iface) {
  const InterfaceInfo& info = Info(iface);
  const std::uint32_t mask = s.matchMask;
  if ((mask & kMatchVendor) && s.vendorId != kKeyboardVendorId) return false;
  if ((mask & kMatchProduct) && s.productId != kKeyboardProductId) return false;
  if ((mask & kMatchUsagePage) && s.usagePage != info.usagePage) return false;
  if ((mask & kMatchUsage) && s.usage != info.usage) return false;
  return true;
}

bool MatchesAny(const DeviceSelector& s) {
  return std::any_of(std::begin(kInterfaces), std::end(kInterfaces),
                     [&s](const InterfaceInfo& info) { return Matches(s, info.iface); });
}

std::string Hex(std::span<const std::uint8_t> bytes, bool spaced) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (spaced && i > 0) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

bool ParseHex(std::string_view text, std::vector<std::uint8_t>& out) {
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == ':') continue;
    digits += c;
  }
  if (digits.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(digits.data() + i, digits.data() + i + 2, value, 16);
    if (ec != std::errc() || end != digits.data() + i + 2) return false;
    out.push_back(static_cast<std::uint8_t>(value));
  }
  return true;
}

bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return ec == std::errc() && end == text.data() + text.size() && value <= max;
}

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::istringstream in{std::string(text)};
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::string DefaultStatePath() {
  std::filesystem::path base;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
    base = data;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return {};
  }
  return (base / "Z-ORMIT M350RGB" / "simulated-keyboard.bin").string();
}

const char* FaultName(FaultKind kind) {
  switch (kind) {
    case FaultKind::NoReply:
      return "no-reply";
    case FaultKind::WrongCommand:
      return "wrong-command";
    case FaultKind::StatusFF:
      return "status-ff";
    case FaultKind::StatusFE:
      return "status-fe";
    case FaultKind::Unplug:
      return "unplug";
    case FaultKind::Slow:
      return "slow";
  }
  return "";
}

// Comma-separated codes 0-255 (decimal or 0x-prefixed), at most one per slot.
bool ParseEffectList(std::string_view text, std::vector<std::uint8_t>& codes, std::string& why) {
  codes.clear();
  for (std::size_t start = 0;;) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string_view item = text.substr(start, comma - start);
    std::uint64_t code = 0;
    if (!ParseNumber(item, 255, code)) {
      why = "effect codes are numbers 0-255 separated by commas, not \"" + std::string(item) + "\"";
      return false;
    }
    if (codes.size() == kEffectCodeSlots) {
      why = "at most " + std::to_string(kEffectCodeSlots) + " effect codes";
      return false;
    }
    codes.push_back(static_cast<std::uint8_t>(code));
    if (comma == text.size()) return true;
    start = comma + 1;
  }
}

std::string EffectListText(std::span<const std::uint8_t> codes) {
  if (codes.empty()) return "none";
  std::string out;
  for (std::uint8_t code : codes) {
    if (!out.empty()) out += ',';
    out += std::to_string(code);
  }
  return out;
}

// The lighting of the four profiles, read from memory: the
// record's fields as stored (no clamping) and the keys that do not show the
// record's base colour.
std::string LightingSummary(const KeyboardMemory& memory) {
  constexpr std::size_t kEffect = 0, kBrightness = 1, kSpeed = 2, kDirection = 3, kMulticolour = 4,
                        kColour = 5, kBaseColour = 9, kReportRate = 15, kColourChoice = 17;
  static_assert(kColourChoice < kLightingRecordSize);
  std::string out = "[" + std::string(kLightingDump) + "] current profile " +
                    std::to_string(memory.settings[kCurrentProfileByte]) + ", effects " +
                    EffectListText(EffectCodes(memory)) + "\n";
  for (int p = 0; p < kProfileCount; ++p) {
    const auto record =
        std::span(memory.parameters)
            .subspan(static_cast<std::size_t>(p) * kLightingRecordSize, kLightingRecordSize);
    const auto base = record.subspan(kBaseColour, 3);
    const std::string profile = "profile " + std::to_string(p);
    out += profile + ": effect=" + std::to_string(record[kEffect]) +
           " brightness=" + std::to_string(record[kBrightness]) +
           " speed=" + std::to_string(record[kSpeed]) +
           " direction=" + std::to_string(record[kDirection]) +
           " multicolour=" + std::to_string(record[kMulticolour]) +
           " colour=" + Hex(record.subspan(kColour, 3), false) +
           " base-colour=" + Hex(base, false) +
           " report-rate=" + std::to_string(record[kReportRate]) +
           " colour-choice=" + std::to_string(record[kColourChoice]) + "\n";
    const auto area = std::span(memory.colours)
                          .subspan(static_cast<std::size_t>(p) * kColourAreaSize, kColourAreaSize);
    std::string keys;
    int painted = 0;
    for (std::size_t led = 0; led < kSentLedPositions; ++led) {
      const auto rgb = area.subspan(led * 3, 3);
      if (std::equal(rgb.begin(), rgb.end(), base.begin())) continue;
      keys += ' ' + std::to_string(led) + '=' + Hex(rgb, false);
      ++painted;
    }
    out += profile + " painted " + std::to_string(painted) + ":" + keys + "\n";
  }
  return out;
}

constexpr const char* kHelp =
    "help | status | profile-key | g-bank | factory-reset | activity [on|off] | unplug | plug\n"
    "dump [<area>|lighting] | read <area> [<offset> <length>] | write <area> <offset> <hex>\n"
    "macro-space <units> | reset | fault [<kind> <n>|every [<ms>] | clear] | latency [<us>]\n"
    "echo [on|off] | effects [<code>,...|default|none]\n"
    "reports [clear] | sync | save\n"
    "areas: settings parameters keymaps factory macro colours led\n"
    "fault kinds: no-reply wrong-command status-ff status-fe unplug slow\n";

}  // namespace

SimKeyboard& SimKeyboard::Instance() {
  // Never destroyed: the library is not unloaded and its threads may still run
  // when the process exits without calling End.
  static SimKeyboard* instance = new SimKeyboard();
  return *instance;
}

SimKeyboard::SimKeyboard() : latencyUs_(kDefaultLatencyUs), ledReport_(kDefaultLedReport) {}

SimKeyboard::~SimKeyboard() { End(); }

int SimKeyboard::Debug(int level) {
  std::lock_guard lock(mutex_);
  const int previous = debugLevel_;
  debugLevel_ = level;
  return previous;
}

int SimKeyboard::Init() {
  std::unique_lock lock(mutex_);
  if (running_) return 1;
  EnsureLoadedLocked();
  if (const char* latency = std::getenv("KESTRUNE_SIM_LATENCY_US"); latency && *latency) {
    std::uint64_t us = 0;
    if (ParseNumber(latency, kMaxLatencyUs, us)) {
      latencyUs_ = static_cast<std::uint32_t>(us);
    } else {
      std::fprintf(stderr, "simulated keyboard: KESTRUNE_SIM_LATENCY_US=%s ignored (0 to %u)\n",
                   latency, kMaxLatencyUs);
    }
  }
  if (const char* present = std::getenv("KESTRUNE_SIM_PRESENT"); present && *present) {
    present_ = std::string_view(present) != "0";
  }
  start_ = Clock::now();
  if (const char* capture = std::getenv("KESTRUNE_CAPTURE"); capture && *capture) {
    capture_ = std::fopen(capture, "a");
    if (!capture_) {
      std::fprintf(stderr, "simulated keyboard: cannot open capture file %s: %s\n", capture,
                   std::strerror(errno));
    }
  }
  stopping_ = false;
  running_ = true;
  device_ = std::thread([this] { DeviceLoop(); });
  deviceThreadId_ = device_.get_id();
  lock.unlock();

  // The control socket is a convenience: a second simulated keyboard (another
  // test process) runs without one.
  std::string why;
  std::string path = ControlSocketPath(&why);
  if (path.empty() && !why.empty()) {
    std::fprintf(stderr, "simulated keyboard: no control socket: %s\n", why.c_str());
  }
  if (!path.empty()) {
    auto server = std::make_unique<ControlServer>();
    if (server->Start(
            path,
            [this](std::string_view command, std::string& reply) {
              return Control(command, reply);
            },
            &why)) {
      lock.lock();
      server_ = std::move(server);
      socketPath_ = path;
    } else {
      std::fprintf(stderr, "simulated keyboard: no control socket: %s\n", why.c_str());
    }
  }
  return 1;
}

int SimKeyboard::End() {
  std::unique_ptr<ControlServer> server;
  {
    std::unique_lock lock(mutex_);
    if (!running_) return 0;
    // The library thread cannot join itself.
    if (std::this_thread::get_id() == deviceThreadId_) return -1;
    server = std::move(server_);
    socketPath_.clear();
  }
  if (server) server->Stop();  // outside the lock: a command may be running
  std::thread device;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    device = std::move(device_);
  }
  wakeCv_.notify_all();
  doneCv_.notify_all();
  if (device.joinable()) device.join();

  std::lock_guard lock(mutex_);
  running_ = false;
  deviceThreadId_ = {};
  if (dirty_) {
    std::string error;
    if (!SaveLocked(&error)) std::fprintf(stderr, "simulated keyboard: %s\n", error.c_str());
  }
  loaded_ = false;
  if (capture_) std::fclose(capture_);
  capture_ = nullptr;
  registrations_.clear();
  queue_.clear();
  outstanding_.clear();
  ResetVolatileLocked();
  requestsSent_ = 0;
  latencyUs_ = kDefaultLatencyUs;
  present_ = true;
  leaving_ = false;
  doneCv_.notify_all();
  return 1;
}

void SimKeyboard::SaveIfDirty() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (lock.owns_lock()) {
      std::string error;
      if (dirty_ && !SaveLocked(&error)) {
        std::fprintf(stderr, "simulated keyboard: %s\n", error.c_str());
      }
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void SimKeyboard::ResetVolatileLocked() {
  ledReport_ = kDefaultLedReport;
  controlFeature_.clear();
  faults_.clear();
  counters_ = {};
  echoFields_ = true;
}

int SimKeyboard::DeviceCount(const DeviceSelector* selector) {
  if (!selector) return -1;
  std::lock_guard lock(mutex_);
  return running_ && present_ && MatchesAny(*selector) ? 1 : 0;
}

int SimKeyboard::AsyncRead(const DeviceSelector* selector, TolvaneCallback callback,
                           std::uint32_t tag, std::uint32_t /*requestKey*/, std::uint32_t* unitId) {
  if (!selector || !callback) return -1;
  std::lock_guard lock(mutex_);
  if (!running_ || !MatchesAny(*selector)) return 0;
  Registration r;
  r.unit = nextUnit_++;
  if (nextUnit_ == 0) nextUnit_ = 1;
  r.selector = *selector;
  r.callback = callback;
  r.tag = tag;
  registrations_.push_back(r);
  if (unitId) *unitId = r.unit;
  return 1;
}

int SimKeyboard::DeleteUnit(std::uint32_t unitId) {
  std::unique_lock lock(mutex_);
  const auto it = std::find_if(registrations_.begin(), registrations_.end(),
                               [unitId](const Registration& r) { return r.unit == unitId; });
  if (it == registrations_.end()) return 0;
  registrations_.erase(it);
  // Once this returns the callback is not running for the unit any more,
  // unless the caller is that very callback.
  if (std::this_thread::get_id() != deviceThreadId_) {
    doneCv_.wait(lock, [&] { return inCallback_ != unitId; });
  }
  return 1;
}

int SimKeyboard::DeleteHandle(std::uintptr_t handle) {
  std::vector<std::uint32_t> units;
  {
    std::lock_guard lock(mutex_);
    for (const Registration& r : registrations_) {
      if (reinterpret_cast<std::uintptr_t>(r.callback) == handle) units.push_back(r.unit);
    }
  }
  int deleted = 0;
  for (std::uint32_t unit : units) deleted += DeleteUnit(unit);
  return deleted;
}

int SimKeyboard::Write(const DeviceSelector* selector, const std::uint8_t* data,
                       std::uint32_t length, std::uint32_t* unitId) {
  if (!selector || !data || length == 0) return -1;
  std::lock_guard lock(mutex_);
  if (!running_ || !present_) return 0;
  if (Matches(*selector, Interface::Control)) {
    Report request{};
    std::copy_n(data, std::min<std::size_t>(length, kReportSize), request.begin());
    Capture('>', Interface::Control, request);
    ++counters_.ctrlRequests;
    // The firmware's answer is worked out now and delivered once the request
    // and its reply have each taken their latency: one timed wake-up of the
    // library thread per exchange keeps the round trip close to USB timing.
    HandleHostReport(request, ++requestsSent_,
                     Clock::now() + std::chrono::microseconds(latencyUs_));
    if (unitId) *unitId = nextUnit_++;
    return static_cast<int>(kReportSize);
  }
  if (Matches(*selector, Interface::Led)) {
    ledReport_ = {};
    std::copy_n(data, std::min<std::size_t>(length, kLedReportSize), ledReport_.begin());
    Capture('>', Interface::Led, ledReport_);
    ++counters_.ledWrites;
    if (unitId) *unitId = nextUnit_++;
    return static_cast<int>(kLedReportSize);
  }
  return 0;  // 'CONS' has no output report
}

int SimKeyboard::SetFeature(const DeviceSelector* selector, const std::uint8_t* data,
                            std::uint32_t length, std::uint32_t* unitId) {
  if (!selector || !data || length == 0) return -1;
  std::lock_guard lock(mutex_);
  if (!running_ || !present_ || !Matches(*selector, Interface::Control)) return 0;
  controlFeature_.assign(data, data + std::min<std::size_t>(length, kReportSize));
  if (unitId) *unitId = nextUnit_++;
  return static_cast<int>(controlFeature_.size());
}

int SimKeyboard::StatusGet(const DeviceSelector* selector, std::uint8_t* data, std::uint32_t length,
                           std::uint32_t* unitId) {
  if (!selector || (!data && length > 0)) return -1;
  std::lock_guard lock(mutex_);
  if (!running_ || !present_) return 0;
  std::span<const std::uint8_t> source;
  if (Matches(*selector, Interface::Led)) {
    source = ledReport_;
  } else if (Matches(*selector, Interface::Control)) {
    source = controlFeature_;
  } else {
    return 0;
  }
  const std::size_t n = std::min<std::size_t>(length, source.size());
  std::copy_n(source.begin(), n, data);
  if (unitId) *unitId = nextUnit_++;
  return static_cast<int>(n);
}

// ---------------------------------------------------------------------------
// The library thread.

std::uint64_t SimKeyboard::Enqueue(Clock::time_point due, Item item) {
  const std::uint64_t seq = nextSeq_++;
  queue_.emplace(std::make_pair(due, seq), std::move(item));
  outstanding_.insert(seq);
  wakeCv_.notify_all();
  return seq;
}

std::uint64_t SimKeyboard::EnqueueEvent(std::uint16_t code, Clock::duration extraDelay) {
  Item item;
  item.kind = ItemKind::DeviceReport;
  item.iface = Interface::Consumer;
  item.bytes.assign(kConsumerReportSize, 0);
  item.bytes[0] = static_cast<std::uint8_t>(code & 0xFF);
  item.bytes[1] = static_cast<std::uint8_t>(code >> 8);
  return Enqueue(Clock::now() + std::chrono::microseconds(latencyUs_) + extraDelay,
                 std::move(item));
}

// Reports in flight and a scheduled unplug die with the connection; presence
// changes still reach the host.
void SimKeyboard::DropTraffic() {
  for (auto it = queue_.begin(); it != queue_.end();) {
    if (it->second.kind != ItemKind::Presence) {
      outstanding_.erase(it->first.second);
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
  doneCv_.notify_all();
}

void SimKeyboard::DeviceLoop() {
#ifdef PR_SET_TIMERSLACK
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const auto now = Clock::now();
    if (queue_.empty()) {
      if (dirty_) {
        const auto due = lastChange_ + kSaveQuietPeriod;
        if (now >= due) {
          // The file is written outside the lock: an fsync must not hold up
          // the reports of the host.
          const Snapshot snapshot = TakeSnapshotLocked();
          lock.unlock();
          std::string error;
          if (!WriteSnapshot(snapshot, &error)) {
            std::fprintf(stderr, "simulated keyboard: %s\n", error.c_str());
          }
          lock.lock();
          continue;
        }
        wakeCv_.wait_until(lock, due);
      } else {
        wakeCv_.wait(lock);
      }
      continue;
    }
    const auto it = queue_.begin();
    const auto due = it->first.first;
    if (now < due) {
      wakeCv_.wait_until(lock, due);
      continue;
    }
    const std::uint64_t seq = it->first.second;
    Item item = std::move(it->second);
    queue_.erase(it);
    Process(item, lock);
    outstanding_.erase(seq);
    doneCv_.notify_all();
  }
}

void SimKeyboard::Process(Item& item, std::unique_lock<std::mutex>& lock) {
  switch (item.kind) {
    case ItemKind::DeviceReport:
      if (!present_) break;
      Capture('<', item.iface, item.bytes);
      if (item.iface == Interface::Control) {
        ++counters_.ctrlReplies;
      } else if (item.iface == Interface::Consumer) {
        ++counters_.consEvents;
      }
      Deliver(lock, item.iface, TOLVANE_EVENT_REPORT, item.bytes, 0);
      break;
    case ItemKind::Presence:
      Deliver(lock, Interface::Control, TOLVANE_EVENT_PRESENCE, {}, item.count);
      break;
    case ItemKind::Unplug: {
      std::vector<std::uint64_t> ignored;
      UnplugLocked(ignored);
      break;
    }
  }
}

void SimKeyboard::HandleHostReport(const Report& request, std::uint64_t number,
                                   Clock::time_point arrival) {
  // A keyboard leaving by an injected unplug takes no request after the one
  // it answers last, however soon the next one comes.
  if (!present_ || leaving_) return;
  bool noReply = false, wrongCommand = false, unplug = false;
  std::uint8_t statusOverride = 0;
  std::uint32_t slowMs = 0;
  for (auto it = faults_.begin(); it != faults_.end();) {
    if (!it->every && it->atRequest != number) {
      ++it;
      continue;
    }
    switch (it->kind) {
      case FaultKind::NoReply:
        noReply = true;
        break;
      case FaultKind::WrongCommand:
        wrongCommand = true;
        break;
      case FaultKind::StatusFF:
        statusOverride = kStatusError;
        break;
      case FaultKind::StatusFE:
        statusOverride = kStatusBadRequest;
        break;
      case FaultKind::Unplug:
        unplug = true;
        break;
      case FaultKind::Slow:
        slowMs = std::max(slowMs, it->delayMs);
        break;
    }
    it = it->every ? it + 1 : faults_.erase(it);
  }

  const auto replyDue =
      arrival + std::chrono::microseconds(latencyUs_) + std::chrono::milliseconds(slowMs);
  if (!noReply) {
    Report reply{};
    if (statusOverride != 0 || wrongCommand) {
      // An injected fault: the request is not carried out, its reply carries
      // the injected status or a garbled command byte.
      std::copy_n(request.begin(), kStatusByte, reply.begin());
      reply[kStatusByte] = statusOverride;
      SealReport(reply);
    } else {
      CommandOutcome outcome = HandleCommand(memory_, request);
      if (outcome.memoryChanged) MarkDirtyLocked();
      reply = outcome.reply;
    }
    if (wrongCommand) {
      reply[kCommandByte] ^= 0x80;
      SealReport(reply);
    }
    if (!echoFields_) {
      std::fill(reply.begin() + kLengthByte, reply.begin() + kStatusByte, std::uint8_t{0});
      SealReport(reply);
    }
    Item answer;
    answer.kind = ItemKind::DeviceReport;
    answer.iface = Interface::Control;
    answer.bytes.assign(reply.begin(), reply.end());
    Enqueue(replyDue, std::move(answer));
  }
  if (unplug) {
    leaving_ = true;
    Item gone;
    gone.kind = ItemKind::Unplug;
    Enqueue(noReply ? arrival : replyDue, std::move(gone));
  }
}

void SimKeyboard::Deliver(std::unique_lock<std::mutex>& lock, Interface iface, std::uint32_t kind,
                          const std::vector<std::uint8_t>& bytes, int count) {
  std::vector<std::uint32_t> units;
  for (const Registration& r : registrations_) {
    if (Matches(r.selector, iface)) units.push_back(r.unit);
  }
  for (std::uint32_t unit : units) {
    const auto it = std::find_if(registrations_.begin(), registrations_.end(),
                                 [unit](const Registration& r) { return r.unit == unit; });
    if (it == registrations_.end()) continue;  // deleted by an earlier callback
    const TolvaneCallback callback = it->callback;
    // Each callback gets its own copy: the records are valid for the call only.
    std::vector<std::uint8_t> report = bytes;
    TolvaneTransfer transfer{};
    TolvaneRequest request{};
    TolvaneNotification notification{};
    transfer.words[TOLVANE_TRANSFER_REPORT] = reinterpret_cast<std::uintptr_t>(report.data());
    request.words[TOLVANE_REQUEST_TAG] = it->tag;
    if (kind == TOLVANE_EVENT_PRESENCE) {
      request.words[TOLVANE_REQUEST_LENGTH] = static_cast<std::uintptr_t>(count);
    } else {
      request.words[TOLVANE_REQUEST_LENGTH] = report.size();
      request.words[TOLVANE_REQUEST_REPORT] = reinterpret_cast<std::uintptr_t>(report.data());
      request.words[TOLVANE_REQUEST_TRANSFER] = reinterpret_cast<std::uintptr_t>(&transfer);
    }
    notification.words[TOLVANE_NOTIFICATION_KIND] = kind;
    notification.words[TOLVANE_NOTIFICATION_REQUEST] = reinterpret_cast<std::uintptr_t>(&request);
    inCallback_ = unit;
    lock.unlock();
    callback(&notification);
    lock.lock();
    inCallback_ = 0;
    doneCv_.notify_all();
  }
}

bool SimKeyboard::UnplugLocked(std::vector<std::uint64_t>& wait) {
  leaving_ = false;
  if (!present_) return false;
  present_ = false;
  DropTraffic();
  Item item;
  item.kind = ItemKind::Presence;
  item.count = 0;
  wait.push_back(Enqueue(Clock::now(), std::move(item)));
  return true;
}

bool SimKeyboard::WaitDelivered(std::unique_lock<std::mutex>& lock,
                                const std::vector<std::uint64_t>& seqs) {
  if (std::this_thread::get_id() == deviceThreadId_) return true;
  return doneCv_.wait_for(lock, kDeliveryTimeout, [&] {
    if (!running_ || stopping_) return true;
    return std::none_of(seqs.begin(), seqs.end(),
                        [this](std::uint64_t s) { return outstanding_.count(s) != 0; });
  });
}

void SimKeyboard::Capture(char direction, Interface iface, std::span<const std::uint8_t> bytes) {
  if (!capture_ && debugLevel_ <= 0) return;
  const auto us =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
  const std::string line =
      std::to_string(us) + " " + direction + " " + Info(iface).tag + " " + Hex(bytes, true) + "\n";
  if (capture_) {
    std::fputs(line.c_str(), capture_);
    std::fflush(capture_);
  }
  if (debugLevel_ > 0) std::fputs(line.c_str(), stderr);
}

// ---------------------------------------------------------------------------
// Memory and its file.

void SimKeyboard::EnsureLoadedLocked() {
  if (loaded_) return;
  loaded_ = true;
  dirty_ = false;
  memory_ = FactoryMemory();
  const char* own = std::getenv("KESTRUNE_SIM_STATE");
  statePath_ = own && *own ? std::string(own) : DefaultStatePath();
  if (statePath_.empty()) {
    std::fprintf(stderr, "simulated keyboard: no HOME or XDG_DATA_HOME; memory is not kept\n");
    return;
  }
  std::error_code ec;
  if (!std::filesystem::exists(statePath_, ec)) {
    MarkDirtyLocked();  // a new keyboard: write its factory state
    return;
  }
  std::string why;
  std::optional<KeyboardMemory> loaded;
  const auto size = std::filesystem::file_size(statePath_, ec);
  if (ec) {
    why = "cannot read its size: " + ec.message();
  } else if (size > kMaxStateFileBytes) {
    why = "larger than any state file";
  } else {
    std::ifstream in(statePath_, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
      why = "cannot be read";
    } else {
      loaded = DecodeState(bytes, &why);
    }
  }
  if (loaded) {
    memory_ = std::move(*loaded);
    return;
  }
  // Keep the damaged file for inspection; the keyboard starts from its
  // factory state and writes a fresh file.
  const std::string aside = statePath_ + ".bad";
  std::filesystem::rename(statePath_, aside, ec);
  std::fprintf(
      stderr,
      "simulated keyboard: state file %s is damaged (%s); %s, starting from factory "
      "state\n",
      statePath_.c_str(), why.c_str(),
      ec ? ("could not keep it aside: " + ec.message()).c_str() : ("kept as " + aside).c_str());
  MarkDirtyLocked();
}

void SimKeyboard::MarkDirtyLocked() {
  dirty_ = true;
  ++generation_;
  lastChange_ = Clock::now();
  wakeCv_.notify_all();
}

SimKeyboard::Snapshot SimKeyboard::TakeSnapshotLocked() {
  dirty_ = false;
  return Snapshot{statePath_, EncodeState(memory_), generation_};
}

bool SimKeyboard::SaveLocked(std::string* error) {
  return WriteSnapshot(TakeSnapshotLocked(), error);
}

bool SimKeyboard::WriteSnapshot(const Snapshot& snapshot, std::string* error) {
  if (snapshot.path.empty()) return true;
  std::lock_guard fileLock(fileMutex_);
  // A snapshot taken before one that is already on disk is stale.
  if (snapshot.path == writtenPath_ && snapshot.generation < writtenGeneration_) return true;
  const std::filesystem::path path(snapshot.path);
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  const std::string temp = snapshot.path + ".tmp." + std::to_string(::getpid());
  int failure = 0;
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) failure = errno;
  std::size_t done = 0;
  while (failure == 0 && done < snapshot.bytes.size()) {
    const ssize_t n = ::write(fd, snapshot.bytes.data() + done, snapshot.bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure = n < 0 ? errno : EIO;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  if (fd >= 0) {
    if (failure == 0 && ::fsync(fd) != 0) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
  }
  if (failure == 0 && std::rename(temp.c_str(), snapshot.path.c_str()) != 0) failure = errno;
  if (failure == 0) {
    writtenPath_ = snapshot.path;
    writtenGeneration_ = snapshot.generation;
    return true;
  }
  if (error) *error = "cannot write state file " + snapshot.path + ": " + std::strerror(failure);
  ::unlink(temp.c_str());
  return false;
}

// ---------------------------------------------------------------------------
// Control commands.

int SimKeyboard::Control(std::string_view command, std::string& reply) {
  reply.clear();
  const std::vector<std::string> words = SplitWords(command);
  if (words.empty()) {
    reply = "empty command";
    return TOLVANE_SIM_BAD_ARGUMENT;
  }
  std::unique_lock lock(mutex_);
  EnsureLoadedLocked();
  return ControlLocked(lock, words, reply);
}

std::string SimKeyboard::FaultListLocked() const {
  std::string out;
  for (const Fault& f : faults_) {
    out += FaultName(f.kind);
    out += ' ';
    out += f.every ? std::string("every") : std::to_string(f.atRequest - requestsSent_);
    if (f.kind == FaultKind::Slow) out += ' ' + std::to_string(f.delayMs);
    out += '\n';
  }
  return out.empty() ? "no faults\n" : out;
}

std::string SimKeyboard::DumpLocked(std::string_view only) const {
  std::string out;
  if (only.empty()) {
    out += "simulated keyboard: " + std::string(present_ ? "plugged in" : "unplugged") +
           ", profile " + std::to_string(memory_.settings[kCurrentProfileByte]) + ", latency " +
           std::to_string(latencyUs_) + " us, macro space " +
           std::to_string(memory_.macroArea.size()) + " bytes\n";
  }
  auto section = [&out](std::string_view name, std::span<const std::uint8_t> bytes) {
    out += "[" + std::string(name) + "] " + std::to_string(bytes.size()) + " bytes\n";
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
      char offset[32];
      std::snprintf(offset, sizeof offset, "%04zX  ", at);
      out += offset;
      out += Hex(bytes.subspan(at, std::min<std::size_t>(16, bytes.size() - at)), true);
      out += '\n';
    }
  };
  for (Area a : {Area::Settings, Area::Parameters, Area::KeyMaps, Area::Factory, Area::Macro,
                 Area::Colours}) {
    if (only.empty() || only == AreaName(a)) section(AreaName(a), AreaBytes(memory_, a));
  }
  if (only.empty() || only == "led") section("led", ledReport_);
  if (only.empty() || only == kLightingDump) out += LightingSummary(memory_);
  return out;
}

int SimKeyboard::ControlLocked(std::unique_lock<std::mutex>& lock,
                               const std::vector<std::string>& words, std::string& reply) {
  const std::string& name = words[0];
  const std::size_t argc = words.size() - 1;
  auto bad = [&reply](std::string text) {
    reply = std::move(text);
    return TOLVANE_SIM_BAD_ARGUMENT;
  };
  auto needPlugged = [&]() {
    if (present_) return true;
    reply = "the keyboard is unplugged";
    return false;
  };
  // Sends the events and waits until the callbacks have seen them.
  auto finish = [&](const std::vector<std::uint64_t>& seqs, std::string text) {
    reply = std::move(text);
    if (!running_ || seqs.empty()) return TOLVANE_SIM_OK;
    if (!WaitDelivered(lock, seqs)) {
      reply = "events not delivered within 10 s";
      return TOLVANE_SIM_FAILED;
    }
    return TOLVANE_SIM_OK;
  };

  if (name == "help") {
    reply = kHelp;
    return TOLVANE_SIM_OK;
  }
  if (name == "status") {
    reply = std::string("running ") + (running_ ? "1" : "0") + "\npresent " +
            (present_ ? "1" : "0") + "\nprofile " +
            std::to_string(memory_.settings[kCurrentProfileByte]) + "\nlatency-us " +
            std::to_string(latencyUs_) + "\nmacro-space " +
            std::to_string(memory_.settings[kMacroSpaceByte]) + "\nstate " + statePath_ +
            "\nsocket " + socketPath_ + "\n";
    return TOLVANE_SIM_OK;
  }
  if (name == "profile-key" || name == "g-bank" || name == "factory-reset") {
    if (argc != 0) return bad(name + " takes no argument");
    if (!needPlugged()) return TOLVANE_SIM_FAILED;
    std::uint16_t code = kEventGKeyBank;
    if (name == "profile-key") {
      auto& profile = memory_.settings[kCurrentProfileByte];
      profile = static_cast<std::uint8_t>((profile + 1) % kProfileCount);
      MarkDirtyLocked();
      code = kEventProfileSwitched;
    } else if (name == "factory-reset") {
      // The effect list describes the firmware: a reset of the memory keeps it.
      const std::vector<std::uint8_t> effects = EffectCodes(memory_);
      memory_ = FactoryMemory();
      SetEffectCodes(memory_, effects);
      MarkDirtyLocked();
      code = kEventFactoryReset;
    }
    const std::uint64_t seq = running_ ? EnqueueEvent(code) : 0;
    return finish(seq ? std::vector<std::uint64_t>{seq} : std::vector<std::uint64_t>{},
                  name == "profile-key"
                      ? "profile " + std::to_string(memory_.settings[kCurrentProfileByte])
                      : std::string("sent ") + std::to_string(code));
  }
  if (name == "activity") {
    if (argc > 1 || (argc == 1 && words[1] != "on" && words[1] != "off")) {
      return bad("activity [on|off]");
    }
    if (!needPlugged()) return TOLVANE_SIM_FAILED;
    std::vector<std::uint64_t> seqs;
    if (running_) {
      if (argc == 0 || words[1] == "on") seqs.push_back(EnqueueEvent(kEventActivityOn));
      if (argc == 0) seqs.push_back(EnqueueEvent(kEventActivityOff, kActivityPulse));
      if (argc == 1 && words[1] == "off") seqs.push_back(EnqueueEvent(kEventActivityOff));
    }
    return finish(seqs, "ok");
  }
  if (name == "unplug" || name == "plug") {
    if (argc != 0) return bad(name + " takes no argument");
    std::vector<std::uint64_t> seqs;
    if (name == "unplug") {
      if (!UnplugLocked(seqs)) {
        reply = "already unplugged";
        return TOLVANE_SIM_OK;
      }
      if (!running_) seqs.clear();
    } else {
      if (present_) {
        reply = "already plugged in";
        return TOLVANE_SIM_OK;
      }
      present_ = true;
      if (running_) {
        Item item;
        item.kind = ItemKind::Presence;
        item.count = 1;
        seqs.push_back(
            Enqueue(Clock::now() + std::chrono::microseconds(latencyUs_), std::move(item)));
      }
    }
    if (!running_) {
      queue_.clear();
      outstanding_.clear();
    }
    return finish(seqs, name == "unplug" ? "unplugged" : "plugged in");
  }
  if (name == "dump") {
    if (argc > 1) return bad("dump [<area>|lighting]");
    if (argc == 1 && !AreaFromName(words[1]) && words[1] != "led" && words[1] != kLightingDump) {
      return bad("unknown area " + words[1]);
    }
    reply = DumpLocked(argc == 1 ? std::string_view(words[1]) : std::string_view());
    return TOLVANE_SIM_OK;
  }
  if (name == "read" || name == "write") {
    if (argc < 1) return bad(name + " <area> ...");
    std::span<const std::uint8_t> area;
    const auto which = AreaFromName(words[1]);
    if (which) {
      area = AreaBytes(memory_, *which);
    } else if (words[1] == "led") {
      area = ledReport_;
    } else {
      return bad("unknown area " + words[1]);
    }
    std::uint64_t offset = 0, length = area.size();
    if (name == "read") {
      if (argc != 1 && argc != 3) return bad("read <area> [<offset> <length>]");
      if (argc == 3 && (!ParseNumber(words[2], area.size(), offset) ||
                        !ParseNumber(words[3], area.size() - offset, length))) {
        return bad("offset and length must lie within the " + std::to_string(area.size()) +
                   " bytes of " + words[1]);
      }
      reply = Hex(area.subspan(offset, length), false);
      return TOLVANE_SIM_OK;
    }
    if (argc < 3) return bad("write <area> <offset> <hex>");
    std::string hex;
    for (std::size_t i = 3; i < words.size(); ++i) hex += words[i];
    std::vector<std::uint8_t> bytes;
    if (!ParseHex(hex, bytes)) return bad("bytes must be pairs of hexadecimal digits");
    if (!ParseNumber(words[2], area.size(), offset) || bytes.size() > area.size() - offset) {
      return bad("the bytes must lie within the " + std::to_string(area.size()) + " bytes of " +
                 words[1]);
    }
    if (!which || *which == Area::Factory) return bad(words[1] + " is read-only");
    if (*which == Area::Settings) {
      const std::size_t end = offset + bytes.size();
      if (offset <= kCurrentProfileByte && kCurrentProfileByte < end &&
          bytes[kCurrentProfileByte - offset] >= kProfileCount) {
        return bad("the current profile (byte 10) must be 0 to 3");
      }
      if (offset <= kMacroSpaceByte && kMacroSpaceByte < end) {
        SetMacroSpace(memory_, bytes[kMacroSpaceByte - offset]);
      }
    }
    const auto target = WritableAreaBytes(memory_, *which);
    std::copy(bytes.begin(), bytes.end(), target.begin() + static_cast<std::ptrdiff_t>(offset));
    MarkDirtyLocked();
    reply = "wrote " + std::to_string(bytes.size()) + " bytes";
    return TOLVANE_SIM_OK;
  }
  if (name == "effects") {
    if (argc > 1) return bad("effects [<code>,...|default|none]");
    if (argc == 1) {
      std::vector<std::uint8_t> codes;
      std::string why;
      if (words[1] == "default") {
        const auto defaults = DefaultEffectCodes();
        codes.assign(defaults.begin(), defaults.end());
      } else if (words[1] != "none" && !ParseEffectList(words[1], codes, why)) {
        return bad(why);
      }
      if (!SetEffectCodes(memory_, codes)) return bad("at most 32 effect codes");
      MarkDirtyLocked();
    }
    reply = EffectListText(EffectCodes(memory_));
    return TOLVANE_SIM_OK;
  }
  if (name == "macro-space") {
    std::uint64_t units = 0;
    if (argc != 1 || !ParseNumber(words[1], 255, units)) return bad("macro-space <0-255>");
    SetMacroSpace(memory_, static_cast<std::uint8_t>(units));
    MarkDirtyLocked();
    reply = "macro space " + std::to_string(memory_.macroArea.size()) + " bytes";
    return TOLVANE_SIM_OK;
  }
  if (name == "reset") {
    if (argc != 0) return bad("reset takes no argument");
    memory_ = FactoryMemory();
    ResetVolatileLocked();
    std::string error;
    if (!SaveLocked(&error)) {
      reply = error;
      return TOLVANE_SIM_FAILED;
    }
    reply = "factory state";
    return TOLVANE_SIM_OK;
  }
  if (name == "fault") {
    if (argc == 0) {
      reply = FaultListLocked();
      return TOLVANE_SIM_OK;
    }
    if (argc == 1 && words[1] == "clear") {
      faults_.clear();
      reply = "no faults";
      return TOLVANE_SIM_OK;
    }
    static constexpr FaultKind kKinds[] = {FaultKind::NoReply,  FaultKind::WrongCommand,
                                           FaultKind::StatusFF, FaultKind::StatusFE,
                                           FaultKind::Unplug,   FaultKind::Slow};
    const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                   [&](FaultKind k) { return words[1] == FaultName(k); });
    if (kind == std::end(kKinds)) return bad("unknown fault " + words[1]);
    const bool slow = *kind == FaultKind::Slow;
    if (argc != (slow ? 3u : 2u)) {
      return bad(slow ? "fault slow <n>|every <ms>" : "fault " + words[1] + " <n>|every");
    }
    Fault fault;
    fault.kind = *kind;
    std::uint64_t n = 0;
    if (words[2] == "every") {
      fault.every = true;
    } else if (!ParseNumber(words[2], 1'000'000, n) || n == 0) {
      return bad("n counts requests from 1, or is \"every\"");
    }
    fault.atRequest = requestsSent_ + n;
    std::uint64_t ms = 0;
    if (slow && !ParseNumber(words[3], kMaxSlowMs, ms)) {
      return bad("delay in ms, 0 to " + std::to_string(kMaxSlowMs));
    }
    fault.delayMs = static_cast<std::uint32_t>(ms);
    faults_.push_back(fault);
    reply = FaultListLocked();
    return TOLVANE_SIM_OK;
  }
  if (name == "latency") {
    if (argc == 0) {
      reply = std::to_string(latencyUs_);
      return TOLVANE_SIM_OK;
    }
    std::uint64_t us = 0;
    if (argc != 1 || !ParseNumber(words[1], kMaxLatencyUs, us)) {
      return bad("latency <0-" + std::to_string(kMaxLatencyUs) + " us>");
    }
    latencyUs_ = static_cast<std::uint32_t>(us);
    reply = std::to_string(latencyUs_);
    return TOLVANE_SIM_OK;
  }
  if (name == "echo") {
    if (argc > 1 || (argc == 1 && words[1] != "on" && words[1] != "off")) {
      return bad("echo [on|off]");
    }
    if (argc == 1) echoFields_ = words[1] == "on";
    reply = echoFields_ ? "on" : "off";
    return TOLVANE_SIM_OK;
  }
  if (name == "reports") {
    if (argc == 1 && words[1] == "clear") {
      counters_ = {};
    } else if (argc != 0) {
      return bad("reports [clear]");
    }
    reply = "ctrl-requests " + std::to_string(counters_.ctrlRequests) + "\nctrl-replies " +
            std::to_string(counters_.ctrlReplies) + "\nled-writes " +
            std::to_string(counters_.ledWrites) + "\ncons-events " +
            std::to_string(counters_.consEvents) + "\n";
    return TOLVANE_SIM_OK;
  }
  if (name == "sync") {
    std::vector<std::uint64_t> all(outstanding_.begin(), outstanding_.end());
    return finish(all, "idle");
  }
  if (name == "save") {
    std::string error;
    if (!SaveLocked(&error)) {
      reply = error;
      return TOLVANE_SIM_FAILED;
    }
    reply = "saved " + statePath_;
    return TOLVANE_SIM_OK;
  }
  reply = "unknown command " + name + " (try help)";
  return TOLVANE_SIM_UNKNOWN;
}

}  // namespace kst::sim
