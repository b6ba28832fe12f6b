#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/service/download_fixture.h"

namespace vornix {
namespace {

using Lines = std::vector<std::string>;

const std::string kArchive = std::string("BZh91AY&SY\0\xff archive", 20);

TEST_F(DownloadFlow, NewUpdateIsDownloadedVerifiedAndMarked) {
  Publish("qorax", "UpdateBuild=u12\nUpdateFile=patch 1.tbz\nUpdateCmd=qorax --reload\n");
  PublishUpdate("qorax", "patch 1.tbz", kArchive);
  EXPECT_TRUE(Run(Record("qorax", "", "u11")));

  EXPECT_EQ(server_.Log(),
            (Lines{"SETUPINFO qorax", "UPDATEINFO qorax", "FILEINFO qorax updates/patch 1.tbz",
                   "GET /qorax/updates/patch 1.tbz", "FILEINFO qorax updates/patch 1.tbz"}));
  EXPECT_EQ(LocalBytes("qorax/updates/patch 1.tbz"), kArchive);
  EXPECT_EQ(LocalBytes("qorax/updates/UPDATE.XML"),
            "<Build>u12</Build>\r\n<FileName>patch 1.tbz</FileName>\r\n"
            "<UpdateCmd>qorax --reload</UpdateCmd>\r\n");
  EXPECT_EQ(LogLines(), Lines{Local("qorax/updates/patch 1.tbz") + " [Download Succeeded] [0]"});
  EXPECT_EQ(Entries(Local("qorax/updates")), (Lines{"UPDATE.XML", "patch 1.tbz"}));
}

// The server writes "&#60;x" as "&#38;#60;x": one decoding gives "&#60;x", which is what the
// marker must give back, not "<x" (which would corrupt the catalogue).
TEST_F(DownloadFlow, MarkerValuesReadBackAsTheServerSentThem) {
  Publish("qorax", "UpdateBuild=&#60;x\nUpdateFile=a&b.tbz\nUpdateCmd=run <x> & y\n");
  PublishUpdate("qorax", "a&b.tbz", kArchive);
  EXPECT_TRUE(Run(Record("qorax")));
  EXPECT_EQ(LocalBytes("qorax/updates/UPDATE.XML"),
            "<Build>&#38;#60;x</Build>\r\n<FileName>a&#38;b.tbz</FileName>\r\n"
            "<UpdateCmd>run &#60;x&#62; &#38; y</UpdateCmd>\r\n");
  const UpdateMarker back = ReadUpdateXml(Local("qorax/updates/UPDATE.XML"));
  EXPECT_EQ(back.Build, "&#60;x");
  EXPECT_EQ(back.FileName, "a&b.tbz");
  EXPECT_EQ(back.UpdateCmd, "run <x> & y");
}

TEST_F(DownloadFlow, UpdateEqualToTheRecordIsLeftAlone) {
  Publish("qorax", "UpdateBuild=u12\nUpdateFile=p.tbz\n");
  PublishUpdate("qorax", "p.tbz", kArchive);
  EXPECT_FALSE(Run(Record("qorax", "", "u12")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
  EXPECT_FALSE(testing::PathExists(Local("qorax/updates/UPDATE.XML")));
}

TEST_F(DownloadFlow, UpdateThatLiesReadyIsNotCheckedAgain) {
  Publish("qorax", "UpdateBuild=u12\nUpdateFile=p.tbz\n");
  testing::WriteFileBytes(Local("qorax/updates/UPDATE.XML"),
                          "<Build>u12</Build>\r\n<FileName>p.tbz</FileName>\r\n");
  EXPECT_FALSE(Run(Record("qorax", "", "u11")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
}

TEST_F(DownloadFlow, UpdateWithoutFileNameChangesNothing) {
  Publish("qorax", "UpdateBuild=u12\nUpdateFile=\n");
  EXPECT_FALSE(Run(Record("qorax", "", "u11")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
  EXPECT_EQ(Entries(Local("qorax/updates")), Lines{});
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DownloadFlow, UpdateBuildsDifferingOnlyInCaseAreDifferent) {
  Publish("qorax", "UpdateBuild=U12\nUpdateFile=p.tbz\n");
  PublishUpdate("qorax", "p.tbz", kArchive);
  EXPECT_TRUE(Run(Record("qorax", "", "u12")));
  EXPECT_EQ(ReadUpdateXmlBuild(), "U12");
}

TEST_F(DownloadFlow, CompleteUnmarkedUpdateIsMarkedWithoutDownload) {
  Publish("qorax", "UpdateBuild=u12\nUpdateFile=p.tbz\n");
  PublishUpdate("qorax", "p.tbz", kArchive);
  testing::WriteFileBytes(Local("qorax/updates/p.tbz"), kArchive);
  EXPECT_TRUE(Run(Record("qorax", "", "u11")));
  EXPECT_EQ(server_.Log(),
            (Lines{"SETUPINFO qorax", "UPDATEINFO qorax", "FILEINFO qorax updates/p.tbz"}));
  EXPECT_EQ(ReadUpdateXmlBuild(), "u12");
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DownloadFlow, EmptyUpdateInfoReplyIsLogged) {
  Publish("qorax", "");
  server_.SetReply("UPDATEINFO", "qorax", "");
  EXPECT_FALSE(Run(Record("qorax")));
  EXPECT_EQ(LogLines(), Lines{"No Data reading UPDATEINFO from server [VORNET] [0]"});
}

TEST_F(DownloadFlow, UpdateInfoErrorIsLoggedWithItsText) {
  Publish("qorax", "UpdateError=No update for this client\n");
  EXPECT_FALSE(Run(Record("qorax")));
  EXPECT_EQ(LogLines(), Lines{"No update for this client [VORNET UPDATEINFO] [0]"});
}

// Mended: the update that an older marker names stays whole when a newer download fails.
TEST_F(DownloadFlow, UpdateFailingVerificationIsReportedAndTheOldFileKept) {
  Publish("qorax", "UpdateBuild=u13\nUpdateFile=p.tbz\n");
  PublishUpdate("qorax", "p.tbz", kArchive);
  const std::string oldMarker =
      "<Build>u12</Build>\r\n<FileName>p.tbz</FileName>\r\n"
      "<UpdateCmd></UpdateCmd>\r\n";
  testing::WriteFileBytes(Local("qorax/updates/p.tbz"), "update u12");
  testing::WriteFileBytes(Local("qorax/updates/UPDATE.XML"), oldMarker);
  server_.SetReply("FILEINFO", "qorax", "<Error>OK</Error><Size>21</Size><CkSum>7</CkSum>");

  EXPECT_FALSE(Run(Record("qorax", "", "u11")));
  const std::string file = Local("qorax/updates/p.tbz");
  EXPECT_EQ(server_.Log(),
            (Lines{"SETUPINFO qorax", "UPDATEINFO qorax", "FILEINFO qorax updates/p.tbz",
                   "GET /qorax/updates/p.tbz", "FILEINFO qorax updates/p.tbz",
                   "LOGMSG PC7:" + file + ": Download Failed"}));
  EXPECT_EQ(LogLines(), Lines{file + " [Download Failed] [0]"});
  EXPECT_EQ(LocalBytes("qorax/updates/p.tbz"), "update u12");
  EXPECT_EQ(LocalBytes("qorax/updates/UPDATE.XML"), oldMarker);
  EXPECT_EQ(Entries(Local("qorax/updates")), (Lines{"UPDATE.XML", "p.tbz"}));
}

TEST_F(DownloadFlow, UnwritableUpdateXmlIsReportedAndTheFlagStaysSet) {
  Publish("qorax", "UpdateBuild=u13\nUpdateFile=p.tbz\n");
  PublishUpdate("qorax", "p.tbz", kArchive);
  std::filesystem::create_directories(Local("qorax/updates/UPDATE.XML"));
  EXPECT_TRUE(Run(Record("qorax")));
  const std::string file = Local("qorax/updates/p.tbz");
  EXPECT_EQ(LocalBytes("qorax/updates/p.tbz"), kArchive);
  const Lines log = server_.Log();
  EXPECT_EQ(log.back(), "LOGMSG PC7:" + file + ": Download Failed");
}

// Mended: a file name from the server must name one file inside the updates folder.
TEST_F(DownloadFlow, UpdateFileNameThatIsNotPlainIsRefused) {
  PublishUpdate("qorax", "p.tbz", kArchive);
  for (const std::string name : {"../p.tbz", "/tmp/p.tbz", "..", "-rf", "UPDATE.XML"}) {
    Publish("qorax", "UpdateBuild=u13\nUpdateFile=" + name + "\n");
    server_.ClearRequests();
    EXPECT_FALSE(Run(Record("qorax")));
    EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"})) << name;
    EXPECT_EQ(LogLines().back(),
              "Unusable update file name from server: " + name + " [VORNET UPDATEINFO] [0]");
  }
  EXPECT_EQ(Entries(Local("qorax/updates")), Lines{});
  EXPECT_EQ(Entries(Local("qorax")), (Lines{"updates"}));
}

TEST_F(DownloadFlow, UpdateBuildWithMarkupIsRefused) {
  Publish("qorax", "UpdateBuild=u<13\nUpdateFile=p.tbz\n");
  PublishUpdate("qorax", "p.tbz", kArchive);
  EXPECT_FALSE(Run(Record("qorax")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
  EXPECT_EQ(LogLines(), Lines{"Unusable update build from server: u<13 [VORNET UPDATEINFO] [0]"});
  EXPECT_EQ(Entries(Local("qorax/updates")), Lines{});
}

TEST_F(DownloadFlow, SetupAndUpdateTogether) {
  Publish("vornet", "SetupBuild=2.0.0.5\nUpdateBuild=u3\nUpdateFile=v.tbz\nUpdateCmd=x\n");
  PublishSetup("vornet", "setup");
  PublishUpdate("vornet", "v.tbz", kArchive);
  EXPECT_TRUE(Run(Record("vornet", "2.0.0.4", "u2")));
  EXPECT_EQ(LocalBytes("vornet/SETUP.VER"), "2.0.0.5");
  EXPECT_EQ(LocalBytes("vornet/updates/v.tbz"), kArchive);
  // A second pass finds everything in place: two commands, no file transfer.
  server_.ClearRequests();
  EXPECT_FALSE(Run(Record("vornet", "2.0.0.4", "u2")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO vornet", "UPDATEINFO vornet"}));
}

}  // namespace
}  // namespace vornix
