#pragma once

namespace vornix {

// What the programs know of each other: how one finds and tells another, and the package ids
// they treat apart. Each name is defined here once.

// The service's main window, by which other programs find it, and its single-instance lock.
inline constexpr const char* kServiceWindowTitle = "Vornix Update Service";
inline constexpr const char* kServiceMutexName = "Vornix";

// Window commands other programs send to the service.
inline constexpr int kCommandUpdateNow = 1015;    // "Update &Now": check at once
inline constexpr int kCommandSilentExit = 57602;  // end at once, without asking

// The service's own package, and the maker's program that is asked to end before it changes.
inline constexpr const char* kServicePackageName = "vornet";
inline constexpr const char* kQoraxPackageName = "qorax";

// The maker's program listens here for the document that asks it to end.
inline constexpr const char* kQoraxListener = "127.0.0.1:8080";
inline constexpr const char* kShutdownDocument = "<VORNIX SHUTDOWN />";

}  // namespace vornix
