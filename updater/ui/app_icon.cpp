#include "updater/ui/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace vornix {

QIcon UpdateIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x2e, 0x8b, 0x57));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(2, 2, 28, 28, 6, 6);
  // A downward arrow: something arrives and is put in place.
  p.setBrush(Qt::white);
  const QPointF arrow[] = {{16, 26}, {7, 15}, {12, 15}, {12, 6}, {20, 6}, {20, 15}, {25, 15}};
  p.drawPolygon(arrow, 7);
  return QIcon(pixmap);
}

}  // namespace vornix
