#pragma once

#include <httplib.h>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vornix::testing {

// A cpp-httplib server (plain, or httplib::SSLServer with the arguments given) on a free port of
// 127.0.0.1, running in its own thread for the life of the object. The socket listens from
// construction on, so requests never race the thread.
template <typename Server = httplib::Server>
class BasicHttpTestServer {
 public:
  template <typename... Args>
  explicit BasicHttpTestServer(Args&&... args) : server_(std::forward<Args>(args)...) {
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind 127.0.0.1");
    // Requests without a handler are recorded on their way to the 404 reply.
    server_.set_error_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (!res.has_header(kRecorded)) Record(req);
    });
  }
  ~BasicHttpTestServer() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }
  // Call after the handlers are in place.
  void Start() {
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() only reaches a server that runs: wait for it, briefly.
    for (int i = 0; i < 500 && !server_.is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  // Handlers record each request before they answer, so a test that has its reply sees it.
  void Post(const std::string& pattern, httplib::Server::Handler handler) {
    server_.Post(pattern, Recording(std::move(handler)));
  }
  void Get(const std::string& pattern, httplib::Server::Handler handler) {
    server_.Get(pattern, Recording(std::move(handler)));
  }
  // The server itself; requests of handlers set here directly are not recorded.
  Server& server() { return server_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  int port() const { return port_; }
  // "METHOD path body" of every request handled, in order.
  std::vector<std::string> requests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
  }

 private:
  static constexpr const char* kRecorded = "X-Test-Recorded";
  void Record(const httplib::Request& req) {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(req.method + " " + req.path + " " + req.body);
  }
  httplib::Server::Handler Recording(httplib::Server::Handler handler) {
    return [this, handler](const httplib::Request& req, httplib::Response& res) {
      Record(req);
      res.set_header(kRecorded, "1");
      handler(req, res);
    };
  }

  Server server_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex lock_;
  std::vector<std::string> requests_;
};
using HttpTestServer = BasicHttpTestServer<>;

}  // namespace vornix::testing
