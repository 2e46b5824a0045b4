#pragma once

// A label of the lighting panel: its text in white on a transparent
// background, over the skin.

#include <QLabel>

namespace kst {

class ColorStatic : public QLabel {
  Q_OBJECT

 public:
  explicit ColorStatic(QWidget* parent = nullptr);
};

}  // namespace kst
