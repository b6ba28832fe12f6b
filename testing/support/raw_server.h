#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_descriptor.h"

namespace vornix::testing {

// A one-connection HTTP server on 127.0.0.1 written with plain sockets, for replies that a
// well-behaved server library would not send: chunks split at chosen places, NUL bytes,
// silence. It records the raw request bytes it received.
class RawServer {
 public:
  struct Script {
    std::vector<std::string> chunks;  // written one by one with a pause in between
    bool holdOpen = false;            // after the chunks, keep the connection open silently
    std::chrono::milliseconds pause{60};
  };

  explicit RawServer(Script script);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  // The bytes of the request: head and as much body as its Content-Length announced.
  std::string request() const;
  int connections() const { return connections_; }

 private:
  void Serve();

  Script script_;
  FileDescriptor listenFd_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex lock_;
  std::string request_;
  std::thread thread_;
};

}  // namespace vornix::testing
