// Draws the skin (pictures, layout files, template mode file, icons) into a
// folder from the one layout description in SkinLayoutData.h.
//
//   kst-skin-generator <output folder>
//
// Exit code 0 on success; 1 with a message on stderr when the layout misses
// a key a window reads or a file cannot be written.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "Art.h"
#include "SkinLayoutData.h"
#include "foundation/BoardKeys.h"
#include "foundation/SkinLayout.h"
#include "skin/SkinKeys.h"

namespace kst::skingen {
namespace {

struct Item {
  QString key;
  QRect rect;
  Look look;
  QString legend;
  QString shift;
};

constexpr int kJpegQuality = 96;

QRect KeyRect(const KeyPlace& k) {
  const int x0 = kMainBlockX + k.x4 * kUnit / 4;
  const int y0 = kGridY + k.y4 * kUnit / 4;
  const int x1 = kMainBlockX + (k.x4 + k.w4) * kUnit / 4;
  const int y1 = kGridY + (k.y4 + k.h4) * kUnit / 4;
  return QRect(x0, y0, x1 - x0, y1 - y0);
}

std::vector<Item> FromControls(std::span<const Control> controls) {
  std::vector<Item> items;
  for (const Control& c : controls)
    items.push_back({QString::fromLatin1(c.key), QRect(c.x, c.y, c.w, c.h), c.look,
                     c.legend ? QString::fromUtf8(c.legend) : QString(), QString()});
  return items;
}

// The key picture for Flip 1: D1-D6 as keycaps in F1-F4's place, which F1-F4
// leave free.
std::vector<Item> FlippedItems(std::vector<Item> items) {
  const QStringList fKeys = {QStringLiteral("KEY_03B"), QStringLiteral("KEY_03C"),
                             QStringLiteral("KEY_03D"), QStringLiteral("KEY_03E")};
  const QStringList extra = ExtraKeySkinKeys();
  std::vector<Item> flipped;
  for (Item& item : items) {
    if (fKeys.contains(item.key)) continue;
    if (const int n = static_cast<int>(extra.indexOf(item.key)); n >= 0) {
      item.look = Look::Keycap;
      item.legend = QStringLiteral("D%1").arg(n + 1);
    }
    flipped.push_back(std::move(item));
  }
  return flipped;
}

// The disabled look: what the controls add to the bare background, without
// colour and at half strength. Pixels where the controls draw nothing stay
// the background's, so a disabled button shows no edge around it.
QImage Greyed(const QImage& drawn, const QImage& bare) {
  QImage out = drawn.convertToFormat(QImage::Format_RGB32);
  const QImage base = bare.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    const auto* under = reinterpret_cast<const QRgb*>(base.constScanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const int added = qGray(line[x]) - qGray(under[x]);
      auto channel = [&](int b) { return std::clamp(b + added / 2, 0, 255); };
      line[x] = qRgb(channel(qRed(under[x])), channel(qGreen(under[x])), channel(qBlue(under[x])));
    }
  }
  return out;
}

std::vector<Item> MainItems() {
  std::vector<Item> items;
  for (int n = 1; n <= 9; ++n)
    items.push_back({QStringLiteral("FUNC_G%1").arg(n),
                     QRect(kGridX, kGridY + (n - 1) * kGKeyPitch, kGKeyWidth, kGKeyHeight),
                     Look::GKey, QStringLiteral("G%1").arg(n), QString()});
  for (const KeyPlace& k : kBoardPlaces)
    items.push_back({QString::fromLatin1(k.key), KeyRect(k), Look::Keycap,
                     QString::fromUtf8(k.legend),
                     k.shift ? QString::fromUtf8(k.shift) : QString()});
  // D1-D6: six slices of F1-F4's place; the pictures show F1-F4 there.
  const int left = kMainBlockX + kExtraKeysX4 * kUnit / 4;
  const int width = kExtraKeysW4 * kUnit / 4;
  const QStringList extra = ExtraKeySkinKeys();
  for (int i = 0; i < extra.size(); ++i) {
    const int x0 = left + width * i / extra.size();
    const int x1 = left + width * (i + 1) / extra.size();
    items.push_back({extra[i], QRect(x0, kGridY, x1 - x0, kUnit), Look::None, {}, {}});
  }
  for (Item& item : FromControls(kMainControls)) items.push_back(std::move(item));
  return items;
}

// Bitmap controls of the lighting panel take the size of their pictures.
void DrawItems(QPainter& p, const std::vector<Item>& items, State s, const Theme& theme,
               PageSet set) {
  for (const Item& item : items) {
    if (item.look == Look::Keycap || item.look == Look::GKey) {
      DrawKeycap(p, item.rect, item.legend, item.shift, s, item.look == Look::GKey);
      continue;
    }
    const QByteArray key = item.key.toLatin1();
    const QByteArray legend = item.legend.toUtf8();
    const Control c{key.constData(),
                    item.rect.x(),
                    item.rect.y(),
                    item.rect.width(),
                    item.rect.height(),
                    item.look,
                    item.legend.isEmpty() ? nullptr : legend.constData()};
    DrawControl(p, c, s, theme, set);
  }
}

class Generator {
 public:
  explicit Generator(QString folder) : folder_(std::move(folder)) {}

