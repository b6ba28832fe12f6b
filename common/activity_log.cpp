#include "common/activity_log.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "platform/module.h"
#include "platform/path.h"
#include "platform/regular_file.h"

namespace vornix {

void ActivityLog::OpenLog() {
  OpenLogIn(ModuleFolder());
}

void ActivityLog::OpenLogIn(const std::string& folderWithSlash) {
  std::lock_guard<std::mutex> hold(lock_);
  logPath_ = folderWithSlash + names_.log;
  tracePath_ = folderWithSlash + names_.trace;
  if (FileSize(logPath_) > kTrimAbove) unlink(logPath_.c_str());
  unlink(tracePath_.c_str());  // absent afterwards; a failure is ignored
}

void ActivityLog::UseFolder(const std::string& folderWithSlash) {
  std::lock_guard<std::mutex> hold(lock_);
  logPath_ = folderWithSlash + names_.log;
  tracePath_ = folderWithSlash + names_.trace;
}

void ActivityLog::WriteTraceLine(std::string_view text) {
  std::lock_guard<std::mutex> hold(lock_);
  if (tracePath_.empty()) return;
  if (FileSize(tracePath_) > kTraceTrimAbove) unlink(tracePath_.c_str());
  const FileDescriptor fd = OpenRegularFileForAppending(tracePath_);
  if (fd.valid()) WriteAll(fd.get(), std::string(text) + "\r\n");
}

std::function<void(const std::string&)> TraceWriter() {
  return [](const std::string& line) { ProcessLog().WriteTraceLine(line); };
}

bool ActivityLog::WriteLogLine(std::optional<std::string_view> text,
                               std::optional<std::string_view> detail, int code) {
  if (!text) return false;
  std::lock_guard<std::mutex> hold(lock_);
  if (*text == previousText_) return true;
  // Counted as written before the file is opened, so a lost line still suppresses its repeat.
  previousText_ = std::string(*text);
  const std::string line = FormatLogLine(LogTimeStamp(), *text, detail, code);
  // A log that is no regular file (a FIFO nobody reads) must not hold the program up.
  const FileDescriptor fd = OpenRegularFileForAppending(logPath_);
  if (fd.valid()) WriteAll(fd.get(), line);
  return true;
}

ActivityLog& ProcessLog() {
  static ActivityLog log;
  return log;
}

bool WriteLogLine(std::optional<std::string_view> text, std::optional<std::string_view> detail,
                  int code) {
  return ProcessLog().WriteLogLine(text, detail, code);
}

std::string LogTimeStamp() {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // The C locale's names, whatever locale the process runs in.
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s, %s %02d, %d %02d:%02d:%02d", kDays[local.tm_wday],
                kMonths[local.tm_mon], local.tm_mday, local.tm_year + 1900, local.tm_hour,
                local.tm_min, local.tm_sec);
  return buf;
}

std::string FormatLogLine(std::string_view stamp, std::string_view text,
                          std::optional<std::string_view> detail, int code) {
  std::string line;
  line.reserve(stamp.size() + text.size() + 40);
  line.append(stamp).append(" - ").append(text).append(" [");
  if (detail) line.append(*detail).append("] [");
  line.append(std::to_string(code)).append("]\r\n");
  return line;
}

void SayProblem(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  WriteLogLine(text);
}

}  // namespace vornix
