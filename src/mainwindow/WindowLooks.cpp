#include "mainwindow/WindowLooks.h"

#include <QTimer>
#include <QWidget>

#include "mainwindow/KeyboardView.h"
#include "skin/CPngButton.h"
#include "skin/SkinPictures.h"

namespace kst {

void ReplaceWindowLooks(QWidget& window, KeyboardView* view, const LookReplacer& replaced) {
  ReplaceButtonPictures(window, replaced);
  if (!view) return;
  auto swap = [&](QPixmap& picture) {
    if (!picture.isNull()) picture = replaced(picture);
  };
  KeyboardPictures pictures = view->Pictures();
  for (QPixmap* p : {&pictures.normal, &pictures.over, &pictures.down, &pictures.disable,
                     &pictures.grey, &pictures.arrow})
    swap(*p);
  view->SetPictures(pictures);
  FlipPictures flip = view->HeldFlipPictures();
  for (QPixmap* p : {&flip.normal, &flip.over, &flip.down}) swap(*p);
  view->SetFlipPictures(flip);
}

WindowLooks::WindowLooks(QWidget& window, SkinPictures& pictures)
    : window_(window), pictures_(pictures) {}

QPixmap WindowLooks::StandIn(const QString& file) {
  const auto it = standIns_.find(file);
  if (it != standIns_.end()) return it->second;
  const QPixmap standIn = NewStandIn();
  standIns_.emplace(file, standIn);
  files_.emplace(standIn.cacheKey(), file);
  return standIn;
}

QString WindowLooks::FileOf(const QPixmap& standIn) const {
  const auto it = files_.find(standIn.cacheKey());
  return it == files_.end() ? QString() : it->second;
}

bool WindowLooks::StandsIn(const QPixmap& picture) const {
  return !picture.isNull() && files_.count(picture.cacheKey()) > 0;
}

std::optional<QPixmap> WindowLooks::Cut(const QPixmap& standIn, const QRect& area) {
  const QString file = FileOf(standIn);
  if (released_ || file.isEmpty()) return std::nullopt;
  const QPixmap picture = pictures_.Required(file);
  if (!dropPending_) {
    dropPending_ = true;
    QTimer::singleShot(0, &window_, [this] { DropPictures(); });
  }
  if (file == backgroundFile_) return ViewPiece(picture, area);
  return CutPiece(picture, area, &pieces_);
}

void WindowLooks::DropPictures() {
  dropPending_ = false;
  bool dropped = false;
  for (const auto& [file, standIn] : standIns_) {
    if (!pictures_.Holds(file)) continue;
    pictures_.Drop(file);
    dropped = true;
  }
  // The freed pixels go back to the system, not only to the allocator.
  if (dropped) ReturnFreedMemory();
}

void WindowLooks::Release() {
  released_ = true;
  for (CPngButton* button : window_.findChildren<CPngButton*>()) button->DropPieces();
  // The pieces' blocks go with the pieces.
  pieces_.StartNewBlock();
  DropPictures();
}

void WindowLooks::TakeBack() {
  released_ = false;
  for (CPngButton* button : window_.findChildren<CPngButton*>()) button->CutPieces();
}

}  // namespace kst
