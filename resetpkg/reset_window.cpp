#include "resetpkg/reset_window.h"

#include <QMenuBar>
#include <QPainter>
#include <QPixmap>

namespace vornix {

namespace {

constexpr const char* kTitle = "VornixResetPkg";
constexpr const char* kHelloText = "Hello World!";

class HelloView : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const int lineHeight = fontMetrics().height();
    p.drawText(QRect(0, 0, width(), lineHeight), Qt::AlignHCenter | Qt::AlignTop, kHelloText);
  }
};

QIcon ToolIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x2e, 0x6b, 0xb8));
  p.setPen(Qt::NoPen);
  p.drawEllipse(2, 2, 28, 28);
  p.setPen(QPen(Qt::white, 3));
  p.drawArc(9, 9, 14, 14, 60 * 16, 300 * 16);
  return QIcon(pixmap);
}

}  // namespace

ResetWindow::ResetWindow() {
  setWindowTitle(kTitle);
  setWindowIcon(ToolIcon());
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction("E&xit", this, &QWidget::close);
  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction("&About ...");
  setCentralWidget(new HelloView);
  resize(400, 240);
}

}  // namespace vornix
