// VornixResetPkg as a process with its own system root.
#include <gtest/gtest.h>

#include <filesystem>

#include "resetpkg/reset_package.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ReadFileBytes;
using testing::ScopedSystemRoot;
using testing::WriteFileBytes;

std::string Package(const std::string& name, const std::string& build, const std::string& update) {
  return " <Package>\r\n  <Name>" + name + "</Name>\r\n  <Desc>D</Desc>\r\n  <Build>" + build +
         "</Build>\r\n  <Update>" + update +
         "</Update>\r\n  <Path>/p</Path>\r\n  <Key>k</Key>\r\n </Package>\r\n";
}

std::string Catalogue(const std::string& packages) {
  return "<WinApps>\r\n" + packages + "</WinApps>\r\n";
}

class ResetTool : public ::testing::Test {
 protected:
  // Runs the tool with the given arguments; it must always end with 0. Its output.
  std::string Run(std::vector<std::string> args,
                  std::map<std::string, std::string> env = {{"QT_QPA_PLATFORM", "offscreen"}}) {
    args.insert(args.begin(), testing::BuiltProgramFolder() + "/VornixResetPkg");
    env["VORNIX_SYSTEM_ROOT"] = root_.path();
    const auto result = testing::RunProcess(args, env);
    EXPECT_TRUE(result.finished) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result.output;
  }
  ScopedSystemRoot root_;
};

TEST_F(ResetTool, AnUpperCaseIdResetsTheFirstMatchingRecordAndKeepsUpdate) {
  WriteFileBytes(
      root_.Catalogue(),
      "<?xml?>" + Catalogue(Package("qorax", "7", "7.2") + Package("qorax", "8", "8.1")) + "tail");
  Run({"QORAX"});
  EXPECT_EQ(ReadFileBytes(root_.Catalogue()),
            Catalogue(Package("qorax", "", "7.2") + Package("qorax", "8", "8.1")));
}

TEST_F(ResetTool, AnIdWithATrailingBlankMatchesNothing) {
  const std::string text = Catalogue(Package("qorax", "7", ""));
  WriteFileBytes(root_.Catalogue(), text + "kept because untouched");
  Run({"qorax "});
  EXPECT_EQ(ReadFileBytes(root_.Catalogue()), text + "kept because untouched");
}

TEST_F(ResetTool, AnAlreadyEmptyBuildStillRewritesTheFile) {
  WriteFileBytes(root_.Catalogue(), Catalogue(Package("qorax", "", "u")) + "after the end");
  Run({"qorax"});
  EXPECT_EQ(ReadFileBytes(root_.Catalogue()), Catalogue(Package("qorax", "", "u")));
}

TEST_F(ResetTool, EveryFailureEndsWithZeroAndTouchesNothing) {
  Run({"qorax"});  // no catalogue
  EXPECT_FALSE(testing::PathExists(root_.Catalogue()));
  const std::string text = Catalogue(Package("qorax", "7", ""));
  WriteFileBytes(root_.Catalogue(), text + "x");
  Run({});  // no id
  Run({"other"});
  EXPECT_EQ(ReadFileBytes(root_.Catalogue()), text + "x");
  // A catalogue that cannot be written: a folder stands in its place.
  std::filesystem::remove(root_.Catalogue());
  std::filesystem::create_directory(root_.Catalogue());
  Run({"qorax"});
  EXPECT_TRUE(std::filesystem::is_directory(root_.Catalogue()));
}

// A display that does not answer counts as none: the tool resets offscreen and ends with 0.
// Neither there nor without any display does Qt write its notes to standard error.
TEST_F(ResetTool, ADisplayThatDoesNotAnswerCountsAsNone) {
  for (const char* display : {":87", ""}) {
    WriteFileBytes(root_.Catalogue(), Catalogue(Package("qorax", "7", "")));
    EXPECT_EQ(
        Run({"qorax"}, {{"DISPLAY", display}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}}),
        "");
    EXPECT_EQ(ReadFileBytes(root_.Catalogue()), Catalogue(Package("qorax", "", "")));
  }
}

TEST(ResetCommandLine, TheWholeTailIsTheId) {
  EXPECT_EQ(CommandLineTail({"VornixResetPkg"}), "");
  EXPECT_EQ(CommandLineTail({"VornixResetPkg", "a", "b"}), "a b");
  EXPECT_EQ(CommandLineTail({"VornixResetPkg", "qorax "}), "\"qorax \"");
}

}  // namespace
}  // namespace vornix
