#include "service/core/package_download.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "common/activity_log.h"
#include "common/package_markers.h"
#include "common/package_signature.h"
#include "common/protocol.h"
#include "common/transport.h"
#include "platform/path.h"
#include "platform/temporary_files.h"
#include "service/core/file_checksum.h"
#include "service/core/registration.h"

namespace vornix {
namespace {

constexpr const char* kOk = "OK";
constexpr const char* kSetupFileName = "setup.exe";
constexpr const char* kSetupVerName = "SETUP.VER";
constexpr const char* kUpdateXmlName = "UPDATE.XML";
constexpr const char* kServerUpdatesPrefix = "updates/";
constexpr mode_t kFolderMode = 0755;
constexpr mode_t kProgramMode = 0755;
constexpr mode_t kDataMode = 0644;

// One package's names for one call.
struct PackagePaths {
  std::string commandUrl;
  std::string downloadBase;
  std::string packageFolder;
  std::string updatesFolder;
  std::string setupFile;
  std::string setupVer;
  std::string setupSig;
  std::string setupRun;
  std::string updateXml;
};

// The update file shares its folder with UPDATE.XML and must not take the marker's place.
bool IsUsableUpdateFileName(std::string_view name) {
  return IsPlainFileName(name) && strcasecmp(std::string(name).c_str(), kUpdateXmlName) != 0;
}

// A name as one segment of a URL path: blanks and the characters that end or escape a path
// are percent-encoded, so a file name with a blank can still be fetched.
std::string UrlSegment(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : name) {
    if (c <= 0x20 || c >= 0x7f || std::strchr("\"#%?<>\\^`{|}", c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// With a publisher's key, the reply's signature; without one it is not even read, so nothing
// changes for a client that does not ask for signatures.
std::string ReplySignature(const PublisherKey& key, const std::string& reply) {
  return key.Required() ? ReadReplyField(reply, kSignatureElement, kSignatureCapacity) : "";
}

// A marker already in place stands for the reply only when it carries the same signature.
bool SameSignature(const PublisherKey& key, const std::string& inPlace,
                   const std::string& signature) {
  return !key.Required() || (!signature.empty() && inPlace == signature);
}

void ReportFailedDownload(const DownloadSettings& settings, const PackagePaths& paths,
                          const std::string& file) {
  WriteLogLine(file, kDetailFailed);
  SendLogMessage(paths.commandUrl, settings.ClientName, file + ": " + kDetailFailed);
}

// Whether a file may be trusted beyond its size and sum (its signature).
using FileCheck = std::function<bool(const std::string&)>;

// One file of a package: its name on the server and where it goes here.
struct PackageFile {
  std::string serverName;  // "setup.exe" or "updates/<name>"
  std::string url;
  std::string folder;
  std::string path;
  mode_t mode;
};

// Our temporary downloads; leftovers of a service ended mid-download go before the next one.
constexpr const char* kDownloadPrefix = ".download-";

// Fetches the file under a temporary name beside its place and moves it there only once the
// server's size and checksum match, so a failed download leaves the earlier file whole. A
// transfer that brings more than the size the server stated is cut off. `isSigned` judges the
// file too, when signatures are asked for.
bool FetchVerified(const std::string& commandUrl, std::string_view programId,
                   const PackageFile& file, long long statedSize, const FileCheck& isSigned) {
  RemoveStaleTemporaries(file.folder, kDownloadPrefix);
  std::string temp;
  const int fd = CreateTemporaryBeside(file.folder, kDownloadPrefix, temp);
  if (fd < 0) {
    // Nothing could be fetched; the file is asked about again all the same, as after any
    // failed download.
    return VerifyPackageFile(commandUrl, programId, file.serverName, file.path) &&
           isSigned(file.path);
  }
  DownloadFile(file.url, temp, kTransferTimeoutSeconds, statedSize);  // judged by verification
  const bool placed = VerifyPackageFile(commandUrl, programId, file.serverName, temp) &&
                      isSigned(temp) && chmod(temp.c_str(), file.mode) == 0 &&
                      std::rename(temp.c_str(), file.path.c_str()) == 0;
  if (!placed) unlink(temp.c_str());
  close(fd);
  return placed;
}

// Makes sure the package file is in place and verified: a complete file found there is kept,
// anything else is fetched. True when it is in place; `downloaded` tells whether it came now.
bool PutInPlace(const std::string& commandUrl, std::string_view programId, const PackageFile& file,
                const FileCheck& isSigned, bool& downloaded) {
  const std::optional<StatedFile> stated = AskFileInfo(commandUrl, programId, file.serverName);
  downloaded = false;
  if (MatchesStatedFile(stated, file.path) && isSigned(file.path)) return true;
  downloaded = true;
  return FetchVerified(commandUrl, programId, file, stated ? std::max(stated->size, 0L) : kAnySize,
                       isSigned);
}

void SetupStep(const PackageRecord& record, const DownloadSettings& settings,
               const PackagePaths& paths, bool& utilityNeeded) {
  const std::string name = record.Name.str();
  const std::string reply = PostCommand(paths.commandUrl, SetupInfoCommand(name));
  if (reply.empty()) {
    WriteLogLine(kNoSetupInfo, kDetailVornet);
    return;
  }
  const std::string error = ReadReplyField(reply, "Error", kErrorCapacity);
  if (error != kOk) {
    WriteLogLine(error, kDetailSetupInfo);
    return;
  }
  const std::string build = ReadReplyField(reply, "Build", kBuildCapacity);
  if (!IsCatalogueSafe(build)) {
    WriteLogLine("Unusable setup build from server: " + build, kDetailSetupInfo);
    return;
  }
  if (build.empty() || build == record.Build.view()) return;
  const PublisherKey key(settings.UpdateKey);
  const std::string signature = ReplySignature(key, reply);
  if (ReadSetupVer(paths.setupVer) == build &&
      SameSignature(key, ReadSetupSig(paths.setupSig), signature)) {
    // This setup lies ready already. The service's own is the one setup a run of the utility
    // starts by itself: not started yet (the utility ended before it could), it gets the
    // utility started again, with nothing fetched.
    if (name == kServicePackageName && !record.Build.empty() &&
        ReadSetupRun(paths.setupRun) != build && FileSize(paths.setupFile) >= 0)
      utilityNeeded = true;
    return;
  }

  const PackageFile setup{kSetupFileName,
                          paths.downloadBase + "/" + UrlSegment(name) + "/" + kSetupFileName,
                          paths.packageFolder, paths.setupFile, kProgramMode};
  const auto isSigned = [&](const std::string& file) {
    return !key.Required() || SetupSignatureProblem(key, name, build, file, signature).empty();
  };
  bool downloaded = false;
  if (!PutInPlace(paths.commandUrl, name, setup, isSigned, downloaded)) {
    ReportFailedDownload(settings, paths, paths.setupFile);
    return;
  }
  if (downloaded) WriteLogLine(paths.setupFile, kDetailSucceeded);
  utilityNeeded = true;
  // A complete file found in place gets its program mode too.
  chmod(paths.setupFile.c_str(), kProgramMode);
  // The signature first: a reader never finds the new build beside an older signature.
  const bool marked = (!key.Required() || WriteSetupSig(paths.setupSig, signature)) &&
                      WriteSetupVer(paths.setupVer, build);
  if (!marked) ReportFailedDownload(settings, paths, paths.setupFile);
}

void UpdateStep(const PackageRecord& record, const DownloadSettings& settings,
                const PackagePaths& paths, bool& utilityNeeded) {
  const std::string name = record.Name.str();
  const std::string reply = PostCommand(paths.commandUrl, UpdateInfoCommand(name));
  if (reply.empty()) {
    WriteLogLine(kNoUpdateInfo, kDetailVornet);
    return;
  }
  const std::string error = ReadReplyField(reply, "Error", kErrorCapacity);
  if (error != kOk) {
    WriteLogLine(error, kDetailUpdateInfo);
    return;
  }
  UpdateMarker marker;
  marker.Build = ReadReplyField(reply, "Build", kBuildCapacity);
  marker.FileName = ReadReplyField(reply, "FileName", kFileNameCapacity);
  marker.UpdateCmd = ReadReplyField(reply, "UpdateCmd", kUpdateCmdCapacity);
  if (!IsCatalogueSafe(marker.Build)) {
    WriteLogLine("Unusable update build from server: " + marker.Build, kDetailUpdateInfo);
    return;
  }
  if (!marker.FileName.empty() && !IsUsableUpdateFileName(marker.FileName)) {
    WriteLogLine("Unusable update file name from server: " + marker.FileName, kDetailUpdateInfo);
    return;
  }
  if (marker.Build.empty() || marker.Build == record.Update.view()) return;
  const PublisherKey key(settings.UpdateKey);
  marker.Signature = ReplySignature(key, reply);
  const UpdateMarker inPlace = ReadUpdateXml(paths.updateXml);
  if (inPlace.Build == marker.Build && SameSignature(key, inPlace.Signature, marker.Signature) &&
      IsUsableUpdateFileName(inPlace.FileName) &&
      FileSize(paths.updatesFolder + "/" + inPlace.FileName) >= 0) {
    // It lies ready from an earlier check, and the catalogue does not record it yet (the
    // utility ended before it could, or its step failed): the utility is started for it, with
    // nothing fetched again. A marker whose file is gone is fetched anew.
    utilityNeeded = true;
    return;
  }
  if (marker.FileName.empty()) return;

  const std::string updateFile = paths.updatesFolder + "/" + marker.FileName;
  const PackageFile update{kServerUpdatesPrefix + marker.FileName,
                           paths.downloadBase + "/" + UrlSegment(name) + "/" +
                               kServerUpdatesPrefix + UrlSegment(marker.FileName),
                           paths.updatesFolder, updateFile, kDataMode};
  const auto isSigned = [&](const std::string& file) {
    return !key.Required() || UpdateSignatureProblem(key, name, marker.Build, marker.FileName,
                                                     marker.UpdateCmd, file, marker.Signature)
                                  .empty();
  };
  bool downloaded = false;
  if (!PutInPlace(paths.commandUrl, name, update, isSigned, downloaded)) {
    ReportFailedDownload(settings, paths, updateFile);
    return;
  }
  if (downloaded) WriteLogLine(updateFile, kDetailSucceeded);
  utilityNeeded = true;
  if (!WriteUpdateXml(paths.updateXml, marker)) ReportFailedDownload(settings, paths, updateFile);
}

}  // namespace

std::optional<StatedFile> AskFileInfo(const std::string& commandUrl, std::string_view programId,
                                      std::string_view serverFileName) {
  const std::string reply = PostCommand(commandUrl, FileInfoCommand(programId, serverFileName));
  if (ReadReplyField(reply, "Error", kErrorCapacity) != kOk) return std::nullopt;
  return StatedFile{ReplyNumber(ReadReplyField(reply, "Size", kNumberCapacity)),
                    ReplyNumber(ReadReplyField(reply, "CkSum", kNumberCapacity))};
}

bool MatchesStatedFile(const std::optional<StatedFile>& stated, const std::string& localFile) {
  if (!stated || stated->size < 0 || stated->checksum < 0) return false;
  const std::optional<FileSum> sum = FileChecksum(localFile);
  return sum && sum->checksum == static_cast<unsigned long>(stated->checksum) &&
         sum->bytes == static_cast<uint64_t>(stated->size);
}

bool VerifyPackageFile(const std::string& commandUrl, std::string_view programId,
                       std::string_view serverFileName, const std::string& localFile) {
  return MatchesStatedFile(AskFileInfo(commandUrl, programId, serverFileName), localFile);
}

void DownloadPackage(const PackageRecord& record, const DownloadSettings& settings,
                     bool& utilityNeeded) {
  const PublisherKey key(settings.UpdateKey);
  if (key.Required() && !key.Usable()) {
    // Protection was asked for and cannot be given: nothing is taken. The log keeps one line
    // for the whole pass, since it drops a line that repeats the one before.
    WriteLogLine(kUnusableUpdateKey);
    return;
  }
  PackagePaths paths;
  paths.commandUrl = CommandUrl(settings.ServerUrl);
  paths.downloadBase = settings.UseLocalServer ? settings.ServerUrl : settings.VendorServer;
  paths.packageFolder = PackageFolder(settings.ProgramFolder, record.Name.view());
  paths.updatesFolder = UpdatesFolder(paths.packageFolder);
  paths.setupFile = paths.packageFolder + "/" + kSetupFileName;
  paths.setupVer = paths.packageFolder + "/" + kSetupVerName;
  paths.setupSig = paths.packageFolder + "/" + kSetupSigName;
  paths.setupRun = paths.packageFolder + "/" + kSetupRunName;
  paths.updateXml = paths.updatesFolder + "/" + kUpdateXmlName;

  // A folder that exists already, or cannot be made, shows up in the file steps.
  mkdir(paths.packageFolder.c_str(), kFolderMode);
  mkdir(paths.updatesFolder.c_str(), kFolderMode);

  SetupStep(record, settings, paths, utilityNeeded);
  UpdateStep(record, settings, paths, utilityNeeded);
}

}  // namespace vornix
