#include "lighting/panel/LightingPanel.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <array>
#include <initializer_list>

#include "device/DeviceLink.h"
#include "foundation/IniFile.h"
#include "foundation/Language.h"
#include "foundation/SkinLayout.h"
#include "lighting/LightingModel.h"
#include "lighting/panel/CBitmapSlider.h"
#include "lighting/panel/CSkinColorBtn.h"
#include "lighting/panel/ColorStatic.h"
#include "skin/CPngButton.h"
#include "skin/SkinKeys.h"
#include "skin/SkinLayoutOps.h"

namespace kst {

namespace {

using namespace panel_id;

constexpr int kLevels = 4;  // sliders run 0-4
constexpr int kSliderPage = 10;
constexpr int kMaxChannel = 255;

// The panel's edit boxes and lists, in the skin's dark look.
constexpr const char* kPanelStyle = R"(
QComboBox, QLineEdit { color: #e8ebf1; background: #07090d; border: 1px solid #2c3340;
  border-radius: 4px; padding: 1px 8px; selection-color: #ffffff;
  selection-background-color: #9c102e; }
QComboBox:focus, QLineEdit:focus { border-color: #ff2d55; }
QComboBox:hover, QLineEdit:hover { border-color: #4a5262; }
QComboBox QAbstractItemView { color: #e8ebf1; background: #0c0f14; border: 1px solid #2c3340;
  selection-background-color: #9c102e; outline: 0; }
)";

// Refills the list only when its entries change: every panel operation ends
// in a refresh, and a slider drag runs many.
void SetItems(QComboBox& list, const QStringList& items) {
  bool same = list.count() == items.size();
  for (int i = 0; same && i < items.size(); ++i) same = list.itemText(i) == items[i];
  if (same) return;
  list.clear();
  list.addItems(items);
}

bool In(EffectCode effect, std::initializer_list<int> codes) {
  return std::find(codes.begin(), codes.end(), effect) != codes.end();
}

bool PlacementA(EffectCode e) { return In(e, {1, 2, 3, 5, 7, 8, 9, 10, 13, 14, 15, 21}); }
bool PlacementB(EffectCode e) { return In(e, {6, 16}); }
bool Listed(EffectCode e) { return (e >= 1 && e <= 18) || (e >= 20 && e <= 23); }

// The pictures of the two direction controls for an effect: {plain, chosen}.
struct DirectionPictures {
  const char* first[2];
  const char* second[2];
};

DirectionPictures DirectionPicturesFor(EffectCode effect) {
  if (effect == 18) return {{"kuosan.bmp", "kuosandown.bmp"}, {"julong.bmp", "julongdown.bmp"}};
  if (effect == 12) return {{"upup.bmp", "updown.bmp"}, {"downup.bmp", "downdown.bmp"}};
  return {{"leftup.bmp", "leftdown.bmp"}, {"rightup.bmp", "rightdown.bmp"}};
}

constexpr std::array<const char*, 4> kChoicePlain = {"hong.bmp", "huang.bmp", "lv.bmp", "lan.bmp"};
constexpr std::array<const char*, 4> kChoiceChosen = {"hongok.bmp", "huangok.bmp", "lvok.bmp",
                                                      "lanok.bmp"};

struct Caption {
  int id;
  const char* skinName;  // key of "Control_Name"/"Control_Name1"
  const char* textKey;   // key of the language file
};
constexpr Caption kCaptions[] = {
    {kReportRateCaption, "Usb", "IDS_KEYBOARD_FUNC_USB"},
    {kTitle, "Deng", "IDS_KEYBOARD_FUNC_DENG"},
    {kBrightnessCaption, "Light", "IDS_KEYBOARD_FUNC_TEXTLIGHT"},
    {kDirectionCaption, "FX", "IDS_KEYBOARD_FUNC_FX"},
    {kSpeedCaption, "Speed", "IDS_KEYBOARD_FUNC_SPEED"},
    {kColourBCaption, "Color", "IDS_KEYBOARD_FUNC_COLOR"},
    {kColourACaption, "Color", "IDS_KEYBOARD_FUNC_COLOR"},
    {kPaintCaption, "Color", "IDS_KEYBOARD_FUNC_COLOR"},
    {kBaseCaption, "JColor", "IDS_KEYBOARD_FUNC_JCOLOR"},
    {kMultiACaption, "DC", "IDS_KEYBOARD_FUNC_COLOURFUL"},
    {kMultiBCaption, "DC", "IDS_KEYBOARD_FUNC_COLOURFUL"},
    {kToolCaption, "Tool", "IDS_KEYBOARD_FUNC_TOOL"},
};

}  // namespace

bool ShownForEffect(int id, EffectCode e) {
  switch (id) {
    case kEditSwitch:
    case kTitle:
      return true;
    case kEffectList:
    case kBrightnessCaption:
    case kBrightness:
      return Listed(e);
    case kSpeedCaption:
    case kSpeed:
      return (e >= 1 && e <= 5) || (e >= 7 && e <= 15) || e == 21 || e == 23;
    case kDirectionCaption:
    case kDirectionFirst:
    case kDirectionSecond:
      return In(e, {1, 2, 3, 12, 18});
    case kColourACaption:
    case kColourA:
    case kMultiACaption:
    case kMultiA:
      return PlacementA(e);
    case kColourBCaption:
    case kColourB:
    case kMultiBCaption:
    case kMultiB:
      return PlacementB(e);
    case kChoiceRed:
    case kChoiceRed + 1:
    case kChoiceRed + 2:
    case kChoiceRed + 3:
      return e == 17;
    case kPaintCaption:
    case kPaintColour:
    case kBaseCaption:
    case kBaseColour:
    case kToolCaption:
    case kToolPaint:
    case kToolBase:
    case kUserModes:
      return e == 20;
    // The RGB boxes edit the colour picker on show.
    case kRgbCaption:
    case kRed:
    case kRed + 1:
    case kRed + 2:
      return PlacementA(e) || PlacementB(e) || e == 20;
    default:
      // The report-rate caption goes with the report-rate buttons of the
      // profile bar, which are not part of this panel.
      return false;
  }
}

QString DirectionLayoutSuffix(EffectCode effect) {
  if (effect >= 1 && effect <= 3) return QStringLiteral("2");
  if (effect == 12) return QStringLiteral("3");
  return {};
}

LightingPanel::LightingPanel(QWidget& window, LightingModel& model, const Language& language)
    : QObject(nullptr), window_(window), model_(model), language_(language) {}

LightingPanel::~LightingPanel() = default;

QWidget* LightingPanel::Place(QWidget* control, int controlId, const char* skinKey) {
  control->setObjectName(QString::fromLatin1(skinKey));
  LayoutControl(*control, skinFile_, QString::fromLatin1(kButtonInfoSection),
                QString::fromLatin1(skinKey));
  control->installEventFilter(this);
  control->hide();
  controls_.insert(controlId, control);
  return control;
}

QLabel* LightingPanel::MakeLabel(int controlId, const char* skinKey) {
  auto* label = new ColorStatic(&window_);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QFont font = label->font();
  font.setPixelSize(14);
  label->setFont(font);
  Place(label, controlId, skinKey);
  return label;
}

QLabel* LightingPanel::MakePicture(int controlId, const char* skinKey) {
  auto* picture = new QLabel(&window_);
  picture->setAttribute(Qt::WA_TranslucentBackground);
  picture->setCursor(Qt::PointingHandCursor);
  picture->setFocusPolicy(Qt::TabFocus);
  Place(picture, controlId, skinKey);
  return picture;
}

CSkinColorBtn* LightingPanel::MakeColourButton(int controlId, const char* skinKey) {
  auto* button = new CSkinColorBtn(&window_);
  Place(button, controlId, skinKey);
  connect(button, &CSkinColorBtn::colourPicked, this, [this, controlId](ColorRef colour) {
    if (refreshing_) return;
    switch (controlId) {
      case kColourA:
      case kColourB:
        Run(model_.SetColour(colour));
        break;
      case kPaintColour:
        Run(model_.SetPaintColour(colour));
        break;
      case kBaseColour:
        Run(model_.SetBaseColour(colour));
        break;
      default:
        break;
    }
  });
  return button;
}

void LightingPanel::Layout(const QString& skinFile, const QString& skinFolder) {
  skinFile_ = skinFile;
  skinFolder_ = skinFolder.endsWith(u'/') ? skinFolder : skinFolder + u'/';
  pictures_.clear();

  MakePicture(kEditSwitch, "CONTROL_DengStaPic");
  MakeLabel(kTitle, "CONTROL_DengStatic");

  effects_ = new QComboBox(&window_);
  effects_->setStyleSheet(QString::fromLatin1(kPanelStyle));
  Place(effects_, kEffectList, "CONTROL_XGcombox");
  connect(effects_, &QComboBox::activated, this, [this](int index) {
    if (!refreshing_) Run(model_.ChangeEffect(index));
  });

  MakeLabel(kBrightnessCaption, "CONTROL_LightStatic");
  brightness_ = new CBitmapSlider(kBrightness, &window_);
  speed_ = new CBitmapSlider(kSpeed, &window_);
  MakeLabel(kSpeedCaption, "CONTROL_SpeedStatic");
  for (auto [slider, key] :
       {std::pair{brightness_, "CONTROL_LightSlider"}, std::pair{speed_, "CONTROL_SpeedSlider"}}) {
    slider->SetRange(0, kLevels);
    slider->SetPageSize(kSliderPage);
    Place(slider, slider->ControlId(), key);
    connect(slider, &CBitmapSlider::positionPosted, this, [this](int id, int position) {
      if (id == kBrightness) {
        brightness_->SetChannel(Picture(ChannelFile(kBrightness, position)));
        Run(model_.SetBrightness(position));
      } else {
        speed_->SetChannel(Picture(ChannelFile(kSpeed, position)));
        Run(model_.SetSpeedPosition(position));
      }
    });
  }

  MakeLabel(kDirectionCaption, "CONTROL_BLFXStatic");
  MakePicture(kDirectionFirst, "CONTROL_BLFXLStaPic");
  MakePicture(kDirectionSecond, "CONTROL_BLFXRStaPic");

  MakeLabel(kColourACaption, "CONTROL_HXysStatic");
  MakeColourButton(kColourA, "CONTROL_HXysButton");
  MakeLabel(kMultiACaption, "CONTROL_HXsjsStatic");
  MakePicture(kMultiA, "CONTROL_HXsjsStaPic");
  MakeLabel(kColourBCaption, "CONTROL_FYYSStatic");
  MakeColourButton(kColourB, "CONTROL_FYYSButton");
  MakeLabel(kMultiBCaption, "CONTROL_FYSJSStatic");
  MakePicture(kMultiB, "CONTROL_FYSJSStaPic");

  constexpr const char* kChoiceKeys[] = {"CONTROL_HONGPIC", "CONTROL_HUANGPIC", "CONTROL_LVPIC",
                                         "CONTROL_LANPIC"};
  for (int i = 0; i < 4; ++i) MakePicture(kChoiceRed + i, kChoiceKeys[i]);

  MakeLabel(kPaintCaption, "CONTROL_USERysStatic");
  MakeColourButton(kPaintColour, "CONTROL_USERysButton");
  MakeLabel(kBaseCaption, "CONTROL_USERjsStatic");
  MakeColourButton(kBaseColour, "CONTROL_USERjsButton");
  MakeLabel(kToolCaption, "CONTROL_USERgjStatic");
  MakePicture(kToolPaint, "CONTROL_USERgjStaPic1");
  MakePicture(kToolBase, "CONTROL_USERgjStaPic2");

  userModes_ = new QComboBox(&window_);
  userModes_->setEditable(true);
  userModes_->setInsertPolicy(QComboBox::NoInsert);
  userModes_->setStyleSheet(QString::fromLatin1(kPanelStyle));
  Place(userModes_, kUserModes, "CONTROL_umCombo");
  connect(userModes_, &QComboBox::activated, this, [this](int index) {
    if (!refreshing_) Run(model_.SelectUserMode(index));
  });
  // An edited name replaces the current user mode's entry.
  connect(userModes_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
    if (refreshing_) return;
    const QString text = userModes_->lineEdit()->text();
    const int mode = model_.State().userMode;
    if (mode < 0 || (mode < model_.UserModeNames().size() && model_.UserModeNames()[mode] == text))
      return;
    Run(model_.RenameUserMode(text));
  });

  MakeLabel(kReportRateCaption, "CONTROL_UsbStatic");
  MakeLabel(kRgbCaption, "CONTROL_RGBStatic")->setText(QStringLiteral("RGB"));
  constexpr const char* kRgbKeys[] = {"COLOR_R", "COLOR_G", "COLOR_B"};
  for (int i = 0; i < 3; ++i) {
    auto* box = new QLineEdit(&window_);
    box->setStyleSheet(QString::fromLatin1(kPanelStyle));
    box->setAlignment(Qt::AlignCenter);
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), box));
    Place(box, kRed + i, kRgbKeys[i]);
    connect(box, &QLineEdit::textChanged, box, [box](const QString& text) {
      if (text.toInt() > kMaxChannel) box->setText(QString::number(kMaxChannel));
    });
    connect(box, &QLineEdit::editingFinished, this, [this] { RgbEdited(); });
    rgb_[i] = box;
  }

