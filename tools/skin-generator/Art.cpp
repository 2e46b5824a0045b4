#include "Art.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace kst::skingen {

using namespace palette;

namespace {

QColor WithAlpha(QColor c, int alpha) {
  c.setAlpha(alpha);
  return c;
}

QLinearGradient Vertical(const QRectF& r, QColor top, QColor bottom) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  return g;
}

void RoundedFill(QPainter& p, const QRectF& r, qreal radius, const QBrush& brush,
                 const QPen& pen = Qt::NoPen) {
  p.setPen(pen);
  p.setBrush(brush);
  p.drawRoundedRect(r, radius, radius);
}

// A soft glow around a rounded rectangle, kept inside `clip`.
void Glow(QPainter& p, const QRectF& r, qreal radius, QColor colour, int steps, int alpha) {
  p.save();
  p.setBrush(Qt::NoBrush);
  for (int i = steps; i >= 1; --i) {
    QPen pen(WithAlpha(colour, alpha / (i + 1)));
    pen.setWidthF(i * 1.6);
    p.setPen(pen);
    p.drawRoundedRect(r, radius, radius);
  }
  p.restore();
}

void DrawText(QPainter& p, const QRectF& r, const QString& text, const QFont& font, QColor colour,
              int flags = Qt::AlignCenter) {
  p.setFont(font);
  p.setPen(colour);
  p.drawText(r, flags, text);
}

// Fine diagonal hairlines that give the dark surfaces some texture.
void Hairlines(QPainter& p, const QRect& r, int alpha) {
  p.save();
  p.setClipRect(r);
  p.setPen(QPen(QColor(255, 255, 255, alpha), 1));
  for (int x = r.left() - r.height(); x < r.right(); x += 7)
    p.drawLine(x, r.bottom(), x + r.height(), r.top());
  p.restore();
}

