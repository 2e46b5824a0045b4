// The main window's life over the simulated keyboard: initialisation, its
// messages with right and wrong protocol values, showing and hiding, OK,
// Cancel, Apply, the about box, help, import and export.

#include <QAbstractEventDispatcher>
#include <QBackingStore>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPixmapCache>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/AppIcons.h"
#include "app/CTrayIcon.h"
#include "device/ConfigurationUpload.h"
#include "main_window_harness.h"
#include "mainwindow/CAboutDlg.h"
#include "mainwindow/MainWindowIds.h"
#include "skin/SkinKeys.h"
#include "skin/SkinRender.h"
#include "store/ProfileFiles.h"
#include "support/ButtonLooks.h"
#include "support/DeathTestFolders.h"
#include "support/KeyPresses.h"

namespace kst::mwtest {
namespace {

constexpr int kFrenchIndex = 2;
constexpr int kKeyA = 1058;
constexpr AssignmentSlot kSlotA = 0x1E;
constexpr std::uint16_t kKeyIndexB = 0x30;

using MainWindow = MainWindowFixture;

class MainWindowWithoutKeyboard : public MainWindowFixture {
 protected:
  bool KeyboardPresent() const override { return false; }
};

// A change in the store that waits for Apply, as an editor leaves it.
void MakePendingChange(CKestruneDlg& dialog, AssignmentStore& store, int profile) {
  ASSERT_TRUE(store.SetAssignment(profile, kSlotA, AssignmentKind::SingleKey, kKeyIndexB));
  dialog.RefreshKeyButtons();
  dialog.SetApplyEnabled(true);
}

TEST_F(MainWindow, InitialisationLeavesTheWindowHiddenUntilInitThenShowsItOnce) {
  dialog->OnInitDialog();
  // Right after the initialisation: captions and tooltips are set, UM_INIT
  // still waits in the queue, nothing is on show and nothing is pending.
  EXPECT_FALSE(dialog->IsWindowInitialised());
  EXPECT_EQ(dialog->Tray(), nullptr);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_FALSE(dialog->ApplyPending());
  EXPECT_FALSE(Button(kIdApply)->isEnabled());
  EXPECT_EQ(dialog->windowTitle(), "Z-ORMIT M350RGB Keyboard");
  EXPECT_EQ(Button(kIdOk)->text(), "OK");
  EXPECT_EQ(Button(kIdCancel)->text(), "Cancel");
  EXPECT_EQ(Button(kIdApply)->text(), "Apply");
  // Help keeps the language file's tooltip; the other three come from the
  // skin language file.
  EXPECT_EQ(Button(kIdHelp)->TooltipText(), "Help");
  EXPECT_EQ(Button(kIdMinimize)->TooltipText(), "Minimize");
  EXPECT_EQ(Button(kIdMenu)->TooltipText(), "Menu");
  EXPECT_EQ(Button(kIdClose)->TooltipText(), "Close");
  EXPECT_EQ(dialog->LinkAddress(), Button(kIdLink)->text());
  EXPECT_FALSE(dialog->LinkAddress().isEmpty());
  // Every key button of the board is laid out where the skin puts it.
  EXPECT_EQ(dialog->View()->KeyButtons().size(), 9u + 104u + 1u + 6u);
  EXPECT_FALSE(Button(kKeyA)->isHidden());
  EXPECT_EQ(Button(kKeyA)->objectName(), "KEY_01E");
  // Controls of later parts are not on show.
  EXPECT_FALSE(Button(kIdMacro)->isVisible());
  EXPECT_EQ(dialog->findChild<QWidget*>("FUNC_PROFILE1"), nullptr);
  // Background, mask, disabled, greyed and arrow, each decoded once: what
  // the first paint draws. The hovered and pressed looks and the busy frames
  // wait for that paint, the colour pictures for the lighting panel, the
  // Flip pictures for Flip 1.
  EXPECT_EQ(dialog->Pictures().DecodeCount(), 5);
  EXPECT_FALSE(dialog->Pictures().Holds("main_over.jpg"));
  EXPECT_FALSE(dialog->Pictures().Holds("main_color0.jpg"));

  Start();
  EXPECT_TRUE(dialog->IsWindowInitialised());
  // Once the window is up and drawn every button has its hovered and
  // pressed looks; then over, down and ten busy frames have been decoded.
  ASSERT_TRUE(WaitFor([this] { return dialog->LaterLooksTaken(); }));
  const QPixmap over = dialog->Looks().StandIn("main_over.jpg");
  const QPixmap down = dialog->Looks().StandIn("main_down.jpg");
  EXPECT_EQ(Button(kKeyA)->Picture(CPngButton::Look::Hover).cacheKey(), over.cacheKey());
  EXPECT_EQ(Button(kIdOk)->Picture(CPngButton::Look::Pressed).cacheKey(), down.cacheKey());
  for (const CPngButton* button : dialog->findChildren<CPngButton*>()) {
    EXPECT_TRUE(button->PiecesCurrent()) << button->objectName().toStdString();
    for (auto look : {CPngButton::Look::Normal, CPngButton::Look::Hover, CPngButton::Look::Pressed,
                      CPngButton::Look::Disabled, CPngButton::Look::Selected}) {
      const QPixmap& picture = button->Picture(look);
      EXPECT_TRUE(picture.isNull() || picture.width() > 1 || dialog->Looks().StandsIn(picture))
          << button->objectName().toStdString();
    }
  }
  EXPECT_EQ(dialog->Pictures().DecodeCount(), 17);
  ASSERT_NE(dialog->Tray(), nullptr);
  EXPECT_EQ(dialog->Tray()->SingleClickCommand(), kTraySingleClickCommand);
  EXPECT_EQ(context->state.trayIcon, kTrayIconConnected);
  // The keyboard was present: the first connection showed the window once.
  EXPECT_TRUE(context->state.autoShowDone);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(Profile(), 0);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindow, ShowsOnceSetUpAndHoldsTheKeysUntilTheKeyboardIsRead) {
  // Slow enough (10 ms a report) that the connection worker's reads outlast
  // the set-up, even on a loaded machine.
  setenv("KESTRUNE_SIM_LATENCY_US", "10000", 1);
  dialog->OnInitDialog();
  std::vector<int> opened;
  CKestruneDlg::Parts parts;
  parts.openKeyAssignment = [&](AssignmentSlot, bool, int id) { opened.push_back(id); };
  dialog->SetParts(parts);
  ASSERT_TRUE(WaitFor([&] { return dialog->isVisible(); }));
  EXPECT_EQ(dialog->Link()->ConnectionState(), 0);  // still reading
  EXPECT_TRUE(context->state.autoShowDone);
  EXPECT_TRUE(dialog->AwaitingKeyboard());
  EXPECT_EQ(dialog->cursor().shape(), Qt::BusyCursor);
  EXPECT_EQ(context->state.trayIcon, kTrayIconConnected);
  // The keys and the macro button would act on content not read yet.
  QTest::mouseClick(Button(kKeyA), Qt::LeftButton);
  QTest::mouseClick(Button(kIdMacro), Qt::LeftButton);
  // Nor does Space on the key picture.
  ASSERT_TRUE(dialog->View()->SetCurrentKey(kKeyA));
  QTest::keyClick(dialog->View()->FocusStop(), Qt::Key_Space);
  EXPECT_TRUE(opened.empty());
  // The window's own buttons answer.
  QTest::mouseClick(Button(kIdCancel), Qt::LeftButton);
  EXPECT_FALSE(dialog->isVisible());

  Start();
  EXPECT_EQ(dialog->Link()->ConnectionState(), 1);
  EXPECT_FALSE(dialog->AwaitingKeyboard());
  EXPECT_NE(dialog->cursor().shape(), Qt::BusyCursor);
  EXPECT_EQ(Profile(), 0);
  dialog->ShowMainWindow();
  QTest::mouseClick(Button(kKeyA), Qt::LeftButton);
  QTest::mouseClick(Button(kIdMacro), Qt::LeftButton);
  QTest::keyClick(dialog->View()->FocusStop(), Qt::Key_Space);
  EXPECT_EQ(opened, (std::vector<int>{kKeyA, kIdMacro, kKeyA}));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindowWithoutKeyboard, StartsHiddenAndOpenShowsTheNoDevicePrompt) {
  Start();
  EXPECT_TRUE(context->state.autoShowDone);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(context->state.trayIcon, kTrayIconDisconnected);

  dialog->SendMessage(UM_OPEN, kOpenWParam, 0);
  EXPECT_FALSE(dialog->isVisible());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "No keyboard found. Connect the keyboard and try again.");
  EXPECT_EQ(boxes[0].kind, MessageKind::Information);

