// A stand-in for hidapi (hidraw backend) and libudev under the real
// keyboard's service library, for tests: linked with TolvaneHid.cpp into
// libTolvaneFakeHid.so, it makes that library talk to the simulated
// keyboard's firmware (libTolvaneSim.so, loaded privately) as it would talk
// to the keyboard's hidraw nodes.
//
// The far side: the simulated library is driven through its own service
// interface; its reports on the consumer and command interfaces are queued
// for every open handle of that interface (as hidraw gives each open file
// every input report, up to a ring of 64), its presence changes make the
// nodes come and go and raise udev "add"/"remove" events, and writes go to
// it as output reports. TolvaneSimControl is passed through, so a test
// drives the keyboard as it drives the simulated library, with the commands
// of this layer under "hid ...":
//   hid deny <led|cons|ctrl> | hid allow      opening the node fails (EACCES)
//   hid short-read <n>                         the next CTRL read gives n bytes
//   hid fail-write <n>                         the n-th write from now fails
//   hid extra <n>                              n more nodes of another device
//   hid events                                 udev events raised so far
//   hid numbered <0|1>                         the nodes' report descriptors
//                                              declare report ids, or not
//   hid inject <n>                             an unsolicited n-byte CTRL report
//   hid last-write                             the last CTRL write as hidapi took
//                                              it and as it reached the keyboard
// KESTRUNE_FAKE_HID_DENY=<node>[,<node>]: those nodes, and only they, start denied.
//
// Refuses to start when a real keyboard is attached: tests never reach one.

#include <dlfcn.h>
#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <libudev.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "device/TolvaneApi.h"
#include "device/hid/HidSupport.h"
#include "device/sim/SimLayout.h"
#include "device/sim/TolvaneSimControl.h"
#include "foundation/DeviceIdentity.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

struct hid_device_ {
  int iface = 0;
  std::uint64_t generation = 0;
  std::deque<std::vector<std::uint8_t>> queue;
  bool gone = false;
  bool reading = false;         // a reader has read from it
  std::uint64_t handedOut = 0;  // reports given to the reader
  std::uint64_t settled = 0;    // of those, the ones its caller has finished with
};

struct udev {
  int refs = 1;
};
struct udev_monitor {
  int refs = 1;
  int fds[2] = {-1, -1};
};
struct udev_device {
  std::string action;
};

namespace {

using namespace kst::sim;

constexpr std::size_t kRing = 64;
// How long the simulated keyboard's delivery waits for the library above.
constexpr auto kSettleWait =
    std::chrono::seconds(2);  // hidraw keeps this many unread reports per open file
constexpr std::uint32_t kTagConsumer = 0x434F4E53;
constexpr std::uint32_t kTagControl = 0x4354524C;

struct Node {
  const char* name;
  std::uint16_t usagePage;
  std::uint16_t usage;
  std::uint32_t tag;
};
constexpr std::array<Node, 3> kNodes = {{
    {"led", kLedUsagePage, kLedUsage, 0},
    {"cons", kConsumerUsagePage, kConsumerUsage, kTagConsumer},
    {"ctrl", kControlUsagePage, kControlUsage, kTagControl},
}};
constexpr int kControlNode = 2;

struct SimEntryPoints {
  void* handle = nullptr;
  TolvaneInitFn init = nullptr;
  TolvaneEndFn end = nullptr;
  TolvaneRequestAsyncReadFn asyncRead = nullptr;
  TolvaneRequestWriteFn write = nullptr;
  TolvaneRequestGetDeviceCountFn count = nullptr;
  TolvaneDeleteRequestFromUnitIdFn remove = nullptr;
  TolvaneSimControlFn control = nullptr;
};

DeviceSelector SelectorOf(int node) {
  DeviceSelector s{};
  s.matchMask = 0xF;
  s.vendorId = kst::kKeyboardVendorId;
  s.productId = kst::kKeyboardProductId;
  s.usagePage = kNodes[static_cast<std::size_t>(node)].usagePage;
  s.usage = kNodes[static_cast<std::size_t>(node)].usage;
  return s;
}

class FakeLayer {
 public:
  static FakeLayer& Instance() {
    static FakeLayer* layer = new FakeLayer();  // outlives the library's threads
    return *layer;
  }

