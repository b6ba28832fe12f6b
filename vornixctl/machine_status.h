#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/last_check.h"

namespace vornix {

// What an administrator wants to know of a machine's Vornix, read from its files without
// changing any: the settings, the catalogue, what lies ready in the service's folder, the last
// check, whether the service runs.

// Something that lies ready for a package: a setup or an update, with whether it still
// verifies (its file is there and, with UpdateKey, the publisher's signature holds).
struct ReadyItem {
  std::string build;
  bool verified = false;
  std::string problem;   // why it does not verify
  bool started = false;  // a setup the utility has started already
};

struct PackageStatus {
  std::string name, description, build, update;
  bool installed = false;
  std::optional<ReadyItem> setup, update_;
  long long downloading = -1;  // bytes of a download in progress (a partial file), or -1
};

struct MachineStatus {
  std::string systemRoot;
  std::string cataloguePath;
  std::string settingsPath;
  std::string programFolder;  // the service's, from its settings (ProgPath)
  std::string serverUrl;      // UrlOut
  bool filesFromServer = true;
  bool signatures = false;  // UpdateKey is set
  std::optional<int> servicePid;
  bool serviceAnswers = false;
  bool serviceUnknown = false;  // this user cannot reach the service's lock or window
  std::optional<LastCheck> lastCheck;
  std::vector<PackageStatus> packages;
  std::vector<std::string> problems;  // what could not be read, and why
};

MachineStatus ReadMachineStatus();

// For a person: a few lines and a table. For scripts and monitoring: one JSON object.
std::string FormatStatus(const MachineStatus& status);
std::string StatusJson(const MachineStatus& status);

// The last `lines` lines of each of the two logs in the service's folder, each under a header.
std::string LastLogLines(const MachineStatus& status, size_t lines);

}  // namespace vornix