  // The keyboard arrives later: its first connection does not show the
  // window (the start without it counted as the first show), but Open does.
  Sim("plug");
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(dialog->isVisible());
  dialog->OnCommand(kCommandOpen);
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(MainWindow, UmInitWithAWrongValueDoesNothing) {
  dialog->OnInitDialog();
  EXPECT_EQ(dialog->SendMessage(UM_INIT, kInitWParam + 1, 0), 0);
  EXPECT_EQ(dialog->Tray(), nullptr);
  EXPECT_FALSE(dialog->IsWindowInitialised());
  dialog->SendMessage(UM_INIT, kInitWParam, 0);
  EXPECT_NE(dialog->Tray(), nullptr);
  EXPECT_TRUE(dialog->IsWindowInitialised());
  Start();
}

TEST_F(MainWindow, MessagesActOnlyOnTheirOwnValue) {
  Start();
  dialog->hide();
  dialog->OnCommand(kCommandAbout);
  ASSERT_NE(dialog->AboutBox(), nullptr);

  struct Case {
    const char* name;
    std::uint32_t message;
    std::uintptr_t right;
    std::uintptr_t wrong;
    std::function<bool()> acted;
  };
  const std::vector<Case> cases = {
      {"UM_LANGUAGE", UM_LANGUAGE, kLanguageWParam, kLanguageWParam ^ 1,
       [&] { return Button(kIdCancel)->text() == "Annuler"; }},
      {"UM_OPEN", UM_OPEN, kOpenWParam, kVersionWParam, [&] { return dialog->isVisible(); }},
      {"UM_GKEYS", UM_GKEYS, kGKeysWParam, kGKeysWParam + 1,
       [&] { return Button(kGKeyIds[0])->IsSelected(); }},
      {"UM_PROFILE", UM_PROFILE, kProfileWParam, kProfileWParam + 1,
       [&] { return !dialog->ApplyPending() && !Button(kKeyA)->IsSelected(); }},
      {"UM_DEVICE_GONE", UM_DEVICE_GONE, 0, 0x4753,
       [&] { return dialog->AboutBox() == nullptr && !context->state.devicePresent; }},
      {"UM_KILL", UM_KILL, kKillWParam, kKillWParam + 1, [&] { return dialog->Exited(); }},
  };
  // Preconditions the handlers change: a pending change on A and an
  // unshown assignment of G1.
  MakePendingChange(*dialog, *store, 0);
  store->SetAssignment(0, GKeySlot(GKeyBank::A, 0), AssignmentKind::SingleKey, kKeyIndexB);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::intptr_t lParam = c.message == UM_LANGUAGE ? kFrenchIndex : 0;
    EXPECT_EQ(dialog->SendMessage(c.message, c.wrong, lParam), 0);
    QApplication::processEvents();
    EXPECT_FALSE(c.acted());
    dialog->SendMessage(c.message, c.right, lParam);
    WaitFor(c.acted, 3000);
    EXPECT_TRUE(c.acted());
  }
}

TEST_F(MainWindow, PostedTimeChangeRunsApplyButASentOneDoesNot) {
  Start();
  MakePendingChange(*dialog, *store, 0);
  dialog->SendMessage(kTimeChangeMessage, 0, 0);
  EXPECT_FALSE(dialog->Upload()->ApplyRunning());
  EXPECT_TRUE(dialog->ApplyPending());

  dialog->PostMessage(kTimeChangeMessage, 1, 2);
  ASSERT_TRUE(WaitFor([&] { return !dialog->ApplyPending(); }));
  // The keyboard's key map of profile 0 now carries the assignment.
  const std::string keymap = Sim("read keymaps 0 512");
  EXPECT_NE(keymap, std::string(1024, '0'));
}

TEST_F(MainWindow, OkAppliesAndHidesCancelHidesAndKeepsApply) {
  Start();
  ASSERT_TRUE(dialog->isVisible());
  MakePendingChange(*dialog, *store, 0);

  QTest::mouseClick(Button(kIdCancel), Qt::LeftButton);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_TRUE(dialog->ApplyPending());
  dialog->ShowMainWindow();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(Button(kIdApply)->isEnabled());

  QTest::mouseClick(Button(kIdOk), Qt::LeftButton);
  EXPECT_FALSE(dialog->isVisible());
  ASSERT_TRUE(WaitFor([&] { return !dialog->Upload()->ApplyRunning(); }));
  EXPECT_FALSE(dialog->ApplyPending());
  EXPECT_FALSE(Button(kIdApply)->isEnabled());
}

// The shown window keeps no whole state picture: each button holds the
// pieces under it, which show the skin files' own pixels, also after Flip
// brings its pictures and after a button moves.
TEST_F(MainWindow, ButtonsKeepOnlyTheirPiecesOfTheStatePictures) {
  Start();
  ASSERT_TRUE(dialog->isVisible());
  ASSERT_TRUE(WaitFor([&] { return dialog->LaterLooksTaken(); }));
  QTest::mouseClick(Button(kIdFlip1), Qt::LeftButton);
  ASSERT_EQ(dialog->View()->Flip(), 1);
  CPngButton* moved = Button(kIdOk);
  moved->setGeometry(moved->geometry().translated(-7, 5).adjusted(0, 0, 3, 2));
  moved->SetOrigin(moved->x(), moved->y());
  ASSERT_TRUE(Settle());
  QStringList files = PictureSetFiles(kMainPictureSet) + PictureSetFiles(kMainFlipPictureSet);
  files << QString::fromLatin1(kMainGreyPicture);
  for (const QString& file : files)
    EXPECT_FALSE(dialog->Pictures().Holds(file)) << file.toStdString();
  for (const CPngButton* button : dialog->findChildren<CPngButton*>()) {
    for (const auto look : {CPngButton::Look::Normal, CPngButton::Look::Hover,
                            CPngButton::Look::Pressed, CPngButton::Look::Disabled}) {
      const QPixmap& picture = button->Picture(look);
      EXPECT_TRUE(picture.width() < dialog->width() && picture.height() < dialog->height())
          << button->objectName().toStdString() << " holds a whole picture";
    }
  }
  EXPECT_GT(ExpectLooksShowTheirSkinFiles(*dialog, QStringLiteral(KST_BIN_DIR "/Skins/")), 500);
}

// The window shows before its hovered and pressed looks and its busy frames
// are decoded: its first paint draws the same pixels as the window once they
// have arrived and everything has settled.
TEST_F(MainWindow, TheFirstPaintDrawsWhatTheSettledWindowDraws) {
  struct ShowGrab : QObject {
    QImage picture;
    bool looksTakenAtShow = true;
    bool eventFilter(QObject* watched, QEvent* event) override {
      auto* window = static_cast<CKestruneDlg*>(watched);
      if (event->type() == QEvent::Show && picture.isNull()) {
        looksTakenAtShow = window->LaterLooksTaken();
        if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
        picture = window->grab().toImage();
      }
      return false;
    }
  } first;
  dialog->installEventFilter(&first);
  Start();
  ASSERT_TRUE(dialog->isVisible());
  ASSERT_FALSE(first.picture.isNull()) << "no show";
  EXPECT_FALSE(first.looksTakenAtShow) << "the later looks were there before the show";
  ASSERT_TRUE(WaitFor([&] { return dialog->LaterLooksTaken(); }));
  ASSERT_TRUE(Settle());
  if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
  EXPECT_TRUE(dialog->grab().toImage() == first.picture);
  dialog->removeEventFilter(&first);
}

TEST_F(MainWindow, HiddenKeepsNoPictureNorTimerAndShowBringsBackTheSamePixels) {
  Start();
  ASSERT_TRUE(dialog->isVisible());
  ASSERT_TRUE(WaitFor([&] { return dialog->LaterLooksTaken(); }));
  const std::vector<QImage> looks = test::ButtonLookImages(*dialog);
  // Where the focus comes back to after a show is not at stake here.
  auto grabUnfocused = [&] {
    if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
    return dialog->grab().toImage();
  };
  const QImage shown = grabUnfocused();
  // As the style caches what it draws: the toolkit's pixmap cache runs a
  // flush timer for as long as it holds anything.
  QPixmap cached(8, 8);
  cached.fill(Qt::red);
  const QPixmapCache::Key cachedKey = QPixmapCache::insert(cached);

  QTest::mouseClick(Button(kIdCancel), Qt::LeftButton);
  ASSERT_FALSE(dialog->isVisible());
  ASSERT_TRUE(Settle());
  EXPECT_TRUE(dialog->LooksReleased());
  QPixmap found;
  EXPECT_FALSE(QPixmapCache::find(cachedKey, &found)) << "the pixmap cache still holds pixmaps";
  QStringList files = PictureSetFiles(kMainPictureSet);
  files << QString::fromLatin1(kMainGreyPicture);
  for (const QString& file : files)
    EXPECT_FALSE(dialog->Pictures().Holds(file)) << file.toStdString();
  // Nor the skin's pictures (the shape stays) nor a window-sized buffer.
  EXPECT_TRUE(dialog->Background().isNull());
  EXPECT_TRUE(dialog->MaskPicture().isNull());
  EXPECT_FALSE(dialog->SkinRegion().isEmpty());
  ASSERT_NE(dialog->backingStore(), nullptr);
  EXPECT_LE(dialog->backingStore()->size().width() * dialog->backingStore()->size().height(), 1);
  // Nothing of the idle hidden window wakes the process.
  QList<QObject*> objects = dialog->findChildren<QObject*>();
  objects.push_back(dialog.get());
  objects.push_back(&context->instance.Server());
  for (QObject* object : objects) {
    for (const auto& timer : QAbstractEventDispatcher::instance()->registeredTimers(object))
      ADD_FAILURE() << object->metaObject()->className() << " "
                    << object->objectName().toStdString() << ": a timer of " << timer.interval
                    << " ms runs while hidden";
  }

  dialog->ShowMainWindow();
  EXPECT_FALSE(dialog->LooksReleased());
  EXPECT_FALSE(dialog->Background().isNull());
  EXPECT_TRUE(test::ButtonLookImages(*dialog) == looks);
  EXPECT_TRUE(grabUnfocused() == shown);
}

TEST_F(MainWindow, EnterAndEscapeNeitherApplyNorClose) {
  Start();
  ASSERT_TRUE(dialog->isVisible());
  MakePendingChange(*dialog, *store, 0);
  for (QWidget* target : {static_cast<QWidget*>(dialog.get()), static_cast<QWidget*>(Button(kIdOk)),
                          static_cast<QWidget*>(Button(kKeyA)), dialog->View()->FocusStop()}) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      QTest::keyClick(target, key);
      QApplication::processEvents();
      EXPECT_TRUE(dialog->isVisible()) << target->objectName().toStdString() << " " << key;
      EXPECT_TRUE(dialog->ApplyPending());
      EXPECT_FALSE(dialog->Upload()->ApplyRunning());
    }
  }
}

