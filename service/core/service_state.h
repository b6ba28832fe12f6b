#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "common/program_contract.h"
#include "common/transport.h"

namespace vornix {

// Window commands of the service.
inline constexpr int kCommandCancel = 2;     // close box, Escape
inline constexpr int kCommandApply = 1000;   // "&Apply Changes"
inline constexpr int kCommandOpen = 57601;   // "&Open..."
inline constexpr int kCommandAbout = 57664;  // "A&bout...", "&About..."
inline constexpr int kCommandExit = 57665;   // "E&xit"

// Everything the main window keeps for the life of the process.
struct ServiceState {
  bool Initialising = true;  // edits do not enable Apply while true
  bool UseLocalServer = true;
  bool ForceCheck = true;      // the next check runs at once and reports the configuration
  bool SilentExit = false;     // shut down without asking
  bool UtilityNeeded = false;  // a setup or an update was put in place
  bool CheckBusy = false;      // a pass is running
  uint32_t TickCount = 0;      // minutes counted by the check timer
  std::string ServerUrl;
  // Why the stored UrlOut cannot be used, when it cannot: no check runs then, and the stored
  // value is not replaced by the default.
  std::string UrlOutProblem;
  std::string UpdateKey;     // the publisher's public key; empty: signatures are not asked for
  TransferOptions Transfer;  // how the service reaches its server: trust, stop, trace
  std::string ClientName;
  std::string ProgramFolder;                   // ends in '/'
  std::set<std::string> DetectedApplications;  // byte-wise order, each text once
};

// The program's folder as the service uses it: the program's file name up to and including
// its last '/'.
std::string ServiceProgramFolder();

}  // namespace vornix
