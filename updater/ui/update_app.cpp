#include "updater/ui/update_app.h"

#include "common/activity_log.h"
#include "common/ui/message_box.h"
#include "platform/host.h"
#include "platform/module.h"
#include "updater/core/command_line.h"
#include "updater/ui/update_dlg.h"

namespace vornix {

CUpdateApp::CUpdateApp()
    : startSockets(StartSockets), messageBox([](const std::string& text) {
        ShowMessageBox(nullptr, "VornixUpdate", text, false);
      }) {}

int CUpdateApp::InitInstance(const std::vector<std::string>& words) {
  if (!startSockets()) {
    messageBox(kSocketsFailedText);
    return 1;
  }
  ProcessLog().SetFileNames(kUpdaterLogNames);
  ProcessLog().OpenLog();
  WriteLogLine(kStartedText);

  const RunOptions options = ParseArguments(words);
  if (!options.hasSelector) return 0;
  // The packages lie below the program folder, whoever started the utility and wherever.
  CUpdateDlg dlg(options, passHooks, nullptr, ModuleFolder());
  dlg.exec();
  return 0;
}

}  // namespace vornix
