#pragma once
// Keys as the desktop delivers them, for the tests of keyboard use.

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <string>
#include <vector>

namespace kst::test {

// A press and a release of `key` sent to `target` (by default the widget
// with the keyboard focus), then the events they caused. False when there is
// no widget to send to.
inline bool PressKey(int key, QWidget* target = nullptr, bool autoRepeat = false) {
  if (!target) target = QApplication::focusWidget();
  if (!target) return false;
  const QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QString();
  for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
    QKeyEvent event(type, key, Qt::NoModifier, text, autoRepeat);
    QApplication::sendEvent(target, &event);
  }
  QApplication::processEvents();
  return true;
}

// The object names `key` (Tab or Backtab) gives the focus to, from the
// widget that has it until the focus comes back there (at most 100 steps).
// A focused widget inside one of the window's controls (the edit line of a
// list box, the inside of a list) counts as that control.
inline std::vector<std::string> TabWalk(QWidget& window, int key = Qt::Key_Tab) {
  std::vector<std::string> names;
  QWidget* start = nullptr;
  for (int step = 0; step < 100; ++step) {
    QWidget* now = QApplication::focusWidget();
    while (now && now->parentWidget() && now->parentWidget() != &window) now = now->parentWidget();
    if (!now) break;
    if (!start)
      start = now;
    else if (now == start)
      break;
    names.push_back(now->objectName().toStdString());
    PressKey(key);
  }
  return names;
}

}  // namespace kst::test
