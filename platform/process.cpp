#include "platform/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/file_descriptor.h"
#include "platform/path.h"
#include "platform/temporary_files.h"

namespace vornix {

namespace {

constexpr const char* kCopyPrefix = ".copy-";

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The current folder first, then PATH, as the Windows loader searches.
std::string LookUpProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  if (IsExecutableFile(name)) return "./" + name;
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/bin:/bin";
  while (true) {
    const size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    const std::string candidate = JoinPath(dir.empty() ? "." : dir, name);
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    dirs.remove_prefix(colon + 1);
  }
}

// What a child needs after fork, made before it: only async-signal-safe calls follow.
struct Exec {
  explicit Exec(const std::vector<std::string>& argv) {
    for (const auto& w : argv) words.push_back(const_cast<char*>(w.c_str()));
    words.push_back(nullptr);
  }
  std::vector<char*> words;
};

// In a forked child: into the work folder, then the program (the open file `programFd` when
// given). Reports errno on `report` and ends when either fails.
[[noreturn]] void ExecInChild(const std::string& program, const Exec& exec,
                              const std::string& workFolder, int report, int programFd = -1) {
  if (workFolder.empty() || chdir(workFolder.c_str()) == 0) {
    if (programFd < 0) {
      execv(program.c_str(), exec.words.data());
    } else if (fcntl(programFd, F_SETFD, 0) == 0) {  // a script's interpreter opens it again
      fexecve(programFd, exec.words.data(), environ);
    }
  }
  const int err = errno;
  if (report >= 0) (void)!write(report, &err, sizeof err);
  _exit(127);
}

int WaitForChild(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

std::string JoinCommandLine(const std::vector<std::string>& words) {
  std::string line;
  for (const auto& w : words) {
    if (!line.empty()) line += ' ';
    line += w.find(' ') != std::string::npos ? "\"" + w + "\"" : w;
  }
  return line;
}

bool StartProgram(const std::vector<std::string>& argv, const std::string& workFolder,
                  std::string* why, int programFd) {
  const auto fail = [&](const std::string& reason) {
    if (why) *why = reason;
    return false;
  };
  if (argv.empty() || argv[0].empty()) return fail("no program named");
  const std::string program = programFd >= 0 ? argv[0] : LookUpProgram(argv[0]);
  if (program.empty()) return fail("not found in the current folder or along PATH");
  struct stat st {};
  if (programFd >= 0 ? fstat(programFd, &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & 0111)
                     : !IsExecutableFile(program))
    return fail("not an executable file");
  const Exec exec(argv);

  // A pipe whose write end closes on a successful exec tells the starter whether the program
  // really started; the grandchild is reparented, so nobody waits for it.
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return fail(std::strerror(errno));
  FileDescriptor reportRead(ends[0]), reportWrite(ends[1]);
  const pid_t child = fork();
  if (child < 0) return fail(std::strerror(errno));
  if (child == 0) {
    reportRead.reset();
    setsid();
    const pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    ExecInChild(program, exec, workFolder, reportWrite.get(), programFd);
  }
  reportWrite.reset();
  const int status = WaitForChild(child);
  int err = 0;
  ssize_t n;
  while ((n = read(reportRead.get(), &err, sizeof err)) < 0 && errno == EINTR) {
  }
  if (n > 0) return fail(std::strerror(err));
  if (status != 0) return fail("it could not be started in a session of its own");
  return true;
}

int RunProgram(const std::vector<std::string>& argv, const std::string& workFolder, int outputFd,
               int inputFd) {
  if (argv.empty()) return -1;
  const std::string program = LookUpProgram(argv[0]);
  if (program.empty() || !IsExecutableFile(program)) return -1;
  if (inputFd >= 0 && lseek(inputFd, 0, SEEK_SET) != 0) return -1;
  const Exec exec(argv);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (outputFd >= 0 && dup2(outputFd, STDOUT_FILENO) < 0) _exit(127);
    if (inputFd >= 0 && dup2(inputFd, STDIN_FILENO) < 0) _exit(127);
    ExecInChild(program, exec, workFolder, -1);
  }
  return WaitForChild(child);
}

int RunShellCommand(const std::string& command, const std::string& workFolder) {
  return RunProgram({"/bin/sh", "-c", command}, workFolder);
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  const FileDescriptor in(open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  return in.valid() && CopyDescriptorReplacing(in.get(), to);
}

bool CopyDescriptorReplacing(int in, const std::string& to) {
  struct stat st {};
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode) || lseek(in, 0, SEEK_SET) != 0) return false;
  const size_t slash = to.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : to.substr(0, slash + 1);
  RemoveStaleTemporaries(folder, kCopyPrefix);
  std::string temp;
  const FileDescriptor out = CreateTemporaryBeside(folder, kCopyPrefix, temp);
  if (!out.valid()) return false;
  const bool ok = CopyAllBytes(in, out.get()) && fchmod(out.get(), st.st_mode & 07777) == 0 &&
                  fsync(out.get()) == 0 && rename(temp.c_str(), to.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

}  // namespace vornix
