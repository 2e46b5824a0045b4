// Renders the skinned windows offscreen to PNG files: each window is built
// from its skin layout file and the key lists the windows read, with every
// control in place, and painted without a display.
//
//   kst-render-window <skin folder> <output folder> [language file]
//
// Writes main-normal.png, main-over.png, main-down.png, main-disable.png
// (every image button of the main window showing that state picture),
// main-in-use.png (a typical moment: assigned keys, a hovered key, checked
// profile and report rate, lighting panel open) and profile.png. The key
// assignment dialog renders itself (kst-render-key-dialog).

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTreeWidget>

#include <cstdio>
#include <functional>
#include <set>

#include "foundation/IniFile.h"
#include "foundation/SkinLayout.h"
#include "skin/CBaseDialog.h"
#include "skin/CPngButton.h"
#include "skin/SkinKeys.h"
#include "skin/SkinLayoutOps.h"
#include "skin/SkinPictures.h"
#include "skin/SkinRender.h"

namespace kst {
namespace {

const char* const kStyle = R"(
QLabel { color: white; background: transparent; }
QLineEdit, QComboBox, QTreeWidget {
  color: #e8ebf1; background: #07090d; border: 1px solid #2c3340; border-radius: 5px;
  padding: 2px 6px; selection-background-color: #9c102e; }
QComboBox::drop-down { border: none; width: 18px; }
QTreeWidget { padding: 0; alternate-background-color: #0c0f14; }
QHeaderView::section { color: #868fa3; background: #10131a; border: none;
  border-bottom: 1px solid #2c3340; padding: 4px 6px; }
QCheckBox { background: transparent; }
QCheckBox::indicator { width: 14px; height: 14px; border: 1px solid #4a5262;
  border-radius: 3px; background: #07090d; }
QCheckBox::indicator:checked { background: #ff2d55; border-color: #ff6b8a; }
)";

// The face of a drop-down colour button: the colour over the left part, a
// grey part with a small triangle on the right.
class ColourFace : public QWidget {
 public:
  ColourFace(QColor colour, QWidget* parent) : QWidget(parent), colour_(colour) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(148, 146, 139));
    p.fillRect(QRect(0, 0, width() / 2 + 5, height()), colour_);
    p.setPen(QColor(60, 60, 60));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const int x = width() - 11, y = height() / 2;
    const QPoint tri[3] = {{x - 3, y - 2}, {x + 3, y - 2}, {x, y + 2}};
    p.setBrush(Qt::black);
    p.drawPolygon(tri, 3);
  }

 private:
  QColor colour_;
};

struct Options {
  QString skinFolder;
  QString languageFile;
  // Main window.
  QString statePicture;  // every image button shows this picture; empty: the real sets
  bool inUse = false;
};

class Renderer {
 public:
  explicit Renderer(Options options) : o_(std::move(options)) {}

  QString Text(const char* key) const {
    if (!key) return {};
    return ReadProfileString(o_.languageFile, QStringLiteral("TEXT"), QString::fromLatin1(key),
                             QString(), 260);
  }

  // From the window being built: each picture decoded once per window, shared
  // with its background.
  QPixmap Pic(const QString& name) { return window_->Pictures().Required(name); }

  // Adds the plain controls of `keys` to the window.
  void AddPlain(CBaseDialog& window, const QString& ini, const SkinKey& k,
                const std::function<QString(const QString&)>& pictureFor) {
    const QString key = QString::fromLatin1(k.key);
    QWidget* widget = nullptr;
    switch (k.kind) {
      case SkinControl::Label: {
        QString text = Text(k.captionKey);
        if (key == QLatin1String("CONTROL_RGBStatic")) text = QStringLiteral("RGB");
        auto* label = new QLabel(text, &window);
        label->setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        label->setWordWrap(true);
        widget = label;
        break;
      }
      case SkinControl::Edit: {
        auto* edit = new QLineEdit(&window);
        if (key.startsWith(QLatin1String("COLOR_"))) edit->setText(QStringLiteral("255"));
        if (key == QLatin1String("FUNC_KEY_INPUT")) edit->setText(QStringLiteral("Left Ctrl"));
        if (key == QLatin1String("FUNC_MACRO_CYCLES")) edit->setText(QStringLiteral("1"));
        widget = edit;
        break;
      }
      case SkinControl::List: {
        if (key == QLatin1String("FUNC_MACRO_LIST2") || key == QLatin1String("PROGRAM_LIST")) {
          auto* list = new QTreeWidget(&window);
          list->setRootIsDecorated(false);
          list->setAlternatingRowColors(true);
          if (key == QLatin1String("PROGRAM_LIST")) {
            list->setHeaderLabels(
                {QStringLiteral("激活"), QStringLiteral("名称"), QStringLiteral("路径")});
            for (int i = 0; i < 4; ++i) {
              auto* row =
                  new QTreeWidgetItem(list, {QString(), QStringLiteral("$Profile0"),
                                             QStringLiteral("~/.local/share/Z-ORMIT M350RGB/")});
              row->setCheckState(0, i == 0 ? Qt::Checked : Qt::Unchecked);
            }
            list->setColumnWidth(0, 60);
            list->setColumnWidth(1, 120);
          } else {
            list->setHeaderLabels({Text("IDS_MACRO_MACRO_ACTION_COLUME_KEYS"),
                                   Text("IDS_MACRO_MACRO_ACTION_COLUME_ACTION"),
                                   Text("IDS_MACRO_MACRO_ACTION_COLUME_DELAY")});
            const char* keys[] = {"Left Ctrl", "C", "C", "Left Ctrl"};
            const char* arrows[] = {"\u2193", "\u2193", "  \u2191", "  \u2191"};
            for (int i = 0; i < 4; ++i)
              new QTreeWidgetItem(list, {QString::fromUtf8(keys[i]), QString::fromUtf8(arrows[i]),
                                         QString::number(i == 3 ? 0 : 30)});
            for (int c = 0; c < 3; ++c) list->setColumnWidth(c, 100);
          }
          widget = list;
        } else {
          auto* combo = new QComboBox(&window);
          if (key == QLatin1String("CONTROL_XGcombox"))
            combo->addItem(ReadProfileString(o_.languageFile, QStringLiteral("Mode"),
                                             QStringLiteral("1"), QStringLiteral("1"), 260));
          else if (key == QLatin1String("FUNC_MACRO_LIST"))
            combo->addItem(QStringLiteral("Copy combo"));
          else if (key == QLatin1String("FUNC_MEDIA_SELECT"))
            combo->addItem(Text("IDS_KEYBOARD_PLAY"));
          else if (key == QLatin1String("FUNC_FUNCTION_SELECT"))
            combo->addItem(Text("IDS_COMPOSITE_FUNC_KEY_COPY"));
          else if (key == QLatin1String("FUNC_KEY_MOUSE_SELECT"))
            combo->addItem(QStringLiteral("Left Button"));
          widget = combo;
        }
        break;
      }
      case SkinControl::Picture:
      case SkinControl::Slider: {
        const QString file = pictureFor(key);
        auto* label = new QLabel(&window);
        if (!file.isEmpty()) label->setPixmap(Pic(file));
        widget = label;
        break;
      }
      case SkinControl::ColourButton:
        widget = new ColourFace(QColor(255, 45, 85), &window);
        break;
      case SkinControl::CheckBox: {
        auto* box = new QCheckBox(&window);
        box->setChecked(key == QLatin1String("FUNC_KEY_RADIO_KB"));
        widget = box;
        break;
      }
      case SkinControl::ImageButton:
        return;
    }
    widget->setObjectName(key);
    LayoutControl(*widget, ini, QString::fromLatin1(kButtonInfoSection), key);
  }

  CPngButton* AddButton(CBaseDialog& window, const QString& ini, const QString& key,
                        const PictureSet& set, const QString& caption = {}) {
    auto* button = new CPngButton(&window);
    button->setObjectName(key);
    QPixmap normal = Pic(QString::fromLatin1(set.normal));
    QPixmap over = Pic(QString::fromLatin1(set.over));
    QPixmap down = Pic(QString::fromLatin1(set.down));
    QPixmap disabled = Pic(QString::fromLatin1(set.disabled));
    if (!o_.statePicture.isEmpty()) normal = over = down = disabled = Pic(o_.statePicture);
    LayoutImageButton(*button, ini, QString::fromLatin1(kButtonInfoSection), key, normal, over,
                      down, normal, disabled);
    if (!caption.isEmpty()) {
      button->setText(caption);
      button->SetTextStyle(true, 10, QStringLiteral("DejaVu Sans"), 0xDEDEDE, 0xFFFFFF, 0xFFFFFF,
                           0x6A6A6A, 0xC8C8C8, kDefaultTextFormat);
    }
    return button;
  }

  void Hover(CPngButton* button) {
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(button, &enter);
  }

  std::unique_ptr<CBaseDialog> Main() {
    const QString ini = o_.skinFolder + QLatin1String(kMainSkinFileName);
    auto window = std::make_unique<CBaseDialog>(102, nullptr, ini, o_.skinFolder);
    window->ApplySkin();
    window_ = window.get();
    const std::set<SkinGroup> shown = {SkinGroup::kAlways, SkinGroup::kPanelCommon,
                                       SkinGroup::kPanelColourA, SkinGroup::kPanelDirection2};
    // D1-D6 first, so that F1-F4, which the pictures show, lie above them.
    const QStringList extra = ExtraKeySkinKeys();
    for (const QString& key : extra)
      AddButton(*window, ini, key, kMainPictureSet)->setEnabled(false);
    for (const QString& key : MainKeyButtonSkinKeys()) {
      if (extra.contains(key)) continue;
      CPngButton* button = AddButton(*window, ini, key, kMainPictureSet);
      if (key == QLatin1String("FUNC_G8") || key == QLatin1String("FUNC_G9"))
        button->setEnabled(false);
    }
    const auto panelPicture = [this](const QString& key) -> QString {
      if (key == QLatin1String("CONTROL_DengStaPic"))
        return o_.inUse ? "dengdown.bmp" : "dengup.bmp";
      if (key.startsWith(QLatin1String("CONTROL_BLFXL"))) return QStringLiteral("leftdown.bmp");
      if (key.startsWith(QLatin1String("CONTROL_BLFXR"))) return QStringLiteral("rightup.bmp");
      if (key == QLatin1String("CONTROL_HXsjsStaPic")) return QStringLiteral("sjsdown.bmp");
      if (key == QLatin1String("CONTROL_LightSlider")) return QStringLiteral("4.bmp");
      if (key == QLatin1String("CONTROL_SpeedSlider")) return QStringLiteral("7.bmp");
      if (key == QLatin1String("CONTROL_BUSY")) return QString();
      return {};
    };
    for (const SkinKey& k : MainWindowSkinKeys()) {
      const QString key = QString::fromLatin1(k.key);
      if (!shown.count(k.group)) continue;
      const bool panelDetail = k.group != SkinGroup::kAlways;
      if (panelDetail && !o_.inUse) continue;
      if (k.kind != SkinControl::ImageButton) {
        AddPlain(*window, ini, k, panelPicture);
        continue;
      }
      QString caption = Text(k.captionKey);
      if (key == QLatin1String("FUNC_PROFILES")) caption = QStringLiteral("$Profile0");
      if (key == QLatin1String("TELVIN_LINK"))
        caption = ReadProfileString(ini, QStringLiteral("SCREEN"), QStringLiteral("Link"), {}, 260);
      if (key == QLatin1String("TELVIN_VER")) caption = QStringLiteral("Version 1.0.0");
      CPngButton* button = AddButton(*window, ini, key, kMainPictureSet, caption);
      if (key == QLatin1String("LEFT_ARROW") || key == QLatin1String("RIGHT_ARROW")) {
        const QString variant = key == QLatin1String("LEFT_ARROW")
                                    ? QStringLiteral("DOWN_ARROW_LEFT1")
                                    : QStringLiteral("DOWN_ARROW_RIGHT1");
        LayoutVariantButton(*button, ini, QString::fromLatin1(kButtonInfoSection), key,
                            QString::fromLatin1(kButtonInfo2Section), variant,
                            Pic(QString::fromLatin1(kArrowPicture)));
      }
      if (key == QLatin1String("TELVIN_VER")) button->setEnabled(false);
      if (key == QLatin1String("CONTROL2_APPLY") && o_.inUse) button->setEnabled(false);
    }
    if (o_.inUse) {
      const QString selectedKeys[] = {
          QStringLiteral("FUNC_PROFILE1"), QStringLiteral("FUNC_REPORT4"),
          QStringLiteral("FUNC_G1"),       QStringLiteral("FUNC_G2"),
          QStringLiteral("FUNC_G5"),       BoardKeySkinKey(0x011),
          BoardKeySkinKey(0x01E),          BoardKeySkinKey(0x01F),
          BoardKeySkinKey(0x020),          BoardKeySkinKey(0x03F),
          BoardKeySkinKey(0x0C5)};
      for (const QString& key : selectedKeys)
        if (auto* b = window->findChild<CPngButton*>(key)) b->SetSelected(true, true);
      if (auto* b = window->findChild<CPngButton*>(BoardKeySkinKey(0x013))) Hover(b);
      if (auto* b = window->findChild<CPngButton*>(QStringLiteral("CONTROL_BUSY"))) b->hide();
    }
    return window;
  }

  std::unique_ptr<CBaseDialog> Profile() {
    const QString ini = o_.skinFolder + QLatin1String(kProfileSkinFileName);
    auto window = std::make_unique<CBaseDialog>(131, nullptr, ini, o_.skinFolder);
    window->ApplySkin();
    window_ = window.get();
    for (const SkinKey& k : ProfileSkinKeys()) {
      if (k.kind == SkinControl::ImageButton) {
        CPngButton* button =
            AddButton(*window, ini, QString::fromLatin1(k.key), kProfilePictureSet);
        if (QLatin1String(k.key) == QLatin1String("CONTROL2_APPLY")) button->setEnabled(false);
      } else {
        AddPlain(*window, ini, k, {});
      }
    }
    return window;
  }

 private:
  Options o_;
  CBaseDialog* window_ = nullptr;
};

bool Save(CBaseDialog& window, const QString& path) {
  window.ensurePolished();
  for (QWidget* child : window.findChildren<QWidget*>()) child->ensurePolished();
  if (!RenderWindowToPng(window, path)) {
    std::fprintf(stderr, "kst-render-window: cannot write %s\n", qUtf8Printable(path));
    return false;
  }
  std::printf("%s\n", qUtf8Printable(path));
  return true;
}

}  // namespace
}  // namespace kst

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: kst-render-window <skin folder> <output folder> [language file]\n");
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  app.setStyleSheet(QString::fromLatin1(kst::kStyle));
  kst::Options base;
  base.skinFolder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
  const QString out = QString::fromLocal8Bit(argv[2]);
  base.languageFile =
      argc > 3 ? QString::fromLocal8Bit(argv[3])
               : QDir(base.skinFolder).absoluteFilePath(QStringLiteral("../Lang0409.ini"));
  if (!QDir().mkpath(out)) return 1;
  bool ok = true;
  const std::pair<const char*, const char*> states[] = {{"normal", kst::kMainPictureSet.normal},
                                                        {"over", kst::kMainPictureSet.over},
                                                        {"down", kst::kMainPictureSet.down},
                                                        {"disable", kst::kMainPictureSet.disabled}};
  for (const auto& [name, picture] : states) {
    kst::Options o = base;
    o.statePicture = QString::fromLatin1(picture);
    kst::Renderer renderer(o);
    ok &=
        kst::Save(*renderer.Main(), out + QStringLiteral("/main-%1.png").arg(QLatin1String(name)));
  }
  {
    kst::Options o = base;
    o.inUse = true;
    kst::Renderer renderer(o);
    ok &= kst::Save(*renderer.Main(), out + QStringLiteral("/main-in-use.png"));
  }
  {
    kst::Renderer renderer(base);
    ok &= kst::Save(*renderer.Profile(), out + QStringLiteral("/profile.png"));
  }
  return ok ? 0 : 1;
}