TEST_F(MainWindow, ApplyShowsTheBusyAnimationWhileItRuns) {
  Start();
  MakePendingChange(*dialog, *store, 0);
  Sim("latency 20000");
  QTest::mouseClick(Button(kIdApply), Qt::LeftButton);
  EXPECT_TRUE(dialog->BusyPicture()->isVisibleTo(dialog.get()));
  EXPECT_TRUE(dialog->TimerActive(kTimerApplyProgress));
  ASSERT_TRUE(WaitFor([&] { return dialog->BusyFrame() != 0; }));
  ASSERT_TRUE(WaitFor([&] { return !dialog->Upload()->ApplyRunning(); }, 20000));
  EXPECT_FALSE(dialog->BusyPicture()->isVisibleTo(dialog.get()));
  EXPECT_FALSE(dialog->TimerActive(kTimerApplyProgress));
  EXPECT_FALSE(dialog->ApplyPending());
}

// The window manager draws the about box's title in a bold, larger font,
// beside the icon and the buttons: the box must be wide enough for it whole,
// in every language, and shows it as its heading too.
TEST_F(MainWindow, AboutBoxIsWideEnoughForItsTitle) {
  Start();
  dialog->OnCommand(kCommandAbout);
  CAboutDlg* about = dialog->AboutBox();
  ASSERT_NE(about, nullptr);
  for (const int index : {1, kFrenchIndex, 4}) {
    SCOPED_TRACE(index);
    about->OnLanguage(kLanguageWParam, index);
    about->adjustSize();
    QFont titleFont = about->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    const QString title = about->windowTitle();
    EXPECT_EQ(about->TitleLabel()->text(), title);
    // Room for the icon and three buttons of a usual title bar.
    EXPECT_GE(about->width(), QFontMetrics(titleFont).horizontalAdvance(title) + 150);
  }
}

