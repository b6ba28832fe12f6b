#include "testing/support/raw_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace vornix::testing {
namespace {

constexpr int kPollStepMs = 20;
// No test needs a connection for longer than this.
constexpr auto kConnectionLimit = std::chrono::seconds(100);

size_t AnnouncedLength(const std::string& head) {
  const std::string key = "\r\nContent-Length: ";
  const size_t at = head.find(key);
  if (at == std::string::npos) return 0;
  return std::strtoul(head.c_str() + at + key.size(), nullptr, 10);
}

}  // namespace

RawServer::RawServer(Script script) : script_(std::move(script)) {
  listenFd_.reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  const int listener = listenFd_.get();
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener, 4) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    throw std::runtime_error("raw server: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
  stop_ = true;
  thread_.join();
}

std::string RawServer::request() const {
  std::lock_guard<std::mutex> guard(lock_);
  return request_;
}

void RawServer::Serve() {
  pollfd pl{listenFd_.get(), POLLIN, 0};
  while (!stop_ && poll(&pl, 1, kPollStepMs) <= 0) {
  }
  if (stop_) return;
  const FileDescriptor client(accept4(listenFd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  const int fd = client.get();
  if (fd < 0) return;
  ++connections_;
  const auto deadline = std::chrono::steady_clock::now() + kConnectionLimit;

  // Read the head and the announced body.
  std::string received;
  for (;;) {
    const size_t headEnd = received.find("\r\n\r\n");
    if (headEnd != std::string::npos &&
        received.size() >= headEnd + 4 + AnnouncedLength(received.substr(0, headEnd + 2))) {
      break;
    }
    pollfd pr{fd, POLLIN, 0};
    if (stop_ || std::chrono::steady_clock::now() > deadline) break;
    if (poll(&pr, 1, kPollStepMs) <= 0) continue;
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    received.append(buf, static_cast<size_t>(n));
    std::lock_guard<std::mutex> guard(lock_);
    request_ = received;
  }

  for (const std::string& chunk : script_.chunks) {
    if (send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) break;
    std::this_thread::sleep_for(script_.pause);
  }
  // Silent: wait until the client gives up (it closes) or the test ends.
  while (script_.holdOpen && !stop_ && std::chrono::steady_clock::now() < deadline) {
    pollfd pr{fd, POLLIN, 0};
    if (poll(&pr, 1, kPollStepMs) > 0) {
      char buf[256];
      if (read(fd, buf, sizeof buf) <= 0) break;
    }
  }
}

}  // namespace vornix::testing
