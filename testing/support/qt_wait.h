#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace vornix::testing {

// Runs the event loop until `condition` holds, at most `limitMs`.
template <typename Condition>
bool ProcessEventsUntil(Condition condition, int limitMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() >= limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

inline void ProcessEventsFor(int ms) {
  ProcessEventsUntil([] { return false; }, ms);
}

}  // namespace vornix::testing
