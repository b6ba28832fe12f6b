#include "tests/service_process/service_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "testing/support/test_support.h"

namespace vornix::testing {

ServiceProcess::ServiceProcess(std::string programFolder, std::string systemRoot,
                               std::map<std::string, std::string> env)
    : programFolder_(std::move(programFolder)),
      systemRoot_(std::move(systemRoot)),
      env_(std::move(env)) {
  static int counter = 0;
  outputFile_ = systemRoot_ + "/service-output-" + std::to_string(++counter) + ".txt";
}

ServiceProcess::~ServiceProcess() {
  Kill();
}

bool ServiceProcess::InstallProgram(const std::string& programFolder) {
  std::error_code ec;
  std::filesystem::create_directories(programFolder, ec);
  std::filesystem::copy_file(BuiltProgramFolder() + "/Vornix", programFolder + "/Vornix",
                             std::filesystem::copy_options::overwrite_existing, ec);
  return !ec;
}

bool ServiceProcess::Start() {
  const int out = open(outputFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (out < 0) return false;
  const std::string program = programFolder_ + "/Vornix";
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out, 1);
    dup2(out, 2);
    if (chdir(programFolder_.c_str()) != 0) _exit(126);
    setenv("VORNIX_SYSTEM_ROOT", systemRoot_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (const auto& [k, v] : env_) setenv(k.c_str(), v.c_str(), 1);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out);
  return pid_ > 0;
}

std::optional<int> ServiceProcess::WaitExit(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void ServiceProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string ServiceProcess::Output() const {
  return ReadFileBytes(outputFile_);
}

long ResidentKilobytes(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace vornix::testing
