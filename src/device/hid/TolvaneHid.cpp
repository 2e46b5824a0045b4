// The service library for the real keyboard over hidapi (hidraw backend).
//
// Threads: one reader thread per standing read, one udev monitor thread.
// hidapi is not thread-safe, so every hidapi call except hid_read_timeout
// runs under hidMutex_; a reader is the only user of its own handle, which
// it opens, reads and closes itself, and DeleteRequestFromUnitId and End
// join it. Writes use handles of their own, on the caller's thread.
//
// Presence: the monitor keeps the list of the keyboard's interfaces, fresh
// after every hidraw add or remove; RequestGetDeviceCount answers from it
// and every standing read whose count changed is told with event kind 0.

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/TolvaneApi.h"
#include "device/hid/HidSupport.h"
#include "foundation/DeviceIdentity.h"

#define TOLVANE_EXPORT extern "C" __attribute__((visibility("default")))

// Where sysfs is mounted. A test build links a stand-in for hidapi that
// defines its own (its strong definition wins over this weak one), so that
// it can present the report descriptors of its nodes.
extern "C" __attribute__((weak, visibility("hidden"))) const char* TolvaneSysfsRoot() {
  return "/sys";
}

namespace kst::hid {
namespace {

constexpr int kReadTimeoutMs = 100;  // how quickly a reader notices it is asked to stop
constexpr auto kReopenPause = std::chrono::milliseconds(1000);
constexpr std::size_t kMaxInputReport = 1024;
constexpr std::size_t kCommandReportBytes = 64;

struct Registration {
  std::uint32_t unit = 0;
  DeviceSelector selector{};
  TolvaneCallback callback = nullptr;
  std::uint32_t tag = 0;
  bool standingRead = false;
  int lastCount = 0;  // presence count last reported to it
  std::atomic<bool> stop{false};
  // Under the service's mutex_: whether its reader holds the node open, and
  // a node opened for it by the presence refresh.
  bool readerOpen = false;
  hid_device* handed = nullptr;
  std::thread reader;
};

struct WriteHandle {
  hid_device* device = nullptr;
  bool numbered = true;
};

class HidService {
 public:
  static HidService& Instance() {
    static HidService service;
    return service;
  }

  int Debug(int level) { return debug_.exchange(level); }

  int Init() {
    std::lock_guard life(lifeMutex_);
    if (running_) return 1;
    {
      std::lock_guard hid(hidMutex_);
      if (hid_init() != 0) return 0;
    }
    Refresh();
    stopping_ = false;
    running_ = true;
    StartMonitor();
    return 1;
  }

  int End() {
    std::lock_guard life(lifeMutex_);
    if (!running_) return 0;
    StopMonitor();
    std::vector<std::unique_ptr<Registration>> all;
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      for (auto& [unit, reg] : registrations_) all.push_back(std::move(reg));
      registrations_.clear();
      for (auto& z : zombies_) all.push_back(std::move(z));
      zombies_.clear();
    }
    presenceCv_.notify_all();
    for (auto& reg : all) StopReader(*reg);
    std::lock_guard hid(hidMutex_);
    for (auto& [path, handle] : writeHandles_) hid_close(handle.device);
    writeHandles_.clear();
    hid_exit();
    running_ = false;
    return 1;
  }

  int DeviceCount(const DeviceSelector* selector) {
    if (selector == nullptr) return 0;
    std::lock_guard lock(mutex_);
    return CountMatching(interfaces_, *selector);
  }

  int AsyncRead(const DeviceSelector* selector, TolvaneCallback callback, std::uint32_t tag,
                std::uint32_t* unitId) {
    if (selector == nullptr || callback == nullptr) return 0;
    auto reg = std::make_unique<Registration>();
    reg->selector = *selector;
    reg->callback = callback;
    reg->tag = tag;
    reg->standingRead = true;
    Registration* raw = reg.get();
    // The node is opened before the call returns: a report the keyboard
    // sends right after (the reply to the caller's next request) must not
    // arrive before anyone reads.
    hid_device* first = OpenForReading(*selector);
    std::lock_guard lock(mutex_);
    if (!running_ || stopping_) {
      if (first != nullptr) {
        std::lock_guard hid(hidMutex_);
        hid_close(first);
      }
      return 0;
    }
    raw->unit = NextUnit();
    raw->lastCount = CountMatching(interfaces_, *selector);
    raw->reader = std::thread([this, raw, first] { ReadLoop(*raw, first); });
    registrations_[raw->unit] = std::move(reg);
    if (unitId != nullptr) *unitId = raw->unit;
    return 1;
  }

