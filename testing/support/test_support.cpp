#include "testing/support/test_support.h"

#include "common/package_info.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vornix::testing {

TempDir::TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vornix-test-XXXXXX";
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only folders behind; make them removable first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) chmod(it->path().c_str(), 0755);
  }
  std::filesystem::remove_all(path_, ec);
}

namespace {
// Every test program starts with a system root of its own, so that a test that forgets to make
// one still never reads or writes the machine's (/var/lib/vornix) or the user's.
const ScopedSystemRoot g_programSystemRoot;
}  // namespace

ScopedSystemRoot::ScopedSystemRoot() {
  if (const char* old = std::getenv("VORNIX_SYSTEM_ROOT")) previous_ = old;
  setenv("VORNIX_SYSTEM_ROOT", dir_.path().c_str(), 1);
  std::filesystem::create_directories(Windows());
}

ScopedSystemRoot::~ScopedSystemRoot() {
  if (previous_)
    setenv("VORNIX_SYSTEM_ROOT", previous_->c_str(), 1);
  else
    unsetenv("VORNIX_SYSTEM_ROOT");
}

std::string PackageText(const RecordText& r) {
  return " <Package>\r\n  <Name>" + r.name + "</Name>\r\n  <Desc>" + r.desc +
         "</Desc>\r\n  <Build>" + r.build + "</Build>\r\n  <Update>" + r.update +
         "</Update>\r\n  <Path>" + r.path + "</Path>\r\n  <Key>" + r.key +
         "</Key>\r\n </Package>\r\n";
}

std::string CatalogueText(const std::string& packages) {
  return "<WinApps>\r\n" + packages + "</WinApps>\r\n";
}

std::string ShellQuote(std::string_view word) {
  std::string out = "'";
  for (const char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> UnstampedLines(const std::string& logText) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < logText.size();) {
    const size_t end = std::min(logText.find("\r\n", at), logText.size());
    const std::string line = logText.substr(at, end - at);
    lines.push_back(line.substr(line.find(" - ") + 3));
    at = end + 2;
  }
  return lines;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  const auto folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void MakeOld(const std::string& path) {
  const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void HandToUnprivileged(const std::string& path, const std::string& top) {
  if (geteuid() != 0) return;
  std::error_code ec;
  chown(path.c_str(), kUnprivilegedId, kUnprivilegedId);
  for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    lchown(it->path().c_str(), kUnprivilegedId, kUnprivilegedId);
  for (auto p = std::filesystem::path(path).parent_path(); !p.empty(); p = p.parent_path()) {
    struct stat st {};
    if (stat(p.c_str(), &st) == 0) chmod(p.c_str(), (st.st_mode & 07777) | 0111);
    if (p == top || p == p.root_path()) break;
  }
}

int RunInChild(const std::function<bool()>& body, const ChildOptions& options) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (options.unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedId) != 0 ||
         setuid(kUnprivilegedId) != 0))
      _exit(2);
    _exit(body() ? 0 : 1);
  }
  if (pid < 0) return -1;
  int status = 0;
  const bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, options.limit);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) < 2 ? WEXITSTATUS(status) : -1;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

bool MakeArchive(const std::string& archivePath,
                 const std::vector<std::pair<std::string, std::string>>& files) {
  TempDir source;
  std::string list;
  for (const auto& [file, text] : files) {
    WriteFileBytes(source / file, text);
    chmod((source / file).c_str(), 0755);
    list += " '" + file + "'";
  }
  const bool compressed = archivePath.size() > 4 &&
                          strcasecmp(archivePath.c_str() + archivePath.size() - 4, ".bz2") == 0;
  const std::string tarPath =
      compressed ? archivePath.substr(0, archivePath.size() - 4) : archivePath;
  const std::string tar = "tar -cf '" + tarPath + "' -C '" + source.path() + "'" + list;
  if (std::system(tar.c_str()) != 0) return false;
  if (!compressed) return true;
  // bzip2 names its output "<tar>.bz2"; the archive may want another spelling of the ending.
  if (std::system(("bzip2 -f '" + tarPath + "'").c_str()) != 0) return false;
  std::error_code ec;
  if (tarPath + ".bz2" != archivePath) std::filesystem::rename(tarPath + ".bz2", archivePath, ec);
  return !ec;
}

