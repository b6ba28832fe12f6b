// One package's setup and update steps against the reference server: the requests in their
// order, the files and markers left, the log lines; unsigned and signed.
#include "tests/service/fixtures.h"

#include <random>

#include "common/accepted_orders.h"
#include "common/package_signature.h"

namespace vornix {
namespace {

const std::string kSetup = std::string("MZ\0\x01setup program", 17);
const std::string kArchive = std::string("BZh91AY&SY\0\xff archive", 20);
std::string Marker(const std::string& build, const std::string& file, const std::string& cmd = "") {
  return "<Build>" + build + "</Build>\r\n<FileName>" + file + "</FileName>\r\n<UpdateCmd>" + cmd +
         "</UpdateCmd>\r\n";
}
// The requests a step makes, by letter: S, U: SETUPINFO, UPDATEINFO; F, G, L: FILEINFO, GET and
// LOGMSG "Download Failed" of setup.exe; f, g, l: the same of the update p.tbz.
Lines Asked(const std::string& letters) {
  // clang-format off
  const std::map<char, std::string> meaning = {
      {'S', "SETUPINFO qorax"}, {'F', "FILEINFO qorax setup.exe"}, {'G', "GET /qorax/setup.exe"},
      {'L', "LOGMSG PC7:$/qorax/setup.exe: Download Failed"}, {'U', "UPDATEINFO qorax"},
      {'f', "FILEINFO qorax updates/p.tbz"}, {'g', "GET /qorax/updates/p.tbz"},
      {'l', "LOGMSG PC7:$/qorax/updates/p.tbz: Download Failed"}};
  // clang-format on
  Lines lines;
  for (char c : letters) lines.push_back(meaning.at(c));
  return lines;
}
const std::string kSetupOk = "$/qorax/setup.exe [Download Succeeded] [0]";
// A failed download's line: the file and the cause.
std::string SetupFailed(const std::string& cause) {
  return "$/qorax/setup.exe: " + cause + " [Download Failed] [0]";
}
std::string UpdateFailed(const std::string& cause) {
  return "$/qorax/updates/p.tbz: " + cause + " [Download Failed] [0]";
}
const std::string kNotSigned = "the signature does not match";
const std::string kUpdateOk = "$/qorax/updates/p.tbz [Download Succeeded] [0]";
const std::string kMarked = Marker("u12", "p.tbz");

struct Case {
  const char* what;
  std::string info;           // qorax's package.txt
  Files before;               // the program folder; ".download-*" files are made old
  std::string build, update;  // the catalogue record
  std::string requests;       // as letters
  bool utility;
  Lines log;  // "$" stands for the program folder
  Files after;
  std::string reply = {};  // "COMMAND reply" answered instead of the repository's
};
// clang-format off
const Case kCases[] = {
  // Builds that differ in letter case only differ. A partial download of another build goes.
  {"new setup", "SetupBuild=2.0.0.5b\n", {{"qorax/SETUP.VER", "2.0.0.5B"},
   {"qorax/.partial-2.0.0.5B-setup.exe", "x"}, {"qorax/.download-1", "y"}}, "2.0.0.5B", "", "SFGFU", true,
   {kSetupOk}, {{"qorax/setup.exe*", kSetup}, {"qorax/SETUP.VER", "2.0.0.5b"}, {"qorax/.download-1", "y"}}},
  {"setup equal to the record", "SetupBuild=2.0.0.5\n", {}, "2.0.0.5", "", "SU", false, {}, {}},
  {"empty setup build", "SetupBuild=\n", {}, "1", "", "SU", false, {}, {}},
  // A file that lies ready is checked at rest against the server's statement: one damaged
  // since (a full disk, a crash) comes anew and gets the utility started.
  {"setup lies ready", "SetupBuild=2.0.0.5\n", {{"qorax/SETUP.VER", std::string("2.0.0.5\0x", 9)},
   {"qorax/setup.exe", kSetup}}, "1", "", "SFU", false, {},
   {{"qorax/SETUP.VER", std::string("2.0.0.5\0x", 9)}, {"qorax/setup.exe*", kSetup}}},
  {"setup marked, damaged at rest", "SetupBuild=2.0.0.5\n", {{"qorax/SETUP.VER", "2.0.0.5"},
   {"qorax/setup.exe", "MZ"}}, "1", "", "SFGFU", true, {kSetupOk},
   {{"qorax/SETUP.VER", "2.0.0.5"}, {"qorax/setup.exe*", kSetup}}},
  {"complete setup, unmarked", "SetupBuild=2\n", {{"qorax/setup.exe", kSetup}}, "1", "", "SFU",
   true, {}, {{"qorax/setup.exe*", kSetup}, {"qorax/SETUP.VER", "2"}}},
  {"empty SETUPINFO reply", "", {}, "1", "", "SU", false,
   {"No Data reading SETUPINFO from server: an empty reply [VORNET] [0]"}, {}, "SETUPINFO "},
  {"error other than OK", "", {}, "1", "", "SU", false, {"ok [VORNET SETUPINFO] [0]"}, {},
   "SETUPINFO <Error>ok</Error><Build>9</Build>"},
  {"setup build with markup", "SetupBuild=2<3\n", {}, "1", "", "SU", false,
   {"Unusable setup build from server: 2<3 [VORNET SETUPINFO] [0]"}, {}},
  // A failed download keeps the setup that lay ready before.
  {"setup failing verification", "SetupBuild=3\n", {{"qorax/setup.exe", "old"},
   {"qorax/SETUP.VER", "2"}}, "1", "", "SFGFLU", false,
   {SetupFailed("17 bytes with checksum 1521 where the server states 17 bytes with checksum 1")},
   {{"qorax/setup.exe", "old"}, {"qorax/SETUP.VER", "2"}}, "FILEINFO <Error>OK</Error><Size>17</Size><CkSum>1</CkSum>"},
  // The server hears the same requests as for any failed download.
  {"package folder cannot be made", "SetupBuild=3\n", {{"qorax", "plain"}}, "1", "", "SFFLU", false,
   {SetupFailed("$/qorax/.partial-3-setup.exe cannot be made: Not a directory")},
   {{"qorax", "plain"}}},
  {"SETUP.VER cannot be written", "SetupBuild=3\n", {{"qorax/SETUP.VER/x", ""}}, "1", "", "SFGFLU",
   true, {kSetupOk, SetupFailed("$/qorax/SETUP.VER cannot be written")},
   {{"qorax/setup.exe*", kSetup}, {"qorax/SETUP.VER/x", ""}}},
  // Marker values read back as the server sent them: "&#60;x" must not become "<x".
  {"new update", "UpdateBuild=&#60;x\nUpdateFile=p.tbz\nUpdateCmd=run <x> & y\n",
   {{"qorax/updates/.partial-u10-p.tbz", ""}}, "", "u11", "SUfgf", true, {kUpdateOk},
   {{"qorax/updates/p.tbz", kArchive}, {"qorax/updates/UPDATE.XML",
     Marker("&#38;#60;x", "p.tbz", "run &#60;x&#62; &#38; y")}}},
  {"update equal to the record", "UpdateBuild=u12\nUpdateFile=p.tbz\n", {}, "", "u12", "SU", false, {}, {}},
  // Mended: an update that lies ready and is not recorded yet gets the utility started, with
  // nothing fetched; when its file is gone or damaged at rest, it is fetched anew.
  {"update lies ready", "UpdateBuild=u12\nUpdateFile=p.tbz\n", {{"qorax/updates/UPDATE.XML", kMarked},
   {"qorax/updates/p.tbz", kArchive}}, "", "U12", "SUf", true, {},
   {{"qorax/updates/UPDATE.XML", kMarked}, {"qorax/updates/p.tbz", kArchive}}},
  {"update marked, damaged at rest", "UpdateBuild=u12\nUpdateFile=p.tbz\n",
   {{"qorax/updates/UPDATE.XML", kMarked}, {"qorax/updates/p.tbz", "cut"}}, "", "U12", "SUfgf",
   true, {kUpdateOk}, {{"qorax/updates/UPDATE.XML", kMarked}, {"qorax/updates/p.tbz", kArchive}}},
  {"update marked, its file gone", "UpdateBuild=u12\nUpdateFile=p.tbz\n",
   {{"qorax/updates/UPDATE.XML", kMarked}}, "", "U12", "SUfgf", true, {kUpdateOk},
   {{"qorax/updates/UPDATE.XML", kMarked}, {"qorax/updates/p.tbz", kArchive}}},
  {"update without file name", "UpdateBuild=u12\n", {}, "", "u11", "SU", false, {}, {}},
  {"complete update, unmarked", "UpdateBuild=u12\nUpdateFile=p.tbz\n", {{"qorax/updates/p.tbz", kArchive}},
   "", "u11", "SUf", true, {}, {{"qorax/updates/p.tbz", kArchive}, {"qorax/updates/UPDATE.XML", kMarked}}},
  {"empty UPDATEINFO reply", "", {}, "", "", "SU", false,
   {"No Data reading UPDATEINFO from server: an empty reply [VORNET] [0]"}, {}, "UPDATEINFO "},
  {"update error", "UpdateError=No update\n", {}, "", "", "SU", false, {"No update [VORNET UPDATEINFO] [0]"}, {}},
  {"update build with markup", "UpdateBuild=u\"13\nUpdateFile=p.tbz\n", {}, "", "", "SU", false,
   {"Unusable update build from server: u\"13 [VORNET UPDATEINFO] [0]"}, {}},
  {"file name with a path", "UpdateBuild=u13\nUpdateFile=../p.tbz\n", {}, "", "", "SU", false,
   {"Unusable update file name from server: ../p.tbz [VORNET UPDATEINFO] [0]"}, {}},
  {"file name like an option", "UpdateBuild=u13\nUpdateFile=-rf\n", {}, "", "", "SU", false,
   {"Unusable update file name from server: -rf [VORNET UPDATEINFO] [0]"}, {}},
  {"file named as the marker", "UpdateBuild=u13\nUpdateFile=update.xml\n", {}, "", "", "SU", false,
   {"Unusable update file name from server: update.xml [VORNET UPDATEINFO] [0]"}, {}},
  // The update that an older marker names stays whole when a newer download fails.
  {"update failing verification", "UpdateBuild=u13\nUpdateFile=p.tbz\n", {{"qorax/updates/p.tbz", "old"},
   {"qorax/updates/UPDATE.XML", kMarked}}, "", "u11", "SUfgfl", false,
   {UpdateFailed("20 bytes with checksum 1755 where the server states 21 bytes with checksum 7")},
   {{"qorax/updates/p.tbz", "old"}, {"qorax/updates/UPDATE.XML", kMarked}},
   "FILEINFO <Error>OK</Error><Size>21</Size><CkSum>7</CkSum>"},
};
// clang-format on

TEST_F(DownloadFlow, EachStepAsksFetchesAndMarksAsItMust) {
  Publish("qorax/setup.exe", kSetup);
  Publish("qorax/updates/p.tbz", kArchive);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Local("qorax"));
    for (const auto& [name, bytes] : c.before) {
      testing::WriteFileBytes(Local(name), bytes);
      if (name.find(".download-") != std::string::npos) testing::MakeOld(Local(name));
    }
    Publish("qorax/package.txt", c.info);
    server_.ClearReplies();
    const size_t blank = c.reply.find(' ');
    if (!c.reply.empty()) server_.SetReply(c.reply.substr(0, blank), "", c.reply.substr(blank + 1));
    server_.ClearRequests();
    EXPECT_EQ(Run(Record("qorax", c.build, c.update)), c.utility);
    EXPECT_EQ(Requests(), Asked(c.requests));
    EXPECT_EQ(LogLines(), c.log);
    EXPECT_EQ(AllFiles(), c.after);
  }
}

