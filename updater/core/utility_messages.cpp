#include "updater/core/utility_messages.h"

#include "common/identity.h"
#include "common/program_contract.h"
#include "common/protocol.h"
#include "common/server_address.h"
#include "common/settings_key.h"
#include "common/trust_settings.h"
#include "platform/registry.h"

namespace vornix {

void UpdaterMessenger::SendLogMessage(std::string_view message) {
  if (clientName_.empty()) clientName_ = ReadClientName().ClientName;
  if (commandUrl_.empty()) {
    // The service writes UrlOut; until it has, there is nowhere to send to.
    // Read access is enough to read; the address is read as the service reads it, so the
    // utility reports to every server the service talks to.
    if (auto key = RegistryKey::Open(SettingsKey(), kKeyRead)) {
      const std::string urlOut = key->QueryString("UrlOut", kUrlOutCapacity).value_or("");
      if (!urlOut.empty()) commandUrl_ = vornix::CommandUrl(urlOut);
      const TrustSettings trust = TrustSettingsFrom(*key);
      options_.trust = {trust.CaFile, !trust.CaFileUnusable};
    }
  }
  if (commandUrl_.empty()) return;
  vornix::SendLogMessage(commandUrl_, clientName_, message, options_);
}

void SendShutdownRequest(const TransferOptions& options) {
  PostCommand(kQoraxListener, kShutdownDocument, options);
}

}  // namespace vornix