std::string BuiltProgramFolder() {
  return VORNIX_TEST_PROGRAM_DIR;
}

std::string TestToolFolder() {
  return VORNIX_TEST_TOOL_DIR;
}

std::string ArtefactFolder() {
  return VORNIX_TEST_ARTEFACT_DIR;
}

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string PublisherKeygen(const std::string& keyFile) {
  const ProcessResult r = RunProcess({BuiltProgramFolder() + "/vornix-publish", "keygen", keyFile});
  return r.exitCode == 0 ? r.output.substr(0, r.output.find('\n')) : "";
}

bool PublisherSign(const std::string& keyFile, const std::string& repository) {
  return RunProcess({BuiltProgramFolder() + "/vornix-publish", "sign", keyFile, repository})
             .exitCode == 0;
}

std::string PackageInfoValue(const std::string& packageTxt, const std::string& key) {
  const PackageInfo info = ParsePackageInfo(ReadFileBytes(packageTxt));
  const auto found = info.values.find(key);
  return found == info.values.end() ? "" : found->second;
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env, const std::string& workdir,
                         std::chrono::milliseconds limit) {
  ProcessResult result;
  TempDir output;
  BackgroundProcess process(argv, env, workdir, output / "output");
  if (!process.Start()) return result;
  result.finished = process.WaitExit(limit).has_value();
  process.Kill();  // at the time limit
  result.exitCode = process.WaitExit(std::chrono::milliseconds(0)).value_or(-1);
  result.output = ReadFileBytes(output / "output");
  return result;
}

BackgroundProcess::BackgroundProcess(std::vector<std::string> argv,
                                     std::map<std::string, std::string> env, std::string workdir,
                                     std::string outputFile)
    : argv_(std::move(argv)),
      env_(std::move(env)),
      workdir_(std::move(workdir)),
      outputFile_(std::move(outputFile)) {}

BackgroundProcess::~BackgroundProcess() {
  Kill();
}

bool BackgroundProcess::Start() {
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    setpgid(0, 0);
    const int out = open(outputFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    // An empty value takes the variable away.
    for (const auto& [k, v] : env_)
      v.empty() ? unsetenv(k.c_str()) : setenv(k.c_str(), v.c_str(), 1);
    if (!workdir_.empty() && chdir(workdir_.c_str()) != 0) _exit(126);
    std::vector<char*> args;
    for (const auto& a : argv_) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return true;
}

std::optional<int> BackgroundProcess::WaitExit(std::chrono::milliseconds limit) {
  if (exitCode_ || pid_ <= 0) return exitCode_;
  int status = 0;
  if (!WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit)) return std::nullopt;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return exitCode_;
}

void BackgroundProcess::Kill() {
  if (pid_ <= 0 || exitCode_) return;
  kill(-pid_, SIGKILL);
  WaitExit(std::chrono::seconds(10));
}

std::vector<int> ProcessesRunningFrom(const std::string& prefix) {
  std::vector<int> pids;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    char target[4096];
    const ssize_t n = readlink((entry.path() / "exe").c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    if (std::string(target, static_cast<size_t>(n)).rfind(prefix, 0) == 0)
      pids.push_back(std::stoi(name));
  }
  return pids;
}

void KillProcessesRunningFrom(const std::string& folder) {
  for (int pid : ProcessesRunningFrom(folder + "/")) kill(pid, SIGKILL);
  // Gone only when their sockets are closed, so that the next test finds its ports free.
  WaitFor([&] { return ProcessesRunningFrom(folder + "/").empty(); }, std::chrono::seconds(10));
}

}  // namespace vornix::testing