  SetSkinCaptions();
  controls_.value(kEditSwitch)->show();
  controls_.value(kTitle)->show();
  ShowPicture(kEditSwitch, QStringLiteral("dengup.bmp"));
}

void LightingPanel::SetSkinCaptions() {
  const int value = language_.SkinLanguageValue();
  if (value != 0 && value != 1) return;
  CIniFile ini(skinFile_);
  const QString section = QString::fromLatin1(kControlNameSections[value]);
  for (const Caption& c : kCaptions) {
    if (auto* label = qobject_cast<QLabel*>(Control(c.id))) {
      label->setText(
          ini.GetString(section, QLatin1String(c.skinName), QString()).value_or(QString()));
    }
  }
}

void LightingPanel::SetCaptions(int languageIndex) {
  for (const Caption& c : kCaptions) {
    if (auto* label = qobject_cast<QLabel*>(Control(c.id))) {
      label->setText(language_.LoadLangText(QLatin1String(c.textKey), languageIndex));
    }
  }
  if (auto* label = qobject_cast<QLabel*>(Control(kRgbCaption))) label->setText("RGB");
}

QString LightingPanel::PictureShown(int controlId) const { return pictureShown_.value(controlId); }

bool LightingPanel::PictureLoaded(const QString& file) const { return pictures_.contains(file); }