  int DeleteUnit(std::uint32_t unit) {
    std::unique_ptr<Registration> reg;
    {
      std::lock_guard lock(mutex_);
      auto it = registrations_.find(unit);
      if (it == registrations_.end()) return 0;
      reg = std::move(it->second);
      registrations_.erase(it);
      if (reg->reader.get_id() == std::this_thread::get_id()) {
        // Asked from its own callback: it ends after the callback; End joins it.
        reg->stop = true;
        zombies_.push_back(std::move(reg));
        return 1;
      }
    }
    presenceCv_.notify_all();
    StopReader(*reg);
    return 1;
  }

  // Output report to the interface the selector picks. With a callback and a
  // unit pointer the write is filed under a unit id that Delete accepts.
  int Write(const DeviceSelector* selector, TolvaneCallback callback, std::uint32_t tag,
            const std::uint8_t* data, std::uint32_t length, std::uint32_t* unitId, bool oneReport) {
    if (selector == nullptr || (data == nullptr && length != 0)) return -1;
    std::vector<std::uint8_t> report(data, data + length);
    if (oneReport) report = PadReport(report, kCommandReportBytes);
    if (report.empty()) return -1;
    std::string path;
    {
      std::lock_guard lock(mutex_);
      path = FirstMatchingPath(interfaces_, *selector);
    }
    if (path.empty()) return 0;
    int written = -1;
    {
      std::lock_guard hid(hidMutex_);
      WriteHandle* handle = WriteHandleLocked(path);
      if (handle == nullptr) return -1;
      const std::vector<std::uint8_t> framed = FrameOutputReport(report, handle->numbered);
      written = hid_write(handle->device, framed.data(), framed.size());
      if (written < 0) {
        Trace("write to %s failed", path.c_str());
        // The node may be gone; the next write opens it anew.
        hid_close(handle->device);
        writeHandles_.erase(path);
        return -1;
      }
    }
    if (callback != nullptr && unitId != nullptr) {
      auto reg = std::make_unique<Registration>();
      reg->selector = *selector;
      reg->callback = callback;
      reg->tag = tag;
      std::lock_guard lock(mutex_);
      reg->unit = NextUnit();
      *unitId = reg->unit;
      registrations_[reg->unit] = std::move(reg);
    }
    return written > 0 ? written : 0;
  }

  // Reads (getInto set) or sends a feature report; data begins with its id.
  int Feature(const DeviceSelector* selector, const std::uint8_t* data, std::uint8_t* getInto,
              std::uint32_t length) {
    if (selector == nullptr || (data == nullptr && getInto == nullptr) || length == 0) return -1;
    std::string path;
    {
      std::lock_guard lock(mutex_);
      path = FirstMatchingPath(interfaces_, *selector);
    }
    if (path.empty()) return 0;
    std::lock_guard hid(hidMutex_);
    WriteHandle* handle = WriteHandleLocked(path);
    if (handle == nullptr) return -1;
    return getInto != nullptr ? hid_get_feature_report(handle->device, getInto, length)
                              : hid_send_feature_report(handle->device, data, length);
  }

 private:
  HidService() = default;
  ~HidService() = default;  // End stops the threads; a process that never calls it just exits

  template <typename... Args>
  void Trace(const char* format, Args... args) {
    if (debug_.load() <= 0) return;
    std::fprintf(stderr, "Tolvane: ");
    std::fprintf(stderr, format, args...);
    std::fprintf(stderr, "\n");
  }

  std::uint32_t NextUnit() {
    if (++nextUnit_ == 0) nextUnit_ = 1;
    return nextUnit_;
  }

  WriteHandle* WriteHandleLocked(const std::string& path) {
    auto it = writeHandles_.find(path);
    if (it != writeHandles_.end()) return &it->second;
    hid_device* device = hid_open_path(path.c_str());
    if (device == nullptr) {
      Trace("cannot open %s", path.c_str());
      return nullptr;
    }
    WriteHandle handle;
    handle.device = device;
    handle.numbered = ReportsNumbered(path);
    return &writeHandles_.emplace(path, handle).first->second;
  }

  static bool ReportsNumbered(const std::string& path) {
    std::ifstream in(DescriptorPathOf(path, TolvaneSysfsRoot()), std::ios::binary);
    if (!in) return true;  // this system's reports begin with their id
    std::vector<std::uint8_t> bytes;
    char c;
    while (bytes.size() < 4096 && in.get(c)) bytes.push_back(static_cast<std::uint8_t>(c));
    return DescriptorUsesReportIds(bytes);
  }

