#pragma once

#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <QString>

#include "foundation/IniFile.h"
#include "skin/SkinPictures.h"

class QPainter;

namespace kst {

class PieceCutter;

// The region of the pixels of `mask` that are not transparent. A pixel is
// transparent when each of its red, green and blue bytes lies within
// [key byte, key byte + tolerance] (capped at 255). Rows are walked top to
// bottom; each run of non-transparent pixels in a row is one rectangle.
// key: 0xRRGGBB. An image without such pixels gives an empty region.
QRegion MaskRegion(const QImage& mask, QRgb key, int tolerance);

inline constexpr QRgb kMaskKeyWhite = 0xFFFFFF;

// The common base of the skinned windows: a frameless dialog painted from the
// background picture of its skin INI file ("SCREEN" "Main"), cut to the shape
// of its mask picture ("SCREEN" "Mask", by default the background), dragged
// by its background. Its image buttons (CPngButton children) are painted by
// the window itself, over the background and under its other controls.
class CBaseDialog : public QDialog {
  Q_OBJECT

 public:
  // skinFile: the window's skin INI file; skinFolder: folder of its pictures.
  CBaseDialog(int templateId, QWidget* parent, QString skinFile, QString skinFolder);
  ~CBaseDialog() override;

  int TemplateId() const { return templateId_; }
  QString SkinFileName() const { return skinFile_; }
  QString SkinFolderPath() const { return skinFolder_; }
  const CIniFile& Ini() const { return ini_; }
  bool Loading() const { return loading_; }
  const QPixmap& Background() const { return background_; }
  // The window's pictures, each decoded once. State pictures taken from here
  // share their image with the background when they are the same file, and
  // buttons showing the background then need not draw.
  SkinPictures& Pictures() { return pictures_; }
  const QPixmap& MaskPicture() const { return mask_; }
  // Cuts the pieces of the stand-ins the window gives its image buttons in
  // place of whole pictures; none by default (whole pictures only).
  virtual PieceCutter* ButtonPieceCutter() { return nullptr; }
  // The shape given to the window by its mask; empty when the mask has no
  // opaque pixel (the window then shows nothing).
  const QRegion& SkinRegion() const { return region_; }

  // Runs the dialog initialisation (once per opening), then the modal loop.
  int exec() override;
  // Dialog initialisation: ApplySkin; the windows add their controls.
  // Returns true.
  virtual bool OnInitDialog();
  // Reads the skin, loads the background and the mask (a picture that
  // cannot be loaded ends the process), sizes the window to the background,
  // hides it and sets its shape.
  void ApplySkin();
  // Releases the background and the mask pictures (and the window's picture
  // cache; pictures handed out stay valid where they are held).
  void ReleaseSkin();
  // Drops the mask picture once the window has its shape; the window keeps
  // the shape (SkinRegion).
  void DropMaskPicture();
  // Drops the background picture while the window is not shown; the window
  // keeps its size. TakeBackgroundBack decodes it again (a picture that
  // cannot be loaded ends the process).
  void DropBackground();
  void TakeBackgroundBack();

  // OK: releases the pictures, then closes with Accepted. Cancel keeps them.
  void accept() override;

  // Ends the modal loop with `result` as QDialog::done does (result,
  // accepted/rejected, finished), but only hides the window: its native
  // window is kept for the next opening. Closing it would destroy the native
  // window, and each new one is tied to the same signals again by the
  // toolkit, so every opening would cost a window and leave a connection
  // behind that every later focus change pays for.
  void EndDialog(int result);

 protected:
  // Paints the background, then the image buttons over it.
  void paintEvent(QPaintEvent* event) final;
  // The background under the image buttons: by default the skin's picture.
  virtual void PaintBackground(QPainter& painter);
  void mousePressEvent(QMouseEvent* event) override;
  // The skin's background and mask files ("SCREEN" "Main" and "Mask").
  QString MainFile() const;
  QString MaskFile() const;

 private:
  int templateId_;
  QString skinFile_;
  QString skinFolder_;
  CIniFile ini_;
  SkinPictures pictures_;
  QPixmap background_;
  QPixmap mask_;
  QRegion region_;
  bool loading_ = false;
};

}  // namespace kst
