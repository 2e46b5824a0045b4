#pragma once

// Drawing of the skin's looks: window backgrounds, keycaps, buttons, icons
// and the lighting panel's bitmaps. Pure painting; where things go is decided
// by SkinLayoutData.h.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

#include "SkinLayoutData.h"

namespace kst::skingen {

// The four looks of a full-window picture.
enum class State { Normal, Over, Down, Disable };

// Which picture set of the key assignment dialog is being drawn.
enum class PageSet { Key, Macro, Macro2, Media, Function };

namespace palette {
inline const QColor kBgTop(0x0a, 0x0c, 0x11);
inline const QColor kBgBottom(0x13, 0x16, 0x1e);
inline const QColor kPanel(0x0e, 0x11, 0x17);
inline const QColor kBar(0x10, 0x13, 0x1a);
inline const QColor kLine(0x27, 0x2d, 0x39);
inline const QColor kText(0xe8, 0xeb, 0xf1);
inline const QColor kMuted(0x86, 0x8f, 0xa3);
inline const QColor kAccent(0xff, 0x2d, 0x55);      // hover glow, active
inline const QColor kAccentDeep(0x9c, 0x10, 0x2e);  // pressed
inline const QColor kAssigned(0x2b, 0xe0, 0xff);    // keys that carry an assignment
}  // namespace palette

QFont SkinFont(int pixelSize, bool bold = false, qreal letterSpacing = 0);

// Window backgrounds (everything that is not a control).
void DrawMainBase(QPainter& p);
void DrawCompositeBase(QPainter& p);
void DrawProfileBase(QPainter& p);
// White outside a rounded window, black inside: the shape of the window.
QImage WindowMask(int width, int height, int radius);

struct Theme {
  bool lightPressed = false;  // pressed buttons light, for dark caption colours
};

// One control in one look. `set` matters only in the key assignment dialog.
void DrawControl(QPainter& p, const Control& c, State s, const Theme& theme,
                 PageSet set = PageSet::Key);
void DrawKeycap(QPainter& p, const QRect& cell, const QString& legend, const QString& shift,
                State s, bool gKey);

// Arrow.jpg: one cell per variant of kArrowCells, at `scale` device pixels
// per window pixel.
QImage ArrowSheet(int scale = 1);

// Lighting panel bitmaps (opaque, on the panel colour).
QImage ToggleSwitch(QSize size, bool on, bool rainbow);
QImage DirectionPicture(QSize size, const QString& kind,
                        bool chosen);  // left right up down spread gather
QImage SwatchPicture(QSize size, QColor colour, bool chosen);
QImage ToolPicture(QSize size, int tool, bool chosen);
QImage SliderChannel(QSize size, int position, int kind);  // kind 0 brightness, 1 speed, 2 hue k
QImage HueChannel(QSize size, int index);
QImage BusyFrame(QSize size, int frame);

// Tray and window icons.
QImage KeyboardIcon(int size, int kind);  // 0 no keyboard, 1 connected, 2 activity

}  // namespace kst::skingen
