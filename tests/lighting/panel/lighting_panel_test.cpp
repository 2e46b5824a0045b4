// The lighting panel on the real main window over the simulated keyboard:
// which controls each effect shows, where the direction group goes, and what
// the keyboard holds after the user works the controls.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QTest>

#include <map>

#include "controls_app.h"
#include "foundation/IniFile.h"
#include "foundation/SkinLayout.h"
#include "lighting/EffectList.h"
#include "lighting/LightingModel.h"
#include "lighting/panel/CBitmapSlider.h"
#include "lighting/panel/CSkinColorBtn.h"
#include "lighting/panel/LightingPanel.h"
#include "lighting/panel/MainWindowLighting.h"
#include "mainwindow/main_window_harness.h"
#include "skin/CPngButton.h"
#include "skin/SkinLayoutOps.h"

namespace kst::mwtest {
namespace {

using namespace panel_id;

class LightingPanelTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    test::EnsureControlsApp();
    MainWindowFixture::SetUp();
    lighting = std::make_unique<MainWindowLighting>(*dialog, *context);
    Start();
    ASSERT_NE(lighting->Model(), nullptr);
    ASSERT_NE(lighting->Panel(), nullptr);
  }
  void TearDown() override {
    lighting.reset();
    MainWindowFixture::TearDown();
  }

  LightingModel& Model() { return *lighting->Model(); }
  LightingPanel& Panel() { return *lighting->Panel(); }
  QWidget* Control(int id) { return Panel().Control(id); }
  bool Shown(int id) { return Control(id) && Control(id)->isVisibleTo(dialog.get()); }

  void EditModeOn() {
    if (!Model().State().editMode) {
      ASSERT_TRUE(Model().ToggleEditMode());
    }
  }
  void ChooseEffect(EffectCode code) {
    const int index = EffectListIndex(Model().State(), code);
    ASSERT_GE(index, 0) << "the keyboard does not offer " << int(code);
    auto* list = qobject_cast<QComboBox*>(Control(kEffectList));
    ASSERT_NE(list, nullptr);
    list->setCurrentIndex(index);
    emit list->activated(index);
    Settle();
  }
  // Byte `offset` of the active profile's record in the keyboard's memory.
  int RecordByte(int offset) {
    const QByteArray bytes = QByteArray::fromHex(QByteArray::fromStdString(Sim("read parameters")));
    const int at = Model().State().activeProfile * 42 + offset;
    return at < bytes.size() ? static_cast<std::uint8_t>(bytes[at]) : -1;
  }
  QString SkinFile() const { return dialog->SkinFileName(); }
  QPoint SkinPosition(const QString& key) {
    return GeometryFromSkinRect(
               ReadSkinRect(SkinFile(), QString::fromLatin1(kButtonInfoSection), key))
        .topLeft();
  }

  std::unique_ptr<MainWindowLighting> lighting;
};

// The controls each code shows with edit mode on, by group, as the user
// should find them. Codes the keyboard does not list (0, 19, 24, 25) show
// none of the parameter controls.
const std::map<int, QString> kShownGroups = {
    {0, ""},
    {1, "list speed direction colourA"},
    {2, "list speed direction colourA"},
    {3, "list speed direction colourA"},
    {4, "list speed"},
    {5, "list speed colourA"},
    {6, "list colourB"},
    {7, "list speed colourA"},
    {8, "list speed colourA"},
    {9, "list speed colourA"},
    {10, "list speed colourA"},
    {11, "list speed"},
    {12, "list speed direction"},
    {13, "list speed colourA"},
    {14, "list speed colourA"},
    {15, "list speed colourA"},
    {16, "list colourB"},
    {17, "list choice"},
    {18, "list direction"},
    {19, ""},
    {20, "list custom"},
    {21, "list speed colourA"},
    {22, "list"},
    {23, "list speed"},
    {24, ""},
    {25, ""},
};

const std::map<QString, QList<int>> kGroupControls = {
    {"list", {kEffectList, kBrightnessCaption, kBrightness}},
    {"speed", {kSpeedCaption, kSpeed}},
    {"direction", {kDirectionCaption, kDirectionFirst, kDirectionSecond}},
    {"colourA",
     {kColourACaption, kColourA, kMultiACaption, kMultiA, kRgbCaption, kRed, kRed + 1, kRed + 2}},
    {"colourB",
     {kColourBCaption, kColourB, kMultiBCaption, kMultiB, kRgbCaption, kRed, kRed + 1, kRed + 2}},
    {"choice", {kChoiceRed, kChoiceRed + 1, kChoiceRed + 2, kChoiceRed + 3}},
    {"custom",
     {kPaintCaption, kPaintColour, kBaseCaption, kBaseColour, kToolCaption, kToolPaint, kToolBase,
      kUserModes, kRgbCaption, kRed, kRed + 1, kRed + 2}},
};

