#include "skin/DialogLooks.h"

#include <QWidget>

#include "skin/CPngButton.h"
#include "skin/SkinPictures.h"

namespace kst {

void DialogLooks::Release(QWidget& dialog, SkinPictures& pictures, const QStringList& files) {
  std::map<qint64, QPixmap> standIns;
  for (const QString& file : files) {
    if (!pictures.Holds(file) || standIns_.count(file)) continue;
    const std::optional<QPixmap> picture = pictures.Get(file);
    if (!picture) continue;
    QPixmap standIn(1, 1);
    standIn.fill(Qt::transparent);
    standIns.emplace(picture->cacheKey(), standIn);
    standIns_.emplace(file, standIn);
  }
  if (standIns.empty()) return;
  ReplaceButtonPictures(dialog, [&](const QPixmap& picture) -> QPixmap {
    const auto it = standIns.find(picture.cacheKey());
    return it == standIns.end() ? picture : it->second;
  });
}

void DialogLooks::TakeBack(QWidget& dialog, SkinPictures& pictures) {
  if (standIns_.empty()) return;
  std::map<qint64, QPixmap> taken;
  for (const auto& [file, standIn] : standIns_)
    taken.emplace(standIn.cacheKey(), pictures.Required(file));
  standIns_.clear();
  ReplaceButtonPictures(dialog, [&](const QPixmap& picture) -> QPixmap {
    const auto it = taken.find(picture.cacheKey());
    return it == taken.end() ? picture : it->second;
  });
}

}  // namespace kst
