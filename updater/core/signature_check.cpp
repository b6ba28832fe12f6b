// RefuseUnsignedSetup and RefuseUnsignedUpdate: the utility's own check of the publisher's
// signature, right before it acts, whatever the service checked when it downloaded. It checks
// the bytes of the file it has open, the ones it then starts, copies and unpacks.
#include "common/accepted_orders.h"
#include "common/activity_log.h"
#include "common/checked_copy.h"
#include "common/package_signature.h"
#include "common/trust_settings.h"
#include "updater/core/package_pass.h"

namespace vornix {

namespace {

constexpr const char* kSignatureError = "Signature check failed for '%s': %s";
constexpr const char* kSignatureDetail = "SIGNATURE";

// An older signed package than the service took before is no more taken here.
std::string Rollback(PackageKind kind, std::string_view programId, std::string_view signature,
                     const AcceptedOrder& offered) {
  const std::optional<SignedValue> value = ParseSignedValue(signature);
  if (!value) return {};
  AcceptedOrder order = offered;
  order.order = value->order;
  return AcceptedOrders::Read().RollbackProblem(kind, programId, order);
}

}  // namespace

bool PackagePass::RefuseUnsignedSetup(const PackageRecord& record, std::string_view build,
                                      FileDescriptor& setup) {
  const PublisherKey key(ReadTrustSettings().UpdateKey);
  if (!key.Required()) return false;
  const std::string packageFolder = PackageFolder("", record.Name.view());
  const std::string setupProgram = packageFolder + "/setup.exe";
  const std::string signature = ReadSetupSig(packageFolder + "/" + kSetupSigName);
  std::string problem;
  const std::optional<FileDigest> digest = DigestOfCheckedBytes(setup, packageFolder, problem);
  if (problem.empty())
    problem = SetupSignatureProblem(key, record.Name.view(), build, digest, signature);
  if (problem.empty())
    problem =
        Rollback(PackageKind::kSetup, record.Name.view(), signature, {0, std::string(build), ""});
  return RefuseStep(record, kSetupErrorText, setupProgram, problem);
}

bool PackagePass::RefuseUnsignedUpdate(const PackageRecord& record, const UpdateMarker& script,
                                       FileDescriptor& update) {
  const PublisherKey key(ReadTrustSettings().UpdateKey);
  if (!key.Required()) return false;
  std::string problem;
  const std::optional<FileDigest> digest =
      DigestOfCheckedBytes(update, UpdatesFolder(PackageFolder("", record.Name.view())), problem);
  if (problem.empty())
    problem = UpdateSignatureProblem(key, record.Name.view(), script.Build, script.FileName,
                                     script.UpdateCmd, digest, script.Signature);
  if (problem.empty())
    problem = Rollback(PackageKind::kUpdate, record.Name.view(), script.Signature,
                       {0, script.Build, script.FileName});
  return RefuseStep(record, kUpdateErrorText, script.FileName, problem);
}

bool PackagePass::RefuseStep(const PackageRecord& record, const char* statusFormat,
                             std::string_view file, const std::string& problem) {
  if (problem.empty()) return false;
  const std::string error = FillText(kSignatureError, {file, problem});
  WriteLogLine(error, kSignatureDetail);
  Report(error);
  front_.ShowStatus(FillText(statusFormat, {record.Desc.view(), error}));
  return true;
}

}  // namespace vornix
