#pragma once

// Binding of the keyboard's service library: which library the program uses,
// loading it from the program folder, resolving the twelve entry points in
// order and calling Init(0). A loaded library is never unloaded, so the entry
// points stay valid for the life of the process.

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "device/TolvaneApi.h"

namespace kst {

// The twelve entry points of one loaded service library.
struct TolvaneApi {
#define KST_TOLVANE_MEMBER(name, type) type name = nullptr;
  TOLVANE_ENTRY_POINTS(KST_TOLVANE_MEMBER)
#undef KST_TOLVANE_MEMBER
  // Optional: null when the library does not tell which nodes open.
  TolvaneNodeStatesFn NodeStates = nullptr;

  // True when every entry point is resolved.
  bool Complete() const;
};

inline constexpr const char* kServiceLibraryName = "libTolvane.so";
inline constexpr const char* kSimulatedServiceLibraryName = "libTolvaneSim.so";
inline constexpr const char* kSimulateOption = "--simulate";
inline constexpr const char* kDeviceEnvironment = "KESTRUNE_DEVICE";  // "sim" = simulated

// The simulated keyboard is chosen by "--simulate" among the arguments or by
// KESTRUNE_DEVICE=sim (deviceEnvironment: the variable's value, null when unset).
bool SimulatedKeyboardRequested(std::span<const std::string_view> arguments,
                                const char* deviceEnvironment);
const char* ServiceLibraryFileName(bool simulated);

struct ServiceBinding {
  bool ok = false;
  std::string message;  // one line naming what was missing; empty when ok
  TolvaneApi api;       // complete when ok
};

// Loads programFolder/fileName, resolves the entry points in their fixed
// order (and the optional TolvaneNodeStates) and calls Init(0). Fails on the first missing piece:
// the library, an entry point (by name) or an Init result of 0 or less.
ServiceBinding BindServiceLibrary(const std::filesystem::path& programFolder,
                                  std::string_view fileName);

// BindServiceLibrary, or, on failure, one line on stderr and exit code 0.
TolvaneApi BindServiceLibraryOrExit(const std::filesystem::path& programFolder,
                                    std::string_view fileName);

// Folder of the running executable (/proc/self/exe); empty when unknown.
std::filesystem::path ExecutableFolder();

}  // namespace kst
