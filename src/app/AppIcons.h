#pragma once

// The program's icons by resource number: 128 no keyboard (also the window
// icon), 141 keyboard connected, 142 keyboard activity. They are PNG files
// of the skin folder; a missing file falls back to a drawn picture, so the
// tray never shows an empty square.

#include <QIcon>
#include <QImage>
#include <QString>

namespace kst {

// "<programFolder>/Skins/<file>" of the resource; empty for an unknown id.
QString AppIconFile(const QString& programFolder, int resourceId);

// The drawn picture of the resource at size x size pixels (unknown ids draw
// as 128).
QImage DrawAppIcon(int resourceId, int size);

QIcon LoadAppIcon(const QString& programFolder, int resourceId);

}  // namespace kst
