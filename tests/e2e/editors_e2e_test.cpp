// The key editors as a user meets them: a key of the keyboard picture
// clicked, a key pressed in the dialog, a macro recorded from real key
// presses, and what the keyboard holds after the main window's Apply.

#include <QByteArray>

#include <array>
#include <vector>

#include "device/KeyMap.h"
#include "device/MacroArea.h"
#include "e2e_fixture.h"

namespace kst::e2e {
namespace {

constexpr const char* kCompositeSkin = "Skins/Composite.ini";

class EditorsEndToEndTest : public EndToEndTest {
 protected:
  // The program's window that is neither the main window nor its icon, once
  // exactly one is on show.
  QString WaitForDialog() {
    QStringList dialogs;
    WaitFor(
        [&] {
          dialogs = VisibleWindows(WindowKind::Other);
          return dialogs.size() == 1;
        },
        kStepTimeoutMs);
    return dialogs.size() == 1 ? dialogs.front() : QString();
  }

  std::vector<std::uint8_t> SimArea(const QString& area) {
    const QByteArray hex = SimOutput(QStringLiteral("read ") + area).toLatin1();
    const QByteArray bytes = QByteArray::fromHex(hex);
    return {bytes.begin(), bytes.end()};
  }

  // The key map of the keyboard's current profile and the factory map.
  bool ReadKeyMaps(std::array<std::uint8_t, kKeyMapBytes>& current,
                   std::array<std::uint8_t, kKeyMapBytes>& factory) {
    const std::vector<std::uint8_t> settings = SimArea(QStringLiteral("settings"));
    const std::vector<std::uint8_t> maps = SimArea(QStringLiteral("keymaps"));
    const std::vector<std::uint8_t> factoryMap = SimArea(QStringLiteral("factory"));
    constexpr std::size_t kCurrentProfileByte = 10;
    if (settings.size() <= kCurrentProfileByte || factoryMap.size() < kKeyMapBytes) return false;
    const std::size_t profile = settings[kCurrentProfileByte];
    if (maps.size() < (profile + 1) * kKeyMapBytes) return false;
    std::copy_n(maps.begin() + static_cast<std::ptrdiff_t>(profile * kKeyMapBytes), kKeyMapBytes,
                current.begin());
    std::copy_n(factoryMap.begin(), kKeyMapBytes, factory.begin());
    return true;
  }

  // The record the keyboard holds at the factory position of `key`.
  std::optional<KeyRecord> RecordOfKey(KeyIndex key) {
    std::array<std::uint8_t, kKeyMapBytes> current{}, factory{};
    if (!ReadKeyMaps(current, factory)) return std::nullopt;
    for (int position = 0; position < kKeyMapRecords; ++position) {
      if (ReadKeyRecord(factory, position) == KeyRecordForKey(key)) {
        return ReadKeyRecord(current, position);
      }
    }
    return std::nullopt;
  }

  // The events of the first macro of the keyboard's macro area.
  std::vector<MacroEvent> FirstMacroEvents() {
    const std::vector<std::uint8_t> area = SimArea(QStringLiteral("macro"));
    const std::optional<MacroAreaHeader> header = ReadMacroAreaHeader(area);
    if (!header || header->magic != kMacroAreaMagic || header->count == 0) return {};
    const std::size_t offsetAt = kMacroAreaHeaderBytes;
    if (area.size() < offsetAt + 2) return {};
    const std::size_t block = area[offsetAt] | (area[offsetAt + 1] << 8);
    if (area.size() < block + kMacroBlockHeaderBytes) return {};
    const std::size_t count = area[block] | (area[block + 1] << 8);
    std::vector<MacroEvent> events;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = block + kMacroBlockHeaderBytes + i * kMacroAreaEventBytes;
      if (area.size() < at + kMacroAreaEventBytes) return {};
      events.push_back(DecodeMacroAreaEvent(
          std::span<const std::uint8_t, 4>(area.data() + at, kMacroAreaEventBytes)));
    }
    return events;
  }

