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
}

std::int64_t KeyboardHook::Now() const {
  if (clock_) return clock_();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

KeyboardHook::Verdict KeyboardHook::Offer(const NativeKeyEvent& event) {
  const std::optional<KeyMessage> message = KeyMessageFromNativeEvent(event);
  if (!message) return Verdict::Swallow;
  Event hooked;
  hooked.message = *message;
  hooked.key = KeyIndexFromKeyMessage(message->vk, message->lParam);
  hooked.timeMs = Now();
  // Copies: a handler may install other handlers or remove the hook.
  const Handler lowLevel = lowLevel_;
  const Handler thread = thread_;
  if (lowLevel && lowLevel(hooked) == Verdict::Swallow) return Verdict::Swallow;
  if (thread && thread(hooked) == Verdict::Swallow) return Verdict::Swallow;
  return Verdict::Pass;
}

bool KeyboardHook::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease) {
    return QObject::eventFilter(watched, event);
  }
  auto* key = static_cast<QKeyEvent*>(event);
  if (Offer(NativeOf(*key)) == Verdict::Pass) return false;
  key->accept();
  return true;
}

}  // namespace kst