const QPixmap& LightingPanel::Picture(const QString& file) {
  auto it = pictures_.find(file);
  // A missing picture is remembered as a null one: it is not looked for again.
  if (it == pictures_.end()) it = pictures_.insert(file, QPixmap(skinFolder_ + file));
  return *it;
}

QString LightingPanel::ChannelFile(int sliderId, int position) {
  return QStringLiteral("%1.bmp").arg(sliderId == kBrightness ? position : 5 + position);
}

void LightingPanel::ShowPicture(int controlId, const QString& file) {
  auto* label = qobject_cast<QLabel*>(Control(controlId));
  if (!label) return;
  pictureShown_.insert(controlId, file);
  // A control not on show takes its picture when it is shown
  // (LoadShownPictures).
  if (!label->isHidden()) LoadShownPictures();
}

void LightingPanel::LoadShownPictures() {
  for (auto it = pictureShown_.cbegin(); it != pictureShown_.cend(); ++it) {
    auto* label = qobject_cast<QLabel*>(Control(it.key()));
    if (!label || label->isHidden() || pictureOnLabel_.value(it.key()) == it.value()) continue;
    // A missing picture leaves the control empty; it still takes clicks.
    label->setPixmap(Picture(it.value()));
    pictureOnLabel_.insert(it.key(), it.value());
  }
  for (CBitmapSlider* slider : {brightness_, speed_}) {
    if (slider && !slider->isHidden())
      slider->SetChannel(Picture(ChannelFile(slider->ControlId(), slider->Pos())));
  }
}

