#include "editors/KeyboardHook.h"

#include <QCoreApplication>
#include <QKeyEvent>

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

KeyboardHook::~KeyboardHook() { Remove(); }

void KeyboardHook::Install(Handler lowLevel, Handler thread) {
  lowLevel_ = std::move(lowLevel);
  thread_ = std::move(thread);
  if (installed_) return;
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
  installed_ = true;
}

void KeyboardHook::Remove() {
  if (!installed_) return;
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
  installed_ = false;
  lowLevel_ = {};
  thread_ = {};
  delivering_.reset();
  shortcutCheck_.reset();
  held_.reset();
}

std::int64_t KeyboardHook::Now() const {
  if (clock_) return clock_();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool KeyboardHook::Delivery::SameKeyEvent(const Delivery& other) const {
  return nativeScanCode == other.nativeScanCode && nativeVirtualKey == other.nativeVirtualKey &&
         qtKey == other.qtKey && modifiers == other.modifiers && autoRepeat == other.autoRepeat &&
         timestamp == other.timestamp;
}

KeyboardHook::Verdict KeyboardHook::Offer(const NativeKeyEvent& event) {
  const std::optional<KeyMessage> message = KeyMessageFromNativeEvent(event);
  if (!message) {
    NativeKeyEvent plain = event;
    plain.release = true;
    plain.autoRepeat = false;
    // A key Windows has no message for passes, as one whose KeyIndex is 0.
    if (!KeyMessageFromNativeEvent(plain)) return Verdict::Pass;
    // The release X11 and Wayland put before each repeated press goes where
    // the held key's presses go.
    if (event.release) {
      const bool sameKey =
          held_ && held_->nativeScanCode == event.nativeScanCode && held_->qtKey == event.qtKey;
      return sameKey ? heldVerdict_ : Verdict::Swallow;
    }
    // A press Windows never showed (Print Screen): no handler sees it, and
    // nothing else may act on it while the hook is in place.
    held_ = event;
    heldVerdict_ = Verdict::Swallow;
    return Verdict::Swallow;
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
  if (!event.release) {
    held_ = event;
    heldVerdict_ = verdict;
  }
  return verdict;
}

bool KeyboardHook::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) {
    return QObject::eventFilter(watched, event);
  }
  auto* key = static_cast<QKeyEvent*>(event);
  Delivery delivery;
  delivery.event = event;
  delivery.type = type;
  delivery.nativeScanCode = key->nativeScanCode();
  delivery.nativeVirtualKey = key->nativeVirtualKey();
  delivery.qtKey = key->key();
  delivery.modifiers = static_cast<int>(key->modifiers());
  delivery.autoRepeat = key->isAutoRepeat();
  delivery.timestamp = key->timestamp();

  Verdict verdict = Verdict::Pass;
  if (delivering_ && delivering_->delivery.event == event && delivering_->delivery.type == type &&
      delivering_->delivery.SameKeyEvent(delivery)) {
    // Handed on to the focus widget or propagated to a parent: decided.
    verdict = delivering_->verdict;
  } else if (type == QEvent::ShortcutOverride) {
    verdict = Offer(NativeOf(*key));
    shortcutCheck_ = Decision{delivery, verdict};
    delivering_ = Decision{delivery, verdict};
  } else {
    if (type == QEvent::KeyPress && shortcutCheck_ &&
        shortcutCheck_->delivery.SameKeyEvent(delivery)) {
      verdict = shortcutCheck_->verdict;
    } else {
      verdict = Offer(NativeOf(*key));
    }
    shortcutCheck_.reset();
    delivering_ = Decision{delivery, verdict};
  }
  if (verdict == Verdict::Pass) return false;
  // Accepted, so that neither propagation nor the shortcut map takes it up.
  key->accept();
  return true;
}

}  // namespace kst
