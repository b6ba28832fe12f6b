#include "service/core/check_cycle.h"

#include "common/protocol.h"
#include "common/server_address.h"
#include "common/transport.h"
#include "service/core/registration.h"
#include "service/core/utility_launch.h"

namespace vornix {

CheckPassPorts SystemCheckPassPorts() {
  CheckPassPorts ports;
  ports.sendConfiguration = [](const std::string& url, const std::string& client,
                               const PackageCatalogue& catalogue, const TransferOptions& options) {
    SendConfiguration(url, client, catalogue, options);
  };
  ports.downloadPackage = [](const PackageRecord& record, const DownloadSettings& settings,
                             bool& utilityNeeded) {
    return DownloadPackage(record, settings, utilityNeeded);
  };
  ports.launchUpdateUtility = [](const std::string& folder) { return LaunchUpdateUtility(folder); };
  return ports;
}

std::string ScanInstalledPackages(std::set<std::string>& detected) {
  detected.clear();
  std::string list;
  PackageCatalogue catalogue;
  if (LoadCatalogue(CataloguePath(), catalogue)) {
    for (int i = 0; i < catalogue.count; ++i) {
      const PackageRecord& record = catalogue.records[static_cast<size_t>(i)];
      if (RoleOf(record) != PackageRole::kDetected) continue;
      detected.insert(record.Desc.str());
      if (!list.empty()) list += ", ";
      list += record.Desc.str();
    }
  }
  return list.empty() ? std::string(kNoApplicationsText) : kDetectedPrefix + list;
}

CheckOutcome RunCheckCycle(ServiceState& state, const CheckPassPorts& ports) {
  CheckOutcome outcome;
  state.DetectedApplications.clear();
  state.UtilityNeeded = false;

  PackageCatalogue catalogue;
  outcome.catalogueRead = LoadCatalogue(CataloguePath(), catalogue);
  if (outcome.catalogueRead) {
    const std::string commandUrl = CommandUrl(state.ServerUrl);
    if (state.ForceCheck)
      ports.sendConfiguration(commandUrl, state.ClientName, catalogue, state.Transfer);

    DownloadSettings settings;
    settings.ServerUrl = state.ServerUrl;
    settings.UseLocalServer = state.UseLocalServer;
    settings.ProgramFolder = state.ProgramFolder;
    settings.ClientName = state.ClientName;
    settings.UpdateKey = state.UpdateKey;
    settings.Transfer = state.Transfer;
    for (int i = 0; i < catalogue.count && !outcome.stopped; ++i) {
      const PackageRecord& record = catalogue.records[static_cast<size_t>(i)];
      const PackageRole role = RoleOf(record);
      if (role == PackageRole::kNotInstalled) continue;
      if (role == PackageRole::kDetected) state.DetectedApplications.insert(record.Desc.str());
      const PackageCheck check = ports.downloadPackage(record, settings, state.UtilityNeeded);
      ++outcome.packages;
      if (check.failures > 0 && outcome.failures == 0) outcome.firstFailure = check.firstFailure;
      outcome.failures += check.failures;
      outcome.stopped = check.stopped;
    }
  }
  // Once per pass, for all packages at once; a stopping service starts nothing.
  outcome.utilityNeeded = state.UtilityNeeded;
  if (state.UtilityNeeded && !outcome.stopped)
    outcome.utilityStarted = ports.launchUpdateUtility(state.ProgramFolder);
  return outcome;
}

long AskServerTime(const std::string& serverUrl, const TransferOptions& options) {
  const std::string reply = PostCommand(CommandUrl(serverUrl), SvrTimeCommand(), options);
  return ReplyNumber(ReadReplyField(reply, "Time", kTimeCapacity));
}

}  // namespace vornix
