#include "lighting/panel/CBitmapSlider.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QtGlobal>

#include <algorithm>

namespace kst {

namespace {

// One notch of a mouse wheel; touchpads report fractions of it.
constexpr int kWheelNotch = 120;

// The keys the slider moves by. While it has the focus they are its own, not
// shortcuts or the dialog's navigation.
bool IsSliderKey(int key) {
  switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
      return true;
    default:
      return false;
  }
}

}  // namespace

CBitmapSlider::CBitmapSlider(int controlId, QWidget* parent)
    : QWidget(parent), controlId_(controlId) {
  setFocusPolicy(Qt::StrongFocus);
  // Moves without a button set the active flag that the wheel needs.
  setMouseTracking(true);
}

void CBitmapSlider::SetRange(int minimum, int maximum) {
  if (minimum > maximum) {
    qWarning("CBitmapSlider %d: range %d..%d ignored (minimum above maximum)", controlId_, minimum,
             maximum);
    return;
  }
  minimum_ = minimum;
  maximum_ = maximum;
  SetPos(position_);
}

void CBitmapSlider::SetPos(int position) {
  position_ = std::clamp(position, minimum_, maximum_);
  update();
}

void CBitmapSlider::SetChannel(const QPixmap& channel) {
  channel_ = channel;
  if (!sized_ && !channel_.isNull()) {
    sized_ = true;
    resize(channel_.size());
  }
  update();
}

int CBitmapSlider::Extent() const {
  if (vertical_) return channel_.isNull() ? height() : channel_.height();
  return channel_.isNull() ? width() : channel_.width();
}

int CBitmapSlider::PositionAt(int x, int y) const {
  const int extent = Extent();
  if (extent <= 0) return position_;
  const long long range = static_cast<long long>(maximum_) - minimum_;
  // Horizontal sliders count from 10 pixels right of the pointer, so that the
  // last step is reached before the very end of the channel.
  const long long offset = vertical_ ? y : static_cast<long long>(x) + 10;
  // Integer division truncates towards zero, as the rule asks.
  const long long position = minimum_ + offset * range / extent;
  return static_cast<int>(std::clamp<long long>(position, minimum_, maximum_));
}

int CBitmapSlider::PixelOfPosition() const {
  const long long range = static_cast<long long>(maximum_) - minimum_;
  if (range <= 0) return 0;
  return static_cast<int>((static_cast<long long>(position_) - minimum_) * Extent() / range);
}

void CBitmapSlider::FollowPointer(const QPoint& point) {
  const int along = vertical_ ? point.y() : point.x();
  if (along == PixelOfPosition()) return;
  SetPos(PositionAt(point.x(), point.y()));
  Post();
}

void CBitmapSlider::Post() {
  const int position = position_;
  // Queued: the parent handles the change after the input event, as it would
  // a posted window message. Dropped if the slider is gone by then.
  QMetaObject::invokeMethod(
      this, [this, position] { emit positionPosted(controlId_, position); }, Qt::QueuedConnection);
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!channel_.isNull()) painter.drawPixmap(0, 0, channel_);
  if (hasFocus() && keyboardFocus_) {
    // Only a focus reached by keyboard is shown: a click gives the focus too,
    // and the picture already shows where the slider stands.
    painter.setRenderHint(QPainter::Antialiasing);
    QColor ring(0xff, 0x2d, 0x55);
    ring.setAlpha(170);
    painter.setPen(QPen(ring, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
  }
}

void CBitmapSlider::mousePressEvent(QMouseEvent* event) {
  // While input is off the press is taken and dropped: it must not reach
  // the window, which would start dragging itself.
  if (!inputEnabled_) return;
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  // The press grabs the pointer until the release (Qt's implicit grab), so
  // moves and the release outside the control still arrive here.
  setFocus(Qt::MouseFocusReason);
  pressed_ = true;
  active_ = true;
  FollowPointer(event->position().toPoint());
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!inputEnabled_) return;
  // The pointer is over the control (or, pressed, dragging it): the wheel
  // is the slider's until the pointer leaves.
  if (rect().contains(event->position().toPoint())) active_ = true;
  if (pressed_) FollowPointer(event->position().toPoint());
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (!inputEnabled_) return;
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  pressed_ = false;
  Post();
}

void CBitmapSlider::leaveEvent(QEvent* event) {
  active_ = false;
  wheelRemainder_ = 0;
  QWidget::leaveEvent(event);
}

void CBitmapSlider::keyPressEvent(QKeyEvent* event) {
  if (!inputEnabled_ || !IsSliderKey(event->key())) {
    QWidget::keyPressEvent(event);
    return;
  }
  int position = position_;
  switch (event->key()) {
    case Qt::Key_PageUp:
      position -= page_;
      break;
    case Qt::Key_PageDown:
      position += page_;
      break;
    case Qt::Key_Home:
      position = minimum_;
      break;
    case Qt::Key_End:
      position = maximum_;
      break;
    case Qt::Key_Left:
    case Qt::Key_Up:
      position -= 1;
      break;
    default:  // Right, Down
      position += 1;
      break;
  }
  SetPos(position);
  Post();
}

void CBitmapSlider::wheelEvent(QWheelEvent* event) {
  if (!inputEnabled_ || !active_) {
    event->ignore();
    return;
  }
  // A notch away from the user (positive delta) moves one step towards the
  // minimum. Smaller deltas (touchpads, free-spinning wheels) add up until
  // they make a notch; a fast turn brings several notches at once.
  wheelRemainder_ += event->angleDelta().y();
  const int steps = wheelRemainder_ / kWheelNotch;
  wheelRemainder_ -= steps * kWheelNotch;
  SetPos(static_cast<int>(
      std::clamp<long long>(static_cast<long long>(position_) - steps, minimum_, maximum_)));
  Post();
}

bool CBitmapSlider::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride: {
      // Claims its keys before any shortcut or the dialog sees them. Tab is
      // never claimed: the dialog keeps its focus navigation.
      auto* key = static_cast<QKeyEvent*>(event);
      if (inputEnabled_ && IsSliderKey(key->key())) {
        event->accept();
        return true;
      }
      break;
    }
    case QEvent::FocusIn: {
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      keyboardFocus_ = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
      update();
      break;
    }
    case QEvent::FocusOut:
      keyboardFocus_ = false;
      update();
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

QSize CBitmapSlider::sizeHint() const {
  return channel_.isNull() ? QWidget::sizeHint() : channel_.size();
}

}  // namespace kst
