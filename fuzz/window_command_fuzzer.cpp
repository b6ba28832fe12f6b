// ParseWindowCommand on any line a sender may write: no crash; a command only from
// "WM_COMMAND <number>" with nothing after the number but a line end, and the line a sender
// writes for the id read reads back as that id.
#include <cctype>
#include <cstdlib>
#include <string>

#include "platform/window_link.h"

namespace {
bool Is(int (*test)(int), char c) {
  return test(static_cast<unsigned char>(c)) != 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::optional<int> id = vornix::ParseWindowCommand(line);
  if (!id) return 0;
  const std::string prefix = "WM_COMMAND ";
  if (line.rfind(prefix, 0) != 0) std::abort();
  size_t i = prefix.size();
  while (i < size && Is(std::isspace, line[i])) ++i;
  if (i < size && (line[i] == '-' || line[i] == '+')) ++i;
  const size_t first = i;
  while (i < size && Is(std::isdigit, line[i])) ++i;
  if (i == first) std::abort();
  // A NUL ends the text the parser sees.
  if (i < size && line[i] != '\n' && line[i] != '\r' && line[i] != '\0') std::abort();
  // What a sender writes for this id reads back as this id.
  if (vornix::ParseWindowCommand(prefix + std::to_string(*id) + "\n") != id) std::abort();
  return 0;
}
