#pragma once

// Pieces of the application's start-up that tests run on their own.

#include <QString>

#include "platform/AppPaths.h"

class QTextStream;
class QWidget;

namespace kst {

// Once the window is first shown (not minimised) and has painted, saves a picture of it to
// `file` (PNG) and prints "screenshot: <file>" on stdout; a failed save is
// reported on stderr. The window keeps running.
void ScreenshotOnFirstShow(QWidget* window, const QString& file);

struct CommandLine;

// "--diagnose": diagnoses the keyboard with the service library the command
// line and the environment choose from executableFolder, writes the report
// to out and gives the report's exit code. Needs no display.
int WriteDiagnosis(QTextStream& out, const CommandLine& line, const QString& executableFolder);

}  // namespace kst
