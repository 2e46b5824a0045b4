// kst-render-key-dialog <folder>: runs the main window offscreen over the
// simulated keyboard with the key assignment dialog plugged in, opens the
// dialog the way a click does, and saves it on each of its pages:
// key-dialog-single.png (a key captured), key-dialog-macro.png (a macro
// with its actions), key-dialog-recording.png (a recording in progress),
// key-dialog-media.png, key-dialog-function.png and key-dialog-macro-only.png
// (opened from the macro button), and focus-key-dialog.png (the media page
// with the keyboard focus on OK).

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "device/DeviceLink.h"
#include "editors/Kestrune_DlgComposite.h"
#include "editors/KeyboardHook.h"
#include "editors/MacroPage.h"
#include "editors/MainWindowEditors.h"
#include "mainwindow/CKestruneDlg.h"
#include "mainwindow/KeyboardView.h"
#include "mainwindow/MainWindowIds.h"
#include "store/AssignmentStore.h"
#include "store/MacroRecord.h"
#include "support/OffscreenMainWindow.h"

namespace {

using kst::Kestrune_DlgComposite;

void Pump() {
  for (int i = 0; i < 10; ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool Save(QWidget& window, const QString& file) {
  Pump();
  return kst::SaveRender(window, file);
}

void Click(Kestrune_DlgComposite& dialog, int controlId) {
  QWidget* control = dialog.Control(controlId);
  if (!control) control = dialog.Macros().Control(controlId);
  if (auto* button = qobject_cast<QAbstractButton*>(control)) button->click();
}

// A press and a release of the key, as the desktop delivers them.
void Type(Kestrune_DlgComposite& dialog, int qtKey) {
  for (bool release : {false, true}) {
    kst::NativeKeyEvent event;
    event.qtKey = qtKey;
    event.release = release;
    dialog.Hook().Offer(event);
  }
}

// Opens the dialog as a click on the control does and runs `shown` inside it.
void WithDialog(kst::CKestruneDlg& window, Kestrune_DlgComposite& dialog, int controlId,
                const std::function<void()>& shown) {
  QTimer::singleShot(0, [&] {
    shown();
    dialog.CloseIfOpen();
  });
  if (controlId == kst::kIdMacro) {
    window.OnCommand(kst::kIdMacro);
  } else {
    window.View()->KeyClicked(controlId);
  }
}

kst::MacroRecord Macro(const char16_t* name, std::uint16_t number,
                       std::initializer_list<kst::MacroEvent> events) {
  kst::MacroRecord record;
  record.SetName(name);
  record.number = number;
  record.repeatCount = 1;
  for (const kst::MacroEvent& event : events) record.events[record.eventCount++] = event;
  return record;
}

}  // namespace

int main(int argc, char** argv) {
  return kst::RunRenderTool(
      argc, argv, "kst-render-key-dialog", [](kst::OffscreenMainWindow& rig, const QString& out) {
        kst::CKestruneDlg& window = rig.Window();
        kst::AssignmentStore& store = rig.Store();
        kst::MainWindowEditors editors(window, rig.Context());
        rig.Init();

        // Two macros the user made before, one of them on G2.
        const int profile = window.Link()->CachedCurrentProfile();
        std::vector<kst::MacroRecord> macros = {
            Macro(u"Build and run", 1,
                  {{40, 0x1D, 0}, {30, 0x30, 0}, {20, 0x30, 1}, {60, 0x1D, 1}, {0, 0x43, 0}}),
            Macro(u"Greeting", 2,
                  {{50, 0x23, 0}, {50, 0x23, 1}, {50, 0x17, 0}, {50, 0x17, 1}, {0, 0x1C, 0}})};
        store.ReplaceMacroList(macros);
        store.SetAssignment(profile, kst::GKeySlot(kst::GKeyBank::A, 1),
                            kst::AssignmentKind::PlayMacro, 1);
        window.RefreshKeyButtons();
        rig.Settle();

        Kestrune_DlgComposite& dialog = editors.KeyAssignmentDialog();
        bool ok = true;
        constexpr int kIdKeyA = 1058;
        constexpr int kIdKeyE = 1046;
        constexpr int kIdG2 = 1001;
        WithDialog(window, dialog, kIdKeyA, [&] {
          Type(dialog, Qt::Key_B);
          ok = Save(dialog, out + "/key-dialog-single.png") && ok;
        });
        WithDialog(window, dialog, kIdG2,
                   [&] { ok = Save(dialog, out + "/key-dialog-macro.png") && ok; });
        WithDialog(window, dialog, kIdG2, [&] {
          Click(dialog, 1020);
          for (int key : {Qt::Key_H, Qt::Key_I}) Type(dialog, key);
          ok = Save(dialog, out + "/key-dialog-recording.png") && ok;
          Click(dialog, 1020);
        });
        WithDialog(window, dialog, kIdKeyE, [&] {
          Click(dialog, 1030);
          ok = Save(dialog, out + "/key-dialog-media.png") && ok;
        });
        WithDialog(window, dialog, kIdKeyE, [&] {
          Click(dialog, 1031);
          ok = Save(dialog, out + "/key-dialog-function.png") && ok;
        });
        WithDialog(window, dialog, kIdKeyE, [&] {
          Click(dialog, 1030);
          dialog.activateWindow();
          for (int i = 0; i < 200 && !dialog.isActiveWindow(); ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
          if (QWidget* okButton = dialog.Control(1)) okButton->setFocus(Qt::TabFocusReason);
          ok = Save(dialog, out + "/focus-key-dialog.png") && ok;
        });
        WithDialog(window, dialog, kst::kIdMacro,
                   [&] { ok = Save(dialog, out + "/key-dialog-macro-only.png") && ok; });
        window.ExitSequence();
        return ok;
      });
}
