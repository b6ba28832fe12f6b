#pragma once

#include <string>

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

}  // namespace vornix
