#include "lighting/panel/CSkinColorBtn.h"

#include <QApplication>
#include <QColorDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <utility>

#include "skin/CPngButton.h"

namespace kst {

namespace {

// The face's fixed colours.
const QColor kArrowPart(148, 146, 139);
const QColor kArrowOutline(92, 90, 85);
const QColor kHoverOutline(232, 235, 241);
// The skin's colours, for the palette and the open button.
const QColor kPaletteBack(0x0e, 0x11, 0x17);
const QColor kPaletteLine(0x27, 0x2d, 0x39);
const QColor kPaletteText(0xe8, 0xeb, 0xf1);
const QColor kAccent(0xff, 0x2d, 0x55);

constexpr int kColumns = 10;
constexpr int kCell = 18;   // a swatch, square
constexpr int kGap = 5;     // between swatches: room for the rings
constexpr int kMargin = 8;  // around the swatches and the button
constexpr int kOtherHeight = 24;

ColorRef ColorRefFromColor(const QColor& colour) {
  return MakeColorRef(static_cast<std::uint8_t>(colour.red()),
                      static_cast<std::uint8_t>(colour.green()),
                      static_cast<std::uint8_t>(colour.blue()));
}

// Ten hues across the wheel; the rows run from the saturated colours an LED
// shows best to lighter tints, then darker shades, then greys.
std::vector<ColorRef> MakePalette() {
  static constexpr int kHues[kColumns] = {0, 30, 55, 90, 130, 175, 200, 230, 270, 310};
  struct Row {
    int saturation;
    int value;
  };
  static constexpr Row kRows[] = {{255, 255}, {150, 255}, {70, 255}, {255, 170}};
  std::vector<ColorRef> colours;
  for (const Row& row : kRows)
    for (int hue : kHues)
      colours.push_back(ColorRefFromColor(QColor::fromHsv(hue, row.saturation, row.value)));
  for (int i = 0; i < kColumns; ++i) {
    const int grey = i * 255 / (kColumns - 1);
    colours.push_back(ColorRefFromColor(QColor(grey, grey, grey)));
  }
  return colours;
}

// The drop-down of the button: the swatches in rows of ten and the "other"
// button below them. Keyboard: arrows move, Enter or Space picks, Escape
// closes; a click outside closes without a choice.
class ColourPalettePopup : public QWidget {
 public:
  // chosen(index): an index into the palette, or Other().
  ColourPalettePopup(QWidget* owner, ColorRef current, std::function<void(int)> chosen,
                     std::function<void()> closed)
      : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint),
        chosen_(std::move(chosen)),
        closed_(std::move(closed)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    const std::vector<ColorRef>& colours = CSkinColorBtn::PaletteColours();
    const auto found = std::find(colours.begin(), colours.end(), current);
    selected_ = found == colours.end() ? -1 : static_cast<int>(found - colours.begin());
    hot_ = std::max(selected_, 0);
    const int gridWidth = kColumns * kCell + (kColumns - 1) * kGap;
    resize(2 * kMargin + gridWidth, GridBottom() + kMargin + kOtherHeight + kMargin);
  }

  // Forgets the owner's callbacks: the owner is going away.
  void Detach() {
    chosen_ = nullptr;
    closed_ = nullptr;
  }

  static int Count() { return static_cast<int>(CSkinColorBtn::PaletteColours().size()); }
  static int Other() { return Count(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), kPaletteBack);
    painter.setPen(kPaletteLine);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setRenderHint(QPainter::Antialiasing);
    const std::vector<ColorRef>& colours = CSkinColorBtn::PaletteColours();
    for (int i = 0; i < Count(); ++i) {
      const QRect cell = CellRect(i);
      painter.fillRect(cell, ColorFromColorRef(colours[static_cast<std::size_t>(i)]));
      painter.setBrush(Qt::NoBrush);
      // A faint edge keeps the dark swatches apart from the background.
      painter.setPen(QPen(QColor(255, 255, 255, 40), 1));
      painter.drawRect(QRectF(cell).adjusted(0.5, 0.5, -0.5, -0.5));
      if (i == selected_) {
        painter.setPen(QPen(kAccent, 1.5));
        painter.drawRoundedRect(QRectF(cell).adjusted(-2.5, -2.5, 2.5, 2.5), 2, 2);
      }
      if (i == hot_) {
        painter.setPen(QPen(Qt::white, 1.5));
        painter.drawRoundedRect(QRectF(cell).adjusted(-1.5, -1.5, 1.5, 1.5), 2, 2);
      }
    }
    const QRectF other = QRectF(OtherRect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool hot = hot_ == Other();
    painter.setPen(QPen(hot ? kAccent : kPaletteLine, 1));
    painter.setBrush(hot ? QColor(0x1c, 0x20, 0x2a) : QColor(0x14, 0x17, 0x1f));
    painter.drawRoundedRect(other, 4, 4);
    painter.setPen(kPaletteText);
    painter.drawText(OtherRect(), Qt::AlignCenter, QStringLiteral("other"));
  }

