#pragma once

#include <string>
#include <string_view>

namespace vornix {

// GetPrivateProfileString on a file: section and key match without regard to case, the value
// is trimmed and one pair of surrounding quotes removed, and the result is cut to fit a buffer
// of `capacity` bytes (terminator included). `fallback` is returned when the file, the section
// or the key is absent.
std::string ReadProfileString(const std::string& file, std::string_view section,
                              std::string_view key, std::string_view fallback, size_t capacity);

}  // namespace vornix