  // Re-reads the keyboard's interfaces; tells standing reads whose count
  // changed. Runs at Init and on the monitor thread.
  void Refresh() {
    std::vector<InterfaceInfo> found;
    {
      std::lock_guard hid(hidMutex_);
      hid_device_info* list = hid_enumerate(kKeyboardVendorId, kKeyboardProductId);
      for (hid_device_info* d = list; d != nullptr; d = d->next) {
        InterfaceInfo info;
        info.path = d->path != nullptr ? d->path : "";
        info.vendorId = d->vendor_id;
        info.productId = d->product_id;
        info.usagePage = d->usage_page;
        info.usage = d->usage;
        // Opened once to know: access() says yes to root for every node and
        // misses what only the open meets (a security module, a driver that
        // refuses a second opener).
        errno = 0;
        hid_device* probe = info.path.empty() ? nullptr : hid_open_path(info.path.c_str());
        info.accessible = probe != nullptr;
        info.openError = probe != nullptr ? 0 : (errno != 0 ? errno : EIO);
        if (probe != nullptr) hid_close(probe);
        found.push_back(std::move(info));
      }
      hid_free_enumeration(list);
      // A node that went away takes its write handle with it: a keyboard
      // plugged in again gets a new node, even where the path is the same.
      for (auto it = writeHandles_.begin(); it != writeHandles_.end();) {
        const bool present = std::any_of(found.begin(), found.end(), [&](const InterfaceInfo& i) {
          return i.path == it->first;
        });
        if (present) {
          ++it;
          continue;
        }
        hid_close(it->second.device);
        it = writeHandles_.erase(it);
      }
    }
    const std::vector<std::string> denied =
        InaccessiblePaths(found, kKeyboardVendorId, kKeyboardProductId);
    if (!denied.empty() && !permissionReported_.exchange(true)) {
      std::fprintf(stderr, "%s\n", PermissionNotice(denied).c_str());
    }
    struct Change {
      TolvaneCallback callback;
      std::uint32_t tag;
      int count;
    };
    std::vector<Change> changes;
    std::vector<std::pair<std::uint32_t, std::string>> toOpen;
    {
      std::lock_guard lock(mutex_);
      interfaces_ = std::move(found);
      for (auto& [unit, reg] : registrations_) {
        if (!reg->standingRead) continue;
        const int count = CountMatching(interfaces_, reg->selector);
        if (count == reg->lastCount) continue;
        reg->lastCount = count;
        changes.push_back({reg->callback, reg->tag, count});
        if (count > 0 && !reg->readerOpen && reg->handed == nullptr) {
          toOpen.emplace_back(unit, FirstMatchingPath(interfaces_, reg->selector));
        }
      }
    }
    // The readers of a keyboard that came back read before the program hears
    // of it (and sends its first request).
    for (const auto& [unit, path] : toOpen) {
      hid_device* device = nullptr;
      if (!path.empty()) {
        std::lock_guard hid(hidMutex_);
        device = hid_open_path(path.c_str());
      }
      if (device == nullptr) continue;
      std::lock_guard lock(mutex_);
      auto it = registrations_.find(unit);
      if (it != registrations_.end() && !it->second->readerOpen && it->second->handed == nullptr) {
        it->second->handed = device;
        device = nullptr;
      }
      if (device != nullptr) {
        std::lock_guard hid(hidMutex_);
        hid_close(device);
      }
    }
    presenceCv_.notify_all();
    for (const Change& c : changes) {
      TolvaneRequest request{};
      TolvaneNotification notification{};
      request.words[TOLVANE_REQUEST_TAG] = c.tag;
      request.words[TOLVANE_REQUEST_LENGTH] = static_cast<std::uintptr_t>(c.count);
      notification.words[TOLVANE_NOTIFICATION_KIND] = TOLVANE_EVENT_PRESENCE;
      notification.words[TOLVANE_NOTIFICATION_REQUEST] = reinterpret_cast<std::uintptr_t>(&request);
      c.callback(&notification);
    }
  }

 public:
  // Every interface of the keyboard the last refresh found, opening or not.
  int NodeStates(TolvaneNodeState* states, std::uint32_t capacity) {
    std::lock_guard lock(mutex_);
    std::uint32_t filled = 0;
    for (const InterfaceInfo& info : interfaces_) {
      if (states == nullptr || filled >= capacity) break;
      TolvaneNodeState& state = states[filled++];
      state = TolvaneNodeState{};
      std::snprintf(state.path, sizeof state.path, "%s", info.path.c_str());
      state.usagePage = info.usagePage;
      state.usage = info.usage;
      state.openError = info.openError;
    }
    return static_cast<int>(interfaces_.size());
  }

