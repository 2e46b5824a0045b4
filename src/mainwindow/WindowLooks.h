#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>

class QWidget;

namespace kst {

class KeyboardView;
class SkinPictures;

// Maps each picture a window's controls hold to the one to hold instead.
using LookReplacer = std::function<QPixmap(const QPixmap&)>;

// Gives every image button of `window`, and the keyboard view with its Flip
// looks when there is one, `replaced(p)` in place of each of their pictures p
// (null pictures stay null). Buttons whose pictures change are repainted.
void ReplaceWindowLooks(QWidget& window, KeyboardView* view, const LookReplacer& replaced);

// The full-window surfaces of the main window that it can give up while
// hidden: the state pictures, the grey one and the Flip set.
QStringList ReleasableSurfaces();

// The full-window surfaces a hidden window gives up and takes back on show.
// Each held surface is swapped, wherever the window's controls hold it, for
// a 1x1 stand-in of its own and dropped from the window's pictures; taking
// back makes the surfaces again and swaps the stand-ins back.
class WindowLooks {
 public:
  // `replace` swaps pictures across the window's controls (ReplaceWindowLooks).
  WindowLooks(SkinPictures& pictures, std::function<void(const LookReplacer&)> replace);

  // Whether surfaces are released.
  bool Released() const { return !released_.empty(); }
  // Releases the surfaces of `files` that are held; true when any was.
  bool Release(const QStringList& files);
  // Takes the released surfaces back, made for a client area of `client`.
  void TakeBack(QSize client);

 private:
  SkinPictures& pictures_;
  std::function<void(const LookReplacer&)> replace_;
  std::map<QString, QPixmap> released_;  // stand-ins by file
};

}  // namespace kst
