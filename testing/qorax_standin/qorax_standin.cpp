// Stands in for the qorax program: listens on 127.0.0.1:8080 and ends when it receives the
// shutdown document by HTTP POST. Every start and every request is recorded beside the
// program file. Ends by itself after a while, so a test that failed never leaves it running.
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "common/program_contract.h"
#include "testing/qorax_standin/standin_record.h"

namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr int kPort = 8080;
constexpr auto kLifetime = std::chrono::minutes(5);
// A restarted qorax may find its predecessor still closing the port.
constexpr auto kBindPatience = std::chrono::seconds(10);

}  // namespace

int main(int argc, char** argv) {
  vornix::standin::DetachOutput();
  const int port = argc > 1 ? std::atoi(argv[1]) : kPort;
  httplib::Server server;
  // The port is ours alone: no SO_REUSEPORT, which would let a second listener share it and
  // take some of the requests.
  server.set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server.Post(R"(/.*)", [&](const httplib::Request& req, httplib::Response& res) {
    vornix::standin::Record("POST " + req.path + " " + req.body);
    res.set_content("OK", "text/plain");
    if (req.body == vornix::kShutdownDocument) {
      vornix::standin::Record("shutdown");
      server.stop();
    }
  });

  const auto bindDeadline = std::chrono::steady_clock::now() + kBindPatience;
  while (!server.bind_to_port(kHost, port)) {
    if (std::chrono::steady_clock::now() >= bindDeadline) {
      vornix::standin::Record("cannot listen");
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  vornix::standin::Record("started " + std::to_string(getpid()));

  std::atomic<bool> listening{true};
  std::thread watchdog([&] {
    const auto end = std::chrono::steady_clock::now() + kLifetime;
    while (listening) {
      if (std::chrono::steady_clock::now() >= end) server.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  server.listen_after_bind();
  listening = false;
  watchdog.join();
  vornix::standin::Record("ended");
  return 0;
}
