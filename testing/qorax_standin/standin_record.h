#pragma once

#include <string>

namespace vornix::standin {

// Milliseconds since the epoch, comparable with `date +%s%3N` in a test's scripts.
long long WallClockMs();

// Appends "<ms> <text>\n" to the stand-in's record file: its own program file name followed
// by ".record", so a copy placed in a program folder records beside itself.
void Record(const std::string& text);

}  // namespace vornix::standin
