#pragma once

// The device link: the three channels to the keyboard over the service
// library, the one notification callback, the synchronous request/reply
// exchange on 'CTRL' and the connection worker. One object, owned by the
// application and handed down by reference.
//
// Threads: the service library calls DeviceCallback on its own thread; the
// link runs one connection worker thread (presence changes, one at a time in
// arrival order) and one tray-activity thread. Exchanges run on the caller's
// thread and are serialised by the sequence lock (CommandSequencer), which a
// caller may hold for a whole command sequence. Shutdown
// (or the destructor) stops and joins both threads before anything they use
// goes away.
//
// Callback routing: the library's callback carries no user pointer, so the
// link armed last installs itself as the one receiver of DeviceCallback at
// ArmChannels and removes itself at Shutdown; a second link can arm only
// after the first has shut down. Notifications that arrive while no link is
// installed are dropped.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <thread>

#include "device/CommandProtocol.h"
#include "device/DeviceChannels.h"
#include "device/DeviceHost.h"
#include "device/ServiceLibrary.h"

namespace kst {

inline constexpr std::uint16_t kCodeGKeyBank = 767;
inline constexpr std::uint16_t kCodeProfileSwitched = 1025;
inline constexpr std::uint16_t kCodeFactoryReset = 1026;
inline constexpr std::uint16_t kCodeActivityOff = 6160;
inline constexpr std::uint16_t kCodeActivityOn = 6161;

inline constexpr std::size_t kLedStatusBytes = 2;
inline constexpr std::uint8_t kLedStatusByte0 = 0x05;
inline constexpr std::uint8_t kLedStatusBase = 0x02;  // byte 1 without the G-key bank bit

// How long one exchange attempt waits for its reply, how often it tries, and
// the pauses of the exchange.
inline constexpr auto kReplyTimeout = std::chrono::milliseconds(1000);
inline constexpr int kExchangeAttempts = 3;
inline constexpr auto kRetryPause = std::chrono::milliseconds(10);
inline constexpr auto kPendingTakeOver = std::chrono::milliseconds(1001);
inline constexpr auto kInitialisedPoll = std::chrono::milliseconds(50);

class DeviceLink final : public ReportExchanger {
 public:
  // api: a bound service library (BindServiceLibrary); host: the main
  // window's side. Both must outlive the link's Shutdown.
  DeviceLink(const TolvaneApi& api, DeviceHost& host);
  ~DeviceLink() override;
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // At binding: LED status 05 02, arm 'CONS' and 'CTRL', count the present
  // keyboards and start the connection worker with that count (a count of 0
  // marks the first connection as done, so 'OPEN' is never posted). Gives
  // the count, or -1 when the library is incomplete or another link is armed.
  int ArmChannels();

  // Stops receiving notifications, cancels the registrations, stops and
  // joins the workers. Later exchanges give 0. Idempotent. Not from inside
  // DeviceCallback. The host must not block the workers for ever: a
  // SendToWindow, HideWindow or ShowTextPrompt in progress must return.
  void Shutdown();

  // Cancels the channel's standing read by its unit id and registers it anew.
  void ArmRead(Channel channel);
  // Cancels the last LED write by its unit id and writes the LED status.
  int WriteLedStatus();

  // A reply whose command byte differs from the request's counts as a failed
  // attempt. Once the connected keyboard is known to echo the request's
  // length and offset (bytes 4-6) in its replies, a reply whose echo differs
  // is the late answer to an earlier request: it is dropped and the exchange
  // keeps waiting for its own reply within the same attempt's time.
  int ExchangeReport(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply,
                     std::uint32_t& replyLength) override;
  int CachedCurrentProfile() const override;
  void SetCachedCurrentProfile(int profile) override;
  std::uint64_t CurrentProfileEpoch() const override;
  void CacheCurrentProfileRead(int profile, std::uint64_t epoch) override;
  // The keyboard may have changed its current profile by itself: the cache
  // becomes -1 and a profile read that began before is not cached.
  void ForgetCurrentProfile();

  // The sequence lock. Waiters give up (false) once Shutdown begins.
  bool LockSequence() override;
  void UnlockSequence() override;
  // True while a thread other than the caller holds a sequence: a thread that
  // must not wait (the window's) can come back later instead.
  bool SequenceHeldElsewhere() const;

  // What the connected keyboard puts in reply bytes 4-6, learnt from its
  // first replies after each connection: while Unknown, and for a keyboard
  // that does not echo, replies are matched by the command byte alone.
  enum class ReplyEcho { Unknown, Echoed, NotEchoed };
  ReplyEcho ReplyEchoMode() const;

