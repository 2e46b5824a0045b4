#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QPainter;

namespace kst {

// The outline of whatever holds the keyboard focus on a skinned window.
QColor FocusFrameColour();
// Draws the focus outline just inside `area` (painter coordinates).
void DrawFocusOutline(QPainter& painter, const QRect& area);

// Windows COLORREF: red in bits 0-7, green 8-15, blue 16-23.
using ColorRef = std::uint32_t;
QColor ColorFromColorRef(ColorRef colour);

// DrawText format bits understood by the image button's text.
inline constexpr int kDtCenter = 0x1;
inline constexpr int kDtRight = 0x2;
inline constexpr int kDtVCenter = 0x4;
inline constexpr int kDtBottom = 0x8;
inline constexpr int kDtWordBreak = 0x10;
inline constexpr int kDtSingleLine = 0x20;
inline constexpr int kDefaultTextFormat = kDtCenter | kDtVCenter | kDtSingleLine;  // 37

// Cuts buttons' pieces of full-window pictures that a window hands its
// buttons only as stand-ins, so that no button keeps a whole picture: a
// button shows, for such a look, the piece cut for its current origin and
// size, and asks for a new one whenever either changes.
class PieceCutter {
 public:
  virtual ~PieceCutter() = default;
  // Whether `picture` is a stand-in of this cutter.
  virtual bool StandsIn(const QPixmap& picture) const = 0;
  // The pixels of the picture `standIn` stands for inside `area` (window
  // pixels; device pixels at the picture's ratio), transparent where the
  // area reaches past the picture; nullopt while the cutter holds off (the
  // button shows nothing for the look until CutPieces succeeds).
  virtual std::optional<QPixmap> Cut(const QPixmap& standIn, const QRect& area) = 0;
};

class PieceArena;

// The part of `picture` inside `area` (window pixels; device pixels at the
// picture's ratio), transparent where the area reaches past the picture;
// its pixels in `arena` when one is given.
QPixmap CutPiece(const QPixmap& picture, const QRect& area, PieceArena* arena = nullptr);
// The same sharing the picture's pixels, for a picture kept whole anyway:
// the picture stays as long as the piece does. Copied as CutPiece does where
// the area reaches past the picture.
QPixmap ViewPiece(const QPixmap& picture, const QRect& area);

// Gives every image button among `window`'s descendants `replaced(p)` in
// place of each of its pictures p (null pictures stay null); buttons whose
// pictures change are repainted.
void ReplaceButtonPictures(QWidget& window, const std::function<QPixmap(const QPixmap&)>& replaced);
// The same for the pictures named by cache key in `replacements`; the others
// stay.
void ReplaceButtonPictures(QWidget& window, const std::map<qint64, QPixmap>& replacements);

// A new picture that stands in for a look: one transparent pixel, drawing
// nothing, told apart from every other by its cache key.
QPixmap NewStandIn();

// The image button: for each state it shows the part of a full-window state
// picture that lies under its own rectangle, starting at its origin. The
// pictures are shared: QPixmap copies share one decoded image, so every
// button of a window shows the window's pictures without decoding them again.
//
// On a skinned window (a CBaseDialog parent) the window paints its image
// buttons in its own paint pass, under its other controls, and the toolkit
// skips them: a window of a hundred buttons repaints at little more than the
// cost of its background. Such a button sends every repaint to the window;
// update(), setText() and setDown() are redeclared here so that calls made on
// a CPngButton do so (the toolkit's own versions would not repaint it).
class CPngButton : public QAbstractButton {
  Q_OBJECT

 public:
  enum class Look { Normal, Hover, Pressed, Disabled, Selected };
  // Called after the button is drawn, with the painter in the button's
  // coordinates and clipped to its rectangle.
  using DrawCallback = std::function<void(CPngButton& button, QPainter& painter, bool normalShown)>;

  explicit CPngButton(QWidget* parent = nullptr);
  ~CPngButton() override;

  // Whether the button's window paints it (see above).
  bool PaintedByWindow() const { return paintedByWindow_; }
  // Draws the button onto its window's painter, in the window's coordinates.
  // Called by the window's paint pass for a button it paints.
  void PaintOnWindow(QPainter& painter);

  void update();
  void setText(const QString& text);
  void setDown(bool down);

  // Base flags of the custom lighting effect, one per profile.
  std::array<int, 4> baseFlags{};