  bool Run();

 private:
  bool Fail(const QString& message) {
    std::fprintf(stderr, "kst-skin-generator: %s\n", qUtf8Printable(message));
    ok_ = false;
    return false;
  }
  QString Path(const QString& name) const { return folder_ + QLatin1Char('/') + name; }
  void SaveImage(const QImage& image, const QString& name, const char* format, int quality = -1) {
    QSaveFile file(Path(name));
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, format, quality) || !file.commit())
      Fail(QStringLiteral("cannot write %1").arg(Path(name)));
  }
  // A window picture of w by h pixels at the scale being drawn; painters on
  // it work in the window's pixels.
  QImage Canvas(int w, int h) const {
    QImage image(w * scale_, h * scale_, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale_);
    return image;
  }
  // Pictures at scale 2 take the toolkit's "@2x" name: "main_normal@2x.jpg".
  void SaveJpeg(const QImage& image, const QString& name) {
    QString file = name;
    if (scale_ != 1)
      file.insert(file.lastIndexOf(QLatin1Char('.')), QStringLiteral("@%1x").arg(scale_));
    SaveImage(image.convertToFormat(QImage::Format_RGB888), file, "JPG", kJpegQuality);
  }
  // Masks and layout files are in window pixels: written at scale 1 only.
  void SaveBmp(const QImage& image, const QString& name) {
    if (scale_ != 1) return;
    SaveImage(image.convertToFormat(QImage::Format_RGB888), name, "BMP");
  }
  void SaveText(const QString& name, const QByteArray& bytes) {
    if (scale_ != 1) return;
    QSaveFile file(Path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
      Fail(QStringLiteral("cannot write %1").arg(Path(name)));
  }
  bool Check(const QString& window, const std::vector<Item>& items, const QStringList& keys,
             QSize size);
  QByteArray Ini(const QString& mainPicture, const QString& maskPicture,
                 const std::vector<Item>& items, const QStringList& extraSections) const;

  void MainWindow();
  void Composite();
  void Profile();
  void LightingPanel();
  void ModeTemplate();
  void Icons();

  QString folder_;
  bool ok_ = true;
  int scale_ = 1;  // device pixels per window pixel of the pictures being drawn
};

bool Generator::Check(const QString& window, const std::vector<Item>& items,
                      const QStringList& keys, QSize size) {
  QSet<QString> seen;
  for (const Item& item : items) {
    if (seen.contains(item.key))
      return Fail(window + QStringLiteral(": key %1 twice").arg(item.key));
    seen.insert(item.key);
    if (!QRect(QPoint(0, 0), size).contains(item.rect))
      return Fail(window + QStringLiteral(": %1 lies outside the window").arg(item.key));
    if (item.rect.topLeft() == QPoint(1, 1))
      return Fail(window + QStringLiteral(": %1 at (1, 1) would be hidden").arg(item.key));
  }
  for (const QString& key : keys)
    if (!seen.contains(key)) return Fail(window + QStringLiteral(": no place for %1").arg(key));
  return true;
}

