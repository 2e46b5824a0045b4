#include "skin/CPngButton.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QFont>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "skin/CBaseDialog.h"
#include "skin/PieceArena.h"

namespace kst {

namespace {

// The tooltip's automatic delay; it stays up ten times as long.
constexpr int kTooltipDelayMs = 300;
constexpr int kFrameWidth = 2;
constexpr int kMaxFrameAlpha = 100;

Qt::Alignment AlignmentFromFormat(int format) {
  Qt::Alignment alignment;
  if (format & kDtCenter)
    alignment |= Qt::AlignHCenter;
  else if (format & kDtRight)
    alignment |= Qt::AlignRight;
  else
    alignment |= Qt::AlignLeft;
  if (format & kDtSingleLine) {
    if (format & kDtVCenter)
      alignment |= Qt::AlignVCenter;
    else if (format & kDtBottom)
      alignment |= Qt::AlignBottom;
    else
      alignment |= Qt::AlignTop;
  } else {
    alignment |= Qt::AlignTop;
  }
  return alignment;
}

// The device pixels of `area` (window pixels) on a picture of `ratio`.
QRect DevicePixels(const QRect& area, qreal ratio) {
  return QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio).toAlignedRect();
}

// Whether the image's rows are whole bytes per pixel without a colour table,
// so that a part of a row is a plain run of bytes.
bool PlainPixels(const QImage& image) { return image.depth() % 8 == 0 && image.colorCount() == 0; }

}  // namespace

