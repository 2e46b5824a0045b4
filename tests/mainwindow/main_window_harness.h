#pragma once
// A main window over the simulated keyboard, bound through the real device
// link, with every folder it touches in a temporary directory and every
// message box, file dialog and opened page recorded instead of shown.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUrl>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/AppContext.h"
#include "app/SingleInstance.h"
#include "device/DeviceLink.h"
#include "device/ServiceLibrary.h"
#include "device/sim/TolvaneSimControl.h"
#include "foundation/Language.h"
#include "mainwindow/CKestruneDlg.h"
#include "mainwindow/KeyboardView.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "skin/CPngButton.h"
#include "skin/SkinPictures.h"
#include "store/AssignmentStore.h"

namespace kst::mwtest {

inline constexpr std::uint16_t kEnglish = 1033;

// Runs the window's events until `done` holds or the time is up.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

struct Box {
  QString text;
  MessageKind kind;
};

class MainWindowFixture : public ::testing::Test {
 protected:
  QTemporaryDir temp;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<Language> language;
  std::unique_ptr<SingleInstance> instance;
  std::unique_ptr<AssignmentStore> store;
  std::unique_ptr<AppContext> context;
  std::unique_ptr<CKestruneDlg> dialog;
  TolvaneSimControlFn control = nullptr;

  std::vector<Box> boxes;
  bool answerYes = false;
  std::vector<QUrl> openedUrls;
  std::vector<bool> fileRequests;  // true: save
  QString chosenFile;
  bool notificationArea = true;
  struct TrayMessage {
    QString title;
    QString text;
  };
  std::vector<TrayMessage> trayMessages;
  // Where the window is placed; empty: the offscreen platform's.
  std::vector<QRect> screens;
  QPoint pointer;

  // Before the window binds: whether the simulated keyboard is plugged in.
  virtual bool KeyboardPresent() const { return true; }
  // Whether import and export open the real file dialogs instead of taking
  // chosenFile.
  virtual bool RealFileDialogs() const { return false; }

  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    const QString root = temp.path();
    setenv("KESTRUNE_SIM_STATE", qPrintable(root + "/keyboard.bin"), 1);
    setenv("KESTRUNE_SIM_SOCKET", "off", 1);
    setenv("KESTRUNE_SIM_LATENCY_US", "0", 1);
    setenv("KESTRUNE_SIM_PRESENT", KeyboardPresent() ? "1" : "0", 1);
    setenv("KESTRUNE_DEVICE", "sim", 1);
    unsetenv("KESTRUNE_CAPTURE");
    setenv("XDG_DATA_HOME", qPrintable(root + "/data"), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(root + "/config"), 1);
    QDir().mkpath(root + "/run");

    AppPaths paths;
    paths.programFolder = QStringLiteral(KST_BIN_DIR);
    paths.dataFolder = root + "/data/Z-ORMIT M350RGB";
    paths.registryFile = root + "/config/registry.reg";
    registry = std::make_unique<Registry>(paths.registryFile);
    language = std::make_unique<Language>(*registry, paths.programFolder, [] { return kEnglish; });
    InstanceConfig config;
    config.runtimeFolder = root + "/run";
    config.executableFileName = QStringLiteral("kestrune-mainwindow-test-none");
    config.selfPid = QCoreApplication::applicationPid();
    instance = std::make_unique<SingleInstance>(std::move(config));
    store = std::make_unique<AssignmentStore>();
    context.reset(new AppContext{paths,
                                 QStringLiteral(KST_BIN_DIR),
                                 QStringLiteral("kestrune"),
                                 *registry,
                                 *language,
                                 CommandLine{},
                                 {},
                                 *instance,
                                 *store});
    context->instanceGateDone = true;
    NewWindow();
  }

