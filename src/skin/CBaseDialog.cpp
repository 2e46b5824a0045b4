#include "skin/CBaseDialog.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTransform>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <vector>

#include "foundation/SkinLayout.h"
#include "skin/CPngButton.h"
#include "skin/SkinPictures.h"

namespace kst {

namespace {

// Rectangles are turned into a region block by block, so a large mask never
// holds more than this many loose rectangles.
constexpr std::size_t kRectsPerRegionBlock = 2000;

bool InRange(int value, int low, int tolerance) {
  return value >= low && value <= std::min(255, low + tolerance);
}

}  // namespace

QRegion MaskRegion(const QImage& mask, QRgb key, int tolerance) {
  QRegion result;
  if (mask.isNull()) return result;
  const QImage image = mask.convertToFormat(QImage::Format_RGB32);
  const int keyRed = qRed(key), keyGreen = qGreen(key), keyBlue = qBlue(key);
  const auto transparent = [&](QRgb pixel) {
    return InRange(qRed(pixel), keyRed, tolerance) && InRange(qGreen(pixel), keyGreen, tolerance) &&
           InRange(qBlue(pixel), keyBlue, tolerance);
  };
  std::vector<QRect> rects;
  rects.reserve(100);
  auto flush = [&] {
    if (rects.empty()) return;
    QRegion block;
    block.setRects(rects.data(), static_cast<int>(rects.size()));
    result = result.united(block);
    rects.clear();
  };
  // Rows with the same runs are one band of taller rectangles: a plain
  // window shape stays a handful of rectangles, and every paint clipped to
  // it stays cheap.
  using Runs = std::vector<std::pair<int, int>>;  // [start, end) of each run
  Runs band, row;
  int bandTop = 0;
  auto closeBand = [&](int bottom) {
    for (const auto& [start, end] : band)
      rects.emplace_back(start, bandTop, end - start, bottom - bandTop);
    band.clear();
    if (rects.size() >= kRectsPerRegionBlock) flush();
  };
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    row.clear();
    int x = 0;
    while (x < image.width()) {
      while (x < image.width() && transparent(line[x])) ++x;
      const int start = x;
      while (x < image.width() && !transparent(line[x])) ++x;
      if (x > start) row.emplace_back(start, x);
    }
    if (row != band || y == 0) {
      closeBand(y);
      band.swap(row);
      bandTop = y;
    }
  }
  closeBand(image.height());
  flush();
  return result;
}

CBaseDialog::CBaseDialog(int templateId, QWidget* parent, QString skinFile, QString skinFolder)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      templateId_(templateId),
      skinFile_(std::move(skinFile)),
      skinFolder_(std::move(skinFolder)) {
  if (!skinFolder_.isEmpty() && !skinFolder_.endsWith(QLatin1Char('/')))
    skinFolder_ += QLatin1Char('/');
  pictures_.SetFolder(skinFolder_);
  // The screen's ratio as the window starts; its pictures are taken for it.
  pictures_.SetDeviceRatio(devicePixelRatioF());
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CBaseDialog::~CBaseDialog() { ReleaseSkin(); }

int CBaseDialog::exec() {
  OnInitDialog();
  return QDialog::exec();
}

bool CBaseDialog::OnInitDialog() {
  ApplySkin();
  return true;
}

void CBaseDialog::ApplySkin() {
  loading_ = true;
  ini_.SetPath(skinFile_);
  const QString main = MainFile();
  const QString mask = MaskFile();
  pictures_.SetFolder(skinFolder_);
  auto background = main.isEmpty() ? std::nullopt : pictures_.Get(main);
  if (!background) EndProcessForMissingPicture(skinFolder_ + main);
  auto maskPicture = mask.isEmpty() ? std::nullopt : pictures_.Get(mask);
  if (!maskPicture) EndProcessForMissingPicture(skinFolder_ + mask);
  background_ = *background;
  mask_ = *maskPicture;

  const QPoint position = pos();
  // The window is as large as the background in window pixels; a picture
  // for a scaled screen has more pixels than that.
  setFixedSize(background_.deviceIndependentSize().toSize());
  move(position);
  hide();

  region_ = MaskRegion(mask_.toImage(), kMaskKeyWhite, 0);
  if (const qreal ratio = mask_.devicePixelRatio(); ratio != 1)
    region_ = QTransform::fromScale(1 / ratio, 1 / ratio).map(region_);
  if (region_.isEmpty()) {
    // An empty mask would mean "no mask" to the toolkit; a region outside the
    // window leaves nothing of it visible, as the skin asks.
    setMask(QRegion(-1, -1, 1, 1));
  } else {
    setMask(region_);
  }
  loading_ = false;
}

QString CBaseDialog::MainFile() const {
  return ini_.GetString(QString::fromLatin1(kScreenSection), QStringLiteral("Main"), QString())
      .value_or(QString());
}

QString CBaseDialog::MaskFile() const {
  return ini_.GetString(QString::fromLatin1(kScreenSection), QStringLiteral("Mask"), MainFile())
      .value_or(QString());
}

void CBaseDialog::DropMaskPicture() {
  if (mask_.isNull()) return;
  mask_ = QPixmap();
  const QString mask = MaskFile();
  // The background keeps its own picture when it is the same file.
  if (mask != MainFile()) pictures_.Drop(mask);
}

void CBaseDialog::DropBackground() {
  if (background_.isNull()) return;
  background_ = QPixmap();
  const QString main = MainFile();
  if (mask_.isNull() || main != MaskFile()) pictures_.Drop(main);
}

void CBaseDialog::TakeBackgroundBack() {
  if (!background_.isNull()) return;
  const QString main = MainFile();
  auto background = main.isEmpty() ? std::nullopt : pictures_.Get(main);
  if (!background) EndProcessForMissingPicture(skinFolder_ + main);
  background_ = *background;
}

void CBaseDialog::ReleaseSkin() {
  background_ = QPixmap();
  mask_ = QPixmap();
  pictures_.Clear();
}

void CBaseDialog::accept() {
  ReleaseSkin();
  EndDialog(Accepted);
}

void CBaseDialog::EndDialog(int result) {
  const QPointer<CBaseDialog> alive(this);
  setResult(result);
  hide();  // ends exec()'s loop
  if (!alive) return;
  if (result == Accepted)
    emit accepted();
  else if (result == Rejected)
    emit rejected();
  if (alive) emit finished(result);
}

void CBaseDialog::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  PaintBackground(painter);
  // The image buttons, bottom to top, each where it meets the area being
  // painted; the toolkit skips them (CPngButton). The area's bounding box is
  // enough to choose them (the painter is clipped to the area), and far
  // cheaper than the area itself, which follows the window's shape.
  const QRect area = event->region().boundingRect();
  for (QObject* child : children()) {
    auto* button = qobject_cast<CPngButton*>(child);
    if (button && button->PaintedByWindow() && !button->isHidden() &&
        area.intersects(button->geometry()))
      button->PaintOnWindow(painter);
  }
}

void CBaseDialog::PaintBackground(QPainter& painter) {
  if (!background_.isNull()) painter.drawPixmap(0, 0, background_);
}

void CBaseDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (QWindow* window = windowHandle()) window->startSystemMove();
    update();
    event->accept();
    return;
  }
  QDialog::mousePressEvent(event);
}

}  // namespace kst
