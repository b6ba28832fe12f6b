#include "service/ui/splash_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "service/ui/artwork.h"

namespace vornix {

SplashWindow::SplashWindow(const QPixmap& picture)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(picture) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_OpaquePaintEvent);  // the picture covers everything: no erasing
  setObjectName(QStringLiteral("SplashWindow"));
  setFixedSize(picture_.size());
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    QRect frame(QPoint(0, 0), picture_.size());
    frame.moveCenter(area.center());
    // Inside the work area's bounds.
    frame.moveLeft(qMax(area.left(), qMin(frame.left(), area.right() - frame.width() + 1)));
    frame.moveTop(qMax(area.top(), qMin(frame.top(), area.bottom() - frame.height() + 1)));
    move(frame.topLeft());
  }
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &QWidget::close);
  timer_.start(kSplashDisplayMs);
}

void SplashWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, picture_);
}

void SplashWindow::mousePressEvent(QMouseEvent*) {
  close();
}

void SplashWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
  } else {
    QWidget::keyPressEvent(event);
  }
}

SplashWindow* ShowSplash() {
  const QPixmap picture = SplashPicture();
  if (picture.isNull()) return nullptr;
  auto* splash = new SplashWindow(picture);
  splash->show();
  splash->repaint();  // painted at once
  return splash;
}

}  // namespace vornix
