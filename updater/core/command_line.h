#pragma once

#include <string>
#include <vector>

namespace vornix {

// What the utility's command line asks for. The option words may stand anywhere; the last word
// left over is the package selector ("ALL" or a program id).
struct RunOptions {
  std::string m_selector;
  bool hasSelector = false;
  bool m_quiet = false;
  bool m_restart = false;
  bool m_appStart = false;
};

// Cuts every occurrence of the option words out of the whole command line (case included, even
// inside longer words) and takes the text after the last blank as the selector.
RunOptions ParseCommandLine(std::string commandLine);

// The same for the program's own words, argv[0] being its path: the command line is read as if
// the program's name stood first, so that its folder's path (a blank in it, or an option word)
// never becomes a selector or an option.
RunOptions ParseArguments(const std::vector<std::string>& argv);

}  // namespace vornix