// The sum worked out as the bytes arrive judges as a read of the file did: a last byte that
// differs, a byte short and a byte long are each refused, and nothing is put in place.
TEST_F(DownloadFlow, AFileThatDiffersInItsLastByteOrItsLengthIsRefused) {
  Publish("qorax/package.txt", "UpdateBuild=u12\nUpdateFile=p.tbz\n");
  const auto facts = [](const std::string& bytes) {
    return std::to_string(bytes.size()) + " bytes with checksum " +
           std::to_string(testing::SystemVSum(bytes));
  };
  std::string lastByte = kArchive;
  lastByte.back() ^= 1;
  // A byte short, its value moved onto the NUL at 10: the same sum, and only its length tells.
  std::string shorter = kArchive.substr(0, kArchive.size() - 1);
  shorter[10] = kArchive.back();
  const std::string longer = kArchive + "x";
  const std::pair<std::string, std::string> cases[] = {
      {lastByte, facts(lastByte) + " where the server states " + facts(kArchive)},
      {shorter, facts(shorter) + " where the server states " + facts(kArchive)},
      {longer, "it brought more than the " + std::to_string(kArchive.size()) + " bytes stated"}};
  for (const auto& [served, cause] : cases) {
    std::filesystem::remove_all(Local("qorax"));
    Publish("qorax/updates/p.tbz", served);
    server_.ClearReplies();
    server_.SetReply("FILEINFO", "",
                     "<Error>OK</Error><Size>" + std::to_string(kArchive.size()) +
                         "</Size><CkSum>" + std::to_string(testing::SystemVSum(kArchive)) +
                         "</CkSum>");
    EXPECT_FALSE(Run(Record("qorax", "", "u11")));
    EXPECT_EQ(LogLines(), Lines{UpdateFailed(cause)});
    EXPECT_EQ(AllFiles(), Files{});
  }
}

