#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/service/download_fixture.h"

namespace vornix {
namespace {

using Lines = std::vector<std::string>;

const std::string kSetupBytes = std::string("MZ\0\x01setup program", 17);

TEST_F(DownloadFlow, NewSetupIsDownloadedVerifiedAndMarked) {
  Publish("qorax", "SetupBuild=2.0.0.5\n");
  PublishSetup("qorax", kSetupBytes);
  EXPECT_TRUE(Run(Record("qorax", "2.0.0.4")));

  EXPECT_EQ(server_.Log(),
            (Lines{"SETUPINFO qorax", "FILEINFO qorax setup.exe", "GET /qorax/setup.exe",
                   "FILEINFO qorax setup.exe", "UPDATEINFO qorax"}));
  EXPECT_EQ(LocalBytes("qorax/setup.exe"), kSetupBytes);
  EXPECT_EQ(LocalBytes("qorax/SETUP.VER"), "2.0.0.5");
  EXPECT_EQ(LogLines(), Lines{Local("qorax/setup.exe") + " [Download Succeeded] [0]"});
  EXPECT_EQ(Entries(Local("qorax")), (Lines{"SETUP.VER", "setup.exe", "updates"}));
}

// Mended: the platform runs a program only when it is marked executable.
TEST_F(DownloadFlow, DownloadedSetupIsExecutable) {
  Publish("qorax", "SetupBuild=2\n");
  PublishSetup("qorax", kSetupBytes);
  Run(Record("qorax", "1"));
  struct stat st {};
  ASSERT_EQ(stat(Local("qorax/setup.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0111, 0111u);
}

TEST_F(DownloadFlow, SetupBuildEqualToTheRecordIsLeftAlone) {
  Publish("qorax", "SetupBuild=2.0.0.5\n");
  PublishSetup("qorax", kSetupBytes);
  EXPECT_FALSE(Run(Record("qorax", "2.0.0.5")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
  EXPECT_FALSE(testing::PathExists(Local("qorax/SETUP.VER")));
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DownloadFlow, EmptySetupBuildIsLeftAlone) {
  Publish("qorax", "SetupBuild=\n");
  EXPECT_FALSE(Run(Record("qorax", "1")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
}

TEST_F(DownloadFlow, SetupThatLiesReadyIsNotCheckedAgain) {
  Publish("qorax", "SetupBuild=2.0.0.5\n");
  PublishSetup("qorax", kSetupBytes);
  testing::WriteFileBytes(Local("qorax/SETUP.VER"), "2.0.0.5");
  EXPECT_FALSE(Run(Record("qorax", "2.0.0.4")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
}

TEST_F(DownloadFlow, CompleteUnmarkedSetupIsMarkedWithoutDownload) {
  Publish("qorax", "SetupBuild=2.0.0.5\n");
  PublishSetup("qorax", kSetupBytes);
  testing::WriteFileBytes(Local("qorax/setup.exe"), kSetupBytes);
  EXPECT_TRUE(Run(Record("qorax", "2.0.0.4")));
  EXPECT_EQ(server_.Log(),
            (Lines{"SETUPINFO qorax", "FILEINFO qorax setup.exe", "UPDATEINFO qorax"}));
  EXPECT_EQ(LocalBytes("qorax/SETUP.VER"), "2.0.0.5");
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DownloadFlow, BuildsDifferingOnlyInCaseAreDifferent) {
  Publish("qorax", "SetupBuild=2.0.0.5b\n");
  PublishSetup("qorax", kSetupBytes);
  testing::WriteFileBytes(Local("qorax/SETUP.VER"), "2.0.0.5B");
  EXPECT_TRUE(Run(Record("qorax", "2.0.0.5B")));
  EXPECT_EQ(LocalBytes("qorax/SETUP.VER"), "2.0.0.5b");
}

TEST_F(DownloadFlow, EmptySetupInfoReplyIsLoggedAndTheUpdateStepRuns) {
  Publish("qorax", "UpdateBuild=\n");
  server_.SetReply("SETUPINFO", "qorax", "");
  EXPECT_FALSE(Run(Record("qorax", "1")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
  EXPECT_EQ(LogLines(), Lines{"No Data reading SETUPINFO from server [VORNET] [0]"});
}

TEST_F(DownloadFlow, UnreachableServerLogsBothSteps) {
  settings_.ServerUrl = "127.0.0.1:1";
  EXPECT_FALSE(Run(Record("qorax", "1")));
  EXPECT_EQ(LogLines(), (Lines{"No Data reading SETUPINFO from server [VORNET] [0]",
                               "No Data reading UPDATEINFO from server [VORNET] [0]"}));
}

TEST_F(DownloadFlow, SetupInfoErrorIsLoggedWithItsText) {
  Publish("qorax", "SetupError=Package withdrawn\n");
  EXPECT_FALSE(Run(Record("qorax", "1")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
  EXPECT_EQ(LogLines(), Lines{"Package withdrawn [VORNET SETUPINFO] [0]"});
}

TEST_F(DownloadFlow, ErrorMustBeExactlyOk) {
  server_.SetReply("SETUPINFO", "qorax", "<Error>ok</Error><Build>9</Build>");
  Publish("qorax", "");
  EXPECT_FALSE(Run(Record("qorax", "1")));
  EXPECT_EQ(LogLines(), Lines{"ok [VORNET SETUPINFO] [0]"});
}

// Mended: a failed download keeps the setup that lay ready before, and leaves no temporary.
TEST_F(DownloadFlow, SetupFailingVerificationIsReportedAndTheOldFileKept) {
  Publish("qorax", "SetupBuild=3\n");
  PublishSetup("qorax", kSetupBytes);
  testing::WriteFileBytes(Local("qorax/setup.exe"), "build 2 setup");
  testing::WriteFileBytes(Local("qorax/SETUP.VER"), "2");
  server_.SetReply("FILEINFO", "qorax", "<Error>OK</Error><Size>17</Size><CkSum>1</CkSum>");

  EXPECT_FALSE(Run(Record("qorax", "1")));
  const std::string file = Local("qorax/setup.exe");
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "FILEINFO qorax setup.exe",
                                  "GET /qorax/setup.exe", "FILEINFO qorax setup.exe",
                                  "LOGMSG PC7:" + file + ": Download Failed", "UPDATEINFO qorax"}));
  EXPECT_EQ(LogLines(), Lines{file + " [Download Failed] [0]"});
  EXPECT_EQ(LocalBytes("qorax/setup.exe"), "build 2 setup");
  EXPECT_EQ(LocalBytes("qorax/SETUP.VER"), "2");
  EXPECT_EQ(Entries(Local("qorax")), (Lines{"SETUP.VER", "setup.exe", "updates"}));
}

TEST_F(DownloadFlow, MissingSetupOnTheServerIsAFailedDownload) {
  Publish("qorax", "SetupBuild=3\n");
  EXPECT_FALSE(Run(Record("qorax", "1")));
  EXPECT_EQ(LogLines(), Lines{Local("qorax/setup.exe") + " [Download Failed] [0]"});
  EXPECT_FALSE(testing::PathExists(Local("qorax/setup.exe")));
}

TEST_F(DownloadFlow, FileInfoWithoutSizeAndSumVerifiesAnEmptyFile) {
  Publish("qorax", "SetupBuild=3\n");
  PublishSetup("qorax", "");
  server_.SetReply("FILEINFO", "qorax", "<Error>OK</Error>");
  EXPECT_TRUE(Run(Record("qorax", "1")));
  EXPECT_EQ(LocalBytes("qorax/SETUP.VER"), "3");
  EXPECT_EQ(LogLines(), Lines{Local("qorax/setup.exe") + " [Download Succeeded] [0]"});
}

TEST_F(DownloadFlow, UnwritableSetupVerIsReportedAndTheFlagStaysSet) {
  Publish("qorax", "SetupBuild=3\n");
  PublishSetup("qorax", kSetupBytes);
  ASSERT_EQ(mkdir(Local("qorax").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Local("qorax/SETUP.VER").c_str(), 0755), 0);  // a marker that cannot be written
  EXPECT_TRUE(Run(Record("qorax", "1")));
  const std::string file = Local("qorax/setup.exe");
  // The log drops the second line: its text repeats the previous one.
  EXPECT_EQ(LogLines(), Lines{file + " [Download Succeeded] [0]"});
  const Lines log = server_.Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "LOGMSG PC7:" + file + ": Download Failed"),
            log.end());
}

// Mended: a build holding markup would corrupt the marker and the catalogue.
TEST_F(DownloadFlow, SetupBuildWithMarkupIsRefused) {
  for (const std::string build : {"2<3", "2\"3"}) {
    Publish("qorax", "SetupBuild=" + build + "\n");
    PublishSetup("qorax", kSetupBytes);
    server_.ClearRequests();
    EXPECT_FALSE(Run(Record("qorax", "1")));
    EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
    EXPECT_FALSE(testing::PathExists(Local("qorax/SETUP.VER")));
    EXPECT_FALSE(testing::PathExists(Local("qorax/setup.exe")));
  }
  EXPECT_EQ(LogLines(), (Lines{"Unusable setup build from server: 2<3 [VORNET SETUPINFO] [0]",
                               "Unusable setup build from server: 2\"3 [VORNET SETUPINFO] [0]"}));
}

TEST_F(DownloadFlow, VendorServerGivesFilesWhileCommandsStayOnTheServer) {
  settings_.UseLocalServer = false;
  settings_.VendorServer = server_.address() + "/Vornix";
  Publish("qorax", "SetupBuild=2\nUpdateBuild=u1\nUpdateFile=p.tbz\n");
  PublishSetup("qorax", kSetupBytes);
  PublishUpdate("qorax", "p.tbz", "update");
  EXPECT_TRUE(Run(Record("qorax", "1")));
  EXPECT_EQ(server_.Log(),
            (Lines{"SETUPINFO qorax", "FILEINFO qorax setup.exe", "GET /Vornix/qorax/setup.exe",
                   "FILEINFO qorax setup.exe", "UPDATEINFO qorax", "FILEINFO qorax updates/p.tbz",
                   "GET /Vornix/qorax/updates/p.tbz", "FILEINFO qorax updates/p.tbz"}));
  for (const auto& r : server_.Requests()) {
    if (r.method == "POST") {
      EXPECT_EQ(r.path, "/cgi-bin/vornet");
    }
  }
}

TEST_F(DownloadFlow, EmptyFileInfoReplyFailsBothVerifications) {
  Publish("qorax", "SetupBuild=3\n");
  PublishSetup("qorax", kSetupBytes);
  server_.SetReply("FILEINFO", "qorax", "");
  EXPECT_FALSE(Run(Record("qorax", "1")));
  const std::string file = Local("qorax/setup.exe");
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "FILEINFO qorax setup.exe",
                                  "GET /qorax/setup.exe", "FILEINFO qorax setup.exe",
                                  "LOGMSG PC7:" + file + ": Download Failed", "UPDATEINFO qorax"}));
  EXPECT_FALSE(testing::PathExists(file));
}

// A plain file where the package folder belongs: nothing can be fetched, and the server hears
// the same requests as for any failed download.
TEST_F(DownloadFlow, PackageFolderThatCannotBeMadeIsAFailedDownload) {
  testing::WriteFileBytes(Local("qorax"), "not a folder");
  Publish("qorax", "SetupBuild=3\n");
  PublishSetup("qorax", kSetupBytes);
  EXPECT_FALSE(Run(Record("qorax", "1")));
  EXPECT_EQ(
      server_.Log(),
      (Lines{"SETUPINFO qorax", "FILEINFO qorax setup.exe", "FILEINFO qorax setup.exe",
             "LOGMSG PC7:" + Local("qorax/setup.exe") + ": Download Failed", "UPDATEINFO qorax"}));
  EXPECT_EQ(LogLines(), Lines{Local("qorax/setup.exe") + " [Download Failed] [0]"});
}

}  // namespace
}  // namespace vornix