TEST_F(MainWindow, AboutBoxExistsOnlyOnceAndCanBeOpenedAgainAfterClosing) {
  Start();
  dialog->OnCommand(kCommandAbout);
  CAboutDlg* first = dialog->AboutBox();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->windowTitle(), "About Z-ORMIT M350RGB Keyboard");
  // Again through the menu and through the system menu's entry (low bits ignored).
  dialog->OnCommand(kCommandAbout);
  dialog->SendMessage(kSysCommandMessage, kSysAboutCommand | 0x3, 0);
  EXPECT_EQ(dialog->AboutBox(), first);
  EXPECT_EQ(dialog->findChildren<CAboutDlg*>().size(), 1);

  dialog->SendMessage(UM_LANGUAGE, kLanguageWParam, kFrenchIndex);
  EXPECT_EQ(first->CopyrightLabel()->text(), "Copyright © Kestrune Marovel. Tous droits réservés.");

  first->close();
  ASSERT_TRUE(WaitFor([&] { return dialog->AboutBox() == nullptr; }));
  dialog->OnCommand(kCommandAbout);
  EXPECT_NE(dialog->AboutBox(), nullptr);
}

// From the keyboard: the box opens on OK, Tab reaches the link, Space on OK
// closes the box.
TEST_F(MainWindow, AboutBoxFromTheKeyboard) {
  Start();
  dialog->OnCommand(kCommandAbout);
  CAboutDlg* box = dialog->AboutBox();
  ASSERT_NE(box, nullptr);
  box->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return box->isActiveWindow(); }));
  auto* ok = box->findChild<QWidget*>(QStringLiteral("1"));
  auto* link = box->findChild<QWidget*>(QStringLiteral("1124"));
  EXPECT_EQ(QApplication::focusWidget(), ok);
  test::PressKey(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), link);
  ok->setFocus(Qt::TabFocusReason);
  test::PressKey(Qt::Key_Space);
  ASSERT_TRUE(WaitFor([&] { return dialog->AboutBox() == nullptr; }));
}