void WindowFrame(QPainter& p, int w, int h) {
  p.fillRect(QRect(0, 0, w, h), Vertical(QRectF(0, 0, w, h), kBgTop, kBgBottom));
  Hairlines(p, QRect(0, 0, w, h), 5);
  QRadialGradient red(QPointF(w * 0.12, 0), w * 0.45);
  red.setColorAt(0, QColor(255, 45, 85, 34));
  red.setColorAt(1, QColor(255, 45, 85, 0));
  p.fillRect(QRect(0, 0, w, h), red);
  QRadialGradient blue(QPointF(w * 0.95, h), w * 0.5);
  blue.setColorAt(0, QColor(43, 120, 255, 22));
  blue.setColorAt(1, QColor(43, 120, 255, 0));
  p.fillRect(QRect(0, 0, w, h), blue);
  // Accent line along the top edge, brightest in the middle.
  QLinearGradient top(0, 0, w, 0);
  top.setColorAt(0, WithAlpha(kAccent, 0));
  top.setColorAt(0.5, WithAlpha(kAccent, 230));
  top.setColorAt(1, WithAlpha(kAccent, 0));
  p.fillRect(QRect(14, 0, w - 28, 2), top);
  p.setPen(QPen(QColor(0x2c, 0x32, 0x3f), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 14, 14);
}

void Wordmark(QPainter& p, int x, int y, const QString& first, const QString& second,
              const QString& subtitle) {
  const QFont big = SkinFont(22, true, 1);
  p.setFont(big);
  const int firstWidth = QFontMetrics(big).horizontalAdvance(first);
  DrawText(p, QRectF(x, y, firstWidth + 4, 30), first, big, kText,
           Qt::AlignLeft | Qt::AlignVCenter);
  DrawText(p, QRectF(x + firstWidth + 8, y, 300, 30), second, big, kAccent,
           Qt::AlignLeft | Qt::AlignVCenter);
  DrawText(p, QRectF(x + 1, y + 28, 400, 14), subtitle, SkinFont(9, false, 2.2), kMuted,
           Qt::AlignLeft | Qt::AlignVCenter);
}

void Separator(QPainter& p, int x1, int x2, int y) {
  QLinearGradient g(x1, 0, x2, 0);
  g.setColorAt(0, WithAlpha(kLine, 0));
  g.setColorAt(0.15, kLine);
  g.setColorAt(0.85, kLine);
  g.setColorAt(1, WithAlpha(kLine, 0));
  p.fillRect(QRect(x1, y, x2 - x1, 1), g);
}

// A recessed well for lists and text areas.
void Well(QPainter& p, const QRectF& r) {
  RoundedFill(p, r.adjusted(-3, -3, 3, 3), 8, QColor(0x07, 0x09, 0x0d),
              QPen(QColor(0x23, 0x28, 0x33), 1));
}

// ---- Buttons ------------------------------------------------------------------

void Pill(QPainter& p, const QRect& cell, State s, const Theme& theme, bool dimDisabled) {
  const QRectF r = QRectF(cell).adjusted(2.5, 2.5, -2.5, -2.5);
  const qreal radius = std::min<qreal>(8, r.height() / 2);
  switch (s) {
    case State::Normal:
      RoundedFill(p, r, radius, Vertical(r, QColor(0x25, 0x2a, 0x35), QColor(0x17, 0x1a, 0x22)),
                  QPen(QColor(0x38, 0x3f, 0x4e), 1));
      p.setPen(QPen(QColor(255, 255, 255, 22), 1));
      p.drawLine(QPointF(r.left() + radius, r.top() + 1.5),
                 QPointF(r.right() - radius, r.top() + 1.5));
      break;
    case State::Over:
      Glow(p, r, radius, kAccent, 2, 150);
      RoundedFill(p, r, radius, Vertical(r, QColor(0x2e, 0x33, 0x40), QColor(0x1c, 0x20, 0x29)),
                  QPen(kAccent, 1.2));
      break;
    case State::Down:
      if (theme.lightPressed)
        RoundedFill(p, r, radius, Vertical(r, QColor(0xe1, 0xe4, 0xea), QColor(0xaf, 0xb5, 0xc0)),
                    QPen(kAccent, 1.4));
      else
        RoundedFill(p, r, radius, Vertical(r, kAccentDeep, QColor(0x5e, 0x0a, 0x1d)),
                    QPen(kAccent, 1.4));
      break;
    case State::Disable:
      if (dimDisabled)
        RoundedFill(p, r, radius, QColor(0x13, 0x16, 0x1c), QPen(QColor(0x22, 0x26, 0x2f), 1));
      else
        RoundedFill(p, r, radius, Vertical(r, QColor(0x25, 0x2a, 0x35), QColor(0x17, 0x1a, 0x22)),
                    QPen(QColor(0x38, 0x3f, 0x4e), 1));
      break;
  }
}

// A button that shows a checked look in the disabled picture (profile and
// report-rate buttons use it as their selected look).
void CheckPill(QPainter& p, const QRect& cell, State s, const Theme& theme) {
  if (s != State::Disable) {
    Pill(p, cell, s, theme, false);
    return;
  }
  const QRectF r = QRectF(cell).adjusted(2.5, 2.5, -2.5, -2.5);
  const qreal radius = std::min<qreal>(8, r.height() / 2);
  Glow(p, r, radius, kAccent, 2, 170);
  RoundedFill(p, r, radius, Vertical(r, QColor(0xc4, 0x17, 0x3f), QColor(0x7a, 0x0c, 0x25)),
              QPen(QColor(0xff, 0x6b, 0x8a), 1.2));
  p.setPen(QPen(QColor(255, 255, 255, 60), 1));
  p.drawLine(QPointF(r.left() + radius, r.top() + 1.5), QPointF(r.right() - radius, r.top() + 1.5));
}

// The LED bar along the bottom of a profile button.
void LedBar(QPainter& p, const QRect& cell, State s) {
  const QRectF bar(cell.left() + 16, cell.bottom() - 7, cell.width() - 32, 2.5);
  QColor c = s == State::Disable ? QColor(255, 255, 255)
             : s == State::Over  ? WithAlpha(kAccent, 200)
             : s == State::Down  ? kAccent
                                 : QColor(0x3a, 0x40, 0x4d);
  RoundedFill(p, bar, 1.2, c);
}

void IconFrame(QPainter& p, const QRect& cell, State s, bool danger) {
  const QRectF r = QRectF(cell).adjusted(3, 3, -3, -3);
  if (s == State::Over) {
    RoundedFill(p, r, 7, danger ? QColor(0xd9, 0x1c, 0x45) : QColor(0x2a, 0x30, 0x3c));
  } else if (s == State::Down) {
    RoundedFill(p, r, 7, danger ? QColor(0x8f, 0x0f, 0x2c) : kAccentDeep);
  }
}

QColor GlyphColour(State s) { return s == State::Normal || s == State::Disable ? kMuted : kText; }

void GlyphPen(QPainter& p, State s, qreal width = 2) {
  QPen pen(GlyphColour(s), width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
}

void DrawIcon(QPainter& p, const QRect& cell, Look look, State s) {
  IconFrame(p, cell, s, look == Look::IconClose);
  const QPointF c = QRectF(cell).center();
  GlyphPen(p, s);
  switch (look) {
    case Look::IconMenu:
      for (int i = -1; i <= 1; ++i)
        p.drawLine(QPointF(c.x() - 7, c.y() + i * 5), QPointF(c.x() + 7, c.y() + i * 5));
      break;
    case Look::IconHelp:
      p.drawEllipse(c, 9, 9);
      DrawText(p, QRectF(c.x() - 9, c.y() - 9, 18, 18), QStringLiteral("?"), SkinFont(12, true),
               GlyphColour(s));
      break;
    case Look::IconMinimise:
      p.drawLine(QPointF(c.x() - 7, c.y() + 5), QPointF(c.x() + 7, c.y() + 5));
      break;
    case Look::IconClose:
      p.drawLine(QPointF(c.x() - 6, c.y() - 6), QPointF(c.x() + 6, c.y() + 6));
      p.drawLine(QPointF(c.x() + 6, c.y() - 6), QPointF(c.x() - 6, c.y() + 6));
      break;
    case Look::IconNetwork:
      p.drawEllipse(c, 8, 8);
      p.drawEllipse(c, 3.5, 8);
      p.drawLine(QPointF(c.x() - 8, c.y()), QPointF(c.x() + 8, c.y()));
      break;
    case Look::IconFacebook:
      p.drawEllipse(c, 9, 9);
      DrawText(p, QRectF(c.x() - 9, c.y() - 8, 18, 18), QStringLiteral("f"), SkinFont(13, true),
               GlyphColour(s));
      break;
    case Look::IconTwitter: {
      QPainterPath bubble;
      bubble.addRoundedRect(QRectF(c.x() - 8, c.y() - 7, 16, 11), 4, 4);
      bubble.moveTo(c.x() - 3, c.y() + 4);
      bubble.lineTo(c.x() - 6, c.y() + 8);
      bubble.lineTo(c.x() + 1, c.y() + 4);
      p.drawPath(bubble);
      break;
    }
    default:
      break;
  }
}

void KeyboardGlyph(QPainter& p, const QRectF& r, QColor colour, qreal width) {
  QPen pen(colour, width);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(r, r.height() * 0.16, r.height() * 0.16);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  const qreal kw = r.width() / 11.0;
  const qreal kh = r.height() / 6.0;
  for (int row = 0; row < 2; ++row)
    for (int i = 0; i < 8; ++i)
      p.drawRect(QRectF(r.left() + kw * (1.2 + i * 1.1), r.top() + kh * (1.2 + row * 1.4), kw * 0.7,
                        kh * 0.8));
  p.drawRect(QRectF(r.left() + kw * 3, r.top() + kh * 4.0, kw * 5, kh * 0.8));
}

void DrawTab(QPainter& p, const QRect& cell, State s, PageSet set) {
  const QRectF r = QRectF(cell).adjusted(1.5, 1.5, -1.5, -1.5);
  if (set == PageSet::Macro2) {
    // Macro-only mode: the other pages are out of reach.
    RoundedFill(p, r, 7, QColor(0x11, 0x13, 0x19), QPen(QColor(0x1e, 0x22, 0x2a), 1));
    return;
  }
  switch (s) {
    case State::Normal:
    case State::Disable:
      RoundedFill(p, r, 7, Vertical(r, QColor(0x1c, 0x20, 0x29), QColor(0x14, 0x17, 0x1e)),
                  QPen(QColor(0x2a, 0x30, 0x3c), 1));
      RoundedFill(p, QRectF(r.left() + 6, r.top() + 12, 3, r.height() - 24), 1.5,
                  QColor(0x3a, 0x40, 0x4d));
      break;
    case State::Over:
      RoundedFill(p, r, 7, Vertical(r, QColor(0x27, 0x2c, 0x37), QColor(0x1b, 0x1f, 0x27)),
                  QPen(WithAlpha(kAccent, 160), 1));
      RoundedFill(p, QRectF(r.left() + 6, r.top() + 10, 3, r.height() - 20), 1.5, kAccent);
      break;
    case State::Down:
      RoundedFill(p, r, 7, Vertical(r, QColor(0xe4, 0xe7, 0xec), QColor(0xb3, 0xb9, 0xc3)),
                  QPen(QColor(0xff, 0xff, 0xff, 120), 1));
      RoundedFill(p, QRectF(r.left() + 6, r.top() + 8, 4, r.height() - 16), 2, kAccent);
      break;
  }
}

void DrawPageBackdrop(QPainter& p, const QRect& cell, PageSet set) {
  const QRectF r = QRectF(cell).adjusted(0.5, 0.5, -0.5, -0.5);
  RoundedFill(p, r, 10, Vertical(r, QColor(0x12, 0x15, 0x1c), QColor(0x0d, 0x10, 0x15)),
              QPen(QColor(0x26, 0x2c, 0x38), 1));
  Hairlines(p, cell.adjusted(1, 1, -1, -1), 4);
  // A large faint emblem of the page in the lower right corner.
  p.save();
  p.setClipRect(cell.adjusted(1, 1, -1, -1));
  const QColor mark(255, 255, 255, 14);
  const QRectF emblem(cell.right() - 190, cell.bottom() - 150, 170, 130);
  switch (set) {
    case PageSet::Key: {
      QPen pen(mark, 6);
      p.setPen(pen);
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(emblem.adjusted(30, 10, -20, -10), 16, 16);
      p.drawRoundedRect(emblem.adjusted(46, 22, -36, -38), 10, 10);
      break;
    }
    case PageSet::Macro:
    case PageSet::Macro2:
      // The macro page is full of controls; no emblem behind them.
      break;
    case PageSet::Media: {
      QPen pen(mark, 8);
      p.setPen(pen);
      p.setBrush(mark);
      const QPointF c = emblem.center();
      p.drawLine(QPointF(c.x() + 10, c.y() + 30), QPointF(c.x() + 10, c.y() - 50));
      p.drawLine(QPointF(c.x() + 10, c.y() - 50), QPointF(c.x() + 60, c.y() - 60));
      p.drawLine(QPointF(c.x() + 60, c.y() - 60), QPointF(c.x() + 60, c.y() + 20));
      p.drawEllipse(QPointF(c.x() - 4, c.y() + 32), 16, 12);
      p.drawEllipse(QPointF(c.x() + 46, c.y() + 22), 16, 12);
      break;
    }
    case PageSet::Function:
      DrawText(p, emblem, QStringLiteral("fx"), SkinFont(110, true), mark);
      break;
  }
  p.restore();
}

}  // namespace

QFont SkinFont(int pixelSize, bool bold, qreal letterSpacing) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferFullHinting);
  if (letterSpacing != 0) font.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
  return font;
}

