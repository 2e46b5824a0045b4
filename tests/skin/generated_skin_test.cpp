// Checks of the skin the build draws into the program folder: every key a
// window reads has its place inside that window, controls shown together do
// not overlap, and every picture a window loads is there and decodes.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImageReader>

#include <set>
#include <vector>

#include "TestApp.h"
#include "foundation/IniFile.h"
#include "foundation/SkinLayout.h"
#include "skin/SkinKeys.h"

namespace kst {
namespace {

const QString kSkins = QStringLiteral(KST_BIN_DIR "/Skins/");

QSize PictureSize(const QString& file) { return QImageReader(kSkins + file).size(); }

std::optional<QRect> Place(const QString& ini, const QString& section, const QString& key) {
  const QString value =
      ReadProfileString(kSkins + ini, section, key, QString(), kSkinValueCapacity);
  if (value.isEmpty()) return std::nullopt;
  const SkinRect r = ParseSkinRect(value);
  return QRect(r.x, r.y, r.width, r.height);
}

QSize WindowSize(const QString& ini) {
  return PictureSize(ReadProfileString(kSkins + ini, "SCREEN", "Main", QString(), 260));
}

struct Window {
  const char* ini;
  std::vector<SkinKey> keys;
};

std::vector<Window> Windows() {
  std::vector<SkinKey> main(MainWindowSkinKeys().begin(), MainWindowSkinKeys().end());
  // The key names outlive every SkinKey that points into them.
  static const std::vector<QByteArray> names = [] {
    std::vector<QByteArray> list;
    for (const QString& key : MainKeyButtonSkinKeys()) list.push_back(key.toLatin1());
    return list;
  }();
  for (const QByteArray& name : names)
    main.push_back({name.constData(), SkinControl::ImageButton, nullptr, SkinGroup::kAlways});
  return {{"Main.ini", main},
          {"Composite.ini", {CompositeSkinKeys().begin(), CompositeSkinKeys().end()}},
          {"Profile.ini", {ProfileSkinKeys().begin(), ProfileSkinKeys().end()}}};
}

TEST(GeneratedSkin, EveryKeyAWindowReadsLiesInsideThatWindow) {
  for (const Window& w : Windows()) {
    SCOPED_TRACE(w.ini);
    const QSize size = WindowSize(w.ini);
    ASSERT_TRUE(size.isValid());
    EXPECT_LE(size.width(), 1280);
    EXPECT_LE(size.height(), 720);
    for (const SkinKey& k : w.keys) {
      SCOPED_TRACE(k.key);
      const auto place = Place(w.ini, "BUTTONINFO", k.key);
      ASSERT_TRUE(place.has_value());
      EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(*place));
      EXPECT_GT(place->width(), 0);
      EXPECT_GT(place->height(), 0);
      EXPECT_NE(place->topLeft(), QPoint(1, 1));  // would hide an image button
    }
  }
}

// Keys of the main window that may share a place: D1-D6 lie on F1-F4.
bool SharesPlaceByDesign(const QString& a, const QString& b) {
  const QStringList extra = ExtraKeySkinKeys();
  const QStringList fKeys = {"KEY_03B", "KEY_03C", "KEY_03D", "KEY_03E"};
  return (extra.contains(a) && (fKeys.contains(b) || extra.contains(b))) ||
         (extra.contains(b) && fKeys.contains(a));
}

void ExpectNoOverlap(const QString& ini, const std::vector<SkinKey>& keys) {
  for (std::size_t i = 0; i < keys.size(); ++i)
    for (std::size_t j = i + 1; j < keys.size(); ++j) {
      const QString a = QString::fromLatin1(keys[i].key), b = QString::fromLatin1(keys[j].key);
      if (SharesPlaceByDesign(a, b)) continue;
      const QRect ra = *Place(ini, "BUTTONINFO", a), rb = *Place(ini, "BUTTONINFO", b);
      EXPECT_FALSE(ra.intersects(rb))
          << qPrintable(ini) << ": " << keys[i].key << " and " << keys[j].key;
    }
}

TEST(GeneratedSkin, ControlsShownTogetherDoNotOverlap) {
  using G = SkinGroup;
  const auto windows = Windows();
  // The lighting panel shows the common controls with one effect's group.
  const std::vector<std::set<G>> mainViews = {{G::kPanelColourA, G::kPanelDirection2},
                                              {G::kPanelColourA},
                                              {G::kPanelColourB},
                                              {G::kPanelChoice},
                                              {G::kPanelCustom},
                                              {G::kPanelDirection},
                                              {G::kPanelDirection3}};
  for (const std::set<G>& view : mainViews) {
    std::vector<SkinKey> shown;
    for (const SkinKey& k : windows[0].keys)
      if (k.group == G::kAlways || k.group == G::kPanelCommon || view.count(k.group))
        shown.push_back(k);
    ExpectNoOverlap("Main.ini", shown);
  }
  // The key assignment dialog shows one page at a time, on its page picture.
  for (G page : {G::kPageKey, G::kPageMacro, G::kPageMedia, G::kPageFunction}) {
    std::vector<SkinKey> shown;
    for (const SkinKey& k : windows[1].keys)
      if (k.group == G::kAlways || k.group == page) shown.push_back(k);
    ExpectNoOverlap("Composite.ini", shown);
    const QRect backdrop = *Place("Composite.ini", "BUTTONINFO", "CONTROL_MASK");
    for (const SkinKey& k : windows[1].keys) {
      if (k.group == page) {
        EXPECT_TRUE(backdrop.contains(*Place("Composite.ini", "BUTTONINFO", k.key))) << k.key;
      }
    }
  }
  ExpectNoOverlap("Profile.ini", windows[2].keys);
}

TEST(GeneratedSkin, ArrowVariantsLieInsideTheArrowPicture) {
  const QSize arrows = PictureSize(kArrowPicture);
  const QRect left = *Place("Main.ini", "BUTTONINFO", "LEFT_ARROW");
  for (const QString& key : MainArrowVariantKeys()) {
    SCOPED_TRACE(qPrintable(key));
    const auto origin = Place("Main.ini", "BUTTONINFO2", key);
    ASSERT_TRUE(origin.has_value());
    EXPECT_TRUE(QRect(QPoint(0, 0), arrows).contains(QRect(origin->topLeft(), left.size())));
  }
}

TEST(GeneratedSkin, EveryPictureIsThereAndDecodes) {
  QStringList files = MainWindowPictures() + LightingPanelPictures();
  for (const PictureSet& set : CompositePictureSets()) files += PictureSetFiles(set);
  files += PictureSetFiles(kProfilePictureSet);
  files += PictureSetFiles(kMainFlipPictureSet);
  files << kIconNoKeyboard << kIconConnected << kIconActivity;
  for (const char* ini : {"Main.ini", "Composite.ini", "Profile.ini"})
    for (const char* name : {"Main", "Mask"})
      files << ReadProfileString(kSkins + ini, "SCREEN", name, QString(), 260);
  const QSize mainSize = WindowSize("Main.ini");
  for (const QString& file : files) {
    SCOPED_TRACE(qPrintable(file));
    QImageReader reader(kSkins + file);
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << qPrintable(reader.errorString());
    if (file.endsWith(".jpg") && file.startsWith("main_")) {
      EXPECT_EQ(image.size(), mainSize);
    }
  }
}

// A disabled button must not look like one that can be pressed: its look
// differs, under its rectangle, from both the normal and the pressed one.
TEST(GeneratedSkin, DisabledLooksAreTheirOwn) {
  struct Case {
    const char* ini;
    const char* key;
    PictureSet set;
  };
  const PictureSet mainDisabled = {kMainPictureSet.normal, kMainPictureSet.over,
                                   kMainPictureSet.down, kMainGreyPicture};
  const Case cases[] = {{"Main.ini", "FUNC_G8", mainDisabled},
                        {"Main.ini", "FUNC_G9", mainDisabled},
                        {"Main.ini", "CONTROL2_APPLY", mainDisabled},
                        {"Profile.ini", "CONTROL2_APPLY", kProfilePictureSet},
                        {"Profile.ini", "FUNC_DELETE", kProfilePictureSet}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ini) + " " + c.key);
    const QRect place = *Place(c.ini, "BUTTONINFO", c.key);
    auto region = [&](const char* file) {
      return QImage(kSkins + file).copy(place).convertToFormat(QImage::Format_RGB32);
    };
    const QImage disabled = region(c.set.disabled);
    ASSERT_FALSE(disabled.isNull());
    EXPECT_NE(disabled, region(c.set.normal));
    EXPECT_NE(disabled, region(c.set.down));
  }
}

