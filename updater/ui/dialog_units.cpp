#include "updater/ui/dialog_units.h"

#include <QFontMetrics>

namespace vornix {

namespace {

int ToPixelsX(const QFont& font, int units) {
  return (units * QFontMetrics(font).averageCharWidth() + 2) / 4;
}
int ToPixelsY(const QFont& font, int units) {
  return (units * QFontMetrics(font).height() + 4) / 8;
}

}  // namespace

QFont DialogFont() {
  QFont font("Sans Serif", 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QSize DialogUnitSize(const QFont& font, int width, int height) {
  return QSize(ToPixelsX(font, width), ToPixelsY(font, height));
}

QRect DialogUnitRect(const QFont& font, int x, int y, int width, int height) {
  return QRect(ToPixelsX(font, x), ToPixelsY(font, y), ToPixelsX(font, width),
               ToPixelsY(font, height));
}

}  // namespace vornix
