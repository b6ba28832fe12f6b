#pragma once

#include <string>

namespace vornix {

// HKEY_LOCAL_MACHINE\SOFTWARE\Arvel Systems\Vornix\Settings: written by the service, read by
// every program of the system.
inline constexpr const char* kSettingsKey = "SOFTWARE\\Arvel Systems\\Vornix\\Settings";
inline std::string SettingsKey() {
  return kSettingsKey;
}

}  // namespace vornix
