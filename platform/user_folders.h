#pragma once

#include <string>

namespace vornix {

// The home folder of the effective user: $HOME when it is an absolute path, else the home
// named by the user's passwd entry; empty when neither is known.
std::string HomeFolder();

// Where the user's own data lives (the XDG base directory rule): $XDG_DATA_HOME when it is an
// absolute path (a relative one is ignored), else <home>/.local/share.
std::string UserDataHome();

}  // namespace vornix
