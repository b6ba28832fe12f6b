#include "common/ui/dialog_units.h"

#include <QFontMetrics>

namespace vornix {

namespace {
// MulDiv: a * b / c rounded to the nearest whole number.
int MulDiv(int a, int b, int c) {
  return (a * b + c / 2) / c;
}
}  // namespace

QFont DialogFont() {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  // The average width over the alphabet, rounded, as the system takes it for dialog units.
  const QFontMetrics metrics(font);
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(alphabet / 26 + 1) / 2, metrics.height()};
}

int DialogXToPixels(int dlu, const DialogBaseUnits& base) {
  return MulDiv(dlu, base.x, 4);
}
int DialogYToPixels(int dlu, const DialogBaseUnits& base) {
  return MulDiv(dlu, base.y, 8);
}

QRect DialogToPixels(const DialogRect& r, const DialogBaseUnits& base) {
  const int left = DialogXToPixels(r.x, base);
  const int top = DialogYToPixels(r.y, base);
  const int right = DialogXToPixels(r.x + r.w, base);
  const int bottom = DialogYToPixels(r.y + r.h, base);
  return QRect(left, top, right - left, bottom - top);
}

}  // namespace vornix
