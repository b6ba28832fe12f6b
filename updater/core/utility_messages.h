#pragma once

#include <string>
#include <string_view>

#include "common/transport.h"

namespace vornix {

// The utility's LOGMSG sender: the client name is worked out once; the address (UrlOut of the
// settings key) and the authorities (CaFile) at every message for as long as the address is
// still empty. Without an address the message is not sent.
class UpdaterMessenger {
 public:
  explicit UpdaterMessenger(TransferOptions options = {}) : options_(std::move(options)) {}
  void SendLogMessage(std::string_view message);
  const std::string& CommandUrl() const { return commandUrl_; }

 private:
  TransferOptions options_;
  std::string clientName_;
  std::string commandUrl_;
};

// Asks the qorax program's local listener to end; the reply is dropped.
void SendShutdownRequest(const TransferOptions& options);

}  // namespace vornix
