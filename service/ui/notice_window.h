#pragma once

#include <QTimer>
#include <QWidget>
#include <map>
#include <string>

#include "service/core/ports.h"
#include "service/ui/notice_placement.h"

class QLabel;

namespace vornix {

// Dialog 208: a borderless box with one line of text that slides out at the right-hand corner
// of the work area, holds, slides back and destroys itself.
class NoticeWindow : public QWidget {
  Q_OBJECT
 public:
  NoticeWindow(const QString& text, int holdMs);

  const NoticePlacement& placement() const { return placement_; }
  int currentHeight() const { return animation_.currentHeight(); }
  QString text() const;

 signals:
  void heightChanged(int currentHeight);

 private:
  void Follow(const NoticeOrder& order);
  void OnTimer(int id);

  QLabel* edit_ = nullptr;
  NoticePlacement placement_;
  NoticeAnimation animation_;
  std::map<int, QTimer*> timers_;
};

// ShowNotice of the window layer: each notice lives on its own timers.
class NoticeLauncher : public Notices {
 public:
  void ShowNotice(const std::string& text, int holdMs) override;
};

}  // namespace vornix
