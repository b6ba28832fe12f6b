#pragma once

#include <QFont>
#include <QRect>

namespace vornix {

// A rectangle in dialog units: a quarter of the font's average character width across, an
// eighth of its height down.
struct DialogRect {
  int x, y, w, h;
};

struct DialogBaseUnits {
  int x;  // average character width of the alphabet in pixels
  int y;  // character height in pixels
};

// "MS Sans Serif" 8 point of the dialogs: the default sans-serif face at 8 point.
QFont DialogFont();
DialogBaseUnits BaseUnitsOf(const QFont& font);
// Rounds as MapDialogRect does (MulDiv).
int DialogXToPixels(int dlu, const DialogBaseUnits& base);
int DialogYToPixels(int dlu, const DialogBaseUnits& base);
QRect DialogToPixels(const DialogRect& r, const DialogBaseUnits& base);

}  // namespace vornix
