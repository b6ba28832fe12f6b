#pragma once

#include <string>

namespace vornix {

// The folder that stands in for the Windows side of the machine: VORNIX_SYSTEM_ROOT, or
// /var/lib/vornix. Read at every call so that a test can point each run at its own root.
std::string SystemRoot();

// The Windows directory: <system root>/windows (holds WinApps.XML and avclient.ini).
std::string WindowsDirectory();

// <system root>/run/<sub>: lock files and window sockets live below it.
std::string RunFolder(const std::string& sub);

}  // namespace vornix
