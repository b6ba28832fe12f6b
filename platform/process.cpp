#include "platform/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/path.h"

namespace vornix {

namespace {

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

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (const char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string QuoteProgramWord(std::string_view word) {
  return "\"" + std::string(word) + "\"";
}

std::string JoinCommandLine(const std::vector<std::string>& words) {
  std::string line;
  for (const auto& w : words) {
    if (!line.empty()) line += ' ';
    line += w.find(' ') != std::string::npos ? QuoteProgramWord(w) : w;
  }
  return line;
}

std::string ShellQuote(std::string_view word) {
  std::string out = "'";
  for (const char c : word) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  out += '\'';
  return out;
}

bool StartProgram(std::string_view commandLine) {
  const std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty()) return false;
  const std::string program = LookUpProgram(words[0]);
  if (program.empty() || !IsExecutableFile(program)) return false;

  // A pipe whose write end closes on a successful exec tells the starter whether the program
  // really started; the grandchild is reparented, so nobody waits for it.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (child == 0) {
    close(report[0]);
    setsid();
    const pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    std::vector<char*> argv;
    for (const auto& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    const int err = errno;
    (void)!write(report[1], &err, sizeof err);
    _exit(127);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  while ((n = read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

int RunShellCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

std::string CurrentFolder() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool ChangeFolder(const std::string& folder) {
  return chdir(folder.c_str()) == 0;
}

}  // namespace vornix
