#pragma once

#include <functional>
#include <string>

#include "common/catalogue.h"
#include "service/core/package_download.h"
#include "service/core/service_state.h"

namespace vornix {

// What one pass calls outside itself; tests replace them.
struct CheckPassPorts {
  std::function<void(const std::string& commandUrl, const std::string& clientName,
                     const PackageCatalogue& catalogue)>
      sendConfiguration;
  std::function<void(const PackageRecord&, const DownloadSettings&, bool& utilityNeeded)>
      downloadPackage;
  std::function<void(const std::string& programFolder)> launchUpdateUtility;
};
CheckPassPorts SystemCheckPassPorts();

// One pass over the catalogue: the configuration report on a forced pass, the service's own
// package always, every other package when it is installed, and the utility started once at
// the end when anything was put in place. The catalogue is only read.
void RunCheckCycle(ServiceState& state, const CheckPassPorts& ports = SystemCheckPassPorts());

// The server's time of day as HHMMSS from SVRTIME; 0 when the server gave no usable answer.
long AskServerTime(const std::string& serverUrl);

}  // namespace vornix
