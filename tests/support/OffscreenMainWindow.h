#pragma once

// The main window of a render tool: offscreen, over the simulated keyboard,
// with every user folder in a temporary directory and message boxes printed
// instead of shown. Build it after the QApplication; call Init once the
// parts are plugged in.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/AppContext.h"
#include "app/SingleInstance.h"
#include "device/DeviceLink.h"
#include "foundation/Language.h"
#include "mainwindow/CKestruneDlg.h"
#include "platform/Registry.h"
#include "skin/AppStyle.h"
#include "skin/SkinRender.h"
#include "store/AssignmentStore.h"

namespace kst {

class OffscreenMainWindow {
 public:
  // binDir: the program folder of the build (skin, languages, service libraries).
  OffscreenMainWindow(const QString& binDir, const QString& toolName)
      : root_(temp_.path()), paths_(Paths(binDir, root_)) {
    setenv("KESTRUNE_SIM_STATE", qPrintable(root_ + "/keyboard.bin"), 1);
    setenv("KESTRUNE_SIM_SOCKET", "off", 1);
    setenv("KESTRUNE_SIM_LATENCY_US", "0", 1);
    setenv("KESTRUNE_DEVICE", "sim", 1);
    QDir().mkpath(root_ + "/run");
    registry_ = std::make_unique<Registry>(paths_.registryFile);
    language_ = std::make_unique<Language>(*registry_, paths_.programFolder,
                                           [] { return std::uint16_t{1033}; });
    InstanceConfig config;
    config.runtimeFolder = root_ + "/run";
    config.executableFileName = toolName;
    config.selfPid = QCoreApplication::applicationPid();
    instance_ = std::make_unique<SingleInstance>(std::move(config));
    context_.reset(new AppContext{paths_,
                                  binDir,
                                  QStringLiteral("kestrune"),
                                  *registry_,
                                  *language_,
                                  CommandLine{},
                                  {},
                                  *instance_,
                                  store_});
    context_->instanceGateDone = true;
    window_ = std::make_unique<CKestruneDlg>(*context_);
    SetNotificationArea(true);
  }
  ~OffscreenMainWindow() {
    if (window_ && !window_->Exited()) window_->ExitSequence();
  }

  bool Valid() const { return temp_.isValid(); }
  CKestruneDlg& Window() { return *window_; }
  AppContext& Context() { return *context_; }
  AssignmentStore& Store() { return store_; }

  // Whether the window finds a notification area to hide into; message
  // boxes are printed on stderr either way.
  void SetNotificationArea(bool present) {
    CKestruneDlg::Seams seams;
    seams.notificationArea = [present] { return present; };
    seams.messageBox = [](const QString& text, MessageKind) {
      std::fprintf(stderr, "message: %s\n", qPrintable(text));
      return false;
    };
    window_->SetSeams(seams);
  }

  // Initialises the window and waits for the keyboard's start-up traffic.
  void Init() {
    window_->OnInitDialog();
    Settle();
  }

  // Runs events until the device link is idle and the window holds its
  // hovered and pressed looks (at most 10 s), then a little more.
  void Settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000 &&
           !(window_->IsWindowInitialised() && window_->LaterLooksTaken() &&
             window_->Link()->WaitUntilIdle(std::chrono::milliseconds(1))))
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
  }

 private:
  static AppPaths Paths(const QString& binDir, const QString& root) {
    AppPaths paths;
    paths.programFolder = binDir;
    paths.dataFolder = root + "/data/Z-ORMIT M350RGB";
    paths.registryFile = root + "/config/registry.reg";
    return paths;
  }

  QTemporaryDir temp_;
  QString root_;
  AppPaths paths_;
  AssignmentStore store_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<Language> language_;
  std::unique_ptr<SingleInstance> instance_;
  std::unique_ptr<AppContext> context_;
  std::unique_ptr<CKestruneDlg> window_;
};

// Renders the window into the PNG file and names the file on standard output.
inline bool SaveRender(QWidget& window, const QString& file) {
  if (!RenderWindowToPng(window, file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

// The whole of a render tool, `<tool> <folder>`: an offscreen application,
// the folder made, a main window; `render` plugs in what it needs, calls
// Init and saves its pictures into the folder, giving whether all were
// written. Exit code 0 when they were, 1 when not, 2 for a wrong call.
inline int RunRenderTool(int argc, char** argv, const char* toolName,
                         const std::function<bool(OffscreenMainWindow&, const QString&)>& render) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  // The renders show the windows as the program draws them.
  ApplyAppStyle(app);
  const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QDir().mkpath(out);
  OffscreenMainWindow rig(QStringLiteral(KST_BIN_DIR), QString::fromLatin1(toolName));
  if (!rig.Valid()) return 1;
  const bool ok = render(rig, out);
  if (!rig.Window().Exited()) rig.Window().ExitSequence();
  return ok ? 0 : 1;
}

}  // namespace kst
