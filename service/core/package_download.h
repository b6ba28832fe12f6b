#pragma once

#include <optional>
#include <string>

#include "common/catalogue.h"
#include "common/identity.h"

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
};

// Asks the server for a newer setup and a newer update of one package, fetches and verifies
// the files into the package's folder and leaves the markers. Sets `utilityNeeded` when a setup
// or an update was put in place; never clears it. With an UpdateKey, a file is trusted, whether
// downloaded or found in place, only with the publisher's signature from the reply, and the
// signature goes into the marker; an unusable key takes nothing at all.
void DownloadPackage(const PackageRecord& record, const DownloadSettings& settings,
                     bool& utilityNeeded);

// What FILEINFO states of a file: its Size and CkSum (nothing when the answer is not "OK").
struct StatedFile {
  long size = 0;
  long checksum = 0;
};
std::optional<StatedFile> AskFileInfo(const std::string& commandUrl, std::string_view programId,
                                      std::string_view serverFileName);
// True when the local file's byte count and checksum are those stated.
bool MatchesStatedFile(const std::optional<StatedFile>& stated, const std::string& localFile);

// True when the server's FILEINFO for `serverFileName` of `programId` is positive and the
// local file's byte count and checksum equal its Size and CkSum.
bool VerifyPackageFile(const std::string& commandUrl, std::string_view programId,
                       std::string_view serverFileName, const std::string& localFile);

// The log line texts and details of a download.
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
