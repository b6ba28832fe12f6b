#include "updater/ui/update_app.h"

#include <QMessageBox>
#include <cstdio>

#include "common/activity_log.h"
#include "common/ui/offscreen.h"
#include "platform/host.h"
#include "platform/module.h"
#include "platform/process.h"
#include "updater/core/command_line.h"
#include "updater/ui/update_dlg.h"

namespace vornix {

void ShowErrorBox(const std::string& text) {
  if (RunningOffscreen()) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return;
  }
  QMessageBox::warning(nullptr, "VornixUpdate", QString::fromStdString(text));
}

CUpdateApp::CUpdateApp() : startSockets(StartSockets), messageBox(ShowErrorBox) {}

int CUpdateApp::InitInstance(const std::vector<std::string>& words) {
  if (!startSockets()) {
    messageBox(kSocketsFailedText);
    return 1;
  }
  // Package paths are relative to the program folder, whoever started the utility.
  ChangeFolder(ModuleFolder());
  ProcessLog().SetFileNames(kUpdaterLogNames);
  ProcessLog().OpenLog();
  WriteLogLine(kStartedText);

  const RunOptions options = ParseArguments(words);
  if (!options.hasSelector) return 0;
  CUpdateDlg dlg(options, passHooks);
  dlg.exec();
  return 0;
}

}  // namespace vornix
