#pragma once

#include <string>

namespace vornix {

// SETUP.VER names the build of the setup that lies ready: exactly the build text, no line end.
// A reader takes at most its first 128 bytes, up to the first zero byte; a missing file reads
// as empty.
inline constexpr size_t kSetupVerReadMax = 128;
std::string ReadSetupVer(const std::string& path);

}  // namespace vornix
