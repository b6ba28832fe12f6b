#pragma once

#include <string>
#include <vector>

namespace vornix {

// What a reset came to, and the program's exit code for it.
enum class ResetOutcome { kReset = 0, kNoSuchPackage = 1, kNotWritten = 2 };
struct ResetResult {
  ResetOutcome outcome;
  std::string message;  // for standard error; empty after a reset
};

// Empties the Build of the first package whose Name equals `programId`, ignoring case, changing
// nothing else in the catalogue. A catalogue that cannot be read or holds no such package is
// left alone.
ResetResult ResetPackage(const std::string& programId);

// The program id: the whole command-line tail after the program's own name, as the started
// program's command line holds it (not split, unquoted or trimmed).
std::string CommandLineTail(const std::vector<std::string>& argv);

}  // namespace vornix
