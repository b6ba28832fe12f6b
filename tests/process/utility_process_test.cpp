// The built VornixUpdate as a process: start-up, its program folder, reports to a real server,
// qorax, and the self-update across real processes with a window standing in for the service.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "common/catalogue.h"
#include "common/identity.h"
#include "common/package_markers.h"
#include "common/protocol.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/window_link.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace vornix::testing {
namespace {

constexpr const char* kServiceWindow = "Vornix Update Service";
constexpr int kSilentShutdown = 57602;

std::string Standin(const std::string& name) {
  return TestToolFolder() + "/" + name;
}

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t pos = 0; (pos = text.find(part, pos)) != std::string::npos; pos += part.size()) ++n;
  return n;
}

// Log lines without their time stamps.
std::vector<std::string> LogLinesOf(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFileBytes(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t dash = line.find(" - ");
    lines.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
  }
  return lines;
}

// A program folder of its own holding a copy of the built utility (its own folder is where
// it works) and the bzip2 and gtar links, with a system root of its own.
class UtilityProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeProgramFolder(programFolder.path()); }

  void MakeProgramFolder(const std::string& folder) {
    folder_ = folder;
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(BuiltProgramFolder() + "/VornixUpdate", folder + "/VornixUpdate");
    ASSERT_EQ(symlink("/usr/bin/bzip2", (folder + "/bzip2").c_str()), 0);
    ASSERT_EQ(symlink("/usr/bin/tar", (folder + "/gtar").c_str()), 0);
  }
  std::string In(const std::string& name) const { return folder_ + "/" + name; }

  PackageRecord& Add(const std::string& name, const std::string& desc, const std::string& path,
                     const std::string& key, const std::string& build, const std::string& update) {
    PackageRecord& r = catalogue.records[catalogue.count++];
    r.Name.assign(name);
    r.Desc.assign(desc);
    r.Path.assign(path);
    r.Key.assign(key);
    r.Build.assign(build);
    r.Update.assign(update);
    std::filesystem::create_directories(path);
    return r;
  }
  void Save() { ASSERT_TRUE(SaveCatalogue(root.Catalogue(), catalogue)); }
  PackageCatalogue Load() const {
    PackageCatalogue c;
    LoadCatalogue(root.Catalogue(), c);
    return c;
  }
  void Script(const std::string& name, const std::string& build, const std::string& file,
              const std::string& command) {
    std::filesystem::create_directories(In(name + "/updates"));
    ASSERT_TRUE(WriteUpdateXml(In(name + "/updates/UPDATE.XML"), {build, file, command}));
  }
  void Tar(const std::string& name, const std::string& archive,
           const std::vector<std::pair<std::string, std::string>>& files) {
    std::filesystem::create_directories(In(name + "/updates"));
    ASSERT_TRUE(MakeArchive(In(name + "/updates/" + archive), files));
  }
  ProcessResult Run(std::vector<std::string> args, const std::string& program = {},
                    std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    args.insert(args.begin(), program.empty() ? In("VornixUpdate") : program);
    // Started from elsewhere: the utility finds its packages from its own folder.
    // Qt warns on standard error without a runtime folder; a copy started by the utility
    // writes there after this test stopped reading, so nothing must be written at all.
    chmod(runtimeFolder.path().c_str(), 0700);
    return RunProcess(args,
                      {{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_RUNTIME_DIR", runtimeFolder.path()}},
                      "/", limit);
  }
  std::string Log() const { return In("VornixUpdate.log"); }

  ScopedSystemRoot root;
  TempDir programFolder;
  TempDir runtimeFolder;
  std::string folder_;
  PackageCatalogue catalogue;
};

TEST_F(UtilityProcessTest, NoArgumentsLogsAndEndsWithoutWindow) {
  Add("alpha", "Alpha", In("apps/alpha"), "run.sh", "", "A1");
  Script("alpha", "A2", "a.txt", "");
  WriteFileBytes(In("alpha/updates/a.txt"), "a");
  Save();
  const ProcessResult r = Run({}, {}, std::chrono::seconds(10));
  ASSERT_TRUE(r.finished) << r.output;
  EXPECT_EQ(LogLinesOf(Log()), (std::vector<std::string>{"Vornix Update started. [0]"}));
  EXPECT_EQ(Load().records[0].Update.view(), "A1");
}

TEST_F(UtilityProcessTest, PathWithBlankGivesAnUnknownSelector) {
  TempDir other;
  MakeProgramFolder(other / "Arvel Apps");
  Add("vornet", "Vornix", In("apps/vornet"), "Vornix", "", "V1");
  Script("vornet", "V1", "v.tar", "");
  Add("alpha", "Alpha", In("apps/alpha"), "run.sh", "", "A1");
  Script("alpha", "A2", "a.txt", "");
  WriteFileBytes(In("alpha/updates/a.txt"), "a");
  Save();
  // The tail of the path is the selector: only "vornet" is processed, and without "quiet" the
  // dialog waits for a person until it is ended.
  const ProcessResult r = Run({}, {}, std::chrono::seconds(3));
  EXPECT_FALSE(r.finished);
  EXPECT_EQ(Load().records[1].Update.view(), "A1");
  EXPECT_EQ(LogLinesOf(Log()), (std::vector<std::string>{"Vornix Update started. [0]"}));
  // The pass ran and wrote the catalogue back in its own layout.
  EXPECT_EQ(ReadFileBytes(root.Catalogue()), FormatCatalogue(catalogue, true));
}

TEST_F(UtilityProcessTest, UpdateIsReportedToTheReferenceServer) {
  ReferenceServerOptions options;
  TempDir repository;
  options.repository = repository.path();
  ReferenceServer server(options);
  ASSERT_TRUE(server.Start());
  auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
  ASSERT_TRUE(key && key->SetString("UrlOut", server.address()));
  WriteFileBytes(root.Windows() + "/avclient.ini", "[SERVER]\r\nComputerName=TESTPC\r\n");

  Add("alpha", "Alpha", In("apps/alpha"), "run.sh", "", "A1");
  Tar("alpha", "alpha.tar", {{"new.txt", "n"}});
  Script("alpha", "A2", "alpha.tar", "");
  Add("beta", "Beta", In("apps/beta"), "run.sh", "", "B1");
  Script("beta", "B2", "beta.tar", "");  // absent: the copy fails
  Save();
  const ProcessResult r = Run({"ALL", "quiet"});
  ASSERT_TRUE(r.finished) << r.output;

  std::vector<std::string> messages;
  for (const auto& q : server.Requests())
    if (q.command == "LOGMSG") messages.push_back(q.message);
  EXPECT_EQ(messages, (std::vector<std::string>{"TESTPC:'Alpha' successfully updated!",
                                                "TESTPC:Error copying 'beta.tar'"}));
  for (const auto& q : server.Requests()) {
    if (q.command != "LOGMSG") continue;
    EXPECT_EQ(q.path, "/cgi-bin/vornet");
  }
  EXPECT_EQ(LogLinesOf(Log()), (std::vector<std::string>{"Vornix Update started. [0]",
                                                         "'Alpha' successfully updated! [OK] [0]",
                                                         "Error copying 'beta.tar' [COPY] [0]"}));
  EXPECT_EQ(ReadFileBytes(In("apps/alpha/new.txt")), "n");
  EXPECT_EQ(Load().records[0].Update.view(), "A2");
  EXPECT_EQ(Load().records[1].Update.view(), "B1");
}

// The service's window played by the window stand-in, placed where the service's program is.
class SelfUpdateTest : public UtilityProcessTest {
 protected:
  void SetUp() override {
    UtilityProcessTest::SetUp();
    std::filesystem::copy_file(Standin("window_standin"), In("Vornix"));
    ASSERT_TRUE(StartProgram(QuoteProgramWord(In("Vornix"))));
    ASSERT_TRUE(WaitFor([] { return FindWindowByTitle(kServiceWindow); }, std::chrono::seconds(5)));
    Add("vornet", "Vornix", folder_, "Vornix", "", "V1");
    Tar("vornet", "vornet.tar", {{"VornixUpdate", kNewUtility}});
    Script("vornet", "V2", "vornet.tar", "");
    Add("alpha", "Alpha", In("apps/alpha"), "run.sh", "", "A1");
    WriteFileBytes(In("alpha/updates/a.txt"), "a");
    Script("alpha", "A2", "a.txt", "");
    Save();
  }
  void TearDown() override {
    if (FindWindowByTitle(kServiceWindow)) SendWindowCommand(kServiceWindow, kSilentShutdown, 2000);
  }
  std::string WindowRecord() const { return ReadFileBytes(In("Vornix.record")); }
  bool ServiceStartedAgain() const { return CountOf(WindowRecord(), " started ") == 2; }

  static constexpr const char* kNewUtility = "#!/bin/sh\necho the new utility\n";
};

TEST_F(SelfUpdateTest, CopyAppliesTheServiceUpdateAndRestartsTheService) {
  // The first process is still busy with alpha when the copy's wait of 2000 ms is over: the
  // copy may read the catalogue only after the first process wrote it (the pass lock).
  Script("alpha", "A2", "a.txt", "sleep 3");
  const std::string original = ReadFileBytes(In("VornixUpdate"));
  const ProcessResult first = Run({"ALL", "quiet", "restart"});
  ASSERT_TRUE(first.finished) << first.output;
  // The copy runs on after the first process: it waits for the pass lock, 2000 ms, then works.
  ASSERT_TRUE(
      WaitFor([&] { return Load().records[0].Update.view() == "V2" && ServiceStartedAgain(); },
              std::chrono::seconds(30)))
      << WindowRecord();

  const std::string record = WindowRecord();
  EXPECT_LT(record.find("command 57602"), record.rfind(" started "));
  EXPECT_EQ(CountOf(record, "command"), 1);
  EXPECT_EQ(ReadFileBytes(In("VornixUpdate1")), original);
  EXPECT_EQ(ReadFileBytes(In("VornixUpdate")), kNewUtility);
  EXPECT_FALSE(PathExists(In("vornet.tar")));
  // The first process's change stays in the catalogue that the copy wrote.
  const PackageCatalogue after = Load();
  EXPECT_EQ(after.records[1].Update.view(), "A2");
  ASSERT_TRUE(
      WaitFor([&] { return CountOf(ReadFileBytes(Log()), "'Vornix' successfully updated!") == 1; },
              std::chrono::seconds(5)));
  // Both processes started; alpha was applied once, by the first, and the copy came last.
  const std::vector<std::string> lines = LogLinesOf(Log());
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Vornix Update started. [0]"), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "'Alpha' successfully updated! [OK] [0]"), 1);
  EXPECT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines.back(), "'Vornix' successfully updated! [OK] [0]");
}

