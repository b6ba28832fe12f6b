#include "updater/core/signature_check.h"

#include "common/accepted_orders.h"
#include "common/checked_copy.h"
#include "common/package_signature.h"
#include "common/trust_settings.h"

namespace vornix {

namespace {

constexpr const char* kSignatureError = "Signature check failed for '%s': %s";
constexpr const char* kSignatureDetail = "SIGNATURE";

// An older signed package than the service took before is no more taken here.
std::string Rollback(PackageKind kind, std::string_view programId, std::string_view signature,
                     std::string_view build, std::string_view file) {
  const std::optional<AcceptedOrder> order = SignedOrder(signature, build, file);
  return order ? AcceptedOrders::Read().RollbackProblem(kind, programId, *order) : "";
}

// A refusal, when there is a problem: said in the log, to the server and on the status line.
bool RefuseStep(PassContext& pass, const PackageRecord& record, const char* statusFormat,
                std::string_view file, const std::string& problem) {
  if (problem.empty()) return false;
  pass.FailStep(record, statusFormat, FillText(kSignatureError, {file, problem}), kSignatureDetail);
  return true;
}

}  // namespace

bool RefuseUnsignedSetup(PassContext& pass, const PackageRecord& record, std::string_view build,
                         FileDescriptor& setup) {
  const PublisherKey key(ReadTrustSettings().UpdateKey);
  if (!key.Required()) return false;
  const std::string_view name = record.Name.view();
  const PackagePlaces places = pass.Places(name);
  const std::string signature = ReadSetupSig(places.setupSig);
  std::string problem;
  const std::optional<FileDigest> digest = DigestOfCheckedBytes(setup, places.folder, problem);
  if (problem.empty()) problem = SetupSignatureProblem(key, name, build, digest, signature);
  if (problem.empty()) problem = Rollback(PackageKind::kSetup, name, signature, build, "");
  // Named as below the program folder, as the log has always named it.
  return RefuseStep(pass, record, kSetupErrorText, std::string(name) + "/" + kSetupFileName,
                    problem);
}

bool RefuseUnsignedUpdate(PassContext& pass, const PackageRecord& record,
                          const UpdateMarker& script, FileDescriptor& update) {
  const PublisherKey key(ReadTrustSettings().UpdateKey);
  if (!key.Required()) return false;
  const std::string_view name = record.Name.view();
  std::string problem;
  const std::optional<FileDigest> digest =
      DigestOfCheckedBytes(update, pass.Places(name).updatesFolder, problem);
  if (problem.empty())
    problem = UpdateSignatureProblem(key, name, script.Build, script.FileName, script.UpdateCmd,
                                     digest, script.Signature);
  if (problem.empty())
    problem = Rollback(PackageKind::kUpdate, name, script.Signature, script.Build, script.FileName);
  return RefuseStep(pass, record, kUpdateErrorText, script.FileName, problem);
}

}  // namespace vornix
