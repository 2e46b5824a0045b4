#include "lighting/panel/ColorStatic.h"

#include <QPalette>

namespace kst {

ColorStatic::ColorStatic(QWidget* parent) : QLabel(parent) {
  // Nothing behind the text is painted: the skin under the label shows.
  setAutoFillBackground(false);
  setAttribute(Qt::WA_NoSystemBackground);
  // White in every state, disabled included: the skin is dark behind every
  // label. Roles set here survive a palette the parent sets later.
  QPalette palette = this->palette();
  for (const QPalette::ColorGroup group :
       {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    palette.setColor(group, QPalette::WindowText, Qt::white);
  setPalette(palette);
}

}  // namespace kst
