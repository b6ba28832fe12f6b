// Starting programs and running commands the way the programs expect of Windows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/process.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WaitFor;
using testing::WriteFileBytes;

TEST(CommandLine, SplitsOnBlanksAndGroupsQuotedWords) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine("a  b\tc"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitCommandLine("\"/opt/my apps/VornixUpdate\" ALL quiet"),
            (V{"/opt/my apps/VornixUpdate", "ALL", "quiet"}));
  EXPECT_EQ(SplitCommandLine("x\"y z\"w \"\""), (V{"xy zw", ""}));
  EXPECT_EQ(SplitCommandLine("   "), V{});
  EXPECT_EQ(JoinCommandLine({"/opt/my apps/U", "ALL", "quiet"}), "\"/opt/my apps/U\" ALL quiet");
}

TEST(CommandLine, ShellQuotingSurvivesEveryCharacter) {
  TempDir dir;
  const std::string name = "it's a \"file\" $(touch pwned); `x` & y";
  const std::string path = dir / name;
  ASSERT_EQ(RunShellCommand("printf ok > " + ShellQuote(path)), 0);
  EXPECT_EQ(ReadFileBytes(path), "ok");
  EXPECT_FALSE(testing::PathExists("pwned"));
}

TEST(Shell, ExitCodesAndSignals) {
  EXPECT_EQ(RunShellCommand("exit 0"), 0);
  EXPECT_EQ(RunShellCommand("exit 3"), 3);
  EXPECT_NE(RunShellCommand("kill -9 $$"), 0);
}

TEST(StartProgram, StartsWithoutWaitingAndPassesWordsAndFolder) {
  TempDir dir;
  const std::string script = dir / "tool with blank";
  WriteFileBytes(script,
                 "#!/bin/sh\nsleep 0.2\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/out.txt\"\npwd "
                 ">> \"$(dirname \"$0\")/out.txt\"\n");
  chmod(script.c_str(), 0755);
  const std::string before = CurrentFolder();
  ASSERT_TRUE(ChangeFolder(dir.path()));
  EXPECT_TRUE(StartProgram(QuoteProgramWord(script) + " ALL \"two words\""));
  EXPECT_FALSE(testing::PathExists(dir / "out.txt")) << "StartProgram must not wait";
  ASSERT_TRUE(
      WaitFor([&] { return ReadFileBytes(dir / "out.txt").find('\n') != std::string::npos; },
              std::chrono::seconds(10)));
  EXPECT_EQ(ReadFileBytes(dir / "out.txt"), "ALL|two words|" + dir.path() + "\n");
  ChangeFolder(before);
}

TEST(StartProgram, LooksInTheCurrentFolderBeforePathAndReportsFailures) {
  TempDir dir;
  WriteFileBytes(dir / "here", "#!/bin/sh\ntouch started\n");
  chmod((dir / "here").c_str(), 0755);
  WriteFileBytes(dir / "noexec", "#!/bin/sh\n");
  const std::string before = CurrentFolder();
  ChangeFolder(dir.path());
  EXPECT_TRUE(StartProgram("here"));
  EXPECT_TRUE(
      WaitFor([&] { return testing::PathExists(dir / "started"); }, std::chrono::seconds(10)));
  EXPECT_FALSE(StartProgram("noexec"));
  EXPECT_FALSE(StartProgram("no-such-program-anywhere"));
  EXPECT_FALSE(StartProgram(""));
  EXPECT_TRUE(StartProgram("true"));  // found along PATH
  ChangeFolder(before);
}

}  // namespace
}  // namespace vornix
