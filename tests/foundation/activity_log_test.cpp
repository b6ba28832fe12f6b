// The activity log: line format, repeat suppression, trimming at start-up, the trace file.
#include <gtest/gtest.h>

#include <regex>

#include "common/activity_log.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::PathExists;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

const std::string kStamp = R"([A-Z][a-z]{2}, [A-Z][a-z]{2} \d{2}, \d{4} \d{2}:\d{2}:\d{2})";

class ActivityLogTest : public ::testing::Test {
 protected:
  void SetUp() override { log_.OpenLogIn(dir_.path() + "/"); }
  std::string Contents() { return ReadFileBytes(dir_ / "Vornix.log"); }

  TempDir dir_;
  ActivityLog log_{kServiceLogNames};
};

TEST_F(ActivityLogTest, LineWithAndWithoutDetailEndsInCrLf) {
  EXPECT_TRUE(log_.WriteLogLine("No Data reading UPDATEINFO from server", "VORNET", 0));
  EXPECT_TRUE(log_.WriteLogLine("No Applications detected"));
  const std::regex expected(kStamp +
                            R"( - No Data reading UPDATEINFO from server \[VORNET\] \[0\]\r\n)" +
                            kStamp + R"( - No Applications detected \[0\]\r\n)");
  EXPECT_TRUE(std::regex_match(Contents(), expected)) << Contents();
}

TEST_F(ActivityLogTest, RepeatsAreSuppressedByTextAlone) {
  log_.WriteLogLine("same", "one");
  log_.WriteLogLine("same", "two", 7);
  log_.WriteLogLine("other");
  log_.WriteLogLine("same");
  const std::string text = Contents();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  EXPECT_EQ(text.find("[two]"), std::string::npos);
}

TEST_F(ActivityLogTest, EmptyTextIsSuppressedFirstAndWrittenAfterAnotherText) {
  EXPECT_FALSE(log_.WriteLogLine(std::nullopt));
  EXPECT_TRUE(log_.WriteLogLine(""));
  EXPECT_FALSE(PathExists(dir_ / "Vornix.log"));
  log_.WriteLogLine("x");
  log_.WriteLogLine("");
  EXPECT_TRUE(std::regex_search(Contents(), std::regex(" -  \\[0\\]\r\n$")));
}

TEST_F(ActivityLogTest, ALineThatCannotBeWrittenStillCountsForTheRepeatTest) {
  ActivityLog log(kServiceLogNames);
  log.OpenLogIn(dir_ / "missing/");
  EXPECT_TRUE(log.WriteLogLine("lost"));
  log.OpenLogIn(dir_.path() + "/");
  log.WriteLogLine("lost");
  EXPECT_FALSE(PathExists(dir_ / "Vornix.log"));
}

TEST(ActivityLogOpen, TrimsALogAbove65536BytesAndRemovesTheTrace) {
  TempDir dir;
  WriteFileBytes(dir / "VornixUpdate.log", std::string(65536, 'a'));
  WriteFileBytes(dir / "VornixUpdate_raw_tcpip_output.txt", "trace");
  ActivityLog log(kUpdaterLogNames);
  log.OpenLogIn(dir.path() + "/");
  EXPECT_EQ(ReadFileBytes(dir / "VornixUpdate.log").size(), 65536u);
  EXPECT_FALSE(PathExists(dir / "VornixUpdate_raw_tcpip_output.txt"));

  WriteFileBytes(dir / "VornixUpdate.log", std::string(65537, 'a'));
  log.OpenLogIn(dir.path() + "/");
  EXPECT_FALSE(PathExists(dir / "VornixUpdate.log"));
  log.WriteLogLine("Vornix Update started.");
  EXPECT_TRUE(std::regex_match(ReadFileBytes(dir / "VornixUpdate.log"),
                               std::regex(kStamp + R"( - Vornix Update started\. \[0\]\r\n)")));
}

TEST(ActivityLogStamp, UsesEnglishNamesWhateverTheLocale) {
  EXPECT_TRUE(std::regex_match(LogTimeStamp(), std::regex(kStamp)));
  EXPECT_EQ(FormatLogLine("S", "t", "d", 0), "S - t [d] [0]\r\n");
  EXPECT_EQ(FormatLogLine("S", "t", std::nullopt, 12), "S - t [12]\r\n");
}

}  // namespace
}  // namespace vornix
