// The reference update server as a program: serves a repository folder on 127.0.0.1 until it
// receives SIGINT or SIGTERM. See README.md.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "testing/reference_server/reference_server.h"

namespace {

constexpr const char* kUsage =
    "usage: vornix-reference-server --repository DIR [--port N] [--time HHMMSS]\n"
    "                               [--request-log FILE]\n"
    "  --port 0 (the default) takes any free port; the port is printed on standard output.\n";

}  // namespace

int main(int argc, char** argv) {
  vornix::testing::ReferenceServerOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--repository" && hasValue) {
      options.repository = argv[++i];
    } else if (arg == "--port" && hasValue) {
      options.port = std::atoi(argv[++i]);
    } else if (arg == "--time" && hasValue) {
      options.time = argv[++i];
    } else if (arg == "--request-log" && hasValue) {
      options.requestLog = argv[++i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (options.repository.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  // Signals are taken by one thread that stops the server; the others never see them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  vornix::testing::ReferenceServer server(options);
  if (!server.Start()) {
    std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", options.port);
    return 1;
  }
  std::printf("listening on %s\n", server.address().c_str());
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.Stop();
  return 0;
}