TEST_F(SelfUpdateTest, CopyThatCannotBeMadeFallsBackToTheFirstProcess) {
  // cp copies into a folder of the copy's name and cannot put a file over a folder in it.
  std::filesystem::create_directories(In("VornixUpdate1/VornixUpdate"));
  const auto before = std::chrono::steady_clock::now();
  const ProcessResult first = Run({"ALL", "quiet", "restart"});
  ASSERT_TRUE(first.finished) << first.output;
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(2000));
  EXPECT_EQ(Load().records[0].Update.view(), "V2");
  EXPECT_EQ(Load().records[1].Update.view(), "A2");
  EXPECT_EQ(ReadFileBytes(In("VornixUpdate")), kNewUtility);
  EXPECT_TRUE(WaitFor([&] { return ServiceStartedAgain(); }, std::chrono::seconds(5)));
  EXPECT_EQ(CountOf(ReadFileBytes(Log()), "Vornix Update started."), 1);
}

// Ends the stand-ins this test started, by the process ids they recorded, whatever way the
// test ends.
struct StandinReaper {
  std::string record;
  ~StandinReaper() {
    std::istringstream in(ReadFileBytes(record));
    for (std::string line; std::getline(in, line);) {
      const size_t at = line.find(" started ");
      if (at != std::string::npos) kill(std::stoi(line.substr(at + 9)), SIGTERM);
    }
  }
};

