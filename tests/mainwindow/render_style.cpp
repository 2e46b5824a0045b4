// kst-render-style <folder>: the standard windows of the utility in the
// application's look, offscreen over the simulated keyboard: the tray menu,
// the main window's button menu, a message box over the main window, the
// export file dialog and the about box (style-*.png). Run with
// QT_SCALE_FACTOR=1.5 the files are named style-*-150.png.

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>

#include "app/CTrayIcon.h"
#include "mainwindow/CAboutDlg.h"
#include "mainwindow/MainWindowIds.h"
#include "skin/CPngButton.h"
#include "support/OffscreenMainWindow.h"

namespace {

using kst::CKestruneDlg;

// The widget drawn at its screen's pixel ratio, clipped to its mask.
QImage Picture(QWidget& widget) {
  widget.ensurePolished();
  const qreal ratio = widget.devicePixelRatioF();
  QImage image((QSizeF(widget.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  if (!widget.mask().isEmpty()) painter.setClipRegion(widget.mask());
  widget.render(&painter, QPoint(), QRegion(),
                QWidget::DrawWindowBackground | QWidget::DrawChildren);
  return image;
}

// `top` over `base` at `at` (logical pixels), with a soft shadow as a
// window manager would give a window above another.
QImage Over(QImage base, const QImage& top, QPoint at) {
  QPainter painter(&base);
  painter.setRenderHint(QPainter::Antialiasing);
  const QSizeF size = QSizeF(top.size()) / top.devicePixelRatio();
  for (int spread = 12; spread > 0; spread -= 2) {
    QPainterPath shadow;
    shadow.addRoundedRect(QRectF(at, size).adjusted(-spread, -spread + 4, spread, spread + 4),
                          spread, spread);
    painter.fillPath(shadow, QColor(0, 0, 0, 18));
  }
  painter.drawImage(at, top);
  painter.setPen(QColor(0x2c3340));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(at, size).adjusted(-0.5, -0.5, 0.5, 0.5));
  return base;
}

// Runs `open`, which brings up a modal window (at once or from another
// thread), and takes its picture once it is up; the window is closed then.
QImage GrabModal(const std::function<void()>& open) {
  QImage shot;
  int upFor = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || !shot.isNull()) return;
    // Room for the file dialog's columns, as a user would give it.
    if (++upFor == 1 && modal->inherits("QFileDialog")) modal->resize(780, 460);
    if (upFor < 5) return;  // a few rounds for its layout and first paint
    // A file dialog lists its folder from another thread: up to 3 s for it.
    if (auto* files = modal->findChild<QTreeView*>(QStringLiteral("treeView"));
        files != nullptr && files->model() != nullptr && upFor < 150 &&
        files->model()->rowCount(files->rootIndex()) == 0)
      return;
    shot = Picture(*modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
  });
  poll.start(20);
  open();
  QElapsedTimer timer;
  timer.start();
  while (shot.isNull() && timer.elapsed() < 15000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  return shot;
}

bool Save(const QImage& image, const QString& file) {
  if (image.isNull() || !image.save(file, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

// A menu as it shows: laid out, polished, on its own.
QImage MenuPicture(QMenu& menu) {
  menu.ensurePolished();
  menu.adjustSize();
  return Picture(menu);
}

// A folder of exchange files with fixed times, so that the file dialog's
// picture stays the same from run to run.
QString ExchangeFolder(const QString& root) {
  const QString folder = root + "/Backups";
  QDir().mkpath(folder);
  const QDateTime when(QDate(2026, 3, 14), QTime(9, 30));
  for (const char* name : {"Everyday.kst", "Gaming.kst", "Streaming.kst", "notes.txt"}) {
    QFile file(folder + '/' + QLatin1String(name));
    if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(32832, '\0'));
    file.setFileTime(when, QFileDevice::FileModificationTime);
  }
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  return kst::RunRenderTool(
      argc, argv, "kst-render-style", [](kst::OffscreenMainWindow& rig, const QString& out) {
        const qreal scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                                ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                                : 1.0;
        const QString suffix =
            qFuzzyCompare(scale, 1.0) ? QString() : QStringLiteral("-%1").arg(qRound(scale * 100));
        const auto name = [&](const char* base) {
          return out + "/style-" + QLatin1String(base) + suffix + ".png";
        };

        CKestruneDlg& dialog = rig.Window();
        // Real message boxes and file dialogs; no notification area wait.
        CKestruneDlg::Seams seams;
        seams.notificationArea = [] { return true; };
        const QString damaged = QDir(QDir::tempPath()).filePath("kst-render-style-damaged.kst");
        const QString folder = ExchangeFolder(QDir::tempPath() + "/kst-render-style");
        seams.chooseFile = [&](bool) { return damaged; };
        dialog.SetSeams(seams);
        rig.Init();
        bool ok = true;

        // The tray menu with its texts, as a right click shows it.
        if (dialog.Tray() != nullptr && dialog.Tray()->PrepareMenu() != nullptr) {
          ok = Save(MenuPicture(*dialog.Tray()->Menu()), name("tray-menu")) && ok;
        } else {
          std::fprintf(stderr, "no tray menu\n");
          ok = false;
        }

        // The button menu under the window's menu button.
        const QImage window = Picture(dialog);
        std::unique_ptr<QMenu> buttonMenu = kst::BuildButtonMenu(rig.Context().language);
        QWidget* menuButton = dialog.Control(kst::kIdMenu);
        const QPoint below = menuButton
                                 ? menuButton->mapTo(&dialog, QPoint(0, menuButton->height() + 2))
                                 : QPoint(dialog.width() - 220, 48);
        // The first entry as the pointer over it shows it.
        buttonMenu->setActiveAction(buttonMenu->actions().value(0));
        ok = Save(Over(window, MenuPicture(*buttonMenu), below), name("button-menu")) && ok;

        // The refusal of a damaged file, over the window.
        {
          QFile file(damaged);
          if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(40000, 'x'));
        }
        const QImage box = GrabModal([&] { dialog.OnCommand(kst::kCommandImport); });
        QFile::remove(damaged);
        if (!box.isNull()) {
          const QSize boxSize = (QSizeF(box.size()) / box.devicePixelRatio()).toSize();
          const QPoint centre((dialog.width() - boxSize.width()) / 2,
                              (dialog.height() - boxSize.height()) / 2);
          ok = Save(Over(window, box, centre), name("message-box")) && ok;
        } else {
          ok = false;
        }

        // The export dialog, opened on a folder of backups.
        seams.chooseFile = nullptr;
        dialog.SetSeams(seams);
        const QString before = QDir::currentPath();
        QDir::setCurrent(folder);
        ok = Save(GrabModal([&] { dialog.OnCommand(kst::kCommandExport); }), name("file-dialog")) &&
             ok;
        QDir::setCurrent(before);
        QDir(QDir::tempPath() + "/kst-render-style").removeRecursively();

        // The about box.
        dialog.OnCommand(kst::kCommandAbout);
        rig.Settle();
        if (kst::CAboutDlg* about = dialog.AboutBox()) {
          ok = Save(Picture(*about), name("about")) && ok;
          about->close();
        } else {
          ok = false;
        }
        return ok;
      });
}
