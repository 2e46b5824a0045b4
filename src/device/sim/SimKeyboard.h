#pragma once
// The simulated keyboard behind the service library's entry points: its three
// interfaces, its memory, the library's own thread that delivers reports and
// events with USB full-speed timing, fault injection, the capture file and
// the text control commands.
//
// One instance per process (the C interface has no handle); it lives from the
// first call until the process ends. Init starts its threads, End stops and
// joins them.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/TolvaneApi.h"
#include "device/sim/SimFirmware.h"
#include "device/sim/SimMemory.h"

namespace kst::sim {

class ControlServer;

enum class Interface { Led, Consumer, Control };

enum class FaultKind { NoReply, WrongCommand, StatusFF, StatusFE, Unplug, Slow };

class SimKeyboard {
 public:
  static SimKeyboard& Instance();

  SimKeyboard();
  ~SimKeyboard();
  SimKeyboard(const SimKeyboard&) = delete;
  SimKeyboard& operator=(const SimKeyboard&) = delete;

  // Entry points; results as the service interface defines them.
  int Debug(int level);
  int Init();
  int End();
  int DeviceCount(const DeviceSelector* selector);
  int AsyncRead(const DeviceSelector* selector, TolvaneCallback callback, std::uint32_t tag,
                std::uint32_t requestKey, std::uint32_t* unitId);
  int DeleteUnit(std::uint32_t unitId);
  int DeleteHandle(std::uintptr_t handle);
  // Output report to the interface the selector picks ('CTRL' or 'LED').
  int Write(const DeviceSelector* selector, const std::uint8_t* data, std::uint32_t length,
            std::uint32_t* unitId);
  // Feature report: kept per interface, read back by StatusGet.
  int SetFeature(const DeviceSelector* selector, const std::uint8_t* data, std::uint32_t length,
                 std::uint32_t* unitId);
  // Last output or feature report of the interface.
  int StatusGet(const DeviceSelector* selector, std::uint8_t* data, std::uint32_t length,
                std::uint32_t* unitId);

  // Writes unsaved memory to the state file, for a process that ends without
  // End. Gives up if the lock stays taken for about 100 ms.
  void SaveIfDirty();

  // One text command (see TolvaneSimControl.h); result TOLVANE_SIM_*.
  int Control(std::string_view command, std::string& reply);

 private:
  using Clock = std::chrono::steady_clock;
  enum class ItemKind { DeviceReport, Presence, Unplug };
  struct Item {
    ItemKind kind = ItemKind::DeviceReport;
    Interface iface = Interface::Control;
    std::vector<std::uint8_t> bytes;
    int count = 0;  // Presence
  };
  struct Registration {
    std::uint32_t unit = 0;
    DeviceSelector selector{};
    TolvaneCallback callback = nullptr;
    std::uint32_t tag = 0;
  };
  struct Fault {
    FaultKind kind = FaultKind::NoReply;
    bool every = false;
    std::uint64_t atRequest = 0;  // number of the request it fires on
    std::uint32_t delayMs = 0;    // Slow
  };
  struct Counters {
    std::uint64_t ctrlRequests = 0, ctrlReplies = 0, ledWrites = 0, consEvents = 0;
  };

  void DeviceLoop();
  void Process(Item& item, std::unique_lock<std::mutex>& lock);
  // number: requests sent on 'CTRL' since Init, this one included.
  void HandleHostReport(const Report& request, std::uint64_t number, Clock::time_point arrival);
  void Deliver(std::unique_lock<std::mutex>& lock, Interface iface, std::uint32_t kind,
               const std::vector<std::uint8_t>& bytes, int count);
  std::uint64_t Enqueue(Clock::time_point due, Item item);
  std::uint64_t EnqueueEvent(std::uint16_t code, Clock::duration extraDelay = {});
  void DropTraffic();
  bool UnplugLocked(std::vector<std::uint64_t>& wait);
  bool WaitDelivered(std::unique_lock<std::mutex>& lock, const std::vector<std::uint64_t>& seqs);
  void Capture(char direction, Interface iface, std::span<const std::uint8_t> bytes);

  struct Snapshot {
    std::string path;
    std::vector<std::uint8_t> bytes;
    std::uint64_t generation = 0;
  };
  void EnsureLoadedLocked();
  Snapshot TakeSnapshotLocked();
  // Needs no lock of mutex_; serialised by fileMutex_ (taken after mutex_).
  bool WriteSnapshot(const Snapshot& snapshot, std::string* error);
  bool SaveLocked(std::string* error);
  void MarkDirtyLocked();
  void ResetVolatileLocked();

  int ControlLocked(std::unique_lock<std::mutex>& lock, const std::vector<std::string>& words,
                    std::string& reply);
  std::string DumpLocked(std::string_view only) const;
  std::string FaultListLocked() const;

  mutable std::mutex mutex_;
  std::condition_variable wakeCv_;  // device thread: queue changed or stop
  std::condition_variable doneCv_;  // items delivered, callbacks returned

  bool running_ = false;
  bool stopping_ = false;
  std::thread device_;
  std::thread::id deviceThreadId_;
  std::unique_ptr<ControlServer> server_;
  std::string socketPath_;

  // Keyboard state.
  bool loaded_ = false;
  KeyboardMemory memory_;
  std::string statePath_;
  bool dirty_ = false;
  std::uint64_t generation_ = 0;  // counts memory changes
  Clock::time_point lastChange_{};
  bool present_ = true;
  // An injected unplug is due: requests are no longer taken.
  bool leaving_ = false;
  std::uint32_t latencyUs_;
  std::array<std::uint8_t, kLedReportSize> ledReport_{};
  std::vector<std::uint8_t> controlFeature_;
  std::vector<Fault> faults_;
  // Whether replies repeat the request's length and offset (bytes 4-6).
  bool echoFields_ = true;
  Counters counters_;
  std::uint64_t requestsSent_ = 0;

  // Registrations and delivery.
  std::vector<Registration> registrations_;
  std::uint32_t nextUnit_ = 1;
  std::uint32_t inCallback_ = 0;
  std::map<std::pair<Clock::time_point, std::uint64_t>, Item> queue_;
  std::set<std::uint64_t> outstanding_;
  std::uint64_t nextSeq_ = 1;

  // State file writes.
  std::mutex fileMutex_;
  std::string writtenPath_;              // guarded by fileMutex_
  std::uint64_t writtenGeneration_ = 0;  // guarded by fileMutex_

  // Capture and debug output.
  std::FILE* capture_ = nullptr;
  int debugLevel_ = 0;
  Clock::time_point start_{};
};

}  // namespace kst::sim
