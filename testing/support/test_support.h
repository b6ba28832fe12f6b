#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornix::testing {

// A fresh folder below $TMPDIR, removed with everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Points VORNIX_SYSTEM_ROOT at a fresh folder with windows/ in it for the object's life.
class ScopedSystemRoot {
 public:
  ScopedSystemRoot();
  ~ScopedSystemRoot();
  const std::string& path() const { return dir_.path(); }
  std::string Windows() const { return dir_.path() + "/windows"; }
  std::string Catalogue() const { return Windows() + "/WinApps.XML"; }

 private:
  TempDir dir_;
  std::optional<std::string> previous_;
};

// One catalogue record written out by hand, byte for byte as the programs print it, and a
// catalogue of such records: what catalogue tests compare with, never the printer's own output.
struct RecordText {
  std::string name, desc = "D", build = "", update = "", path = "/p", key = "k";
};
std::string PackageText(const RecordText& record);
std::string CatalogueText(const std::string& packages);

// A word quoted for /bin/sh: single quotes, ' as '\''.
std::string ShellQuote(std::string_view word);

std::string ReadFileBytes(const std::string& path);
// The lines of an activity log's text (each ends in CR LF) without their time stamps.
std::vector<std::string> UnstampedLines(const std::string& logText);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);

// Makes a tar archive at `archivePath` with the real tar from {file name, contents} pairs, and
// compresses it with the real bzip2 when the name ends in ".bz2" (in any letter case). The
// archive's folder must exist. False when tar or bzip2 failed.
bool MakeArchive(const std::string& archivePath,
                 const std::vector<std::pair<std::string, std::string>>& files);

// The folder of the built programs (the program folder of the build), the folder of the
// test tools beside them (stand-ins, the reference server's program), and the folder where
// tests leave what a person may want to look at afterwards (screenshots).
std::string BuiltProgramFolder();
std::string TestToolFolder();
std::string ArtefactFolder();

struct ProcessResult {
  bool finished = false;  // false: killed at the time limit
  int exitCode = -1;      // the exit code, or 128 + signal
  std::string output;     // standard output and standard error together
};

// Runs a program with extra environment variables (an empty value unsets one) in `workdir`,
// killing it after `limit`.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env = {},
                         const std::string& workdir = {},
                         std::chrono::milliseconds limit = std::chrono::seconds(30));

void SleepMs(int ms);

// Gives a file's modification time an hour in the past.
void MakeOld(const std::string& path);

// The unprivileged user tests run as where they need one ("nobody").
inline constexpr unsigned kUnprivilegedId = 65534;

// Hands `path` and everything below it to the unprivileged user (when the test runs as root),
// and lets everyone pass through the folders above it up to `top`, so that the user reaches it.
void HandToUnprivileged(const std::string& path, const std::string& top);

// Runs `body` in a forked child: 0 when it returned true, 1 when false, -1 when it crashed or
// had to be killed after `limit`. With `unprivileged`, a child of a root test first becomes
// the unprivileged user; any other test's child stays who it is.
struct ChildOptions {
  bool unprivileged = false;
  std::chrono::milliseconds limit = std::chrono::seconds(10);
};
int RunInChild(const std::function<bool()>& body, const ChildOptions& options = {});

// The build's vornix-publish: a new key pair in `keyFile`, giving the public key (empty when
// that failed); the signatures of a repository; one value of a package.txt.
std::string PublisherKeygen(const std::string& keyFile);
bool PublisherSign(const std::string& keyFile, const std::string& repository);
std::string PackageInfoValue(const std::string& packageTxt, const std::string& key);

// A program running in the background in a process group of its own, its output going to a
// file. Killed with its group when the object goes away.
class BackgroundProcess {
 public:
  BackgroundProcess(std::vector<std::string> argv, std::map<std::string, std::string> env,
                    std::string workdir, std::string outputFile);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool Start();
  int pid() const { return pid_; }
  // The exit code (128 + signal when killed) once the process ended within `limit`.
  std::optional<int> WaitExit(std::chrono::milliseconds limit);
  void Kill();

 private:
  std::vector<std::string> argv_;
  std::map<std::string, std::string> env_;
  std::string workdir_, outputFile_;
  int pid_ = -1;
  std::optional<int> exitCode_;
};

// The processes whose program file's path starts with `prefix` ("<folder>/" for a folder).
std::vector<int> ProcessesRunningFrom(const std::string& prefix);
// Kills them (programs started in sessions of their own outlive their starter) and waits, at
// most 10 s, until they are gone.
void KillProcessesRunningFrom(const std::string& folder);

// Waits for `condition` to hold, polling every 20 ms, at most `limit`.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    SleepMs(20);
  }
  return true;
}

}  // namespace vornix::testing
