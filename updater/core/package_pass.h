#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/catalogue.h"
#include "common/package_markers.h"
#include "common/program_contract.h"
#include "platform/file_descriptor.h"
#include "updater/core/command_line.h"
#include "updater/core/progress_front.h"

namespace vornix {

inline constexpr const char* kAllSelector = "ALL";

// Waits of the pass, in milliseconds.
inline constexpr int kShutdownWaitMs = 2000;        // after asking qorax to end
inline constexpr int kCopyStartWaitMs = 2000;       // the copy lets the first process end
inline constexpr int kCopyFailedWaitMs = 2000;      // before applying the update in place
inline constexpr int kPassLockWaitMs = 120 * 1000;  // a hand-over's copy waits for the pass lock
// How long the service may take to end once asked: a service in the middle of a check answers
// only after the server request it waits for, which may take the transfer's 75 s.
inline constexpr int kServiceStopWaitMs = 90 * 1000;

inline constexpr const char* kPassLockName = "VornixUpdate.pass";
// The hand-over: the utility's program file is copied to VornixUpdate1 beside it, which is
// started with the selector and "quiet restart".
inline constexpr const char* kUtilityProgram = "VornixUpdate";
inline constexpr const char* kCopyProgram = "VornixUpdate1";
// The status line of a package whose setup or update failed: its Desc and the error text.
inline constexpr const char* kSetupErrorText = "Arvel Application '%s' setup error '%s'";
inline constexpr const char* kUpdateErrorText = "Arvel Application '%s' update error '%s'";

// The copy is recognised by the ending of its program file name.
inline constexpr const char* kCopyNameEnding = "1";

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

// One run of the utility: walks the catalogue, applies updates and starts setups of the
// packages that lie ready in the program folder (the current folder).
class PackagePass {
 public:
  PackagePass(ProgressFront& front, const RunOptions& options, PassHooks hooks = SystemPassHooks());

  // Reads the catalogue, processes "vornet" first and then the selected packages, writes the
  // catalogue back and ends the dialog where the run asks for it.
  void RunPackagePass();
  void ProcessPackage(PackageRecord& record);
  void ApplyUpdate(PackageRecord& record);
  bool RunSetupIfNew(PackageRecord& record);
  bool PrepareProgram(PackageRecord& record, bool forSetup);
  // OK: with "appstart", starts the program of the last package updated in this run.
  void OnOk();

  bool SelectorIsAll() const;

  std::string m_selector;
  bool m_quiet = false;
  bool m_restart = false;
  bool m_appStart = false;
  std::string m_startFolder;
  std::string m_startCommand;

 private:
  void RestartProgram(const PackageRecord& record);
  bool StopService();

  // With an UpdateKey in the settings, a setup or an update whose open file and marker do not
  // carry the publisher's signature, or are older than what the service took before, is
  // refused as a failed step (log line, report, status); true then.
  // What is checked is what the open file holds, and what is then acted on (a private copy
  // where others may write into the file: see DigestOfCheckedBytes).
  bool RefuseUnsignedSetup(const PackageRecord& record, std::string_view build,
                           FileDescriptor& setup);
  bool RefuseUnsignedUpdate(const PackageRecord& record, const UpdateMarker& script,
                            FileDescriptor& update);
  bool RefuseStep(const PackageRecord& record, const char* statusFormat, std::string_view file,
                  const std::string& problem);
  void Report(std::string_view text);
  void Wait(int ms);

  ProgressFront& front_;
  PassHooks hooks_;
  // Records an applied update's build in the catalogue, changing nothing else there; the
  // empty text, or why it could not.
  std::string RecordUpdate(const PackageRecord& record, std::string_view build);

  // The service did not end when asked: its package is left alone for the rest of the run.
  bool serviceStillRunning_ = false;
  // The catalogue index of the package the pass works on, -1 outside a pass (the package is
  // then found by its Name).
  int recordIndex_ = -1;
};

// printf-style filling of one "%s" after another, without a fixed buffer.
std::string FillText(std::string_view format, std::initializer_list<std::string_view> values);

}  // namespace vornix
