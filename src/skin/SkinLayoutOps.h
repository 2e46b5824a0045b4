#pragma once

// The layout operations the windows use at initialisation: each applies one
// key of a skin layout file to one control.

#include <QPixmap>
#include <QString>

#include <vector>

#include "foundation/SkinLayout.h"

class QWidget;

namespace kst {

class CPngButton;

// Largest coordinate or size a layout gives a control; a skin value beyond
// it is cut, a negative size becomes 0.
inline constexpr int kMaxLayoutExtent = 32767;

// The rectangle as a control's geometry: position within
// [-kMaxLayoutExtent, kMaxLayoutExtent], size within [0, kMaxLayoutExtent].
QRect GeometryFromSkinRect(const SkinRect& rect);

// Moves the control to the rectangle of `key`, gives it the picture origin
// (x, y) and the five state pictures, and disables and hides it when the
// rectangle starts at (1, 1). Returns the rectangle read.
SkinRect LayoutImageButton(CPngButton& control, const QString& file, const QString& section,
                           const QString& key, const QPixmap& normal, const QPixmap& hover,
                           const QPixmap& pressed, const QPixmap& disabled, const QPixmap& extra);
// Moves the control to the rectangle of `key`; nothing is hidden.
SkinRect LayoutControl(QWidget& control, const QString& file, const QString& section,
                       const QString& key);
// Moves the control to the rectangle of `key`, then gives it the picture
// origin read from `key2` of `section2` and `bitmap` for all five states.
SkinRect LayoutVariantButton(CPngButton& control, const QString& file, const QString& section,
                             const QString& key, const QString& section2, const QString& key2,
                             const QPixmap& bitmap);

// Sorts controls as a page is read: top to bottom, and left to right along a
// row (controls whose centres lie within half the lower one's height).
void SortInReadingOrder(std::vector<QWidget*>& controls);
// Chains the Tab order through `controls`, in that order.
void SetTabChain(const std::vector<QWidget*>& controls);

}  // namespace kst