TEST_F(MainWindow, HelpAndLinksOpenTheirPages) {
  Start();
  dialog->OnCommand(kIdHelp);
  QTest::keyClick(dialog.get(), Qt::Key_F1);
  dialog->OnCommand(kIdLink);
  dialog->OnCommand(kIdNetwork);
  ASSERT_EQ(openedUrls.size(), 4u);
  EXPECT_TRUE(openedUrls[0].isLocalFile());
  EXPECT_TRUE(openedUrls[0].toLocalFile().endsWith("/Help/index.html"));
  EXPECT_EQ(openedUrls[1], openedUrls[0]);
  EXPECT_EQ(openedUrls[2].toString(), dialog->LinkAddress());
  EXPECT_EQ(openedUrls[3].toString(), kNetworkPage);
}

TEST_F(MainWindow, ExportThenImportRestoresTheStoreAndUploadsIt) {
  Start();
  const QString file = temp.path() + "/saved.kst";
  ASSERT_TRUE(store->SetAssignment(0, kSlotA, AssignmentKind::SingleKey, kKeyIndexB));
  chosenFile = file;
  dialog->OnCommand(kCommandExport);
  ASSERT_TRUE(QFile::exists(file));

  store->SetAssignment(0, kSlotA, AssignmentKind::Default, 0);
  dialog->OnCommand(kCommandImport);
  ASSERT_TRUE(WaitFor([&] { return !dialog->Upload()->ApplyRunning(); }));
  EXPECT_EQ(fileRequests, (std::vector<bool>{true, false}));
  EXPECT_TRUE(store->GetAssignment(0, kSlotA).Is(AssignmentKind::SingleKey));
  EXPECT_TRUE(Button(kKeyA)->IsSelected());
  EXPECT_FALSE(dialog->ApplyPending());
  // One line says it worked, in the user's language.
  ASSERT_TRUE(WaitFor([&] { return !boxes.empty(); }));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "The configuration was imported.");
  boxes.clear();

  // A damaged file, of a size that passes the first check or not: the store
  // keeps its content and the user is told so once, in words, not as the
  // text's key, without a claim that anything was reverted.
  for (const int size : {40000, 100}) {
    SCOPED_TRACE(size);
    QFile damaged(temp.path() + "/damaged.kst");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write(QByteArray(size, 'x'));
    damaged.close();
    chosenFile = damaged.fileName();
    dialog->OnCommand(kCommandImport);
    ASSERT_TRUE(WaitFor([&] { return !boxes.empty() && !dialog->Upload()->ApplyRunning(); }));
    EXPECT_TRUE(store->GetAssignment(0, kSlotA).Is(AssignmentKind::SingleKey));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "This file is not a valid configuration file. It was refused and the "
              "current configuration was kept.\n\n" +
                  QDir::toNativeSeparators(damaged.fileName()));
    boxes.clear();
  }

  // Cancelled dialogs do nothing.
  chosenFile.clear();
  const std::size_t shown = boxes.size();
  dialog->OnCommand(kCommandImport);
  dialog->OnCommand(kCommandExport);
  EXPECT_EQ(boxes.size(), shown);
}

class MainWindowWithFileDialogs : public MainWindowFixture {
 protected:
  bool RealFileDialogs() const override { return true; }

  // Runs the command and closes the file dialog it opens: the dialog's
  // filters and whether it is Qt's own (the one the application style draws).
  std::pair<QStringList, bool> DialogOf(int command) {
    QStringList filters;
    bool ownDialog = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        filters = box->nameFilters();
        ownDialog = box->testOption(QFileDialog::DontUseNativeDialog);
        box->reject();
      }
    });
    poll.start(10);
    dialog->OnCommand(command);
    return {filters, ownDialog};
  }
};