QSet<int> ExpectedShown(int code) {
  QSet<int> ids = {kEditSwitch, kTitle};
  for (const QString& group : kShownGroups.at(code).split(u' ', Qt::SkipEmptyParts)) {
    for (int id : kGroupControls.at(group)) ids.insert(id);
  }
  return ids;
}

const QList<int> kAllControls = {kEditSwitch,
                                 kTitle,
                                 kEffectList,
                                 kBrightnessCaption,
                                 kBrightness,
                                 kSpeedCaption,
                                 kSpeed,
                                 kDirectionCaption,
                                 kDirectionFirst,
                                 kDirectionSecond,
                                 kColourACaption,
                                 kColourA,
                                 kMultiACaption,
                                 kMultiA,
                                 kColourBCaption,
                                 kColourB,
                                 kMultiBCaption,
                                 kMultiB,
                                 kChoiceRed,
                                 kChoiceRed + 1,
                                 kChoiceRed + 2,
                                 kChoiceRed + 3,
                                 kPaintCaption,
                                 kPaintColour,
                                 kBaseCaption,
                                 kBaseColour,
                                 kToolCaption,
                                 kToolPaint,
                                 kToolBase,
                                 kUserModes,
                                 kReportRateCaption,
                                 kRgbCaption,
                                 kRed,
                                 kRed + 1,
                                 kRed + 2};

TEST(LightingPanelMatrix, EveryCodeShowsItsControls) {
  for (int code = 0; code <= 25; ++code) {
    const QSet<int> expected = ExpectedShown(code);
    for (int id : kAllControls) {
      EXPECT_EQ(ShownForEffect(id, static_cast<EffectCode>(code)), expected.contains(id))
          << "effect " << code << ", control " << id;
    }
  }
}

TEST_F(LightingPanelTest, TheWindowShowsTheMatrixWithEditModeOnAndOnlyTheSwitchWithItOff) {
  for (int id : kAllControls) {
    EXPECT_EQ(Shown(id), id == kEditSwitch || id == kTitle) << "edit mode off, control " << id;
  }
  EditModeOn();
  for (const LightingState::EffectEntry& entry : Model().State().Effects()) {
    ChooseEffect(entry.code);
    ASSERT_EQ(Model().State().effect, entry.code);
    const QSet<int> expected = ExpectedShown(entry.code);
    for (int id : kAllControls) {
      EXPECT_EQ(Shown(id), expected.contains(id))
          << "effect " << int(entry.code) << ", control " << id;
    }
  }
  ASSERT_FALSE(Model().ToggleEditMode());
  for (int id : kAllControls) {
    EXPECT_EQ(Shown(id), id == kEditSwitch || id == kTitle)
        << "edit mode off again, control " << id;
  }
}

TEST_F(LightingPanelTest, TheSwitchStaysOffWhileAnEditorIsOpen) {
  const QString wskb = Model().Paths().WskbFile();
  QFile before(wskb);
  ASSERT_TRUE(before.open(QIODevice::ReadOnly));
  const QByteArray stored = before.readAll();
  before.close();
  bool editorOpen = true;
  CKestruneDlg::Parts parts;
  parts.editorOpen = [&editorOpen] { return editorOpen; };
  dialog->PlugIn(std::move(parts));

  QTest::mouseClick(Control(kEditSwitch), Qt::LeftButton);
  EXPECT_FALSE(Model().State().editMode);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("close the editor")));
  EXPECT_FALSE(Shown(kEffectList));
  EXPECT_EQ(Panel().PictureShown(kEditSwitch), QStringLiteral("dengup.bmp"));
  QFile after(wskb);
  ASSERT_TRUE(after.open(QIODevice::ReadOnly));
  EXPECT_EQ(after.readAll(), stored) << "the stored switch changed";

  editorOpen = false;
  QTest::mouseClick(Control(kEditSwitch), Qt::LeftButton);
  EXPECT_TRUE(Model().State().editMode);
  EXPECT_TRUE(Shown(kEffectList));
  EXPECT_EQ(Panel().PictureShown(kEditSwitch), QStringLiteral("dengdown.bmp"));
}

