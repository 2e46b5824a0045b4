// The profile manager dialog, offscreen, on a real store, language, registry
// and profile folder in a temporary folder; the main window is a fake that
// records what it was asked. The dialog is modal: each test runs its steps
// inside the open dialog (Run) and looks at the registry afterwards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editors/profiles/CKestrune_DlgProfile.h"
#include "editors/profiles/ProfileListModel.h"
#include "editors/profiles/ProfileManagerHost.h"
#include "foundation/Language.h"
#include "foundation/SkinLayout.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "skin/CPngButton.h"
#include "skin/SkinKeys.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFiles.h"
#include "support/ButtonLooks.h"
#include "support/DeathTestFolders.h"
#include "support/KeyPresses.h"
#include "support/Unprivileged.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace kst {
namespace {

namespace id = profile_manager_id;

constexpr std::uint16_t kEnglish = 1033;

class FakeHost : public ProfileManagerHost {
 public:
  int profile = 0;
  int switchResult = 1;
  std::vector<std::string> calls;

  int CurrentProfile() override { return profile; }
  int SwitchKeyboardProfile(int p) override {
    calls.push_back("switch " + std::to_string(p));
    profile = switchResult == 1 ? p : -1;
    return switchResult;
  }
  void ReloadActiveProfile() override { calls.push_back("reload"); }
  void ShowSwitchedProfile() override { calls.push_back("show"); }
  void DisableMainApply() override { calls.push_back("main apply off"); }
  void OpenHelp() override { calls.push_back("help"); }
};

class RecordingBoxes : public MessageBoxes {
 public:
  std::vector<QString> shown;
  bool Show(const QString& text, MessageKind kind) override {
    EXPECT_EQ(kind, MessageKind::Information);
    shown.push_back(text);
    return false;
  }
};

const std::vector<std::string> kAppliedAfterSwitch(int profile) {
  return {"switch " + std::to_string(profile), "reload", "show", "main apply off"};
}

class ProfileDialogTest : public ::testing::Test {
 public:
  QTemporaryDir temp;
  AppPaths paths;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<Language> language;
  std::unique_ptr<AppProfile> appProfile;
  AssignmentStore store;
  RecordingBoxes boxes;
  std::unique_ptr<ProfileFiles> files;
  FakeHost host;
  std::unique_ptr<CKestrune_DlgProfile> dialog;
  std::vector<QString>& messages = boxes.shown;
  // What the file dialogs answer; nullopt fails the test when one is shown.
  std::optional<QString> newFile, existingFile;
  QString suggested;  // what the save dialog was given

  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    paths.programFolder = QStringLiteral(KST_BIN_DIR);
    paths.dataFolder = temp.path() + "/data";
    paths.registryFile = temp.path() + "/registry.reg";
    registry = std::make_unique<Registry>(paths.registryFile);
    language = std::make_unique<Language>(*registry, paths.programFolder, [] { return kEnglish; });
    // The first use records the language; done now, before any case takes
    // the registry away.
    language->GetLanguageIndex();
    appProfile = std::make_unique<AppProfile>(*registry);
    files = std::make_unique<ProfileFiles>(store, paths, *language, boxes);
    dialog =
        std::make_unique<CKestrune_DlgProfile>(host, *files, *language, *registry, boxes, paths);
    CKestrune_DlgProfile::Seams seams;
    seams.chooseNewFile = [this](const QString& path) {
      suggested = path;
      EXPECT_TRUE(newFile.has_value()) << "unexpected save dialog";
      return newFile.value_or(QString());
    };
    seams.chooseExistingFile = [this](const QString&) {
      EXPECT_TRUE(existingFile.has_value()) << "unexpected open dialog";
      return existingFile.value_or(QString());
    };
    dialog->SetSeams(std::move(seams));
  }

  // Opens the dialog, runs the steps inside it, then closes it with Cancel
  // unless the steps closed it. Returns the dialog's result.
  int Run(const std::function<void()>& steps) {
    QTimer::singleShot(0, dialog.get(), [this, &steps] {
      steps();
      if (dialog->IsOpen()) dialog->OnCommand(id::kCancel);
    });
    return dialog->Open();
  }

