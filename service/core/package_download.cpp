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
#include <optional>

#include "common/accepted_orders.h"
#include "common/activity_log.h"
#include "common/package_markers.h"
#include "common/package_places.h"
#include "common/package_signature.h"
#include "common/protocol.h"
#include "common/transport.h"
#include "platform/path.h"
#include "platform/text.h"
#include "service/core/registration.h"

namespace vornix {
namespace {

constexpr const char* kOk = "OK";
constexpr const char* kServerUpdatesPrefix = "updates/";
constexpr mode_t kFolderMode = 0755;
constexpr mode_t kProgramMode = 0755;
constexpr mode_t kDataMode = 0644;

// One package's names for one call: where commands go, where files come from, where they lie.
struct PackagePaths : PackagePlaces {
  PackagePaths(const DownloadSettings& settings, std::string_view name)
      : PackagePlaces(settings.ProgramFolder, name),
        commandUrl(CommandUrl(settings.ServerUrl)),
        downloadBase(settings.UseLocalServer ? settings.ServerUrl : settings.VendorServer) {}
  std::string commandUrl;
  std::string downloadBase;
};

// A name as one segment of a URL path: blanks and the characters that end or escape a path
// are percent-encoded, so a file name with a blank can still be fetched.
std::string UrlSegment(std::string_view name) {
  return PercentEncoded(name, [](unsigned char c) {
    return c > 0x20 && c < 0x7f && !std::strchr("\"#%?<>\\^`{|}", c);
  });
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

// One package's steps: what they ask the server and fetch, and the failures they log and count.
class Steps {
 public:
  Steps(const PackageRecord& record, const DownloadSettings& settings, const PublisherKey& key,
        const PackagePaths& paths, PackageCheck& check)
      : record_(record), settings_(settings), key_(key), paths_(paths), check_(check) {}

  const PublisherKey& key() const { return key_; }

  // With signatures asked for, a signed package older than the one taken before is refused
  // before anything is fetched (the failure is said); true when it may go on.
  bool NoRollback(PackageKind kind, const std::string& signature, std::string_view build,
                  std::string_view fileName, const std::string& file) {
    const std::optional<AcceptedOrder> order = SignedOrder(signature, build, fileName);
    if (!key_.Required() || !order) return true;
    const std::string rollback = Orders().RollbackProblem(kind, record_.Name.view(), *order);
    if (rollback.empty()) return true;
    FailedDownload(file, rollback);
    return false;
  }

  // A signed package whose signature matched: its order becomes the one to beat, recorded
  // before the file is put in place or marked, so that no state a crash leaves lets an older
  // one in. Why it cannot be taken when the record cannot be written; empty when recorded.
  std::string Take(PackageKind kind, const std::string& signature, std::string_view build,
                   std::string_view fileName) {
    const std::optional<AcceptedOrder> order = SignedOrder(signature, build, fileName);
    if (!order || Orders().Record(kind, record_.Name.view(), *order)) return {};
    return "the record of signed packages taken, " + AcceptedOrders::FilePath() +
           ", cannot be written";
  }

  // The reply to SETUPINFO or UPDATEINFO when it is "OK"; otherwise the failure is logged
  // ("No Data reading ... from server" with its cause, or the server's Error text).
  std::optional<std::string> Ask(const std::string& document, const char* noData,
                                 const char* errorDetail) {
    TransferResult transfer;
    std::string reply = PostCommand(paths_.commandUrl, document, settings_.Transfer, &transfer);
    if (transfer.stopped) {
      check_.stopped = true;
      return std::nullopt;
    }
    if (reply.empty()) {
      Fail(
          std::string(noData) + ": " + (transfer.cause.empty() ? "an empty reply" : transfer.cause),
          kDetailVornet);
      return std::nullopt;
    }
    const std::string error = ReadReplyField(reply, "Error", kErrorCapacity);
    if (error != kOk) {
      Fail(error.empty() ? "a reply without Error" + Because(transfer.cause) : error, errorDetail);
      return std::nullopt;
    }
    return reply;
  }

  void Fail(const std::string& text, const char* detail) {
    WriteLogLine(text, detail);
    if (check_.failures++ == 0) check_.firstFailure = text;
  }

  // "Download Failed": the log line with its cause, the server's report as it always was.
  void FailedDownload(const std::string& file, const std::string& cause) {
    Fail(file + ": " + cause, kDetailFailed);
    SendLogMessage(paths_.commandUrl, settings_.ClientName, file + ": " + kDetailFailed,
                   settings_.Transfer);
  }

  // Puts a package file in place; false, with the failure said, when it is not. A file found
  // in place is checked against the server's statement too: one damaged at rest comes anew.
  bool Fetch(const PackageFile& file, const FileCheck& isSigned, bool* downloaded = nullptr) {
    const Fetched fetched =
        PutInPlace(paths_.commandUrl, record_.Name.view(), file, isSigned, settings_.Transfer);
    if (fetched.stopped) {
      check_.stopped = true;
      return false;
    }
    if (!fetched.inPlace) {
      FailedDownload(file.path, fetched.cause);
      return false;
    }
    if (fetched.downloaded) WriteLogLine(file.path, kDetailSucceeded);
    if (downloaded) *downloaded = fetched.downloaded;
    return true;
  }

 private:
  static std::string Because(const std::string& cause) {
    return cause.empty() ? "" : " (" + cause + ")";
  }

  const PackageRecord& record_;
  const DownloadSettings& settings_;
  // Read when a signed package first asks for it: without a key it is never needed.
  AcceptedOrders& Orders() {
    if (!orders_) orders_ = AcceptedOrders::Read();
    return *orders_;
  }

  const PublisherKey& key_;
  const PackagePaths& paths_;
  PackageCheck& check_;
  std::optional<AcceptedOrders> orders_;
};

void SetupStep(const PackageRecord& record, const PackagePaths& paths, Steps& steps,
               bool& utilityNeeded) {
  const std::string name = record.Name.str();
  const std::optional<std::string> reply =
      steps.Ask(SetupInfoCommand(name), kNoSetupInfo, kDetailSetupInfo);
  if (!reply) return;
  const std::string build = ReadReplyField(*reply, "Build", kBuildCapacity);
  if (!IsCatalogueSafe(build)) {
    steps.Fail("Unusable setup build from server: " + build, kDetailSetupInfo);
    return;
  }
  if (build.empty() || build == record.Build.view()) return;
  const PublisherKey& key = steps.key();
  const std::string signature = ReplySignature(key, *reply);
  if (!steps.NoRollback(PackageKind::kSetup, signature, build, "", paths.setupFile)) return;
  const bool ready = ReadSetupVer(paths.setupVer) == build &&
                     SameSignature(key, ReadSetupSig(paths.setupSig), signature);

  const PackageFile setup{kSetupFileName,
                          paths.downloadBase + "/" + UrlSegment(name) + "/" + kSetupFileName,
                          paths.setupFile, build, kProgramMode};
  FileCheck isSigned;
  if (key.Required()) {
    isSigned = [&](const std::optional<FileDigest>& digest) {
      const std::string problem = SetupSignatureProblem(key, name, build, digest, signature);
      return problem.empty() ? steps.Take(PackageKind::kSetup, signature, build, "") : problem;
    };
  }
  bool downloaded = false;
  if (!steps.Fetch(setup, isSigned, &downloaded)) return;
  // A complete file found in place gets its program mode too.
  chmod(paths.setupFile.c_str(), kProgramMode);
  if (ready && !downloaded) {
    // This setup lies ready, whole. The service's own is the one setup a run of the utility
    // starts by itself: not started yet (the utility ended before it could), it gets the
    // utility started again.
    if (name == kServicePackageName && !record.Build.empty() &&
        ReadSetupRun(paths.setupRun) != build)
      utilityNeeded = true;
    return;
  }
  utilityNeeded = true;
  // The signature first: a reader never finds the new build beside an older signature.
  if (key.Required() && !WriteSetupSig(paths.setupSig, signature)) {
    steps.FailedDownload(paths.setupFile, paths.setupSig + " cannot be written");
  } else if (!WriteSetupVer(paths.setupVer, build)) {
    steps.FailedDownload(paths.setupFile, paths.setupVer + " cannot be written");
  }
}

void UpdateStep(const PackageRecord& record, const PackagePaths& paths, Steps& steps,
                bool& utilityNeeded) {
  const std::string name = record.Name.str();
  const std::optional<std::string> reply =
      steps.Ask(UpdateInfoCommand(name), kNoUpdateInfo, kDetailUpdateInfo);
  if (!reply) return;
  UpdateMarker marker;
  marker.Build = ReadReplyField(*reply, "Build", kBuildCapacity);
  marker.FileName = ReadReplyField(*reply, "FileName", kFileNameCapacity);
  marker.UpdateCmd = ReadReplyField(*reply, "UpdateCmd", kUpdateCmdCapacity);
  if (!IsCatalogueSafe(marker.Build)) {
    steps.Fail("Unusable update build from server: " + marker.Build, kDetailUpdateInfo);
    return;
  }
  if (!marker.FileName.empty() && !IsUsableUpdateFileName(marker.FileName)) {
    steps.Fail("Unusable update file name from server: " + marker.FileName, kDetailUpdateInfo);
    return;
  }
  if (marker.Build.empty() || marker.Build == record.Update.view()) return;
  const PublisherKey& key = steps.key();
  marker.Signature = ReplySignature(key, *reply);
  if (!steps.NoRollback(PackageKind::kUpdate, marker.Signature, marker.Build, marker.FileName,
                        paths.UpdateFile(marker.FileName)))
    return;
  if (marker.FileName.empty()) return;
  const UpdateMarker inPlace = ReadUpdateXml(paths.updateXml);
  const bool ready = inPlace.Build == marker.Build && inPlace.FileName == marker.FileName &&
                     SameSignature(key, inPlace.Signature, marker.Signature);

  const std::string updateFile = paths.UpdateFile(marker.FileName);
  const PackageFile update{kServerUpdatesPrefix + marker.FileName,
                           paths.downloadBase + "/" + UrlSegment(name) + "/" +
                               kServerUpdatesPrefix + UrlSegment(marker.FileName),
                           updateFile, marker.Build, kDataMode};
  FileCheck isSigned;
  if (key.Required()) {
    isSigned = [&](const std::optional<FileDigest>& digest) {
      const std::string problem = UpdateSignatureProblem(
          key, name, marker.Build, marker.FileName, marker.UpdateCmd, digest, marker.Signature);
      return problem.empty()
                 ? steps.Take(PackageKind::kUpdate, marker.Signature, marker.Build, marker.FileName)
                 : problem;
    };
  }
  bool downloaded = false;
  if (!steps.Fetch(update, isSigned, &downloaded)) return;
  // Whether it came now or lies ready from an earlier check that the catalogue does not record
  // yet (the utility ended before it could, or its step failed), the utility is started for it.
  utilityNeeded = true;
  if (ready && !downloaded) return;
  if (!WriteUpdateXml(paths.updateXml, marker))
    steps.FailedDownload(updateFile, paths.updateXml + " cannot be written");
}

}  // namespace

PackageCheck DownloadPackage(const PackageRecord& record, const DownloadSettings& settings,
                             bool& utilityNeeded) {
  PackageCheck check;
  const PublisherKey key(settings.UpdateKey);
  if (key.Required() && !key.Usable()) {
    // Protection was asked for and cannot be given: nothing is taken. The log keeps one line
    // for the whole pass, since it drops a line that repeats the one before.
    WriteLogLine(kUnusableUpdateKey);
    check.failures = 1;
    check.firstFailure = kUnusableUpdateKey;
    return check;
  }
  const PackagePaths paths(settings, record.Name.view());

  // A folder that exists already, or cannot be made, shows up in the file steps.
  mkdir(paths.folder.c_str(), kFolderMode);
  mkdir(paths.updatesFolder.c_str(), kFolderMode);

  Steps steps(record, settings, key, paths, check);
  SetupStep(record, paths, steps, utilityNeeded);
  if (!check.stopped) UpdateStep(record, paths, steps, utilityNeeded);
  return check;
}

}  // namespace vornix
