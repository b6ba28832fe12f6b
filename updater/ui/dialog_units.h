#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace vornix {

// The dialog font: "MS Sans Serif" 8 point becomes the default sans-serif font at 8 point.
QFont DialogFont();

// Dialog units to pixels, as Windows turns them: x from a quarter of the font's average
// character width, y from an eighth of its height.
QSize DialogUnitSize(const QFont& font, int width, int height);
QRect DialogUnitRect(const QFont& font, int x, int y, int width, int height);

}  // namespace vornix
