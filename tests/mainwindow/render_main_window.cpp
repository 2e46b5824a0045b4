// kst-render-main-window <folder>: runs the main window offscreen over the
// simulated keyboard (temporary user folders) and saves two pictures of it:
// main-window.png as it starts, main-window-assigned.png with some keys
// assigned and Apply pending.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/AppContext.h"
#include "app/SingleInstance.h"
#include "device/DeviceLink.h"
#include "foundation/Language.h"
#include "mainwindow/CKestruneDlg.h"
#include "platform/Registry.h"
#include "skin/SkinRender.h"
#include "store/AssignmentStore.h"

namespace {

void Settle(kst::CKestruneDlg& dialog) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 10000 && !(dialog.IsWindowInitialised() &&
                                      dialog.Link()->WaitUntilIdle(std::chrono::milliseconds(1))))
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool Save(kst::CKestruneDlg& dialog, const QString& file) {
  if (!kst::RenderWindowToPng(dialog, file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QDir().mkpath(out);
  QTemporaryDir temp;
  if (!temp.isValid()) return 1;
  const QString root = temp.path();
  setenv("KESTRUNE_SIM_STATE", qPrintable(root + "/keyboard.bin"), 1);
  setenv("KESTRUNE_SIM_SOCKET", "off", 1);
  setenv("KESTRUNE_SIM_LATENCY_US", "0", 1);
  setenv("KESTRUNE_DEVICE", "sim", 1);
  QDir().mkpath(root + "/run");

  kst::AppPaths paths;
  paths.programFolder = QStringLiteral(KST_BIN_DIR);
  paths.dataFolder = root + "/data/Z-ORMIT M350RGB";
  paths.registryFile = root + "/config/registry.reg";
  kst::Registry registry(paths.registryFile);
  kst::Language language(registry, paths.programFolder, [] { return std::uint16_t{1033}; });
  kst::InstanceConfig config;
  config.runtimeFolder = root + "/run";
  config.executableFileName = QStringLiteral("kst-render-main-window");
  config.selfPid = QCoreApplication::applicationPid();
  kst::SingleInstance instance(std::move(config));
  kst::AssignmentStore store;
  auto context = std::unique_ptr<kst::AppContext>(new kst::AppContext{paths,
                                                                      QStringLiteral(KST_BIN_DIR),
                                                                      QStringLiteral("kestrune"),
                                                                      registry,
                                                                      language,
                                                                      kst::CommandLine{},
                                                                      {},
                                                                      instance,
                                                                      store});
  context->instanceGateDone = true;

  kst::CKestruneDlg dialog(*context);
  kst::CKestruneDlg::Seams seams;
  seams.notificationArea = [] { return true; };
  seams.messageBox = [](const QString& text, kst::MessageKind) {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return false;
  };
  dialog.SetSeams(seams);
  dialog.OnInitDialog();
  Settle(dialog);
  bool ok = Save(dialog, out + "/main-window.png");

  const int profile = dialog.Link()->CachedCurrentProfile();
  using kst::AssignmentKind;
  store.SetAssignment(profile, 0x1E, AssignmentKind::SingleKey, 0x30);  // A -> B
  store.SetAssignment(profile, 0x12, AssignmentKind::MediaKey, 1);      // E -> Play
  store.SetAssignment(profile, 0x3B, AssignmentKind::FunctionKey, 4);   // F1 -> Copy
  store.SetAssignment(profile, 0xC8, AssignmentKind::Disabled, 0);      // Up
  store.SetAssignment(profile, kst::GKeySlot(kst::GKeyBank::A, 0), AssignmentKind::SingleKey,
                      0x1D);  // G1 -> Ctrl
  store.SetAssignment(profile, kst::GKeySlot(kst::GKeyBank::A, 2), AssignmentKind::MediaKey, 6);
  dialog.RefreshKeyButtons();
  dialog.SetApplyEnabled(true);
  Settle(dialog);
  ok = Save(dialog, out + "/main-window-assigned.png") && ok;
  dialog.ExitSequence();
  return ok ? 0 : 1;
}