QImage WindowMask(int width, int height, int radius) {
  QImage mask(width, height, QImage::Format_RGB32);
  mask.fill(Qt::white);
  QPainter p(&mask);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawRoundedRect(QRect(0, 0, width, height), radius, radius);
  return mask;
}

// ---- Window backgrounds ---------------------------------------------------------

void DrawMainBase(QPainter& p) {
  WindowFrame(p, kMainWidth, kMainHeight);
  Wordmark(p, 48, 12, QStringLiteral("Z-ORMIT"), QStringLiteral("M350RGB"),
           QStringLiteral("GAMING KEYBOARD CONTROL CENTER"));
  Separator(p, 24, kMainWidth - 24, 58);

  // Keyboard plate.
  const QRectF plate(kPlateX + 0.5, kPlateY + 0.5, kPlateW - 1, kPlateH - 1);
  RoundedFill(p, plate.adjusted(-2, 2, 2, 6), 16, QColor(0, 0, 0, 120));
  RoundedFill(p, plate, 14, Vertical(plate, QColor(0x1a, 0x1e, 0x26), QColor(0x0c, 0x0e, 0x13)),
              QPen(QColor(0x30, 0x36, 0x44), 1));
  const QRectF inner = plate.adjusted(10, 40, -10, -10);
  RoundedFill(p, inner, 9, Vertical(inner, QColor(0x08, 0x09, 0x0d), QColor(0x0b, 0x0d, 0x12)),
              QPen(QColor(0x1c, 0x20, 0x29), 1));
  // Per-key light leaking onto the plate: a rainbow underglow along its foot.
  QLinearGradient rgb(plate.left(), 0, plate.right(), 0);
  rgb.setColorAt(0.0, QColor(255, 45, 85));
  rgb.setColorAt(0.3, QColor(200, 60, 255));
  rgb.setColorAt(0.6, QColor(43, 120, 255));
  rgb.setColorAt(1.0, QColor(43, 224, 255));
  p.save();
  p.setOpacity(0.9);
  p.fillRect(QRectF(plate.left() + 24, plate.bottom() - 3, plate.width() - 48, 2), rgb);
  p.setOpacity(0.18);
  p.fillRect(QRectF(plate.left() + 40, plate.bottom() - 9, plate.width() - 80, 6), rgb);
  p.restore();
  DrawText(p, QRectF(kMainBlockX + 520, kPlateY + 12, 240, 26), QStringLiteral("M350RGB"),
           SkinFont(11, true, 4), QColor(0x4a, 0x52, 0x62));
  // G-key column well.
  RoundedFill(p, QRectF(kGridX - 5, kGridY - 5, kGKeyWidth + 10, 9 * kGKeyPitch + 7), 8,
              QColor(0x0f, 0x11, 0x17), QPen(QColor(0x22, 0x26, 0x30), 1));

  // Lighting panel box.
  const QRectF panel(kPanelX + 0.5, kPanelY + 0.5, kPanelW - 1, kPanelH - 1);
  RoundedFill(p, panel, 12, kPanel, QPen(QColor(0x25, 0x2b, 0x36), 1));
  Separator(p, kPanelX + 12, kPanelX + kPanelW - 12, kPanelY + 50);

  // Bottom bar.
  p.fillRect(QRect(1, 650, kMainWidth - 2, kMainHeight - 651), kBar);
  Separator(p, 24, kMainWidth - 24, 650);
}

