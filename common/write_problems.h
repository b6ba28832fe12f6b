#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vornix {

// A place a program must write but cannot.
struct WriteProblem {
  std::string what;  // "its program folder", "its log", "the catalogue", "the settings"
  std::string path;
  int error = 0;  // the errno that says why

  // "<program> cannot write <what> <path>": short enough for a notice or a status line.
  std::string Text(std::string_view program) const;
};

// The places a program writes that it cannot write now: its program folder (downloads, the
// utility's copy) and its log there, the catalogue and, with `withSettings` (the service saves
// them), the settings key. Nothing is written to find out.
std::vector<WriteProblem> FindWriteProblems(const std::string& programFolder,
                                            std::string_view logName, bool withSettings);

// Says each problem on standard error (the journal, under systemd) and in the activity log,
// "<program> cannot write <what> <path>: <reason>". Returns the first problem's Text for the
// window, or "" when there is none.
std::string ReportWriteProblems(std::string_view program,
                                const std::vector<WriteProblem>& problems);

}  // namespace vornix
