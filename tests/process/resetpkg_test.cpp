// VornixResetPkg as a process with its own system root: it always ends with 0, saying nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "testing/support/test_support.h"

namespace vornix::testing {
namespace {

std::string Catalogue(const std::vector<std::string>& builds) {
  std::string packages;
  for (const std::string& b : builds) packages += PackageText({"qorax", "D", b, "u"});
  return CatalogueText(packages);
}

// The first record whose name matches without regard to case loses its Build, and the catalogue
// is rewritten in its layout; else the file stays as it was. A display that does not answer
// counts as none: the tool resets offscreen, and no program writes Qt's notes to stderr.
TEST(ResetTool, ResetsTheFirstMatchingRecordWhateverTheDisplay) {
  ScopedSystemRoot root;
  auto reset = [&](std::vector<std::string> args, const char* display) {
    args.insert(args.begin(), BuiltProgramFolder() + "/VornixResetPkg");
    std::map<std::string, std::string> env{{"QT_QPA_PLATFORM", display ? "" : "offscreen"}};
    if (display) env.insert({{"DISPLAY", display}, {"WAYLAND_DISPLAY", ""}});
    env["VORNIX_SYSTEM_ROOT"] = root.path();
    const ProcessResult result = RunProcess(args, env);
    EXPECT_TRUE(result.finished && result.exitCode == 0 && result.output.empty()) << result.output;
  };
  const std::string two = Catalogue({"7", "8"}) + "tail";
  const std::tuple<std::vector<std::string>, std::string, std::string, const char*> cases[] = {
      {{"QORAX"}, "<?xml?>" + two, Catalogue({"", "8"}), nullptr},
      {{"qorax"}, Catalogue({""}) + "tail", Catalogue({""}), nullptr},
      {{"qorax"}, two, Catalogue({"", "8"}), ":87"},
      {{"qorax"}, two, Catalogue({"", "8"}), ""},
      {{"qorax", "x"}, two, two, nullptr},
      {{"qorax "}, two, two, nullptr},
      {{"other"}, two, two, nullptr},
      {{}, two, two, nullptr}};
  for (const auto& [args, before, after, display] : cases) {
    WriteFileBytes(root.Catalogue(), before);
    reset(args, display);
    EXPECT_EQ(ReadFileBytes(root.Catalogue()), after) << ::testing::PrintToString(args);
  }
}

}  // namespace
}  // namespace vornix::testing
