#include "editors/KeyboardHook.h"

#include <QApplication>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

#include <chrono>

namespace kst {

namespace {

NativeKeyEvent NativeOf(const QKeyEvent& key) {
  NativeKeyEvent native;
  native.nativeScanCode = key.nativeScanCode();
  native.nativeVirtualKey = key.nativeVirtualKey();
  native.qtKey = key.key();
  native.keypad = key.modifiers().testFlag(Qt::KeypadModifier);
  native.release = key.type() == QEvent::KeyRelease;
  native.autoRepeat = key.isAutoRepeat();
  return native;
}

}  // namespace

KeyboardHook::KeyboardHook(Clock clock, QObject* parent)
    : QObject(parent), clock_(std::move(clock)) {}

KeyboardHook::~KeyboardHook() { StopFiltering(); }

void KeyboardHook::Install(Handler lowLevel, Handler thread) {
  lowLevel_ = std::move(lowLevel);
  thread_ = std::move(thread);
  installed_ = true;
  if (filtering_) return;
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
  filtering_ = true;
}

void KeyboardHook::Remove() {
  if (!installed_) return;
  installed_ = false;
  lowLevel_ = {};
  thread_ = {};
  held_.clear();
  if (deciding_) return;
  // A press swallowed at its shortcut check is on its way; Qt delivers it
  // because the check was taken up, so it must still be swallowed.
  if (shortcutCheck_ && shortcutCheck_->verdict == Verdict::Swallow) return;
  StopFiltering();
}

void KeyboardHook::StopFiltering() {
  if (filtering_) {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
  }
  filtering_ = false;
  current_.reset();
  shortcutCheck_.reset();
}

std::int64_t KeyboardHook::Now() const {
  if (clock_) return clock_();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool KeyboardHook::Delivery::SameKeyEvent(const Delivery& other) const {
  const auto agree = [](std::uint32_t a, std::uint32_t b) { return a == b || a == 0 || b == 0; };
  return agree(nativeScanCode, other.nativeScanCode) &&
         agree(nativeVirtualKey, other.nativeVirtualKey) && qtKey == other.qtKey &&
         modifiers == other.modifiers && autoRepeat == other.autoRepeat &&
         timestamp == other.timestamp;
}

KeyboardHook::Verdict KeyboardHook::Offer(const NativeKeyEvent& event) {
  constexpr std::uint32_t kScanBits = 0x01FF0000;
  const std::uint64_t id = event.nativeScanCode != 0
                               ? event.nativeScanCode
                               : (std::uint64_t{1} << 32) | static_cast<std::uint32_t>(event.qtKey);
  std::optional<KeyMessage> message = KeyMessageFromNativeEvent(event);
  if (!message) {
    NativeKeyEvent plain = event;
    plain.release = true;
    plain.autoRepeat = false;
    const std::optional<KeyMessage> released = KeyMessageFromNativeEvent(plain);
    // A key Windows has no message for passes, as one whose KeyIndex is 0.
    if (!released) return Verdict::Pass;
    // The release X11 and Wayland put before each repeated press goes where
    // the held key's presses go.
    if (event.release) {
      const auto it = held_.find(id);
      return it != held_.end() ? it->second.verdict : Verdict::Swallow;
    }
    // A press Windows never showed (Print Screen): no handler sees it, and
    // nothing else may act on it while the hook is in place.
    held_[id] = Held{released->vk, released->lParam & kScanBits, Verdict::Swallow};
    return Verdict::Swallow;
  }
  if (event.release) {
    if (const auto it = held_.find(id); it != held_.end()) {
      message->vk = it->second.vk;
      message->lParam = (message->lParam & ~kScanBits) | it->second.scanBits;
      held_.erase(it);
    }
  }
  Event hooked;
  hooked.message = *message;
  hooked.key = KeyIndexFromKeyMessage(message->vk, message->lParam);
  hooked.timeMs = Now();
  // Copies: a handler may install other handlers or remove the hook.
  const Handler lowLevel = lowLevel_;
  const Handler thread = thread_;
  Verdict verdict = Verdict::Pass;
  if (lowLevel && lowLevel(hooked) == Verdict::Swallow) {
    verdict = Verdict::Swallow;
  } else if (thread && thread(hooked) == Verdict::Swallow) {
    verdict = Verdict::Swallow;
  }
  if (!event.release && installed_) {
    held_[id] = Held{message->vk, message->lParam & kScanBits, verdict};
  }
  return verdict;
}

bool KeyboardHook::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) {
    return QObject::eventFilter(watched, event);
  }
  auto* key = static_cast<QKeyEvent*>(event);
  // A popup (the tray icon's menu, a drop-down list) has the keyboard for
  // itself: its keys choose in it and are neither captured nor recorded,
  // nor are their releases, which come once the popup has closed.
  const std::uint64_t id = key->nativeScanCode() != 0
                               ? key->nativeScanCode()
                               : (std::uint64_t{1} << 32) | static_cast<std::uint32_t>(key->key());
  if (QApplication::activePopupWidget()) {
    if (type == QEvent::KeyPress) popupKeys_.insert(id);
    return QObject::eventFilter(watched, event);
  }
  if (type == QEvent::KeyRelease && !key->isAutoRepeat() && popupKeys_.erase(id) > 0) {
    return QObject::eventFilter(watched, event);
  }
  if (Decide(watched, *key) == Verdict::Pass) return false;
  // Accepted, so that neither propagation nor the shortcut map takes it up.
  key->accept();
  return true;
}

