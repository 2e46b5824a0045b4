#pragma once

// What the device link does to the main window, as an interface the main
// window implements. The link calls it from its workers and from the service
// library's thread, never from the window's own thread unless a test does;
// an implementation marshals every call to the window's thread.

#include <cstdint>

namespace kst {

// Custom window messages the link sends or posts, with their wParam values.
inline constexpr std::uint32_t UM_OPEN = 0x5350;
inline constexpr std::uintptr_t kOpenWParam = 0x4F50454E;     // 'OPEN'
inline constexpr std::uintptr_t kVersionWParam = 0x00564552;  // 'VER', keyboard connected
inline constexpr std::uint32_t UM_PROFILE = 0x5452;
inline constexpr std::uintptr_t kProfileWParam = 0x50524F46;  // 'PROF'
inline constexpr std::uint32_t UM_GKEYS = 0x5045;
inline constexpr std::uintptr_t kGKeysWParam = 0x004C4544;  // 'LED'
inline constexpr std::uint32_t UM_DEVICE_GONE = 0x4753;

// Timers of the main window the keyboard's notifications start.
inline constexpr std::uint32_t kTimerFollowProfile = 1051;     // keyboard switched profile
inline constexpr std::uint32_t kTimerReloadAfterReset = 1053;  // keyboard reset itself

// Tray icon resources.
inline constexpr int kTrayIconDisconnected = 128;
inline constexpr int kTrayIconConnected = 141;
inline constexpr int kTrayIconActivity = 142;

// Text shown when the keyboard's factory key map cannot be read.
inline constexpr const char* kDefaultPromptTextKey = "IDS_MIAN_DEFAULT_PROMPT";

class DeviceHost {
 public:
  virtual ~DeviceHost() = default;

  // Runs the message's handler on the window's thread and returns its
  // result; the calling thread waits until it has run.
  virtual std::intptr_t SendToWindow(std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) = 0;
  // Queues the message for the window's thread and returns at once.
  virtual void PostToWindow(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  // Starts (or restarts) the window's timer; returns at once.
  virtual void StartWindowTimer(std::uint32_t timerId, std::uint32_t periodMs) = 0;

  // Tray picture: connected (141) or not (128), remembered as the base picture.
  virtual void ShowConnectionIcon(bool connected) = 0;
  // Tray picture: activity (142) when on, the remembered base picture when off.
  virtual void ShowActivityIcon(bool on) = 0;

  // Shows the text looked up by key to the user; may wait until it was read.
  virtual void ShowTextPrompt(const char* textKey) = 0;
  // Hides the main window; the calling thread waits until it is hidden.
  virtual void HideWindow() = 0;
  // True once the window has finished its initialisation; callable from any thread.
  virtual bool IsWindowInitialised() const = 0;
};

}  // namespace kst