QByteArray Generator::Ini(const QString& mainPicture, const QString& maskPicture,
                          const std::vector<Item>& items, const QStringList& extraSections) const {
  QByteArray out;
  out += "; Skin layout drawn by kst-skin-generator; rectangles are x,y,width,height\n";
  out += "[SCREEN]\nMain=" + mainPicture.toUtf8() + "\nMask=" + maskPicture.toUtf8() + "\n";
  for (const QString& extra : extraSections) out += extra.toUtf8();
  out += "\n[BUTTONINFO]\n";
  for (const Item& item : items)
    out += QStringLiteral("%1=%2,%3,%4,%5\n")
               .arg(item.key)
               .arg(item.rect.x())
               .arg(item.rect.y())
               .arg(item.rect.width())
               .arg(item.rect.height())
               .toUtf8();
  return out;
}

void Generator::MainWindow() {
  const std::vector<Item> items = MainItems();
  QStringList keys = MainKeyButtonSkinKeys();
  for (const SkinKey& k : MainWindowSkinKeys()) keys << QString::fromLatin1(k.key);
  if (!Check(QStringLiteral("Main.ini"), items, keys, QSize(kMainWidth, kMainHeight))) return;

  const Theme theme;
  const State states[] = {State::Normal, State::Over, State::Down, State::Disable};
  const char* const files[] = {kMainPictureSet.normal, kMainPictureSet.over, kMainPictureSet.down,
                               kMainPictureSet.disabled};
  auto draw = [&](const std::vector<Item>& shown, State s) {
    QImage image = Canvas(kMainWidth, kMainHeight);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    DrawMainBase(p);
    DrawItems(p, shown, s, theme, PageSet::Key);
    p.end();
    return image;
  };
  QImage normal;
  for (int i = 0; i < 4; ++i) {
    const QImage image = draw(items, states[i]);
    SaveJpeg(image, QString::fromLatin1(files[i]));
    if (i == 0) normal = image;
  }
  SaveJpeg(Greyed(normal, draw({}, State::Normal)), QString::fromLatin1(kMainGreyPicture));
  const std::vector<Item> flipped = FlippedItems(items);
  SaveJpeg(draw(flipped, State::Normal), QString::fromLatin1(kMainFlipPictureSet.normal));
  SaveJpeg(draw(flipped, State::Over), QString::fromLatin1(kMainFlipPictureSet.over));
  SaveJpeg(draw(flipped, State::Down), QString::fromLatin1(kMainFlipPictureSet.down));
  // The two colour pictures: the keyboard lit by its LEDs, as a rainbow wave
  // and in one colour.
  for (int variant = 0; variant < 2; ++variant) {
    QImage image = normal;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setCompositionMode(QPainter::CompositionMode_Screen);
    for (const Item& item : items) {
      if (item.look != Look::Keycap && item.look != Look::GKey) continue;
      const QColor light =
          variant == 0
              ? QColor::fromHsv((item.rect.center().x() - kGridX) * 300 / kPlateW, 230, 255)
              : QColor(255, 45, 85);
      QColor glow = light;
      glow.setAlpha(70);
      p.setPen(Qt::NoPen);
      p.setBrush(glow);
      p.drawRoundedRect(QRectF(item.rect).adjusted(3, 3, -3, -3), 6, 6);
    }
    p.end();
    SaveJpeg(image, QString::fromLatin1(kMainColourPictures[variant]));
  }
  SaveJpeg(ArrowSheet(scale_), QString::fromLatin1(kArrowPicture));
  SaveBmp(WindowMask(kMainWidth, kMainHeight, 14), QStringLiteral("main_mask.bmp"));

  QStringList extra;
  extra << QStringLiteral("Link=%1\n").arg(QLatin1String(kDefaultLink));
  QString arrows = QStringLiteral("\n[BUTTONINFO2]\n");
  for (int i = 0; i < static_cast<int>(std::size(kArrowCells)); ++i)
    arrows += QStringLiteral("%1=%2,0,%3,%4\n")
                  .arg(QLatin1String(kArrowCells[i]))
                  .arg(i * kArrowCellW)
                  .arg(kArrowCellW)
                  .arg(kArrowCellH);
  const QStringList captions = {
      QStringLiteral("Report rate"), QStringLiteral("Lighting"),    QStringLiteral("Brightness"),
      QStringLiteral("Direction"),   QStringLiteral("Speed"),       QStringLiteral("Colour"),
      QStringLiteral("Base colour"), QStringLiteral("Multicolour"), QStringLiteral("Tool")};
  QString names;
  for (const char* section : kControlNameSections) {
    names += QStringLiteral("\n[%1]\n").arg(QLatin1String(section));
    const auto nameKeys = ControlNameKeys();
    for (std::size_t i = 0; i < nameKeys.size(); ++i)
      names +=
          QStringLiteral("%1=%2\n").arg(QLatin1String(nameKeys[i]), captions[static_cast<int>(i)]);
  }
  QByteArray ini = Ini(QString::fromLatin1(kMainPictureSet.normal), QStringLiteral("main_mask.bmp"),
                       items, extra);
  ini += arrows.toUtf8() + names.toUtf8();
  SaveText(QString::fromLatin1(kMainSkinFileName), ini);
}

