#include "device/DeviceLink.h"

#include <algorithm>
#include <shared_mutex>

namespace kst {

namespace {

// The one link that receives DeviceCallback (see DeviceLink.h). Callbacks
// hold the shared side while they run, so Shutdown's exclusive side waits
// for those in flight.
std::shared_mutex& RouteMutex() {
  static std::shared_mutex mutex;
  return mutex;
}
DeviceLink* gInstalledLink = nullptr;  // guarded by RouteMutex()

constexpr std::uint32_t kCountKeyCallback = 0;
constexpr std::uint32_t kCountKeyTag = 0;

constexpr std::size_t kEchoOffset = kLengthOffset;  // length and offset: bytes 4-6
constexpr std::size_t kEchoBytes = kStatusOffset - kLengthOffset;
static_assert(kEchoOffset + kEchoBytes == kStatusOffset);

bool EchoMatches(std::span<const std::uint8_t> request, std::span<const std::uint8_t> reply) {
  return std::equal(request.begin() + kEchoOffset, request.begin() + kStatusOffset,
                    reply.begin() + kEchoOffset);
}

}  // namespace

DeviceLink::DeviceLink(const TolvaneApi& api, DeviceHost& host)
    : api_(api),
      host_(host),
      ledSelector_(ChannelSelector(Channel::Led)),
      consSelector_(ChannelSelector(Channel::Cons)),
      ctrlSelector_(ChannelSelector(Channel::Ctrl)) {
  connectionThread_ = std::thread([this] { ConnectionLoop(); });
  activityThread_ = std::thread([this] { ActivityLoop(); });
}

DeviceLink::~DeviceLink() { Shutdown(); }

int DeviceLink::ArmChannels() {
  if (!api_.Complete() || stopRequested_.load()) return -1;
  {
    std::unique_lock route(RouteMutex());
    if (gInstalledLink != nullptr && gInstalledLink != this) return -1;
    gInstalledLink = this;
  }
  {
    std::lock_guard led(ledMutex_);
    ledStatus_ = {kLedStatusByte0, kLedStatusBase};
    ledUnit_ = 0;
  }
  ArmRead(Channel::Cons);
  {
    std::lock_guard reply(replyMutex_);
    exchangePending_ = false;
    replySignalled_ = false;
  }
  ArmRead(Channel::Ctrl);
  {
    std::lock_guard reads(readMutex_);
    armed_ = true;
  }
  int count = api_.RequestGetDeviceCount(
      &ctrlSelector_, 0, 0, RequestKey(ctrlSelector_, kCountKeyCallback, kCountKeyTag), 0);
  if (count < 0) count = 0;
  if (count == 0) firstConnection_.store(true);
  ConnectionWorker(count);
  return count;
}

void DeviceLink::Shutdown() {
  std::call_once(shutdownOnce_, [this] {
    {
      std::unique_lock route(RouteMutex());
      if (gInstalledLink == this) gInstalledLink = nullptr;
    }
    stopRequested_.store(true);
    {
      std::lock_guard reply(replyMutex_);
      replyCv_.notify_all();
    }
    {
      std::lock_guard stop(stopMutex_);
      stopCv_.notify_all();
    }
    {
      std::lock_guard sequence(sequenceMutex_);
      sequenceCv_.notify_all();
    }
    {
      std::lock_guard work(workMutex_);
      stopping_ = true;
      workCv_.notify_all();
      idleCv_.notify_all();
    }
    if (connectionThread_.joinable()) connectionThread_.join();
    if (activityThread_.joinable()) activityThread_.join();
    // Nothing may call into this object once it is gone: cancel what the
    // library still holds for it.
    std::lock_guard reads(readMutex_);
    if (!armed_) return;
    api_.DeleteRequestFromUnitId(consUnit_);
    api_.DeleteRequestFromUnitId(ctrlUnit_);
    std::lock_guard led(ledMutex_);
    if (ledUnit_ != 0) api_.DeleteRequestFromUnitId(ledUnit_);
    armed_ = false;
  });
}

void DeviceLink::ArmRead(Channel channel) {
  if (channel == Channel::Led) return;  // 'LED' is written, never read
  std::lock_guard reads(readMutex_);
  std::uint32_t& unit = channel == Channel::Cons ? consUnit_ : ctrlUnit_;
  const DeviceSelector& selector = channel == Channel::Cons ? consSelector_ : ctrlSelector_;
  const std::uint32_t tag = ChannelTag(channel);
  api_.DeleteRequestFromUnitId(unit);
  api_.RequestAsyncRead(&selector, &DeviceLink::DeviceCallback, tag,
                        RequestKey(selector, CallbackReference(&DeviceLink::DeviceCallback), tag),
                        &unit);
}

int DeviceLink::WriteLedStatus() {
  std::lock_guard led(ledMutex_);
  return WriteLedStatusLocked();
}

int DeviceLink::WriteLedStatusLocked() {
  api_.DeleteRequestFromUnitId(ledUnit_);
  const std::uint32_t key =
      RequestKey(ledSelector_, CallbackReference(&DeviceLink::DeviceCallback), kTagLed, ledStatus_);
  return api_.RequestStatusWrite(&ledSelector_, &DeviceLink::DeviceCallback, kTagLed,
                                 ledStatus_.data(), kLedStatusBytes, key, &ledUnit_);
}

void DeviceLink::ClearPending() {
  std::lock_guard reply(replyMutex_);
  exchangePending_ = false;
  replyBuffer_ = nullptr;
  replyCapacity_ = 0;
}

bool DeviceLink::PauseUnlessStopping(std::chrono::milliseconds pause) {
  std::unique_lock stop(stopMutex_);
  return !stopCv_.wait_for(stop, pause, [this] { return stopRequested_.load(); });
}

int DeviceLink::ExchangeReport(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply,
                               std::uint32_t& replyLength) {
  replyLength = 0;
  // Held for the whole exchange: a reply can only ever belong to the one
  // exchange in flight, and no exchange lands inside another thread's
  // sequence.
  const SequenceHold hold(*this);
  if (!hold.Held() || stopRequested_.load()) return kDeviceNothing;
  if (api_.RequestGetDeviceCount(&ctrlSelector_, 0, 0,
                                 RequestKey(ctrlSelector_, kCountKeyCallback, kCountKeyTag),
                                 0) <= 0) {
    return kDeviceNothing;
  }
  CommandReport report{};
  std::copy_n(request.begin(), std::min(request.size(), report.size()), report.begin());
  const std::uint32_t key = RequestKey(ctrlSelector_, 0, 0, report);
  const auto capacity = static_cast<std::uint32_t>(reply.size());
  // Below this length a reply cannot be judged: the command byte, and the
  // status when the caller's buffer has room for it.
  const std::uint32_t judged = std::max<std::uint32_t>(
      kCommandOffset + 1, std::min<std::uint32_t>(kStatusOffset + 1, capacity));

  int attempts = 0;
  for (;;) {
    bool takeOver = false;
    {
      std::lock_guard lock(replyMutex_);
      takeOver = exchangePending_;
    }
    if (takeOver) {
      // Unreachable while the sequence lock serialises exchanges and every
      // way out clears the flag; kept for a flag left set by a failed attempt.
      if (!PauseUnlessStopping(kPendingTakeOver)) return kDeviceNothing;
      ClearPending();
    }
    {
      std::lock_guard lock(replyMutex_);
      replyBuffer_ = reply.data();
      replyCapacity_ = capacity;
      replyLength_ = 0;
      replySignalled_ = false;
      exchangePending_ = true;
    }
    if (api_.RequestWriteOne(&ctrlSelector_, nullptr, 0, report.data(), kCommandReportBytes, key,
                             nullptr) <= 0) {
      ClearPending();
      return kDeviceSendFailed;
    }
    bool retry = false;
    {
      std::unique_lock lock(replyMutex_);
      const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
      bool signalled = false;
      for (;;) {
        signalled = replyCv_.wait_until(
            lock, deadline, [this] { return replySignalled_ || stopRequested_.load(); });
        if (!signalled || stopRequested_.load()) break;
        const std::span<const std::uint8_t> got = reply.first(replyLength_);
        if (got.size() < judged || got[kCommandOffset] != report[kCommandOffset]) break;
        if (!StaleReplyLocked(report, got)) break;
        // The late answer to an earlier request: wait on for this one's.
        replySignalled_ = false;
        replyLength_ = 0;
      }
      if (stopRequested_.load()) {
        exchangePending_ = false;
        replyBuffer_ = nullptr;
        return kDeviceNothing;  // the wait was abandoned
      }
      bool failedAttempt = !signalled;
      if (signalled) {
        const std::uint32_t length = replyLength_;
        if (length < judged || reply[kCommandOffset] != report[kCommandOffset]) {
          failedAttempt = true;  // no reply to this request: handled as a time-out
        } else {
          LearnEchoLocked(report, reply.first(length));
          if (capacity > kStatusOffset &&
              (reply[kStatusOffset] == kStatusFF || reply[kStatusOffset] == kStatusFE)) {
            if (++attempts >= kExchangeAttempts) {
              replyLength = length;
              exchangePending_ = false;
              replyBuffer_ = nullptr;
              return kDeviceOk;  // the caller turns the status into its error
            }
            retry = true;
          } else {
            replyLength = length;
            exchangePending_ = false;
            replyBuffer_ = nullptr;
            return kDeviceOk;
          }
        }
      }
      if (failedAttempt) {
        // A reply may still come for this attempt, and land in a later
        // exchange: nothing learnt from replies after it could be trusted.
        echoTainted_ = true;
        if (++attempts >= kExchangeAttempts) {
          exchangePending_ = false;
          replyBuffer_ = nullptr;
          return kDeviceNoReply;
        }
        retry = true;
      }
      exchangePending_ = false;
      replyBuffer_ = nullptr;
    }
    if (retry && !PauseUnlessStopping(kRetryPause)) return kDeviceNothing;
  }
}

bool DeviceLink::StaleReplyLocked(std::span<const std::uint8_t> request,
                                  std::span<const std::uint8_t> reply) const {
  return echo_ == ReplyEcho::Echoed && reply.size() >= kStatusOffset &&
         !EchoMatches(request, reply);
}

void DeviceLink::LearnEchoLocked(std::span<const std::uint8_t> request,
                                 std::span<const std::uint8_t> reply) {
  if (echo_ != ReplyEcho::Unknown || echoTainted_ || reply.size() < kStatusOffset) return;
  const auto field = request.subspan(kEchoOffset, kEchoBytes);
  // A request with nothing in these bytes tells an echo from zeros apart.
  if (std::all_of(field.begin(), field.end(), [](std::uint8_t b) { return b == 0; })) return;
  if (!EchoMatches(request, reply)) {
    echo_ = ReplyEcho::NotEchoed;
    return;
  }
  // Two requests that differ here, both echoed: the keyboard repeats the
  // fields rather than filling in values of its own that happened to match.
  if (!echoSeen_) {
    echoSeen_ = true;
    std::copy(field.begin(), field.end(), firstEcho_.begin());
  } else if (!std::equal(field.begin(), field.end(), firstEcho_.begin())) {
    echo_ = ReplyEcho::Echoed;
  }
}

void DeviceLink::ResetEchoLearning() {
  std::lock_guard lock(replyMutex_);
  echo_ = ReplyEcho::Unknown;
  echoSeen_ = false;
  echoTainted_ = false;
}

DeviceLink::ReplyEcho DeviceLink::ReplyEchoMode() const {
  std::lock_guard lock(replyMutex_);
  return echo_;
}

bool DeviceLink::LockSequence() {
  const auto self = std::this_thread::get_id();
  std::unique_lock lock(sequenceMutex_);
  if (sequenceDepth_ > 0 && sequenceOwner_ == self) {
    ++sequenceDepth_;
    return true;
  }
  sequenceCv_.wait(lock, [this] { return sequenceDepth_ == 0 || stopRequested_.load(); });
  if (sequenceDepth_ != 0) return false;  // shutting down while another thread holds it
  if (stopRequested_.load()) return false;
  sequenceOwner_ = self;
  sequenceDepth_ = 1;
  return true;
}

void DeviceLink::UnlockSequence() {
  std::lock_guard lock(sequenceMutex_);
  if (sequenceDepth_ == 0 || sequenceOwner_ != std::this_thread::get_id()) return;
  if (--sequenceDepth_ == 0) {
    sequenceOwner_ = {};
    sequenceCv_.notify_all();
  }
}

bool DeviceLink::SequenceHeldElsewhere() const {
  std::lock_guard lock(sequenceMutex_);
  return sequenceDepth_ > 0 && sequenceOwner_ != std::this_thread::get_id();
}

int DeviceLink::CachedCurrentProfile() const {
  std::lock_guard lock(profileMutex_);
  return cachedProfile_;
}

void DeviceLink::SetCachedCurrentProfile(int profile) {
  std::lock_guard lock(profileMutex_);
  cachedProfile_ = profile;
}

std::uint64_t DeviceLink::CurrentProfileEpoch() const {
  std::lock_guard lock(profileMutex_);
  return profileEpoch_;
}

void DeviceLink::CacheCurrentProfileRead(int profile, std::uint64_t epoch) {
  std::lock_guard lock(profileMutex_);
  if (epoch == profileEpoch_) cachedProfile_ = profile;
}

void DeviceLink::ForgetCurrentProfile() {
  std::lock_guard lock(profileMutex_);
  cachedProfile_ = -1;
  ++profileEpoch_;
}

int DeviceLink::DeviceCallback(const TolvaneNotification* notification) {
  std::shared_lock route(RouteMutex());
  if (gInstalledLink != nullptr && notification != nullptr) {
    gInstalledLink->HandleNotification(*notification);
  }
  return 1;
}

void DeviceLink::HandleNotification(const TolvaneNotification& notification) {
  const auto* request =
      reinterpret_cast<const TolvaneRequest*>(notification.words[TOLVANE_NOTIFICATION_REQUEST]);
  if (request == nullptr) return;
  const std::uintptr_t kind = notification.words[TOLVANE_NOTIFICATION_KIND];
  const auto tag = static_cast<std::uint32_t>(request->words[TOLVANE_REQUEST_TAG]);
  const std::uintptr_t length = request->words[TOLVANE_REQUEST_LENGTH];
  if (kind == TOLVANE_EVENT_REPORT && tag == kTagCons) {
    const auto* transfer =
        reinterpret_cast<const TolvaneTransfer*>(request->words[TOLVANE_REQUEST_TRANSFER]);
    if (transfer == nullptr) return;
    const auto* bytes =
        reinterpret_cast<const std::uint8_t*>(transfer->words[TOLVANE_TRANSFER_REPORT]);
    if (bytes == nullptr || length < 2) return;
    HandleConsumerCode(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
  } else if (kind == TOLVANE_EVENT_REPORT && tag == kTagCtrl) {
    HandleControlReport(
        reinterpret_cast<const std::uint8_t*>(request->words[TOLVANE_REQUEST_REPORT]), length);
  } else if (kind == TOLVANE_EVENT_PRESENCE && tag == kTagCtrl) {
    const std::uintptr_t limit = 0x7FFFFFFF;
    ConnectionWorker(static_cast<int>(std::min(length, limit)));
  }
}

void DeviceLink::HandleControlReport(const std::uint8_t* bytes, std::uintptr_t length) {
  std::lock_guard lock(replyMutex_);
  // Without a pending exchange, or once this exchange has its reply, the
  // report belongs to no one.
  if (!exchangePending_ || replySignalled_ || replyBuffer_ == nullptr) return;
  const std::uint32_t n =
      bytes == nullptr
          ? 0
          : static_cast<std::uint32_t>(std::min<std::uintptr_t>(length, replyCapacity_));
  std::copy_n(bytes, n, replyBuffer_);
  replyLength_ = n;
  replySignalled_ = true;
  replyCv_.notify_all();
}

void DeviceLink::HandleConsumerCode(std::uint16_t code) {
  switch (code) {
    case kCodeGKeyBank: {
      {
        std::lock_guard led(ledMutex_);
        ledStatus_[1] ^= 0x01;
        WriteLedStatusLocked();
      }
      // Posted, not sent: this runs on the library's thread, which must stay
      // free to deliver the replies the window's thread may be waiting for.
      host_.PostToWindow(UM_GKEYS, kGKeysWParam, 0);
      break;
    }
    case kCodeProfileSwitched:
      host_.StartWindowTimer(kTimerFollowProfile, 0);
      break;
    case kCodeFactoryReset:
      // The reset put the keyboard back on its first profile: whatever was
      // cached is read again before anything uses it.
      ForgetCurrentProfile();
      host_.StartWindowTimer(kTimerReloadAfterReset, 0);
      break;
    case kCodeActivityOn:
    case kCodeActivityOff: {
      std::lock_guard work(workMutex_);
      if (stopping_) break;
      activityQueue_.push_back(code == kCodeActivityOn);
      workCv_.notify_all();
      break;
    }
    default:
      break;
  }
}

void DeviceLink::ConnectionWorker(int count) {
  std::lock_guard work(workMutex_);
  if (stopping_) return;
  // Only the latest count matters, but a removal on the way is kept: a
  // keyboard that was away is read again once it is back. So at most two
  // changes wait, however fast the keyboard comes and goes.
  const bool removedOnTheWay = count != 0 && std::find(presenceQueue_.begin(), presenceQueue_.end(),
                                                       0) != presenceQueue_.end();
  presenceQueue_.clear();
  if (removedOnTheWay) presenceQueue_.push_back(0);
  presenceQueue_.push_back(count);
  workCv_.notify_all();
}

bool DeviceLink::PresenceChangeWaiting() {
  std::lock_guard work(workMutex_);
  return !presenceQueue_.empty();
}

void DeviceLink::ConnectionLoop() {
  std::unique_lock work(workMutex_);
  for (;;) {
    workCv_.wait(work, [this] { return stopping_ || !presenceQueue_.empty(); });
    if (stopping_) return;
    const int count = presenceQueue_.front();
    presenceQueue_.pop_front();
    presenceBusy_ = true;
    work.unlock();
    HandlePresence(count);
    work.lock();
    presenceBusy_ = false;
    idleCv_.notify_all();
  }
}

void DeviceLink::ActivityLoop() {
  std::unique_lock work(workMutex_);
  for (;;) {
    workCv_.wait(work, [this] { return stopping_ || !activityQueue_.empty(); });
    if (stopping_) return;
    const bool on = activityQueue_.front();
    activityQueue_.pop_front();
    activityBusy_ = true;
    work.unlock();
    {
      std::lock_guard tray(trayMutex_);
      host_.ShowActivityIcon(on);
    }
    work.lock();
    activityBusy_ = false;
    idleCv_.notify_all();
  }
}

void DeviceLink::HandlePresence(int count) {
  if (count == connectionState_.load()) return;
  if (count != 0) {
    host_.SendToWindow(UM_OPEN, kVersionWParam, 0);
    // A keyboard connected anew: its profile and how it answers are learnt
    // again.
    ForgetCurrentProfile();
    ResetEchoLearning();
    const std::uint64_t epoch = CurrentProfileEpoch();
    bool factoryRead = false;
    {
      // One run of reads; released before anything waits for the window.
      const SequenceHold hold(*this);
      std::array<std::uint8_t, kDeviceKeyMapBytes> factory{};
      factoryRead = ReadFactoryKeyMap(*this, factory) == kDeviceOk;
      if (factoryRead) {
        std::lock_guard state(stateMutex_);
        factoryKeyMap_ = factory;
      }
      SettingsBlock settings{};
      if (ReadSettings(*this, settings) == kDeviceOk) {
        macroCapacity_.store(settings[kSettingsMacroSpace] * kMacroSpaceUnit);
        // The block just read carries the current profile: the rebuild that
        // follows need not ask for it again.
        const int profile = settings[kSettingsCurrentProfile];
        if (profile < kDeviceProfileCount) CacheCurrentProfileRead(profile, epoch);
      }
    }
    if (!factoryRead && !stopRequested_.load() && !PresenceChangeWaiting()) {
      // The old map stays. A keyboard already gone again needs no word.
      host_.ShowTextPrompt(kDefaultPromptTextKey);
    }
    if (stopRequested_.load()) return;
    host_.SendToWindow(UM_PROFILE, kProfileWParam, 0);
  } else if (connectionState_.load() != 0) {
    ForgetCurrentProfile();
    ResetEchoLearning();
    host_.SendToWindow(UM_DEVICE_GONE, 0, 0);
    host_.HideWindow();
  }
  while (!host_.IsWindowInitialised()) {
    if (!PauseUnlessStopping(kInitialisedPoll)) return;
  }
  {
    std::lock_guard tray(trayMutex_);
    host_.ShowConnectionIcon(count != 0);
  }
  connectionState_.store(count);
  if (!firstConnection_.load()) {
    if (count != 0) host_.PostToWindow(UM_OPEN, kOpenWParam, 0);
    firstConnection_.store(true);
  }
}

bool DeviceLink::WaitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock work(workMutex_);
  return idleCv_.wait_for(work, timeout, [this] {
    return stopping_ ||
           (presenceQueue_.empty() && activityQueue_.empty() && !presenceBusy_ && !activityBusy_);
  });
}

std::array<std::uint8_t, kLedStatusBytes> DeviceLink::LedStatus() const {
  std::lock_guard led(ledMutex_);
  return ledStatus_;
}

int DeviceLink::GKeyBank() const {
  std::lock_guard led(ledMutex_);
  return ledStatus_[1] & 0x01;
}

std::array<std::uint8_t, kDeviceKeyMapBytes> DeviceLink::FactoryKeyMap() const {
  std::lock_guard state(stateMutex_);
  return factoryKeyMap_;
}

bool DeviceLink::ExchangePending() const {
  std::lock_guard reply(replyMutex_);
  return exchangePending_;
}

std::uint32_t DeviceLink::UnitId(Channel channel) const {
  if (channel == Channel::Led) {
    std::lock_guard led(ledMutex_);
    return ledUnit_;
  }
  std::lock_guard reads(readMutex_);
  return channel == Channel::Cons ? consUnit_ : ctrlUnit_;
}

}  // namespace kst
