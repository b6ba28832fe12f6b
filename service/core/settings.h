#pragma once

#include <set>
#include <string>

#include "service/core/message_box.h"
#include "service/core/ports.h"
#include "service/core/service_state.h"

namespace vornix {

inline constexpr const char* kSettingsVersionText = "1.0";
inline constexpr size_t kUrlEditCapacity = 512;  // the URL edit is read into 512 bytes
inline constexpr int kSettingsNoticeHoldMs = 500;
inline constexpr const char* kApplyQuestion = "Apply changes";
inline constexpr const char* kNoticeCaption = "Notice";
inline constexpr const char* kChangesAppliedText = "Changes Applied.";

// The scan with its notice and log line, then ServerUrl, UseLocalServer, UpdateKey and the
// transport's certificate authorities (CaFile) from the settings key; the defaults stay when
// the key cannot be read. A UrlOut, CaFile or UpdateKey that is there but cannot be used is
// said (standard error, the log) and never taken for an absent one.
void LoadSettings(ServiceState& state, Notices& notices);

// Writes Version, DefaultServer, UrlOut, LastUpdate and ProgPath, changing only their lines;
// silent when the key cannot be created. A value whose line cannot be read is left as it is
// (and said) unless `userChange` and it is one the user set in the window.
void SaveSettings(const ServiceState& state, bool userChange = false);

// The warning a service running as root without UpdateKey gives at its start (standard error,
// the log): it takes setups and commands it runs as root on the word of the server and the
// network; "" when it has a key or does not run as root.
std::string UnprotectedRootWarning(const ServiceState& state, bool runsAsRoot);

// "&Apply Changes": asks first; yes stores the edited settings, anything else loads the stored
// ones back. True when the changes were applied.
bool ApplyChanges(ServiceState& state, const std::string& urlEditText, bool useLocalChecked,
                  MessageBoxes& boxes, Notices& notices);

}  // namespace vornix
