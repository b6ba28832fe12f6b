// With an UpdateKey, the service takes a file only with the publisher's signature, made here by
// the build's vornix-publish over a repository in the reference server's layout.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "common/package_signature.h"
#include "tests/service/download_fixture.h"

namespace vornix {
namespace {

using Lines = std::vector<std::string>;

const std::string kSetup = "#!/bin/sh\necho setup 7\n";
const std::string kUpdate = "update u12 bytes";
// The same size and the same 16-bit sum as the original: two bytes swapped.
std::string Swapped(std::string bytes) {
  std::swap(bytes[0], bytes[1]);
  return bytes;
}

class SignedDownload : public DownloadFlow {
 protected:
  void SetUp() override {
    DownloadFlow::SetUp();
    settings_.UpdateKey = testing::PublisherKeygen(keys_ / "publisher.key");
    ASSERT_FALSE(settings_.UpdateKey.empty());
  }
  // A setup and an update of qorax, signed.
  void PublishSigned() {
    Publish("qorax", "SetupBuild=7\nUpdateBuild=u12\nUpdateFile=p.tbz\nUpdateCmd=run it\n");
    PublishSetup("qorax", kSetup);
    PublishUpdate("qorax", "p.tbz", kUpdate);
    ASSERT_TRUE(testing::PublisherSign(keys_ / "publisher.key", repo_.path()));
  }
  std::string Signature(const std::string& key) const {
    return testing::PackageInfoValue(repo_ / "qorax/package.txt", key);
  }
  void EditInfo(const std::string& from, const std::string& to) {
    std::string info = testing::ReadFileBytes(repo_ / "qorax/package.txt");
    info.replace(info.find(from), from.size(), to);
    testing::WriteFileBytes(repo_ / "qorax/package.txt", info);
  }
  testing::TempDir keys_;
};

TEST_F(SignedDownload, SignedSetupAndUpdateArePutInPlaceWithTheirSignatures) {
  PublishSigned();
  const std::string plainUpdateXml =
      "<Build>u12</Build>\r\n<FileName>p.tbz</FileName>\r\n<UpdateCmd>run it</UpdateCmd>\r\n";
  // Without a key the signatures are not looked at, and the markers are as they always were.
  const std::string key = settings_.UpdateKey;
  settings_.UpdateKey.clear();
  EXPECT_TRUE(Run(Record("qorax", "6", "u11")));
  EXPECT_FALSE(testing::PathExists(Local("qorax/SETUP.SIG")));
  EXPECT_EQ(LocalBytes("qorax/updates/UPDATE.XML"), plainUpdateXml);

  // With the key, markers without signatures do not stand for the signed packages: the files
  // in place are checked again, and one the signature does not cover is fetched again.
  settings_.UpdateKey = key;
  testing::WriteFileBytes(Local("qorax/updates/p.tbz"), Swapped(kUpdate));
  server_.ClearRequests();
  EXPECT_TRUE(Run(Record("qorax", "6", "u11")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "FILEINFO qorax setup.exe", "UPDATEINFO qorax",
                                  "FILEINFO qorax updates/p.tbz", "GET /qorax/updates/p.tbz",
                                  "FILEINFO qorax updates/p.tbz"}));
  EXPECT_EQ(LocalBytes("qorax/setup.exe"), kSetup);
  EXPECT_EQ(LocalBytes("qorax/updates/p.tbz"), kUpdate);
  EXPECT_EQ(LocalBytes("qorax/SETUP.SIG"), Signature("SetupSignature"));
  EXPECT_EQ(LocalBytes("qorax/SETUP.VER"), "7");
  EXPECT_EQ(LocalBytes("qorax/updates/UPDATE.XML"),
            plainUpdateXml + "<Signature>" + Signature("UpdateSignature") + "</Signature>\r\n");

  // Both lie ready with their signatures: the next pass fetches nothing.
  server_.ClearRequests();
  EXPECT_FALSE(Run(Record("qorax", "6", "u11")));
  EXPECT_EQ(server_.Log(), (Lines{"SETUPINFO qorax", "UPDATEINFO qorax"}));
}

TEST_F(SignedDownload, WhatTheSignatureDoesNotCoverIsRefused) {
  struct Case {
    const char* what;
    std::function<void()> change;  // made to the signed repository
    bool setup;                    // the setup is refused, else the update
  };
  const Case cases[] = {
      {"setup file swapped", [&] { PublishSetup("qorax", Swapped(kSetup)); }, true},
      {"update file swapped", [&] { PublishUpdate("qorax", "p.tbz", Swapped(kUpdate)); }, false},
      {"command changed", [&] { EditInfo("run it", "run this"); }, false},
      {"build changed", [&] { EditInfo("UpdateBuild=u12", "UpdateBuild=u13"); }, false},
      {"no signature", [&] { EditInfo("UpdateSignature=", "#"); }, false},
      {"the setup's signature",
       [&] { EditInfo(Signature("UpdateSignature"), Signature("SetupSignature")); }, false},
      {"another key's signature",
       [&] {
         const std::string other = keys_ / "other.key";
         ASSERT_FALSE(testing::PublisherKeygen(other).empty());
         chmod(other.c_str(), 0640);  // the publisher refuses a key others may read
         EXPECT_FALSE(testing::PublisherSign(other, repo_.path()));
         chmod(other.c_str(), 0600);
         ASSERT_TRUE(testing::PublisherSign(other, repo_.path()));
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Local("qorax"));
    PublishSigned();
    c.change();
    server_.ClearRequests();
    const std::string file = Local(c.setup ? "qorax/setup.exe" : "qorax/updates/p.tbz");
    const auto failures = [&] {
      const Lines log = LogLines();
      return std::count(log.begin(), log.end(), file + " [Download Failed] [0]");
    };
    const auto before = failures();
    WriteLogLine(c.what);  // the log drops a line that repeats the one before
    Run(Record("qorax", "6", "u11"));

    EXPECT_EQ(failures(), before + 1);
    const Lines requests = server_.Log();
    EXPECT_EQ(
        std::count(requests.begin(), requests.end(), "LOGMSG PC7:" + file + ": Download Failed"),
        1);
    EXPECT_FALSE(testing::PathExists(file));
    EXPECT_FALSE(
        testing::PathExists(Local(c.setup ? "qorax/SETUP.VER" : "qorax/updates/UPDATE.XML")));
    const Lines left = c.setup ? Lines{"UPDATE.XML", "p.tbz"} : Lines{};
    EXPECT_EQ(Entries(Local("qorax/updates")), left) << "nothing else is left behind";
  }
}

TEST_F(SignedDownload, UnusableKeyTakesNothing) {
  PublishSigned();
  // Not base64, too short, the padding left out, 31 bytes.
  for (const std::string& key : {std::string("not base64!"), std::string("AAAA"),
                                 std::string("ABEiM0RVZneImaq7zN3u/wARIjNEVWZ3iJmqu8zd7v8"),
                                 EncodeBase64(std::string(31, 'k'))}) {
    settings_.UpdateKey = key;
    EXPECT_FALSE(Run(Record("qorax", "6", "u11"))) << key;
  }
  EXPECT_EQ(server_.Log(), Lines{});
  EXPECT_EQ(LogLines(), Lines{std::string(kUnusableUpdateKey) + " [0]"});
  EXPECT_EQ(Entries(programDir_.path()), Lines{});
}

}  // namespace
}  // namespace vornix