void Generator::Composite() {
  const std::vector<Item> items = FromControls(kCompositeControls);
  QStringList keys;
  for (const SkinKey& k : CompositeSkinKeys()) keys << QString::fromLatin1(k.key);
  if (!Check(QStringLiteral("Composite.ini"), items, keys,
             QSize(kCompositeWidth, kCompositeHeight)))
    return;
  Theme theme;
  theme.lightPressed = true;  // the dialog's pressed caption colour is a dark red
  // The buttons of the macro page appear only in the pictures of the macro
  // sets: the page picture of every other page is cut from its own set and
  // must not show them.
  QSet<QString> macroPageKeys;
  for (const SkinKey& k : CompositeSkinKeys())
    if (k.group == SkinGroup::kPageMacro) macroPageKeys.insert(QString::fromLatin1(k.key));
  auto draw = [&](State s, PageSet set) {
    std::vector<Item> shown;
    for (const Item& item : items)
      if (set == PageSet::Macro || set == PageSet::Macro2 || !macroPageKeys.contains(item.key))
        shown.push_back(item);
    QImage image = Canvas(kCompositeWidth, kCompositeHeight);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawCompositeBase(p);
    DrawItems(p, shown, s, theme, set);
    return image;
  };
  struct SetFiles {
    PictureSet files;
    PageSet set;
  };
  const SetFiles sets[] = {{kKeyPictureSet, PageSet::Key},
                           {kMacroPictureSet, PageSet::Macro},
                           {kMacro2PictureSet, PageSet::Macro2},
                           {kMediaPictureSet, PageSet::Media},
                           {kFunctionPictureSet, PageSet::Function}};
  for (const SetFiles& s : sets) {
    SaveJpeg(draw(State::Normal, s.set), QString::fromLatin1(s.files.normal));
    SaveJpeg(draw(State::Over, s.set), QString::fromLatin1(s.files.over));
    SaveJpeg(draw(State::Down, s.set), QString::fromLatin1(s.files.down));
    if (QLatin1String(s.files.disabled) != QLatin1String(s.files.normal))
      SaveJpeg(draw(State::Disable, s.set), QString::fromLatin1(s.files.disabled));
  }
  SaveJpeg(draw(State::Normal, PageSet::Key), QStringLiteral("composite_bg.jpg"));
  SaveBmp(WindowMask(kCompositeWidth, kCompositeHeight, 14), QStringLiteral("composite_mask.bmp"));
  SaveText(
      QString::fromLatin1(kCompositeSkinFileName),
      Ini(QStringLiteral("composite_bg.jpg"), QStringLiteral("composite_mask.bmp"), items, {}));
}