bool ListenerUp() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(8080);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool up = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return up;
}

TEST_F(UtilityProcessTest, QoraxIsShutDownAndGivenTwoSecondsBeforeItsSetup) {
  // Another suite's listener may still be closing the port.
  ASSERT_TRUE(WaitFor([] { return !ListenerUp(); }, std::chrono::seconds(15)))
      << "something else listens on 127.0.0.1:8080";
  const std::string qorax = In("apps/qorax/qorax");
  StandinReaper reaper{qorax + ".record"};
  Add("qorax", "Qorax", In("apps/qorax"), "qorax", "S1", "");
  std::filesystem::copy_file(Standin("qorax_standin"), qorax);
  std::filesystem::create_directories(In("qorax"));
  ASSERT_TRUE(WriteSetupVer(In("qorax/SETUP.VER"), "S2"));
  WriteFileBytes(In("qorax/setup.exe"),
                 "#!/bin/sh\ndate +%s%3N > " + ShellQuote(In("qorax/setup-ran.txt")) + "\n");
  chmod(In("qorax/setup.exe").c_str(), 0755);
  Save();
  ASSERT_TRUE(StartProgram(QuoteProgramWord(qorax)));
  ASSERT_TRUE(WaitFor(ListenerUp, std::chrono::seconds(12)));

  const ProcessResult r = Run({"qorax", "quiet", "restart"});
  ASSERT_TRUE(r.finished) << r.output;
  ASSERT_TRUE(
      WaitFor([&] { return PathExists(In("qorax/setup-ran.txt")); }, std::chrono::seconds(5)));
  // The restart rule starts qorax again once its setup was started.
  ASSERT_TRUE(WaitFor([&] { return CountOf(ReadFileBytes(qorax + ".record"), " started ") == 2; },
                      std::chrono::seconds(10)));
  std::istringstream record(ReadFileBytes(qorax + ".record"));
  long long shutdownAt = 0;
  for (std::string line; std::getline(record, line);)
    if (line.find("POST / <VORNIX SHUTDOWN />") != std::string::npos) shutdownAt = std::stoll(line);
  ASSERT_NE(shutdownAt, 0) << ReadFileBytes(qorax + ".record");
  const long long setupAt = std::stoll(ReadFileBytes(In("qorax/setup-ran.txt")));
  EXPECT_GE(setupAt - shutdownAt, 2000);
  EXPECT_EQ(LogLinesOf(Log()).back(),
            "'Qorax' setup program executed.  [User may have completed or cancelled] [OK] [0]");

  SendShutdownRequest();  // the restarted stand-in ends on the document, too
  EXPECT_TRUE(WaitFor([] { return !ListenerUp(); }, std::chrono::seconds(5)));
}

}  // namespace
}  // namespace vornix::testing
