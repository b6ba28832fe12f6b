#include "platform/profile.h"

#include "platform/regular_file.h"
#include "platform/text.h"

namespace vornix {

namespace {

// A line's blanks and line ends, as the profile reader has always trimmed them.
std::string_view Trim(std::string_view s) {
  return TrimBlanks(s, " \t\r\n");
}

std::string CutToBuffer(std::string_view value, size_t capacity) {
  if (capacity == 0) return {};
  return std::string(value.substr(0, capacity - 1));
}

}  // namespace

std::string ReadProfileString(const std::string& file, std::string_view section,
                              std::string_view key, std::string_view fallback, size_t capacity) {
  const std::string text = ReadRegularFile(file).value_or("");
  bool inSection = false;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = Trim(std::string_view(text).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      inSection = close != std::string_view::npos &&
                  EqualsIgnoringCase(Trim(line.substr(1, close - 1)), section);
      continue;
    }
    if (!inSection) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || !EqualsIgnoringCase(Trim(line.substr(0, eq)), key))
      continue;
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return CutToBuffer(value, capacity);
  }
  return CutToBuffer(fallback, capacity);
}

}  // namespace vornix