void DrawCompositeBase(QPainter& p) {
  WindowFrame(p, kCompositeWidth, kCompositeHeight);
  Separator(p, 16, kCompositeWidth - 16, 56);
  // Navigation column.
  RoundedFill(p, QRectF(14.5, 64.5, 193, 406), 10, QColor(0x0d, 0x10, 0x15),
              QPen(QColor(0x20, 0x25, 0x2f), 1));
  Separator(p, 16, kCompositeWidth - 16, 476);
}

void DrawProfileBase(QPainter& p) {
  WindowFrame(p, kProfileWidth, kProfileHeight);
  Wordmark(p, 24, 10, QStringLiteral("PROFILE"), QStringLiteral("FILES"),
           QStringLiteral("ADD, LOAD AND ACTIVATE PROFILES"));
  Separator(p, 16, kProfileWidth - 16, 56);
  Well(p, QRectF(24, 66, 420, 262));
  Separator(p, 16, kProfileWidth - 16, 338);
}

// ---- Keys -------------------------------------------------------------------------

void DrawKeycap(QPainter& p, const QRect& cell, const QString& legend, const QString& shift,
                State s, bool gKey) {
  const QRectF body = QRectF(cell).adjusted(2.5, 2.5, -2.5, -2.5);
  const qreal radius = 6;
  const bool down = s == State::Down;
  const QRectF cap = down ? body.adjusted(0.5, 2, -0.5, 0) : body;
  QRectF face = cap.adjusted(4, 3, -4, down ? -4 : -7);

  QColor bodyTop(0x30, 0x35, 0x41), bodyBottom(0x17, 0x1a, 0x20), edge(0x3b, 0x42, 0x50);
  QColor faceTop(0x3d, 0x43, 0x50), faceBottom(0x28, 0x2c, 0x35);
  QColor legendColour = kText, shiftColour = kMuted;
  if (gKey) {
    bodyTop = QColor(0x38, 0x2a, 0x33);
    bodyBottom = QColor(0x1c, 0x14, 0x19);
    edge = QColor(0x4a, 0x35, 0x40);
    faceTop = QColor(0x45, 0x35, 0x3f);
    faceBottom = QColor(0x2c, 0x22, 0x29);
  }
  switch (s) {
    case State::Normal:
      break;
    case State::Over:
      edge = kAccent;
      faceTop = faceTop.lighter(125);
      faceBottom = faceBottom.lighter(118);
      legendColour = QColor(255, 255, 255);
      shiftColour = QColor(0xd0, 0xd5, 0xdf);
      break;
    case State::Down:
      bodyTop = QColor(0x1c, 0x1f, 0x26);
      bodyBottom = QColor(0x12, 0x14, 0x19);
      edge = kAccent;
      faceTop = QColor(0x22, 0x25, 0x2d);
      faceBottom = QColor(0x1c, 0x1f, 0x26);
      legendColour = kAccent;
      shiftColour = WithAlpha(kAccent, 170);
      break;
    case State::Disable:
      // A key that carries an assignment: cyan cap, cyan legend, a lit dot.
      bodyTop = QColor(0x10, 0x3a, 0x46);
      bodyBottom = QColor(0x08, 0x1b, 0x21);
      edge = kAssigned;
      faceTop = QColor(0x15, 0x4f, 0x5e);
      faceBottom = QColor(0x0c, 0x30, 0x39);
      legendColour = QColor(0xc9, 0xf6, 0xff);
      shiftColour = QColor(0x7f, 0xdc, 0xef);
      break;
  }

  // Shadow, body with its edge, and the sculpted top face.
  if (!down) RoundedFill(p, body.translated(0, 2), radius, QColor(0, 0, 0, 150));
  if (s == State::Over) Glow(p, cap, radius, kAccent, 2, 190);
  if (s == State::Disable) Glow(p, cap, radius, kAssigned, 2, 150);
  RoundedFill(p, cap, radius, Vertical(cap, bodyTop, bodyBottom),
              QPen(edge, s == State::Normal ? 1.0 : 1.4));
  RoundedFill(p, face, radius - 1.5, Vertical(face, faceTop, faceBottom));
  p.setPen(QPen(QColor(255, 255, 255, s == State::Down ? 10 : 34), 1));
  p.drawLine(QPointF(face.left() + 4, face.top() + 0.5),
             QPointF(face.right() - 4, face.top() + 0.5));
  if (s == State::Over) {
    // Light from below the key, as from its LED.
    QLinearGradient under(cap.bottomLeft(), cap.topLeft());
    under.setColorAt(0, WithAlpha(kAccent, 110));
    under.setColorAt(0.35, WithAlpha(kAccent, 0));
    RoundedFill(p, cap.adjusted(1, 1, -1, -1), radius, under);
  }
  if (s == State::Disable) {
    const QPointF dot(face.right() - 5, face.top() + 5);
    p.setPen(Qt::NoPen);
    p.setBrush(WithAlpha(kAssigned, 70));
    p.drawEllipse(dot, 4.5, 4.5);
    p.setBrush(kAssigned);
    p.drawEllipse(dot, 2.4, 2.4);
  }

  // Legends: one character large and centred, words small; an upper legend
  // above the main one.
  const bool single = legend.size() == 1;
  if (!shift.isEmpty()) {
    const bool shiftWord = shift.size() > 1;
    DrawText(p, QRectF(face.left(), face.top() + 1, face.width(), face.height() / 2), shift,
             SkinFont(shiftWord ? 8 : 11, !shiftWord), shiftColour);
    DrawText(
        p, QRectF(face.left(), face.top() + face.height() / 2 - 1, face.width(), face.height() / 2),
        legend, SkinFont(single ? 13 : 9, true), legendColour);
  } else if (!legend.isEmpty()) {
    const int size = single ? 15 : (legend.size() <= 3 ? 11 : 9);
    DrawText(p, face, legend, SkinFont(size, true), legendColour);
  }
}