 private:
  // The node the selector picks, opened; null when there is none or it
  // cannot be opened.
  hid_device* OpenForReading(const DeviceSelector& selector) {
    std::string path;
    {
      std::lock_guard lock(mutex_);
      path = FirstMatchingPath(interfaces_, selector);
    }
    if (path.empty()) return nullptr;
    std::lock_guard hid(hidMutex_);
    return hid_open_path(path.c_str());
  }

  // first: the node AsyncRead opened, or null. Between nodes the reader
  // waits for the keyboard to come back; the presence refresh hands it the
  // node it opened before telling the program, so that no reply to the
  // program's first request after a plug-in is lost.
  void ReadLoop(Registration& reg, hid_device* first) {
    std::vector<std::uint8_t> buffer(kMaxInputReport);
    hid_device* device = first;
    while (!reg.stop.load()) {
      std::string path;
      {
        std::unique_lock lock(mutex_);
        if (device == nullptr && reg.handed != nullptr) std::swap(device, reg.handed);
        if (device == nullptr) {
          path = FirstMatchingPath(interfaces_, reg.selector);
          if (path.empty()) {
            presenceCv_.wait_for(lock, kReopenPause,
                                 [&] { return reg.stop.load() || reg.handed != nullptr; });
            continue;
          }
        }
      }
      if (device == nullptr) {
        std::lock_guard hid(hidMutex_);
        device = hid_open_path(path.c_str());
      }
      if (device == nullptr) {
        Trace("cannot open %s for reading", path.c_str());
        std::unique_lock lock(mutex_);
        presenceCv_.wait_for(lock, kReopenPause,
                             [&] { return reg.stop.load() || reg.handed != nullptr; });
        continue;
      }
      {
        std::lock_guard lock(mutex_);
        reg.readerOpen = true;
      }
      while (!reg.stop.load()) {
        const int n = hid_read_timeout(device, buffer.data(), buffer.size(), kReadTimeoutMs);
        if (n < 0) break;  // the node went away; wait for it to come back
        if (n == 0) continue;
        std::vector<std::uint8_t> report(buffer.begin(), buffer.begin() + n);
        TolvaneTransfer transfer{};
        TolvaneRequest request{};
        TolvaneNotification notification{};
        transfer.words[TOLVANE_TRANSFER_REPORT] = reinterpret_cast<std::uintptr_t>(report.data());
        request.words[TOLVANE_REQUEST_TAG] = reg.tag;
        request.words[TOLVANE_REQUEST_LENGTH] = static_cast<std::uintptr_t>(n);
        request.words[TOLVANE_REQUEST_REPORT] = reinterpret_cast<std::uintptr_t>(report.data());
        request.words[TOLVANE_REQUEST_TRANSFER] = reinterpret_cast<std::uintptr_t>(&transfer);
        notification.words[TOLVANE_NOTIFICATION_KIND] = TOLVANE_EVENT_REPORT;
        notification.words[TOLVANE_NOTIFICATION_REQUEST] =
            reinterpret_cast<std::uintptr_t>(&request);
        reg.callback(&notification);
      }
      {
        std::lock_guard lock(mutex_);
        reg.readerOpen = false;
      }
      std::lock_guard hid(hidMutex_);
      hid_close(device);
      device = nullptr;
    }
    std::lock_guard lock(mutex_);
    std::lock_guard hid(hidMutex_);
    if (device != nullptr) hid_close(device);
    if (reg.handed != nullptr) hid_close(reg.handed);
    reg.handed = nullptr;
  }

  void StopReader(Registration& reg) {
    reg.stop = true;
    presenceCv_.notify_all();
    if (reg.reader.joinable()) reg.reader.join();
  }

  void StartMonitor() {
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    udev_ = udev_new();
    if (udev_ != nullptr) monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr || stopFd_ < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
      std::fprintf(stderr,
                   "Tolvane: cannot watch for the keyboard coming and going (no udev monitor); "
                   "plugging it in needs a restart of the program\n");
      CloseMonitor();
      return;
    }
    monitorThread_ = std::thread([this] { MonitorLoop(); });
  }

  void StopMonitor() {
    if (monitorThread_.joinable()) {
      const std::uint64_t one = 1;
      if (write(stopFd_, &one, sizeof one) < 0) Trace("cannot wake the udev monitor");
      monitorThread_.join();
    }
    CloseMonitor();
  }

