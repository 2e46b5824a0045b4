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
    const QPixmap standIn = NewStandIn();
    standIns.emplace(picture->cacheKey(), standIn);
    standIns_.emplace(file, standIn);
  }
  if (!standIns.empty()) ReplaceButtonPictures(dialog, standIns);
}

void DialogLooks::TakeBack(QWidget& dialog, SkinPictures& pictures) {
  if (standIns_.empty()) return;
  std::map<qint64, QPixmap> taken;
  for (const auto& [file, standIn] : standIns_)
    taken.emplace(standIn.cacheKey(), pictures.Required(file));
  standIns_.clear();
  ReplaceButtonPictures(dialog, taken);
}

}  // namespace kst