// ---- Controls -------------------------------------------------------------------

void DrawControl(QPainter& p, const Control& c, State s, const Theme& theme, PageSet set) {
  const QRect cell(c.x, c.y, c.w, c.h);
  const QString legend = c.legend ? QString::fromUtf8(c.legend) : QString();
  switch (c.look) {
    case Look::None:
    case Look::Arrow:
    case Look::Busy:
    case Look::Version:
      return;
    case Look::Keycap:
      DrawKeycap(p, cell, legend, {}, s, false);
      return;
    case Look::GKey:
      DrawKeycap(p, cell, legend, {}, s, true);
      return;
    case Look::Pill:
      Pill(p, cell, s, theme, true);
      return;
    case Look::PillLegend:
      Pill(p, cell, s, theme, false);
      DrawText(p, cell, legend, SkinFont(13, true),
               s == State::Down && theme.lightPressed ? QColor(0x83, 0x12, 0x2a)
               : s == State::Normal                   ? kText
                                                      : QColor(255, 255, 255));
      return;
    case Look::Tab:
      DrawTab(p, cell, s, set);
      return;
    case Look::Danger: {
      if (set == PageSet::Macro2) {
        RoundedFill(p, QRectF(cell).adjusted(2.5, 2.5, -2.5, -2.5), 8, QColor(0x11, 0x13, 0x19),
                    QPen(QColor(0x1e, 0x22, 0x2a), 1));
        return;
      }
      Pill(p, cell, s, theme, false);
      const QRectF r = QRectF(cell).adjusted(2.5, 2.5, -2.5, -2.5);
      if (s == State::Normal || s == State::Disable)
        RoundedFill(p, r, 8, Qt::NoBrush, QPen(WithAlpha(kAccent, 110), 1));
      return;
    }
    case Look::IconMenu:
    case Look::IconHelp:
    case Look::IconMinimise:
    case Look::IconClose:
    case Look::IconNetwork:
    case Look::IconFacebook:
    case Look::IconTwitter:
      DrawIcon(p, cell, c.look, s);
      return;
    case Look::IconOsk: {
      IconFrame(p, cell, s, false);
      const QRectF r = QRectF(cell).adjusted(11, 10, -11, -10);
      KeyboardGlyph(p, r, GlyphColour(s), 1.6);
      return;
    }
    case Look::IconPlus:
    case Look::IconMinus: {
      Pill(p, cell, s, theme, false);
      const QPointF m = QRectF(cell).center();
      QPen pen(s == State::Down && theme.lightPressed ? QColor(0x83, 0x12, 0x2a) : kText, 2.4);
      pen.setCapStyle(Qt::RoundCap);
      p.setPen(pen);
      p.drawLine(QPointF(m.x() - 7, m.y()), QPointF(m.x() + 7, m.y()));
      if (c.look == Look::IconPlus)
        p.drawLine(QPointF(m.x(), m.y() - 7), QPointF(m.x(), m.y() + 7));
      return;
    }
    case Look::LockLed: {
      // Unlit in every picture but the hover one, which holds the lit look
      // for a window that knows the lock state.
      const bool lit = s == State::Over;
      const QRectF r = QRectF(cell).adjusted(2, 2, -2, -2);
      RoundedFill(p, r, 6, QColor(0x0e, 0x10, 0x15), QPen(QColor(0x24, 0x29, 0x33), 1));
      const QPointF led(r.center().x(), r.top() + 8);
      p.setPen(Qt::NoPen);
      if (lit) {
        p.setBrush(QColor(255, 45, 85, 50));
        p.drawEllipse(led, 5, 5);
        p.setBrush(QColor(0xff, 0x5c, 0x7c));
      } else {
        p.setBrush(QColor(0x2a, 0x2f, 0x3a));
      }
      p.drawEllipse(led, 2.5, 2.5);
      DrawText(p, QRectF(r.left(), r.top() + 14, r.width(), r.height() - 14), legend,
               SkinFont(9, true, 1), kMuted);
      return;
    }
    case Look::Bank: {
      const bool bankB = s == State::Over;
      const QRectF r = QRectF(cell).adjusted(1.5, 1.5, -1.5, -1.5);
      RoundedFill(p, r, 6, QColor(0x0e, 0x10, 0x15), QPen(QColor(0x2a, 0x2f, 0x3a), 1));
      const QRectF a(r.left() + 2, r.top() + 2, r.width() / 2 - 3, r.height() - 4);
      const QRectF b(r.center().x() + 1, r.top() + 2, r.width() / 2 - 3, r.height() - 4);
      RoundedFill(p, bankB ? b : a, 4, Vertical(a, kAccent, kAccentDeep));
      DrawText(p, a, QStringLiteral("A"), SkinFont(11, true),
               bankB ? kMuted : QColor(255, 255, 255));
      DrawText(p, b, QStringLiteral("B"), SkinFont(11, true),
               bankB ? QColor(255, 255, 255) : kMuted);
      return;
    }
    case Look::FlipLabel: {
      const QRectF r = QRectF(cell).adjusted(1.5, 1.5, -1.5, -1.5);
      const bool lit = s == State::Disable;
      RoundedFill(p, r, r.height() / 2, lit ? QColor(0x2a, 0x10, 0x18) : QColor(0x0e, 0x10, 0x15),
                  QPen(lit ? kAccent : QColor(0x2a, 0x2f, 0x3a), 1));
      DrawText(p, r, legend, SkinFont(9, true, 0.5), lit ? QColor(255, 255, 255) : kMuted);
      return;
    }
    case Look::FlipLeft:
    case Look::FlipRight: {
      IconFrame(p, cell, s, false);
      const QPointF m = QRectF(cell).center();
      const qreal d = c.look == Look::FlipLeft ? -1 : 1;
      QPainterPath tri;
      tri.moveTo(m.x() + 4 * d, m.y());
      tri.lineTo(m.x() - 3 * d, m.y() - 5);
      tri.lineTo(m.x() - 3 * d, m.y() + 5);
      tri.closeSubpath();
      p.setPen(Qt::NoPen);
      p.setBrush(GlyphColour(s));
      p.drawPath(tri);
      return;
    }
    case Look::Report: {
      CheckPill(p, cell, s, theme);
      const QColor text = s == State::Normal ? kText : QColor(255, 255, 255);
      DrawText(p, QRectF(cell).adjusted(0, 0, 0, -7), legend, SkinFont(11, true), text);
      DrawText(p, QRectF(cell).adjusted(0, 14, 0, 0), QStringLiteral("Hz"), SkinFont(8),
               s == State::Normal ? kMuted : QColor(255, 255, 255, 200));
      return;
    }
    case Look::Profile:
      CheckPill(p, cell, s, theme);
      LedBar(p, cell, s);
      return;
    case Look::ProfileName: {
      Pill(p, cell, s, theme, false);
      // Folder glyph at the left edge; the caption is drawn by the button.
      const QRectF f(cell.left() + 14, cell.center().y() - 7, 20, 15);
      QPen pen(s == State::Normal ? kAccent : QColor(255, 255, 255), 1.6);
      pen.setJoinStyle(Qt::RoundJoin);
      p.setPen(pen);
      p.setBrush(Qt::NoBrush);
      QPainterPath folder;
      folder.moveTo(f.left(), f.bottom());
      folder.lineTo(f.left(), f.top());
      folder.lineTo(f.left() + 7, f.top());
      folder.lineTo(f.left() + 9, f.top() + 3);
      folder.lineTo(f.right(), f.top() + 3);
      folder.lineTo(f.right(), f.bottom());
      folder.closeSubpath();
      p.drawPath(folder);
      // Drop-down mark at the right edge.
      QPainterPath tri;
      const QPointF m(cell.right() - 18, cell.center().y());
      tri.moveTo(m.x() - 5, m.y() - 2.5);
      tri.lineTo(m.x() + 5, m.y() - 2.5);
      tri.lineTo(m.x(), m.y() + 3.5);
      tri.closeSubpath();
      p.setPen(Qt::NoPen);
      p.setBrush(s == State::Normal ? kMuted : QColor(255, 255, 255));
      p.drawPath(tri);
      return;
    }
    case Look::Link:
      if (s == State::Over || s == State::Down)
        RoundedFill(p, QRectF(cell).adjusted(1, 3, -1, -3), 6,
                    s == State::Over ? QColor(255, 255, 255, 14) : QColor(255, 45, 85, 40));
      return;
    case Look::Title: {
      const QString text = set == PageSet::Macro2 ? QStringLiteral("MACRO EDITOR")
                                                  : QStringLiteral("KEY ASSIGNMENT");
      RoundedFill(p, QRectF(cell.left() + 2, cell.top() + 7, 4, cell.height() - 14), 2, kAccent);
      DrawText(p, QRectF(cell).adjusted(14, 0, 0, 0), text, SkinFont(17, true, 1.5), kText,
               Qt::AlignLeft | Qt::AlignVCenter);
      return;
    }
    case Look::PageBackdrop:
      DrawPageBackdrop(p, cell, set);
      return;
  }
}

