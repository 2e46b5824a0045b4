#pragma once

// Stands in for the two Windows keyboard hooks the editors install while a
// key is captured or a macro recorded: an application-wide event filter,
// installed only while one of them is active. Every key event that reaches
// the program is turned into the Windows message (KeyMessages.h) and offered
// first to the low-level handler, then, unless that one swallowed it, to the
// thread handler; a swallowed event (press, release, and the shortcut
// check that precedes a press) reaches no widget. Each key event is offered
// once, however many widgets Qt hands it to. Events that Windows hid from
// its hooks (the Print Screen press, the release X11 and Wayland put before
// each repeated press) reach neither handler: the Print Screen press is
// swallowed while the hook is installed, so it starts no shortcut either,
// and a repeat's release goes where the held key's presses went. Keys that
// Windows has no message for pass untouched, as keys whose KeyIndex is 0.
// User-interface thread only.

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "foundation/KeyCodeTable.h"
#include "platform/KeyMessages.h"

class QKeyEvent;

namespace kst {

class KeyboardHook : public QObject {
  Q_OBJECT

 public:
  enum class Verdict { Pass, Swallow };
  // One key event as the handlers see it. key is KeyIndexFromKeyMessage of
  // the message (0 for a key the table does not hold); timeMs is the hook's
  // clock at the moment the event arrived.
  struct Event {
    KeyMessage message;
    KeyIndex key = 0;
    std::int64_t timeMs = 0;
  };
  using Handler = std::function<Verdict(const Event& event)>;
  // Milliseconds of a steady clock.
  using Clock = std::function<std::int64_t()>;

  // clock: unset for the system's steady clock.
  explicit KeyboardHook(Clock clock = {}, QObject* parent = nullptr);
  ~KeyboardHook() override;

  // Installs the filter on the application with the two handlers (either
  // may be unset: it passes everything). Installing again replaces them.
  void Install(Handler lowLevel, Handler thread);
  // Removes the filter; nothing when not installed.
  void Remove();
  bool Installed() const { return installed_; }
  std::int64_t Now() const;

  // Runs one event through the handlers as the filter does, for tests and
  // for the filter itself. Swallow when a handler swallowed it.
  Verdict Offer(const NativeKeyEvent& event);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // One delivery of a key event. Qt hands the same event object to the
  // window, then to the focus widget and up its parents; before a press it
  // sends a shortcut check (ShortcutOverride) with the same fields.
  struct Delivery {
    const QEvent* event = nullptr;
    int type = 0;
    std::uint32_t nativeScanCode = 0;
    std::uint32_t nativeVirtualKey = 0;
    int qtKey = 0;
    int modifiers = 0;
    bool autoRepeat = false;
    std::uint64_t timestamp = 0;
    // The same key event, whatever its type and object. A shortcut check
    // made from a synthetic press carries no native codes.
    bool SameKeyEvent(const Delivery& other) const;
  };
  struct Decision {
    Delivery delivery;
    Verdict verdict = Verdict::Pass;
    // Where the event may go next without being a new one: the forward from
    // a window to its focus widget, or the parent of the widget it was at.
    bool atWindow = false;
    const QObject* parent = nullptr;
  };
  Verdict Decide(QObject* watched, const QKeyEvent& key);
  Verdict DecideInstalled(const Delivery& delivery, QObject* watched, const QKeyEvent& key);
  // Takes the filter out of the application's list.
  void StopFiltering();

  Clock clock_;
  Handler lowLevel_;
  Handler thread_;
  bool installed_ = false;
  // The filter is in the application's list. It stays there after Remove
  // while a press already swallowed at its shortcut check is still to come.
  bool filtering_ = false;
  // The filter is deciding on an event; Remove leaves the rest to it.
  bool deciding_ = false;
  // The last delivery seen and its verdict.
  std::optional<Decision> current_;
  // The verdict on a press taken at its shortcut check, for the press.
  std::optional<Decision> shortcutCheck_;
  // The keys held down, by native scan code (or Qt key): the message their
  // press gave and its verdict. A keyboard sends a key's release as the code
  // of its press, whatever was let go in between (Ctrl+Pause is Break, Alt+
  // Print is Sys Req, down and up); the desktop reports the release by the
  // modifiers of the moment, so the release takes the press's codes.
  struct Held {
    std::uint32_t vk = 0;
    std::uint32_t scanBits = 0;  // lParam bits 16-24
    Verdict verdict = Verdict::Pass;
  };
  std::map<std::uint64_t, Held> held_;
  // Keys pressed while a popup had the keyboard, whose releases are the
  // popup's too.
  std::set<std::uint64_t> popupKeys_;
};

}  // namespace kst
