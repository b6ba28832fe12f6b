// Downloads when things go wrong: the server going away mid-file, the disk full while a marker
// is written, replies without end; and files that are not files.
#include "tests/service/fixtures.h"

#include <signal.h>
#include <sys/resource.h>
#include <atomic>

#include "common/settings_key.h"
#include "common/transport.h"
#include "platform/path.h"
#include "platform/profile.h"
#include "testing/support/http_test_server.h"

namespace vornix {
namespace {

// What lies ready from the check before: build 1 of vornet's update, fully verified.
class DownloadFaults : public DownloadFlow {
 protected:
  void SetUp() override {
    DownloadFlow::SetUp();
    testing::WriteFileBytes(Local("vornet/updates/u.bin"), "build one");
    ASSERT_TRUE(WriteUpdateXml(Local("vornet/updates/UPDATE.XML"), {"1", "u.bin", ""}));
    before_ = AllFiles();
  }
  // A server that answers the commands with `replies` (by Cmd) and records LOGMSG texts.
  void Serve(testing::HttpTestServer& server, std::map<std::string, std::string> replies) {
    server.Post("/cgi-bin/vornet",
                [this, replies](const httplib::Request& req, httplib::Response& res) {
                  const std::string cmd = ReadReplyField(req.body, "Cmd", 32);
                  if (cmd == "LOGMSG")
                    messages_.push_back(Dollar(ReadReplyField(req.body, "Msg", 1024)));
                  if (replies.count(cmd)) res.set_content(replies.at(cmd), "text/xml");
                });
    settings_.ServerUrl = server.address();
  }
  Files before_;
  Lines messages_;
};

const std::string kUpdateInfo = "<Error>OK</Error><Build>2</Build><FileName>u.bin</FileName>";

// The line drops after a quarter of the file: the earlier file and marker stay, the quarter is
// kept apart, and the next check asks only for the rest and puts the whole in place; from a
// server that does not answer ranges (it sends the whole file), it asks again for the whole.
TEST_F(DownloadFaults, ServerGoingAwayMidFileKeepsTheEarlierFileAndGoesOnNextTime) {
  const std::string newFile(1 << 20, 'n');
  testing::HttpTestServer server;
  Serve(server, {{"UPDATEINFO", kUpdateInfo},
                 {"FILEINFO", "<Error>OK</Error><Size>" + std::to_string(newFile.size()) +
                                  "</Size><CkSum>" + std::to_string(testing::SystemVSum(newFile)) +
                                  "</CkSum>"}});
  bool cut = true, ranges = true;
  std::string range;
  server.Get("/vornet/updates/u.bin", [&](const httplib::Request& req, httplib::Response& res) {
    range += req.get_header_value("Range") + ";";
    if (!ranges) {  // the whole file, whatever was asked
      return res.set_chunked_content_provider("application/octet-stream",
                                              [&](size_t offset, httplib::DataSink& sink) {
                                                if (offset == 0)
                                                  return sink.write(newFile.data(), newFile.size());
                                                sink.done();
                                                return true;
                                              });
    }
    if (!cut) return res.set_content(newFile, "application/octet-stream");
    // Promise the whole file, send a quarter of it, then drop the connection.
    res.set_content_provider(newFile.size(), "application/octet-stream",
                             [&](size_t offset, size_t, httplib::DataSink& sink) {
                               return offset < newFile.size() / 4 &&
                                      sink.write(newFile.data(), newFile.size() / 4);
                             });
  });
  server.Start();
  EXPECT_FALSE(Run(Record("vornet", "", "1")));
  const std::string partial = "vornet/updates/.partial-2-u.bin";
  Files kept = before_;
  kept[partial] = newFile.substr(0, newFile.size() / 4);
  EXPECT_EQ(AllFiles(), kept);
  EXPECT_EQ(LogLines(), (Lines{"No Data reading SETUPINFO from server: an empty reply [VORNET] [0]",
                               "$/vornet/updates/u.bin: transfer closed with 786432 bytes "
                               "remaining to read [Download Failed] [0]"}));
  EXPECT_EQ(messages_, Lines{"PC7:$/vornet/updates/u.bin: Download Failed"});
  EXPECT_EQ(range, ";");

  cut = false;
  for (const bool answersRanges : {false, true}) {
    testing::WriteFileBytes(Local(partial), kept[partial]);
    ranges = answersRanges;
    range.clear();
    EXPECT_TRUE(Run(Record("vornet", "", "1")));
    EXPECT_EQ(range, answersRanges ? "bytes=262144-;" : "bytes=262144-;;");
    EXPECT_EQ(AllFiles(), (Files{{"vornet/updates/u.bin", newFile},
                                 {"vornet/updates/UPDATE.XML",
                                  "<Build>2</Build>\r\n<FileName>u.bin</FileName>\r\n<UpdateCmd>"
                                  "</UpdateCmd>\r\n"}}));
    std::filesystem::remove(Local("vornet/updates/u.bin"));
  }
}

TEST_F(DownloadFaults, DiskFullWhileWritingTheMarkerKeepsTheOldMarkerAndReports) {
  // A long command makes the marker the largest file written.
  Publish("vornet/updates/u.bin", "build two");
  Publish("vornet/package.txt",
          "UpdateBuild=2\nUpdateFile=u.bin\nUpdateCmd=" + std::string(200, 'c'));
  // In a child whose files may not grow past 150 bytes: the file fits, the marker does not.
  const int utilityNeeded = testing::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{150, 150};
    setrlimit(RLIMIT_FSIZE, &limit);
    return Run(Record("vornet", "", "1"));
  });
  EXPECT_EQ(utilityNeeded, 0) << "the file was put in place, so the utility is needed";
  before_["vornet/updates/u.bin"] = "build two";
  EXPECT_EQ(AllFiles(), before_) << "the old marker stays whole";
  EXPECT_EQ(Requests().back(), "LOGMSG PC7:$/vornet/updates/u.bin: Download Failed");
}