// ---- Arrow sheet ----------------------------------------------------------------

QImage ArrowSheet(int scale) {
  const int count = static_cast<int>(std::size(kArrowCells));
  QImage sheet(kArrowCellW * count * scale, kArrowCellH * scale, QImage::Format_RGB32);
  sheet.setDevicePixelRatio(scale);
  sheet.fill(QColor(0x0e, 0x10, 0x15));  // the plate header beneath the arrows
  QPainter p(&sheet);
  p.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < count; ++i) {
    const QString name = QString::fromLatin1(kArrowCells[i]);
    const bool up = name.startsWith(QLatin1String("UP"));
    const bool second = name.endsWith(QLatin1Char('2'));
    const QPointF m(i * kArrowCellW + kArrowCellW / 2.0, kArrowCellH / 2.0);
    const qreal d = up ? -1 : 1;
    QPen pen(second ? kText : kAccent, 2);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    for (int k = 0; k < 2; ++k) {
      const qreal y = m.y() + d * (k * 5 - 3);
      p.drawLine(QPointF(m.x() - 5, y - 3 * d), QPointF(m.x(), y + 1 * d));
      p.drawLine(QPointF(m.x(), y + 1 * d), QPointF(m.x() + 5, y - 3 * d));
    }
  }
  return sheet;
}

// ---- Lighting panel bitmaps -----------------------------------------------------------

namespace {

QImage PanelImage(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(kPanel);
  return image;
}

}  // namespace

