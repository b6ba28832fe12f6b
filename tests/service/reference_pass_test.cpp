// A whole pass with the real downloads against the reference update server.
#include <gtest/gtest.h>

#include "common/catalogue.h"
#include "common/package_markers.h"
#include "platform/path.h"
#include "service/core/check_cycle.h"
#include "service/core/utility_launch.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ReadFileBytes;
using testing::ReferenceServer;
using testing::ReferenceServerOptions;
using testing::ScopedSystemRoot;
using testing::TempDir;
using testing::WriteFileBytes;

class ReferencePassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = std::make_unique<ReferenceServer>(ReferenceServerOptions::ForRepository(repo.path()));
    ASSERT_TRUE(server->Start());
    state.ServerUrl = server->address();
    state.ClientName = "PC7";
    state.ProgramFolder = programFolder.path() + "/";
    state.ForceCheck = true;
    ports = SystemCheckPassPorts();
    ports.launchUpdateUtility = [this](const std::string& folder) {
      started.push_back(UtilityCommandLine(folder));
    };
  }
  void ServerPackage(const std::string& name, const std::string& packageTxt,
                     const std::map<std::string, std::string>& files = {}) {
    MakeFolders(repo / name + "/updates");
    WriteFileBytes(repo / name + "/package.txt", packageTxt);
    for (const auto& [file, bytes] : files) WriteFileBytes(repo / name + "/" + file, bytes);
  }
  PackageRecord& Add(const std::string& name, const std::string& desc, bool installed,
                     const std::string& build = "", const std::string& update = "") {
    PackageRecord& r = catalogue.records[static_cast<size_t>(catalogue.count++)];
    r.Name.assign(name);
    r.Desc.assign(desc);
    r.Build.assign(build);
    r.Update.assign(update);
    r.Path.assign(installs / name);
    r.Key.assign(name + ".bin");
    if (installed) {
      MakeFolders(installs / name);
      WriteFileBytes(installs / name + "/" + name + ".bin", "program");
    }
    return r;
  }
  void Run() {
    ASSERT_TRUE(SaveCatalogue(root.Catalogue(), catalogue));
    RunCheckCycle(state, ports);
  }
  std::vector<std::string> Commands() const {
    std::vector<std::string> out;
    for (const auto& line : server->Log())
      if (line.rfind("SETUPINFO", 0) == 0 || line.rfind("CONFIG", 0) == 0) out.push_back(line);
    return out;
  }

  ScopedSystemRoot root;
  TempDir repo, installs, programFolder;
  std::unique_ptr<ReferenceServer> server;
  PackageCatalogue catalogue;
  ServiceState state;
  CheckPassPorts ports;
  std::vector<std::string> started;
};

TEST_F(ReferencePassTest, TwoReadyPackagesStartTheUtilityOnceWithQuotedPath) {
  ServerPackage("alpha", "SetupBuild=2.0\n", {{"setup.exe", "alpha setup"}});
  ServerPackage("beta", "UpdateBuild=u7\nUpdateFile=p.tar.bz2\nUpdateCmd=run\n",
                {{"updates/p.tar.bz2", "beta update"}});
  Add("vornet", "Vornix", false);
  Add("alpha", "Alpha", true, "1.0");
  Add("beta", "Beta", true);
  Run();
  EXPECT_EQ(started, (std::vector<std::string>{"\"" + state.ProgramFolder +
                                               "VornixUpdate\" ALL quiet restart"}));
  EXPECT_EQ(ReadFileBytes(state.ProgramFolder + "alpha/setup.exe"), "alpha setup");
  EXPECT_EQ(ReadFileBytes(state.ProgramFolder + "alpha/SETUP.VER"), "2.0");
  EXPECT_EQ(ReadFileBytes(state.ProgramFolder + "beta/updates/p.tar.bz2"), "beta update");
  EXPECT_EQ(state.DetectedApplications, (std::set<std::string>{"Alpha", "Beta"}));
}

TEST_F(ReferencePassTest, NothingReadyStartsNothing) {
  ServerPackage("alpha", "SetupBuild=1.0\nUpdateBuild=u1\nUpdateFile=p\n");
  Add("alpha", "Alpha", true, "1.0", "u1");
  Run();
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(state.UtilityNeeded);
}

TEST_F(ReferencePassTest, ConfigOnlyOnForcedPassOwnPackageAlwaysUninstalledSkipped) {
  ServerPackage("alpha", "SetupBuild=1.0\n");
  Add("vornet", "Vornix", false);  // its program file is missing
  Add("gone", "Gone", false);
  Add("alpha", "Alpha", true, "1.0");
  Add("twin", "Alpha", true);
  Run();
  EXPECT_EQ(Commands(), (std::vector<std::string>{"CONFIG", "SETUPINFO vornet", "SETUPINFO alpha",
                                                  "SETUPINFO twin"}));
  const auto requests = server->Requests();
  ASSERT_FALSE(requests.empty());
  // The report lists the installed packages only.
  EXPECT_EQ(requests[0].config.find("gone"), std::string::npos);
  EXPECT_NE(requests[0].config.find("<Name>alpha</Name>"), std::string::npos);
  EXPECT_NE(requests[0].config.find("<Name>twin</Name>"), std::string::npos);
  EXPECT_EQ(state.DetectedApplications, (std::set<std::string>{"Alpha"}));

  server->ClearRequests();
  state.ForceCheck = false;
  RunCheckCycle(state, ports);
  EXPECT_EQ(Commands(),
            (std::vector<std::string>{"SETUPINFO vornet", "SETUPINFO alpha", "SETUPINFO twin"}));
}

}  // namespace
}  // namespace vornix
