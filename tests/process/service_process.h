#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace vornix::testing {

class BackgroundProcess;

// A copy of the built service in a program folder of its own, started in the background with
// its own system root; the service's log and program files stay in that folder.
class ServiceProcess {
 public:
  ServiceProcess(std::string programFolder, std::string systemRoot,
                 std::map<std::string, std::string> env = {});
  ~ServiceProcess();  // kills a service that is still running

  // Copies the built Vornix into the program folder (once per folder).
  static bool InstallProgram(const std::string& programFolder);

  bool Start();
  pid_t pid() const;
  // The exit code once the process has ended within `limit`.
  std::optional<int> WaitExit(std::chrono::milliseconds limit);
  void Kill();
  std::string Output() const;  // standard output and standard error so far

 private:
  std::string programFolder_, systemRoot_, outputFile_;
  std::map<std::string, std::string> env_;
  std::unique_ptr<BackgroundProcess> process_;
};

// Resident memory of a process in kB (VmRSS), or -1.
long ResidentKilobytes(pid_t pid);

}  // namespace vornix::testing