// Files from the vendor's server, commands to the configured one; a second pass finds both in
// place, fetches nothing, and needs the utility until the setup ran and the update is recorded.
TEST_F(DownloadFlow, VendorServerGivesTheFilesAndASecondPassFetchesNothing) {
  settings_.UseLocalServer = false;
  settings_.VendorServer = server_.address() + "/Vornix";
  Publish("vornet/package.txt",
          "SetupBuild=2\nUpdateBuild=u3\nUpdateFile=v&w 1.tbz\nUpdateCmd=x\n");
  Publish("vornet/setup.exe", "setup");
  Publish("vornet/updates/v&w 1.tbz", kArchive);
  EXPECT_TRUE(Run(Record("vornet", "1", "u2")));
  EXPECT_EQ(
      Requests(),
      (Lines{"SETUPINFO vornet", "FILEINFO vornet setup.exe", "GET /Vornix/vornet/setup.exe",
             "FILEINFO vornet setup.exe", "UPDATEINFO vornet", "FILEINFO vornet updates/v&w 1.tbz",
             "GET /Vornix/vornet/updates/v&w 1.tbz", "FILEINFO vornet updates/v&w 1.tbz"}));
  EXPECT_EQ(AllFiles(), (Files{{"vornet/setup.exe*", "setup"},
                               {"vornet/SETUP.VER", "2"},
                               {"vornet/updates/v&w 1.tbz", kArchive},
                               {"vornet/updates/UPDATE.XML", Marker("u3", "v&#38;w 1.tbz", "x")}}));
  // Both lie ready and are not applied yet: the utility is needed again, nothing is fetched.
  // Once the setup was started (SETUP.RUN) and the update recorded, it is not.
  for (const bool applied : {false, true}) {
    if (applied) testing::WriteFileBytes(Local("vornet/SETUP.RUN"), "2");
    server_.ClearRequests();
    EXPECT_EQ(Run(Record("vornet", "1", applied ? "u3" : "u2")), !applied);
    Lines asked{"SETUPINFO vornet", "FILEINFO vornet setup.exe", "UPDATEINFO vornet"};
    if (!applied) asked.push_back("FILEINFO vornet updates/v&w 1.tbz");
    EXPECT_EQ(Requests(), asked);
  }
  EXPECT_TRUE(Run(Record("vornet", "1", "u3")) == false && Run(Record("vornet", "", "u3")) == false)
      << "a setup the utility would not start (an empty Build) needs no utility";
  std::filesystem::remove(Local("vornet/SETUP.RUN"));
  EXPECT_TRUE(Run(Record("vornet", "1", "u3")));
  EXPECT_FALSE(Run(Record("vornet", "", "u3")));
}

