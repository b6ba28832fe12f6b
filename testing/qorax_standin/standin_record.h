#pragma once

#include <string>

namespace vornix::standin {

// Milliseconds since the epoch, comparable with `date +%s%3N` in a test's scripts.
long long WallClockMs();

// Appends "<ms> <text>\n" to the stand-in's record file: its own program file name followed
// by ".record", so a copy placed in a program folder records beside itself.
void Record(const std::string& text);

// Points standard input and output at /dev/null: a stand-in outlives the test that started it
// and must not keep the test's output pipe open.
void DetachOutput();

}  // namespace vornix::standin
