// The service as a process with its own system root and program folder: single instance,
// shutdown through the window socket, restart after a crash, a pass reaching the server.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "common/catalogue.h"
#include "common/identity.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "platform/window_link.h"
#include "service/core/service_state.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"
#include "tests/process/service_process.h"

namespace vornix {
namespace {

using namespace std::chrono_literals;
using testing::ReferenceServer;
using testing::ReferenceServerOptions;
using testing::ScopedSystemRoot;
using testing::ServiceProcess;
using testing::TempDir;
using testing::WaitFor;

class ServiceProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = std::make_unique<ReferenceServer>(ReferenceServerOptions::ForRepository(repo.path()));
    ASSERT_TRUE(server->Start());
    programFolder = programs / "Vornix Apps";
    ASSERT_TRUE(ServiceProcess::InstallProgram(programFolder));
    // Settings first: the service talks to the reference server on loopback only.
    auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
    ASSERT_TRUE(key);
    key->SetString("Version", "1.0");
    key->SetDword("DefaultServer", 1);
    key->SetString("UrlOut", server->address());
    key->SetString("ProgPath", programFolder + "/");
  }
  std::unique_ptr<ServiceProcess> Service() {
    return std::make_unique<ServiceProcess>(programFolder, root.path());
  }
  static bool WindowUp() { return FindWindowByTitle(kServiceWindowTitle); }
  std::string Socket() const { return WindowSocketPath(kServiceWindowTitle); }

  ScopedSystemRoot root;
  TempDir repo, programs;
  std::string programFolder;
  std::unique_ptr<ReferenceServer> server;
};

TEST_F(ServiceProcessTest, SecondInstanceRegistersAndReturnsZeroAtOnce) {
  auto first = Service();
  ASSERT_TRUE(first->Start());
  ASSERT_TRUE(WaitFor(WindowUp, 20s));
  // Take the service's record out: the second start puts it back before it leaves.
  PackageCatalogue empty;
  ASSERT_TRUE(SaveCatalogue(root.Catalogue(), empty));

  auto second = Service();
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(second->Start());
  const std::optional<int> code = second->WaitExit(15s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);

  PackageCatalogue catalogue;
  ASSERT_TRUE(LoadCatalogue(root.Catalogue(), catalogue));
  ASSERT_EQ(catalogue.count, 1);
  EXPECT_EQ(catalogue.records[0].Name.str(), "vornet");
  EXPECT_EQ(catalogue.records[0].Path.str(), programFolder);
  EXPECT_TRUE(WindowUp());  // the first one runs on untouched
  EXPECT_FALSE(first->WaitExit(0ms).has_value());
}

TEST_F(ServiceProcessTest, SilentShutdownThroughSocketEndsWithOneAndAsksNothing) {
  auto service = Service();
  ASSERT_TRUE(service->Start());
  ASSERT_TRUE(WaitFor(WindowUp, 20s));
  EXPECT_EQ(SendWindowCommand(kServiceWindowTitle, kCommandSilentExit, 10000),
            std::optional<long>(0));
  const std::optional<int> code = service->WaitExit(15s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 1);
  EXPECT_EQ(service->Output().find("Shut down Vornix Update Service"), std::string::npos)
      << service->Output();
  EXPECT_FALSE(WindowUp());
  EXPECT_FALSE(testing::PathExists(Socket()));
}

TEST_F(ServiceProcessTest, CloseAnsweredOnOffscreenEndsWithZero) {
  auto service = Service();
  ASSERT_TRUE(service->Start());
  ASSERT_TRUE(WaitFor(WindowUp, 20s));
  EXPECT_EQ(SendWindowCommand(kServiceWindowTitle, kCommandCancel, 10000), std::optional<long>(0));
  const std::optional<int> code = service->WaitExit(15s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0);
  // Nobody can answer there: the question went to standard error and took its default.
  EXPECT_NE(service->Output().find("Notice: Shut down Vornix Update Service"), std::string::npos)
      << service->Output();
}

TEST_F(ServiceProcessTest, ExitAsksAndEndsWithOne) {
  auto service = Service();
  ASSERT_TRUE(service->Start());
  ASSERT_TRUE(WaitFor(WindowUp, 20s));
  SendWindowCommand(kServiceWindowTitle, kCommandExit, 10000);
  const std::optional<int> code = service->WaitExit(15s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 1);
  EXPECT_NE(service->Output().find("Notice: Shut down Vornix Update Service"), std::string::npos);
}

TEST_F(ServiceProcessTest, SocketFileOfCrashedServiceDoesNotBlockNextStart) {
  auto crashed = Service();
  ASSERT_TRUE(crashed->Start());
  ASSERT_TRUE(WaitFor(WindowUp, 20s));
  crashed->Kill();  // no clean-up: the socket file stays behind
  ASSERT_TRUE(testing::PathExists(Socket()));
  EXPECT_FALSE(WindowUp());

  auto next = Service();
  ASSERT_TRUE(next->Start());
  ASSERT_TRUE(WaitFor(WindowUp, 20s));
  EXPECT_EQ(SendWindowCommand(kServiceWindowTitle, kCommandSilentExit, 10000),
            std::optional<long>(0));
  EXPECT_EQ(next->WaitExit(15s), std::optional<int>(1));
}