TEST(GeneratedSkin, PanelPicturesFitTheirPlaces) {
  const std::pair<const char*, const char*> fits[] = {
      {"CONTROL_LightSlider", "0.bmp"},         {"CONTROL_SpeedSlider", "5.bmp"},
      {"CONTROL_DengStaPic", "dengup.bmp"},     {"CONTROL_BLFXLStaPic", "leftup.bmp"},
      {"CONTROL_HXsjsStaPic", "sjsup.bmp"},     {"CONTROL_HONGPIC", "hong.bmp"},
      {"CONTROL_USERgjStaPic1", "user1up.bmp"}, {"CONTROL_BUSY", "jdt1.bmp"},
  };
  for (const auto& [key, picture] : fits) {
    SCOPED_TRACE(key);
    EXPECT_EQ(Place("Main.ini", "BUTTONINFO", key)->size(), PictureSize(picture));
  }
}

TEST(GeneratedSkin, LabelCaptionsModeTemplateAndHelpPage) {
  for (const char* section : kControlNameSections) {
    for (const char* key : ControlNameKeys()) {
      EXPECT_FALSE(ReadProfileString(kSkins + "Main.ini", section, key, QString(), 260).isEmpty())
          << section << "/" << key;
    }
  }
  EXPECT_FALSE(ReadProfileString(kSkins + "Main.ini", "SCREEN", "Link", QString(), 260).isEmpty());
  const QString mode = kSkins + kModeTemplateFileName;
  EXPECT_EQ(ReadProfileString(mode, "PRESENTMODE", "mode", QString(), 260), "0");
  EXPECT_FALSE(ReadProfileString(mode, "MODENAME", "0", QString(), 260).isEmpty());
  EXPECT_EQ(ReadProfileString(mode, "Mode0", "jcolor", QString(), 260), "255,45,85");
  EXPECT_EQ(ReadProfileString(mode, "Mode0", "64", QString(), 260), "255,45,85,1");
  EXPECT_GT(QFileInfo(QStringLiteral(KST_BIN_DIR "/Help/index.html")).size(), 2000);
}

}  // namespace
}  // namespace kst