  // Queues a presence change (number of present keyboards) for the
  // connection worker; only the latest waits, after a removal on the way.
  void ConnectionWorker(int count);

  // The callback given to the service library; always gives 1.
  static int DeviceCallback(const TolvaneNotification* notification);

  // Waits until both workers have nothing queued or running; false on time-out.
  bool WaitUntilIdle(std::chrono::milliseconds timeout);

  std::array<std::uint8_t, kLedStatusBytes> LedStatus() const;
  int GKeyBank() const;  // 0 = bank A, 1 = bank B
  std::array<std::uint8_t, kDeviceKeyMapBytes> FactoryKeyMap() const;
  std::uint32_t DeviceMacroCapacity() const { return macroCapacity_.load(); }
  int ConnectionState() const { return connectionState_.load(); }
  bool FirstConnectionDone() const { return firstConnection_.load(); }
  bool ExchangePending() const;
  std::uint32_t UnitId(Channel channel) const;

 private:
  void HandleNotification(const TolvaneNotification& notification);
  void HandleConsumerCode(std::uint16_t code);
  void HandleControlReport(const std::uint8_t* bytes, std::uintptr_t length);
  int WriteLedStatusLocked();
  void ClearPending();
  // Both with replyMutex_ held. A stale reply answers another request.
  bool StaleReplyLocked(std::span<const std::uint8_t> request,
                        std::span<const std::uint8_t> reply) const;
  void LearnEchoLocked(std::span<const std::uint8_t> request, std::span<const std::uint8_t> reply);
  void ResetEchoLearning();
  bool PauseUnlessStopping(std::chrono::milliseconds pause);

  void ConnectionLoop();
  void ActivityLoop();
  void HandlePresence(int count);
  bool PresenceChangeWaiting();

  const TolvaneApi api_;
  DeviceHost& host_;
  const DeviceSelector ledSelector_;
  const DeviceSelector consSelector_;
  const DeviceSelector ctrlSelector_;

  // Standing reads: unit ids of 'CONS' and 'CTRL'.
  mutable std::mutex readMutex_;
  std::uint32_t consUnit_ = 0;
  std::uint32_t ctrlUnit_ = 0;
  bool armed_ = false;

  // LED status and the unit id of its last write.
  mutable std::mutex ledMutex_;
  std::array<std::uint8_t, kLedStatusBytes> ledStatus_{kLedStatusByte0, kLedStatusBase};
  std::uint32_t ledUnit_ = 0;

  // The sequence lock: the thread holding it and how often it took it.
  mutable std::mutex sequenceMutex_;
  std::condition_variable sequenceCv_;
  std::thread::id sequenceOwner_;
  int sequenceDepth_ = 0;

  // The pending exchange's reply, filled by the callback.
  mutable std::mutex replyMutex_;
  std::condition_variable replyCv_;
  bool exchangePending_ = false;
  bool replySignalled_ = false;  // ReplyEvent
  std::uint8_t* replyBuffer_ = nullptr;
  std::uint32_t replyCapacity_ = 0;
  std::uint32_t replyLength_ = 0;
  // Echo learning of the current connection (guarded by replyMutex_): the
  // first echo seen, and whether an attempt went unanswered, after which a
  // late reply may still arrive and nothing more is learnt.
  ReplyEcho echo_ = ReplyEcho::Unknown;
  bool echoSeen_ = false;
  std::array<std::uint8_t, 3> firstEcho_{};
  bool echoTainted_ = false;

  mutable std::mutex stateMutex_;
  std::array<std::uint8_t, kDeviceKeyMapBytes> factoryKeyMap_{};
  std::atomic<std::uint32_t> macroCapacity_{0};
  std::atomic<int> connectionState_{0};
  std::atomic<bool> firstConnection_{false};
  mutable std::mutex profileMutex_;
  int cachedProfile_ = -1;
  std::uint64_t profileEpoch_ = 0;

  // Serialises tray picture changes of both workers.
  std::mutex trayMutex_;

  // Worker queues.
  std::mutex workMutex_;
  std::condition_variable workCv_;
  std::condition_variable idleCv_;
  std::deque<int> presenceQueue_;
  std::deque<bool> activityQueue_;
  bool presenceBusy_ = false;
  bool activityBusy_ = false;
  bool stopping_ = false;
  std::atomic<bool> stopRequested_{false};
  std::mutex stopMutex_;
  std::condition_variable stopCv_;
  std::thread connectionThread_;
  std::thread activityThread_;
  std::once_flag shutdownOnce_;
};

}  // namespace kst
