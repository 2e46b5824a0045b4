// The lighting panel as a user meets it: the edit-mode switch, the effect
// list, keys painted with the custom effect and the speed slider dragged,
// each change checked in the simulated keyboard's memory.

#include <QByteArray>

#include <optional>
#include <vector>

#include "e2e_fixture.h"

namespace kst::e2e {
namespace {

constexpr std::size_t kCurrentProfileByte = 10;
constexpr std::size_t kRecordBytes = 42;
constexpr std::size_t kSpeedByte = 2;
constexpr std::size_t kColourAreaBytesPerProfile = 512;

class LightingEndToEndTest : public EndToEndTest {
 protected:
  std::vector<std::uint8_t> SimArea(const QString& area) {
    const QByteArray bytes =
        QByteArray::fromHex(SimOutput(QStringLiteral("read ") + area).toLatin1());
    return {bytes.begin(), bytes.end()};
  }

  std::optional<int> CurrentProfile() {
    const std::vector<std::uint8_t> settings = SimArea(QStringLiteral("settings"));
    if (settings.size() <= kCurrentProfileByte) return std::nullopt;
    return settings[kCurrentProfileByte];
  }

  std::optional<std::uint8_t> RecordByte(int profile, std::size_t offset) {
    const std::vector<std::uint8_t> area = SimArea(QStringLiteral("parameters"));
    const std::size_t at = static_cast<std::size_t>(profile) * kRecordBytes + offset;
    if (area.size() <= at) return std::nullopt;
    return area[at];
  }

  // Red, green, blue of an LED position of profile's colour area.
  std::optional<QByteArray> KeyColour(int profile, int led) {
    const std::vector<std::uint8_t> area = SimArea(QStringLiteral("colours"));
    const std::size_t at = static_cast<std::size_t>(profile) * kColourAreaBytesPerProfile +
                           3 * static_cast<std::size_t>(led);
    if (area.size() < at + 3) return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(area.data() + at), 3);
  }

  // Opens the effect list and chooses an entry with the keyboard: keys are
  // the keys typed into the open list before Return.
  void ChooseEffect(const QString& window, const QStringList& keys) {
    ASSERT_TRUE(ClickControl(window, QStringLiteral("CONTROL_XGcombox")));
    ASSERT_TRUE(
        WaitFor([&] { return !VisibleWindows(WindowKind::Other).isEmpty(); }, kStepTimeoutMs))
        << "the effect list did not open";
    QStringList arguments{"key", "--delay", "60"};
    arguments << keys << QStringLiteral("Return");
    Xdotool(arguments);
    ASSERT_TRUE(
        WaitFor([&] { return VisibleWindows(WindowKind::Other).isEmpty(); }, kStepTimeoutMs))
        << "the effect list did not close";
  }

  bool EditModeStored() {
    QFile file(data_.filePath(QStringLiteral("Z-ORMIT M350RGB/wskb.ini")));
    if (!file.open(QIODevice::ReadOnly)) return false;
    return QString::fromUtf8(file.readAll())
        .contains(QRegularExpression(QStringLiteral("(?mi)^\\s*DengCheck\\s*=\\s*1\\s*$")));
  }

