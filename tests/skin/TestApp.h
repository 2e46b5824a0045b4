#pragma once

#include <QDir>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

namespace kst::test {

// The one QApplication of the test program, made on first use.
void EnsureApp();

// Writes `text` to `path`; false on failure.
bool WriteFile(const QString& path, const QByteArray& text);
// An image of `size` filled with `colour`, saved as PNG at `path`.
bool WritePicture(const QString& path, QSize size, QRgb colour);

}  // namespace kst::test