void LightingPanel::Refresh() {
  if (!effects_) return;
  refreshing_ = true;
  const LightingState& state = model_.State();

  SetItems(*effects_, model_.EffectNames());
  effects_->setCurrentIndex(model_.SelectedEffectIndex());

  brightness_->SetPos(state.brightness);
  speed_->SetPos(kLevels - state.speed);

  for (int id : {kColourA, kColourB}) {
    if (auto* button = qobject_cast<CSkinColorBtn*>(Control(id))) button->SetColour(state.colour);
  }
  const QString multi =
      state.multicolour ? QStringLiteral("sjsdown.bmp") : QStringLiteral("sjsup.bmp");
  ShowPicture(kMultiA, multi);
  ShowPicture(kMultiB, multi);
  const int choice = state.colourChoice <= 3 ? state.colourChoice : 0;
  for (int i = 0; i < 4; ++i) {
    ShowPicture(kChoiceRed + i, QLatin1String(i == choice ? kChoiceChosen[i] : kChoicePlain[i]));
  }
  RefreshCustomControls();
  ShowPicture(kEditSwitch,
              state.editMode ? QStringLiteral("dengdown.bmp") : QStringLiteral("dengup.bmp"));
  LayoutDirectionGroup(state.effect);
  ShowDirectionPictures();
  ShowEffectControls(state.effect);
  LoadShownPictures();
  ShowRgb();
  refreshing_ = false;
}

