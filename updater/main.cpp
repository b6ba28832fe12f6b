// VornixUpdate [selector] [quiet] [restart] [appstart]: applies what the service left ready.
#include <QApplication>
#include <string>
#include <vector>

#include "common/ui/offscreen.h"
#include "platform/display.h"
#include "platform/process.h"
#include "updater/ui/update_app.h"

int main(int argc, char** argv) {
  // The command line as a started program receives it, taken before Qt looks at the words.
  const std::string commandLine =
      vornix::JoinCommandLine(std::vector<std::string>(argv, argv + argc));
  vornix::ChooseOffscreenWithoutDisplay();
  vornix::QuietenOffscreenPlatform();
  QApplication app(argc, argv);
  vornix::CUpdateApp theApp;
  return theApp.InitInstance(commandLine);
}
