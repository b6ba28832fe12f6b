#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>

#include "platform/window_link.h"
#include "service/core/service_state.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace vornix::testing {

// The built service copied into a program folder of its own (once per folder) and run there in
// the background with its own system root, on Qt's offscreen platform unless `env` says
// otherwise. Killed, if still running, when the object goes away.
class ServiceProcess : public BackgroundProcess {
 public:
  ServiceProcess(const std::string& folder, const std::string& root,
                 std::map<std::string, std::string> env = {});
  std::string Output() const { return ReadFileBytes(output_); }  // stdout and stderr so far

 private:
  static inline int started_ = 0;
  std::string output_;
};

// What a service without UpdateKey says on standard error at its start when it runs as root.
inline std::string RootWarningWhenRoot() {
  return geteuid() != 0
             ? ""
             : "Vornix runs as root without UpdateKey: the setups and update commands it runs as "
               "root are checked only against a 16-bit sum from the same server, so whoever "
               "controls the server or the network between can run any program on this machine; "
               "set UpdateKey (README, Security)\n";
}

// Settings that point the service at the server (on loopback) and at its program folder.
void WriteServiceSettings(const std::string& serverAddress, const std::string& programFolder);

}  // namespace vornix::testing