QPixmap CutPiece(const QPixmap& picture, const QRect& area, PieceArena* arena) {
  const qreal ratio = picture.devicePixelRatio();
  const QRect pixels = DevicePixels(area, ratio);
  if (pixels.isEmpty()) return {};
  QPixmap piece;
  if (picture.rect().contains(pixels)) {
    const QImage source = picture.toImage();
    QImage copy;
    if (arena && PlainPixels(source)) copy = arena->NewImage(pixels.size(), source.format());
    if (copy.isNull()) {
      piece = picture.copy(pixels);
    } else {
      const std::size_t bytesPerPixel = static_cast<std::size_t>(source.depth() / 8);
      const std::size_t rowBytes = static_cast<std::size_t>(pixels.width()) * bytesPerPixel;
      const std::size_t left = static_cast<std::size_t>(pixels.left()) * bytesPerPixel;
      for (int y = 0; y < pixels.height(); ++y)
        std::memcpy(copy.scanLine(y), source.constScanLine(pixels.top() + y) + left, rowBytes);
      piece = QPixmap::fromImage(std::move(copy));
    }
  } else {
    // Drawing reads nothing past the picture's edge: the piece is
    // transparent there, so the window's own pixels show as before.
    QImage image(pixels.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QRect inside = pixels.intersected(picture.rect());
    if (!inside.isEmpty()) {
      QPixmap part = picture.copy(inside);
      part.setDevicePixelRatio(1);
      QPainter painter(&image);
      painter.drawPixmap(inside.topLeft() - pixels.topLeft(), part);
    }
    piece = QPixmap::fromImage(image);
  }
  piece.setDevicePixelRatio(ratio);
  return piece;
}

QPixmap ViewPiece(const QPixmap& picture, const QRect& area) {
  const qreal ratio = picture.devicePixelRatio();
  const QRect pixels = DevicePixels(area, ratio);
  const QImage source = picture.toImage();
  if (pixels.isEmpty() || !source.rect().contains(pixels) || !PlainPixels(source))
    return CutPiece(picture, area);
  // The view holds the picture; read-only, so nothing drawn on the piece
  // could reach the picture.
  auto* held = new QImage(source);
  const uchar* first = held->constScanLine(pixels.top()) +
                       static_cast<std::size_t>(pixels.left()) * (held->depth() / 8);
  const QImage view(
      first, pixels.width(), pixels.height(), held->bytesPerLine(), held->format(),
      [](void* info) { delete static_cast<QImage*>(info); }, held);
  if (view.isNull()) {
    delete held;
    return CutPiece(picture, area);
  }
  QPixmap piece = QPixmap::fromImage(view);
  piece.setDevicePixelRatio(ratio);
  return piece;
}

void ReplaceButtonPictures(QWidget& window,
                           const std::function<QPixmap(const QPixmap&)>& replaced) {
  for (CPngButton* button : window.findChildren<CPngButton*>()) {
    using Look = CPngButton::Look;
    std::array<QPixmap, 5> looks;
    bool changed = false;
    for (const Look look :
         {Look::Normal, Look::Hover, Look::Pressed, Look::Disabled, Look::Selected}) {
      const QPixmap& before = button->Picture(look);
      QPixmap& after = looks[static_cast<std::size_t>(look)];
      after = before.isNull() ? before : replaced(before);
      changed = changed || after.cacheKey() != before.cacheKey();
    }
    if (!changed) continue;
    button->SetStatePictures(looks[0], looks[1], looks[2], looks[3], looks[4], false);
    button->update();
  }
}

void ReplaceButtonPictures(QWidget& window, const std::map<qint64, QPixmap>& replacements) {
  ReplaceButtonPictures(window, [&](const QPixmap& picture) -> QPixmap {
    const auto it = replacements.find(picture.cacheKey());
    return it == replacements.end() ? picture : it->second;
  });
}

QPixmap NewStandIn() {
  QPixmap standIn(1, 1);
  standIn.fill(Qt::transparent);
  return standIn;
}

QColor FocusFrameColour() { return QColor(0xFF, 0x2D, 0x55); }

void DrawFocusOutline(QPainter& painter, const QRect& area) {
  if (area.width() < 4 || area.height() < 4) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  QPen pen(FocusFrameColour(), kFrameWidth);
  pen.setJoinStyle(Qt::MiterJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  // A pen of width 2 on a rectangle's edge covers one pixel either side:
  // the rectangle one pixel in keeps the whole outline inside `area`.
  painter.drawRect(QRectF(area).adjusted(1, 1, -1, -1));
  painter.restore();
}

QColor ColorFromColorRef(ColorRef colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

CPngButton::CPngButton(QWidget* parent) : QAbstractButton(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_Hover, false);
  setFocusPolicy(Qt::TabFocus);
  FollowParent();
}

CPngButton::~CPngButton() {
  if (paintedByWindow_ && isVisible()) RepaintWindowArea(geometry());
}

void CPngButton::FollowParent() {
  auto* dialog = qobject_cast<CBaseDialog*>(parentWidget());
  paintedByWindow_ = dialog != nullptr;
  SetPieceCutter(dialog ? dialog->ButtonPieceCutter() : nullptr);
  // Updates off: the toolkit's paint pass leaves the button to its window.
  setUpdatesEnabled(!paintedByWindow_);
}

void CPngButton::RepaintWindowArea(const QRect& area) {
  if (QWidget* window = parentWidget()) window->update(area);
}

void CPngButton::update() {
  if (paintedByWindow_)
    RepaintWindowArea(geometry());
  else
    QAbstractButton::update();
}

void CPngButton::setText(const QString& text) {
  if (text == this->text()) return;
  QAbstractButton::setText(text);
  update();
}

void CPngButton::setDown(bool down) {
  if (down == isDown()) return;
  QAbstractButton::setDown(down);
  update();
}

void CPngButton::Repaint(bool now) {
  if (now) update();
}

void CPngButton::SetPictures(int x, int y, const QPixmap& normal, const QPixmap& hover,
                             const QPixmap& pressed, const QPixmap& disabled,
                             const QPixmap& selected, bool repaint) {
  origin_ = QPoint(x, y);
  SetStatePictures(normal, hover, pressed, disabled, selected, repaint);
}

void CPngButton::SetStatePictures(const QPixmap& normal, const QPixmap& hover,
                                  const QPixmap& pressed, const QPixmap& disabled,
                                  const QPixmap& selected, bool repaint) {
  pictures_ = {normal, hover, pressed, disabled, selected};
  CutPieces();
  hover_ = false;
  tracking_ = false;
  setDown(false);
  Repaint(repaint);
}

void CPngButton::SetOrigin(int x, int y, bool repaint) {
  origin_ = QPoint(x, y);
  CutPieces();
  Repaint(repaint);
}

void CPngButton::SetSelected(bool selected, bool repaint) {
  selected_ = selected;
  Repaint(repaint);
}

void CPngButton::SetColourFrame(ColorRef colour, int alpha, bool on) {
  frameOn_ = on;
  frameColour_ = colour;
  frameAlpha_ = on ? std::min(alpha, kMaxFrameAlpha) : alpha;
  update();
}

void CPngButton::SetTextStyle(bool on, int size, const QString& face, ColorRef normal,
                              ColorRef hover, ColorRef pressed, ColorRef disabled, ColorRef fifth,
                              int format) {
  textOn_ = on;
  textSize_ = size;
  textFace_ = face;
  textColours_ = {normal, hover, pressed, disabled, fifth};
  textFormat_ = format;
  update();
}

void CPngButton::SetTextInsets(int left, int right, int top, int bottom) {
  insetLeft_ = left;
  insetRight_ = right;
  insetTop_ = top;
  insetBottom_ = bottom;
  update();
}

void CPngButton::SetRotation(int escapement, bool rotated) {
  escapement_ = escapement;
  rotated_ = rotated;
  update();
}

void CPngButton::SetTooltip(const QString& text, bool activate) {
  if (text.isEmpty()) return;
  tooltipText_ = text;
  tooltipActive_ = activate;
  if (!activate && QToolTip::isVisible() && QToolTip::text() == text) QToolTip::hideText();
}

void CPngButton::SetDrawCallback(DrawCallback callback) { drawCallback_ = std::move(callback); }

CPngButton::Look CPngButton::CurrentLook() const {
  if (!isEnabled()) return Look::Disabled;
  if (isDown()) return Look::Pressed;
  if (hover_) return Look::Hover;
  if (selected_) return Look::Selected;
  return Look::Normal;
}

const QPixmap& CPngButton::Picture(Look look) const {
  return pictures_[static_cast<std::size_t>(look)];
}

QPixmap CPngButton::LookPixels(Look look) const {
  const QPixmap& picture = Picture(look);
  if (picture.isNull()) return {};
  if (cutter_ && cutter_->StandsIn(picture)) {
    const Piece* piece = CurrentPiece(picture);
    return piece ? piece->pixels : QPixmap();
  }
  return CutPiece(picture, PieceArea());
}

void CPngButton::SetPieceCutter(PieceCutter* cutter) {
  if (cutter == cutter_) return;
  cutter_ = cutter;
  DropPieces();
  CutPieces();
}

const CPngButton::Piece* CPngButton::CurrentPiece(const QPixmap& picture) const {
  const QRect area = PieceArea();
  for (const Piece& piece : pieces_) {
    if (piece.source == picture.cacheKey() && piece.area == area) return &piece;
  }
  return nullptr;
}

void CPngButton::CutPieces() {
  if (!cutter_) return;
  const QRect area = PieceArea();
  // Pieces of another place are of no more use; those of the stand-ins the
  // button held before at this place are kept for when they come back.
  std::erase_if(pieces_, [&](const Piece& piece) { return piece.area != area; });
  for (const QPixmap& picture : pictures_) {
    if (picture.isNull() || !cutter_->StandsIn(picture) || CurrentPiece(picture)) continue;
    if (std::optional<QPixmap> pixels = cutter_->Cut(picture, area))
      pieces_.push_back({picture.cacheKey(), area, std::move(*pixels)});
  }
}

void CPngButton::DropPieces() {
  pieces_.clear();
  pieces_.shrink_to_fit();
}

bool CPngButton::PiecesCurrent() const {
  for (const QPixmap& picture : pictures_) {
    if (!picture.isNull() && cutter_ && cutter_->StandsIn(picture) && !CurrentPiece(picture))
      return false;
  }
  return true;
}

QColor CPngButton::TextColour(Look look) const {
  switch (look) {
    case Look::Disabled:
      return ColorFromColorRef(textColours_[3]);
    case Look::Pressed:
      return ColorFromColorRef(textColours_[2]);
    case Look::Hover:
    case Look::Selected:
      return ColorFromColorRef(textColours_[1]);
    case Look::Normal:
      break;
  }
  return ColorFromColorRef(textColours_[0]);
}

bool CPngButton::ShowsWindowBackground(const QPixmap& picture) const {
  const auto* dialog = qobject_cast<const CBaseDialog*>(parentWidget());
  return dialog && !picture.isNull() && picture.cacheKey() == dialog->Background().cacheKey() &&
         origin_ == pos();
}

void CPngButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Draw(painter, CurrentLook());
}

void CPngButton::PaintOnWindow(QPainter& painter) {
  const Look look = CurrentLook();
  const bool textShown = textOn_ && !text().isEmpty();
  // A look that is the window's own background under the button needs no
  // drawing: the window has painted exactly these pixels beneath it.
  const bool background = !frameOn_ && !textShown && ShowsWindowBackground(Picture(look));
  if (background && !drawCallback_ && !FocusFrameShown()) return;
  painter.save();
  painter.translate(pos());
  // Pictures and frames stay inside the button by construction; text and
  // callbacks are held to it by the clip.
  if (textShown || drawCallback_) painter.setClipRect(rect(), Qt::IntersectClip);
  if (!background) {
    Draw(painter, look);
  } else {
    if (drawCallback_) drawCallback_(*this, painter, look == Look::Normal);
    DrawFocusFrame(painter);
  }
  painter.restore();
}

void CPngButton::Draw(QPainter& painter, Look look) {
  if (frameOn_) {
    // A 2-pixel outline just inside the button's edge; the inside keeps
    // whatever the window drew beneath.
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(ColorFromColorRef(frameColour_));
    const int w = width();
    const int h = height();
    const int t = kFrameWidth;
    if (w > 2 && h > 2) {
      const QRect outer(1, 1, w - 2, h - 2);
      painter.drawRect(
          QRect(outer.left(), outer.top(), outer.width(), std::min(t, outer.height())));
      painter.drawRect(QRect(outer.left(), outer.bottom() - t + 1, outer.width(), t));
      painter.drawRect(
          QRect(outer.left(), outer.top(), std::min(t, outer.width()), outer.height()));
      painter.drawRect(QRect(outer.right() - t + 1, outer.top(), t, outer.height()));
    }
    painter.restore();
  } else if (const QPixmap& picture = Picture(look); cutter_ && cutter_->StandsIn(picture)) {
    const Piece* piece = CurrentPiece(picture);
    if (!piece) {
      CutPieces();
      piece = CurrentPiece(picture);
    }
    if (piece && !piece->pixels.isNull()) painter.drawPixmap(QPointF(0, 0), piece->pixels);
  } else {
    if (!picture.isNull()) {
      // The source is in the picture's own pixels: a picture drawn at twice
      // the size (a ratio of 2) gives the button twice as many, unscaled on a
      // screen of that ratio.
      const qreal ratio = picture.devicePixelRatio();
      painter.drawPixmap(
          QPointF(0, 0), picture,
          QRectF(origin_.x() * ratio, origin_.y() * ratio, width() * ratio, height() * ratio));
    }
  }

  if (textOn_ && !text().isEmpty()) {
    painter.save();
    QFont font(textFace_);
    const int pixels = std::max(1, static_cast<int>(std::lround(textSize_ * logicalDpiY() / 72.0)));
    font.setPixelSize(pixels);
    font.setWeight(rotated_ ? QFont::Black : QFont::Normal);
    painter.setFont(font);
    painter.setPen(TextColour(look));
    const QRect area = rect().adjusted(insetLeft_, insetTop_, insetRight_, insetBottom_);
    const Qt::Alignment alignment = AlignmentFromFormat(textFormat_);
    const int flags = alignment | ((textFormat_ & kDtWordBreak) && !(textFormat_ & kDtSingleLine)
                                       ? Qt::TextWordWrap
                                       : Qt::TextSingleLine);
    if (rotated_ && escapement_ % 3600 != 0) {
      // Turn about the centre of the text area so the turned text stays centred.
      const QPointF centre = QRectF(area).center();
      painter.translate(centre);
      painter.rotate(-escapement_ / 10.0);
      const QRectF turned(-area.width() / 2.0, -area.height() / 2.0, area.width(), area.height());
      painter.drawText(turned, flags, text());
    } else {
      painter.drawText(area, flags, text());
    }
    painter.restore();
  }

  if (drawCallback_) drawCallback_(*this, painter, !frameOn_ && look == Look::Normal);
  DrawFocusFrame(painter);
}

bool CPngButton::FocusFrameShown() const { return hasFocus() && keyboardFocus_; }

void CPngButton::DrawFocusFrame(QPainter& painter) const {
  if (FocusFrameShown()) DrawFocusOutline(painter, rect());
}

void CPngButton::mouseMoveEvent(QMouseEvent* event) {
  if (!tracking_) {
    tracking_ = true;
    if (rect().contains(event->position().toPoint()) && !hover_) {
      hover_ = true;
      update();
      ShowTooltipNow();
    }
  }
  QAbstractButton::mouseMoveEvent(event);
}

void CPngButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // A double-click is one more press: two clicks in a row act twice.
  mousePressEvent(event);
}

