// vornix-send-command <window title> <command id> [timeout ms]
// Sends one window command the way the programs do, for the demo and for people: for example
// "Vornix Update Service" 1015 asks the running service to check now. Prints the window's
// answer; exits 1 when there is no such window or no answer came in time.
#include <cstdio>
#include <cstdlib>

#include "platform/window_link.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <window title> <command id> [timeout ms]\n", argv[0]);
    return 2;
  }
  const int timeoutMs = argc > 3 ? std::atoi(argv[3]) : 30000;
  const auto answer = vornix::SendWindowCommand(argv[1], std::atoi(argv[2]), timeoutMs);
  if (!answer) {
    std::fprintf(stderr, "no window \"%s\" answered\n", argv[1]);
    return 1;
  }
  std::printf("%ld\n", *answer);
  return 0;
}
