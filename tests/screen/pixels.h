#pragma once

#include <QImage>

namespace vornix::testing {

// What a screenshot shows inside `area`: the pixels unlike the window's face colour and the
// dark ones (text), each with the rectangle that bounds them (empty when there are none).
struct Marks {
  int count = 0, dark = 0;
  QRect bounds, darkBounds;
};

inline Marks MarksIn(const QImage& image, const QRect& area, QRgb face) {
  Marks m;
  const QRect inside = area & image.rect();
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (pixel == face) continue;
      ++m.count;
      m.bounds |= QRect(x, y, 1, 1);
      if (qGray(pixel) >= 96) continue;
      ++m.dark;
      m.darkBounds |= QRect(x, y, 1, 1);
    }
  return m;
}

}  // namespace vornix::testing