// The sum agrees with coreutils `sum -s` and the SHA-256 with `sha256sum`, read at rest and
// worked out from bytes given in pieces of any size: a first fold that carries into a second, a
// 32-bit sum that wraps before the fold (16,843,010 bytes of 255 add up to 2^32 + 254).
TEST(FileFacts, AgreeWithCoreutilsSumAndSha256sum) {
  testing::TempDir dir;
  std::string random(1048579, '\0');
  std::mt19937 generator(20261206);
  for (char& c : random) c = static_cast<char>(generator());
  for (const std::string& bytes :
       {std::string(), std::string(514, '\xff') + '\x01', random, std::string(16843010, '\xff')}) {
    testing::WriteFileBytes(dir / "f", bytes);
    const std::string sum = testing::RunProcess({"/usr/bin/env", "sum", "-s", dir / "f"}).output;
    const std::string sha = testing::RunProcess({"/usr/bin/env", "sha256sum", dir / "f"}).output;
    FactsOfBytes pieces(true);
    for (size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 3 + 1)
      pieces.Add(bytes.data() + at, std::min(piece, bytes.size() - at));
    const std::optional<FileFacts> atRest = ReadFileFacts(dir / "f", true);
    ASSERT_TRUE(atRest) << bytes.size();
    for (const FileFacts& facts : {*atRest, pieces.Finish()}) {
      EXPECT_EQ(facts.sum.bytes, bytes.size());
      EXPECT_EQ(std::to_string(facts.sum.checksum), sum.substr(0, sum.find(' '))) << bytes.size();
      ASSERT_TRUE(facts.digest);
      EXPECT_EQ(facts.digest->sha256, sha.substr(0, 64));
      EXPECT_EQ(facts.digest->size, bytes.size());
    }
  }
  EXPECT_FALSE(ReadFileFacts(dir / "f", false)->digest) << "computed only when asked for";
  EXPECT_FALSE(ReadFileFacts(dir / "missing", false));
  EXPECT_FALSE(ReadFileFacts(dir.path(), false));  // a folder opens but cannot be read
}