  ProfileListModel& Model() { return dialog->Model(); }
  bool ApplyEnabled() { return dialog->Button(id::kApply)->isEnabled(); }
  void CheckFromView(int row) {
    EXPECT_TRUE(Model().setData(Model().index(row, ProfileListModel::kActiveColumn), Qt::Checked,
                                Qt::CheckStateRole));
  }
  void Select(int row) { dialog->List()->selectRow(row); }
  int SelectedRow() {
    const QModelIndexList rows = dialog->List()->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
  }
  std::optional<QString> Stored(int number) { return appProfile->GetProfileValue(number); }
  QString Folder() { return QDir::toNativeSeparators(paths.dataFolder) + QDir::separator(); }
  QString WorkingEntry() { return Folder() + "$Profile0.kst"; }
};

TEST_F(ProfileDialogTest, OpensWithFourWorkingFileRowsAndTheCurrentProfileChecked) {
  struct Case {
    int keyboardProfile;
    int checked;
  };
  for (const Case c : {Case{2, 2}, Case{0, 0}, Case{3, 3}, Case{-1, -1}}) {
    SCOPED_TRACE(c.keyboardProfile);
    host.profile = c.keyboardProfile;
    Run([&] {
      EXPECT_EQ(dialog->OpenCount(), 1);
      ASSERT_EQ(Model().RowCount(), 4);
      for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(Model().At(row).name, "$Profile0");
        EXPECT_EQ(Model().At(row).folder, Folder());
      }
      EXPECT_EQ(Model().CheckedRow(), c.checked);
      EXPECT_FALSE(dialog->Modified());
      EXPECT_FALSE(ApplyEnabled());
      // The list and the buttons stand where the skin puts them.
      const SkinRect list = ReadSkinRect(ProfileSkinFile(paths), "BUTTONINFO", "PROGRAM_LIST");
      EXPECT_EQ(dialog->List()->geometry(), QRect(list.x, list.y, list.width, list.height));
      EXPECT_TRUE(dialog->List()->isVisible());
      for (int button : {id::kAdd, id::kLoad, id::kDelete, id::kOk, id::kCancel, id::kApply})
        EXPECT_TRUE(dialog->Button(button)->isVisible()) << button;
    });
    EXPECT_EQ(dialog->OpenCount(), 0);
    EXPECT_TRUE(host.calls.empty());
  }
}

TEST_F(ProfileDialogTest, CheckingAnotherRowAndApplySwitchesTheKeyboard) {
  host.profile = 2;
  Run([&] {
    CheckFromView(1);
    EXPECT_TRUE(dialog->Modified());
    EXPECT_TRUE(ApplyEnabled());
    dialog->OnCommand(id::kApply);
    EXPECT_EQ(host.calls, kAppliedAfterSwitch(1));
    EXPECT_FALSE(dialog->Modified());
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_TRUE(dialog->IsOpen());
  });
  EXPECT_EQ(host.profile, 1);
  EXPECT_EQ(Stored(0), "4");
  for (int number = 1; number <= 4; ++number) EXPECT_EQ(Stored(number), WorkingEntry()) << number;
  EXPECT_EQ(Stored(5), std::nullopt);
}

TEST_F(ProfileDialogTest, AddWithTheSuggestedNameCreatesADefaultProfileFile) {
  const QString expected = paths.dataFolder + "/The new contextual  mode.kst";
  Run([&] {
    newFile = dialog->SuggestedNewFile();
    dialog->OnCommand(id::kAdd);
    EXPECT_EQ(suggested, QDir::toNativeSeparators(paths.dataFolder + "/The new contextual  mode"));
    ASSERT_EQ(Model().RowCount(), 5);
    EXPECT_EQ(Model().At(4).name, "The new contextual  mode");
    EXPECT_EQ(Model().At(4).folder, Folder());
    EXPECT_EQ(SelectedRow(), 4);
    EXPECT_TRUE(ApplyEnabled());
    dialog->OnCommand(id::kApply);
  });
  EXPECT_TRUE(messages.empty());
  ASSERT_TRUE(QFileInfo(expected).isFile());
  EXPECT_EQ(files->CheckProfileFile(expected), 1);
  EXPECT_EQ(Stored(0), "5");
  EXPECT_EQ(Stored(5), QDir::toNativeSeparators(expected));
}

