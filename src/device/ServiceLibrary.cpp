#include "device/ServiceLibrary.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace kst {

bool TolvaneApi::Complete() const {
  bool complete = true;
#define KST_TOLVANE_CHECK(name, type) complete = complete && name != nullptr;
  TOLVANE_ENTRY_POINTS(KST_TOLVANE_CHECK)
#undef KST_TOLVANE_CHECK
  return complete;
}

bool SimulatedKeyboardRequested(std::span<const std::string_view> arguments,
                                const char* deviceEnvironment) {
  for (std::string_view a : arguments) {
    if (a == kSimulateOption) return true;
  }
  return deviceEnvironment != nullptr && std::strcmp(deviceEnvironment, "sim") == 0;
}

const char* ServiceLibraryFileName(bool simulated) {
  return simulated ? kSimulatedServiceLibraryName : kServiceLibraryName;
}

ServiceBinding BindServiceLibrary(const std::filesystem::path& programFolder,
                                  std::string_view fileName) {
  ServiceBinding binding;
  const std::filesystem::path path = programFolder / std::filesystem::path(fileName);
  // Never closed: the entry points and the library's threads live as long as
  // the process.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    binding.message = "cannot load the keyboard service library " + path.string();
    if (why != nullptr) binding.message += std::string(": ") + why;
    return binding;
  }
  TolvaneApi api;
#define KST_TOLVANE_RESOLVE(name, type)                                                   \
  if (binding.message.empty()) {                                                          \
    api.name = reinterpret_cast<type>(dlsym(handle, #name));                              \
    if (api.name == nullptr) {                                                            \
      binding.message =                                                                   \
          "the keyboard service library " + path.string() + " has no entry point " #name; \
    }                                                                                     \
  }
  TOLVANE_ENTRY_POINTS(KST_TOLVANE_RESOLVE)
#undef KST_TOLVANE_RESOLVE
  if (!binding.message.empty()) return binding;
  api.NodeStates = reinterpret_cast<TolvaneNodeStatesFn>(dlsym(handle, TOLVANE_NODE_STATES_NAME));
  const int init = api.Init(0);
  if (init <= 0) {
    binding.message = "the keyboard service library " + path.string() +
                      " did not start (Init gave " + std::to_string(init) + ")";
    return binding;
  }
  binding.ok = true;
  binding.api = api;
  return binding;
}

TolvaneApi BindServiceLibraryOrExit(const std::filesystem::path& programFolder,
                                    std::string_view fileName) {
  ServiceBinding binding = BindServiceLibrary(programFolder, fileName);
  if (!binding.ok) {
    std::fprintf(stderr, "kestrune: %s\n", binding.message.c_str());
    std::fflush(stderr);
    std::exit(0);
  }
  return binding.api;
}

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path();
}

}  // namespace kst
