// The service in a real X window under Xvfb: found by its title, "Update &Now" clicked by its
// coordinates, the pass seen at the server, screenshots of the window and a notice kept.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "common/identity.h"
#include "common/ui/dialog_units.h"
#include "platform/registry.h"
#include "platform/window_link.h"
#include "service/core/service_state.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"
#include "tests/process/service_process.h"

namespace vornix {
namespace {

using namespace std::chrono_literals;
using testing::ReferenceServer;
using testing::ReferenceServerOptions;
using testing::RunProcess;
using testing::ScopedSystemRoot;
using testing::ServiceProcess;
using testing::TempDir;
using testing::WaitFor;

// xdotool along PATH, or empty.
std::string XdotoolProgram() {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    const size_t end = std::min(folders.find(':', start), folders.size());
    const std::string candidate = folders.substr(start, end - start) + "/xdotool";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

bool HaveDisplayAndTools() {
  const char* display = std::getenv("DISPLAY");
  return display && *display && !XdotoolProgram().empty();
}

std::string Xdotool(const std::vector<std::string>& args) {
  std::vector<std::string> argv{XdotoolProgram()};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto result = RunProcess(argv, {}, {}, 10s);
  return result.exitCode == 0 ? result.output : std::string();
}

struct Geometry {
  int x = 0, y = 0, w = 0, h = 0;
};

// "X=..", "Y=..", "WIDTH=..", "HEIGHT=.." of `xdotool getwindowgeometry --shell`.
Geometry ParseGeometry(const std::string& shell) {
  Geometry g;
  auto value = [&](const std::string& key) {
    const size_t at = shell.find(key + "=");
    return at == std::string::npos ? 0 : std::atoi(shell.c_str() + at + key.size() + 1);
  };
  g.x = value("X");
  g.y = value("Y");
  g.w = value("WIDTH");
  g.h = value("HEIGHT");
  return g;
}

int DistinctColours(const QImage& image) {
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  return static_cast<int>(colours.size());
}

TEST(ServiceUnderXvfb, UpdateNowClickedInRealWindowReachesServer) {
  if (!HaveDisplayAndTools()) {
    GTEST_SKIP() << "no X display (run under xvfb-run) or no xdotool: real-window test skipped";
  }
  ScopedSystemRoot root;
  TempDir repo, programs;
  ReferenceServer server(ReferenceServerOptions::ForRepository(repo.path()));
  ASSERT_TRUE(server.Start());
  const std::string programFolder = programs / "Vornix";
  ASSERT_TRUE(ServiceProcess::InstallProgram(programFolder));
  {
    auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
    ASSERT_TRUE(key);
    key->SetDword("DefaultServer", 1);
    key->SetString("UrlOut", server.address());
    key->SetString("ProgPath", programFolder + "/");
  }
  ServiceProcess service(programFolder, root.path(),
                         {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", std::getenv("DISPLAY")}});
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(WaitFor([] { return FindWindowByTitle(kServiceWindowTitle); }, 20s))
      << service.Output();
  // The window is hidden until "&Open...", as from the tray menu.
  EXPECT_EQ(SendWindowCommand(kServiceWindowTitle, kCommandOpen, 10000), std::optional<long>(0));

  std::string id;
  ASSERT_TRUE(WaitFor(
      [&] {
        id = Xdotool({"search", "--onlyvisible", "--name", "^Vornix Update Service$"});
        return !id.empty();
      },
      10s));
  id = id.substr(0, id.find('\n'));
  const Geometry window = ParseGeometry(Xdotool({"getwindowgeometry", "--shell", id}));
  const QRect button = DialogToPixels({115, 63, 63, 16}, BaseUnitsOf(DialogFont()));
  ASSERT_GE(window.w, button.right());
  ASSERT_GE(window.h, button.bottom());
  testing::SleepMs(300);  // painted

  const std::string artefacts = testing::ArtefactFolder();
  std::filesystem::create_directories(artefacts);
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QPixmap windowShot = screen->grabWindow(0, window.x, window.y, window.w, window.h);
  ASSERT_FALSE(windowShot.isNull());
  EXPECT_GT(DistinctColours(windowShot.toImage()), 4);  // text and buttons, not a blank box
  EXPECT_TRUE(windowShot.save(QString::fromStdString(artefacts + "/service_window.png")));

  server.ClearRequests();
  Xdotool({"mousemove", "--window", id, std::to_string(button.center().x()),
           std::to_string(button.center().y())});
  Xdotool({"click", "1"});
  ASSERT_TRUE(WaitFor(
      [&] {
        const auto log = server.Log();
        return std::find(log.begin(), log.end(), "UPDATEINFO vornet") != log.end();
      },
      20s))
      << service.Output();
  const auto log = server.Log();
  EXPECT_EQ(log.front(), "CONFIG");  // forced pass: the report first

  // The finish notice grows a pixel every 40 ms at the bottom right of the work area.
  testing::SleepMs(2600);
  const QRect area = screen->availableGeometry();
  const QRect corner(area.right() - 400, area.bottom() - 200, 400, 200);
  const QPixmap noticeShot =
      screen->grabWindow(0, corner.x(), corner.y(), corner.width(), corner.height());
  EXPECT_GT(DistinctColours(noticeShot.toImage()), 2);  // something stands out of the desktop
  EXPECT_TRUE(noticeShot.save(QString::fromStdString(artefacts + "/service_notice.png")));

  SendWindowCommand(kServiceWindowTitle, kCommandSilentExit, 10000);
  EXPECT_EQ(service.WaitExit(15s), std::optional<int>(1));
}

}  // namespace
}  // namespace vornix

// Under a display (xvfb-run) the windows are real X windows; without one, offscreen, and the
// cases that need a real window skip.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* display = std::getenv("DISPLAY");
  setenv("QT_QPA_PLATFORM", display && *display ? "xcb" : "offscreen", 1);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
