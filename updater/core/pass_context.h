#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "common/catalogue.h"
#include "common/package_places.h"
#include "updater/core/command_line.h"
#include "updater/core/progress_front.h"

namespace vornix {

// What every step of the utility's pass shares: where the programs lie, how the pass reaches the
// window and the system, what the command line asked for, and what the pass has done so far.

inline constexpr const char* kAllSelector = "ALL";

// Waits of the pass, in milliseconds.
inline constexpr int kShutdownWaitMs = 2000;        // after asking qorax to end
inline constexpr int kCopyStartWaitMs = 2000;       // the copy lets the first process end
inline constexpr int kCopyFailedWaitMs = 2000;      // before applying the update in place
inline constexpr int kPassLockWaitMs = 120 * 1000;  // a hand-over's copy waits for the pass lock
// How long the service may take to end once asked: a service in the middle of a check answers
// only after the server request it waits for, which may take the transfer's 75 s.
inline constexpr int kServiceStopWaitMs = 90 * 1000;

// The status line of a package whose setup or update failed: its Desc and the error text.
inline constexpr const char* kSetupErrorText = "Arvel Application '%s' setup error '%s'";
inline constexpr const char* kUpdateErrorText = "Arvel Application '%s' update error '%s'";

// What the pass asks of the system beyond files and processes; tests record or shorten it.
struct PassHooks {
  std::function<void(int ms)> sleepMs;
  std::function<void()> sendShutdownRequest;
  std::function<void(std::string_view)> sendLogMessage;
  std::function<std::string()> moduleFileName;
  int passLockWaitMs = kPassLockWaitMs;
  int serviceStopWaitMs = kServiceStopWaitMs;
};
PassHooks SystemPassHooks();

// What a pass has done, for the pass itself, the dialog and the tests.
struct PassResults {
  bool qoraxSetupStarted = false;   // then no other package's program is started again
  bool vornetSetupStarted = false;  // then only the service is started again
  bool changesMade = false;         // an update applied or a setup started
  bool restart = false;             // programs are started again after their package
  // With "appstart", OK starts the program of the last package updated, in its folder.
  std::string startFolder;
  std::string startCommand;
};

struct PassContext {
  PassContext(ProgressFront& front, const RunOptions& options, PassHooks hooks,
              std::string programFolder);

  bool SelectorIsAll() const;
  // The places of a package's files below the program folder.
  PackagePlaces Places(std::string_view name) const { return {programFolder, name}; }
  // LOGMSG to the server.
  void Report(std::string_view text) const;
  // A step of a package that failed: `error` in the log with its detail, to the server, and on
  // the status line, filled into `statusFormat` (kSetupErrorText, kUpdateErrorText) after the
  // package's Desc.
  void FailStep(const PackageRecord& record, const char* statusFormat, const std::string& error,
                const char* detail) const;
  void Wait(int ms) const;

  ProgressFront& front;
  const PassHooks hooks;
  const std::string programFolder;  // ends in '/'
  const RunOptions options;
  PassResults results;
  // The service did not end when asked: its package is left alone for the rest of the pass.
  bool serviceStillRunning = false;
  // The catalogue index of the package the pass works on, -1 outside a pass (the package is
  // then found by its Name).
  int recordIndex = -1;
};

// printf-style filling of one "%s" after another, without a fixed buffer.
std::string FillText(std::string_view format, std::initializer_list<std::string_view> values);

}  // namespace vornix
