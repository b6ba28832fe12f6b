#include "service/ui/notice_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "common/ui/dialog_units.h"
#include "common/ui/qt_text.h"

namespace vornix {

namespace {
constexpr DialogRect kNoticeSize{0, 0, 140, 43};
constexpr DialogRect kNoticeEdit{10, 7, 118, 29};
constexpr const char* kNoticeEditId = "1016";

NoticePlacement PlaceOnPrimaryScreen(int w, int h) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return PlaceNotice(w, h, {0, 0, w, h}, w, h);
  const QRect s = screen->geometry();
  const QRect a = screen->availableGeometry();
  return PlaceNotice(s.width(), s.height(), {a.x(), a.y(), a.x() + a.width(), a.y() + a.height()},
                     w, h);
}
}  // namespace

NoticeWindow::NoticeWindow(const QString& text, int holdMs)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      animation_(0, holdMs) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setObjectName(QStringLiteral("208"));
  setFont(DialogFont());
  setStyleSheet(QStringLiteral("vornix--NoticeWindow { border: 1px solid #606060; }"));
  const DialogBaseUnits base = BaseUnitsOf(font());
  const QRect full = DialogToPixels(kNoticeSize, base);

  // The read-only, multi-line, centred edit 1016: a label shows the same and costs less.
  edit_ = new QLabel(text, this);
  edit_->setObjectName(kNoticeEditId);
  edit_->setWordWrap(true);
  edit_->setAlignment(Qt::AlignCenter);
  edit_->setAutoFillBackground(true);
  edit_->setBackgroundRole(QPalette::Base);
  edit_->setGeometry(DialogToPixels(kNoticeEdit, base));

  placement_ = PlaceOnPrimaryScreen(full.width(), full.height());
  animation_ = NoticeAnimation(full.height(), holdMs);
  // The box keeps its full layout; the window's height cuts it off while it slides.
  setMinimumSize(0, 0);
  move(placement_.x, placement_.y);

  for (int id : {kGrowTimerId, kShrinkTimerId, kHoldTimerId}) {
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    timers_[id] = timer;
  }
  Follow(animation_.Start());
}

QString NoticeWindow::text() const {
  return edit_->text();
}

void NoticeWindow::OnTimer(int id) {
  Follow(animation_.OnTimer(id));
}

void NoticeWindow::Follow(const NoticeOrder& order) {
  if (order.stopTimer) timers_[order.stopTimer]->stop();
  if (order.startTimer) timers_[order.startTimer]->start(order.periodMs);
  if (order.place) {
    const ScreenRect f = NoticeFrame(placement_, animation_.currentHeight());
    setGeometry(f.left, f.top, f.width(), f.height());
    if (!isVisible()) show();
    emit heightChanged(animation_.currentHeight());
  }
  if (order.destroy) close();
}

void NoticeLauncher::ShowNotice(const std::string& text, int holdMs) {
  new NoticeWindow(ToQString(text), holdMs);  // deletes itself on close
}

}  // namespace vornix