TEST_F(ProfileDialogTest, AddThatCannotCreateTheFileSaysWhyAndAppendsNoRow) {
  // Each case runs as a user whom permissions bind, in a folder of its own.
  struct Case {
    const char* name;
    std::function<QString(const QString& folder)> path;  // the file chosen in the folder
    int reason;                                          // errno the message gives
  };
  const Case cases[] = {
      {"a folder without write permission",
       [](const QString& folder) {
         QDir(folder).mkdir("locked");
         QFile::setPermissions(folder + "/locked", QFile::ReadOwner | QFile::ExeOwner);
         return folder + "/locked/new.kst";
       },
       EACCES},
      {"a name of 300 characters",
       [](const QString& folder) { return folder + "/" + QString(296, QLatin1Char('n')) + ".kst"; },
       ENAMETOOLONG},
      {"a folder that is not there", [](const QString& folder) { return folder + "/gone/new.kst"; },
       ENOENT},
  };
  Run([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const int failed = test::RunUnprivileged([&] {
        QTemporaryDir own;
        if (!own.isValid()) return 1;
        newFile = c.path(own.path());
        dialog->OnCommand(id::kAdd);
        if (messages.size() != 1) return 2;
        if (!messages[0].startsWith(language->LoadLangText(
                QStringLiteral("IDS_PROFILE_CREATE_FAILED"), language->GetLanguageIndex())))
          return 7;
        if (!messages[0].contains(QDir::toNativeSeparators(*newFile))) return 3;
        if (!messages[0].contains(qt_error_string(c.reason))) return 4;
        if (Model().RowCount() != 4) return 5;
        if (dialog->Modified()) return 6;
        if (QFileInfo::exists(*newFile)) return 7;
        return 0;
      });
      EXPECT_EQ(failed, 0) << "1 setting up, 2 no single message, 3 the path not named, "
                              "4 the reason not given, 5 a row appended, 6 Apply enabled, "
                              "7 a file made";
    }
  });
}

TEST_F(ProfileDialogTest, CancelledFileDialogsChangeNothing) {
  newFile = QString();
  existingFile = QString();
  Run([&] {
    dialog->OnCommand(id::kAdd);
    dialog->OnCommand(id::kLoad);
    EXPECT_EQ(Model().RowCount(), 4);
    EXPECT_FALSE(dialog->Modified());
  });
  EXPECT_TRUE(messages.empty());
}

TEST_F(ProfileDialogTest, LoadAppendsARowWithoutReadingTheFile) {
  // Not a profile file at all: Load only names it.
  existingFile = temp.path() + "/elsewhere/race.kst";
  Run([&] {
    dialog->OnCommand(id::kLoad);
    ASSERT_EQ(Model().RowCount(), 5);
    EXPECT_EQ(Model().At(4).name, "race");
    EXPECT_TRUE(ApplyEnabled());
  });
  EXPECT_TRUE(messages.empty());
}

TEST_F(ProfileDialogTest, DeleteRemovesTheSelectedRowAndTheSelectionMoves) {
  struct Case {
    const char* name;
    int selected;  // -1: none
    int rowsAfter;
    int selectedAfter;
  };
  const Case cases[] = {
      {"a middle row: the next one is selected", 1, 5, 1},
      {"the last row: the one before it is selected", 5, 5, 4},
      {"nothing selected: nothing happens", -1, 6, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Run([&] {
      for (const char* name : {"/x/a.kst", "/x/b.kst"}) {
        existingFile = QString::fromLatin1(name);
        dialog->OnCommand(id::kLoad);
      }
      dialog->ShowCurrentProfile(0);  // Apply off again
      dialog->List()->clearSelection();
      if (c.selected >= 0) Select(c.selected);
      const QString following =
          c.selected >= 0 && c.selected + 1 < 6 ? Model().At(c.selected + 1).name : QString();
      dialog->OnCommand(id::kDelete);
      EXPECT_EQ(Model().RowCount(), c.rowsAfter);
      EXPECT_EQ(SelectedRow(), c.selectedAfter);
      if (!following.isEmpty()) {
        EXPECT_EQ(Model().At(c.selectedAfter).name, following);
      }
      EXPECT_EQ(ApplyEnabled(), c.selected >= 0);
    });
  }
}

TEST_F(ProfileDialogTest, DeletingEveryRowAndApplyingStoresNoRowsAndDoesNotSwitch) {
  host.profile = 1;
  Run([&] {
    for (int i = 0; i < 4; ++i) {
      Select(0);
      dialog->OnCommand(id::kDelete);
    }
    EXPECT_EQ(Model().RowCount(), 0);
    EXPECT_EQ(Model().CheckedRow(), -1);
    dialog->OnCommand(id::kApply);
  });
  EXPECT_EQ(Stored(0), "0");
  EXPECT_EQ(Stored(1), std::nullopt);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"reload", "show", "main apply off"}));
}