// With an UpdateKey, the service takes a file only with the publisher's signature, made here by
// the build's vornix-publish over a repository in the reference server's layout.
const std::string kPlainMarker = Marker("u12", "p.tbz", "run it");
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
    Publish("qorax/package.txt",
            "SetupBuild=7\nUpdateBuild=u12\nUpdateFile=p.tbz\nUpdateCmd=run it\n");
    Publish("qorax/setup.exe", kSetup);
    Publish("qorax/updates/p.tbz", kArchive);
    ASSERT_TRUE(testing::PublisherSign(keys_ / "publisher.key", repo_.path()));
  }
  std::string Signature(const std::string& key) const {
    return testing::PackageInfoValue(repo_ / "qorax/package.txt", key);
  }
  void EditInfo(const std::string& from, const std::string& to) {
    std::string info = testing::ReadFileBytes(repo_ / "qorax/package.txt");
    Publish("qorax/package.txt", info.replace(info.find(from), from.size(), to));
  }
  // The files of the signed setup and update that are in place.
  Files InPlace(bool setup, bool update) const {
    Files files;
    if (setup) {
      files = {{"qorax/setup.exe*", kSetup},
               {"qorax/SETUP.VER", "7"},
               {"qorax/SETUP.SIG", Signature("SetupSignature")}};
    }
    if (update) {
      files["qorax/updates/p.tbz"] = kArchive;
      files["qorax/updates/UPDATE.XML"] =
          kPlainMarker + "<Signature>" + Signature("UpdateSignature") + "</Signature>\r\n";
    }
    return files;
  }
  testing::TempDir keys_;
};

TEST_F(SignedDownload, SignedSetupAndUpdateArePutInPlaceWithTheirSignatures) {
  PublishSigned();
  // Without a key the signatures are not looked at, and the markers are as they always were.
  const std::string key = settings_.UpdateKey;
  settings_.UpdateKey.clear();
  EXPECT_TRUE(Run(Record("qorax", "6", "u11")));
  EXPECT_EQ(AllFiles(), (Files{{"qorax/setup.exe*", kSetup},
                               {"qorax/SETUP.VER", "7"},
                               {"qorax/updates/p.tbz", kArchive},
                               {"qorax/updates/UPDATE.XML", kPlainMarker}}));

  // With the key, markers without signatures do not stand for the signed packages: the files
  // in place are checked again, and one the signature does not cover is fetched again.
  settings_.UpdateKey = key;
  testing::WriteFileBytes(Local("qorax/updates/p.tbz"), Swapped(kArchive));
  server_.ClearRequests();
  EXPECT_TRUE(Run(Record("qorax", "6", "u11")));
  EXPECT_EQ(Requests(), Asked("SFUfgf"));
  EXPECT_EQ(AllFiles(), InPlace(true, true));

  // Both lie ready with their signatures: the next pass fetches nothing (and needs the utility
  // for the update, which the catalogue does not record yet).
  server_.ClearRequests();
  EXPECT_TRUE(Run(Record("qorax", "6", "u11")));
  EXPECT_EQ(Requests(), Asked("SFUf"));
}