  int Init() {
    {
      std::lock_guard lock(mutex_);
      if (running_) return 0;
      if (RealKeyboardAttached()) {
        std::fprintf(stderr, "fake hid: a real keyboard is attached; the tests will not run\n");
        return -1;
      }
      if (!LoadLocked()) return -1;
      // KESTRUNE_FAKE_HID_DENY=<node>[,<node>], when set, names the nodes
      // that start denied: for a test that runs a program on this layer and
      // cannot reach its control interface before the program opens them.
      if (const char* deny = std::getenv("KESTRUNE_FAKE_HID_DENY")) {
        for (std::size_t i = 0; i < kNodes.size(); ++i) {
          std::istringstream list(deny);
          denied_[i] = false;
          for (std::string name; std::getline(list, name, ',');)
            denied_[i] |= name == kNodes[i].name;
        }
      }
      if (folder_.empty()) {
        char pattern[] = "/tmp/kst-fake-hid-XXXXXX";
        if (!mkdtemp(pattern)) return -1;
        folder_ = pattern;
        madeBy_ = getpid();
        std::atexit(&FakeLayer::RemoveMadeFolder);
      }
      for (std::size_t i = 0; i < kNodes.size(); ++i) std::ofstream(NodePath(static_cast<int>(i)));
      if (sysfsRoot_.empty()) sysfsRoot_ = folder_ + "/sys";
      WriteDescriptorsLocked();
    }
    // The simulated library calls back on its own thread: no lock of ours
    // is held while it is called.
    if (sim_.init(0) != 1) return -1;
    const DeviceSelector control = SelectorOf(kControlNode);
    const bool present = sim_.count(&control, 0, 0, 0, 0) > 0;
    {
      std::lock_guard lock(mutex_);
      running_ = true;
      present_ = present;
    }
    for (int node : {1, kControlNode}) {
      const DeviceSelector s = SelectorOf(node);
      std::uint32_t unit = 0;
      if (sim_.asyncRead(&s, &FakeLayer::Callback, kNodes[static_cast<std::size_t>(node)].tag, 0,
                         &unit) == 1) {
        std::lock_guard lock(mutex_);
        units_.push_back(unit);
      }
    }
    return 0;
  }

  // At the end of the process that made the nodes' folder (not of a child
  // forked from it), the folder goes with it.
  static void RemoveMadeFolder() {
    FakeLayer& layer = Instance();
    // A thread that still holds the lock at exit keeps the folder.
    std::unique_lock lock(layer.mutex_, std::try_to_lock);
    if (!lock.owns_lock() || layer.madeBy_ != getpid()) return;
    std::error_code ignored;
    std::filesystem::remove_all(layer.folder_, ignored);
  }

  int Exit() {
    std::vector<std::uint32_t> units;
    {
      std::lock_guard lock(mutex_);
      if (!running_) return 0;
      running_ = false;
      units.swap(units_);
    }
    for (std::uint32_t unit : units) sim_.remove(unit);
    sim_.end();
    std::lock_guard lock(mutex_);
    for (hid_device* d : open_) d->gone = true;
    cv_.notify_all();
    return 0;
  }

  hid_device_info* Enumerate(unsigned short vendor, unsigned short product) {
    std::lock_guard lock(mutex_);
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    auto add = [&](const std::string& path, std::uint16_t v, std::uint16_t p, std::uint16_t page,
                   std::uint16_t usage, int number) {
      if ((vendor != 0 && vendor != v) || (product != 0 && product != p)) return;
      auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
      info->path = strdup(path.c_str());
      info->vendor_id = v;
      info->product_id = p;
      info->usage_page = page;
      info->usage = usage;
      info->interface_number = number;
      *tail = info;
      tail = &info->next;
    };
    for (int i = 0; i < extra_; ++i) {
      add(folder_ + "/kst-fake-other" + std::to_string(i), 0x1234, 0x5678, 0x0001, 0x0006, i);
    }
    if (running_ && present_) {
      for (std::size_t i = 0; i < kNodes.size(); ++i) {
        add(NodePath(static_cast<int>(i)), kst::kKeyboardVendorId, kst::kKeyboardProductId,
            kNodes[i].usagePage, kNodes[i].usage, static_cast<int>(i));
      }
    }
    return head;
  }

