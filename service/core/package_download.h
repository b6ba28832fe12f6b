#pragma once

#include <string>

#include "common/catalogue.h"

namespace vornix {

// What one check pass hands to DownloadPackage: the service's settings and identity.
struct DownloadSettings {
  std::string ServerUrl;      // where commands go (and files, with UseLocalServer)
  bool UseLocalServer = true;
  std::string ProgramFolder;  // the service's folder, ending in '/'
  std::string ClientName;     // for LOGMSG
};

// Asks the server for a newer setup and a newer update of one package, fetches and verifies
// the files into the package's folder and leaves the markers. Sets `utilityNeeded` when a setup
// or an update was put in place; never clears it.
void DownloadPackage(const PackageRecord& record, const DownloadSettings& settings,
                     bool& utilityNeeded);

}  // namespace vornix
