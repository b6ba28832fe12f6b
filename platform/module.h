#pragma once

#include <string>

namespace vornix {

// The running program's full file name (GetModuleFileName), empty when it cannot be had.
std::string ModuleFileName();

// The program folder: the program's folder with a trailing '/', or "/" when the program's file
// name cannot be had.
std::string ModuleFolder();

}  // namespace vornix
