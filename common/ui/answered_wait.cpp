#include "common/ui/answered_wait.h"

#include <QEventLoop>
#include <QMetaObject>
#include <thread>

namespace vornix {

void RunWhileAnswering(const std::function<void()>& work) {
  QEventLoop loop;
  std::thread worker([&] {
    work();
    // Queued: the loop quits on its own thread, whether it already runs or is about to.
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
}

}  // namespace vornix
