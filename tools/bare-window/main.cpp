// kst-bare-window: one plain Qt window of the main window's size, shown at
// once; the smallest Qt program a user could start. The start-up benchmark
// measures the utility against it.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("bare window"));
  window.resize(1000, 600);
  window.show();
  return app.exec();
}
