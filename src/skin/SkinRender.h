#pragma once

#include <QImage>
#include <QString>

class QWidget;

namespace kst {

// Paints a window (shown or not) with all its children into an image of its
// size. Pixels outside the window's mask are transparent, as on screen.
QImage RenderWindow(QWidget& window);
// RenderWindow saved as PNG; false when the file cannot be written.
bool RenderWindowToPng(QWidget& window, const QString& path);

}  // namespace kst
