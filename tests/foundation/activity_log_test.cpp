// The activity log: the line format, repeats, trimming at start-up, the trace file.
#include "common/activity_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "common/settings_key.h"
#include "common/write_problems.h"
#include "platform/registry.h"
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

// What a program cannot write, said on standard error and in its log, place by place.
TEST(WriteProblems, EachPlaceThatCannotBeWrittenIsNamedWithWhy) {
  testing::ScopedSystemRoot root;
  TempDir dir;
  const std::string program = dir / "program/";
  std::filesystem::create_directories(program + "Vornix.log");  // a folder: unwritable for root too
  std::filesystem::create_directories(root.Catalogue());
  const std::string settings = RegistryKey::KeyFilePath(SettingsKey());
  std::filesystem::create_directories(settings);
  ProcessLog().OpenLogIn(dir.path() + "/");
  ::testing::internal::CaptureStderr();
  const std::string first =
      ReportWriteProblems("Vornix", FindWriteProblems(program, "Vornix.log", true));
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(first, "Vornix cannot write its log " + program + "Vornix.log");
  EXPECT_EQ(said, first + ": Is a directory\nVornix cannot write the catalogue " +
                      root.Catalogue() + ": Is a directory\nVornix cannot write the settings " +
                      settings + ": Is a directory\n");
  EXPECT_NE(ReadFileBytes(dir / "Vornix.log").find(" - " + first + ": Is a directory [0]"),
            std::string::npos);
  WriteFileBytes(dir / "file", "");
  const auto problems = FindWriteProblems(dir / "file/", "VornixUpdate.log", false);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].Text("VornixUpdate"),
            "VornixUpdate cannot write its program folder " + dir / "file/");
  EXPECT_EQ(problems[1].what, "the catalogue");
}

}  // namespace
}  // namespace vornix
