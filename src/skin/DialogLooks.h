#pragma once

#include <QPixmap>
#include <QString>
#include <QStringList>

#include <map>

class QWidget;

namespace kst {

class SkinPictures;

// The pictures of a dialog's image buttons while the dialog is closed: each
// button keeps a 1x1 stand-in of each picture's file instead, so that a
// dialog kept for its next opening holds no picture in between; the opening
// gives the buttons the pictures again.
class DialogLooks {
 public:
  // Swaps each picture of `files` that `pictures` holds now, on every image
  // button of `dialog`, for the stand-in of its file. The dialog drops its
  // own copies and `pictures` after this.
  void Release(QWidget& dialog, SkinPictures& pictures, const QStringList& files);
  // Swaps the stand-ins back for the pictures of their files, taken from
  // `pictures` (decoded again; a picture that cannot be loaded ends the
  // process, as at the first opening).
  void TakeBack(QWidget& dialog, SkinPictures& pictures);
  bool Released() const { return !standIns_.empty(); }

 private:
  std::map<QString, QPixmap> standIns_;  // by file
};

}  // namespace kst
