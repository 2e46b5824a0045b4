#pragma once

// The lighting panel's slider: a picture of its channel that handles its own
// input. The position follows the pointer, the arrow and paging keys and the
// wheel; every change the user makes is posted to the parent as
// positionPosted (the window message 0x28D1 of the panel), queued, never
// from inside the input event. Setting the position from code posts nothing.

#include <QPixmap>
#include <QWidget>

#include <cstdint>

namespace kst {

inline constexpr std::uint32_t kSliderNotifyMessage = 0x28D1;

class CBitmapSlider : public QWidget {
  Q_OBJECT

 public:
  // controlId: the id posted with each notification.
  explicit CBitmapSlider(int controlId, QWidget* parent = nullptr);

  int ControlId() const { return controlId_; }
  void SetRange(int minimum, int maximum);
  int Minimum() const { return minimum_; }
  int Maximum() const { return maximum_; }
  void SetPageSize(int page) { page_ = page; }
  int PageSize() const { return page_; }
  void SetVertical(bool vertical) { vertical_ = vertical; }
  // Clamps to the range and repaints; posts nothing.
  void SetPos(int position);
  int Pos() const { return position_; }
  // The first picture sizes the control to it (position kept); later ones
  // only replace what is shown.
  void SetChannel(const QPixmap& channel);
  const QPixmap& Channel() const { return channel_; }
  // Input is ignored while the control is not enabled (set at creation).
  void SetInputEnabled(bool enabled) { inputEnabled_ = enabled; }

  // The position the pointer at x (y for vertical sliders) stands for,
  // clamped: minimum + (x + 10) / width * (maximum - minimum), truncated
  // towards zero.
  int PositionAt(int x, int y) const;
  bool Pressed() const { return pressed_; }
  bool Active() const { return active_; }

  QSize sizeHint() const override;

 signals:
  // Queued: the user moved the slider to position.
  void positionPosted(int controlId, int position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void Post();
  // The channel picture's width (height when vertical); the control's own
  // while it has no picture.
  int Extent() const;
  // The pixel, along the slider, that stands for the current position.
  int PixelOfPosition() const;
  // Press and drag: the position under the pointer, posted, unless the
  // pointer is on the pixel of the current position.
  void FollowPointer(const QPoint& point);

  int controlId_;
  int minimum_ = 0;
  int maximum_ = 100;
  int position_ = 0;
  int page_ = 10;
  bool vertical_ = false;
  bool inputEnabled_ = true;
  bool pressed_ = false;
  bool active_ = false;
  bool sized_ = false;          // a picture has sized the control
  bool keyboardFocus_ = false;  // the focus came by Tab: shown
  int wheelRemainder_ = 0;      // wheel delta not yet turned into steps
  QPixmap channel_;
};

}  // namespace kst
