#pragma once

// The lighting panel's colour picker: a button whose face shows the chosen
// colour, opening a palette of 10 columns with an "other" button that opens
// the colour dialog. colourPicked fires once the user chose a colour (not
// when the palette is dismissed, nor when the colour is set from code).

#include <QAbstractButton>
#include <QColor>
#include <QPointer>

#include <cstdint>

#include <functional>
#include <vector>

#include "lighting/LightingRecord.h"

namespace kst {

class CSkinColorBtn : public QAbstractButton {
  Q_OBJECT

 public:
  explicit CSkinColorBtn(QWidget* parent = nullptr);
  ~CSkinColorBtn() override;

  // Sets what the face shows; emits nothing.
  void SetColour(ColorRef colour);
  ColorRef Colour() const { return colour_; }

  // Test seam: replaces QColorDialog::getColor for "other"; an invalid
  // colour cancels.
  void SetColourDialog(std::function<QColor(const QColor& initial)> dialog) {
    colourDialog_ = std::move(dialog);
  }
  // Opens the palette below the button (what a click does).
  void OpenPalette();
  // The palette's colours, row by row, 10 to a row.
  static const std::vector<ColorRef>& PaletteColours();

 signals:
  void colourPicked(kst::ColorRef colour);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  // Enter, F4 and Alt+Down open the palette as Space does.
  void keyPressEvent(QKeyEvent* event) override;
  void Choose(ColorRef colour);
  void ChooseOther();

  ColorRef colour_ = 0;
  std::function<QColor(const QColor&)> colourDialog_;
  QPointer<QWidget> popup_;  // the open palette; it deletes itself on closing
};

}  // namespace kst