  // Keys typed with the pointer over the window, so they reach it whether or
  // not a window manager gave it the focus.
  void TypeInto(const QString& window, const QStringList& keys) {
    Xdotool({"mousemove", "--window", window, "40", "300"});
    QStringList arguments{"key", "--delay", "120"};
    arguments << keys;
    Xdotool(arguments);
  }
};

TEST_F(EditorsEndToEndTest, AKeyPressedInTheDialogIsOnTheKeyboardAfterApply) {
  Start();
  const QString main = ShownMainWindow();
  ASSERT_FALSE(main.isEmpty());

  ASSERT_TRUE(ClickControl(main, QStringLiteral("KEY_01E")));  // A
  const QString dialog = WaitForDialog();
  ASSERT_FALSE(dialog.isEmpty()) << "the key assignment dialog did not open";
  TypeInto(dialog, {"b"});
  ASSERT_TRUE(ClickControl(dialog, QStringLiteral("CONTROL_OK"), kCompositeSkin));
  ASSERT_TRUE(WaitFor([&] { return VisibleWindows(WindowKind::Other).isEmpty(); }, kStepTimeoutMs))
      << "OK did not close the dialog";

  ASSERT_TRUE(ClickControl(main, QStringLiteral("CONTROL2_APPLY")));
  std::optional<KeyRecord> record;
  EXPECT_TRUE(WaitFor(
      [&] {
        record = RecordOfKey(0x1E);
        return record && *record == KeyRecordForKey(0x30);
      },
      kStepTimeoutMs))
      << "A does not send B on the keyboard";
}

TEST_F(EditorsEndToEndTest, AMacroRecordedFromRealKeyPressesIsInTheKeyboardsMacroArea) {
  Start();
  const QString main = ShownMainWindow();
  ASSERT_FALSE(main.isEmpty());

  ASSERT_TRUE(ClickControl(main, QStringLiteral("FUNC_MACRO")));
  const QString dialog = WaitForDialog();
  ASSERT_FALSE(dialog.isEmpty()) << "the macro button opened no dialog";
  ASSERT_TRUE(ClickControl(dialog, QStringLiteral("FUNC_MACRO_ADD"), kCompositeSkin));
  ASSERT_TRUE(ClickControl(dialog, QStringLiteral("FUNC_MACRO_RECORD"), kCompositeSkin));
  TypeInto(dialog, {"a", "b"});
  ASSERT_TRUE(ClickControl(dialog, QStringLiteral("FUNC_MACRO_RECORD"), kCompositeSkin));
  ASSERT_TRUE(ClickControl(dialog, QStringLiteral("CONTROL_OK"), kCompositeSkin));
  ASSERT_TRUE(WaitFor([&] { return VisibleWindows(WindowKind::Other).isEmpty(); }, kStepTimeoutMs))
      << "OK did not close the dialog";
  ASSERT_TRUE(ClickControl(main, QStringLiteral("CONTROL2_APPLY")));

  const std::vector<MacroEvent> expected = {{0, 0x1E, kEventPress},
                                            {0, 0x1E, kEventRelease},
                                            {0, 0x30, kEventPress},
                                            {0, 0x30, kEventRelease}};
  std::vector<MacroEvent> events;
  EXPECT_TRUE(WaitFor(
      [&] {
        events = FirstMacroEvents();
        if (events.size() != expected.size()) return false;
        for (std::size_t i = 0; i < events.size(); ++i) {
          if (events[i].key != expected[i].key || events[i].direction != expected[i].direction) {
            return false;
          }
        }
        return true;
      },
      kStepTimeoutMs))
      << "the keyboard holds " << events.size() << " events in its first macro";
}

TEST_F(EditorsEndToEndTest, ExitFromTheTrayMenuWhileTheDialogIsOpenEndsTheProgram) {
  QProcess& program = Start();
  const QString main = ShownMainWindow();
  ASSERT_FALSE(main.isEmpty());
  ASSERT_TRUE(ClickControl(main, QStringLiteral("KEY_01E")));
  ASSERT_FALSE(WaitForDialog().isEmpty()) << "the key assignment dialog did not open";
  // The dialog is on show beside the menu.
  const std::string failed = ChooseExitInTrayMenu(1);
  ASSERT_TRUE(failed.empty()) << failed;

  ASSERT_TRUE(program.waitForFinished(kStepTimeoutMs));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
}

}  // namespace
}  // namespace kst::e2e