  hid_device* Open(const char* path) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; running_ && present_ && i < kNodes.size(); ++i) {
      if (NodePath(static_cast<int>(i)) != path) continue;
      if (denied_[i]) {
        errno = EACCES;
        return nullptr;
      }
      auto* device = new hid_device_();
      device->iface = static_cast<int>(i);
      device->generation = generation_;
      open_.push_back(device);
      return device;
    }
    errno = ENOENT;
    return nullptr;
  }

  void Close(hid_device* device) {
    if (!device) return;
    std::lock_guard lock(mutex_);
    std::erase(open_, device);
    delete device;
  }

  int Write(hid_device* device, const unsigned char* data, size_t length) {
    if (!device || !data || length == 0) return -1;
    std::vector<std::uint8_t> report;
    {
      std::lock_guard lock(mutex_);
      if (device->gone || !running_) return -1;
      if (failWriteIn_ > 0 && --failWriteIn_ == 0) return -1;
      report.assign(data, data + length);
      // hidapi's first byte is the report id. An interface without report
      // ids takes 0 there, which the keyboard never sees; any other byte is
      // a report this interface does not have.
      if (!numbered_) {
        if (report.front() != 0) {
          errno = EINVAL;
          return -1;
        }
        report.erase(report.begin());
      }
      if (device->iface == kControlNode) {
        lastHidapi_.assign(data, data + length);
        lastWire_ = report;
      }
    }
    const DeviceSelector s = SelectorOf(device->iface);
    std::uint32_t unit = 0;
    const int sent = sim_.write(&s, nullptr, 0, report.data(),
                                static_cast<std::uint32_t>(report.size()), 0, &unit);
    return sent > 0 ? static_cast<int>(length) : -1;
  }

  int Read(hid_device* device, unsigned char* data, size_t length, int milliseconds) {
    if (!device || !data) return -1;
    std::unique_lock lock(mutex_);
    // Back for more: the caller has handled what it was given.
    device->reading = true;
    device->settled = device->handedOut;
    settleCv_.notify_all();
    auto ready = [&] { return device->gone || !device->queue.empty(); };
    if (milliseconds < 0) {
      cv_.wait(lock, ready);
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
      return 0;
    }
    if (device->queue.empty()) return -1;  // the node went away
    std::vector<std::uint8_t> report = std::move(device->queue.front());
    device->queue.pop_front();
    ++device->handedOut;
    std::size_t n = std::min(length, report.size());
    if (device->iface == kControlNode && shortRead_ >= 0) {
      n = std::min(n, static_cast<std::size_t>(shortRead_));
      shortRead_ = -1;
    }
    std::memcpy(data, report.data(), n);
    return static_cast<int>(n);
  }

  // ---- udev ----
  udev_monitor* NewMonitor() {
    auto* monitor = new udev_monitor();
    if (pipe2(monitor->fds, O_CLOEXEC | O_NONBLOCK) != 0) {
      delete monitor;
      return nullptr;
    }
    std::lock_guard lock(mutex_);
    monitors_.push_back(monitor);
    return monitor;
  }
  void UnrefMonitor(udev_monitor* monitor) {
    if (!monitor || --monitor->refs > 0) return;
    std::lock_guard lock(mutex_);
    std::erase(monitors_, monitor);
    close(monitor->fds[0]);
    close(monitor->fds[1]);
    delete monitor;
  }
  udev_device* Receive(udev_monitor* monitor) {
    char action = 0;
    if (read(monitor->fds[0], &action, 1) != 1) return nullptr;
    auto* device = new udev_device();
    device->action = action == '+' ? "add" : action == '-' ? "remove" : "change";
    return device;
  }

  int Control(const char* command, char* reply, std::uint32_t capacity) {
    const std::string text = command ? command : "";
    if (text.rfind("hid ", 0) != 0) {
      {
        std::lock_guard lock(mutex_);
        if (!LoadLocked()) return TOLVANE_SIM_FAILED;
      }
      return sim_.control(command, reply, capacity);
    }
    std::istringstream in(text.substr(4));
    std::string verb, arg;
    in >> verb >> arg;
    std::string answer = "ok";
    int result = TOLVANE_SIM_OK;
    int inject = -1;
    {
      std::lock_guard lock(mutex_);
      if (verb == "deny" || verb == "allow") {
        for (std::size_t i = 0; i < kNodes.size(); ++i) {
          if (verb == "allow") denied_[i] = false;
          if (verb == "deny" && arg == kNodes[i].name) denied_[i] = true;
        }
      } else if (verb == "short-read" && !arg.empty()) {
        shortRead_ = std::atoi(arg.c_str());
      } else if (verb == "fail-write" && !arg.empty()) {
        failWriteIn_ = std::atoi(arg.c_str());
      } else if (verb == "extra" && !arg.empty()) {
        extra_ = std::max(0, std::atoi(arg.c_str()));
        RaiseLocked('c');
      } else if (verb == "numbered" && (arg == "0" || arg == "1")) {
        numbered_ = arg == "1";
        WriteDescriptorsLocked();
      } else if (verb == "inject" && !arg.empty()) {
        inject = std::clamp(std::atoi(arg.c_str()), 0, 1 << 16);
      } else if (verb == "last-write") {
        answer = "hidapi " + Hex(lastHidapi_) + "\nwire " + Hex(lastWire_);
      } else if (verb == "events") {
        answer = "added " + std::to_string(added_) + "\nremoved " + std::to_string(removed_);
      } else {
        answer =
            "hid deny <led|cons|ctrl> | hid allow | hid short-read <n> | "
            "hid fail-write <n> | hid extra <n> | hid events | hid numbered <0|1> | "
            "hid inject <n> | hid last-write";
        result = TOLVANE_SIM_BAD_ARGUMENT;
      }
    }
    if (inject >= 0) {
      // An input report of the command interface that answers nothing: the
      // report id, then zeros.
      std::vector<std::uint8_t> report(static_cast<std::size_t>(inject), 0);
      if (!report.empty()) report[0] = kReportId;
      Queue(kControlNode, std::move(report));
    }
    if (reply && capacity > 0) {
      std::snprintf(reply, capacity, "%s", answer.c_str());
      if (answer.size() >= capacity) return TOLVANE_SIM_REPLY_CUT;
    }
    return result;
  }

 private:
  FakeLayer() = default;

  static int Callback(const TolvaneNotification* notification) {
    if (!notification) return 1;
    const auto* request =
        reinterpret_cast<const TolvaneRequest*>(notification->words[TOLVANE_NOTIFICATION_REQUEST]);
    if (!request) return 1;
    FakeLayer& self = Instance();
    const std::uint32_t tag = static_cast<std::uint32_t>(request->words[TOLVANE_REQUEST_TAG]);
    if (notification->words[TOLVANE_NOTIFICATION_KIND] == TOLVANE_EVENT_PRESENCE) {
      if (tag == kTagControl) self.Presence(request->words[TOLVANE_REQUEST_LENGTH] > 0);
      return 1;
    }
    const auto* bytes =
        reinterpret_cast<const std::uint8_t*>(request->words[TOLVANE_REQUEST_REPORT]);
    const std::size_t length = request->words[TOLVANE_REQUEST_LENGTH];
    if (!bytes || length == 0) return 1;
    self.Queue(tag == kTagControl ? kControlNode : 1,
               std::vector<std::uint8_t>(bytes, bytes + length));
    return 1;
  }

  // Queues the report for every open handle of the node, then waits (a
  // while at most) until each handle that is being read has been read dry
  // and its reader is back for more: the simulated keyboard counts a report
  // as delivered once the program above has taken it, as it does when it
  // calls the program itself.
  void Queue(int node, std::vector<std::uint8_t> report) {
    std::unique_lock lock(mutex_);
    for (hid_device* d : open_) {
      if (d->iface != node || d->gone) continue;
      if (d->queue.size() >= kRing) d->queue.pop_front();
      d->queue.push_back(report);
    }
    cv_.notify_all();
    settleCv_.wait_for(lock, kSettleWait, [&] {
      for (hid_device* d : open_) {
        if (d->iface == node && d->reading && !d->gone &&
            (!d->queue.empty() || d->settled != d->handedOut)) {
          return false;
        }
      }
      return true;
    });
  }

  void Presence(bool present) {
    std::unique_lock lock(mutex_);
    if (present == present_) return;
    present_ = present;
    ++generation_;
    if (!present) {
      for (hid_device* d : open_) d->gone = true;
      cv_.notify_all();
    }
    // One event per node, as udev raises them; then, as for reports, wait
    // until the library's monitor has taken them and is waiting again.
    for (std::size_t i = 0; i < kNodes.size(); ++i) RaiseLocked(present ? '+' : '-');
    const std::uint64_t raised = raised_;
    settleCv_.wait_for(lock, kSettleWait, [&] { return monitorSettled_ >= raised; });
  }

 public:
  // The library's monitor thread is about to wait on its descriptors.
  void MonitorWaiting(const pollfd* fds, nfds_t count) {
    std::lock_guard lock(mutex_);
    for (nfds_t i = 0; i < count; ++i) {
      for (udev_monitor* m : monitors_) {
        if (fds[i].fd != m->fds[0]) continue;
        int unread = 0;
        if (ioctl(m->fds[0], FIONREAD, &unread) == 0 && unread == 0) {
          monitorSettled_ = raised_;
          settleCv_.notify_all();
        }
      }
    }
  }

 private:
  void RaiseLocked(char action) {
    ++raised_;
    if (action == '+') ++added_;
    if (action == '-') ++removed_;
    for (udev_monitor* m : monitors_) {
      if (write(m->fds[1], &action, 1) < 0) {
        // A full pipe: the monitor has enough to read already.
      }
    }
  }

  bool LoadLocked() {
    if (sim_.handle) return true;
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&FakeLayer::Instance), &info) || !info.dli_fname)
      return false;
    std::string folder = info.dli_fname;
    folder = folder.substr(0, folder.find_last_of('/') + 1);
    void* handle = dlopen((folder + "libTolvaneSim.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      std::fprintf(stderr, "fake hid: %s\n", dlerror());
      return false;
    }
    sim_.init = reinterpret_cast<decltype(sim_.init)>(dlsym(handle, "Init"));
    sim_.end = reinterpret_cast<decltype(sim_.end)>(dlsym(handle, "End"));
    sim_.asyncRead = reinterpret_cast<decltype(sim_.asyncRead)>(dlsym(handle, "RequestAsyncRead"));
    sim_.write = reinterpret_cast<decltype(sim_.write)>(dlsym(handle, "RequestWrite"));
    sim_.count = reinterpret_cast<decltype(sim_.count)>(dlsym(handle, "RequestGetDeviceCount"));
    sim_.remove = reinterpret_cast<decltype(sim_.remove)>(dlsym(handle, "DeleteRequestFromUnitId"));
    sim_.control = reinterpret_cast<TolvaneSimControlFn>(dlsym(handle, "TolvaneSimControl"));
    if (!sim_.init || !sim_.end || !sim_.asyncRead || !sim_.write || !sim_.count || !sim_.remove ||
        !sim_.control) {
      std::fprintf(stderr, "fake hid: the simulated keyboard lacks an entry point\n");
      return false;
    }
    sim_.handle = handle;
    return true;
  }

  static std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char two[3];
    for (std::uint8_t b : bytes) {
      std::snprintf(two, sizeof two, "%02x", b);
      out += two;
    }
    return out;
  }

  // Each node's report descriptor where the library looks for it: a vendor
  // collection of 64-byte input and output reports, with or without the
  // report id the command reports begin with.
  void WriteDescriptorsLocked() {
    if (sysfsRoot_.empty()) return;
    std::vector<std::uint8_t> descriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
    if (numbered_) descriptor.insert(descriptor.end(), {0x85, kReportId});
    descriptor.insert(descriptor.end(), {0x75, 0x08, 0x95, 0x3F, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01,
                                         0x91, 0x02, 0xC0});
    for (std::size_t i = 0; i < kNodes.size(); ++i) {
      const std::string path = NodePath(static_cast<int>(i));
      const std::string device =
          sysfsRoot_ + "/class/hidraw/" + path.substr(path.find_last_of('/') + 1) + "/device";
      std::filesystem::create_directories(device);
      std::ofstream(device + "/report_descriptor", std::ios::binary | std::ios::trunc)
          .write(reinterpret_cast<const char*>(descriptor.data()),
                 static_cast<std::streamsize>(descriptor.size()));
    }
  }

 public:
  const char* SysfsRoot() {
    std::lock_guard lock(mutex_);
    return sysfsRoot_.empty() ? "/sys" : sysfsRoot_.c_str();
  }

 private:
  std::string NodePath(int node) const {
    return folder_ + "/kst-fake-hidraw-" + kNodes[static_cast<std::size_t>(node)].name;
  }

  // A hidraw node of the keyboard's vendor and product on this machine.
  static bool RealKeyboardAttached() {
    for (const kst::hid::HidrawNode& node :
         kst::hid::ScanHidrawNodes("/sys", kst::kKeyboardVendorId, kst::kKeyboardProductId)) {
      if (node.matches) return true;
    }
    return false;
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::condition_variable settleCv_;
  std::uint64_t raised_ = 0;
  std::uint64_t monitorSettled_ = 0;
  SimEntryPoints sim_;
  bool running_ = false;
  bool present_ = false;
  std::uint64_t generation_ = 0;
  std::string folder_;
  pid_t madeBy_ = 0;  // the process that made folder_
  std::vector<std::uint32_t> units_;
  std::vector<hid_device*> open_;
  std::vector<udev_monitor*> monitors_;
  std::array<bool, kNodes.size()> denied_{};
  std::string sysfsRoot_;  // set once, at the first Init
  bool numbered_ = true;
  std::vector<std::uint8_t> lastHidapi_;
  std::vector<std::uint8_t> lastWire_;
  int shortRead_ = -1;
  int failWriteIn_ = 0;
  int extra_ = 0;
  int added_ = 0;
  int removed_ = 0;
};

