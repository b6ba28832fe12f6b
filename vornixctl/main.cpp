// vornixctl: an administrator's view of a machine's Vornix, where the service has no window
// (the machine-wide one): its state, a check now, the logs, the system root it uses.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "common/program_contract.h"
#include "platform/system_root.h"
#include "platform/window_link.h"
#include "vornixctl/machine_status.h"

namespace {

constexpr int kUsageExit = 2;
constexpr int kCheckAnswerMs = 10 * 1000;
constexpr size_t kLogLines = 20;

int Usage() {
  std::cerr
      << "usage: vornixctl status [--json]   packages, builds, what lies ready, the last check\n"
         "       vornixctl check             ask the running service to check now\n"
         "       vornixctl log [lines]       the last lines of both logs (20)\n"
         "       vornixctl root              the system root the programs use\n";
  return kUsageExit;
}

int Status(bool json) {
  const vornix::MachineStatus status = vornix::ReadMachineStatus();
  std::cout << (json ? vornix::StatusJson(status) : vornix::FormatStatus(status));
  return status.problems.empty() ? 0 : 1;
}

int Check() {
  const auto answer = vornix::SendWindowCommand(vornix::kServiceWindowTitle,
                                                vornix::kCommandUpdateNow, kCheckAnswerMs);
  if (!answer) {
    std::cerr << "vornixctl: no service answers at "
              << vornix::WindowSocketPath(vornix::kServiceWindowTitle)
              << " (it does not run, or this user may not reach it)\n";
    return 1;
  }
  std::cout << "The service checks now; `vornixctl status` shows how it ended.\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const std::string option = argc > 2 ? argv[2] : "";
  if (argc > 3) return Usage();
  if (command == "status" && (option.empty() || option == "--json")) return Status(!option.empty());
  if (command == "check" && argc == 2) return Check();
  if (command == "root" && argc == 2) {
    std::cout << vornix::SystemRoot() << "\n";
    return 0;
  }
  if (command == "log") {
    const long lines = option.empty() ? static_cast<long>(kLogLines) : std::atol(option.c_str());
    if (lines <= 0) return Usage();
    std::cout << vornix::LastLogLines(vornix::ReadMachineStatus(), static_cast<size_t>(lines));
    return 0;
  }
  return Usage();
}