TEST_F(MainWindowWithFileDialogs, FiltersNameProfileFilesInTheUsersLanguage) {
  Start();
  const struct {
    std::uint16_t languageId;
    QStringList filters;
  } cases[] = {
      {1033, {"Profile files (*.kst)", "All files (*)"}},
      {1036, {"Fichiers de profil (*.kst)", "Tous les fichiers (*)"}},
  };
  for (const auto& c : cases) {
    language->SetLanguageId(c.languageId);
    for (const int command : {kCommandImport, kCommandExport}) {
      SCOPED_TRACE(c.languageId * 10000 + command);
      EXPECT_EQ(DialogOf(command), std::make_pair(c.filters, true));
    }
  }
  EXPECT_TRUE(boxes.empty());
}

// With slow replies the upload of an import takes seconds; the window's
// thread keeps running its events and the busy animation meanwhile.
TEST_F(MainWindow, ImportUploadsOnTheWorkerWhileTheWindowKeepsRunning) {
  Start();
  const QString file = temp.path() + "/saved.kst";
  ASSERT_TRUE(store->SetAssignment(0, kSlotA, AssignmentKind::SingleKey, kKeyIndexB));
  chosenFile = file;
  dialog->OnCommand(kCommandExport);
  store->SetAssignment(0, kSlotA, AssignmentKind::Default, 0);

  Sim("latency 20000");
  bool postedRan = false;
  bool importRunningThen = false;
  dialog->OnCommand(kCommandImport);
  QMetaObject::invokeMethod(
      dialog.get(),
      [&] {
        postedRan = true;
        importRunningThen = dialog->Upload()->ApplyRunning();
      },
      Qt::QueuedConnection);
  ASSERT_TRUE(WaitFor([&] { return postedRan; }));
  EXPECT_TRUE(importRunningThen) << "the posted event waited for the import";
  EXPECT_TRUE(dialog->BusyPicture()->isVisibleTo(dialog.get()));
  ASSERT_TRUE(WaitFor([&] { return dialog->BusyFrame() != 0; }));
  ASSERT_TRUE(WaitFor([&] { return !dialog->Upload()->ApplyRunning(); }, 30000));
  Sim("latency 0");
  EXPECT_FALSE(dialog->BusyPicture()->isVisibleTo(dialog.get()));
  EXPECT_TRUE(store->GetAssignment(0, kSlotA).Is(AssignmentKind::SingleKey));
  EXPECT_TRUE(Button(kKeyA)->IsSelected());
  EXPECT_FALSE(dialog->ApplyPending());
}

TEST_F(MainWindow, HidingMinimisesWhenTheDesktopHasNoNotificationArea) {
  notificationArea = false;
  // The first show comes straight from hidden: a minimise just before it
  // can leave the window unmapped on a desktop without a window manager.
  struct MinimiseWatch : QObject {
    bool minimised = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::WindowStateChange)
        minimised = minimised || static_cast<QWidget*>(watched)->isMinimized();
      return false;
    }
  } watch;
  dialog->installEventFilter(&watch);
  Start();
  ASSERT_TRUE(dialog->isVisible());
  EXPECT_FALSE(watch.minimised);
  dialog->OnCommand(kIdCancel);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(dialog->isMinimized());
  dialog->ShowMainWindow();
  EXPECT_FALSE(dialog->isMinimized());
}

TEST_F(MainWindow, UnplugHidesAndPlugBringsTheKeyboardBack) {
  Start();
  ASSERT_TRUE(dialog->isVisible());
  Sim("unplug");
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_FALSE(context->state.devicePresent);
  EXPECT_EQ(context->state.trayIcon, kTrayIconDisconnected);
  EXPECT_EQ(Profile(), -1);
  Sim("plug");
  ASSERT_TRUE(Settle());
  EXPECT_TRUE(context->state.devicePresent);
  EXPECT_EQ(context->state.trayIcon, kTrayIconConnected);
  // Only the first connection of the run shows the window by itself.
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(MainWindow, EachUnplugIsToldOnceThroughTheTrayInTheUsersLanguage) {
  Start();
  ASSERT_TRUE(dialog->isVisible());
  EXPECT_TRUE(trayMessages.empty());
  Sim("unplug");
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(dialog->isVisible());
  ASSERT_EQ(trayMessages.size(), 1u);
  EXPECT_EQ(trayMessages[0].title, "Keyboard disconnected");
  EXPECT_EQ(trayMessages[0].text,
            language->LoadLangText("IDS_KEYBOARD_GONE_TEXT", language->GetLanguageIndex()));
  EXPECT_FALSE(dialog->NoKeyboardState()->isVisible());

  // A plug whose reads the keyboard leaves unanswered at first (the link
  // retries them), then the next unplug: one notice for that unplug, none
  // for the connection, its retries or its failed reads.
  language->SetLanguageId(0x040C);
  Sim("fault no-reply 4");
  Sim("plug");
  ASSERT_TRUE(Settle());
  EXPECT_EQ(trayMessages.size(), 1u);
  Sim("unplug");
  ASSERT_TRUE(Settle());
  ASSERT_EQ(trayMessages.size(), 2u);
  EXPECT_EQ(trayMessages[1].title, "Clavier déconnecté");
  EXPECT_EQ(trayMessages[1].text, language->LoadLangText("IDS_KEYBOARD_GONE_TEXT", kFrenchIndex));
}

TEST_F(MainWindow, WithoutATrayTheWindowStaysAndShowsTheKeyboardIsGoneUntilItIsBack) {
  notificationArea = false;
  Start();
  ASSERT_TRUE(dialog->isVisible());
  CPngButton* key = dialog->View()->Button(kKeyA);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->isEnabled());
  CPngButton* ok = Button(kIdOk);
  ASSERT_NE(ok, nullptr);

  Sim("unplug");
  ASSERT_TRUE(Settle());
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(dialog->isMinimized());
  EXPECT_TRUE(trayMessages.empty());
  QLabel* state = dialog->NoKeyboardState();
  ASSERT_TRUE(state->isVisible());
  EXPECT_TRUE(state->text().contains("Keyboard disconnected")) << state->text().toStdString();
  // Over the keyboard picture, which takes no click meanwhile.
  EXPECT_TRUE(state->geometry().contains(key->geometry()));
  EXPECT_FALSE(key->isEnabled());
  EXPECT_TRUE(ok->isEnabled());

  Sim("plug");
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(state->isVisible());
  EXPECT_TRUE(key->isEnabled());
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(MainWindow, OpensCentredOnThePointersScreenThenWhereTheUserLeftItAcrossRuns) {
  screens = {QRect(0, 0, 1920, 1040), QRect(1920, 0, 2560, 1400)};
  pointer = QPoint(2500, 300);
  NewWindow();
  Start();
  ASSERT_TRUE(dialog->isVisible());
  const QSize size = dialog->frameGeometry().size();
  EXPECT_EQ(dialog->pos(), QPoint(1920 + (2560 - size.width()) / 2, (1400 - size.height()) / 2));

  // Hidden and shown again within the run: where the user put it.
  dialog->move(300, 200);
  dialog->OnCommand(kIdCancel);
  ASSERT_FALSE(dialog->isVisible());
  dialog->ShowMainWindow();
  EXPECT_EQ(dialog->pos(), QPoint(300, 200));

  // Left on the second screen at exit: the next run opens it there.
  dialog->move(2000, 100);
  dialog->ExitSequence();
  const QString key = QString::fromLatin1(kLanguageRegistryKey);
  EXPECT_EQ(registry->GetDword(key, QString::fromLatin1(kWindowLeftValue)), 2000u);
  EXPECT_EQ(registry->GetDword(key, QString::fromLatin1(kWindowTopValue)), 100u);
  NewWindow();
  Start();
  dialog->ShowMainWindow();
  ASSERT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->pos(), QPoint(2000, 100));

  // That screen gone, the next show brings the window back onto the one left.
  dialog->OnCommand(kIdCancel);
  screens = {QRect(0, 0, 1920, 1040)};
  pointer = QPoint(10, 10);
  dialog->ShowMainWindow();
  EXPECT_EQ(dialog->pos(), QPoint((1920 - size.width()) / 2, (1040 - size.height()) / 2));
}

