#pragma once

// The skin keys and pictures each skinned window reads. The windows lay their
// controls out from these lists, the skin generator checks that it writes
// every one of them, and the tests check the generated skin against them.

#include <QString>
#include <QStringList>

#include <span>

namespace kst {

enum class SkinControl {
  ImageButton,   // CPngButton laid out with LayoutImageButton
  Label,         // static text laid out with LayoutControl
  Edit,          // edit box, rectangle only
  List,          // list, combo box or report list, rectangle only
  Picture,       // bitmap picture control (lighting panel)
  Slider,        // bitmap slider; sized by its channel picture
  ColourButton,  // drop-down colour button
  CheckBox,      // check box used as a radio button or an option
};

// Which controls are on show together. Controls of different groups other
// than kAlways may share a place: the windows never show them at once.
enum class SkinGroup {
  kAlways,           // always laid out and (unless the skin hides it) shown
  kBackdrop,         // picture the controls of a page lie on
  kPanelCommon,      // lighting panel: effect list, brightness, speed
  kPanelColourA,     // lighting panel: colour group, placement A
  kPanelColourB,     // lighting panel: colour group, placement B
  kPanelChoice,      // lighting panel: the four colour-choice pictures (effect 17)
  kPanelCustom,      // lighting panel: custom per-key colours (effect 20)
  kPanelDirection,   // direction group, effect 18
  kPanelDirection2,  // direction group, effects 1-3
  kPanelDirection3,  // direction group, effect 12
  kPageKey,          // key assignment dialog: single-key page
  kPageMacro,        // macro page
  kPageMedia,        // multimedia page
  kPageFunction,     // function-key page
};

struct SkinKey {
  const char* key;  // key of section "BUTTONINFO"
  SkinControl kind;
  const char* captionKey;  // language-file key of the caption drawn over it; nullptr: none
  SkinGroup group = SkinGroup::kAlways;
};

// Four full-window pictures of one button look each, from the skin folder.
struct PictureSet {
  const char* normal;
  const char* over;
  const char* down;
  const char* disabled;
};

// ---- Main window ("Main.ini") ------------------------------------------------

// The window's own controls and the lighting panel, in layout order. The key
// buttons of the keyboard picture are in MainKeyButtonSkinKeys().
std::span<const SkinKey> MainWindowSkinKeys();
// "FUNC_G1".."FUNC_G9", "KEY_%03X" of every board key in board order,
// "KEY_FN", then the six extra keys of F1-F4's place.
QStringList MainKeyButtonSkinKeys();
// Layout keys of the extra buttons D1-D6 that share F1-F4's place.
QStringList ExtraKeySkinKeys();
// "KEY_%03X" of a board key's skin key number.
QString BoardKeySkinKey(int skinKeyNumber);
// "BUTTONINFO2" keys of the arrow pictures: UP/DOWN_ARROW_LEFT/RIGHT + 1 and 2.
QStringList MainArrowVariantKeys();
// The picture set of the keyboard view and the window's buttons; disabled is
// the look of a key that carries an assignment (its selected look).
inline constexpr PictureSet kMainPictureSet = {"main_normal.jpg", "main_over.jpg", "main_down.jpg",
                                               "main_disable.jpg"};
// The keyboard picture while Flip is 1: D1-D6 drawn in F1-F4's place. Only
// the extra keys take their looks from it, so its disabled look is unused.
inline constexpr PictureSet kMainFlipPictureSet = {"main_flip_normal.jpg", "main_flip_over.jpg",
                                                   "main_flip_down.jpg", "main_flip_normal.jpg"};
// Every control drawn dimmed and without colour: the disabled look of the
// window's buttons and keys.
inline constexpr const char* kMainGreyPicture = "main_grey.jpg";
inline constexpr const char* kArrowPicture = "Arrow.jpg";
inline constexpr const char* kMainColourPictures[2] = {"main_color0.jpg", "main_color1.jpg"};
// Every full-window picture the main window loads when it opens (the Flip
// set is loaded when Flip is first 1).
QStringList MainWindowPictures();
// Every bitmap of the lighting panel, the busy frames included.
QStringList LightingPanelPictures();
// Sections of lighting panel captions in "Main.ini" and their keys.
inline constexpr const char* kControlNameSections[2] = {"Control_Name", "Control_Name1"};
std::span<const char* const> ControlNameKeys();
// Template mode file of the lighting panel, in the skin folder.
inline constexpr const char* kModeTemplateFileName = "UserDengColor_4.userd";
// Window and tray icons by resource number.
inline constexpr const char* kIconNoKeyboard = "128.png";
inline constexpr const char* kIconConnected = "141.png";
inline constexpr const char* kIconActivity = "142.png";

// ---- Key assignment dialog ("Composite.ini") ----------------------------------

std::span<const SkinKey> CompositeSkinKeys();
inline constexpr PictureSet kKeyPictureSet = {"key_normal.jpg", "key_over.jpg", "key_down.jpg",
                                              "key_normal.jpg"};
inline constexpr PictureSet kMacroPictureSet = {"macro_normal.jpg", "macro_over.jpg",
                                                "macro_down.jpg", "macro_disable.jpg"};
inline constexpr PictureSet kMacro2PictureSet = {"macro2_normal.jpg", "macro2_over.jpg",
                                                 "macro2_down.jpg", "macro2_disable.jpg"};
inline constexpr PictureSet kMediaPictureSet = {"media_normal.jpg", "media_over.jpg",
                                                "media_down.jpg", "media_normal.jpg"};
inline constexpr PictureSet kFunctionPictureSet = {"function_normal.jpg", "function_over.jpg",
                                                   "function_down.jpg", "function_normal.jpg"};
std::span<const PictureSet> CompositePictureSets();

// ---- Profile manager ("Profile.ini") -----------------------------------------

std::span<const SkinKey> ProfileSkinKeys();
inline constexpr PictureSet kProfilePictureSet = {"Profile_normal.jpg", "Profile_over.jpg",
                                                  "Profile_down.jpg", "Profile_disable.jpg"};

// Distinct file names of a picture set, in set order.
QStringList PictureSetFiles(const PictureSet& set);

}  // namespace kst