void LightingPanel::RefreshCustomControls() {
  const LightingState& state = model_.State();
  SetItems(*userModes_, model_.UserModeNames());
  userModes_->setCurrentIndex(state.userMode < userModes_->count() ? state.userMode : -1);
  if (auto* base = qobject_cast<CSkinColorBtn*>(Control(kBaseColour)))
    base->SetColour(state.baseColour);
  if (auto* paint = qobject_cast<CSkinColorBtn*>(Control(kPaintColour)))
    paint->SetColour(state.paintColour);
  ShowPicture(kToolPaint,
              state.tool == 0 ? QStringLiteral("user1down.bmp") : QStringLiteral("user1up.bmp"));
  ShowPicture(kToolBase,
              state.tool == 1 ? QStringLiteral("user2down.bmp") : QStringLiteral("user2up.bmp"));
}

void LightingPanel::SetReportRateShown(bool shown) {
  reportRateShown_ = shown;
  if (QWidget* caption = Control(kReportRateCaption)) {
    caption->setVisible(shown);
    if (shown) caption->raise();
  }
}

void LightingPanel::ShowEffectControls(EffectCode effect) {
  const bool editMode = model_.State().editMode;
  for (auto it = controls_.cbegin(); it != controls_.cend(); ++it) {
    const bool always = it.key() == kEditSwitch || it.key() == kTitle ||
                        (it.key() == kReportRateCaption && reportRateShown_);
    it.value()->setVisible(always || (editMode && ShownForEffect(it.key(), effect)));
  }
}

void LightingPanel::LayoutDirectionGroup(EffectCode effect) {
  const QString suffix = DirectionLayoutSuffix(effect);
  for (auto [id, key] : {std::pair{kDirectionCaption, "CONTROL_BLFXStatic"},
                         std::pair{kDirectionFirst, "CONTROL_BLFXLStaPic"},
                         std::pair{kDirectionSecond, "CONTROL_BLFXRStaPic"}}) {
    QWidget* control = Control(id);
    if (!control) continue;
    const SkinRect rect = ReadSkinRect(skinFile_, QString::fromLatin1(kButtonInfoSection),
                                       QString::fromLatin1(key) + suffix);
    control->move(GeometryFromSkinRect(rect).topLeft());
  }
}

void LightingPanel::ShowDirectionPictures() {
  const LightingState& state = model_.State();
  const DirectionPictures d = DirectionPicturesFor(state.effect);
  const bool first = state.direction == kDirectionLeft;
  ShowPicture(kDirectionFirst, QLatin1String(d.first[first ? 1 : 0]));
  ShowPicture(kDirectionSecond, QLatin1String(d.second[first ? 0 : 1]));
}

