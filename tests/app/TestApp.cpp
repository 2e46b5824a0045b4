#include "TestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

namespace kst::test {

namespace {

// Ends the application after the last test, while the program still runs:
// its font database then hands back what the system's font library holds
// (left to the end of the process, LeakSanitizer reports it).
class ApplicationEnd : public ::testing::Environment {
 public:
  void TearDown() override { delete QApplication::instance(); }
};

}  // namespace

void EnsureApplication() {
  if (QApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
  ::testing::AddGlobalTestEnvironment(new ApplicationEnd);
}

bool SpinUntil(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

}  // namespace kst::test