  void mouseMoveEvent(QMouseEvent* event) override {
    const int index = HitTest(event->position().toPoint());
    if (index >= 0 && index != hot_) {
      hot_ = index;
      update();
    }
  }

  void mousePressEvent(QMouseEvent* event) override {
    // Inside, the choice is made on release. A press outside closes the
    // popup (Qt's popup rule); on the owner button it must not reach the
    // button too, which would open the palette again at once.
    if (rect().contains(event->position().toPoint())) return;
    const QWidget* owner = parentWidget();
    if (owner && owner->rect().contains(owner->mapFromGlobal(event->globalPosition().toPoint())))
      setAttribute(Qt::WA_NoMouseReplay);
    QWidget::mousePressEvent(event);
  }

  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    const int index = HitTest(event->position().toPoint());
    if (index >= 0) Pick(index);
  }

  void keyPressEvent(QKeyEvent* event) override {
    const int last = Count() - 1;
    const int lastRowStart = last - last % kColumns;
    switch (event->key()) {
      case Qt::Key_Escape:
        close();
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_Space:
        Pick(hot_);
        return;
      case Qt::Key_Left:
        if (hot_ == Other())
          hot_ = last;
        else if (hot_ > 0)
          --hot_;
        break;
      case Qt::Key_Right:
        if (hot_ < Other()) ++hot_;
        break;
      case Qt::Key_Up:
        if (hot_ == Other()) {
          hot_ = lastRowStart + std::min(column_, last - lastRowStart);
        } else if (hot_ >= kColumns) {
          hot_ -= kColumns;
        }
        break;
      case Qt::Key_Down:
        if (hot_ == Other()) break;
        if (hot_ + kColumns <= last) {
          hot_ += kColumns;
        } else {
          column_ = hot_ % kColumns;
          hot_ = Other();
        }
        break;
      case Qt::Key_Home:
        hot_ = 0;
        break;
      case Qt::Key_End:
        hot_ = Other();
        break;
      default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (hot_ < Other()) column_ = hot_ % kColumns;
    update();
  }

  void hideEvent(QHideEvent* event) override {
    QWidget::hideEvent(event);
    if (closed_) closed_();
  }

 private:
  static int GridBottom() {
    const int rows = (Count() + kColumns - 1) / kColumns;
    return kMargin + rows * kCell + (rows - 1) * kGap;
  }
  static QRect CellRect(int index) {
    return QRect(kMargin + (index % kColumns) * (kCell + kGap),
                 kMargin + (index / kColumns) * (kCell + kGap), kCell, kCell);
  }
  QRect OtherRect() const {
    return QRect(kMargin, GridBottom() + kMargin, width() - 2 * kMargin, kOtherHeight);
  }
  // The swatch or the button under point; -1 for none. The gaps count with
  // the swatch to their upper left, so that no click falls between.
  int HitTest(QPoint point) const {
    if (OtherRect().contains(point)) return Other();
    if (point.x() < kMargin || point.y() < kMargin || point.y() >= GridBottom() + kGap / 2)
      return -1;
    const int column = (point.x() - kMargin + kGap / 2) / (kCell + kGap);
    const int row = (point.y() - kMargin + kGap / 2) / (kCell + kGap);
    if (column >= kColumns) return -1;
    const int index = row * kColumns + column;
    return index < Count() ? index : -1;
  }
  void Pick(int index) {
    // The popup goes first; what the choice opens (the colour dialog) must
    // not sit on top of it.
    std::function<void(int)> chosen = std::move(chosen_);
    chosen_ = nullptr;
    close();
    if (chosen) chosen(index);
  }

  std::function<void(int)> chosen_;
  std::function<void()> closed_;
  int selected_ = -1;  // the button's colour, when it is in the palette
  int hot_ = 0;        // where the keyboard stands or the pointer was
  int column_ = 0;     // column kept while on "other"
};

}  // namespace

