// Profiles as a user meets them: the keyboard's own profile key switches the
// keyboard, and the window on show follows it — the profile buttons, the
// keys of the new profile and its lighting — as the X server shows it.

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>

#include <cstdio>
#include <optional>
#include <vector>

#include "e2e_fixture.h"

namespace kst::e2e {
namespace {

constexpr int kCurrentProfileByte = 10;
constexpr int kKeyMapBytes = 512;
constexpr int kRecordBytes = 42;
constexpr int kReportRateByte = 15;
constexpr int kPollMs = 20;

class ProfilesEndToEndTest : public EndToEndTest {
 protected:
  QByteArray SimArea(const QString& area) {
    return QByteArray::fromHex(SimOutput(QStringLiteral("read ") + area).toLatin1());
  }

  std::optional<int> KeyboardProfile() {
    const QByteArray settings = SimArea(QStringLiteral("settings"));
    if (settings.size() <= kCurrentProfileByte) return std::nullopt;
    return static_cast<std::uint8_t>(settings[kCurrentProfileByte]);
  }

  // The position of the factory record of a keyboard usage; -1 when absent.
  int FactoryPosition(std::uint8_t usage) {
    const QByteArray factory = SimArea(QStringLiteral("factory"));
    for (int pos = 0; 3 * pos + 2 < factory.size() && pos < 128; ++pos) {
      if (factory[3 * pos] == 2 && factory[3 * pos + 1] == 2 &&
          static_cast<std::uint8_t>(factory[3 * pos + 2]) == usage) {
        return pos;
      }
    }
    return -1;
  }

  // The main window's picture once two captures in a row agree.
  QImage SteadyCapture(const QString& window) {
    QImage last = CaptureWindow(window);
    QImage steady;
    WaitFor(
        [&] {
          QThread::msleep(100);
          QImage next = CaptureWindow(window);
          const bool same = !next.isNull() && next == last;
          last = std::move(next);
          if (same) steady = last;
          return same;
        },
        kStepTimeoutMs);
    return steady;
  }

  QImage Region(const QImage& image, const QString& key) {
    const std::optional<QRect> rect = ControlRect(key);
    return rect ? image.copy(*rect) : QImage();
  }
};

TEST_F(ProfilesEndToEndTest, TheWindowFollowsTheKeyboardsProfileKey) {
  if (QStandardPaths::findExecutable(QStringLiteral("xwd")).isEmpty()) {
    GTEST_SKIP() << "xwd (x11-apps) is needed to see what the window shows";
  }
  Start();
  ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, kShowTimeoutMs));

  // Profile 2 (the keyboard's profile 1) gives A the key B and polls at the
  // highest rate; profile 1 polls at the lowest. The window reads them when
  // the keyboard is plugged in again.
  const int a = FactoryPosition(0x04);
  ASSERT_GE(a, 0);
  ASSERT_EQ(Sim(QStringLiteral("write keymaps %1 020205").arg(kKeyMapBytes + 3 * a)), 0);
  ASSERT_EQ(Sim(QStringLiteral("write parameters %1 03").arg(kRecordBytes + kReportRateByte)), 0);
  ASSERT_EQ(Sim(QStringLiteral("write parameters %1 00").arg(kReportRateByte)), 0);
  ASSERT_EQ(Sim(QStringLiteral("unplug")), 0);
  ASSERT_TRUE(WaitFor([&] { return !MainWindowShown(); }, kStepTimeoutMs));
  ASSERT_EQ(Sim(QStringLiteral("plug")), 0);
  ASSERT_TRUE(WaitFor([&] { return TrayPicture() == kTrayIconConnected; }, kStepTimeoutMs));
  ASSERT_EQ(RunToEnd({}), 0);  // a second start opens the running instance's window
  const QString main = ShownMainWindow();
  ASSERT_FALSE(main.isEmpty());
  Xdotool({"mousemove", "0", "0"});  // no hover look on the buttons compared
  const QImage before = SteadyCapture(main);
  ASSERT_FALSE(before.isNull());

  ASSERT_EQ(Sim(QStringLiteral("profile-key")), 0);
  EXPECT_EQ(KeyboardProfile(), 1);
  const QStringList changed = {"FUNC_PROFILE1", "FUNC_PROFILE2", "KEY_01E", "FUNC_REPORT1",
                               "FUNC_REPORT4"};
  QElapsedTimer clock;
  clock.start();
  QStringList still = changed;
  const bool followed = WaitFor(
      [&] {
        QThread::msleep(kPollMs);
        const QImage now = CaptureWindow(main);
        if (now.isNull()) return false;
        still.clear();
        for (const QString& key : changed) {
          if (Region(now, key) == Region(before, key)) still << key;
        }
        return still.isEmpty();
      },
      kStepTimeoutMs);
  EXPECT_TRUE(followed) << "unchanged: " << still.join(u' ').toStdString();
  std::printf("the window followed the profile key within %lld ms\n",
              static_cast<long long>(clock.elapsed()));
  EXPECT_EQ(KeyboardProfile(), 1);
}

}  // namespace
}  // namespace kst::e2e
