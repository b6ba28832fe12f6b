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

// Empties the Build of the package named `programId` as the catalogue has it, or else of the one
// package whose Name equals it ignoring case, changing nothing else in the catalogue. An id
// that names several packages ignoring case and none exactly is kNoSuchPackage. No such package is
// kNoSuchPackage; a catalogue that cannot be written, or read to its end, a package past the 128
// the programs work on, and a Build whose text markup hides are kNotWritten, and the file is left
// as it was.
ResetResult ResetPackage(const std::string& programId);

// The program id: the words after the program's own name, joined by single blanks (not trimmed).
std::string CommandLineTail(const std::vector<std::string>& argv);

}  // namespace vornix
