#include "TestApp.h"

#include <QApplication>
#include <QFile>

#include <gtest/gtest.h>

namespace kst::test {

void EnsureApp() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "skin_tests";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  new QApplication(argc, argv);  // lives until the process ends
}

namespace {

// Widgets and pictures need the application before any fixture is built.
class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { EnsureApp(); }
};

[[maybe_unused]] ::testing::Environment* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

bool WriteFile(const QString& path, const QByteArray& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

bool WritePicture(const QString& path, QSize size, QRgb colour) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  return image.save(path, "PNG");
}

}  // namespace kst::test