// Replies that never end and a file that grows past the size it stated fail without growing;
// a long error below the limit is read whole and logged cut to its capacity.
TEST_F(DownloadFaults, EndlessRepliesFailWithoutGrowingAndALongErrorIsCutToItsCapacity) {
  testing::HttpTestServer server;
  const std::string chunk(1 << 16, 'x');
  std::atomic<size_t> sent{0};
  // Streams until the client hangs up (at most 1 GiB, so a broken client cannot hang the test).
  auto endless = [&](size_t offset, httplib::DataSink& sink) {
    sent = offset;
    return offset < (1u << 30) && sink.write(chunk.data(), chunk.size());
  };
  server.server().Post("/endless", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/xml", endless);
  });
  Serve(server, {{"SETUPINFO", "<Error>" + std::string(5 << 20, 'e') + "</Error>"},
                 {"UPDATEINFO", kUpdateInfo},
                 {"FILEINFO", "<Error>OK</Error><Size>1000</Size><CkSum>7</CkSum>"}});
  server.Get("/vornet/updates/u.bin", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("application/octet-stream", endless);
  });
  server.Start();
  TransferResult endlessReply;
  EXPECT_EQ(
      PostCommand(server.address() + "/endless", SetupInfoCommand("vornet"), {}, &endlessReply),
      "");
  EXPECT_EQ(endlessReply.cause, "a reply longer than 16777216 bytes");
  EXPECT_FALSE(Run(Record("vornet", "", "1")));
  EXPECT_LT(sent, 64u << 20) << "the download is cut off past the size stated";
  EXPECT_EQ(LogLines(), (Lines{std::string(255, 'e') + " [VORNET SETUPINFO] [0]",
                               "$/vornet/updates/u.bin: it brought more than the 1000 bytes "
                               "stated [Download Failed] [0]"}));
  EXPECT_EQ(AllFiles(), before_);
}

// Mended: a FIFO where a shared file belongs reads as missing, and nothing waits on it.
TEST(FilesThatAreNotFiles, AFifoInAFilesPlaceReadsAsMissingWithoutBlocking) {
  testing::ScopedSystemRoot root;
  const std::string fifo = root.path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string settings = RegistryKey::KeyFilePath(SettingsKey());
  ASSERT_TRUE(MakeFolders(FolderWithSlash(settings)));
  ASSERT_EQ(mkfifo(settings.c_str(), 0644), 0);
  PackageCatalogue catalogue;
  const std::pair<const char*, std::function<bool()>> readers[] = {
      {"catalogue", [&] { return !LoadCatalogue(fifo, catalogue); }},
      {"catalogue rewrite", [&] { return !SaveCatalogue(fifo, PackageCatalogue()); }},
      {"UPDATE.XML", [&] { return ReadUpdateXml(fifo).Build.empty(); }},
      {"SETUP.VER", [&] { return ReadSetupVer(fifo).empty(); }},
      {"settings", [] { return !RegistryKey::Open(SettingsKey(), kKeyRead); }},
      {"avclient.ini", [&] { return ReadProfileString(fifo, "SERVER", "x", "", 128).empty(); }},
      {"downloaded file", [&] { return !ReadFileFacts(fifo, true); }},
      {"log",
       [&] {
         ActivityLog log({"fifo", "trace"});
         log.OpenLogIn(root.path() + "/");
         return log.WriteLogLine("a line nobody reads");
       }},
  };
  for (const auto& [what, read] : readers)
    EXPECT_EQ(testing::RunInChild(read, {false, std::chrono::seconds(3)}), 0) << what;
}

}  // namespace
}  // namespace vornix
