#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vornix {

// The file names of one program's log and traffic trace.
struct LogFileNames {
  const char* log;
  const char* trace;
};
inline constexpr LogFileNames kServiceLogNames{"Vornix.log", "Vornix_raw_tcpip_output.txt"};
inline constexpr LogFileNames kUpdaterLogNames{"VornixUpdate.log",
                                               "VornixUpdate_raw_tcpip_output.txt"};

// The program's activity log: one time-stamped line per event, appended with CR LF in the
// program folder. The file is opened and closed for every line, so it can be read while the
// program runs and nothing is lost when a program ends abruptly.
class ActivityLog {
 public:
  // A log above this size is started anew when the program starts.
  static constexpr long long kTrimAbove = 65536;

  explicit ActivityLog(LogFileNames names = kServiceLogNames) : names_(names) {}

  void SetFileNames(LogFileNames names) { names_ = names; }

  // Sets the paths in the program's folder, starts a log above 64 KiB anew and removes the
  // trace file.
  void OpenLog();
  // The same in a given folder (ending in '/'); the program's own folder is ModuleFolder().
  void OpenLogIn(const std::string& folderWithSlash);
  // Only the paths, leaving both files as they are: for a start that ends at once because
  // another instance, whose files these are, runs.
  void UseFolder(const std::string& folderWithSlash);

  // False only when no text is given. A text equal to the previous one is not written again.
  bool WriteLogLine(std::optional<std::string_view> text,
                    std::optional<std::string_view> detail = std::nullopt, int code = 0);

  // Appends one line (CR LF) to the traffic trace; a trace above 1 MiB starts anew.
  void WriteTraceLine(std::string_view text);
  static constexpr long long kTraceTrimAbove = 1 << 20;

  void SetVersionText(std::string text) { versionText_ = std::move(text); }
  const std::string& VersionText() const { return versionText_; }
  const std::string& LogPath() const { return logPath_; }
  const std::string& TracePath() const { return tracePath_; }

 private:
  LogFileNames names_;
  std::string versionText_;
  std::string logPath_;
  std::string tracePath_;
  std::string previousText_;
  std::mutex lock_;
};

// The process's one log; each program sets its file names before OpenLog.
ActivityLog& ProcessLog();

// Writes each line it is given to the process log's traffic trace (for TransferOptions::trace).
std::function<void(const std::string&)> TraceWriter();

// A problem someone must learn of: said on standard error (the journal, under systemd) and
// written as a line of the process log.
void SayProblem(const std::string& text);

// Shorthand for ProcessLog().WriteLogLine.
bool WriteLogLine(std::optional<std::string_view> text,
                  std::optional<std::string_view> detail = std::nullopt, int code = 0);

// The local time as "%a, %b %d, %Y %H:%M:%S" in the C locale.
std::string LogTimeStamp();

// One log line without its time stamp handling: stamp " - " text " [" [detail "] ["] code "]".
std::string FormatLogLine(std::string_view stamp, std::string_view text,
                          std::optional<std::string_view> detail, int code);

}  // namespace vornix
