#pragma once

#include <QLocalServer>
#include <QObject>
#include <functional>
#include <string>

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
  bool Listen();
  // No more commands: the socket file goes.
  void Close();
  const QString& path() const { return path_; }

 private:
  void Accept();

  QString path_;
  Handler handler_;
  QLocalServer server_;
};

}  // namespace vornix