QImage ToggleSwitch(QSize size, bool on, bool rainbow) {
  QImage image = PanelImage(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF track = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(3, 4, -3, -4);
  const qreal radius = track.height() / 2;
  if (on) {
    if (rainbow) {
      QLinearGradient g(track.topLeft(), track.topRight());
      g.setColorAt(0, QColor(255, 45, 85));
      g.setColorAt(0.5, QColor(200, 60, 255));
      g.setColorAt(1, QColor(43, 224, 255));
      Glow(p, track, radius, QColor(200, 60, 255), 2, 120);
      RoundedFill(p, track, radius, g);
    } else {
      Glow(p, track, radius, kAccent, 2, 140);
      RoundedFill(p, track, radius, Vertical(track, kAccent, kAccentDeep));
    }
  } else {
    RoundedFill(p, track, radius, QColor(0x1c, 0x20, 0x28), QPen(QColor(0x33, 0x39, 0x46), 1));
  }
  const qreal knob = track.height() - 4;
  const QRectF k(on ? track.right() - knob - 2 : track.left() + 2, track.top() + 2, knob, knob);
  RoundedFill(p, k.translated(0, 1), knob / 2, QColor(0, 0, 0, 90));
  RoundedFill(p, k, knob / 2, Vertical(k, QColor(0xff, 0xff, 0xff), QColor(0xc6, 0xcb, 0xd4)));
  return image;
}

QImage DirectionPicture(QSize size, const QString& kind, bool chosen) {
  QImage image = PanelImage(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(2.5, 2.5, -2.5, -2.5);
  if (chosen) {
    RoundedFill(p, r, 8, Vertical(r, QColor(0xc4, 0x17, 0x3f), QColor(0x7a, 0x0c, 0x25)),
                QPen(QColor(0xff, 0x6b, 0x8a), 1.2));
  } else {
    RoundedFill(p, r, 8, Vertical(r, QColor(0x22, 0x27, 0x31), QColor(0x16, 0x19, 0x20)),
                QPen(QColor(0x36, 0x3d, 0x4b), 1));
  }
  const QColor ink = chosen ? QColor(255, 255, 255) : kMuted;
  const QPointF m = r.center();
  auto arrow = [&](QPointF tip, qreal angleDegrees) {
    QPainterPath path;
    const qreal a = angleDegrees * M_PI / 180.0;
    const QPointF dir(std::cos(a), std::sin(a));
    const QPointF normal(-dir.y(), dir.x());
    path.moveTo(tip);
    path.lineTo(tip - dir * 9 + normal * 6);
    path.lineTo(tip - dir * 9 - normal * 6);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(path);
    p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(tip - dir * 8, tip - dir * 16);
  };
  if (kind == QLatin1String("left")) arrow(QPointF(m.x() - 9, m.y()), 180);
  if (kind == QLatin1String("right")) arrow(QPointF(m.x() + 9, m.y()), 0);
  if (kind == QLatin1String("up")) arrow(QPointF(m.x(), m.y() - 9), 270);
  if (kind == QLatin1String("down")) arrow(QPointF(m.x(), m.y() + 9), 90);
  if (kind == QLatin1String("spread") || kind == QLatin1String("gather")) {
    const bool spread = kind == QLatin1String("spread");
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(m, 3, 3);
    for (int side : {-1, 1}) {
      QPainterPath tri;
      const qreal tipX = spread ? m.x() + side * 19 : m.x() + side * 7;
      const qreal d = spread ? side : -side;
      tri.moveTo(tipX, m.y());
      tri.lineTo(tipX - d * 8, m.y() - 6);
      tri.lineTo(tipX - d * 8, m.y() + 6);
      tri.closeSubpath();
      p.drawPath(tri);
    }
  }
  return image;
}

QImage SwatchPicture(QSize size, QColor colour, bool chosen) {
  QImage image = PanelImage(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(size.width() / 2.0, size.height() / 2.0);
  const qreal radius = std::min(size.width(), size.height()) / 2.0 - 5;
  if (chosen) {
    QRadialGradient glow(c, radius + 5);
    glow.setColorAt(0.6, WithAlpha(colour, 160));
    glow.setColorAt(1, WithAlpha(colour, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(c, radius + 5, radius + 5);
  }
  QRadialGradient ball(c - QPointF(radius / 3, radius / 3), radius * 1.4);
  ball.setColorAt(0, colour.lighter(150));
  ball.setColorAt(1, colour.darker(130));
  p.setBrush(ball);
  p.setPen(QPen(chosen ? QColor(255, 255, 255) : QColor(0x33, 0x39, 0x46), chosen ? 2.2 : 1));
  p.drawEllipse(c, radius, radius);
  if (chosen) {
    QPen pen(QColor(255, 255, 255), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath tick;
    tick.moveTo(c.x() - 6, c.y());
    tick.lineTo(c.x() - 1.5, c.y() + 4.5);
    tick.lineTo(c.x() + 6.5, c.y() - 4.5);
    p.drawPath(tick);
  }
  return image;
}

QImage ToolPicture(QSize size, int tool, bool chosen) {
  QImage image = PanelImage(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(2.5, 2.5, -2.5, -2.5);
  if (chosen)
    RoundedFill(p, r, 8, Vertical(r, QColor(0xc4, 0x17, 0x3f), QColor(0x7a, 0x0c, 0x25)),
                QPen(QColor(0xff, 0x6b, 0x8a), 1.2));
  else
    RoundedFill(p, r, 8, Vertical(r, QColor(0x22, 0x27, 0x31), QColor(0x16, 0x19, 0x20)),
                QPen(QColor(0x36, 0x3d, 0x4b), 1));
  const QColor ink = chosen ? QColor(255, 255, 255) : kMuted;
  const QPointF m = r.center();
  if (tool == 0) {
    // Brush: paints a key with the paint colour.
    p.save();
    p.translate(m);
    p.rotate(-45);
    RoundedFill(p, QRectF(-2.5, -11, 5, 12), 2, ink);
    RoundedFill(p, QRectF(-4, 1, 8, 4), 1, ink);
    QPainterPath tipPath;
    tipPath.moveTo(-4, 5);
    tipPath.quadTo(-4, 11, 0, 13);
    tipPath.quadTo(4, 11, 4, 5);
    p.setBrush(chosen ? QColor(255, 255, 255) : kAccent);
    p.setPen(Qt::NoPen);
    p.drawPath(tipPath);
    p.restore();
  } else {
    // Drop: gives a key back the base colour.
    QPainterPath drop;
    drop.moveTo(m.x(), m.y() - 11);
    drop.cubicTo(m.x() + 9, m.y() - 1, m.x() + 8, m.y() + 9, m.x(), m.y() + 9);
    drop.cubicTo(m.x() - 8, m.y() + 9, m.x() - 9, m.y() - 1, m.x(), m.y() - 11);
    p.setPen(QPen(ink, 2));
    p.setBrush(chosen ? QColor(255, 255, 255, 60) : QColor(43, 224, 255, 60));
    p.drawPath(drop);
  }
  return image;
}

QImage SliderChannel(QSize size, int position, int kind) {
  QImage image = PanelImage(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal margin = 11;
  const qreal usable = size.width() - 2 * margin;
  const qreal y = size.height() / 2.0;
  const QRectF track(margin, y - 3, usable, 6);
  RoundedFill(p, track, 3, QColor(0x1c, 0x20, 0x28), QPen(QColor(0x2c, 0x32, 0x3e), 1));
  const qreal knobX = margin + usable * position / 4.0;
  QLinearGradient fill(track.topLeft(), track.topRight());
  if (kind == 0) {
    fill.setColorAt(0, QColor(0x3a, 0x10, 0x1c));
    fill.setColorAt(1, QColor(0xff, 0x8a, 0xa3));
  } else {
    fill.setColorAt(0, kAccentDeep);
    fill.setColorAt(1, kAccent);
  }
  RoundedFill(p, QRectF(track.left(), track.top(), knobX - track.left(), track.height()), 3, fill);
  for (int i = 0; i <= 4; ++i) {
    const qreal x = margin + usable * i / 4.0;
    p.setPen(Qt::NoPen);
    p.setBrush(i <= position ? QColor(255, 255, 255, 200) : QColor(0x4a, 0x52, 0x62));
    p.drawEllipse(QPointF(x, y), 1.5, 1.5);
  }
  const QPointF knob(knobX, y);
  p.setBrush(WithAlpha(kAccent, 70));
  p.drawEllipse(knob, 10, 10);
  RoundedFill(
      p, QRectF(knob.x() - 7, knob.y() - 7, 14, 14), 7,
      Vertical(QRectF(0, knob.y() - 7, 1, 14), QColor(255, 255, 255), QColor(0xc6, 0xcb, 0xd4)),
      QPen(kAccent, 1.5));
  return image;
}

QImage HueChannel(QSize size, int index) {
  QImage image = PanelImage(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF track(11, size.height() / 2.0 - 3, size.width() - 22, 6);
  QLinearGradient g(track.topLeft(), track.topRight());
  const QColor hue = QColor::fromHsv((index * 360 / 16) % 360, 230, 255);
  g.setColorAt(0, QColor(0x1c, 0x20, 0x28));
  g.setColorAt(1, hue);
  RoundedFill(p, track, 3, g, QPen(QColor(0x2c, 0x32, 0x3e), 1));
  return image;
}

QImage BusyFrame(QSize size, int frame) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(kBar);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(size.width() / 2.0, size.height() / 2.0);
  const qreal outer = std::min(size.width(), size.height()) / 2.0 - 3;
  for (int i = 0; i < 10; ++i) {
    // The lit segment moves one step per frame and leaves a fading tail.
    const int age = (frame - i + 10) % 10;
    const int alpha = age == 0 ? 255 : std::max(30, 200 - age * 45);
    const qreal a = (i * 36 - 90) * M_PI / 180.0;
    const QPointF dir(std::cos(a), std::sin(a));
    QPen pen(WithAlpha(age == 0 ? QColor(255, 255, 255) : kAccent, alpha), 3, Qt::SolidLine,
             Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(c + dir * (outer * 0.55), c + dir * outer);
  }
  return image;
}

QImage KeyboardIcon(int size, int kind) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 64.0;
  const QRectF plate(4 * s, 14 * s, 56 * s, 36 * s);
  const QColor body = kind == 0 ? QColor(0x3a, 0x3f, 0x4a) : QColor(0x1a, 0x1d, 0x24);
  RoundedFill(p, plate, 7 * s, Vertical(plate, body.lighter(130), body),
              QPen(kind == 0 ? QColor(0x6b, 0x72, 0x80) : kAccent, 2.2 * s));
  const QColor keys = kind == 0   ? QColor(0x8a, 0x90, 0x9c)
                      : kind == 1 ? QColor(0xf2, 0xf4, 0xf8)
                                  : kAssigned;
  p.setPen(Qt::NoPen);
  for (int row = 0; row < 3; ++row)
    for (int i = 0; i < (row == 2 ? 1 : 7); ++i) {
      QRectF key = row == 2 ? QRectF(18 * s, 38 * s, 28 * s, 5 * s)
                            : QRectF((10 + i * 6.6) * s, (21 + row * 8) * s, 4.6 * s, 5 * s);
      p.setBrush(kind == 2 && (i + row) % 2 == 0 ? QColor(255, 255, 255) : keys);
      p.drawRoundedRect(key, 1.2 * s, 1.2 * s);
    }
  if (kind == 0) {
    QPen slash(kAccent, 5 * s, Qt::SolidLine, Qt::RoundCap);
    p.setPen(slash);
    p.drawLine(QPointF(10 * s, 56 * s), QPointF(54 * s, 8 * s));
  }
  if (kind == 2) {
    p.setBrush(kAssigned);
    p.setPen(QPen(QColor(0x0a, 0x0c, 0x11), 2 * s));
    p.drawEllipse(QPointF(52 * s, 14 * s), 8 * s, 8 * s);
  }
  return image;
}

}  // namespace kst::skingen
