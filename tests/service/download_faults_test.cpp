// Downloads when things go wrong: the server going away mid-file, the disk full while a marker
// is written, replies of many megabytes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "common/activity_log.h"
#include "common/package_markers.h"
#include "common/protocol.h"
#include "common/transport.h"
#include "service/core/package_download.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"
#include "testing/support/http_test_server.h"

namespace vornix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

PackageRecord Record(const std::string& name, const std::string& update) {
  PackageRecord r;
  r.Name.assign(name);
  r.Update.assign(update);
  return r;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class DownloadFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcessLog().OpenLogIn(dir_.path() + "/");
    settings_.ProgramFolder = dir_.path() + "/program/";
    settings_.ClientName = "desk7";
    updates_ = settings_.ProgramFolder + "vornet/updates";
    fs::create_directories(updates_);
    // What lies ready from the check before: build 1 of the update, fully verified.
    WriteFileBytes(updates_ + "/u.bin", "build one");
    ASSERT_TRUE(WriteUpdateXml(updates_ + "/UPDATE.XML", {"1", "u.bin", ""}));
    oldMarker_ = ReadFileBytes(updates_ + "/UPDATE.XML");
  }
  std::string Log() { return ReadFileBytes(dir_ / "Vornix.log"); }

  testing::TempDir dir_;
  DownloadSettings settings_;
  std::string updates_;
  std::string oldMarker_;
};

TEST_F(DownloadFaults, ServerGoingAwayMidFileKeepsTheEarlierFileAndMarker) {
  const std::string newFile(1 << 20, 'n');
  testing::HttpTestServer server;
  std::vector<std::string> logMessages;
  server.Post("/cgi-bin/vornet", [&](const httplib::Request& req, httplib::Response& res) {
    const std::string cmd = ReadReplyField(req.body, "Cmd", 32);
    if (cmd == "SETUPINFO") res.set_content("<Error>No setup</Error>", "text/xml");
    if (cmd == "UPDATEINFO")
      res.set_content(
          "<Error>OK</Error><Build>2</Build><FileName>u.bin</FileName><UpdateCmd></UpdateCmd>",
          "text/xml");
    if (cmd == "FILEINFO")
      res.set_content("<Error>OK</Error><Size>" + std::to_string(newFile.size()) +
                          "</Size><CkSum>" + std::to_string(testing::SystemVSum(newFile)) +
                          "</CkSum>",
                      "text/xml");
    if (cmd == "LOGMSG") logMessages.push_back(ReadReplyField(req.body, "Msg", 1024));
  });
  server.Get("/vornet/updates/u.bin", [&](const httplib::Request&, httplib::Response& res) {
    // Promise the whole file, send a quarter of it, then drop the connection.
    res.set_content_provider(newFile.size(), "application/octet-stream",
                             [&](size_t offset, size_t, httplib::DataSink& sink) {
                               if (offset >= newFile.size() / 4) return false;
                               sink.write(newFile.data(), newFile.size() / 4);
                               return true;
                             });
  });
  server.Start();
  settings_.ServerUrl = server.address();

  bool utilityNeeded = false;
  DownloadPackage(Record("vornet", "1"), settings_, utilityNeeded);

  EXPECT_FALSE(utilityNeeded);
  EXPECT_EQ(ReadFileBytes(updates_ + "/u.bin"), "build one");
  EXPECT_EQ(ReadFileBytes(updates_ + "/UPDATE.XML"), oldMarker_);
  EXPECT_EQ(FolderEntries(updates_), (std::vector<std::string>{"UPDATE.XML", "u.bin"}))
      << "no partial download is left behind";
  EXPECT_NE(Log().find(updates_ + "/u.bin [Download Failed] [0]"), std::string::npos) << Log();
  EXPECT_EQ(logMessages, std::vector<std::string>{"desk7:" + updates_ + "/u.bin: Download Failed"});
}