  // A window over the same registry, store and folders as the one before.
  void NewWindow() {
    dialog.reset();
    dialog = std::make_unique<CKestruneDlg>(*context);
    CKestruneDlg::Seams seams;
    seams.messageBox = [this](const QString& text, MessageKind kind) {
      boxes.push_back({text, kind});
      return answerYes;
    };
    seams.openUrl = [this](const QUrl& url) { openedUrls.push_back(url); };
    if (!RealFileDialogs()) {
      seams.chooseFile = [this](bool save) {
        fileRequests.push_back(save);
        return chosenFile;
      };
    }
    seams.trackButtonMenu = [] { return 0; };
    seams.notificationArea = [this] { return notificationArea; };
    seams.trayMessage = [this](const QString& title, const QString& text) {
      trayMessages.push_back({title, text});
    };
    if (!screens.empty()) {
      seams.screens = [this] { return screens; };
      seams.pointer = [this] { return pointer; };
    }
    dialog->SetSeams(std::move(seams));
  }

  void TearDown() override {
    dialog.reset();
    context.reset();
  }

  // Initialises the window (unless the test did) and runs its events until
  // the start-up traffic of the connection worker is done.
  void Start() {
    if (!dialog->Link()) dialog->OnInitDialog();
    const std::string path = std::string(KST_BIN_DIR) + "/" + kSimulatedServiceLibraryName;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    control = reinterpret_cast<TolvaneSimControlFn>(dlsym(handle, "TolvaneSimControl"));
    ASSERT_NE(control, nullptr);
    ASSERT_TRUE(Settle());
  }

  // Runs events until the link's workers are idle and the window's queue is empty.
  bool Settle() {
    const bool idle = WaitFor([this] {
      return dialog->IsWindowInitialised() &&
             dialog->Link()->WaitUntilIdle(std::chrono::milliseconds(1));
    });
    QApplication::processEvents();
    return idle;
  }

  std::string Sim(const std::string& command, int expected = TOLVANE_SIM_OK) {
    std::vector<char> reply(1 << 16);
    const int result = control(command.c_str(), reply.data(), static_cast<uint32_t>(reply.size()));
    EXPECT_EQ(result, expected) << command << ": " << reply.data();
    return reply.data();
  }

  // 'CTRL' requests the keyboard received since the last "reports clear".
  int CtrlRequests() {
    const std::string text = Sim("reports");
    const auto at = text.find("ctrl-requests ");
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + 14));
  }

  CPngButton* Button(int controlId) const { return dialog->Control(controlId); }
  int Profile() const { return dialog->Link()->CachedCurrentProfile(); }
};

// Every button's look drawn from a state picture stand-in shows exactly the
// pixels of that picture's skin file under the button (the twice-sized file
// at a ratio of 2; black past the picture), whatever pieces the window cut.
// Returns the number of looks checked.
inline int ExpectLooksShowTheirSkinFiles(CKestruneDlg& dialog, const QString& skins) {
  std::map<QString, QImage> files;
  int checked = 0;
  for (CPngButton* button : dialog.findChildren<CPngButton*>()) {
    using Look = CPngButton::Look;
    for (const Look look :
         {Look::Normal, Look::Hover, Look::Pressed, Look::Disabled, Look::Selected}) {
      const QString file = dialog.Looks().FileOf(button->Picture(look));
      if (file.isEmpty()) continue;
      const qreal ratio = dialog.Pictures().DeviceRatio();
      QImage& whole = files[file];
      if (whole.isNull())
        whole.load(skins + (ratio > 1 ? SkinPictures::DoubleSizeName(file) : file));
      const QRect place(QPointF(button->Origin() * ratio).toPoint(),
                        (QSizeF(button->size()) * ratio).toSize());
      const QImage expected = whole.copy(place).convertToFormat(QImage::Format_RGB32);
      const QPixmap shown = button->LookPixels(look);
      EXPECT_EQ(shown.devicePixelRatio(), ratio);
      EXPECT_TRUE(shown.toImage().convertToFormat(QImage::Format_RGB32) == expected)
          << button->objectName().toStdString() << " look " << static_cast<int>(look) << " "
          << file.toStdString();
      ++checked;
    }
  }
  return checked;
}

}  // namespace kst::mwtest
