#pragma once

#include <string>

namespace vornix {

// The ProductVersion text of the running program's version resource, in the resource's own
// form ("2, 0, 0, 4"); empty when the program carries no version resource.
std::string VersionResourceText();

}  // namespace vornix
