#pragma once

#include <functional>
#include <set>
#include <string>

#include "common/catalogue.h"
#include "service/core/package_download.h"
#include "service/core/service_state.h"

namespace vornix {

// What one pass calls outside itself; tests replace them.
struct CheckPassPorts {
  std::function<void(const std::string& commandUrl, const std::string& clientName,
                     const PackageCatalogue& catalogue, const TransferOptions& options)>
      sendConfiguration;
  std::function<PackageCheck(const PackageRecord&, const DownloadSettings&, bool& utilityNeeded)>
      downloadPackage;
  // True when the utility started.
  std::function<bool(const std::string& programFolder)> launchUpdateUtility;
};
CheckPassPorts SystemCheckPassPorts();

// What a pass came to: for the record of the last check.
struct CheckOutcome {
  bool catalogueRead = false;
  int packages = 0;  // handed to the download step
  int failures = 0;  // failed requests, downloads and markers, each in the log
  std::string firstFailure;
  bool stopped = false;  // the service stopped in the middle of it
  bool utilityNeeded = false;
  bool utilityStarted = false;
};

inline constexpr const char* kNoApplicationsText = "No Applications detected";
inline constexpr const char* kDetectedPrefix = "Detected ";

// Scans the catalogue for the applications detected (see RoleOf): fills `detected` and gives
// the notice text, "Detected " with the descriptions in table order joined by ", ", or
// "No Applications detected".
std::string ScanInstalledPackages(std::set<std::string>& detected);

// One pass over the catalogue: the configuration report on a forced pass, the service's own
// package always, every other package when it is installed, and the utility started once at
// the end when anything was put in place or lies ready. The catalogue is only read. A pass
// that finds the service stopping ends where it stands.
CheckOutcome RunCheckCycle(ServiceState& state,
                           const CheckPassPorts& ports = SystemCheckPassPorts());

// The server's time of day as HHMMSS from SVRTIME; 0 when the server gave no usable answer.
long AskServerTime(const std::string& serverUrl, const TransferOptions& options);

}  // namespace vornix
