// The check decision: when the service checks, when it asks the server's time, and which timer
// it arms, driven tick by tick without waiting.
#include <gtest/gtest.h>

#include "service/core/check_timer.h"
#include "service/core/service_controller.h"
#include "testing/support/test_support.h"
#include "tests/service/fakes.h"

namespace vornix {
namespace {

using testing::RecordingNotices;
using testing::RecordingTimer;
using testing::ScopedSystemRoot;
using testing::ScriptedBoxes;
using testing::TempDir;
using testing::WriteFileBytes;

class CheckTimerTest : public ::testing::Test {
 protected:
  CheckTimerTest() {
    ServiceController::Ports ports;
    ports.timer = &timer;
    ports.notices = &notices;
    ports.boxes = &boxes;
    ports.askServerTime = [this](const std::string& url) {
      askedUrls.push_back(url);
      return serverTime;
    };
    ports.runPass = [this](ServiceState& s) {
      passForced.push_back(s.ForceCheck);
      EXPECT_TRUE(s.CheckBusy);
    };
    controller = std::make_unique<ServiceController>(std::move(ports));
    controller->state().ServerUrl = "127.0.0.1:1";
  }

  // Delivers `n` ticks, as the window timer would while it runs.
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      ASSERT_TRUE(timer.running) << "tick " << i << " delivered to a stopped timer";
      controller->OnCheckTimerTick();
    }
  }
  // Brings the service to its hourly rhythm: the start-up pass is over.
  void AfterStartupPass() {
    controller->ArmStartupCheck();
    Ticks(1);
    ASSERT_EQ(passForced.size(), 1u);
    timer.orders.clear();
    notices.shown.clear();
  }

  RecordingTimer timer;
  RecordingNotices notices;
  ScriptedBoxes boxes;
  long serverTime = 0;
  std::vector<std::string> askedUrls;
  std::vector<bool> passForced;
  std::unique_ptr<ServiceController> controller;
};

TEST_F(CheckTimerTest, StartupRunsForcedPassOnFirstTickWithoutAskingServerTime) {
  controller->ArmStartupCheck();
  EXPECT_EQ(timer.orders, (std::vector<std::string>{"start 60000"}));
  EXPECT_TRUE(controller->state().ForceCheck);
  EXPECT_EQ(controller->state().TickCount, 60u);

  Ticks(1);
  EXPECT_TRUE(askedUrls.empty());
  ASSERT_EQ(passForced, (std::vector<bool>{true}));  // the pass sends CONFIG
  EXPECT_EQ(timer.orders, (std::vector<std::string>{"start 60000", "stop", "start 60000"}));
  ASSERT_EQ(notices.shown.size(), 1u);
  EXPECT_EQ(notices.shown[0].first, "Vornix has finished checking for updates.");
  EXPECT_EQ(notices.shown[0].second, 500);
  EXPECT_FALSE(controller->state().ForceCheck);
  EXPECT_FALSE(controller->state().CheckBusy);
  EXPECT_EQ(controller->state().TickCount, 0u);
}

TEST_F(CheckTimerTest, AFolderItCannotWriteIsSaidAtStartAndBeforeEveryPassUntilItCanBe) {
  ScopedSystemRoot root;
  TempDir dir;
  WriteFileBytes(dir / "plain", "");
  controller->state().ProgramFolder = dir / "plain/";  // below a file: nobody can write it
  const std::string text = "Vornix cannot write its program folder " + dir / "plain/";
  ::testing::internal::CaptureStderr();
  controller->LoadAndSaveSettings();
  controller->ArmStartupCheck();
  Ticks(1);
  controller->state().ProgramFolder = dir.path() + "/";
  controller->UpdateNow();
  Ticks(1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            text + ": Not a directory\n" + text + ": Not a directory\n");
  std::vector<std::string> shown;
  for (const auto& [notice, holdMs] : notices.shown) shown.push_back(notice);
  EXPECT_EQ(shown, (std::vector<std::string>{"No Applications detected", text, text,
                                             kFinishNoticeText, kFinishNoticeText}));
  EXPECT_EQ(notices.shown[1].second, 5000);
  EXPECT_EQ(passForced.size(), 2u);  // the passes still run: a check may find it writable
}

TEST_F(CheckTimerTest, UpdateNowRunsForcedPassAfterHundredMilliseconds) {
  AfterStartupPass();
  Ticks(10);
  controller->UpdateNow();
  EXPECT_EQ(timer.orders, (std::vector<std::string>{"stop", "start 100"}));
  Ticks(1);
  EXPECT_TRUE(askedUrls.empty());
  EXPECT_EQ(passForced, (std::vector<bool>{true, true}));
  EXPECT_EQ(timer.period, 60000);
}

