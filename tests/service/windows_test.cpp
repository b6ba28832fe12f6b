// The service's windows on Qt's offscreen platform: controls and their states, commands, the
// tray menu, the About box and the window socket.
#include "tests/service/fixtures.h"

#include "common/settings_key.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <future>

#include "platform/window_link.h"
#include "service/ui/about_dialog.h"
#include "service/ui/service_window.h"
#include "service/ui/window_listener.h"
#include "testing/support/qt_wait.h"

namespace vornix {
namespace {

using testing::ProcessEventsUntil;

class ServiceWindowTest : public ::testing::Test {
 protected:
  ServiceWindowTest() {
    // Settings first: nothing may ever point at a server beyond loopback.
    auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
    key->SetDword("DefaultServer", 1);
    key->SetString("UrlOut", "127.0.0.1:9");
    ServiceWindow::Options options;
    options.boxes = &boxes;
    options.notices = &boxes;
    options.listen = false;
    options.readClientName = [] { return ClientIdentity{"PC7", "PC7*"}; };
    window = std::make_unique<ServiceWindow>("2.0.0.4", options);
    window->Initialise();
    boxes.Take();
  }

  testing::ScopedSystemRoot root;
  RecordingWindow boxes;  // the message boxes and the notices
  std::unique_ptr<ServiceWindow> window;
};

// Edits enable Apply (the values set at start do not); no restores the stored settings, yes
// stores at most 511 characters of the edit, an empty address too, which the next start replaces
// by the default.
TEST_F(ServiceWindowTest, ControlsShowTheSettingsAndApplyThem) {
  EXPECT_FALSE(window->isVisible());  // created hidden
  EXPECT_EQ(window->findChild<QLabel*>("1003")->text(), "PC7*");
  auto* url = window->findChild<QLineEdit*>("1002");
  auto* local = window->findChild<QCheckBox*>("1001");
  auto* apply = window->findChild<QPushButton*>("1000");
  EXPECT_EQ(url->text(), "127.0.0.1:9");
  EXPECT_TRUE(local->isChecked());
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_EQ(window->state().ClientName, "PC7");

  url->setText("10.1.1.1");
  EXPECT_TRUE(apply->isEnabled());
  boxes.answer = MessageBoxAnswer::kNo;
  apply->click();
  EXPECT_EQ(url->text(), "127.0.0.1:9");
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_EQ(boxes.Take(), (Lines{"Notice: Apply changes", "No Applications detected 500"}));

  local->click();
  EXPECT_TRUE(apply->isEnabled());
  url->setText(QString(600, QChar('u')));
  boxes.answer = MessageBoxAnswer::kYes;
  window->OnCommand(kCommandApply);
  EXPECT_FALSE(local->isChecked());
  EXPECT_FALSE(apply->isEnabled());
  ServiceState next;
  LoadSettings(next, boxes);
  EXPECT_EQ(next.ServerUrl, std::string(511, 'u'));
  EXPECT_FALSE(next.UseLocalServer);
  url->setText(QString());
  window->OnCommand(kCommandApply);
  EXPECT_EQ(window->state().ServerUrl, "");
  LoadSettings(next, boxes);
  EXPECT_EQ(next.ServerUrl, "192.168.10.1");
  const Lines applied = {"Notice: Apply changes", "Changes Applied. 500",
                         "No Applications detected 500"};
  EXPECT_EQ(boxes.Take(), applied + applied);
}

// Open, minimise, About; then escape, the close box and its command end with 0, "E&xit" with 1,
// after the question; no keeps it running with its timer; the silent shutdown asks nothing.
TEST_F(ServiceWindowTest, OpenMinimiseAboutAndShutdownRequests) {
  window->trayMenu()->actions()[0]->trigger();  // "&Open..."
  EXPECT_TRUE(window->isVisible());
  window->setWindowState(Qt::WindowMinimized);
  EXPECT_TRUE(ProcessEventsUntil([&] { return !window->isVisible(); }, 2000));
  window->OnCommand(kCommandOpen);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->isMinimized());

