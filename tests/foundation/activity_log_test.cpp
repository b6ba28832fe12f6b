// The activity log: the line format, repeats, trimming at start-up, the trace file.
#include "common/activity_log.h"

#include <gtest/gtest.h>

#include <regex>

#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::PathExists;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

const std::string kStamp = R"([A-Z][a-z]{2}, [A-Z][a-z]{2} \d{2}, \d{4} \d{2}:\d{2}:\d{2})";

// A repeat is told by its text alone, whatever its detail; an empty text is a repeat of the
// empty start; a line that could not be written still counts for the next one's repeat test.
TEST(ActivityLog, WritesStampedCrLfLinesAndDropsRepeatsOfTheTextAlone) {
  TempDir dir;
  ActivityLog log(kServiceLogNames);
  log.OpenLogIn(dir / "missing/");
  EXPECT_TRUE(log.WriteLogLine("lost"));
  log.OpenLogIn(dir.path() + "/");
  EXPECT_FALSE(log.WriteLogLine(std::nullopt));
  for (const char* text : {"lost", "No Data reading UPDATEINFO from server"})
    EXPECT_TRUE(log.WriteLogLine(text, "VORNET", 0));
  log.WriteLogLine("No Data reading UPDATEINFO from server", "other", 7);
  log.WriteLogLine("No Applications detected");
  log.WriteLogLine("");
  EXPECT_TRUE(std::regex_match(
      ReadFileBytes(dir / "Vornix.log"),
      std::regex(kStamp + R"( - No Data reading UPDATEINFO from server \[VORNET\] \[0\]\r\n)" +
                 kStamp + R"( - No Applications detected \[0\]\r\n)" + kStamp +
                 R"( -  \[0\]\r\n)")))
      << ReadFileBytes(dir / "Vornix.log");
  EXPECT_EQ(FormatLogLine("S", "t", std::nullopt, 12), "S - t [12]\r\n");
}

TEST(ActivityLog, StartsALogAbove64KiBAnewAndRemovesTheTrace) {
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
}

}  // namespace
}  // namespace vornix