  void SetPictures(int x, int y, const QPixmap& normal, const QPixmap& hover,
                   const QPixmap& pressed, const QPixmap& disabled, const QPixmap& selected,
                   bool repaint = true);
  void SetStatePictures(const QPixmap& normal, const QPixmap& hover, const QPixmap& pressed,
                        const QPixmap& disabled, const QPixmap& selected, bool repaint = true);
  void SetOrigin(int x, int y, bool repaint = true);
  void SetSelected(bool selected, bool repaint);
  // The colour frame replaces the picture while it is on. alpha is kept,
  // capped at 100 while the frame is on; drawing does not use it.
  void SetColourFrame(ColorRef colour, int alpha, bool on);
  // Colours are COLORREFs; `fifth` is kept but not used in drawing. format:
  // DrawText bits (kDt*).
  void SetTextStyle(bool on, int size, const QString& face, ColorRef normal, ColorRef hover,
                    ColorRef pressed, ColorRef disabled, ColorRef fifth, int format);
  void SetTextInsets(int left, int right, int top, int bottom);
  // escapement: text angle in tenths of a degree, counter-clockwise.
  void SetRotation(int escapement, bool rotated);
  // Nothing for an empty text.
  void SetTooltip(const QString& text, bool activate);
  void SetDrawCallback(DrawCallback callback);

  bool IsSelected() const { return selected_; }
  bool IsHover() const { return hover_; }
  bool IsTracking() const { return tracking_; }
  bool ColourFrameOn() const { return frameOn_; }
  ColorRef ColourFrameColour() const { return frameColour_; }
  int ColourFrameAlpha() const { return frameAlpha_; }
  QPoint Origin() const { return origin_; }
  QString TooltipText() const { return tooltipText_; }
  bool TooltipActive() const { return tooltipActive_; }
  // The look that the next paint shows, by the rules of drawing.
  Look CurrentLook() const;
  // Whether the keyboard focus frame shows: the button has the focus and it
  // came by keyboard (Tab, Backtab, a shortcut), not by a click or a call.
  bool FocusFrameShown() const;
  const QPixmap& Picture(Look look) const;
  // The pixels the look's picture gives the button, as drawn: its piece for
  // a stand-in, else the part of the whole picture under the button.
  QPixmap LookPixels(Look look) const;

  // Stand-ins of `cutter` among the pictures are drawn from pieces it cuts.
  // The cutter outlives the button's use of it (the window owning both).
  void SetPieceCutter(PieceCutter* cutter);
  // Cuts the pieces of stand-in looks that the button's current origin and
  // size lack; done by the button itself on every change of either.
  void CutPieces();
  // Forgets every piece (CutPieces cuts them again).
  void DropPieces();
  // Whether every stand-in look has its piece for the current origin and size.
  bool PiecesCurrent() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void Repaint(bool now);
  // Asks the window to paint `area` (window coordinates) again.
  void RepaintWindowArea(const QRect& area);
  void FollowParent();
  // Draws the look with `painter` in the button's coordinates.
  void Draw(QPainter& painter, Look look);
  // Whether `picture` shows, under this button, the background its window paints.
  bool ShowsWindowBackground(const QPixmap& picture) const;
  void ShowTooltipNow();
  void DrawFocusFrame(QPainter& painter) const;
  QColor TextColour(Look look) const;

  // The part of a stand-in's picture cut for one place of the button.
  struct Piece {
    qint64 source = 0;  // the stand-in's cache key
    QRect area;         // origin and size it was cut for
    QPixmap pixels;
  };
  // The piece of `picture` for the current origin and size, if cut.
  const Piece* CurrentPiece(const QPixmap& picture) const;
  QRect PieceArea() const { return QRect(origin_, size()); }

  std::array<QPixmap, 5> pictures_;  // by Look
  PieceCutter* cutter_ = nullptr;
  std::vector<Piece> pieces_;
  QPoint origin_;
  bool hover_ = false;
  bool tracking_ = false;
  bool selected_ = false;

  bool textOn_ = false;
  int textSize_ = 8;
  QString textFace_ = QStringLiteral("Tahoma Unicode MS");
  std::array<ColorRef, 5> textColours_{};  // normal, hover, pressed, disabled, fifth
  int textFormat_ = kDefaultTextFormat;
  int insetLeft_ = 0, insetRight_ = 0, insetTop_ = 0, insetBottom_ = 0;
  int escapement_ = 0;
  bool rotated_ = false;

  QString tooltipText_;
  bool tooltipActive_ = false;

  bool frameOn_ = false;
  ColorRef frameColour_ = 0;
  int frameAlpha_ = 0;

  DrawCallback drawCallback_;
  bool paintedByWindow_ = false;
  bool keyboardFocus_ = false;  // the focus last came by keyboard
};

}  // namespace kst