TEST_F(ProfileDialogTest, RowsBeyondTheFourthNeverReachTheKeyboard) {
  host.profile = 0;
  Run([&] {
    existingFile = temp.path() + "/fifth.kst";
    dialog->OnCommand(id::kLoad);
    ASSERT_EQ(Model().RowCount(), 5);
    const QModelIndex fifth = Model().index(4, ProfileListModel::kActiveColumn);
    EXPECT_FALSE(Model().flags(fifth).testFlag(Qt::ItemIsUserCheckable));
    EXPECT_FALSE(Model().setData(fifth, Qt::Checked, Qt::CheckStateRole));
    // A click on the fifth row's first cell marks nothing either.
    QTableView& list = *dialog->List();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualRect(fifth).topLeft() + QPoint(8, list.rowHeight(4) / 2));
    EXPECT_EQ(Model().CheckedRow(), 0);
    dialog->OnCommand(id::kApply);
  });
  EXPECT_EQ(host.calls, kAppliedAfterSwitch(0));
}

TEST_F(ProfileDialogTest, ReadOnlyRegistryFileGivesAMessageAndApplyStaysOn) {
  ASSERT_TRUE(appProfile->SetProfileValue(0, "4"));
  // The registry's folder and file belong to the user the case runs as;
  // the file itself may only be read.
  if (::geteuid() == 0) {
    for (const QString& path : {temp.path(), paths.registryFile})
      ASSERT_EQ(::chown(QFile::encodeName(path).constData(), test::kUnprivilegedId,
                        test::kUnprivilegedId),
                0);
  }
  ASSERT_TRUE(QFile::setPermissions(paths.registryFile, QFile::ReadOwner));
  host.profile = 2;
  Run([&] {
    CheckFromView(3);
    const int failed = test::RunUnprivileged([&] {
      dialog->OnCommand(id::kApply);
      if (messages.size() != 1) return 1;
      if (!messages[0].startsWith(language->LoadLangText(
              QStringLiteral("IDS_PROFILE_LIST_SAVE_FAILED"), language->GetLanguageIndex())))
        return 7;
      if (!messages[0].contains(QDir::toNativeSeparators(paths.registryFile))) return 2;
      if (!messages[0].contains(qt_error_string(EACCES))) return 3;
      if (!dialog->Modified() || !ApplyEnabled()) return 4;
      if (!host.calls.empty()) return 5;
      // OK cannot record either: the dialog stays open with the list.
      dialog->OnCommand(id::kOk);
      if (!dialog->IsOpen() || messages.size() != 2) return 6;
      return 0;
    });
    EXPECT_EQ(failed, 0) << "1 no single message, 2 the file not named, 3 no reason, "
                            "4 Apply off, 5 the keyboard switched, 6 OK closed";
  });
  EXPECT_EQ(Stored(0), "4");
}

