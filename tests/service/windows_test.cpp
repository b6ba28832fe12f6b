// The service's windows on Qt's offscreen platform: controls, enabled states, commands, the
// tray menu, the About box, notices and the splash.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <future>

#include "common/activity_log.h"
#include "common/identity.h"
#include "common/ui/dialog_units.h"
#include "platform/registry.h"
#include "platform/window_link.h"
#include "service/ui/about_dialog.h"
#include "service/ui/artwork.h"
#include "service/ui/notice_window.h"
#include "service/ui/service_window.h"
#include "service/ui/splash_window.h"
#include "service/ui/window_listener.h"
#include "testing/support/test_support.h"
#include "tests/service/fakes.h"
#include "testing/support/qt_wait.h"

namespace vornix {
namespace {

using testing::ProcessEventsUntil;
using testing::RecordingNotices;
using testing::ScopedSystemRoot;
using testing::ScriptedBoxes;
using testing::TempDir;

QString Q(const char* s) {
  return QString::fromLatin1(s);
}

class ServiceWindowTest : public ::testing::Test {
 protected:
  ServiceWindowTest() {
    ProcessLog().OpenLogIn(logDir.path() + "/");
    // Settings first: nothing may ever point at a server beyond loopback.
    auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
    key->SetDword("DefaultServer", 1);
    key->SetString("UrlOut", "127.0.0.1:9");
    ServiceWindow::Options options;
    options.boxes = &boxes;
    options.notices = &notices;
    options.listen = false;
    options.askServerTime = [](const std::string&) { return 0L; };
    options.runPass = [this](ServiceState& s) { passes.push_back(s.ForceCheck); };
    options.readClientName = [] { return ClientIdentity{"PC7", "PC7*"}; };
    window = std::make_unique<ServiceWindow>("2.0.0.4", options);
    window->Initialise();
  }
  template <typename W>
  W* Control(const char* id) {
    W* w = window->findChild<W*>(Q(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
  }
  QStringList StaticTexts() {
    QStringList texts;
    for (QLabel* l : window->findChildren<QLabel*>()) texts << l->text();
    return texts;
  }

  ScopedSystemRoot root;
  TempDir logDir;
  ScriptedBoxes boxes;
  RecordingNotices notices;
  std::vector<bool> passes;
  std::unique_ptr<ServiceWindow> window;
};

TEST_F(ServiceWindowTest, ControlsCarryTheirIdsTextsAndStates) {
  EXPECT_EQ(window->windowTitle(), Q("Vornix Update Service"));
  EXPECT_FALSE(window->isVisible());  // created hidden
  EXPECT_EQ(Control<QLabel>("1003")->text(), Q("PC7*"));
  EXPECT_EQ(Control<QLineEdit>("1002")->text(), Q("127.0.0.1:9"));
  EXPECT_EQ(Control<QCheckBox>("1001")->text(),
            Q("&Check to use Local Server for Updates (unchecked will use Vornix Server)"));
  EXPECT_TRUE(Control<QCheckBox>("1001")->isChecked());
  EXPECT_EQ(Control<QPushButton>("1000")->text(), Q("&Apply Changes"));
  EXPECT_FALSE(Control<QPushButton>("1000")->isEnabled());  // not even by the text set in init
  EXPECT_EQ(Control<QPushButton>("1015")->text(), Q("Update &Now"));
  EXPECT_TRUE(Control<QPushButton>("1015")->isEnabled());
  EXPECT_EQ(Control<QPushButton>("57664")->text(), Q("A&bout..."));
  EXPECT_TRUE(StaticTexts().contains(Q("Client ID:")));
  EXPECT_TRUE(StaticTexts().contains(Q("Local Server &URL")));
  EXPECT_EQ(window->state().ClientName, "PC7");
  EXPECT_FALSE(window->state().Initialising);
}

TEST_F(ServiceWindowTest, SizesComeFromDialogUnitsOfTheDialogFont) {
  const QFontMetrics fm(DialogFont());
  const int alphabet =
      fm.horizontalAdvance(Q("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int bx = (alphabet / 26 + 1) / 2, by = fm.height();
  ASSERT_GT(bx, 0);
  auto px = [](int dlu, int base, int div) { return (dlu * base + div / 2) / div; };
  EXPECT_EQ(window->width(), px(293, bx, 4));
  EXPECT_EQ(window->height(), px(84, by, 8));
  const QRect apply = Control<QPushButton>("1000")->geometry();
  EXPECT_EQ(apply.topLeft(), QPoint(px(9, bx, 4), px(63, by, 8)));
  EXPECT_EQ(apply.width(), px(9 + 63, bx, 4) - px(9, bx, 4));
  const QRect about = Control<QPushButton>("57664")->geometry();
  EXPECT_EQ(about.x() + about.width(), px(223 + 63, bx, 4));
}

TEST_F(ServiceWindowTest, EditsEnableApplyAndApplyAnsweredNoRestoresStoredSettings) {
  auto* url = Control<QLineEdit>("1002");
  auto* apply = Control<QPushButton>("1000");
  url->setText(Q("10.1.1.1"));
  EXPECT_TRUE(apply->isEnabled());
  boxes.answer = MessageBoxAnswer::kNo;
  notices.shown.clear();
  apply->click();
  ASSERT_EQ(boxes.asked.size(), 1u);
  EXPECT_EQ(boxes.asked[0].text, "Apply changes");
  EXPECT_EQ(url->text(), Q("127.0.0.1:9"));
  EXPECT_FALSE(apply->isEnabled());
  ASSERT_EQ(notices.shown.size(), 1u);
  EXPECT_EQ(notices.shown[0].first, "No Applications detected");
}

TEST_F(ServiceWindowTest, CheckBoxClickEnablesApplyAndYesStoresTheChoice) {
  auto* box = Control<QCheckBox>("1001");
  auto* apply = Control<QPushButton>("1000");
  box->click();
  EXPECT_TRUE(apply->isEnabled());
  boxes.answer = MessageBoxAnswer::kYes;
  window->OnCommand(kCommandApply);
  EXPECT_FALSE(window->state().UseLocalServer);
  EXPECT_FALSE(box->isChecked());
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_EQ(notices.shown.back().first, "Changes Applied.");
}

TEST_F(ServiceWindowTest, TrayMenuHoldsOpenAboutSeparatorExitWithOpenAsDefault) {
  QMenu* menu = window->trayMenu();
  ASSERT_NE(menu, nullptr);
  const QList<QAction*> actions = menu->actions();
  ASSERT_EQ(actions.size(), 4);
  EXPECT_EQ(actions[0]->text(), Q("&Open..."));
  EXPECT_EQ(actions[0]->data().toInt(), 57601);
  EXPECT_EQ(actions[1]->text(), Q("&About..."));
  EXPECT_EQ(actions[1]->data().toInt(), 57664);
  EXPECT_TRUE(actions[2]->isSeparator());
  EXPECT_EQ(actions[3]->text(), Q("E&xit"));
  EXPECT_EQ(actions[3]->data().toInt(), 57665);
  EXPECT_EQ(menu->defaultAction(), actions[0]);
  // The offscreen platform has no notification area: the icon is silently not added.
  EXPECT_EQ(window->trayIconAdded(), QSystemTrayIcon::isSystemTrayAvailable());
}

TEST_F(ServiceWindowTest, OpenShowsTheWindowAndMinimisingHidesIt) {
  window->trayMenu()->actions()[0]->trigger();
  EXPECT_TRUE(window->isVisible());
  window->setWindowState(Qt::WindowMinimized);
  ProcessEventsUntil([&] { return !window->isVisible(); }, 2000);
  EXPECT_FALSE(window->isVisible());
  window->OnCommand(kCommandOpen);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->isMinimized());
}

TEST_F(ServiceWindowTest, ExitFromTrayMenuAsksAndEndsWithOne) {
  QSignalSpy confirmed(window.get(), &ServiceWindow::shutdownConfirmed);
  boxes.answer = MessageBoxAnswer::kYes;
  window->trayMenu()->actions()[3]->trigger();
  ASSERT_EQ(boxes.asked.size(), 1u);
  EXPECT_EQ(boxes.asked[0].text, "Shut down Vornix Update Service");
  ASSERT_EQ(confirmed.count(), 1);
  EXPECT_EQ(confirmed[0][0].toInt(), 1);
}

TEST_F(ServiceWindowTest, EscapeAsksAndEndsWithZeroAndNoKeepsRunning) {
  QSignalSpy confirmed(window.get(), &ServiceWindow::shutdownConfirmed);
  window->show();
  boxes.answer = MessageBoxAnswer::kNo;
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &escape);
  EXPECT_EQ(boxes.asked.size(), 1u);
  EXPECT_EQ(confirmed.count(), 0);
  EXPECT_TRUE(window->checkTimer().isActive());
  EXPECT_EQ(window->checkTimer().interval(), 60000);
  EXPECT_TRUE(window->isVisible());

  boxes.answer = MessageBoxAnswer::kYes;
  window->close();  // the close box
  ASSERT_EQ(confirmed.count(), 1);
  EXPECT_EQ(confirmed[0][0].toInt(), 0);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(ServiceWindowTest, SilentShutdownCommandAsksNothing) {
  QSignalSpy confirmed(window.get(), &ServiceWindow::shutdownConfirmed);
  boxes.answer = MessageBoxAnswer::kNo;
  window->OnCommand(kCommandSilentExit);
  EXPECT_TRUE(boxes.asked.empty());
  ASSERT_EQ(confirmed.count(), 1);
  EXPECT_EQ(confirmed[0][0].toInt(), 1);
  EXPECT_FALSE(window->checkTimer().isActive());
}

TEST_F(ServiceWindowTest, FirstCheckIsArmedOneMinuteAheadAndUpdateNowRunsItAtOnce) {
  EXPECT_TRUE(window->checkTimer().isActive());
  EXPECT_EQ(window->checkTimer().interval(), 60000);
  EXPECT_EQ(window->checkTimer().timerType(), Qt::PreciseTimer);
  Control<QPushButton>("1015")->click();
  EXPECT_EQ(window->checkTimer().interval(), 100);
  ASSERT_TRUE(ProcessEventsUntil([&] { return !passes.empty(); }, 3000));
  EXPECT_EQ(passes, (std::vector<bool>{true}));
  EXPECT_EQ(window->checkTimer().interval(), 60000);
  EXPECT_EQ(notices.shown.back().first, "Vornix has finished checking for updates.");
}

TEST_F(ServiceWindowTest, AboutCommandOpensAboutBoxWithDetectedApplications) {
  window->controller().state().DetectedApplications = {"Beta", "Alpha"};
  QString version, apps;
  QTimer::singleShot(50, [&] {
    QDialog* about = window->aboutDialog();
    ASSERT_NE(about, nullptr);
    version = about->findChild<QLabel*>(Q("1005"))->text();
    apps = about->findChild<QLabel*>(Q("1012"))->text();
    about->accept();
  });
  window->OnCommand(kCommandAbout);
  EXPECT_EQ(version, Q("Version: 2.0.0.4"));
  EXPECT_EQ(apps, Q("Alpha, Beta"));
  EXPECT_EQ(window->aboutDialog(), nullptr);
}

TEST(AboutDialog, TextsAndEmptyList) {
  AboutDialog about(nullptr, "1.0.0.1", {});
  EXPECT_EQ(about.windowTitle(), Q("About"));
  EXPECT_EQ(about.findChild<QLabel*>(Q("1005"))->text(), Q("Version: 1.0.0.1"));
  EXPECT_EQ(about.findChild<QLabel*>(Q("1012"))->text(), Q("None Detected."));
  EXPECT_EQ(about.findChild<QLabel*>(Q("1010"))->text(), QString());
  EXPECT_EQ(about.findChild<QPushButton*>(Q("1"))->text(), Q("OK"));
  EXPECT_EQ(ApplicationsText({"b", "B", "a"}), Q("B, a, b"));  // byte order
}

// Notice placement for each edge of the task bar, on a 1024 x 768 screen.
TEST(NoticePlacement, TaskBarAtBottomSlidesUpFiveAboveIt) {
  const NoticePlacement p = PlaceNotice(1024, 768, {0, 0, 1024, 728}, 200, 70);
  EXPECT_EQ(p.mode, kNoticeAtBottom);
  EXPECT_EQ(p.x, 824);
  EXPECT_EQ(p.y, 658);
  EXPECT_EQ(p.bottom, 728);
  const ScreenRect f = NoticeFrame(p, 30);
  EXPECT_EQ(f.left, 824);
  EXPECT_EQ(f.width(), 190);
  EXPECT_EQ(f.bottom, 723);
  EXPECT_EQ(f.top, 693);
}

TEST(NoticePlacement, TaskBarAtTopHangsFromWorkAreaTop) {
  const NoticePlacement p = PlaceNotice(1024, 768, {0, 40, 1024, 768}, 200, 70);
  EXPECT_EQ(p.mode, kNoticeAtTop);
  EXPECT_EQ(p.y, 40);
  const ScreenRect f = NoticeFrame(p, 30);
  EXPECT_EQ(f.top, 40);
  EXPECT_EQ(f.bottom, 70);
  EXPECT_EQ(f.left, 824);
}

TEST(NoticePlacement, TaskBarAtLeftOrRightSlidesAtBottom) {
  const NoticePlacement left = PlaceNotice(1024, 768, {60, 0, 1024, 768}, 200, 70);
  EXPECT_EQ(left.mode, kNoticeAtBottom);
  EXPECT_EQ(left.x, 824);
  EXPECT_EQ(NoticeFrame(left, 70).bottom, 763);
  const NoticePlacement right = PlaceNotice(1024, 768, {0, 0, 964, 768}, 200, 70);
  EXPECT_EQ(right.mode, kNoticeAtBottom);
  EXPECT_EQ(right.x, 764);
  EXPECT_EQ(NoticeFrame(right, 70).top, 768 - 70 - 5);
}

TEST(NoticePlacement, NoTaskBarSlidesAtBottom) {
  EXPECT_EQ(PlaceNotice(1024, 768, {0, 0, 1024, 768}, 200, 70).mode, kNoticeAtBottom);
}

// The phases tick by tick: a pixel every 40 ms up to the full height, the hold, and back.
TEST(NoticeAnimation, GrowsHoldsShrinksAndEndsInDueTime) {
  const int h = 70, hold = 500;
  NoticeAnimation a(h, hold);
  NoticeOrder order = a.Start();
  ASSERT_EQ(order.startTimer, kGrowTimerId);
  int running = order.startTimer, period = order.periodMs, elapsed = 0, maxHeight = 0;
  std::vector<int> heights;
  for (int step = 0; step < 1000 && running; ++step) {
    elapsed += period;
    order = a.OnTimer(running);
    if (order.place) heights.push_back(a.currentHeight());
    maxHeight = std::max(maxHeight, a.currentHeight());
    if (order.stopTimer) {
      EXPECT_EQ(order.stopTimer, running);
      running = 0;
    }
    if (order.startTimer) {
      running = order.startTimer;
      period = order.periodMs;
    }
    if (order.destroy) break;
  }
  EXPECT_TRUE(order.destroy);
  EXPECT_EQ(running, 0);
  EXPECT_EQ(maxHeight, h + 1);  // the tick that passes h ends the growing
  ASSERT_EQ(heights.size(), static_cast<size_t>(2 * h - 1 + 1));
  EXPECT_EQ(heights.front(), 1);
  EXPECT_EQ(heights[h - 1], h);
  EXPECT_EQ(heights.back(), 1);
  EXPECT_EQ(heights[h], h);  // shrinking starts from the full height
  // 71 ticks up, the hold, 71 ticks down: about 70 x 40 + 500 + 70 x 40 ms.
  EXPECT_EQ(elapsed, (h + 1) * 40 + hold + (h + 1) * 40);
  EXPECT_EQ(a.OnTimer(7).startTimer, 0);  // other timers are not its own
}

TEST(NoticeWindow, SlidesOutAtWorkAreaCornerAndDestroysItself) {
  QPointer<NoticeWindow> first = new NoticeWindow(Q("Changes Applied."), 50);
  QPointer<NoticeWindow> second =
      new NoticeWindow(Q("Vornix has finished checking for updates."), 50);
  EXPECT_EQ(first->text(), Q("Changes Applied."));
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const NoticePlacement p = first->placement();
  EXPECT_EQ(p.x + p.width, area.x() + area.width());
  ASSERT_TRUE(ProcessEventsUntil([&] { return first && first->currentHeight() >= 20; }, 5000));
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->width(), p.width - 10);
  EXPECT_EQ(first->geometry().bottom() + 1, area.y() + area.height() - 5);
  // Both move on their own timers, at the same place.
  EXPECT_GE(second->currentHeight(), 19);
  EXPECT_EQ(second->x(), first->x());
  const int h = p.height;
  const int due = (2 * h + 2) * 40 + 50;
  ASSERT_TRUE(ProcessEventsUntil([&] { return !first && !second; }, due + 3000));
}

TEST(Splash, ShowsPictureAndClosesOnClickOrEscape) {
  QPointer<SplashWindow> splash = ShowSplash();
  ASSERT_TRUE(splash);
  EXPECT_TRUE(splash->isVisible());
  EXPECT_EQ(splash->size(), SplashPicture().size());
  QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(splash, &click);
  ProcessEventsUntil([&] { return !splash; }, 1000);
  EXPECT_FALSE(splash);

  splash = ShowSplash();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(splash, &escape);
  ProcessEventsUntil([&] { return !splash; }, 1000);
  EXPECT_FALSE(splash);
}

TEST(Splash, ClosesByItselfAfterThreeSeconds) {
  QElapsedTimer clock;
  clock.start();
  QPointer<SplashWindow> splash = ShowSplash();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !splash; }, 6000));
  EXPECT_GE(clock.elapsed(), 2990);
}

// Sends one line on a fresh connection; closes at once unless told to wait for the answer,
// which it returns (the bytes read: 0 when the window ended the connection unanswered).
long SendRawLine(const std::string& line, bool waitForAnswer) {
  const SocketAddress address(WindowSocketPath("Test Window"));
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, address.get(), address.size()) != 0) return -2;
  send(fd, line.data(), line.size(), MSG_NOSIGNAL);
  long n = -3;
  if (waitForAnswer) {
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char buf[16];
    n = recv(fd, buf, sizeof buf, 0);
  }
  close(fd);
  return n;
}

