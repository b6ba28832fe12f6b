// The hourly decision against the reference server: a daytime answer to SVRTIME skips the
// check, a night-time one lets the pass run. The service's controller is driven tick by tick;
// the server, the transport and the pass are real.
#include <gtest/gtest.h>

#include "common/catalogue.h"
#include "service/core/service_controller.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ReferenceServer;
using testing::ReferenceServerOptions;

struct NoTimer : CheckTimerPort {
  void StopCheckTimer() override { running = false; }
  void StartCheckTimer(int periodMs) override { running = true, period = periodMs; }
  bool running = false;
  int period = 0;
};
struct NoNotices : Notices {
  void ShowNotice(const std::string& text, int) override { shown.push_back(text); }
  std::vector<std::string> shown;
};
struct NoBoxes : MessageBoxes {
  MessageBoxAnswer Show(const std::string&, const std::string&, MessageBoxButtons) override {
    return MessageBoxAnswer::kYes;
  }
};

class DaytimeCheck : public ::testing::TestWithParam<std::pair<const char*, bool>> {};

TEST_P(DaytimeCheck, TheServersTimeDecidesTheHourlyCheck) {
  const auto [time, checks] = GetParam();
  testing::ScopedSystemRoot root;
  testing::TempDir repository;
  ReferenceServerOptions options = ReferenceServerOptions::ForRepository(repository.path());
  options.time = time;
  ReferenceServer server(options);
  ASSERT_TRUE(server.Start());

  PackageCatalogue cat;
  cat.count = 1;
  cat.records[0].Name.assign("vornet");
  cat.records[0].Path.assign(root.path());
  cat.records[0].Key.assign("Vornix");
  ASSERT_TRUE(SaveCatalogue(CataloguePath(), cat));

  NoTimer timer;
  NoNotices notices;
  NoBoxes boxes;
  ServiceController controller({&timer, &notices, &boxes, nullptr, nullptr, nullptr});
  controller.state().ServerUrl = server.address();
  controller.state().ProgramFolder = root.path() + "/";

  // The start-up check: forced, one minute later, without the time question.
  controller.ArmStartupCheck();
  EXPECT_EQ(timer.period, 60000);
  controller.OnCheckTimerTick();
  EXPECT_EQ(server.Log().front(), "CONFIG");
  EXPECT_EQ(server.Log().size(), 3u);  // CONFIG, SETUPINFO vornet, UPDATEINFO vornet
  EXPECT_EQ(notices.shown.back(), "Vornix has finished checking for updates.");

  // Fifty-nine minutes pass quietly; the sixtieth asks the server's time.
  server.ClearRequests();
  for (int minute = 1; minute < 60; ++minute) controller.OnCheckTimerTick();
  EXPECT_TRUE(server.Log().empty());
  controller.OnCheckTimerTick();
  const auto log = server.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "SVRTIME");
  if (checks) {
    EXPECT_EQ(log, (std::vector<std::string>{"SVRTIME", "SETUPINFO vornet", "UPDATEINFO vornet"}))
        << "an hourly pass sends no configuration report";
  } else {
    EXPECT_EQ(log, std::vector<std::string>{"SVRTIME"});
  }
  EXPECT_TRUE(timer.running);
  EXPECT_EQ(timer.period, 60000);
}

INSTANTIATE_TEST_SUITE_P(
    Times, DaytimeCheck,
    ::testing::Values(std::make_pair("143000", false), std::make_pair("070001", false),
                      std::make_pair("070000", true), std::make_pair("210000", true),
                      std::make_pair("235959", true), std::make_pair("000500", true)));

}  // namespace
}  // namespace vornix
