#pragma once

// The window's side of a device link that shows nothing: for whatever talks
// to the keyboard without a window (the diagnosis, tests, benchmarks).

#include "device/DeviceHost.h"

namespace kst {

class QuietDeviceHost : public DeviceHost {
 public:
  std::intptr_t SendToWindow(std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }
  void PostToWindow(std::uint32_t, std::uintptr_t, std::intptr_t) override {}
  void StartWindowTimer(std::uint32_t, std::uint32_t) override {}
  void ShowConnectionIcon(bool) override {}
  void ShowActivityIcon(bool) override {}
  void ShowTextPrompt(const char*) override {}
  void HideWindow() override {}
  bool IsWindowInitialised() const override { return true; }
};

}  // namespace kst
