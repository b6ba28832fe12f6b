// VornixResetPkg as a process with its own system root.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "testing/support/test_support.h"

namespace vornix::testing {
namespace {

std::string Catalogue(const std::vector<std::string>& builds) {
  std::string packages;
  for (const std::string& b : builds) packages += PackageText({"qorax", "D", b, "u"});
  return CatalogueText(packages);
}

// An X display on loopback that takes connections and never answers them: port 6000 + n.
struct SilentDisplay {
  SilentDisplay() {
    for (int n = 40; n < 200 && name.empty(); ++n) {
      fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<uint16_t>(6000 + n));
      if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
          listen(fd, 8) == 0) {
        name = "127.0.0.1:" + std::to_string(n);
      } else {
        close(fd);
      }
    }
  }
  ~SilentDisplay() { close(fd); }
  int fd = -1;
  std::string name;
};

// The first record whose name matches without regard to case loses its Build, and nothing else
// in the file changes; else the file stays as it was and the tool says why, with a non-zero
// exit code. A display that does not answer, at once or ever, counts as none: the tool resets
// offscreen, and no program writes Qt's notes about the platform to stderr.
TEST(ResetTool, ResetsTheFirstMatchingRecordAndNothingElseWhateverTheDisplay) {
  ScopedSystemRoot root;
  std::string many;
  for (int i = 0; i < 200; ++i) many += PackageText({"p" + std::to_string(i), "D", "b"});
  const std::string reset5 = CatalogueText(many).replace(
      CatalogueText(many).find("<Build>b", CatalogueText(many).find("<Name>p5<")), 9, "<Build><");
  const std::string two = Catalogue({"7", "8"}) + "tail";
  const SilentDisplay silent;
  ASSERT_FALSE(silent.name.empty());
  const std::string past128 = "VornixResetPkg: 'p150' is package 151 of the catalogue " +
                              root.Catalogue() + "; the programs work on its first 128\n";
  const std::string twins =
      CatalogueText(PackageText({"atlas", "D", "1"}) + PackageText({"ATLAS", "D", "2"}));
  const std::string noSuch =
      "VornixResetPkg: no package 'other' in the catalogue " + root.Catalogue() + "\n";
  const struct {
    std::vector<std::string> args;
    std::string before, after;
    const char* display;
    int exitCode;
    std::string output;
  } cases[] = {
      {{"QORAX"}, "<?xml?>" + two, "<?xml?>" + Catalogue({"", "8"}) + "tail", nullptr, 0, ""},
      {{"qorax"}, Catalogue({""}) + "tail", Catalogue({""}) + "tail", nullptr, 0, ""},
      {{"qorax"}, two, Catalogue({"", "8"}) + "tail", ":87", 0, ""},
      {{"qorax"}, two, Catalogue({"", "8"}) + "tail", "", 0, ""},
      {{"qorax"}, two, Catalogue({"", "8"}) + "tail", silent.name.c_str(), 0, ""},
      {{"p5"}, CatalogueText(many), reset5, nullptr, 0, ""},
      {{"qorax", "x"}, two, two, nullptr, 1, ""},
      {{"qorax "}, two, two, nullptr, 1, ""},
      {{"other"}, two, two, nullptr, 1, noSuch},
      {{"p150"}, CatalogueText(many), CatalogueText(many), nullptr, 2, past128},
      {{}, two, two, nullptr, 1, "VornixResetPkg: no program id given\n"},
      // Two packages whose names differ in case alone: the exact one, or none.
      {{"ATLAS"},
       twins,
       CatalogueText(PackageText({"atlas", "D", "1"}) + PackageText({"ATLAS", "D", ""})),
       nullptr,
       0,
       ""},
      {{"Atlas"},
       twins,
       twins,
       nullptr,
       1,
       "VornixResetPkg: 'Atlas' names more than one package when letter case is ignored; give "
       "the name as the catalogue has it\n"}};
  for (const auto& c : cases) {
    WriteFileBytes(root.Catalogue(), c.before);
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), BuiltProgramFolder() + "/VornixResetPkg");
    std::map<std::string, std::string> env{{"QT_QPA_PLATFORM", c.display ? "" : "offscreen"}};
    if (c.display) env.insert({{"DISPLAY", c.display}, {"WAYLAND_DISPLAY", ""}});
    env["VORNIX_SYSTEM_ROOT"] = root.path();
    const ProcessResult result = RunProcess(args, env, {}, std::chrono::seconds(10));
    EXPECT_TRUE(result.finished) << ::testing::PrintToString(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << ::testing::PrintToString(c.args);
    if (c.exitCode == 0 || !c.output.empty()) {
      EXPECT_EQ(result.output, c.output);
    }
    EXPECT_EQ(ReadFileBytes(root.Catalogue()), c.after) << ::testing::PrintToString(c.args);
  }
}

// A catalogue that cannot be written, or read to its end, is left as it is; the tool says so
// and ends with 2.
TEST(ResetTool, SaysWhyItWroteNothing) {
  ScopedSystemRoot root;
  const std::string utf16("\xFF\xFE<\0W\0", 6), hidden = CatalogueText("<Name>\"</Name>");
  const std::string commented = CatalogueText(PackageText({"qorax", "D", "1.0 <!-- by IT -->"}) +
                                              PackageText({"qorax", "D", "2.0"}));
  const std::string path = root.Catalogue();
  const struct {
    std::string contents;  // empty: the catalogue is a folder
    std::string said;
  } cases[] = {
      {"", "the catalogue " + path + " is not a regular file"},
      {utf16, "the catalogue " + path + " is saved as UTF-16, which the programs do not read"},
      {hidden, "the catalogue " + path +
                   " cannot be read to its end: it has no </WinApps> that a reader finds (a lone "
                   "double quote or markup in a value hides the rest)"},
      {commented,
       "the Build of 'qorax' reads empty already: the markup in <Build>1.0 <!-- by "
       "IT --></Build> hides its text from the programs; the catalogue " +
           path + " is left as it is"}};
  for (const auto& c : cases) {
    std::filesystem::remove_all(root.Catalogue());
    if (c.contents.empty()) {
      std::filesystem::create_directory(root.Catalogue());
    } else {
      WriteFileBytes(root.Catalogue(), c.contents);
    }
    const ProcessResult result =
        RunProcess({BuiltProgramFolder() + "/VornixResetPkg", "qorax"},
                   {{"QT_QPA_PLATFORM", "offscreen"}, {"VORNIX_SYSTEM_ROOT", root.path()}});
    EXPECT_EQ(result.exitCode, 2) << c.said;
    EXPECT_EQ(result.output, "VornixResetPkg: " + c.said + "\n");
    if (!c.contents.empty()) {
      EXPECT_EQ(ReadFileBytes(root.Catalogue()), c.contents);
    }
  }
}

}  // namespace
}  // namespace vornix::testing
