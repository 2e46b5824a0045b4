#include "app/CTrayIcon.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QWidget>

#include <vector>

#include "TestApp.h"
#include "app/AppIcons.h"
#include "device/DeviceHost.h"
#include "foundation/Language.h"
#include "platform/Registry.h"

namespace kst {
namespace {

QStringList Texts(QMenu& menu) {
  QStringList texts;
  for (const QAction* action : menu.actions()) texts << action->text();
  return texts;
}

std::vector<int> Commands(QMenu& menu) {
  std::vector<int> commands;
  for (const QAction* action : menu.actions()) commands.push_back(MenuCommand(action));
  return commands;
}

class TrayIconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureApplication();
    ASSERT_TRUE(dir_.isValid());
    owner_ = std::make_unique<QWidget>();
    QFile file(dir_.filePath("Lang0409.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // The about entry is missing on purpose.
    file.write(
        "[TEXT]\nIDS_POP_UP_MENU_OPEN=Open up\nIDS_POP_UP_MENU_EXIT=Quit\n"
        "IDS_BUTTON_MENU_IMPORT=Import file\nIDS_BUTTON_MENU_EXPORT=Export file\n"
        "IDS_BUTTON_MENU_HIDE=Hide it\nIDS_BUTTON_MENU_ABOUT=About it\n");
    file.close();
    registry_ = std::make_unique<Registry>(dir_.filePath("registry.reg"));
    language_ =
        std::make_unique<Language>(*registry_, dir_.path(), [] { return std::uint16_t{1033}; });
    icon_ = std::make_unique<CTrayIcon>(dir_.path());
    icon_->SetCommandCallback([this](int command) { commands_.push_back(command); });
  }

  // The commands that reached the owner once the events queued so far ran.
  std::vector<int> Delivered() {
    QCoreApplication::processEvents();
    return commands_;
  }

  bool CreateIcon(const QString& tooltip = QStringLiteral("Keyboard")) {
    return icon_->Create(owner_.get(), kTrayCallbackMessage, tooltip,
                         LoadAppIcon(dir_.path(), kTrayIconDisconnected), kTrayIconId);
  }

  QTemporaryDir dir_;
  std::unique_ptr<QWidget> owner_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<Language> language_;
  std::unique_ptr<CTrayIcon> icon_;
  std::vector<int> commands_;
};

TEST_F(TrayIconTest, MenuShowsLanguageTextsWithOpenAsDefault) {
  ASSERT_TRUE(CreateIcon());
  icon_->SetMenuTextCallback(
      [this](QMenu& menu) { SetMenuTexts(menu, TrayMenuTexts(), *language_); });
  QMenu* menu = icon_->PrepareMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(Commands(*menu), (std::vector<int>{kCommandOpen, kCommandAbout, kCommandExit}));
  EXPECT_EQ(Texts(*menu), (QStringList{"Open up", "#Error", "Quit"}));
  ASSERT_NE(menu->defaultAction(), nullptr);
  EXPECT_EQ(MenuCommand(menu->defaultAction()), kCommandOpen);

  // A chosen entry reaches the owner as its command.
  FindMenuCommand(*menu, kCommandExit)->trigger();
  EXPECT_EQ(Delivered(), std::vector<int>{kCommandExit});
}

TEST_F(TrayIconTest, DefaultCommandMovesTheDefaultEntry) {
  ASSERT_TRUE(CreateIcon());
  icon_->SetDefaultCommand(kCommandAbout);
  QMenu* menu = icon_->PrepareMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(MenuCommand(menu->defaultAction()), kCommandAbout);
  EXPECT_EQ(icon_->OnTrayNotification(kTrayIconId, TrayMouse::LeftDoubleClick), 1);
  EXPECT_EQ(Delivered(), std::vector<int>{kCommandAbout});
}

TEST_F(TrayIconTest, ClicksOnTheIcon) {
  ASSERT_TRUE(CreateIcon());
  icon_->SetSingleClickCommand(kTraySingleClickCommand);

  EXPECT_EQ(icon_->OnTrayNotification(kTrayIconId, TrayMouse::LeftButtonDown), 1);
  EXPECT_TRUE(icon_->SingleClickPending());
  EXPECT_TRUE(Delivered().empty()) << "a single click does nothing";

  EXPECT_EQ(icon_->OnTrayNotification(kTrayIconId, TrayMouse::LeftDoubleClick), 1);
  EXPECT_FALSE(icon_->SingleClickPending());
  EXPECT_EQ(Delivered(), std::vector<int>{kCommandOpen});

  EXPECT_EQ(icon_->OnTrayNotification(kTrayIconId + 1, TrayMouse::LeftDoubleClick), 0);
  EXPECT_EQ(icon_->OnTrayNotification(kTrayIconId, TrayMouse::Other), 1);
  EXPECT_EQ(Delivered().size(), 1u);
}

TEST_F(TrayIconTest, TooltipIsCutTo127Characters) {
  ASSERT_TRUE(CreateIcon(QString(200, u'a')));
  EXPECT_EQ(icon_->TooltipText(), QString(127, u'a'));
  icon_->SetTooltipText(QString(127, u'b'));
  EXPECT_EQ(icon_->TooltipText(), QString(127, u'b'));
  icon_->SetTooltipText(QString(126, u'c') + QString::fromUtf8("\U0001F600"));
  EXPECT_EQ(icon_->TooltipText(), QString(126, u'c')) << "no half of a surrogate pair";
}

TEST_F(TrayIconTest, NothingHappensBeforeCreateOrAfterRemove) {
  EXPECT_FALSE(icon_->Create(nullptr, kTrayCallbackMessage, "x", QIcon(), kTrayIconId));
  EXPECT_FALSE(icon_->Create(owner_.get(), kTrayCallbackMessage, "x", QIcon(), 999))
      << "no menu resource 999";
  icon_->SetIcon(kTrayIconConnected);
  icon_->SetTooltipText(QStringLiteral("x"));
  EXPECT_EQ(icon_->IconResourceId(), 0);
  EXPECT_EQ(icon_->PrepareMenu(), nullptr);
  EXPECT_EQ(icon_->OnTrayNotification(kTrayIconId, TrayMouse::LeftDoubleClick), 0);

  ASSERT_TRUE(CreateIcon());
  icon_->Remove();
  EXPECT_FALSE(icon_->IsCreated());
  icon_->SetIcon(kTrayIconConnected);
  EXPECT_EQ(icon_->IconResourceId(), 0);
  EXPECT_TRUE(Delivered().empty());
}

// Exit chosen in the menu ends in the exit sequence, which removes the icon
// and with it the menu: that must wait until the menu's own click is done
// (under AddressSanitizer a removal inside it is a use after free).
TEST_F(TrayIconTest, ExitChosenInTheMenuRemovesTheIconAfterTheMenusClick) {
  ASSERT_TRUE(CreateIcon());
  icon_->SetCommandCallback([this](int command) {
    commands_.push_back(command);
    if (command == kCommandExit) icon_->Remove();
  });
  QPointer<QMenu> menu = icon_->PrepareMenu();
  ASSERT_TRUE(menu);
  menu->popup(QPoint(20, 20));
  ASSERT_TRUE(test::SpinUntil([&] { return menu->isVisible(); }));
  const QPoint at = menu->actionGeometry(FindMenuCommand(*menu, kCommandExit)).center();
  for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent click(type, at, menu->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(menu, &click);
  }
  EXPECT_TRUE(commands_.empty()) << "the command ran inside the menu's click";
  EXPECT_TRUE(icon_->IsCreated());
  EXPECT_EQ(Delivered(), std::vector<int>{kCommandExit});
  EXPECT_FALSE(icon_->IsCreated());
  EXPECT_TRUE(test::SpinUntil([&] { return menu.isNull(); })) << "the menu is deleted";
}

TEST_F(TrayIconTest, ButtonMenuCarriesImportAndExportOnly) {
  std::unique_ptr<QMenu> menu = BuildButtonMenu(*language_);
  EXPECT_EQ(Commands(*menu), (std::vector<int>{kCommandImport, kCommandExport}));
  EXPECT_EQ(Texts(*menu), (QStringList{"Import file", "Export file"}));
  EXPECT_EQ(LoadMenuResource(141), nullptr);
}

TEST_F(TrayIconTest, IconsFallBackToDrawnPictures) {
  for (const int id : {kTrayIconDisconnected, kTrayIconConnected, kTrayIconActivity}) {
    EXPECT_FALSE(LoadAppIcon(dir_.path(), id).isNull()) << id;
    EXPECT_FALSE(DrawAppIcon(id, 16).isNull()) << id;
  }
  EXPECT_NE(DrawAppIcon(kTrayIconConnected, 32), DrawAppIcon(kTrayIconDisconnected, 32));
  EXPECT_TRUE(AppIconFile(dir_.path(), 999).isEmpty());
}

TEST_F(TrayIconTest, PicturesFollowConnectionAndActivity) {
  ASSERT_TRUE(CreateIcon());
  AppState state;
  TrayPictures pictures(*icon_, state);
  pictures.RecordCurrent(kTrayIconDisconnected);
  // The picture is not touched when it would not change.
  pictures.SetTrayIcon(kTrayIconDisconnected);
  EXPECT_EQ(icon_->IconResourceId(), 0);

  struct Step {
    const char* what;
    std::function<void()> run;
    int shown;
  };
  const std::vector<Step> steps = {
      {"activity while disconnected", [&] { pictures.ShowActivityIcon(true); }, 142},
      {"activity ends", [&] { pictures.ShowActivityIcon(false); }, 128},
      {"connected", [&] { pictures.ShowConnectionIcon(true); }, 141},
      {"activity", [&] { pictures.ShowActivityIcon(true); }, 142},
      {"activity ends on the connected picture", [&] { pictures.ShowActivityIcon(false); }, 141},
      {"activity again", [&] { pictures.ShowActivityIcon(true); }, 142},
      {"unplugged during activity", [&] { pictures.ShowConnectionIcon(false); }, 128},
      {"late activity end", [&] { pictures.ShowActivityIcon(false); }, 128},
  };
  for (const Step& step : steps) {
    step.run();
    EXPECT_EQ(pictures.Current(), step.shown) << step.what;
    EXPECT_EQ(icon_->IconResourceId(), step.shown) << step.what;
    EXPECT_EQ(state.trayIcon.load(), step.shown) << step.what;
  }
}

TEST_F(TrayIconTest, ConcealedWindowStaysReachableWithoutANotificationArea) {
  QWidget window;
  window.show();
  ConcealMainWindow(window);
  if (NotificationAreaAvailable()) {
    EXPECT_FALSE(window.isVisible());
  } else {
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
  }
}

}  // namespace
}  // namespace kst