TEST_F(SignedDownload, WhatTheSignatureDoesNotCoverIsRefused) {
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"setup file swapped", [&] { Publish("qorax/setup.exe", Swapped(kSetup)); }},
      {"update file swapped", [&] { Publish("qorax/updates/p.tbz", Swapped(kArchive)); }},
      {"command changed", [&] { EditInfo("run it", "run this"); }},
      {"build changed", [&] { EditInfo("UpdateBuild=u12", "UpdateBuild=u13"); }},
      {"no signature", [&] { EditInfo("UpdateSignature=", "#"); }},
      {"the earlier form",
       [&] {
         const std::string value = Signature("UpdateSignature");
         EditInfo(value, value.substr(value.find(':') + 1));
       }},
      {"the setup's signature",
       [&] { EditInfo(Signature("UpdateSignature"), Signature("SetupSignature")); }},
      {"another key's signature",  // on the update
       [&] {
         const std::string setupSignature = Signature("SetupSignature"),
                           other = keys_ / "other.key";
         ASSERT_FALSE(testing::PublisherKeygen(other).empty());
         chmod(other.c_str(), 0640);  // the publisher refuses a key others may read
         EXPECT_FALSE(testing::PublisherSign(other, repo_.path()));
         chmod(other.c_str(), 0600);
         ASSERT_TRUE(testing::PublisherSign(other, repo_.path()));
         EditInfo(Signature("SetupSignature"), setupSignature);
       }},
  };
  for (const auto& [what, change] : cases) {
    SCOPED_TRACE(what);
    std::filesystem::remove_all(Local("qorax"));
    std::filesystem::remove_all(root_.path() + "/trust");  // each case is a client of its own
    PublishSigned();
    change();
    server_.ClearRequests();
    const bool setup = what == cases[0].first;
    Run(Record("qorax", "6", "u11"));
    const std::string cause =
        what == std::string("no signature") ? "no signature"
        : what == std::string("the earlier form")
            ? "a signature of the earlier form, without an order: it must be signed again"
            : kNotSigned;
    EXPECT_EQ(LogLines(), (setup ? Lines{SetupFailed(cause), kUpdateOk}
                                 : Lines{kSetupOk, UpdateFailed(cause)}));
    EXPECT_EQ(Requests(), Asked(setup ? "SFGFLUfgf" : "SFGFUfgfl"));
    EXPECT_EQ(AllFiles(), InPlace(!setup, setup)) << "nothing else is left behind";
  }
}