CSkinColorBtn::CSkinColorBtn(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAttribute(Qt::WA_Hover);
  connect(this, &QAbstractButton::clicked, this, &CSkinColorBtn::OpenPalette);
}

CSkinColorBtn::~CSkinColorBtn() {
  if (auto* popup = static_cast<ColourPalettePopup*>(popup_.data())) {
    popup->Detach();
    delete popup;
  }
}

const std::vector<ColorRef>& CSkinColorBtn::PaletteColours() {
  static const std::vector<ColorRef> colours = MakePalette();
  return colours;
}

void CSkinColorBtn::SetColour(ColorRef colour) {
  colour_ = colour & 0xFFFFFF;
  update();
}

void CSkinColorBtn::OpenPalette() {
  if (popup_) return;
  auto* popup = new ColourPalettePopup(
      this, colour_,
      [this](int index) {
        if (index == ColourPalettePopup::Other())
          ChooseOther();
        else
          Choose(PaletteColours()[static_cast<std::size_t>(index)]);
      },
      [this] {
        popup_ = nullptr;
        update();
      });
  popup_ = popup;
  // Below the button, or above it when the screen ends first; never off the
  // screen's sides.
  QPoint at = mapToGlobal(QPoint(0, height()));
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    if (at.y() + popup->height() > area.bottom() + 1)
      at.setY(mapToGlobal(QPoint(0, 0)).y() - popup->height());
    at.setX(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - popup->width())));
  }
  popup->move(at);
  popup->show();
  popup->setFocus(Qt::PopupFocusReason);
  update();
}

void CSkinColorBtn::Choose(ColorRef colour) {
  SetColour(colour);
  emit colourPicked(colour_);
}

void CSkinColorBtn::ChooseOther() {
  const QColor initial = ColorFromColorRef(colour_);
  const QColor picked =
      colourDialog_ ? colourDialog_(initial) : QColorDialog::getColor(initial, this);
  update();
  if (picked.isValid()) Choose(ColorRefFromColor(picked));
}

void CSkinColorBtn::keyPressEvent(QKeyEvent* event) {
  const bool altDown = event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier);
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F4:
      OpenPalette();
      return;
    default:
      if (altDown) {
        OpenPalette();
        return;
      }
      // Space clicks the button, which opens the palette.
      QAbstractButton::keyPressEvent(event);
  }
}

void CSkinColorBtn::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  update();
}

void CSkinColorBtn::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int w = width();
  const int h = height();
  const int left = w / 2 + 5;  // the colour's part
  const QRect colourPart(0, 0, left, h);
  const QRect arrowPart(left, 0, w - left, h);

  if (isEnabled()) {
    painter.fillRect(colourPart, ColorFromColorRef(colour_));
  } else {
    // Not filled: the skin shows; a frame keeps the shape.
    painter.setPen(kPaletteLine);
    painter.drawRect(colourPart.adjusted(0, 0, -1, -1));
  }

  painter.fillRect(arrowPart, kArrowPart);
  const bool open = !popup_.isNull();
  const bool hover = isEnabled() && underMouse();
  painter.setPen(open ? kAccent : hover ? kHoverOutline : kArrowOutline);
  painter.drawRect(arrowPart.adjusted(0, 0, -1, -1));

  // The arrow, 7 pixels wide, from 11 to 5 pixels from the right edge,
  // centred on half the height; drawn by rows to stay sharp.
  const int top = h / 2 - 2;
  for (int row = 0; row < 4; ++row)
    painter.fillRect(QRect(w - 11 + row, top + row, 7 - 2 * row, 1), Qt::black);

  if (hasFocus()) {
    // A dotted ring of alternating dark and light pixels, visible on any
    // colour, one pixel inside the edge: three pixels outside where a push
    // button puts it.
    const QRectF ring = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    QPen dots(Qt::black, 1, Qt::CustomDashLine);
    dots.setDashPattern({1, 1});
    painter.setPen(dots);
    painter.drawRect(ring);
    dots.setColor(Qt::white);
    dots.setDashOffset(1);
    painter.setPen(dots);
    painter.drawRect(ring);
  }
}

}  // namespace kst
