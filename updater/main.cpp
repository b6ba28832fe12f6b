// VornixUpdate [selector] [quiet] [restart] [appstart]: applies what the service left ready.
#include <QApplication>
#include <string>
#include <vector>

#include "common/ui/offscreen.h"
#include "platform/display.h"
#include "platform/process.h"
#include "platform/system_root.h"
#include "updater/ui/update_app.h"

int main(int argc, char** argv) {
  // The words as the program received them, taken before Qt looks at them.
  const std::vector<std::string> words(argv, argv + argc);
  vornix::ChooseOffscreenWithoutDisplay();
  vornix::ProvideRuntimeFolder();
  vornix::QuietenOffscreenPlatform();
  QApplication app(argc, argv);
  vornix::CUpdateApp theApp;
  return theApp.InitInstance(words);
}