FakeLayer& Layer() { return FakeLayer::Instance(); }

}  // namespace

// ---- hidapi ----
FAKE_EXPORT int hid_init(void) { return Layer().Init(); }
FAKE_EXPORT int hid_exit(void) { return Layer().Exit(); }
FAKE_EXPORT struct hid_device_info* hid_enumerate(unsigned short vendor_id,
                                                  unsigned short product_id) {
  return Layer().Enumerate(vendor_id, product_id);
}
FAKE_EXPORT void hid_free_enumeration(struct hid_device_info* devs) {
  while (devs) {
    hid_device_info* next = devs->next;
    std::free(devs->path);
    std::free(devs);
    devs = next;
  }
}
FAKE_EXPORT hid_device* hid_open_path(const char* path) { return Layer().Open(path); }
FAKE_EXPORT void hid_close(hid_device* dev) { Layer().Close(dev); }
FAKE_EXPORT int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  return Layer().Write(dev, data, length);
}
FAKE_EXPORT int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length,
                                 int milliseconds) {
  return Layer().Read(dev, data, length, milliseconds);
}
FAKE_EXPORT int hid_send_feature_report(hid_device*, const unsigned char*, size_t) { return -1; }
FAKE_EXPORT int hid_get_feature_report(hid_device*, unsigned char*, size_t) { return -1; }