  window->controller().state().DetectedApplications = {"Beta", "Alpha"};
  QString version, apps;
  QTimer::singleShot(50, [&] {
    QDialog* about = window->aboutDialog();
    ASSERT_NE(about, nullptr);
    version = about->findChild<QLabel*>("1005")->text();
    apps = about->findChild<QLabel*>("1012")->text();
    about->accept();
  });
  window->OnCommand(kCommandAbout);
  EXPECT_EQ(version, "Version: 2.0.0.4");
  EXPECT_EQ(apps, "Alpha, Beta");
  AboutDialog none(nullptr, "1.0.0.1", {});
  EXPECT_EQ(none.findChild<QLabel*>("1012")->text(), "None Detected.");

  QSignalSpy confirmed(window.get(), &ServiceWindow::shutdownConfirmed);
  window->show();
  boxes.answer = MessageBoxAnswer::kNo;
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &escape);
  EXPECT_TRUE(window->checkTimer().isActive());
  EXPECT_TRUE(window->isVisible());
  boxes.answer = MessageBoxAnswer::kYes;
  window->close();
  window->OnCommand(kCommandCancel);
  window->trayMenu()->actions()[3]->trigger();  // "E&xit"
  EXPECT_EQ(boxes.Take(), Lines(4, "Notice: Shut down Vornix Update Service"));
  boxes.answer = MessageBoxAnswer::kNo;
  window->OnCommand(kCommandSilentExit);
  EXPECT_EQ(boxes.Take(), Lines{});
  std::vector<int> codes;
  for (const auto& signal : confirmed) codes.push_back(signal[0].toInt());
  EXPECT_EQ(codes, (std::vector<int>{0, 0, 1, 1}));
  EXPECT_FALSE(window->checkTimer().isActive());
}

// The window socket, below a system root far longer than a socket address holds: commands
// from another thread are handled on the window's thread and answered with the handler's
// result; a command whose sender stopped waiting before the window got to it is not carried
// out.
TEST(WindowListener, HandlesCommandsOnItsThreadAndAnswersEach) {
  testing::ScopedSystemRoot root;
  const std::string longRoot = root.path() + "/" + std::string(150, 'r');
  setenv("VORNIX_SYSTEM_ROOT", longRoot.c_str(), 1);
  std::vector<int> handled;
  const std::thread::id windowThread = std::this_thread::get_id();
  WindowListener listener("Test Window", [&](int id) {
    EXPECT_TRUE(std::this_thread::get_id() == windowThread);
    handled.push_back(id);
    return id == 7 ? 42L : 0L;
  });
  // A socket file left behind by a crashed owner is replaced.
  testing::WriteFileBytes(WindowSocketPath("Test Window"), "stale");
  ASSERT_TRUE(listener.Listen());
  auto answer =
      std::async(std::launch::async, [] { return SendWindowCommand("Test Window", 7, 5000); });
  ASSERT_TRUE(ProcessEventsUntil(
      [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 6000));
  EXPECT_EQ(answer.get(), std::optional<long>(42));
  // Sent while the window was busy, by a sender that gave up before the window got to it.
  EXPECT_EQ(SendWindowCommand("Test Window", 57602, 1), std::nullopt);
  testing::ProcessEventsFor(300);
  EXPECT_EQ(handled, (std::vector<int>{7}));
  listener.Close();
  EXPECT_FALSE(testing::PathExists(WindowSocketPath("Test Window")));
  EXPECT_FALSE(FindWindowByTitle("Test Window"));

  // A socket that cannot be made says why.
  std::string why;
  setenv("VORNIX_SYSTEM_ROOT", root.path().c_str(), 1);
  testing::WriteFileBytes(root.path() + "/run/windows", "a file");
  WindowListener blocked("Test Window", [](int) { return 0L; });
  EXPECT_FALSE(blocked.Listen(&why));
  EXPECT_EQ(why, "the window socket " + WindowSocketPath("Test Window") +
                     " cannot be made: Not a directory");
}

}  // namespace
}  // namespace vornix
