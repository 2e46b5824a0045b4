#pragma once

// Key events as a Windows keyboard hook reported them. The editors' key
// rules (what is captured, what is recorded, what passes on) are written
// for those messages, so the desktop's key events are turned into them
// first: the same presses give the same rows on every system.

#include <cstdint>
#include <optional>

namespace kst {

// A keyboard message: the virtual key and the lParam word (bits 0-15 repeat
// count, 16-23 set-1 scan code, 24 extended key, 29 context (Alt held),
// 30 previous key state, 31 transition: 1 for a release).
struct KeyMessage {
  std::uint32_t vk = 0;
  std::uint32_t lParam = 0;
  bool Release() const { return (lParam >> 31) & 1u; }
  bool PreviouslyDown() const { return (lParam >> 30) & 1u; }
  // An auto-repeated press: previous-state bit set, transition bit clear.
  bool AutoRepeat() const { return PreviouslyDown() && !Release(); }
  friend bool operator==(const KeyMessage&, const KeyMessage&) = default;
};

inline constexpr std::uint32_t kLParamExtended = 1u << 24;
inline constexpr std::uint32_t kLParamPreviousState = 1u << 30;
inline constexpr std::uint32_t kLParamTransition = 1u << 31;

// What the desktop delivered for one key event (the fields of a QKeyEvent,
// so that this stays free of the widget toolkit).
struct NativeKeyEvent {
  // X11 and Wayland (xkb): the evdev code + 8. 0 when the platform gives
  // none (offscreen); the key is then known by qtKey alone.
  std::uint32_t nativeScanCode = 0;
  // X11 and Wayland: the keysym. 0 when none.
  std::uint32_t nativeVirtualKey = 0;
  int qtKey = 0;        // Qt::Key
  bool keypad = false;  // Qt::KeypadModifier was set
  bool release = false;
  bool autoRepeat = false;
};

// The message a Windows hook would have seen for the event; nullopt for an
// event Windows never shows a hook (the press of Print Screen) and for a key
// that has no scan code there.
std::optional<KeyMessage> KeyMessageFromNativeEvent(const NativeKeyEvent& event);

}  // namespace kst
