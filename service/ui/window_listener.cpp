#include "service/ui/window_listener.h"

#include <QLocalSocket>
#include <QPointer>

#include "platform/path.h"
#include "platform/system_root.h"
#include "platform/window_link.h"

namespace vornix {

namespace {
constexpr int kAnswerWriteMs = 2000;
constexpr qint64 kLongestLine = 256;
}  // namespace

WindowListener::WindowListener(const std::string& title, Handler handler, QObject* parent)
    : QObject(parent),
      path_(QString::fromLocal8Bit(WindowSocketPath(title).c_str())),
      handler_(std::move(handler)) {
  connect(&server_, &QLocalServer::newConnection, this, &WindowListener::Accept);
}

WindowListener::~WindowListener() {
  Close();
}

bool WindowListener::Listen() {
  MakeFolders(RunFolder("windows"));
  // Only one instance runs (the named mutex), so a socket file here is a crashed one's.
  QLocalServer::removeServer(path_);
  return server_.listen(path_);
}

void WindowListener::Close() {
  if (server_.isListening()) server_.close();
}

void WindowListener::Accept() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      QPointer<QLocalSocket> guard(socket);
      while (guard && guard->canReadLine()) {
        const std::string line = guard->readLine(kLongestLine).toStdString();
        const std::optional<int> id = ParseWindowCommand(line);
        if (!id) {
          guard->disconnectFromServer();
          return;
        }
        const long result = handler_(*id);
        if (!guard) return;
        // Answered before control goes back to the loop, so a shutdown command is answered
        // before the service ends.
        guard->write(QByteArray::number(static_cast<qlonglong>(result)) + '\n');
        guard->flush();
        guard->waitForBytesWritten(kAnswerWriteMs);
      }
      if (guard && guard->bytesAvailable() > kLongestLine) guard->disconnectFromServer();
    });
  }
}

}  // namespace vornix