void Generator::Profile() {
  const std::vector<Item> items = FromControls(kProfileControls);
  QStringList keys;
  for (const SkinKey& k : ProfileSkinKeys()) keys << QString::fromLatin1(k.key);
  if (!Check(QStringLiteral("Profile.ini"), items, keys, QSize(kProfileWidth, kProfileHeight)))
    return;
  Theme theme;
  theme.lightPressed = true;
  auto draw = [&](State s) {
    QImage image = Canvas(kProfileWidth, kProfileHeight);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawProfileBase(p);
    DrawItems(p, items, s, theme, PageSet::Key);
    return image;
  };
  SaveJpeg(draw(State::Normal), QString::fromLatin1(kProfilePictureSet.normal));
  SaveJpeg(draw(State::Over), QString::fromLatin1(kProfilePictureSet.over));
  SaveJpeg(draw(State::Down), QString::fromLatin1(kProfilePictureSet.down));
  QImage bare = Canvas(kProfileWidth, kProfileHeight);
  {
    QPainter p(&bare);
    p.setRenderHint(QPainter::Antialiasing);
    DrawProfileBase(p);
  }
  SaveJpeg(Greyed(draw(State::Normal), bare), QString::fromLatin1(kProfilePictureSet.disabled));
  SaveJpeg(draw(State::Normal), QStringLiteral("profile_bg.jpg"));
  SaveBmp(WindowMask(kProfileWidth, kProfileHeight, 14), QStringLiteral("profile_mask.bmp"));
  SaveText(QString::fromLatin1(kProfileSkinFileName),
           Ini(QStringLiteral("profile_bg.jpg"), QStringLiteral("profile_mask.bmp"), items, {}));
}

void Generator::LightingPanel() {
  auto size = [](const char* key) {
    for (const Control& c : kMainControls)
      if (QLatin1String(c.key) == QLatin1String(key)) return QSize(c.w, c.h);
    return QSize(1, 1);
  };
  const QSize deng = size("CONTROL_DengStaPic");
  SaveBmp(ToggleSwitch(deng, false, false), QStringLiteral("dengup.bmp"));
  SaveBmp(ToggleSwitch(deng, true, false), QStringLiteral("dengdown.bmp"));
  const QSize dir = size("CONTROL_BLFXLStaPic");
  const std::pair<const char*, const char*> directions[] = {
      {"left", "left"}, {"right", "right"}, {"up", "up"}, {"down", "down"}};
  for (const auto& [file, kind] : directions) {
    SaveBmp(DirectionPicture(dir, QLatin1String(kind), false),
            QStringLiteral("%1up.bmp").arg(QLatin1String(file)));
    SaveBmp(DirectionPicture(dir, QLatin1String(kind), true),
            QStringLiteral("%1down.bmp").arg(QLatin1String(file)));
  }
  SaveBmp(DirectionPicture(dir, QStringLiteral("spread"), false), QStringLiteral("kuosan.bmp"));
  SaveBmp(DirectionPicture(dir, QStringLiteral("spread"), true), QStringLiteral("kuosandown.bmp"));
  SaveBmp(DirectionPicture(dir, QStringLiteral("gather"), false), QStringLiteral("julong.bmp"));
  SaveBmp(DirectionPicture(dir, QStringLiteral("gather"), true), QStringLiteral("julongdown.bmp"));
  const QSize multi = size("CONTROL_HXsjsStaPic");
  SaveBmp(ToggleSwitch(multi, false, true), QStringLiteral("sjsup.bmp"));
  SaveBmp(ToggleSwitch(multi, true, true), QStringLiteral("sjsdown.bmp"));
  const QSize swatch = size("CONTROL_HONGPIC");
  const std::pair<const char*, QColor> swatches[] = {{"hong", QColor(255, 40, 60)},
                                                     {"huang", QColor(255, 200, 30)},
                                                     {"lv", QColor(40, 220, 90)},
                                                     {"lan", QColor(40, 110, 255)}};
  for (const auto& [name, colour] : swatches) {
    SaveBmp(SwatchPicture(swatch, colour, false),
            QStringLiteral("%1.bmp").arg(QLatin1String(name)));
    SaveBmp(SwatchPicture(swatch, colour, true),
            QStringLiteral("%1ok.bmp").arg(QLatin1String(name)));
  }
  const QSize tool = size("CONTROL_USERgjStaPic1");
  for (int t = 0; t < 2; ++t) {
    SaveBmp(ToolPicture(tool, t, false), QStringLiteral("user%1up.bmp").arg(t + 1));
    SaveBmp(ToolPicture(tool, t, true), QStringLiteral("user%1down.bmp").arg(t + 1));
  }
  const QSize slider = size("CONTROL_LightSlider");
  for (int i = 0; i <= 4; ++i)
    SaveBmp(SliderChannel(slider, i, 0), QStringLiteral("%1.bmp").arg(i));
  for (int i = 0; i <= 4; ++i)
    SaveBmp(SliderChannel(slider, i, 1), QStringLiteral("%1.bmp").arg(5 + i));
  for (int i = 10; i <= 25; ++i)
    SaveBmp(HueChannel(slider, i - 10), QStringLiteral("%1.bmp").arg(i));
  const QSize busy = size("CONTROL_BUSY");
  for (int k = 0; k < 10; ++k) SaveBmp(BusyFrame(busy, k), QStringLiteral("jdt%1.bmp").arg(k + 1));
}

