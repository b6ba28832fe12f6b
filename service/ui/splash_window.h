#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace vornix {

inline constexpr int kSplashTimerId = 1001;
inline constexpr int kSplashDisplayMs = 3000;

// The start-up picture: centred in the work area, closed after three seconds or at the first
// click or Escape; it deletes itself when closed.
class SplashWindow : public QWidget {
  Q_OBJECT
 public:
  explicit SplashWindow(const QPixmap& picture);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPixmap picture_;
  QTimer timer_;
};

// Shows the splash; nothing is shown when the picture cannot be had.
SplashWindow* ShowSplash();

}  // namespace vornix
