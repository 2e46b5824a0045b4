#pragma once

// Pieces of the application's start-up that tests run on their own.

#include <QString>

#include "platform/AppPaths.h"

class QWidget;

namespace kst {

// Once the window is first shown (not minimised) and has painted, saves a picture of it to
// `file` (PNG) and prints "screenshot: <file>" on stdout; a failed save is
// reported on stderr. The window keeps running.
void ScreenshotOnFirstShow(QWidget* window, const QString& file);

}  // namespace kst