TEST_F(ProfileDialogTest, OkAppliesAndClosesCancelAndCloseIfOpenWriteNothing) {
  struct Case {
    const char* name;
    std::function<void(CKestrune_DlgProfile&)> close;
    int result;
    bool written;
  };
  const Case cases[] = {
      {"OK", [](CKestrune_DlgProfile& d) { d.OnCommand(id::kOk); }, QDialog::Accepted, true},
      {"Cancel", [](CKestrune_DlgProfile& d) { d.OnCommand(id::kCancel); }, QDialog::Rejected,
       false},
      {"Escape", [](CKestrune_DlgProfile& d) { QTest::keyClick(&d, Qt::Key_Escape); },
       QDialog::Rejected, false},
      {"close-if-open", [](CKestrune_DlgProfile& d) { EXPECT_EQ(d.CloseIfOpen(), 1); },
       QDialog::Rejected, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(registry->DeleteValue(kAppProfileKey, "PROFILE00"));
    host.calls.clear();
    host.profile = 0;
    const int result = Run([&] {
      CheckFromView(2);
      c.close(*dialog);
      EXPECT_FALSE(dialog->IsOpen());
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(dialog->OpenCount(), 0);
    EXPECT_FALSE(dialog->Modified());
    EXPECT_EQ(Stored(0).has_value(), c.written);
    EXPECT_EQ(host.calls, c.written ? kAppliedAfterSwitch(2) : std::vector<std::string>{});
  }
  // Closed already: nothing to do.
  EXPECT_EQ(dialog->CloseIfOpen(), 1);
  EXPECT_EQ(dialog->OpenCount(), 0);
}

// The dialog is kept for its next opening, but its pictures live only while
// it is open; each opening shows the same looks.
TEST_F(ProfileDialogTest, PicturesLiveOnlyWhileOpen) {
  std::vector<std::vector<QImage>> looks;
  for (int opening = 0; opening < 2; ++opening) {
    SCOPED_TRACE(opening);
    Run([&] { looks.push_back(test::ButtonLookImages(*dialog)); });
    EXPECT_EQ(test::ButtonsHoldingPictures(*dialog), QStringList());
    for (const QString& file : PictureSetFiles(kProfilePictureSet))
      EXPECT_FALSE(dialog->Pictures().Holds(file)) << file.toStdString();
    EXPECT_TRUE(dialog->Background().isNull());
  }
  ASSERT_EQ(looks.size(), 2u);
  EXPECT_FALSE(looks[0].empty());
  EXPECT_TRUE(looks[0] == looks[1]);
}

TEST_F(ProfileDialogTest, KeyboardSwitchWhileOpenAndHelp) {
  host.profile = 0;
  Run([&] {
    CheckFromView(1);
    EXPECT_TRUE(dialog->Modified());
    // The main window switched the keyboard to profile 3 meanwhile.
    dialog->ShowCurrentProfile(3);
    EXPECT_EQ(Model().CheckedRow(), 3);
    EXPECT_FALSE(dialog->Modified());
    EXPECT_FALSE(ApplyEnabled());
    // Unknown: no row is marked.
    dialog->ShowCurrentProfile(-1);
    EXPECT_EQ(Model().CheckedRow(), -1);
    // Enter does not apply; F1 asks for the help.
    CheckFromView(2);
    QTest::keyClick(dialog.get(), Qt::Key_Return);
    EXPECT_TRUE(dialog->IsOpen());
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(host.calls, std::vector<std::string>{"help"});
  });
}

// From the keyboard: Tab walks the list, its buttons, OK and Cancel (Apply
// joins once something changed); Space checks a row and clicks a button.
TEST_F(ProfileDialogTest, TabWalksTheDialogAndSpaceActs) {
  host.profile = 0;
  const int result = Run([&] {
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    dialog->List()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(test::TabWalk(*dialog),
              (std::vector<std::string>{"PROGRAM_LIST", "FUNC_ADD", "FUNC_LOAD", "FUNC_DELETE",
                                        "CONTROL_OK", "CONTROL_CANCEL"}));
    // Space on the third row's check box marks it: Apply comes on and joins the walk.
    dialog->List()->setFocus(Qt::TabFocusReason);
    dialog->List()->setCurrentIndex(Model().index(2, ProfileListModel::kActiveColumn));
    test::PressKey(Qt::Key_Space);
    EXPECT_EQ(Model().CheckedRow(), 2);
    ASSERT_TRUE(ApplyEnabled());
    dialog->Button(id::kCancel)->setFocus(Qt::TabFocusReason);
    test::PressKey(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog->Button(id::kApply));
    // Space on Cancel closes without a write.
    dialog->Button(id::kCancel)->setFocus(Qt::TabFocusReason);
    test::PressKey(Qt::Key_Space);
    EXPECT_FALSE(dialog->IsOpen());
  });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_FALSE(Stored(0).has_value());
}

using ProfileDialogDeathTest = ProfileDialogTest;

TEST_F(ProfileDialogDeathTest, AMissingOrDamagedButtonPictureEndsTheProcessNamingTheFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const test::DeathTestFolders folders(temp.path());
  const struct {
    const char* file;
    bool damaged;  // there, but not a picture
  } cases[] = {{"Profile_normal.jpg", true},
               {"Profile_over.jpg", false},
               {"Profile_down.jpg", false},
               {"Profile_disable.jpg", false}};
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
    AppPaths missing = paths;
    missing.programFolder = program;
    EXPECT_EXIT(
        {
          CKestrune_DlgProfile broken(host, *files, *language, *registry, boxes, missing);
          broken.OnInitDialog();
        },
        ::testing::ExitedWithCode(0), QRegularExpression::escape(c.file).toStdString());
  }
}

}  // namespace
}  // namespace kst
