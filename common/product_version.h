#pragma once

#include <string>

namespace vornix {

// The program's version text, "1, 0, 0, 1" when it carries none.
std::string ReadProductVersion();

// The version text as the service shows it: every ", " turned into ".".
std::string ServiceVersionText(std::string versionText);

}  // namespace vornix
