#include "mainwindow/WindowLooks.h"

#include <QWidget>

#include <array>

#include "mainwindow/KeyboardView.h"
#include "skin/CPngButton.h"
#include "skin/SkinKeys.h"
#include "skin/SkinPictures.h"

namespace kst {

void ReplaceWindowLooks(QWidget& window, KeyboardView* view, const LookReplacer& replaced) {
  for (CPngButton* button : window.findChildren<CPngButton*>()) {
    using Look = CPngButton::Look;
    std::array<QPixmap, 5> looks;
    bool changed = false;
    for (const Look look :
         {Look::Normal, Look::Hover, Look::Pressed, Look::Disabled, Look::Selected}) {
      const QPixmap& before = button->Picture(look);
      QPixmap& after = looks[static_cast<std::size_t>(look)];
      after = before.isNull() ? before : replaced(before);
      changed = changed || after.cacheKey() != before.cacheKey();
    }
    if (!changed) continue;
    button->SetStatePictures(looks[0], looks[1], looks[2], looks[3], looks[4], false);
    button->update();
  }
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

QStringList ReleasableSurfaces() {
  QStringList files = PictureSetFiles(kMainPictureSet);
  files << QString::fromLatin1(kMainGreyPicture);
  for (const QString& file : PictureSetFiles(kMainFlipPictureSet)) {
    if (!files.contains(file)) files << file;
  }
  return files;
}

WindowLooks::WindowLooks(SkinPictures& pictures, std::function<void(const LookReplacer&)> replace)
    : pictures_(pictures), replace_(std::move(replace)) {}

bool WindowLooks::Release(const QStringList& files) {
  std::map<qint64, QPixmap> standIns;
  for (const QString& file : files) {
    if (released_.count(file)) continue;
    const std::optional<QPixmap> surface = pictures_.HeldSurface(file);
    if (!surface) continue;
    QPixmap standIn(1, 1);
    standIn.fill(Qt::transparent);
    standIns.emplace(surface->cacheKey(), standIn);
    released_.emplace(file, standIn);
    pictures_.DropSurface(file);
  }
  if (standIns.empty()) return false;
  replace_([&](const QPixmap& picture) -> QPixmap {
    const auto it = standIns.find(picture.cacheKey());
    return it == standIns.end() ? picture : it->second;
  });
  return true;
}

void WindowLooks::TakeBack(QSize client) {
  if (released_.empty()) return;
  std::map<qint64, QPixmap> surfaces;
  for (const auto& [file, standIn] : released_)
    surfaces.emplace(standIn.cacheKey(), pictures_.Surface(file, client));
  released_.clear();
  replace_([&](const QPixmap& picture) -> QPixmap {
    const auto it = surfaces.find(picture.cacheKey());
    return it == surfaces.end() ? picture : it->second;
  });
}

}  // namespace kst
