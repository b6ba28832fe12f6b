// VornixResetPkg <program id>: empties the recorded setup build of one package.
#include <QApplication>
#include <cstdio>

#include "common/ui/offscreen.h"
#include "platform/display.h"
#include "platform/system_root.h"
#include "resetpkg/reset_package.h"
#include "resetpkg/reset_window.h"

int main(int argc, char** argv) {
  const std::string programId =
      vornix::CommandLineTail(std::vector<std::string>(argv, argv + argc));
  vornix::ChooseOffscreenWithoutDisplay();
  vornix::ProvideRuntimeFolder();
  vornix::QuietenOffscreenPlatform();
  QApplication app(argc, argv);

  vornix::ResetWindow window;
  window.show();
  window.repaint();  // painted before the reset; there is no message loop
  QApplication::processEvents();

  const vornix::ResetResult result = vornix::ResetPackage(programId);
  if (!result.message.empty()) std::fprintf(stderr, "%s\n", result.message.c_str());
  return static_cast<int>(result.outcome);
}