// ---- libudev ----
FAKE_EXPORT struct udev* udev_new(void) { return new udev(); }
FAKE_EXPORT struct udev* udev_unref(struct udev* u) {
  if (u && --u->refs == 0) delete u;
  return nullptr;
}
FAKE_EXPORT struct udev_monitor* udev_monitor_new_from_netlink(struct udev*, const char*) {
  return Layer().NewMonitor();
}
FAKE_EXPORT int udev_monitor_filter_add_match_subsystem_devtype(struct udev_monitor*, const char*,
                                                                const char*) {
  return 0;
}
FAKE_EXPORT int udev_monitor_enable_receiving(struct udev_monitor*) { return 0; }
FAKE_EXPORT int udev_monitor_get_fd(struct udev_monitor* m) { return m ? m->fds[0] : -1; }
FAKE_EXPORT struct udev_device* udev_monitor_receive_device(struct udev_monitor* m) {
  return m ? Layer().Receive(m) : nullptr;
}
FAKE_EXPORT const char* udev_device_get_action(struct udev_device* d) {
  return d ? d->action.c_str() : nullptr;
}
FAKE_EXPORT struct udev_device* udev_device_unref(struct udev_device* d) {
  delete d;
  return nullptr;
}
FAKE_EXPORT struct udev_monitor* udev_monitor_unref(struct udev_monitor* m) {
  Layer().UnrefMonitor(m);
  return nullptr;
}

// ---- poll ----
// The library's own calls of poll bind to this one (hidden: the static link
// resolves them within this library; nothing else in the process sees it),
// which tells the layer when the udev monitor thread has handled its events
// and waits again.
extern "C" __attribute__((visibility("hidden"))) int poll(struct pollfd* fds, nfds_t nfds,
                                                          int timeout) {
  Layer().MonitorWaiting(fds, nfds);
  const timespec wait = {timeout / 1000, (timeout % 1000) * 1000000L};
  return ppoll(fds, nfds, timeout < 0 ? nullptr : &wait, nullptr);
}

// The library reads its nodes' report descriptors from this layer's folder.
extern "C" __attribute__((visibility("hidden"))) const char* TolvaneSysfsRoot() {
  return Layer().SysfsRoot();
}

// ---- the test's handle on the keyboard ----
FAKE_EXPORT int TolvaneSimControl(const char* command, char* reply, std::uint32_t capacity) {
  return Layer().Control(command, reply, capacity);
}