TEST_F(LightingPanelTest, TheDirectionGroupMovesAndTakesThePicturesOfTheEffect) {
  EditModeOn();
  const struct {
    EffectCode effect;
    const char* suffix;
    const char* first;
    const char* second;
  } cases[] = {{1, "2", "leftup.bmp", "rightdown.bmp"},
               {12, "3", "upup.bmp", "downdown.bmp"},
               {18, "", "kuosan.bmp", "julongdown.bmp"}};
  for (const auto& c : cases) {
    ChooseEffect(c.effect);
    // The default records hold direction 0x00: the second control chosen.
    ASSERT_EQ(Model().State().direction, kDirectionRight);
    const QString suffix = QString::fromLatin1(c.suffix);
    EXPECT_EQ(Control(kDirectionCaption)->pos(), SkinPosition("CONTROL_BLFXStatic" + suffix));
    EXPECT_EQ(Control(kDirectionFirst)->pos(), SkinPosition("CONTROL_BLFXLStaPic" + suffix));
    EXPECT_EQ(Control(kDirectionSecond)->pos(), SkinPosition("CONTROL_BLFXRStaPic" + suffix));
    EXPECT_EQ(Panel().PictureShown(kDirectionFirst), QLatin1String(c.first));
    EXPECT_EQ(Panel().PictureShown(kDirectionSecond), QLatin1String(c.second));
  }
  QTest::mouseClick(Control(kDirectionFirst), Qt::LeftButton);
  EXPECT_EQ(RecordByte(3), 0xFF);
  EXPECT_EQ(Panel().PictureShown(kDirectionFirst), QStringLiteral("kuosandown.bmp"));
  EXPECT_EQ(Panel().PictureShown(kDirectionSecond), QStringLiteral("julong.bmp"));
}

TEST_F(LightingPanelTest, TheRgbBoxesShowAndSetTheColourOnShow) {
  EditModeOn();
  ChooseEffect(1);
  auto* red = qobject_cast<QLineEdit*>(Control(kRed));
  auto* green = qobject_cast<QLineEdit*>(Control(kRed + 1));
  auto* blue = qobject_cast<QLineEdit*>(Control(kRed + 2));
  ASSERT_TRUE(red && green && blue);
  EXPECT_EQ(red->text(), QString::number(RecordByte(5)));

  red->clear();
  QTest::keyClicks(red, "300");
  EXPECT_EQ(red->text(), QStringLiteral("255"));
  green->setText(QStringLiteral("16"));
  blue->setText(QStringLiteral("32"));
  emit blue->editingFinished();
  Settle();
  EXPECT_EQ(RecordByte(5), 255);
  EXPECT_EQ(RecordByte(6), 16);
  EXPECT_EQ(RecordByte(7), 32);
  EXPECT_EQ(RecordByte(4), 0) << "a colour set from the boxes is a single colour";
  EXPECT_EQ(qobject_cast<CSkinColorBtn*>(Control(kColourA))->Colour(), MakeColorRef(255, 16, 32));
}

TEST_F(LightingPanelTest, APickedColourTurnsMulticolourOffOnTheKeyboardAndInBothPictures) {
  EditModeOn();
  ChooseEffect(6);
  if (!Model().State().multicolour) {
    ASSERT_GE(Model().ToggleMulticolour(), 0);
  }
  Panel().Refresh();
  ASSERT_EQ(RecordByte(4), 1);
  auto* picker = qobject_cast<CSkinColorBtn*>(Control(kColourB));
  ASSERT_NE(picker, nullptr);
  emit picker->colourPicked(MakeColorRef(10, 20, 30));
  EXPECT_EQ(RecordByte(4), 0);
  EXPECT_EQ(RecordByte(5), 10);
  EXPECT_EQ(Panel().PictureShown(kMultiA), QStringLiteral("sjsup.bmp"));
  EXPECT_EQ(Panel().PictureShown(kMultiB), QStringLiteral("sjsup.bmp"));
  EXPECT_EQ(qobject_cast<CSkinColorBtn*>(Control(kColourA))->Colour(), MakeColorRef(10, 20, 30));
}

