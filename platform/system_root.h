#pragma once

#include <string>

namespace vornix {

// The folder that stands in for the Windows side of the machine: VORNIX_SYSTEM_ROOT, or
// DefaultSystemRoot for the effective user. Read at every call so that a test can point each
// run at its own root.
std::string SystemRoot();

// The system root when VORNIX_SYSTEM_ROOT is not set: /var/lib/vornix for root (the machine's),
// <XDG data home>/vornix for anyone else, so that a user's own install writes only below
// that user's home.
std::string DefaultSystemRoot(bool forRoot);

// The Windows directory: <system root>/windows (holds WinApps.XML and avclient.ini).
std::string WindowsDirectory();

// <system root>/run/<sub>: lock files and window sockets live below it. Every program of one
// user finds the same folder whatever environment it was started with, which the single
// instance needs.
std::string RunFolder(const std::string& sub);

// Makes <system root>/run/<sub> where it is missing, both folders the owner's alone (0700, also
// when an earlier version made them for everyone): no other user can take a lock there or
// reach a window. A folder another user owns is not used (false, errno EPERM). True when the
// folder is there.
bool MakeRunFolder(const std::string& sub);

// Where the session gives the programs no runtime folder (XDG_RUNTIME_DIR unset, as under
// systemd or cron), one of their own: <system root>/run/session, the user's alone (0700). The
// window layer keeps its sockets there instead of in a folder of its own making below /tmp.
// Call before the QApplication is made.
void ProvideRuntimeFolder();

}  // namespace vornix
