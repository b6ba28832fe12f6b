// One check pass: which packages are handed over, what is reported, when the utility starts.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "common/catalogue.h"
#include "common/protocol.h"
#include "platform/path.h"
#include "service/core/check_cycle.h"
#include "service/core/utility_launch.h"
#include "testing/support/test_support.h"
#include "testing/support/http_test_server.h"

namespace vornix {
namespace {

using testing::ReadFileBytes;
using testing::ScopedSystemRoot;
using testing::TempDir;
using testing::WaitFor;
using testing::WriteFileBytes;

PackageRecord Record(const std::string& name, const std::string& desc, const std::string& path,
                     const std::string& key) {
  PackageRecord r;
  r.Name.assign(name);
  r.Desc.assign(desc);
  r.Path.assign(path);
  r.Key.assign(key);
  return r;
}

class CheckCycleTest : public ::testing::Test {
 protected:
  CheckCycleTest() {
    ports.sendConfiguration = [this](const std::string& url, const std::string& client,
                                     const PackageCatalogue& c) {
      configs.push_back(url + " " + client + " " + std::to_string(c.count));
    };
    ports.downloadPackage = [this](const PackageRecord& r, const DownloadSettings& s, bool&) {
      handed.push_back(r.Name.str());
      settingsSeen = s;
    };
    ports.launchUpdateUtility = [this](const std::string& folder) { launches.push_back(folder); };
    state.ServerUrl = "127.0.0.1:9";
    state.ClientName = "PC7";
    state.ProgramFolder = "/opt/vornix/";
    state.UseLocalServer = false;
  }

  // A package whose program file exists.
  PackageRecord Installed(const std::string& name, const std::string& desc) {
    const std::string folder = programs / name;
    MakeFolders(folder);
    WriteFileBytes(folder + "/" + name + ".bin", "x");
    return Record(name, desc, folder, name + ".bin");
  }
  PackageRecord Missing(const std::string& name, const std::string& desc) {
    return Record(name, desc, programs / "gone", name + ".bin");
  }
  void WriteCatalogue(const std::vector<PackageRecord>& records) {
    PackageCatalogue c;
    for (const auto& r : records) c.records[static_cast<size_t>(c.count++)] = r;
    ASSERT_TRUE(SaveCatalogue(root.Catalogue(), c));
  }

