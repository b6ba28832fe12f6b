#include "service/ui/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vornix {

namespace {
const QColor kBlue(0x1f, 0x5f, 0xa8);
const QColor kLightBlue(0x6f, 0xa8, 0xe8);

// A circle with a curved arrow: "update".
void PaintEmblem(QPainter& p, const QRectF& box) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawEllipse(box);
  const qreal inset = box.width() * 0.25;
  const QRectF arc = box.adjusted(inset, inset, -inset, -inset);
  p.setPen(QPen(Qt::white, box.width() * 0.1, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(arc, 90 * 16, 270 * 16);
  // The arrow head at the arc's open end.
  const qreal s = box.width() * 0.14;
  const QPointF tip(arc.center().x() + s * 0.2, arc.top());
  QPainterPath head;
  head.moveTo(tip + QPointF(s, 0));
  head.lineTo(tip + QPointF(-s * 0.2, -s * 0.8));
  head.lineTo(tip + QPointF(-s * 0.2, s * 0.8));
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPath(head);
}
}  // namespace

QPixmap ProgramIconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  PaintEmblem(p, QRectF(1, 1, size - 2, size - 2));
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addPixmap(ProgramIconPixmap(size));
  return icon;
}

QPixmap SplashPicture() {
  QPixmap pixmap(360, 200);
  QPainter p(&pixmap);
  QLinearGradient sky(0, 0, 0, 200);
  sky.setColorAt(0, kLightBlue);
  sky.setColorAt(1, kBlue);
  p.fillRect(pixmap.rect(), sky);
  PaintEmblem(p, QRectF(24, 50, 100, 100));
  p.setPen(Qt::white);
  QFont title(QStringLiteral("Sans Serif"), 22);
  title.setStyleHint(QFont::SansSerif);
  p.setFont(title);
  p.drawText(QRect(140, 60, 210, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vornix"));
  QFont line(QStringLiteral("Sans Serif"), 11);
  line.setStyleHint(QFont::SansSerif);
  p.setFont(line);
  p.drawText(QRect(140, 100, 210, 30), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Update Service"));
  p.setPen(QPen(Qt::white, 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(pixmap.rect().adjusted(1, 1, -2, -2));
  return pixmap;
}

}  // namespace vornix
