// kst-app-icons <folder>: writes the application icon into
// <folder>/hicolor/<n>x<n>/apps/kestrune.png for the launcher sizes.
// Exit code 0, or 1 with a message when a file cannot be written.

#include <QDir>
#include <QImage>

#include <cstdio>

#include "app/AppIcons.h"
#include "device/DeviceHost.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kst-app-icons <folder>\n");
    return 1;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(root).arg(size);
    const QString file = folder + QStringLiteral("/kestrune.png");
    if (!QDir().mkpath(folder) ||
        !kst::DrawAppIcon(kst::kTrayIconConnected, size).save(file, "PNG")) {
      std::fprintf(stderr, "kst-app-icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
