#pragma once

#include <string>
#include <vector>

namespace vornix {

// Empties the Build of the first package whose Name equals `programId`, ignoring case, and
// rewrites the catalogue. Nothing happens when the catalogue cannot be read or holds no such
// package. True when the catalogue was rewritten.
bool ResetPackage(const std::string& programId);

// The program id: the whole command-line tail after the program's own name, as the started
// program's command line holds it (not split, unquoted or trimmed).
std::string CommandLineTail(const std::vector<std::string>& argv);

}  // namespace vornix
