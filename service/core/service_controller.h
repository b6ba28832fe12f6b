#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "common/identity.h"
#include "service/core/check_cycle.h"
#include "service/core/check_timer.h"
#include "service/core/message_box.h"
#include "service/core/ports.h"
#include "service/core/service_state.h"

namespace vornix {

inline constexpr const char* kShutdownQuestion = "Shut down Vornix Update Service";
inline constexpr const char* kShutdownCaption = "Notice";
inline constexpr int kExitCodeClose = 0;  // close box, Escape
inline constexpr int kExitCodeExit = 1;   // "E&xit" and the silent shutdown
inline constexpr int kWriteProblemNoticeHoldMs = 5000;

// The service's behaviour behind its window, without the window: initialisation, the check
// timer's ticks, "Update &Now", Apply Changes and the shutdown question. The window layer
// passes in its timer, notices and message boxes.
class ServiceController {
 public:
  struct Ports {
    CheckTimerPort* timer = nullptr;
    Notices* notices = nullptr;
    MessageBoxes* boxes = nullptr;
    std::function<long(const std::string& serverUrl)> askServerTime;  // default: SVRTIME
    std::function<CheckOutcome(ServiceState&)> runPass;               // default: RunCheckCycle
    std::function<ClientIdentity()> readClientName;                   // default: ReadClientName
    // Runs a transfer while the window stays answered (TransferOptions::runTransfer).
    std::function<void(const std::function<void()>&)> runTransfer;
  };

  explicit ServiceController(Ports ports);

  ServiceState& state() { return state_; }
  const ServiceState& state() const { return state_; }

  // Window initialisation after the tray icon: ProgramFolder and the client identity (the
  // display text for the "Client ID:" line is returned), then the settings, then what the
  // service cannot write (see CheckWriteAccess).
  std::string Identify();
  void LoadAndSaveSettings();
  // The forced first check one minute later; initialisation ends with it.
  void ArmStartupCheck();

  void OnCheckTimerTick();
  void UpdateNow();
  bool ApplyChanges(const std::string& urlEditText, bool useLocalChecked);

  // The shutdown with its question (unless SilentExit): the exit code when the service is to
  // end, nothing when the user declined and the service goes on.
  std::optional<int> RequestShutdown(int exitCode);
  std::optional<int> SilentShutdown();

  // Set once a shutdown is confirmed: a transfer running then ends, a pass ends where it stands.
  bool stopping() const { return stopping_; }

 private:
  void RecordCheck(const char* kind, const std::string& outcome, const std::string& utility);
  void Apply(const CheckStep& step);
  // A service that cannot write its folders would do nothing, silently, for ever: each place
  // it cannot write is said on standard error, in the log and in a notice, at start-up and
  // again before every pass until it can.
  void CheckWriteAccess();

  Ports ports_;
  std::atomic<bool> stopping_{false};
  ServiceState state_;
  CheckTimer checkTimer_{state_};
};

}  // namespace vornix