  void CloseMonitor() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (udev_ != nullptr) udev_unref(udev_);
    if (stopFd_ >= 0) close(stopFd_);
    monitor_ = nullptr;
    udev_ = nullptr;
    stopFd_ = -1;
  }

  void MonitorLoop() {
    pollfd fds[2] = {{udev_monitor_get_fd(monitor_), POLLIN, 0}, {stopFd_, POLLIN, 0}};
    for (;;) {
      if (poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents & POLLIN) return;
      if (!(fds[0].revents & POLLIN)) continue;
      bool changed = false;
      while (udev_device* dev = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(dev);
        if (action != nullptr && std::string(action) != "change") changed = true;
        udev_device_unref(dev);
      }
      if (changed) Refresh();
    }
  }

  std::mutex lifeMutex_;  // Init and End
  bool running_ = false;
  std::mutex hidMutex_;  // every hidapi call but reads
  std::mutex mutex_;     // interfaces and registrations
  std::condition_variable presenceCv_;
  bool stopping_ = false;
  std::vector<InterfaceInfo> interfaces_;
  std::map<std::uint32_t, std::unique_ptr<Registration>> registrations_;
  std::vector<std::unique_ptr<Registration>> zombies_;
  std::uint32_t nextUnit_ = 0;
  std::map<std::string, WriteHandle> writeHandles_;  // under hidMutex_
  std::atomic<bool> permissionReported_{false};
  std::atomic<int> debug_{0};
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
  int stopFd_ = -1;
  std::thread monitorThread_;
};

}  // namespace
}  // namespace kst::hid

using kst::hid::HidService;

TOLVANE_EXPORT int Debug(int level) { return HidService::Instance().Debug(level); }

TOLVANE_EXPORT int Init(int /*reserved*/) { return HidService::Instance().Init(); }

TOLVANE_EXPORT int End(void) { return HidService::Instance().End(); }

TOLVANE_EXPORT int RequestGetDeviceCount(const DeviceSelector* selector, uintptr_t, uintptr_t,
                                         uint32_t, uintptr_t) {
  return HidService::Instance().DeviceCount(selector);
}

TOLVANE_EXPORT int DeleteRequestFromUnitId(uint32_t unitId) {
  return HidService::Instance().DeleteUnit(unitId);
}

TOLVANE_EXPORT int DeleteRequestFromHandle(uintptr_t /*handle*/) { return 0; }

TOLVANE_EXPORT int RequestWrite(const DeviceSelector* selector, TolvaneCallback callback,
                                uint32_t tag, const uint8_t* data, uint32_t length, uint32_t,
                                uint32_t* unitId) {
  return HidService::Instance().Write(selector, callback, tag, data, length, unitId, false);
}

TOLVANE_EXPORT int RequestWriteOne(const DeviceSelector* selector, TolvaneCallback callback,
                                   uint32_t tag, const uint8_t* data, uint32_t length, uint32_t,
                                   uint32_t* unitId) {
  return HidService::Instance().Write(selector, callback, tag, data, length, unitId, true);
}

TOLVANE_EXPORT int RequestStatusWrite(const DeviceSelector* selector, TolvaneCallback callback,
                                      uint32_t tag, const uint8_t* data, uint32_t length, uint32_t,
                                      uint32_t* unitId) {
  return HidService::Instance().Write(selector, callback, tag, data, length, unitId, false);
}

TOLVANE_EXPORT int RequestStatusGet(const DeviceSelector* selector, TolvaneCallback, uint32_t,
                                    uint8_t* data, uint32_t length, uint32_t, uint32_t*) {
  return HidService::Instance().Feature(selector, nullptr, data, length);
}

TOLVANE_EXPORT int RequestAsyncRead(const DeviceSelector* selector, TolvaneCallback callback,
                                    uint32_t tag, uint32_t, uint32_t* unitId) {
  return HidService::Instance().AsyncRead(selector, callback, tag, unitId);
}

TOLVANE_EXPORT int RequestStatusSetFeature(const DeviceSelector* selector, TolvaneCallback,
                                           uint32_t, const uint8_t* data, uint32_t length, uint32_t,
                                           uint32_t*) {
  return HidService::Instance().Feature(selector, data, nullptr, length);
}

TOLVANE_EXPORT int TolvaneNodeStates(TolvaneNodeState* states, uint32_t capacity) {
  return HidService::Instance().NodeStates(states, capacity);
}
