#include "common/last_check.h"

#include "platform/atomic_file.h"
#include "platform/path.h"
#include "platform/regular_file.h"

namespace vornix {

namespace {
constexpr size_t kReadLimit = 64 * 1024;

// A value on one line: line ends become blanks.
std::string OneLine(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';
  return value;
}
}  // namespace

bool WriteLastCheck(const std::string& programFolder, const LastCheck& check) {
  return ReplaceFileAtomically(JoinPath(programFolder, kLastCheckFileName),
                               "time=" + OneLine(check.time) + "\nkind=" + OneLine(check.kind) +
                                   "\noutcome=" + OneLine(check.outcome) +
                                   "\nutility=" + OneLine(check.utility) + "\n");
}

std::optional<LastCheck> ReadLastCheck(const std::string& programFolder) {
  const auto text = ReadRegularFile(JoinPath(programFolder, kLastCheckFileName), kReadLimit);
  if (!text) return std::nullopt;
  LastCheck check;
  size_t start = 0;
  while (start < text->size()) {
    size_t end = text->find('\n', start);
    if (end == std::string::npos) end = text->size();
    const std::string line = text->substr(start, end - start);
    start = end + 1;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "time") check.time = value;
    if (key == "kind") check.kind = value;
    if (key == "outcome") check.outcome = value;
    if (key == "utility") check.utility = value;
  }
  return check;
}

}  // namespace vornix
