#include "service/core/check_cycle.h"

#include "common/identity.h"
#include "common/protocol.h"
#include "common/transport.h"
#include "service/core/registration.h"
#include "service/core/utility_launch.h"

namespace vornix {

CheckPassPorts SystemCheckPassPorts() {
  CheckPassPorts ports;
  ports.sendConfiguration = [](const std::string& url, const std::string& client,
                               const PackageCatalogue& catalogue) {
    SendConfiguration(url, client, catalogue);
  };
  ports.downloadPackage = [](const PackageRecord& record, const DownloadSettings& settings,
                             bool& utilityNeeded) {
    DownloadPackage(record, settings, utilityNeeded);
  };
  ports.launchUpdateUtility = [](const std::string& folder) { LaunchUpdateUtility(folder); };
  return ports;
}

void RunCheckCycle(ServiceState& state, const CheckPassPorts& ports) {
  state.DetectedApplications.clear();
  state.UtilityNeeded = false;

  PackageCatalogue catalogue;
  if (LoadCatalogue(CataloguePath(), catalogue)) {
    const std::string commandUrl = CommandUrl(state.ServerUrl);
    if (state.ForceCheck) ports.sendConfiguration(commandUrl, state.ClientName, catalogue);

    DownloadSettings settings;
    settings.ServerUrl = state.ServerUrl;
    settings.UseLocalServer = state.UseLocalServer;
    settings.ProgramFolder = state.ProgramFolder;
    settings.ClientName = state.ClientName;
    settings.UpdateKey = state.UpdateKey;
    for (int i = 0; i < catalogue.count; ++i) {
      const PackageRecord& record = catalogue.records[static_cast<size_t>(i)];
      // The service's own package is checked whether or not its program file is found.
      if (record.Name.str() == kServicePackageName) {
        ports.downloadPackage(record, settings, state.UtilityNeeded);
      } else if (IsPackageInstalled(record)) {
        state.DetectedApplications.insert(record.Desc.str());
        ports.downloadPackage(record, settings, state.UtilityNeeded);
      }
    }
  }
  // Once per pass, for all packages at once.
  if (state.UtilityNeeded) ports.launchUpdateUtility(state.ProgramFolder);
}

long AskServerTime(const std::string& serverUrl) {
  const std::string reply = PostCommand(CommandUrl(serverUrl), SvrTimeCommand());
  return ReplyNumber(ReadReplyField(reply, "Time", kTimeCapacity));
}

}  // namespace vornix
