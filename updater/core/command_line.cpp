#include "updater/core/command_line.h"

#include <string_view>

#include "platform/process.h"
#include "platform/text.h"

namespace vornix {

namespace {

constexpr std::string_view kRestartWord = "restart";
constexpr std::string_view kAppStartWord = "appstart";
constexpr std::string_view kQuietWord = "quiet";

// Removes every occurrence of `word`; true when there was one.
bool CutWord(std::string& text, std::string_view word) {
  bool found = false;
  for (size_t pos; (pos = text.find(word)) != std::string::npos;) {
    text.erase(pos, word.size());
    found = true;
  }
  return found;
}

}  // namespace

RunOptions ParseCommandLine(std::string commandLine) {
  RunOptions options;
  options.m_restart = CutWord(commandLine, kRestartWord);
  options.m_appStart = CutWord(commandLine, kAppStartWord);
  commandLine = std::string(TrimBlanks(commandLine));
  options.m_quiet = CutWord(commandLine, kQuietWord);
  commandLine = std::string(TrimBlanks(commandLine));
  const size_t space = commandLine.rfind(' ');
  if (space == std::string::npos) return options;
  options.hasSelector = true;
  options.m_selector = std::string(TrimBlanks(commandLine.substr(space)));
  return options;
}

RunOptions ParseArguments(const std::vector<std::string>& argv) {
  const std::vector<std::string> words(argv.empty() ? argv.end() : argv.begin() + 1, argv.end());
  return ParseCommandLine("VornixUpdate " + JoinCommandLine(words));
}

}  // namespace vornix
