#pragma once

#include <functional>
#include <string>
#include <vector>

#include "updater/core/package_pass.h"

namespace vornix {

// The application object: starts up, reads the command line and runs CUpdateDlg modally.
class CUpdateApp {
 public:
  std::function<bool()> startSockets;  // Windows Sockets start-up
  std::function<void(const std::string&)> messageBox;
  PassHooks passHooks = SystemPassHooks();

  CUpdateApp();
  // The whole start-up, from the program's words (argv); the process's exit code.
  int InitInstance(const std::vector<std::string>& words);
};

inline constexpr const char* kSocketsFailedText = "Windows sockets initialization failed.";
inline constexpr const char* kStartedText = "Vornix Update started.";

}  // namespace vornix