  ScopedSystemRoot root;
  TempDir programs;
  ServiceState state;
  CheckPassPorts ports;
  std::vector<std::string> configs, handed, launches;
  DownloadSettings settingsSeen;
};

TEST_F(CheckCycleTest, OwnPackageIsRecognisedOnlyWithExactLetterCase) {
  WriteCatalogue({Missing("VORNET", "Vornix")});
  RunCheckCycle(state, ports);
  EXPECT_TRUE(handed.empty());
}

TEST_F(CheckCycleTest, DownloadGetsTheServiceSettings) {
  WriteCatalogue({Installed("alpha", "Alpha")});
  RunCheckCycle(state, ports);
  EXPECT_EQ(settingsSeen.ServerUrl, "127.0.0.1:9");
  EXPECT_FALSE(settingsSeen.UseLocalServer);
  EXPECT_EQ(settingsSeen.ProgramFolder, "/opt/vornix/");
  EXPECT_EQ(settingsSeen.ClientName, "PC7");
}

TEST_F(CheckCycleTest, MissingCatalogueHandsNothingOverAndStartsNothing) {
  state.UtilityNeeded = true;
  state.DetectedApplications = {"stale"};
  RunCheckCycle(state, ports);
  EXPECT_TRUE(handed.empty());
  EXPECT_TRUE(configs.empty());
  EXPECT_TRUE(launches.empty());
  EXPECT_TRUE(state.DetectedApplications.empty());
}

// The real CONFIG document on the wire, and the SETUPINFO/UPDATEINFO order behind it.
TEST_F(CheckCycleTest, ForcedPassPostsExactConfigurationBodyBeforeThePackages) {
  testing::HttpTestServer server;
  std::mutex lock;
  std::vector<std::string> requests;
  server.server().Post("/cgi-bin/vornet", [&](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> guard(lock);
    requests.push_back(req.path + " " + req.body);
    res.set_content("<Error>No such package</Error>", "text/xml");
  });
  server.Start();
  const PackageRecord alpha = Installed("alpha", "Alpha");
  WriteCatalogue({Missing("vornet", "Vornix"), alpha});
  state.ServerUrl = server.address();
  state.ForceCheck = true;
  RunCheckCycle(state, SystemCheckPassPorts());

  const std::string path = alpha.Path.str();
  const std::string config =
      "<Cmd>CONFIG</Cmd><Name>PC7</Name><Config>&#60;WinApps&#62;\n"
      " &#60;Package&#62;\n"
      "  &#60;Name&#62;alpha&#60;/Name&#62;\n"
      "  &#60;Desc&#62;Alpha&#60;/Desc&#62;\n"
      "  &#60;Build&#62;&#60;/Build&#62;\n"
      "  &#60;Update&#62;&#60;/Update&#62;\n"
      "  &#60;Path&#62;" +
      path +
      "&#60;/Path&#62;\n"
      "  &#60;Key&#62;alpha.bin&#60;/Key&#62;\n"
      " &#60;/Package&#62;\n"
      "&#60;/WinApps&#62;\n</Config>";
  std::lock_guard<std::mutex> guard(lock);
  const std::string post = "/cgi-bin/vornet ";
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[0], post + config);
  EXPECT_EQ(requests[1], post + "<Cmd>SETUPINFO</Cmd><ProgID>vornet</ProgID>");
  EXPECT_EQ(requests[2], post + "<Cmd>UPDATEINFO</Cmd><ProgID>vornet</ProgID>");
  EXPECT_EQ(requests[3], post + "<Cmd>SETUPINFO</Cmd><ProgID>alpha</ProgID>");
  EXPECT_EQ(requests[4], post + "<Cmd>UPDATEINFO</Cmd><ProgID>alpha</ProgID>");
}

TEST(ServerTime, ReadsTimeFieldFromSvrTimeReply) {
  testing::HttpTestServer server;
  std::string reply = "<Time>143000</Time>";
  std::string body;
  server.server().Post("/cgi-bin/vornet", [&](const httplib::Request& req, httplib::Response& res) {
    body = req.body;
    res.set_content(reply, "text/xml");
  });
  server.Start();
  EXPECT_EQ(AskServerTime(server.address()), 143000);
  EXPECT_EQ(body, "<Cmd>SVRTIME</Cmd>");
  reply = "<Reply><Time>000500</Time></Reply>";
  EXPECT_EQ(AskServerTime(server.address()), 500);
  reply = "";
  EXPECT_EQ(AskServerTime(server.address()), 0);
  reply = "<Time>1234567890123456789</Time>";  // cut to 15 characters
  EXPECT_EQ(AskServerTime(server.address()), 123456789012345);
}

TEST(ServerTime, UnreachableServerCountsAsZero) {
  // A port that was free a moment ago: nothing listens there.
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const int port = ntohs(addr.sin_port);
  close(fd);
  EXPECT_EQ(AskServerTime("127.0.0.1:" + std::to_string(port)), 0);
}

// The utility's start command: the program path quoted, the three words after it.
TEST(UtilityLaunch, CommandLineQuotesProgramPath) {
  EXPECT_EQ(UtilityCommandLine("/opt/Vornix Apps/"),
            "\"/opt/Vornix Apps/VornixUpdate\" ALL quiet restart");
  std::string started;
  LaunchUpdateUtility("/srv/v/", [&](std::string_view line) {
    started = line;
    return false;  // a failed start is not looked at
  });
  EXPECT_EQ(started, "\"/srv/v/VornixUpdate\" ALL quiet restart");
}

// A folder with a blank: the quoted path starts the utility in that folder, not a program
// named by the path's first part.
TEST(UtilityLaunch, StartsUtilityInFolderWithBlankNotItsPrefix) {
  TempDir dir;
  const std::string folder = dir / "Vornix Apps/";
  MakeFolders(folder);
  const std::string record = dir / "started.txt";
  const std::string script = "#!/bin/sh\nprintf '%s|' \"$0\" \"$@\" > '" + record + "'\n";
  WriteFileBytes(folder + "VornixUpdate", script);
  chmod((folder + "VornixUpdate").c_str(), 0755);
  // The trap a blank opens: a program named by the path's first part.
  WriteFileBytes(dir / "Vornix", "#!/bin/sh\ntouch '" + dir / "trap" + "'\n");
  chmod((dir / "Vornix").c_str(), 0755);

  LaunchUpdateUtility(folder);
  ASSERT_TRUE(WaitFor([&] { return FileSize(record) > 0; }, std::chrono::seconds(10)));
  EXPECT_EQ(ReadFileBytes(record), folder + "VornixUpdate|ALL|quiet|restart|");
  EXPECT_FALSE(testing::PathExists(dir / "trap"));
}

}  // namespace
}  // namespace vornix