TEST_F(ServiceProcessTest, StaleSocketFileLeftByAnotherProcessIsReplaced) {
  MakeFolders(FolderWithSlash(Socket()));
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, Socket().c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  close(fd);  // bound, never listened, closed: a stale socket file

  auto service = Service();
  ASSERT_TRUE(service->Start());
  ASSERT_TRUE(WaitFor(WindowUp, 20s));
  SendWindowCommand(kServiceWindowTitle, kCommandSilentExit, 10000);
  EXPECT_EQ(service->WaitExit(15s), std::optional<int>(1));
}

// Under a display that does not answer, the service runs offscreen: it takes its commands and
// checks, and writes no notes of Qt's to standard error.
TEST_F(ServiceProcessTest, UpdateNowThroughSocketRunsForcedPassAgainstServer) {
  auto service = std::make_unique<ServiceProcess>(
      programFolder, root.path(),
      std::map<std::string, std::string>{{"DISPLAY", ":87"}, {"QT_QPA_PLATFORM", ""}});
  ASSERT_TRUE(service->Start());
  ASSERT_TRUE(WaitFor(WindowUp, 20s));
  EXPECT_EQ(SendWindowCommand(kServiceWindowTitle, kCommandUpdateNow, 10000),
            std::optional<long>(0));
  auto log = [&] { return server->Log(); };
  ASSERT_TRUE(WaitFor(
      [&] {
        const auto l = log();
        return std::find(l.begin(), l.end(), "UPDATEINFO vornet") != l.end();
      },
      20s));
  const auto l = log();
  ASSERT_GE(l.size(), 3u);
  EXPECT_EQ(l[0], "CONFIG");  // forced: the report first, no time question
  EXPECT_EQ(l[1], "SETUPINFO vornet");
  const std::string logFile = testing::ReadFileBytes(programFolder + "/Vornix.log");
  EXPECT_NE(logFile.find(" - No Applications detected [0]\r\n"), std::string::npos) << logFile;
  SendWindowCommand(kServiceWindowTitle, kCommandSilentExit, 10000);
  EXPECT_EQ(service->WaitExit(15s), std::optional<int>(1));
  EXPECT_EQ(service->Output(), "");
}

// A new setup of the service's own package: the pass downloads it and starts the utility once,
// by its quoted path in a folder with a blank, in the service's folder, inheriting neither the
// service's mutex nor its window socket.
TEST_F(ServiceProcessTest, PassThatPutsSetupInPlaceStartsUtilityOnce) {
  MakeFolders(repo / "vornet");
  testing::WriteFileBytes(repo / "vornet/package.txt", "SetupBuild=9.9\n");
  testing::WriteFileBytes(repo / "vornet/setup.exe", "new service setup");
  const std::string record = programs / "started.txt";
  testing::WriteFileBytes(programFolder + "/VornixUpdate",
                          "#!/bin/sh\n"
                          "ls -l /proc/$$/fd > '" +
                              programs / "fds.txt" +
                              "'\n"
                              "pwd > '" +
                              programs / "cwd.txt" +
                              "'\n"
                              "printf '%s|' \"$0\" \"$@\" >> '" +
                              record + "'\n");
  chmod((programFolder + "/VornixUpdate").c_str(), 0755);

  auto service = Service();
  ASSERT_TRUE(service->Start());
  ASSERT_TRUE(WaitFor(WindowUp, 20s));
  SendWindowCommand(kServiceWindowTitle, kCommandUpdateNow, 10000);
  ASSERT_TRUE(WaitFor([&] { return FileSize(record) > 0; }, 20s)) << service->Output();
  testing::SleepMs(300);  // a second start would have come by now
  EXPECT_EQ(testing::ReadFileBytes(record), programFolder + "/VornixUpdate|ALL|quiet|restart|");
  EXPECT_EQ(testing::ReadFileBytes(programs / "cwd.txt"), programFolder + "\n");
  const std::string fds = testing::ReadFileBytes(programs / "fds.txt");
  ASSERT_NE(fds.find(" 0 -> "), std::string::npos) << fds;  // the listing itself worked
  EXPECT_EQ(fds.find("Vornix.lock"), std::string::npos) << fds;
  EXPECT_EQ(fds.find("socket:"), std::string::npos) << fds;
  EXPECT_EQ(testing::ReadFileBytes(programFolder + "/vornet/SETUP.VER"), "9.9");

  SendWindowCommand(kServiceWindowTitle, kCommandSilentExit, 10000);
  EXPECT_EQ(service->WaitExit(15s), std::optional<int>(1));
}

}  // namespace
}  // namespace vornix