void CPngButton::enterEvent(QEnterEvent* event) {
  tracking_ = true;
  hover_ = true;
  update();
  ShowTooltipNow();
  QAbstractButton::enterEvent(event);
}

void CPngButton::leaveEvent(QEvent* event) {
  tracking_ = false;
  hover_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

bool CPngButton::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::ToolTip:
      ShowTooltipNow();
      return true;
    case QEvent::ParentChange:
      FollowParent();
      break;
    case QEvent::Resize:
      CutPieces();
      break;
    case QEvent::FocusIn:
      // The window's focus coming back keeps how the button had it.
      switch (static_cast<QFocusEvent*>(event)->reason()) {
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
        case Qt::ShortcutFocusReason:
          // Only a user at the keyboard of an active window: a window that
          // moves its focus on while it prepares itself unseen (a control
          // being disabled or hidden) says "Tab" too.
          keyboardFocus_ = isActiveWindow();
          break;
        case Qt::ActiveWindowFocusReason:
        case Qt::PopupFocusReason:
        case Qt::MenuBarFocusReason:
          break;
        default:
          keyboardFocus_ = false;
          break;
      }
      break;
    default:
      break;
  }
  if (!paintedByWindow_) return QAbstractButton::event(event);

  // Whatever changes how the button looks or where it is repaints the window
  // under it; the toolkit would only have repainted the button itself.
  const Look before = CurrentLook();
  const bool handled = QAbstractButton::event(event);
  switch (event->type()) {
    case QEvent::Move:
      RepaintWindowArea(QRect(static_cast<QMoveEvent*>(event)->oldPos(), size()));
      RepaintWindowArea(geometry());
      break;
    case QEvent::Resize:
      RepaintWindowArea(QRect(pos(), static_cast<QResizeEvent*>(event)->oldSize()));
      RepaintWindowArea(geometry());
      break;
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::EnabledChange:
    case QEvent::FontChange:
      RepaintWindowArea(geometry());
      break;
    default:
      if (CurrentLook() != before) RepaintWindowArea(geometry());
      break;
  }
  return handled;
}

void CPngButton::ShowTooltipNow() {
  if (!tooltipActive_ || tooltipText_.isEmpty() || !isVisible()) return;
  QToolTip::showText(mapToGlobal(QPoint(0, height())), tooltipText_, this, rect(),
                     kTooltipDelayMs * 10);
}

}  // namespace kst