// The panel reads a picture only once a control on show needs it: with edit
// mode off only the switch's; an effect's pictures when it is chosen, and
// then the controls hold exactly the skin's pixels.
TEST_F(LightingPanelTest, PicturesAreReadWhenTheirControlIsFirstShown) {
  const QString folder = dialog->SkinFolderPath() + u'/';
  auto pixels = [](const QPixmap& picture) {
    return picture.toImage().convertToFormat(QImage::Format_RGB32);
  };
  auto holds = [&](int id, const QString& file) {
    auto* label = qobject_cast<QLabel*>(Control(id));
    return label && pixels(label->pixmap()) == pixels(QPixmap(folder + file));
  };
  ASSERT_FALSE(Model().State().editMode);
  EXPECT_TRUE(Panel().PictureLoaded(QStringLiteral("dengup.bmp")));
  EXPECT_TRUE(holds(kEditSwitch, QStringLiteral("dengup.bmp")));
  const QStringList later = {"dengdown.bmp",   "leftup.bmp", "rightdown.bmp", "kuosan.bmp",
                             "julongdown.bmp", "sjsup.bmp",  "hong.bmp",      "user1up.bmp",
                             "0.bmp",          "5.bmp"};
  for (const QString& file : later)
    EXPECT_FALSE(Panel().PictureLoaded(file)) << file.toStdString() << " read before it is shown";

  EditModeOn();
  ChooseEffect(1);
  EXPECT_TRUE(holds(kEditSwitch, QStringLiteral("dengdown.bmp")));
  EXPECT_TRUE(holds(kDirectionFirst, QStringLiteral("leftup.bmp")));
  EXPECT_TRUE(holds(kDirectionSecond, QStringLiteral("rightdown.bmp")));
  EXPECT_TRUE(holds(kMultiA, Panel().PictureShown(kMultiA)));
  const auto* brightness = qobject_cast<CBitmapSlider*>(Control(kBrightness));
  ASSERT_NE(brightness, nullptr);
  EXPECT_EQ(pixels(brightness->Channel()),
            pixels(QPixmap(folder + QStringLiteral("%1.bmp").arg(brightness->Pos()))));
  // Effect 18's direction pictures and the custom effect's tools still wait.
  for (const char* file : {"kuosan.bmp", "julongdown.bmp", "user1up.bmp", "hong.bmp"})
    EXPECT_FALSE(Panel().PictureLoaded(QLatin1String(file))) << file;

  ChooseEffect(18);
  EXPECT_TRUE(holds(kDirectionFirst, QStringLiteral("kuosan.bmp")));
  EXPECT_TRUE(holds(kDirectionSecond, QStringLiteral("julongdown.bmp")));
}

TEST_F(LightingPanelTest, TheSpeedSliderAtItsLeftEndWritesTheHighestSpeed) {
  EditModeOn();
  ChooseEffect(1);
  auto* speed = qobject_cast<CBitmapSlider*>(Control(kSpeed));
  ASSERT_NE(speed, nullptr);
  QTest::mouseClick(speed, Qt::LeftButton, {}, QPoint(0, speed->height() / 2));
  ASSERT_TRUE(WaitFor([&] { return RecordByte(2) == 4; })) << "speed stayed " << RecordByte(2);
  EXPECT_EQ(speed->Pos(), 0);
  const QImage expected(dialog->SkinFolderPath() + QStringLiteral("/5.bmp"));
  ASSERT_FALSE(expected.isNull());
  EXPECT_EQ(speed->Channel().toImage().convertToFormat(QImage::Format_RGB32),
            expected.convertToFormat(QImage::Format_RGB32));
}

TEST_F(LightingPanelTest, RenamingTheUserModeKeepsOneEntryAndWritesItsName) {
  EditModeOn();
  ChooseEffect(20);
  auto* modes = qobject_cast<QComboBox*>(Control(kUserModes));
  ASSERT_NE(modes, nullptr);
  const int entries = modes->count();
  ASSERT_GE(entries, 1);
  modes->lineEdit()->setText(QStringLiteral("Night"));
  emit modes->lineEdit()->editingFinished();
  EXPECT_EQ(modes->count(), entries);
  EXPECT_EQ(modes->itemText(Model().State().userMode), QStringLiteral("Night"));
  CIniFile file(Model().Paths().ModeFile(Model().State().activeProfile));
  EXPECT_EQ(file.GetString(QStringLiteral("MODENAME"), QString::number(Model().State().userMode),
                           QString()),
            QStringLiteral("Night"));
}

TEST_F(LightingPanelTest, AKeyClickInEditModePaintsTheKeyAndD1DoesNothing) {
  EditModeOn();
  ChooseEffect(20);
  constexpr int kIdKeyA = 1058;
  constexpr int kLedOfA = 64;
  constexpr int kIdD1 = 1016;
  const ColorRef paint = Model().State().paintColour;
  Sim("write colours " + std::to_string(Model().State().activeProfile * 512 + 3 * kLedOfA) +
      " 010203");
  dialog->View()->KeyClicked(kIdKeyA);
  Settle();
  CPngButton* keyA = dialog->View()->Button(kIdKeyA);
  EXPECT_TRUE(keyA->ColourFrameOn());
  EXPECT_EQ(keyA->ColourFrameColour(), paint);
  const QByteArray colours = QByteArray::fromHex(QByteArray::fromStdString(Sim("read colours")));
  const int at = Model().State().activeProfile * 512 + 3 * kLedOfA;
  ASSERT_GE(colours.size(), at + 3);
  EXPECT_EQ(MakeColorRef(colours[at], colours[at + 1], colours[at + 2]), paint);

  Sim("reports clear");
  dialog->View()->KeyClicked(kIdD1);
  Settle();
  EXPECT_EQ(CtrlRequests(), 0) << "D1 sent something to the keyboard";
  EXPECT_FALSE(dialog->View()->Button(kIdD1)->ColourFrameOn());
}

}  // namespace
}  // namespace kst::mwtest
