#include "tests/process/service_process.h"

#include <filesystem>
#include <fstream>
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
  std::map<std::string, std::string> env{{"VORNIX_SYSTEM_ROOT", systemRoot_},
                                         {"QT_QPA_PLATFORM", "offscreen"}};
  for (const auto& [k, v] : env_) env.insert_or_assign(k, v);
  process_ =
      std::make_unique<BackgroundProcess>(std::vector<std::string>{programFolder_ + "/Vornix"},
                                          std::move(env), programFolder_, outputFile_);
  return process_->Start();
}

pid_t ServiceProcess::pid() const {
  return process_ ? process_->pid() : -1;
}

std::optional<int> ServiceProcess::WaitExit(std::chrono::milliseconds limit) {
  if (!process_) return std::nullopt;
  return process_->WaitExit(limit);
}

void ServiceProcess::Kill() {
  if (process_) process_->Kill();
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
