#include "lighting/panel/ColorStatic.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QWidget>

#include "controls_app.h"

namespace kst {
namespace {

const QColor kSkin(0x0e, 0x11, 0x17);

// A window that paints its skin itself, as the skinned windows do; its
// palette's background colour is another one, so that a label filling its
// own background would show.
class SkinnedParent : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), kSkin); }
};

TEST(ColorStaticTest, WhiteTextOverTheParentsBackground) {
  test::EnsureControlsApp();
  const QColor skin = kSkin;
  SkinnedParent parent;
  parent.resize(200, 60);
  auto* label = new ColorStatic(&parent);
  label->setGeometry(10, 10, 150, 30);
  label->setText(QStringLiteral("BRIGHTNESS"));
  QFont font = label->font();
  font.setPixelSize(16);
  font.setBold(true);
  label->setFont(font);
  // Set after the label exists: a later palette of the window must not
  // change the text's colour.
  QPalette palette = parent.palette();
  palette.setColor(QPalette::Window, QColor(200, 200, 200));
  palette.setColor(QPalette::WindowText, Qt::black);
  parent.setPalette(palette);

  for (const bool enabled : {true, false}) {
    SCOPED_TRACE(enabled ? "enabled" : "disabled");
    label->setEnabled(enabled);
    const QImage shown =
        parent.grab(label->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
    int white = 0;
    int other = 0;
    int darker = 0;
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        const QColor pixel = shown.pixelColor(x, y);
        if (pixel == QColor(Qt::white))
          ++white;
        else if (pixel != skin)
          ++other;  // the edges of the glyphs, between white and the skin
        if (pixel.lightness() < skin.lightness()) ++darker;
      }
    }
    EXPECT_GT(white, 30) << "too few white glyph pixels";
    EXPECT_EQ(darker, 0) << "something but white was drawn";
    EXPECT_EQ(shown.pixelColor(shown.width() - 1, shown.height() - 1), skin);
    EXPECT_EQ(shown.pixelColor(0, 0), skin);
    EXPECT_LT(other, white * 4);
  }
}

}  // namespace
}  // namespace kst
