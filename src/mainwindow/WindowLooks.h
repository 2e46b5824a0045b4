#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

#include "skin/CPngButton.h"
#include "skin/PieceArena.h"

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

// The main window's full-window state pictures, which its image buttons and
// keyboard view hold only as stand-ins (one 1x1 pixmap per file): each
// button keeps the piece under it of each look (PieceCutter), so the window
// keeps no whole state picture once its buttons have their pieces. A hidden
// window gives up the pieces too and cuts them again on show.
class WindowLooks : public PieceCutter {
 public:
  // The pictures are made for a client area of the window's size.
  WindowLooks(QWidget& window, SkinPictures& pictures);

  // The stand-in of the state picture `file`, the same for every call.
  QPixmap StandIn(const QString& file);
  // The file `standIn` stands for; empty when it is none of this window's.
  QString FileOf(const QPixmap& standIn) const;
  // The look of `file` is the window's background, which the shown window
  // keeps whole: its pieces share the background's pixels (ViewPiece)
  // instead of copies.
  void SetBackgroundFile(QString file) { backgroundFile_ = std::move(file); }

  bool StandsIn(const QPixmap& picture) const override;
  // Takes the decoded picture of the stand-in's file (decoding it when it is
  // not held, ending the process when it cannot be) and keeps it until the
  // window's thread is next idle, so that the buttons laid out meanwhile
  // share one decode; the piece's pixels go to the window's piece arena.
  // Holds off while released.
  std::optional<QPixmap> Cut(const QPixmap& standIn, const QRect& area) override;

  // Whether the pieces are released (while hidden).
  bool Released() const { return released_; }
  // Every button of the window forgets its pieces and the pictures held for
  // cutting go.
  void Release();
  // Every button cuts its pieces again; the pictures this takes go once the
  // window's thread is idle.
  void TakeBack();
  // Drops the decoded pictures of the stand-ins' files that are held now.
  void DropPictures();

 private:
  QWidget& window_;
  SkinPictures& pictures_;
  std::map<QString, QPixmap> standIns_;  // by file
  std::map<qint64, QString> files_;      // by the stand-in's cache key
  PieceArena pieces_;                    // the pixels of the buttons' pieces
  QString backgroundFile_;
  bool dropPending_ = false;
  bool released_ = false;
};

}  // namespace kst