TEST_F(DownloadFaults, DiskFullWhileWritingTheMarkerKeepsTheOldMarkerAndReports) {
  testing::TempDir repository;
  WriteFileBytes(repository / "vornet/updates/u.bin", "build two");
  // A long command makes the marker the largest file written.
  const std::string command(200, 'c');
  WriteFileBytes(repository / "vornet/package.txt",
                 "UpdateBuild=2\nUpdateFile=u.bin\nUpdateCmd=" + command + "\n");
  testing::ReferenceServer server(
      testing::ReferenceServerOptions::ForRepository(repository.path()));
  ASSERT_TRUE(server.Start());
  settings_.ServerUrl = server.address();

  // In a child whose files may not grow past 150 bytes: the file fits, the marker does not.
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{150, 150};
    setrlimit(RLIMIT_FSIZE, &limit);
    bool utilityNeeded = false;
    DownloadPackage(Record("vornet", "1"), settings_, utilityNeeded);
    _exit(utilityNeeded ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the file was put in place, so the utility is needed";

  EXPECT_EQ(ReadFileBytes(updates_ + "/u.bin"), "build two");
  EXPECT_EQ(ReadFileBytes(updates_ + "/UPDATE.XML"), oldMarker_) << "the old marker stays whole";
  const auto log = server.Log();
  EXPECT_EQ(log.back().rfind("LOGMSG", 0), 0u)
      << "the marker that could not be written is reported";
  EXPECT_EQ(server.Requests().back().message, "desk7:" + updates_ + "/u.bin: Download Failed");
}

// A server gone wrong: replies that never end, a file that grows past the size it stated, and
// a long error that is still a reply.
TEST_F(DownloadFaults, EndlessRepliesFailWithoutGrowingAndALongErrorIsCutToItsCapacity) {
  testing::HttpTestServer server;
  const std::string chunk(1 << 16, 'x');
  // Streams until the client hangs up (at most 1 GiB, so a broken client cannot hang the test).
  auto endless = [&chunk](size_t offset, httplib::DataSink& sink) {
    return offset < (1u << 30) && sink.write(chunk.data(), chunk.size());
  };
  server.Post("/cgi-bin/vornet", [&](const httplib::Request& req, httplib::Response& res) {
    const std::string cmd = ReadReplyField(req.body, "Cmd", 32);
    const std::string progId = ReadReplyField(req.body, "ProgID", 32);
    if (cmd == "SETUPINFO" && progId == "vornet")
      res.set_chunked_content_provider("text/xml", endless);
    if (cmd == "SETUPINFO" && progId == "long")
      res.set_content("<Error>" + std::string(5 << 20, 'e') + "</Error>", "text/xml");
    if (cmd == "UPDATEINFO")
      res.set_content("<Error>OK</Error><Build>2</Build><FileName>u.bin</FileName>", "text/xml");
    if (cmd == "FILEINFO")
      res.set_content("<Error>OK</Error><Size>1000</Size><CkSum>7</CkSum>", "text/xml");
  });
  server.Get("/vornet/updates/u.bin", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("application/octet-stream", endless);
  });
  server.Start();
  settings_.ServerUrl = server.address();

  EXPECT_EQ(PostCommand(server.address() + "/cgi-bin/vornet", SetupInfoCommand("vornet")), "");
  bool utilityNeeded = false;
  DownloadPackage(Record("vornet", "1"), settings_, utilityNeeded);
  EXPECT_FALSE(utilityNeeded);
  EXPECT_NE(Log().find("No Data reading SETUPINFO from server [VORNET] [0]"), std::string::npos);
  EXPECT_NE(Log().find(updates_ + "/u.bin [Download Failed] [0]"), std::string::npos) << Log();
  EXPECT_EQ(ReadFileBytes(updates_ + "/u.bin"), "build one");
  EXPECT_EQ(FolderEntries(updates_), (std::vector<std::string>{"UPDATE.XML", "u.bin"}));

  // A reply of megabytes below the limit is read whole; the error goes to the log cut.
  DownloadPackage(Record("long", ""), settings_, utilityNeeded);
  EXPECT_NE(Log().find(" - " + std::string(255, 'e') + " [VORNET SETUPINFO] [0]\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace vornix
