#pragma once

// The look of the editors' standard controls (edit fields, lists, the
// action table and its header, check boxes, drop-downs) over the dark skin:
// the skin's colours, so that they read as part of the picture.

#include <QString>

namespace kst {

QString EditorStyleSheet();

}  // namespace kst