void Generator::ModeTemplate() {
  // Every lit key follows the base colour; the paint colour is ready for use.
  QByteArray out;
  out += "[PRESENTMODE]\nmode=0\n\n[MODENAME]\n0=Custom 1\n\n[Mode0]\n";
  out += "tool=0\njcolor=255,45,85\ncolor=43,224,255\n";
  std::map<int, bool> positions;
  for (const BoardKey& key : BoardKeyList()) positions[key.ledPosition] = true;
  for (int led : {17, 18, 19, 20, 32, 9, 125, 106}) positions[led] = true;
  for (const auto& [led, unused] : positions) out += QByteArray::number(led) + "=255,45,85,1\n";
  SaveText(QString::fromLatin1(kModeTemplateFileName), out);
}

void Generator::Icons() {
  SaveImage(KeyboardIcon(64, 0), QString::fromLatin1(kIconNoKeyboard), "PNG");
  SaveImage(KeyboardIcon(64, 1), QString::fromLatin1(kIconConnected), "PNG");
  SaveImage(KeyboardIcon(64, 2), QString::fromLatin1(kIconActivity), "PNG");
}

bool Generator::Run() {
  if (!QDir().mkpath(folder_)) return Fail(QStringLiteral("cannot create %1").arg(folder_));
  // Every board key needs its place.
  QSet<QString> placed;
  for (const KeyPlace& k : kBoardPlaces) placed.insert(QString::fromLatin1(k.key));
  for (const BoardKey& key : BoardKeyList())
    if (!placed.contains(BoardKeySkinKey(key.skinKey)))
      return Fail(QStringLiteral("board key %1 has no place").arg(BoardKeySkinKey(key.skinKey)));
  // The window pictures once more at twice the size, for screens that scale
  // by more than 1.
  for (int scale : {1, 2}) {
    scale_ = scale;
    MainWindow();
    Composite();
    Profile();
  }
  scale_ = 1;
  LightingPanel();
  ModeTemplate();
  Icons();
  return ok_;
}

}  // namespace
}  // namespace kst::skingen

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kst-skin-generator <output folder>\n");
    return 1;
  }
  // Drawing needs fonts, not a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  kst::skingen::Generator generator(QString::fromLocal8Bit(argv[1]));
  return generator.Run() ? 0 : 1;
}
