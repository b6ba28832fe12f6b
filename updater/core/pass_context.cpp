#include "updater/core/pass_context.h"

#include <chrono>
#include <memory>
#include <thread>

#include "common/activity_log.h"
#include "platform/module.h"
#include "platform/text.h"
#include "updater/core/utility_messages.h"

namespace vornix {

PassHooks SystemPassHooks() {
  PassHooks hooks;
  hooks.sleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  // The utility's exchanges are traced like the service's; it waits for each on its thread.
  TransferOptions transfers;
  transfers.trace = TraceWriter();
  hooks.sendShutdownRequest = [transfers] { SendShutdownRequest(transfers); };
  auto messenger = std::make_shared<UpdaterMessenger>(transfers);
  hooks.sendLogMessage = [messenger](std::string_view text) { messenger->SendLogMessage(text); };
  hooks.moduleFileName = [] { return ModuleFileName(); };
  return hooks;
}

PassContext::PassContext(ProgressFront& front, const RunOptions& options, PassHooks hooks,
                         std::string programFolder)
    : front(front),
      hooks(std::move(hooks)),
      programFolder(std::move(programFolder)),
      options(options) {
  results.restart = options.m_restart;
}

bool PassContext::SelectorIsAll() const {
  return EqualsIgnoringCase(options.m_selector, kAllSelector);
}

void PassContext::Report(std::string_view text) const {
  if (hooks.sendLogMessage) hooks.sendLogMessage(text);
}

void PassContext::FailStep(const PackageRecord& record, const char* statusFormat,
                           const std::string& error, const char* detail) const {
  WriteLogLine(error, detail);
  Report(error);
  front.ShowStatus(FillText(statusFormat, {record.Desc.view(), error}));
}

void PassContext::Wait(int ms) const {
  if (hooks.sleepMs) hooks.sleepMs(ms);
}

std::string FillText(std::string_view format, std::initializer_list<std::string_view> values) {
  std::string out;
  auto value = values.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' &&
        value != values.end()) {
      out += *value++;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

}  // namespace vornix
