#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_descriptor.h"

class QSocketNotifier;

namespace vornix {

// The window's socket <system root>/run/windows/<title>: other programs find the window by
// its title there and send it "WM_COMMAND <id>\n"; each command is handled on the window's
// thread and answered with "<result>\n".
class WindowListener : public QObject {
  Q_OBJECT
 public:
  using Handler = std::function<long(int commandId)>;

  WindowListener(const std::string& title, Handler handler, QObject* parent = nullptr);
  ~WindowListener() override;

  // Binds, removing the socket file a crashed instance left behind. False when it cannot.
  // False, with `why` said, when the socket cannot be made.
  bool Listen(std::string* why = nullptr);
  // No more commands: the socket file goes.
  void Close();
  const std::string& path() const { return path_; }

 private:
  struct Connection;
  void Accept();
  void Read(Connection* connection);
  void Drop(Connection* connection);

  std::string path_;
  Handler handler_;
  FileDescriptor socket_;
  QSocketNotifier* acceptNotifier_ = nullptr;
  std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace vornix
