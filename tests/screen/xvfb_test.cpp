// The service in a real X window under Xvfb: found by its title, "Update &Now" clicked by its
// coordinates, the pass seen at the server, screenshots of the window and a notice kept.
#include "tests/process/service_process.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <filesystem>

#include "common/ui/dialog_units.h"
#include "tests/screen/pixels.h"

namespace vornix {
namespace {

using namespace std::chrono_literals;
using testing::WaitFor;

// xdotool found along PATH: its output, empty when it failed.
std::string Xdotool(std::vector<std::string> args) {
  args.insert(args.begin(), {"/usr/bin/env", "xdotool"});
  const auto result = testing::RunProcess(args, {}, {}, 10s);
  return result.exitCode == 0 ? result.output : std::string();
}

// A screenshot of a part of the screen, kept in the artefact folder.
QImage Shot(int x, int y, int w, int h, const std::string& name) {
  const QImage image = QGuiApplication::primaryScreen()->grabWindow(0, x, y, w, h).toImage();
  std::filesystem::create_directories(testing::ArtefactFolder());
  EXPECT_TRUE(image.save(QString::fromStdString(testing::ArtefactFolder() + "/" + name)));
  return image;
}

TEST(ServiceUnderXvfb, UpdateNowClickedInRealWindowReachesServer) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display || Xdotool({"version"}).empty()) {
    GTEST_SKIP() << "no X display (run under xvfb-run) or no xdotool: real-window test skipped";
  }
  testing::ScopedSystemRoot root;
  testing::TempDir repo, programs;
  testing::ReferenceServer server(testing::ReferenceServerOptions::ForRepository(repo.path()));
  ASSERT_TRUE(server.Start());
  const std::string programFolder = programs / "Vornix";
  testing::WriteServiceSettings(server.address(), programFolder);
  testing::ServiceProcess service(programFolder, root.path(),
                                  {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", display}});
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(WaitFor([] { return FindWindowByTitle(kServiceWindowTitle); }, 20s))
      << service.Output();
  // The window is hidden until "&Open...", as from the tray menu.
  EXPECT_EQ(SendWindowCommand(kServiceWindowTitle, kCommandOpen, 10000), std::optional<long>(0));
  std::string id;
  ASSERT_TRUE(WaitFor(
      [&] {
        return !(id = Xdotool({"search", "--onlyvisible", "--name", "^Vornix Update Service$"}))
                    .empty();
      },
      10s));
  id = id.substr(0, id.find('\n'));
  int x = 0, y = 0, w = 0, h = 0;
  ASSERT_EQ(std::sscanf(Xdotool({"getwindowgeometry", "--shell", id}).c_str(),
                        "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &x, &y, &w, &h),
            4);
  const QRect button = DialogToPixels({115, 63, 63, 16}, BaseUnitsOf(DialogFont()));
  ASSERT_TRUE(w >= button.right() && h >= button.bottom());
  testing::SleepMs(300);  // painted
  // The settings shown and the controls in their places: the server's address in the URL edit
  // from its left, "Update Now" in dark letters, "Apply Changes" greyed (nothing edited yet),
  // and nothing in the row between the check box and the buttons.
  const QImage window = Shot(x, y, w, h, "service_window.png");
  const DialogBaseUnits base = BaseUnitsOf(DialogFont());
  const auto marks = [&](const DialogRect& r, int inset) {
    const QRect area = DialogToPixels(r, base).adjusted(inset, inset, -inset, -inset);
    return testing::MarksIn(window, area, window.pixel(1, h - 2));
  };
  const QRect address = marks({93, 24, 193, 14}, 2).darkBounds;
  EXPECT_LE(address.left() - DialogToPixels({93, 24, 193, 14}, base).left(), 6);
  EXPECT_NEAR(
      address.width(),
      QFontMetrics(DialogFont()).horizontalAdvance(QString::fromStdString(server.address())), 3);
  EXPECT_GT(marks({115, 63, 63, 16}, 0).dark, 0);
  const testing::Marks apply = marks({9, 63, 63, 16}, 0);
  EXPECT_TRUE(apply.count > 0 && apply.dark == 0) << "Apply Changes drawn, and greyed";
  EXPECT_EQ(marks({0, 54, 293, 9}, 0).count, 0);

  server.ClearRequests();
  Xdotool({"mousemove", "--window", id, std::to_string(button.center().x()),
           std::to_string(button.center().y())});
  Xdotool({"click", "1"});
  ASSERT_TRUE(WaitFor([&] { return server.Log().size() >= 3; }, 20s)) << service.Output();
  EXPECT_EQ(server.Log(), (std::vector<std::string>{"CONFIG", "SETUPINFO vornet",
                                                    "UPDATEINFO vornet"}));  // a forced pass

  // The finish notice grows a pixel every 40 ms at the bottom right of the work area: whatever
  // its height, its frame ends 10 pixels left of the area's right edge and 5 above its bottom.
  testing::SleepMs(2600);
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QImage corner =
      Shot(area.right() - 400, area.bottom() - 200, 400, 200, "service_notice.png");
  const QRect notice = testing::MarksIn(corner, corner.rect(), corner.pixel(0, 0)).bounds;
  EXPECT_FALSE(notice.isEmpty()) << "something stands out of the desktop";
  EXPECT_EQ(notice.bottomRight(), QPoint(400 - 10, 200 - 5));
  EXPECT_EQ(SendWindowCommand(kServiceWindowTitle, kCommandSilentExit, 10000),
            std::optional<long>(0));
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