std::optional<int> LightingPanel::VisibleColourPicker() const {
  const EffectCode effect = model_.State().effect;
  if (PlacementA(effect)) return kColourA;
  if (PlacementB(effect)) return kColourB;
  if (effect == 20) return kPaintColour;
  return std::nullopt;
}

void LightingPanel::ShowRgb() {
  const std::optional<int> picker = VisibleColourPicker();
  const auto* button = picker ? qobject_cast<CSkinColorBtn*>(Control(*picker)) : nullptr;
  const ColorRef colour = button ? button->Colour() : 0;
  const std::array<std::uint8_t, 3> channels = RgbBytes(colour);
  for (int i = 0; i < 3; ++i) {
    const QSignalBlocker block(rgb_[i]);
    rgb_[i]->setText(button ? QString::number(channels[static_cast<std::size_t>(i)]) : QString());
  }
}

void LightingPanel::RgbEdited() {
  if (refreshing_) return;
  const std::optional<int> picker = VisibleColourPicker();
  if (!picker) return;
  auto* button = qobject_cast<CSkinColorBtn*>(Control(*picker));
  if (!button) return;
  int channels[3];
  for (int i = 0; i < 3; ++i) channels[i] = std::clamp(rgb_[i]->text().toInt(), 0, kMaxChannel);
  const ColorRef colour =
      MakeColorRef(static_cast<std::uint8_t>(channels[0]), static_cast<std::uint8_t>(channels[1]),
                   static_cast<std::uint8_t>(channels[2]));
  if (colour == button->Colour()) return;
  // The same operation as a pick in the picker on show.
  Run(*picker == kPaintColour ? model_.SetPaintColour(colour) : model_.SetColour(colour));
}

void LightingPanel::PictureClicked(int controlId) {
  switch (controlId) {
    case kEditSwitch:
      model_.ToggleEditMode();
      Refresh();
      return;
    case kDirectionFirst:
      Run(model_.SetDirection(kDirectionLeft));
      return;
    case kDirectionSecond:
      Run(model_.SetDirection(kDirectionRight));
      return;
    case kMultiA:
    case kMultiB:
      Run(model_.ToggleMulticolour());
      return;
    case kToolPaint:
      Run(model_.SetTool(0));
      return;
    case kToolBase:
      Run(model_.SetTool(1));
      return;
    default:
      if (controlId >= kChoiceRed && controlId < kChoiceRed + 4) {
        Run(model_.SetColourChoice(controlId - kChoiceRed));
      }
      return;
  }
}

void LightingPanel::Run(int) {
  // Whatever the keyboard answered, the model holds what it has; show that.
  Refresh();
}

bool LightingPanel::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                     type == QEvent::MouseButtonDblClick;
  if (mouse && clicksHeld_ && clicksHeld_()) return true;
  auto* picture = qobject_cast<QLabel*>(watched);
  if (picture && qobject_cast<ColorStatic*>(picture)) picture = nullptr;
  if (picture && type == QEvent::KeyRelease) {
    // Space acts on a picture as a click does.
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space && !key->isAutoRepeat()) {
      if (clicksHeld_ && clicksHeld_()) return true;
      if (const int id = controls_.key(picture, 0); id != 0) PictureClicked(id);
      return true;
    }
  }
  if (picture && type == QEvent::Paint && picture->hasFocus()) {
    // The picture first, then the focus outline over it.
    static_cast<QObject*>(picture)->event(event);
    QPainter painter(picture);
    DrawFocusOutline(painter, picture->rect());
    return true;
  }
  if (type == QEvent::MouseButtonRelease) {
    const auto* release = static_cast<QMouseEvent*>(event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (release->button() == Qt::LeftButton && widget && qobject_cast<QLabel*>(widget) &&
        !qobject_cast<ColorStatic*>(widget) &&
        widget->rect().contains(release->position().toPoint())) {
      const int id = controls_.key(widget, 0);
      if (id != 0) PictureClicked(id);
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace kst