// The window socket, below a system root far longer than a socket address holds: commands
// from another thread are handled on the window's thread and answered with the handler's
// result; a line that is no command ends the connection; a command whose sender stopped
// waiting before the window got to it is not carried out.
TEST(WindowListener, HandlesCommandsOnItsThreadAndAnswersEach) {
  ScopedSystemRoot root;
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
      [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000));
  EXPECT_EQ(answer.get(), std::optional<long>(42));
  EXPECT_EQ(handled, (std::vector<int>{7}));

  // A line that is no command: the connection ends unanswered and nothing is handled.
  auto garbled = std::async(std::launch::async, [] { return SendRawLine("WM_PAINT 5\n", true); });
  ASSERT_TRUE(ProcessEventsUntil(
      [&] { return garbled.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
      6000));
  EXPECT_EQ(garbled.get(), 0L);

  // Sent while the window was busy, by a sender that gave up before the window got to it.
  EXPECT_EQ(SendRawLine("WM_COMMAND 57602\n", false), -3L);
  ProcessEventsUntil([] { return false; }, 300);
  EXPECT_EQ(handled, (std::vector<int>{7}));

  listener.Close();
  EXPECT_FALSE(testing::PathExists(WindowSocketPath("Test Window")));
  EXPECT_FALSE(FindWindowByTitle("Test Window"));
}

}  // namespace
}  // namespace vornix