// The picture of an icon: icons loaded apart are different objects.
QImage IconImage(const QIcon& icon) {
  return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST_F(MainWindow, EveryWindowsIconFollowsTheTrayPicture) {
  Start();
  QMessageBox box(QMessageBox::Information, QString(), QStringLiteral("text"), QMessageBox::Ok,
                  dialog.get());
  // The about box closes with the unplug: it is opened again each time.
  const auto expectIcons = [&](int resource) {
    SCOPED_TRACE(resource);
    EXPECT_EQ(context->state.trayIcon, resource);
    dialog->OnCommand(kCommandAbout);
    ASSERT_NE(dialog->AboutBox(), nullptr);
    const QImage expected = IconImage(LoadAppIcon(context->paths.programFolder, resource));
    for (const QWidget* window :
         {static_cast<QWidget*>(dialog.get()), static_cast<QWidget*>(dialog->AboutBox()),
          static_cast<QWidget*>(&box)}) {
      EXPECT_EQ(IconImage(window->windowIcon()), expected) << window->metaObject()->className();
    }
  };
  ASSERT_NE(IconImage(LoadAppIcon(context->paths.programFolder, kTrayIconConnected)),
            IconImage(LoadAppIcon(context->paths.programFolder, kTrayIconDisconnected)));
  expectIcons(kTrayIconConnected);
  dialog->ShowActivityIcon(true);
  expectIcons(kTrayIconActivity);
  dialog->ShowActivityIcon(false);
  expectIcons(kTrayIconConnected);
  Sim("unplug");
  ASSERT_TRUE(Settle());
  expectIcons(kTrayIconDisconnected);
}

TEST_F(MainWindow, EachConnectionReadsTheKeyboardOnceAndFillsTheStoreFromIt) {
  Start();
  // Factory key map (10 chunks), settings, the four key maps (40) and the
  // macro area's header: the rebuild asks for nothing the worker already read.
  constexpr int kConnectionRequests = 10 + 1 + 40 + 1;
  EXPECT_EQ(CtrlRequests(), kConnectionRequests);

  // An assignment that only the keyboard holds comes back with the next
  // connection.
  MakePendingChange(*dialog, *store, 0);
  dialog->OnCommand(kIdApply);
  ASSERT_TRUE(WaitFor([&] { return !dialog->Upload()->ApplyRunning(); }));
  ASSERT_FALSE(dialog->ApplyPending());
  store->InstallDefault();
  dialog->RefreshKeyButtons();
  ASSERT_FALSE(Button(kKeyA)->IsSelected());
  Sim("unplug");
  ASSERT_TRUE(Settle());
  Sim("reports clear");
  Sim("plug");
  ASSERT_TRUE(Settle());
  EXPECT_EQ(CtrlRequests(), kConnectionRequests);
  EXPECT_EQ(Profile(), 0);
  EXPECT_TRUE(store->GetAssignment(0, kSlotA).Is(AssignmentKind::SingleKey));
  EXPECT_TRUE(Button(kKeyA)->IsSelected());
}

TEST_F(MainWindow, TheKeyboardsOwnProfileSwitchAndResetReachTheView) {
  Start();
  ASSERT_TRUE(store->SetAssignment(1, kSlotA, AssignmentKind::SingleKey, kKeyIndexB));
  dialog->RefreshKeyButtons();
  EXPECT_FALSE(Button(kKeyA)->IsSelected());
  Sim("profile-key");
  ASSERT_TRUE(WaitFor([&] { return Profile() == 1; }));
  EXPECT_FALSE(dialog->TimerActive(kTimerFollowProfile));
  EXPECT_TRUE(Button(kKeyA)->IsSelected());

  // The keyboard's own reset: the store is read back from the keyboard.
  MakePendingChange(*dialog, *store, Profile());
  Sim("factory-reset");
  ASSERT_TRUE(WaitFor([&] { return !dialog->ApplyPending(); }));
  EXPECT_FALSE(dialog->TimerActive(kTimerReloadAfterReset));
  EXPECT_FALSE(Button(kKeyA)->IsSelected());
  // The reset put the keyboard back on its first profile.
  EXPECT_EQ(Profile(), 0);
}

TEST_F(MainWindow, TheKeyboardsNoticesWaitForAnotherThreadsSequenceWithoutBlockingTheWindow) {
  Start();
  // Another thread (an upload, say) holds the keyboard for a sequence until
  // the window's thread lets it go, or gives up after a while.
  std::mutex mutex;
  std::condition_variable cv;
  bool held = false, release = false, releasedInTime = false;
  std::thread holder([&] {
    const SequenceHold hold(*dialog->Link());
    std::unique_lock lock(mutex);
    held = true;
    cv.notify_all();
    releasedInTime = cv.wait_for(lock, std::chrono::seconds(5), [&] { return release; });
  });
  {
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return held; });
  }
  Sim("profile-key");
  // Long enough for the notice's timer to run several times.
  WaitFor([] { return false; }, 150);
  EXPECT_EQ(Profile(), 0);
  {
    std::lock_guard lock(mutex);
    release = true;
    cv.notify_all();
  }
  holder.join();
  EXPECT_TRUE(releasedInTime) << "the window's thread waited for the sequence";
  ASSERT_TRUE(WaitFor([&] { return Profile() == 1; }));
  EXPECT_FALSE(dialog->TimerActive(kTimerFollowProfile));
}

