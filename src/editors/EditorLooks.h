#pragma once

// Pictures and caption style shared by the key assignment dialog and its
// macro page.

#include <QPixmap>
#include <QString>

#include "skin/CPngButton.h"

namespace kst {

// One picture set of the dialog: full-window state pictures the image
// buttons cut their looks from.
struct EditorPictureSet {
  QPixmap normal;
  QPixmap over;
  QPixmap down;
  QPixmap disabled;
};

// File names of a set in the skin folder.
struct EditorPictureFiles {
  const char* normal;
  const char* over;
  const char* down;
  const char* disabled;
};

inline constexpr EditorPictureFiles kKeyPictureFiles{"key_normal.jpg", "key_over.jpg",
                                                     "key_down.jpg", "key_normal.jpg"};
inline constexpr EditorPictureFiles kMacroPictureFiles{"macro_normal.jpg", "macro_over.jpg",
                                                       "macro_down.jpg", "macro_disable.jpg"};
inline constexpr EditorPictureFiles kMacro2PictureFiles{"macro2_normal.jpg", "macro2_over.jpg",
                                                        "macro2_down.jpg", "macro2_disable.jpg"};
inline constexpr EditorPictureFiles kMediaPictureFiles{"media_normal.jpg", "media_over.jpg",
                                                       "media_down.jpg", "media_normal.jpg"};
inline constexpr EditorPictureFiles kFunctionPictureFiles{
    "function_normal.jpg", "function_over.jpg", "function_down.jpg", "function_normal.jpg"};

// Caption colours of the dialog's image buttons (COLORREF).
inline constexpr ColorRef kEditorCaptionNormal = 0xDEDEDE;
inline constexpr ColorRef kEditorCaptionHover = 0x0000FF;
inline constexpr ColorRef kEditorCaptionPressed = 0x262A83;
inline constexpr ColorRef kEditorCaptionDisabled = 0x446053;
inline constexpr ColorRef kEditorCaptionFifth = 0xC8C8C8;
// Text of the statics and check boxes (COLORREF).
inline constexpr ColorRef kEditorTextColour = 0xE4E4E4;
inline constexpr const char* kEditorCaptionFace = "Arial Unicode MS";

// Gives an image button its caption in the dialog's text style (10 points,
// centred on one line).
inline void SetEditorCaption(CPngButton& button, const QString& caption) {
  button.SetTextStyle(true, 10, QString::fromLatin1(kEditorCaptionFace), kEditorCaptionNormal,
                      kEditorCaptionHover, kEditorCaptionPressed, kEditorCaptionDisabled,
                      kEditorCaptionFifth, kDefaultTextFormat);
  button.setText(caption);
}

// Shows the set on the button (the disabled picture also as its selected look).
inline void SetEditorPictures(CPngButton& button, const EditorPictureSet& set) {
  button.SetStatePictures(set.normal, set.over, set.down, set.disabled, set.down);
}

}  // namespace kst
