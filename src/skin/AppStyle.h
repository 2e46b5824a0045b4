#pragma once

// The one look of every standard control the utility shows over its dark
// skin: menus, message boxes, file dialogs, tooltips, and the editors' edit
// fields, drop-downs, lists and tables. Colours are the skin's: dark greys
// and the red accent of its pictures. The skinned windows draw their own
// pictures; this covers what Qt draws.

#include <QColor>
#include <QPalette>
#include <QString>

class QApplication;
class QWidget;

namespace kst {

// The skin's colours, for code that paints by hand.
inline constexpr QRgb kStyleWindow = 0x0e1118;     // panels and dialog backgrounds
inline constexpr QRgb kStyleSurface = 0x10131a;    // menus, tooltips, headers
inline constexpr QRgb kStyleField = 0x07090d;      // edit fields and lists
inline constexpr QRgb kStyleButton = 0x1e222d;     // push buttons
inline constexpr QRgb kStyleBorder = 0x2c3340;     // frames and separators
inline constexpr QRgb kStyleText = 0xe8ebf1;       // text on all of the above
inline constexpr QRgb kStyleMutedText = 0x868fa3;  // headers, hints
inline constexpr QRgb kStyleDisabledText = 0x5d6473;
inline constexpr QRgb kStyleAccent = 0xff2d55;     // focus, checked, links
inline constexpr QRgb kStyleSelection = 0x9c102e;  // selected rows and menu entries

// The palette every window starts from: dark greys, light text, the red
// selection, in all three colour groups.
QPalette AppPalette();

// The style sheet of the standard windows. Its rules name the standard
// widgets they style (or their parents: message boxes, file dialogs), never
// a bare QWidget or QAbstractButton, so the skin's image buttons and
// pictures are left as they are.
QString AppStyleSheet();

// Gives the application the Fusion style (the one that honours palettes on
// every platform) and AppPalette: every window is dark from the start. Call
// once, right after the QApplication is made and before any window.
//
// The style sheet is not the application's: a sheet there would be matched
// against every widget of every window, the skinned windows' hundreds of
// image buttons included, each time they are polished. The windows that show
// standard controls take it themselves (UseAppStyleSheet).
void ApplyAppStyle(QApplication& app);

// Gives a window the style sheet: menus, message boxes, file dialogs, the
// editors and the about box. Its child windows (drop-down lists, tooltips of
// its controls) follow it.
void UseAppStyleSheet(QWidget& window);

// The file dialogs of the utility, in Qt's own (styled) dialog: a file to
// open, or to save (with the overwrite question and the default suffix).
// An empty path when cancelled.
QString ChooseOpenFile(QWidget* parent, const QString& directory, const QString& filters);
QString ChooseSaveFile(QWidget* parent, const QString& directory, const QString& filters,
                       const QString& defaultSuffix, QString* chosenFilter = nullptr);

}  // namespace kst