TEST_F(MainWindow, ExitSequenceEndsTheRunOnce) {
  Start();
  MakePendingChange(*dialog, *store, 0);
  int finished = 0;
  QObject::connect(dialog.get(), &QDialog::finished, [&] { ++finished; });
  dialog->OnCommand(kIdClose);
  dialog->OnCommand(kCommandExit);
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(dialog->Exited());
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_FALSE(dialog->ApplyPending());
  EXPECT_FALSE(dialog->Tray()->IsCreated());
  EXPECT_TRUE(store->GetAssignment(0, kSlotA).Is(AssignmentKind::Default));
  // Nothing shows after the end.
  dialog->ShowMainWindow();
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(MainWindow, ButtonsThatAreNotOfferedDoNotShowInThePicture) {
  Start();
  const QImage skin(QStringLiteral(KST_BIN_DIR "/Skins/main_normal.jpg"));
  // A point inside the button's picture, clear of the caption it draws.
  auto centre = [&](const char* key) {
    const SkinRect rect = ReadSkinRect(dialog->SkinFileName(), "BUTTONINFO", key);
    return QPoint(rect.x + 8, rect.y + rect.height / 2);
  };
  auto shows = [&](const char* key) {
    const QImage window = RenderWindow(*dialog);
    return window.pixel(centre(key)) == skin.pixel(centre(key));
  };
  // The profile bar and the macro button have nothing to do yet; OK has.
  EXPECT_FALSE(shows("FUNC_DEFAULT"));
  EXPECT_FALSE(shows("FUNC_MACRO"));
  EXPECT_TRUE(shows("CONTROL_OK"));
  CKestruneDlg::Parts parts;
  parts.openKeyAssignment = [](AssignmentSlot, bool, int) {};
  dialog->SetParts(parts);
  EXPECT_TRUE(shows("FUNC_MACRO"));
}

using MainWindowDeathTest = MainWindowFixture;

TEST_F(MainWindowDeathTest, AMissingOrDamagedMainPictureEndsTheProcessNamingTheFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const test::DeathTestFolders folders(temp.path());
  // Each main picture is checked at start, whether it is drawn at once or
  // only when the lighting panel first asks for it.
  const struct {
    const char* file;
    bool damaged;  // there, but not a picture
  } cases[] = {{"main_over.jpg", false}, {"main_down.jpg", true},    {"main_disable.jpg", true},
               {"Arrow.jpg", false},     {"main_color0.jpg", false}, {"main_color1.jpg", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const QString program = temp.path() + "/program-" + c.file;
    ASSERT_TRUE(QDir().mkpath(program + "/Skins"));
    for (const QString& name : QDir(QStringLiteral(KST_BIN_DIR "/Skins")).entryList(QDir::Files)) {
      if (name == c.file) continue;
      ASSERT_TRUE(
          QFile::copy(QStringLiteral(KST_BIN_DIR "/Skins/") + name, program + "/Skins/" + name));
    }
    if (c.damaged) {
      QFile file(program + "/Skins/" + c.file);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write("not a picture");
    }
    context->paths.programFolder = program;
    EXPECT_EXIT(
        {
          CKestruneDlg window(*context);
          window.OnInitDialog();
        },
        ::testing::ExitedWithCode(0), QRegularExpression::escape(c.file).toStdString());
  }
}

}  // namespace
}  // namespace kst::mwtest
