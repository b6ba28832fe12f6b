// RefuseUnsignedSetup and RefuseUnsignedUpdate: the utility's own check of the publisher's
// signature, right before it acts, whatever the service checked when it downloaded.
#include "common/activity_log.h"
#include "common/package_signature.h"
#include "common/trust_settings.h"
#include "updater/core/package_pass.h"

namespace vornix {

namespace {

constexpr const char* kSignatureError = "Signature check failed for '%s': %s";
constexpr const char* kSignatureDetail = "SIGNATURE";

}  // namespace

bool PackagePass::RefuseUnsignedSetup(const PackageRecord& record, std::string_view build) {
  const PublisherKey key(ReadTrustSettings().UpdateKey);
  if (!key.Required()) return false;
  const std::string packageFolder = PackageFolder("", record.Name.view());
  const std::string setupProgram = packageFolder + "/setup.exe";
  const std::string signature = ReadSetupSig(packageFolder + "/" + kSetupSigName);
  return RefuseStep(record, kSetupErrorText, setupProgram,
                    SetupSignatureProblem(key, record.Name.view(), build, setupProgram, signature));
}

bool PackagePass::RefuseUnsignedUpdate(const PackageRecord& record, const UpdateMarker& script) {
  const PublisherKey key(ReadTrustSettings().UpdateKey);
  if (!key.Required()) return false;
  const std::string updates = UpdatesFolder(PackageFolder("", record.Name.view()));
  return RefuseStep(
      record, kUpdateErrorText, script.FileName,
      UpdateSignatureProblem(key, record.Name.view(), script.Build, script.FileName,
                             script.UpdateCmd, updates + "/" + script.FileName, script.Signature));
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
