#pragma once
// The pictures a window's image buttons hold and show.

#include <QImage>
#include <QStringList>
#include <QWidget>

#include <vector>

#include "skin/CPngButton.h"

namespace kst::test {

// Every image button's five looks as drawn: the part of each look's
// picture under the button.
inline std::vector<QImage> ButtonLookImages(QWidget& window) {
  std::vector<QImage> looks;
  for (CPngButton* button : window.findChildren<CPngButton*>()) {
    using Look = CPngButton::Look;
    for (const Look look :
         {Look::Normal, Look::Hover, Look::Pressed, Look::Disabled, Look::Selected})
      looks.push_back(button->LookPixels(look).toImage());
  }
  return looks;
}

// The image buttons of the window that hold a picture of more than one
// pixel, by name.
inline QStringList ButtonsHoldingPictures(QWidget& window) {
  QStringList holding;
  for (CPngButton* button : window.findChildren<CPngButton*>()) {
    using Look = CPngButton::Look;
    for (const Look look :
         {Look::Normal, Look::Hover, Look::Pressed, Look::Disabled, Look::Selected}) {
      const QSize size = button->Picture(look).size();
      if (size.width() > 1 || size.height() > 1) {
        holding << button->objectName();
        break;
      }
    }
  }
  return holding;
}

}  // namespace kst::test
