#pragma once

#include <string>

#include "common/catalogue.h"
#include "common/server_address.h"
#include "common/transport.h"
#include "service/core/file_fetch.h"

namespace vornix {

// What one check pass hands to DownloadPackage: the service's settings and identity.
struct DownloadSettings {
  std::string ServerUrl;  // where commands go (and files, with UseLocalServer)
  bool UseLocalServer = true;
  std::string ProgramFolder;  // the service's folder, ending in '/'
  std::string ClientName;     // for LOGMSG
  // The publisher's public key (base64); empty: no signature is asked for.
  std::string UpdateKey;
  // Where files come from when UseLocalServer is off; tests point it at a local server.
  std::string VendorServer = VendorUpdateServer();
  TransferOptions Transfer;
};

// What one package's check came to.
struct PackageCheck {
  int failures = 0;          // failed requests, downloads and markers, each logged
  std::string firstFailure;  // the first one's log text
  bool stopped = false;      // the service is stopping: the package was left where it stood
};

// Asks the server for a newer setup and a newer update of one package, fetches and verifies
// the files into the package's folder and leaves the markers. Sets `utilityNeeded` when a setup
// or an update was put in place, or lies ready and is not applied yet; never clears it. With an
// UpdateKey, a file is trusted, whether downloaded or found in place, only with the publisher's
// signature from the reply, and the signature goes into the marker; an unusable key takes
// nothing at all.
PackageCheck DownloadPackage(const PackageRecord& record, const DownloadSettings& settings,
                             bool& utilityNeeded);

// The log line texts and details of a download. A failure's line gains its cause after the
// text: "<file>: <cause>", "No Data reading SETUPINFO from server: <cause>".
inline constexpr const char* kNoSetupInfo = "No Data reading SETUPINFO from server";
inline constexpr const char* kNoUpdateInfo = "No Data reading UPDATEINFO from server";
inline constexpr const char* kDetailVornet = "VORNET";
inline constexpr const char* kDetailSetupInfo = "VORNET SETUPINFO";
inline constexpr const char* kDetailUpdateInfo = "VORNET UPDATEINFO";
inline constexpr const char* kDetailSucceeded = "Download Succeeded";
inline constexpr const char* kDetailFailed = "Download Failed";
inline constexpr const char* kUnusableUpdateKey =
    "UpdateKey is not a usable public key: no setup or update is taken";

}  // namespace vornix