// A signed package not newer than the one taken before is a rollback: refused before anything
// is fetched, with its line in the log and the failure reported, for setups and updates apart.
TEST_F(SignedDownload, AnOlderSignedPackageIsARollbackAndIsRefused) {
  PublishSigned();
  const std::string older = testing::ReadFileBytes(repo_ / "qorax/package.txt");
  const auto order = [&](const char* key) {
    const std::string value = Signature(key);
    return value.substr(0, value.find(':'));
  };
  const std::string olderOrder = order("SetupSignature");
  EXPECT_TRUE(Run(Record("qorax", "6", "u11")));
  EditInfo("SetupBuild=7", "SetupBuild=8");
  EditInfo("UpdateBuild=u12", "UpdateBuild=u13");
  ASSERT_TRUE(testing::PublisherSign(keys_ / "publisher.key", repo_.path()));
  const std::string newerOrder = order("UpdateSignature");
  ASSERT_GT(std::stoull(newerOrder), std::stoull(olderOrder));
  EXPECT_TRUE(Run(Record("qorax", "7", "u12")));

  Publish("qorax/package.txt", older);  // the server offers the older, genuinely signed builds
  server_.ClearRequests();
  EXPECT_FALSE(Run(Record("qorax", "8", "u13")));
  EXPECT_EQ(Requests(), Asked("SLUl"));
  const auto rollback = [&](const std::string& offered, const std::string& taken) {
    return "a rollback: order " + olderOrder + " (build " + offered + ") is not newer than order " +
           newerOrder + " (build " + taken + "), which was taken before";
  };
  EXPECT_EQ(LogLines(), (Lines{SetupFailed(rollback("7", "8")),
                               UpdateFailed(rollback("u12, p.tbz", "u13, p.tbz"))}));

  // The same order is taken again only for the same build and file.
  AcceptedOrders orders = AcceptedOrders::Read();
  const uint64_t taken = std::stoull(newerOrder);
  EXPECT_EQ(orders.RollbackProblem(PackageKind::kUpdate, "qorax", {taken, "u13", "p.tbz"}), "");
  EXPECT_NE(orders.RollbackProblem(PackageKind::kUpdate, "qorax", {taken, "u13", "q.tbz"}), "");
  EXPECT_NE(orders.RollbackProblem(PackageKind::kSetup, "qorax", {taken, "9", ""}), "");
  EXPECT_EQ(orders.RollbackProblem(PackageKind::kSetup, "qorax", {taken + 1, "7", ""}), "");
  EXPECT_EQ(orders.RollbackProblem(PackageKind::kSetup, "other", {1, "7", ""}), "");

  // A record that is there and cannot be read takes nothing; one that cannot be written takes
  // nothing either, and nothing is put in place or marked.
  const std::string path = AcceptedOrders::FilePath(), trust = root_.path() + "/trust";
  testing::WriteFileBytes(path, "update qorax 1796\n");
  server_.ClearRequests();
  EXPECT_FALSE(Run(Record("qorax", "8", "u13")));
  EXPECT_EQ(Requests(), Asked("SLUl"));
  const std::string unreadable = "the record of signed packages taken, " + path +
                                 ", cannot be read (line 1 cannot be read): no signed package "
                                 "is taken until it can";
  EXPECT_EQ(LogLines(), (Lines{SetupFailed(unreadable), UpdateFailed(unreadable)}));
  // Lines as an editor may leave them; a package named twice keeps its highest order.
  testing::WriteFileBytes(path,
                          "\xEF\xBB\xBFupdate qorax 9 u9 p.tbz\r\nupdate  qorax\t5 u5 p.tbz\n");
  EXPECT_EQ(AcceptedOrders::Read().RollbackProblem(PackageKind::kUpdate, "qorax", {7, "u7", "p"}),
            "a rollback: order 7 (build u7, p) is not newer than order 9 (build u9, p.tbz), which "
            "was taken before");
  std::filesystem::remove_all(trust);
  std::filesystem::remove_all(Local("qorax"));
  testing::WriteFileBytes(trust, "a file where the record's folder belongs");
  EXPECT_FALSE(Run(Record("qorax", "6", "u11")));
  const std::string unwritable =
      "the record of signed packages taken, " + path + ", cannot be written";
  EXPECT_EQ(LogLines(), (Lines{SetupFailed(unwritable), UpdateFailed(unwritable)}));
  EXPECT_EQ(AllFiles(), Files{});
  std::filesystem::remove(trust);

  // The publisher signs no order that clients cannot read, nor below one it cannot read.
  for (const std::string earlier : {"9999999999999999999:x", "12345678901234567890:x"}) {
    Publish("qorax/package.txt", "UpdateBuild=u14\nUpdateFile=p.tbz\nUpdateSignature=" + earlier);
    EXPECT_FALSE(testing::PublisherSign(keys_ / "publisher.key", repo_.path())) << earlier;
    EXPECT_EQ(Signature("UpdateSignature"), earlier);
  }
  EXPECT_EQ(SignedValueProblem("12345678901234567890:x"),
            "an order of more than 19 digits, which no client reads");
}

TEST_F(SignedDownload, UnusableKeyTakesNothing) {
  PublishSigned();
  // Not base64, too short, the padding left out, 31 bytes.
  for (const std::string& key : {std::string("not base64!"), std::string("AAAA"),
                                 std::string("ABEiM0RVZneImaq7zN3u/wARIjNEVWZ3iJmqu8zd7v8"),
                                 EncodeBase64(std::string(31, 'k'))}) {
    settings_.UpdateKey = key;
    EXPECT_FALSE(Run(Record("qorax", "6", "u11"))) << key;
    EXPECT_EQ(LogLines(), Lines{std::string(kUnusableUpdateKey) + " [0]"});
  }
  EXPECT_EQ(Requests(), Lines{});
  EXPECT_EQ(AllFiles(), Files{});
}

}  // namespace
}  // namespace vornix