TEST_F(CheckTimerTest, DaytimeServerAnswerSkipsCheckAndAsksAgainSixtyTicksLater) {
  AfterStartupPass();
  serverTime = 143000;
  Ticks(59);
  EXPECT_TRUE(askedUrls.empty());
  Ticks(1);
  ASSERT_EQ(askedUrls, (std::vector<std::string>{"127.0.0.1:1"}));
  EXPECT_EQ(passForced.size(), 1u);
  EXPECT_TRUE(notices.shown.empty());
  EXPECT_EQ(timer.orders, (std::vector<std::string>{"stop", "start 60000"}));
  EXPECT_EQ(controller->state().TickCount, 0u);
  EXPECT_FALSE(controller->state().ForceCheck);

  Ticks(59);
  EXPECT_EQ(askedUrls.size(), 1u);
  Ticks(1);
  EXPECT_EQ(askedUrls.size(), 2u);
}

class NightTimeTest : public CheckTimerTest, public ::testing::WithParamInterface<long> {};

TEST_P(NightTimeTest, ServerTimeOutsideDaytimeRunsUnforcedPass) {
  AfterStartupPass();
  serverTime = GetParam();
  Ticks(60);
  EXPECT_EQ(askedUrls.size(), 1u);
  ASSERT_EQ(passForced, (std::vector<bool>{true, false}));  // no CONFIG this time
  EXPECT_EQ(notices.shown.size(), 1u);
  EXPECT_EQ(timer.period, 60000);
  EXPECT_TRUE(timer.running);
}

// Both bounds belong to the night; 000500 reads as 500; an empty reply reads as 0.
INSTANTIATE_TEST_SUITE_P(BoundsAndNight, NightTimeTest,
                         ::testing::Values(70000L, 210000L, 235959L, 500L, 0L, -143000L));

TEST(CheckTimerBounds, DaytimeIsStrictlyBetweenTheBounds) {
  EXPECT_FALSE(CheckTimer::IsServerDaytime(70000));
  EXPECT_TRUE(CheckTimer::IsServerDaytime(70001));
  EXPECT_TRUE(CheckTimer::IsServerDaytime(143000));
  EXPECT_TRUE(CheckTimer::IsServerDaytime(209999));
  EXPECT_FALSE(CheckTimer::IsServerDaytime(210000));
  EXPECT_FALSE(CheckTimer::IsServerDaytime(0));
}

TEST_F(CheckTimerTest, TickWhileBusyStopsTimerAndDoesNothingElse) {
  AfterStartupPass();
  controller->state().CheckBusy = true;
  controller->state().TickCount = 59;
  controller->OnCheckTimerTick();
  EXPECT_EQ(timer.orders, (std::vector<std::string>{"stop"}));
  EXPECT_FALSE(timer.running);
  EXPECT_TRUE(askedUrls.empty());
  EXPECT_EQ(passForced.size(), 1u);
  EXPECT_TRUE(notices.shown.empty());
}

TEST_F(CheckTimerTest, TicksBelowThresholdOnlyCount) {
  AfterStartupPass();
  Ticks(30);
  EXPECT_TRUE(timer.orders.empty());
  EXPECT_EQ(controller->state().TickCount, 30u);
}

TEST_F(CheckTimerTest, DeclinedShutdownRearmsTimerAndKeepsTickCount) {
  AfterStartupPass();
  Ticks(17);
  boxes.answer = MessageBoxAnswer::kNo;
  EXPECT_FALSE(controller->RequestShutdown(0).has_value());
  ASSERT_EQ(boxes.asked.size(), 1u);
  EXPECT_EQ(boxes.asked[0].text, "Shut down Vornix Update Service");
  EXPECT_EQ(boxes.asked[0].caption, "Notice");
  EXPECT_EQ(boxes.asked[0].buttons, MessageBoxButtons::kYesNo);
  EXPECT_EQ(timer.orders, (std::vector<std::string>{"stop", "start 60000"}));
  EXPECT_EQ(controller->state().TickCount, 17u);
}

TEST_F(CheckTimerTest, ConfirmedShutdownGivesCallersExitCode) {
  AfterStartupPass();
  EXPECT_EQ(controller->RequestShutdown(0), std::optional<int>(0));
  EXPECT_EQ(controller->RequestShutdown(1), std::optional<int>(1));
  EXPECT_EQ(boxes.asked.size(), 2u);
  EXPECT_FALSE(timer.running);
}

TEST_F(CheckTimerTest, SilentShutdownAsksNothingAndEndsWithOne) {
  AfterStartupPass();
  boxes.answer = MessageBoxAnswer::kNo;
  EXPECT_EQ(controller->SilentShutdown(), std::optional<int>(1));
  EXPECT_TRUE(boxes.asked.empty());
  EXPECT_TRUE(controller->state().SilentExit);
  EXPECT_FALSE(timer.running);
}

}  // namespace
}  // namespace vornix
