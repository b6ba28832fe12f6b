#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vornix {

// package.txt, what the publisher says about one package of a repository in the reference
// server's layout (<repository>/<Name>/package.txt). One "Key=Value" a line, split at the
// first '='; key and value are kept as they are (no blanks trimmed, letter case kept). Lines
// end in LF, and one CR before it (or at the end of the last line) is dropped. Blank lines,
// lines starting with '#' and lines without '=' are skipped. A key given twice takes its last
// value.
struct PackageInfo {
  std::vector<std::string> lines;  // every line as it is, without its LF, for a rewrite
  std::map<std::string, std::string> values;
};

PackageInfo ParsePackageInfo(std::string_view text);

}  // namespace vornix
