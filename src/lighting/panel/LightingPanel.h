#pragma once

// The lighting panel: the controls of the main window's lower half through
// which the user sets the lighting of the active profile. Every control runs
// an operation of the LightingModel, which writes to the keyboard at once;
// the panel keeps no lighting data of its own and shows the model's state on
// Refresh. With edit mode off only the switch and the title are on show.

#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QString>

#include <functional>
#include <optional>

#include "lighting/LightingRecord.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace kst {

class CBitmapSlider;
class CSkinColorBtn;
class Language;
class LightingModel;

// Control ids of the panel.
namespace panel_id {
inline constexpr int kEditSwitch = 1167;
inline constexpr int kTitle = 1171;
inline constexpr int kEffectList = 1146;
inline constexpr int kBrightnessCaption = 1172;
inline constexpr int kBrightness = 1178;
inline constexpr int kSpeedCaption = 1166;
inline constexpr int kSpeed = 1179;
inline constexpr int kDirectionCaption = 1148;
inline constexpr int kDirectionFirst = 1149;   // left, up, spread (0xFF)
inline constexpr int kDirectionSecond = 1150;  // right, down, gather (0x00)
inline constexpr int kColourACaption = 1154;
inline constexpr int kColourA = 1155;
inline constexpr int kMultiACaption = 1173;
inline constexpr int kMultiA = 1156;
inline constexpr int kColourBCaption = 1151;
inline constexpr int kColourB = 1152;
inline constexpr int kMultiBCaption = 1176;
inline constexpr int kMultiB = 1175;
inline constexpr int kChoiceRed = 1194;  // 1194-1197: red, yellow, green, blue
inline constexpr int kPaintCaption = 1159;
inline constexpr int kPaintColour = 1160;
inline constexpr int kBaseCaption = 1161;
inline constexpr int kBaseColour = 1162;
inline constexpr int kToolCaption = 1163;
inline constexpr int kToolPaint = 1164;
inline constexpr int kToolBase = 1165;
inline constexpr int kUserModes = 1198;
inline constexpr int kReportRateCaption = 1204;
inline constexpr int kRgbCaption = 1207;
inline constexpr int kRed = 1208;  // 1208-1210: red, green, blue
}  // namespace panel_id

// Whether the control is on show for the effect while edit mode is on.
bool ShownForEffect(int controlId, EffectCode effect);
// The layout key suffix of the direction group for the effect: "2" for
// 1-3, "3" for 12, "" otherwise.
QString DirectionLayoutSuffix(EffectCode effect);

class LightingPanel : public QObject {
  Q_OBJECT

 public:
  // window: the parent of the controls. All references must outlive the panel.
  LightingPanel(QWidget& window, LightingModel& model, const Language& language);
  ~LightingPanel() override;

  // Makes the controls at their rectangles of skinFile and loads the
  // pictures from skinFolder (a missing one leaves its control empty).
  void Layout(const QString& skinFile, const QString& skinFolder);
  // Captions from the skin file's "Control_Name" (skin language 0) or
  // "Control_Name1" (1) section.
  void SetSkinCaptions();
  // Captions from the language file.
  void SetCaptions(int languageIndex);
  // Shows the model's state: effect list, sliders, pictures, colours,
  // custom controls, the edit-mode switch and the controls of the effect.
  void Refresh();

  QWidget* Control(int controlId) const { return controls_.value(controlId, nullptr); }
  // The file name of the picture a picture control shows; empty for none.
  QString PictureShown(int controlId) const;
  // Whether the picture file has been read. Each is read when a control on
  // show first needs it, not before.
  bool PictureLoaded(const QString& file) const;

  // The report-rate caption is on show beside the report-rate buttons, when
  // the window has them.
  void SetReportRateShown(bool shown);

  // Clicks from the window are held while this says so (the keyboard's
  // content is still being read).
  void SetClickGate(std::function<bool()> held) { clicksHeld_ = std::move(held); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* MakeLabel(int controlId, const char* skinKey);
  QLabel* MakePicture(int controlId, const char* skinKey);
  CSkinColorBtn* MakeColourButton(int controlId, const char* skinKey);
  QWidget* Place(QWidget* control, int controlId, const char* skinKey);
  void ShowPicture(int controlId, const QString& file);
  // The picture of the skin folder, read on first use; null when missing.
  const QPixmap& Picture(const QString& file);
  // The picture under a slider's channel at a position.
  static QString ChannelFile(int sliderId, int position);
  // Gives the picture controls and sliders on show the pictures they stand
  // for, reading those not read yet.
  void LoadShownPictures();
  void PictureClicked(int controlId);
  void ShowEffectControls(EffectCode effect);
  void LayoutDirectionGroup(EffectCode effect);
  void ShowDirectionPictures();
  void RefreshCustomControls();
  void ShowRgb();
  void RgbEdited();
  void Run(int result);
  std::optional<int> VisibleColourPicker() const;

  QWidget& window_;
  LightingModel& model_;
  const Language& language_;
  QString skinFile_;
  QString skinFolder_;
  QHash<int, QWidget*> controls_;
  QHash<int, QString> pictureShown_;
  QHash<int, QString> pictureOnLabel_;  // the picture each label holds
  QHash<QString, QPixmap> pictures_;
  QComboBox* effects_ = nullptr;
  QComboBox* userModes_ = nullptr;
  CBitmapSlider* brightness_ = nullptr;
  CBitmapSlider* speed_ = nullptr;
  QLineEdit* rgb_[3] = {};
  bool refreshing_ = false;
  bool reportRateShown_ = false;
  std::function<bool()> clicksHeld_;
};

}  // namespace kst
