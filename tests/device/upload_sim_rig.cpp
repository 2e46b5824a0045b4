// The rig of upload_sim_rig.h. Compiled through upload_sim_rig_test.cpp and by
// the upload benchmark; KST_BIN_DIR names the folder of libTolvaneSim.so.
#include "upload_sim_rig.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "device/DeviceLink.h"
#include "device/ServiceLibrary.h"
#include "device/sim/TolvaneSimControl.h"
#include "service_under_test.h"
#include "support/QuietDeviceHost.h"

namespace kst::uploadtest {

namespace {

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::atomic<int> rigCounter{0};

}  // namespace

struct SimKeyboardRig::Impl {
  std::string error;
  std::filesystem::path folder;
  TolvaneApi api;
  TolvaneSimControlFn control = nullptr;
  QuietDeviceHost host;
  std::unique_ptr<DeviceLink> link;
  std::unique_ptr<LinkUploadDevice> device;
};

SimKeyboardRig::SimKeyboardRig(const RigOptions& options) : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.folder = std::filesystem::temp_directory_path() /
             ("kst-upload-" + std::to_string(::getpid()) + "-" + std::to_string(rigCounter++));
  std::filesystem::remove_all(d.folder);
  std::filesystem::create_directories(d.folder);
  setenv("KESTRUNE_SIM_STATE", (d.folder / "keyboard.bin").c_str(), 1);
  setenv("KESTRUNE_SIM_SOCKET", "off", 1);
  setenv("KESTRUNE_SIM_LATENCY_US", std::to_string(options.latencyUs).c_str(), 1);
  if (options.capture.empty()) {
    unsetenv("KESTRUNE_CAPTURE");
  } else {
    setenv("KESTRUNE_CAPTURE", options.capture.c_str(), 1);
  }
  unsetenv("KESTRUNE_SIM_PRESENT");

  ServiceBinding binding = BindServiceLibrary(KST_BIN_DIR, ServiceUnderTest());
  if (!binding.ok) {
    d.error = binding.message;
    return;
  }
  d.api = binding.api;
  const std::string library = std::string(KST_BIN_DIR) + "/" + ServiceUnderTest();
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) {
    d.control = reinterpret_cast<TolvaneSimControlFn>(dlsym(handle, "TolvaneSimControl"));
    dlclose(handle);
  }
  if (!d.control) {
    d.error = "no TolvaneSimControl";
    return;
  }
  Control("reset");
  for (const std::string& command : options.beforeConnect) {
    std::string reply;
    if (Control(command, &reply) != TOLVANE_SIM_OK) {
      d.error = command + ": " + reply;
      return;
    }
  }
  d.link = std::make_unique<DeviceLink>(d.api, d.host);
  if (d.link->ArmChannels() != 1) {
    d.error = "no simulated keyboard present";
    return;
  }
  if (!d.link->WaitUntilIdle(std::chrono::seconds(10))) {
    d.error = "connection worker did not finish";
    return;
  }
  d.device = std::make_unique<LinkUploadDevice>(*d.link);
}

SimKeyboardRig::~SimKeyboardRig() {
  if (impl_->link) impl_->link->Shutdown();
  impl_->link.reset();
  if (impl_->api.End) impl_->api.End();
  std::error_code ec;
  std::filesystem::remove_all(impl_->folder, ec);
}

const std::string& SimKeyboardRig::Error() const { return impl_->error; }

UploadDevice& SimKeyboardRig::Device() { return *impl_->device; }

std::string SimKeyboardRig::Folder() const { return impl_->folder.string(); }

int SimKeyboardRig::Control(const std::string& command, std::string* reply) {
  if (!impl_->control) return TOLVANE_SIM_FAILED;
  std::vector<char> buffer(1 << 17);
  const int result =
      impl_->control(command.c_str(), buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  if (reply) *reply = buffer.data();
  return result;
}

std::vector<std::uint8_t> SimKeyboardRig::Read(const std::string& area) {
  std::string reply;
  if (Control("read " + area, &reply) != TOLVANE_SIM_OK) return {};
  return FromHex(reply);
}

bool SimKeyboardRig::Write(const std::string& area, std::size_t offset,
                           const std::vector<std::uint8_t>& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string hex;
  for (std::uint8_t b : bytes) {
    hex.push_back(digits[b >> 4]);
    hex.push_back(digits[b & 15]);
  }
  return Control("write " + area + " " + std::to_string(offset) + " " + hex) == TOLVANE_SIM_OK;
}

void SimKeyboardRig::ForgetCurrentProfile() {
  if (impl_->link) impl_->link->SetCachedCurrentProfile(-1);
}

}  // namespace kst::uploadtest