  // The main window with lighting edit mode turned on through its switch.
  QString StartWithEditMode() {
    Start();
    const QString main = ShownMainWindow();
    if (main.isEmpty()) return {};
    // Clicks are held back while the keyboard's content is still being
    // read: click again until the switch took.
    const bool on = WaitFor(
        [&] {
          if (!ClickControl(main, QStringLiteral("CONTROL_DengStaPic"))) return false;
          return WaitFor([&] { return EditModeStored(); }, 3000);
        },
        kStepTimeoutMs);
    return on ? main : QString();
  }
};

TEST_F(LightingEndToEndTest, KeysClickedWithTheCustomEffectArePaintedOnTheKeyboard) {
  const QString main = StartWithEditMode();
  ASSERT_FALSE(main.isEmpty()) << "the main window did not show";
  const std::optional<int> profile = CurrentProfile();
  ASSERT_TRUE(profile);

  ChooseEffect(main, {"c", "u", "s", "t"});
  ASSERT_TRUE(WaitFor([&] { return RecordByte(*profile, 0) == 20; }, kStepTimeoutMs))
      << "choosing the custom effect did not reach the keyboard";

  // A, B and C: LED positions 64, 90 and 88. A colour the paint colour is not.
  const struct {
    const char* skinKey;
    int led;
  } keys[] = {{"KEY_01E", 64}, {"KEY_030", 90}, {"KEY_02E", 88}};
  for (const auto& key : keys) {
    const int offset = *profile * static_cast<int>(kColourAreaBytesPerProfile) + 3 * key.led;
    ASSERT_EQ(Sim(QStringLiteral("write colours %1 010203").arg(offset)), 0);
  }
  for (const auto& key : keys) ASSERT_TRUE(ClickControl(main, QString::fromLatin1(key.skinKey)));

  std::optional<QByteArray> first;
  EXPECT_TRUE(WaitFor(
      [&] {
        first = KeyColour(*profile, keys[0].led);
        if (!first || *first == QByteArray::fromHex("010203")) return false;
        for (const auto& key : keys) {
          if (KeyColour(*profile, key.led) != first) return false;
        }
        return true;
      },
      kStepTimeoutMs))
      << "the three keys were not painted in one colour on the keyboard";
  // What a person reads from the simulated keyboard says the same.
  if (first) {
    const QString painted = SimOutput(QStringLiteral("dump lighting"))
                                .split(u'\n')
                                .filter(QStringLiteral("profile %1 painted").arg(*profile))
                                .join(u' ');
    for (const auto& key : keys) {
      EXPECT_TRUE(painted.contains(
          QStringLiteral(" %1=%2").arg(key.led).arg(QString::fromLatin1(first->toHex().toUpper()))))
          << key.skinKey << " in " << first->toHex().constData()
          << " is not among the painted keys: " << qPrintable(painted);
    }
  }
  EXPECT_TRUE(VisibleWindows(WindowKind::Other).isEmpty())
      << "a key click in edit mode opened a window instead of painting";
}

TEST_F(LightingEndToEndTest, DraggingTheSpeedSliderChangesTheKeyboardsSpeed) {
  const QString main = StartWithEditMode();
  ASSERT_FALSE(main.isEmpty()) << "the main window did not show";
  const std::optional<int> profile = CurrentProfile();
  ASSERT_TRUE(profile);

  ChooseEffect(main, {"Home"});
  ASSERT_TRUE(WaitFor([&] { return RecordByte(*profile, 0) == 1; }, kStepTimeoutMs))
      << "choosing the first effect did not reach the keyboard";
  const std::optional<std::uint8_t> before = RecordByte(*profile, kSpeedByte);
  ASSERT_TRUE(before);

  // From one end of the slider to the other: whatever the speed was, the
  // far end stands for another one unless it already was there, so drag
  // towards the end away from the stored value.
  const std::optional<QPoint> centre = ControlCentre(QStringLiteral("CONTROL_SpeedSlider"));
  ASSERT_TRUE(centre);
  const int half = 88;
  const bool toLeft = *before == 0;  // speed 0 is slider position 4, the right end
  const int from = toLeft ? centre->x() + half : centre->x() - half;
  const int to = toLeft ? centre->x() - half : centre->x() + half;
  const QString y = QString::number(centre->y());
  Xdotool({"mousemove", "--window", main, QString::number(from), y, "mousedown", "1"});
  for (int step = 1; step <= 4; ++step) {
    Xdotool({"mousemove", "--window", main, QString::number(from + (to - from) * step / 4), y});
  }
  Xdotool({"mouseup", "1"});

  // The far end of the slider stands for the far end of the speed scale.
  const int expected = toLeft ? 4 : 0;
  std::optional<std::uint8_t> after;
  EXPECT_TRUE(WaitFor(
      [&] {
        after = RecordByte(*profile, kSpeedByte);
        return after && *after == expected;
      },
      kStepTimeoutMs))
      << "the keyboard's speed went from " << int(*before) << " to " << (after ? int(*after) : -1)
      << ", not " << expected;
}

}  // namespace
}  // namespace kst::e2e
