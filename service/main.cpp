// Vornix, the update service: one instance in the background with a tray icon, checking the
// update server about once an hour. It reads no command line.
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "common/activity_log.h"
#include "common/product_version.h"
#include "common/trust_settings.h"
#include "common/ui/offscreen.h"
#include "platform/display.h"
#include "platform/module.h"
#include "platform/named_mutex.h"
#include "platform/system_root.h"
#include "service/core/registration.h"
#include "service/core/service_state.h"
#include "service/core/settings.h"
#include "service/ui/qt_message_boxes.h"
#include "service/ui/service_window.h"
#include "service/ui/splash_window.h"

int main(int argc, char** argv) {
  vornix::ChooseOffscreenWithoutDisplay();
  vornix::ProvideRuntimeFolder();
  vornix::QuietenOffscreenPlatform();
  QApplication app(argc, argv);
  // The main window stays hidden and notices come and go: only a shutdown ends the loop.
  QApplication::setQuitOnLastWindowClosed(false);

  const vornix::NamedMutex mutex(vornix::kServiceMutexName);
  if (mutex.state() != vornix::NamedMutex::State::kAcquired) {
    // One service at a time, and without its lock the service cannot know it runs alone: said,
    // in the log of its folder too (the running instance's), and left at once.
    const std::string lockFile = vornix::NamedMutex::LockFilePath(vornix::kServiceMutexName);
    const std::optional<int> holder = vornix::NamedMutexHolder(vornix::kServiceMutexName);
    const bool runs = mutex.state() == vornix::NamedMutex::State::kAlreadyExists;
    const std::string line =
        runs ? "Vornix runs already" +
                   (holder ? " as process " + std::to_string(*holder) : std::string()) +
                   " (it holds " + lockFile + "): this start ends"
             : "Vornix cannot take its lock " + lockFile + ": " + std::strerror(mutex.error()) +
                   ": this start ends";
    vornix::ProcessLog().SetFileNames(vornix::kServiceLogNames);
    vornix::ProcessLog().UseFolder(vornix::ModuleFolder());
    vornix::SayProblem(line);
    return runs ? 0 : 1;
  }

  // Only the service that runs enters its folder in the catalogue: a copy started from another
  // folder while it runs must not turn the running service's own updates to itself.
  vornix::QtMessageBoxes boxes;
  const std::string registration = vornix::RegisterServicePackage(vornix::RunningFolder(), boxes);
  if (!registration.empty()) std::fprintf(stderr, "%s\n", registration.c_str());

  vornix::ProcessLog().SetFileNames(vornix::kServiceLogNames);
  vornix::ProcessLog().OpenLog();
  const std::string serviceVersion = vornix::ServiceVersionText(vornix::ReadProductVersion());
  vornix::ProcessLog().SetVersionText(serviceVersion);
  if (!registration.empty()) vornix::WriteLogLine(registration);

  vornix::ShowSplash();

  int exitCode = 0;
  {
    vornix::ServiceWindow window(serviceVersion);
    QObject::connect(&window, &vornix::ServiceWindow::shutdownConfirmed, &app,
                     [](int code) { QCoreApplication::exit(code); });
    window.Initialise();
    window.hide();
    const std::string warning = vornix::UnprotectedRootWarning(window.state(), geteuid() == 0);
    if (!warning.empty()) vornix::SayProblem(warning);
    exitCode = QApplication::exec();
  }  // the window goes, and its tray icon with it
  return exitCode;
}
