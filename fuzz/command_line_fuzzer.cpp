// The utility's command-line parsing on any text: no crash, a selector without blanks at its
// ends, and "restart" only when the text holds it.
#include <cstdlib>
#include <string>

#include "updater/core/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const vornix::RunOptions options = vornix::ParseCommandLine(line);
  if (!options.hasSelector) return 0;
  const std::string& s = options.m_selector;
  if (!s.empty() && (s.front() == ' ' || s.back() == ' ')) std::abort();
  if (options.m_restart && line.find("restart") == std::string::npos) std::abort();
  // "quiet" may appear only once "restart" is cut out ("qrestartuiet"), so it has no such test.
  return 0;
}