KeyboardHook::Verdict KeyboardHook::Decide(QObject* watched, const QKeyEvent& key) {
  Delivery delivery;
  delivery.event = &key;
  delivery.type = key.type();
  delivery.nativeScanCode = key.nativeScanCode();
  delivery.nativeVirtualKey = key.nativeVirtualKey();
  delivery.qtKey = key.key();
  delivery.modifiers = static_cast<int>(key.modifiers());
  delivery.autoRepeat = key.isAutoRepeat();
  delivery.timestamp = key.timestamp();

  if (!installed_) {
    // Removed while a swallowed press was on its way: swallow that press,
    // then step aside.
    const bool awaited = delivery.type == QEvent::KeyPress && shortcutCheck_ &&
                         shortcutCheck_->delivery.SameKeyEvent(delivery);
    StopFiltering();
    return awaited ? Verdict::Swallow : Verdict::Pass;
  }

  // A handler may run a nested event loop that brings further key events.
  const bool outermost = !deciding_;
  deciding_ = true;
  const Verdict verdict = DecideInstalled(delivery, watched, key);
  deciding_ = !outermost;
  // A handler removed the hook.
  if (outermost && !installed_ &&
      !(shortcutCheck_ && shortcutCheck_->verdict == Verdict::Swallow)) {
    StopFiltering();
  }
  return verdict;
}

KeyboardHook::Verdict KeyboardHook::DecideInstalled(const Delivery& delivery, QObject* watched,
                                                    const QKeyEvent& key) {
  const bool atWindow = watched->isWindowType();
  const QWidget* widget = watched->isWidgetType() ? static_cast<QWidget*>(watched) : nullptr;
  const QObject* parent = widget ? widget->parentWidget() : nullptr;

  // The event handed on: from a window to its focus widget (or a popup's),
  // or from a widget that left it unhandled to the widget's parent. A
  // swallowed event goes no further.
  if (current_ && current_->verdict == Verdict::Pass && current_->delivery.event == &key &&
      current_->delivery.type == delivery.type && current_->delivery.SameKeyEvent(delivery) &&
      ((current_->atWindow && widget != nullptr) ||
       (current_->parent != nullptr && current_->parent == watched))) {
    current_->atWindow = false;
    current_->parent = parent;
    return current_->verdict;
  }

  Verdict verdict = Verdict::Pass;
  if (delivery.type == QEvent::ShortcutOverride) {
    // A press handed on from its window without the window system's mark
    // gets a shortcut check on its way to the widget; it was decided at
    // the window.
    if (current_ && current_->atWindow && current_->delivery.type == QEvent::KeyPress &&
        current_->delivery.SameKeyEvent(delivery)) {
      verdict = current_->verdict;
    } else {
      verdict = Offer(NativeOf(key));
    }
    shortcutCheck_ = Decision{delivery, verdict, false, nullptr};
  } else {
    if (delivery.type == QEvent::KeyPress && shortcutCheck_ &&
        shortcutCheck_->delivery.SameKeyEvent(delivery)) {
      verdict = shortcutCheck_->verdict;
    } else {
      verdict = Offer(NativeOf(key));
    }
    shortcutCheck_.reset();
  }
  current_ = Decision{delivery, verdict, atWindow, parent};
  return verdict;
}

}  // namespace kst
