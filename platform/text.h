#pragma once

#include <strings.h>

#include <string_view>

namespace vornix {

// Byte-wise comparisons that ignore the letter case of ASCII letters, as the system's own
// comparisons of names do.
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

inline bool LessIgnoringCase(std::string_view a, std::string_view b) {
  const int c = strncasecmp(a.data(), b.data(), a.size() < b.size() ? a.size() : b.size());
  return c < 0 || (c == 0 && a.size() < b.size());
}

inline bool EndsWithIgnoringCase(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() &&
         EqualsIgnoringCase(text.substr(text.size() - ending.size()), ending);
}

}  // namespace vornix
