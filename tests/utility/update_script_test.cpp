// Update scripts with archives made by the real tar and bzip2.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "common/activity_log.h"
#include "common/identity.h"
#include "common/package_markers.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "tests/utility/pass_fixture.h"
#include "updater/core/run_flags.h"

namespace vornix::testing {
namespace {

class UpdateScriptTest : public PassTest {
 protected:
  // Applies the update of the single package "app" through the pass's own entry.
  void Apply(PackageRecord& record) {
    PackagePass pass = MakePass("app");
    pass.ApplyUpdate(record);
    startCommand = pass.m_startCommand;
    EXPECT_EQ(CurrentFolder(), programFolder.path()) << "the program folder is current again";
  }
  std::string App(const std::string& file) const { return AppFolder("app") + "/" + file; }
  std::string startCommand;
};

TEST_F(UpdateScriptTest, CompressedArchiveIsUnpackedAndRemoved) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  MakeArchive("app", "app-2.tar.bz2", {{"bin.txt", "new program"}, {"data.txt", "data"}});
  WriteScript("app", "B2", "app-2.tar.bz2", "");
  Apply(r);
  EXPECT_EQ(ReadFileBytes(App("bin.txt")), "new program");
  EXPECT_EQ(ReadFileBytes(App("data.txt")), "data");
  EXPECT_FALSE(PathExists(App("app-2.tar.bz2")));
  EXPECT_FALSE(PathExists(App("app-2.tar")));
  EXPECT_TRUE(PathExists("app/updates/app-2.tar.bz2")) << "the update file itself stays";
  EXPECT_EQ(r.Update.view(), "B2");
  EXPECT_TRUE(g_changesMade);
  EXPECT_EQ(startCommand, App("run.sh"));
  EXPECT_EQ(front.Statuses().back(), "Arvel Application 'App' has been successfully updated!");
}

TEST_F(UpdateScriptTest, CapitalTarEndingIsAnArchive) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  MakeArchive("app", "APP.TAR", {{"x.txt", "x"}});
  WriteScript("app", "B2", "APP.TAR", "");
  Apply(r);
  EXPECT_EQ(ReadFileBytes(App("x.txt")), "x");
  EXPECT_FALSE(PathExists(App("APP.TAR")));
}

TEST_F(UpdateScriptTest, CapitalBz2EndingIsDecompressed) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  MakeArchive("app", "app.tar.BZ2", {{"y.txt", "y"}});
  WriteScript("app", "B2", "app.tar.BZ2", "");
  Apply(r);
  EXPECT_EQ(ReadFileBytes(App("y.txt")), "y");
}

TEST_F(UpdateScriptTest, NameWithBlankIsQuotedEverywhere) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  MakeArchive("app", "my update.tar.bz2", {{"z.txt", "z"}});
  WriteScript("app", "B2", "my update.tar.bz2", "");
  Apply(r);
  EXPECT_EQ(ReadFileBytes(App("z.txt")), "z");
  EXPECT_FALSE(PathExists(App("my update.tar")));
  EXPECT_EQ(r.Update.view(), "B2");
}

TEST_F(UpdateScriptTest, ShellSyntaxInNameIsNotRun) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  const std::string name = "a;touch pwned;.tar";
  MakeArchive("app", name, {{"q.txt", "q"}});
  WriteScript("app", "B2", name, "");
  Apply(r);
  EXPECT_EQ(ReadFileBytes(App("q.txt")), "q");
  EXPECT_FALSE(PathExists(App("pwned")));
  EXPECT_FALSE(PathExists(programFolder / "pwned"));
}

TEST_F(UpdateScriptTest, NameThatIsNotAPlainFileNameFailsTheCopy) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  WriteFileBytes(programFolder / "secret.txt", "s");
  WriteScript("app", "B2", "../../secret.txt", "");
  Apply(r);
  EXPECT_FALSE(PathExists(App("secret.txt")));
  EXPECT_EQ(r.Update.view(), "B1");
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"Error copying '../../secret.txt' [COPY] [0]"}));
  EXPECT_EQ(front.Statuses().back(),
            "Arvel Application 'App' update error 'Error copying '../../secret.txt''");
}

TEST_F(UpdateScriptTest, FailingCommandAfterUnpackKeepsFilesAndBuild) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  MakeArchive("app", "app.tar", {{"done.txt", "unpacked"}});
  WriteScript("app", "B2", "app.tar", "test -f done.txt && exit 3");
  Apply(r);
  EXPECT_EQ(ReadFileBytes(App("done.txt")), "unpacked");
  EXPECT_EQ(r.Update.view(), "B1");
  EXPECT_FALSE(g_changesMade);
  EXPECT_EQ(front.Statuses().back(),
            "Arvel Application 'App' update error 'Error running command 'test -f done.txt && "
            "exit 3''");
  EXPECT_EQ(
      events,
      (std::vector<std::string>{"logmsg 1:Error running command 'test -f done.txt && exit 3'"}));
  EXPECT_EQ(
      LogLines(),
      (std::vector<std::string>{"Error running command 'test -f done.txt && exit 3' [EXEC] [0]"}));
}

TEST_F(UpdateScriptTest, CommandRunsInThePackageFolder) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  MakeArchive("app", "app.tar", {{"in.txt", "abc"}});
  WriteScript("app", "B2", "app.tar", "cp in.txt out.txt");
  Apply(r);
  EXPECT_EQ(ReadFileBytes(App("out.txt")), "abc");
}

TEST_F(UpdateScriptTest, UpdateFileThatIsNoArchiveStaysForItsCommand) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  WriteFileBytes(programFolder / "app/updates/patch.sh", "echo patched > patched.txt\n");
  WriteScript("app", "B2", "patch.sh", "sh patch.sh");
  Apply(r);
  EXPECT_EQ(ReadFileBytes(App("patched.txt")), "patched\n");
  EXPECT_TRUE(PathExists(App("patch.sh")));
  EXPECT_EQ(r.Update.view(), "B2");
}

TEST_F(UpdateScriptTest, BuildDifferingOnlyInCaseIsAppliedAgain) {
  PackageRecord& r = AddPackage({"app", "App", "", "b2"});
  MakeArchive("app", "app.tar", {{"c.txt", "c"}});
  WriteScript("app", "B2", "app.tar", "");
  Apply(r);
  EXPECT_EQ(ReadFileBytes(App("c.txt")), "c");
  EXPECT_EQ(r.Update.view(), "B2");
}

TEST_F(UpdateScriptTest, SameBuildOrNoScriptNeedsNothing) {
  PackageRecord& r = AddPackage({"app", "App", "", "B2"});
  WriteScript("app", "B2", "app.tar", "touch ran.txt");
  Apply(r);
  PackageRecord& other = AddPackage({"bare", "Bare", "", "B1"});
  PackagePass(front, RunOptions{}, RecordingHooks()).ApplyUpdate(other);
  EXPECT_EQ(front.Statuses(),
            (std::vector<std::string>{"Arvel Application 'App' does not need updating!",
                                      "Arvel Application 'Bare' does not need updating!"}));
  EXPECT_FALSE(PathExists(App("ran.txt")));
  EXPECT_TRUE(LogLines().empty());
  EXPECT_TRUE(events.empty());
}

TEST_F(UpdateScriptTest, SuccessReportsBeforeTheLogLine) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  MakeArchive("app", "app.tar", {{"c.txt", "c"}});
  WriteScript("app", "B2", "app.tar", "");
  Apply(r);
  // The report went out while the log still had no line.
  EXPECT_EQ(events, (std::vector<std::string>{"logmsg 0:'App' successfully updated!"}));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"'App' successfully updated! [OK] [0]"}));
  EXPECT_EQ(front.Statuses().back(), "Arvel Application 'App' has been successfully updated!");
}

TEST_F(UpdateScriptTest, ErrorLogsBeforeTheReport) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  WriteScript("app", "B2", "absent.tar", "");
  Apply(r);
  EXPECT_EQ(events, (std::vector<std::string>{"logmsg 1:Error copying 'absent.tar'"}));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"Error copying 'absent.tar' [COPY] [0]"}));
}

// A damaged file leaves no empty or partial output, and a link that has the output's name is
// never written through.
TEST_F(UpdateScriptTest, CorruptCompressedFileFailsDecompressionAndLeavesNoOutput) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  // A bzip2 stream cut short; plain data bzip2 -f would pass through unchanged.
  WriteFileBytes(programFolder / "app/updates/bad.tar.bz2", "BZh91AY&SYcut");
  WriteScript("app", "B2", "bad.tar.bz2", "touch ran.txt");
  WriteFileBytes(programFolder / "victim.txt", "victim");
  ASSERT_EQ(symlink((programFolder / "victim.txt").c_str(), App("bad.tar").c_str()), 0);
  Apply(r);
  EXPECT_EQ(ReadFileBytes(programFolder / "victim.txt"), "victim");
  ASSERT_EQ(unlink(App("bad.tar").c_str()), 0);
  Apply(r);
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{"Error decompressing 'bad.tar.bz2' [BZIP2] [0]"}));
  EXPECT_FALSE(PathExists(App("bad.tar")));
  EXPECT_FALSE(PathExists(App("ran.txt")));
  EXPECT_EQ(r.Update.view(), "B1");
  for (const auto& entry : std::filesystem::directory_iterator(AppFolder("app")))
    EXPECT_EQ(entry.path().filename().string().rfind(".bzip2-", 0), std::string::npos);
}

TEST_F(UpdateScriptTest, CorruptArchiveFailsExtractionWithShortenedName) {
  PackageRecord& r = AddPackage({"app", "App", "", "B1"});
  const std::string bad = programFolder / "app/updates/bad.tar";
  WriteFileBytes(bad, std::string(2000, 'x'));
  ASSERT_EQ(RunShellCommand("bzip2 -f " + ShellQuote(bad)), 0);
  WriteScript("app", "B2", "bad.tar.bz2", "");
  Apply(r);
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{"Error extracting files from 'bad.tar' [GTAR] [0]"}));
  EXPECT_EQ(front.Statuses().back(),
            "Arvel Application 'App' update error 'Error extracting files from 'bad.tar''");
  EXPECT_TRUE(PathExists(App("bad.tar"))) << "a failed archive stays where it is";
}

// A Path that is no folder, or an empty one (which would be the root folder), fails the copy:
// nothing is written anywhere and the command does not run.
TEST_F(UpdateScriptTest, PathThatIsNoFolderOrEmptyFailsTheCopy) {
  const std::string name = "patch-" + std::to_string(getpid()) + ".txt";
  for (const std::string& path : {programFolder / "apps/missing", std::string()}) {
    PackageRecord& r = AddPackage({"app", "App", "", "B1"});
    r.Path.assign(path);
    WriteFileBytes(programFolder / ("app/updates/" + name), "p");
    WriteScript("app", "B2", name, "touch ran.txt");
    Apply(r);
    const bool inRoot = PathExists("/" + name);
    if (inRoot) unlink(("/" + name).c_str());
    EXPECT_FALSE(inRoot) << "'" << path << "'";
    EXPECT_EQ(LogLines().back(), "Error copying '" + name + "' [COPY] [0]");
    EXPECT_FALSE(PathExists(programFolder / "apps/missing"));
    EXPECT_FALSE(PathExists(programFolder / "ran.txt"));
    EXPECT_EQ(r.Update.view(), "B1");
  }
}

// A marker made by hand or damaged, whose build or file name holds markup, is refused like a
// failed copy: nothing is copied or stored, and the catalogue keeps every package.
TEST_F(UpdateScriptTest, MarkerWithMarkupIsRefusedAndTheCatalogueKeepsEveryPackage) {
  AddPackage({"app", "App", "", "B1"});
  AddPackage({"zed", "Zed", "", "Z1"});
  SaveCatalogueFile();
  WriteFileBytes(programFolder / "app/updates/p.txt", "p");
  WriteScript("app", "a\"b", "p.txt", "");
  WriteFileBytes(programFolder / "zed/updates/UPDATE.XML",
                 "<Build>&#60;Z2</Build>\r\n<FileName>z.txt</FileName>\r\n");
  RunPass("ALL");
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"Error copying 'p.txt' [COPY] [0]",
                                                  "Error copying 'z.txt' [COPY] [0]"}));
  EXPECT_FALSE(PathExists(App("p.txt")));
  const PackageCatalogue after = LoadCatalogueFile();
  ASSERT_EQ(after.count, 2);
  EXPECT_EQ(after.records[0].Update.view(), "B1");
  EXPECT_EQ(after.records[1].Name.view(), "zed");
  EXPECT_EQ(after.records[1].Update.view(), "Z1");
}

// With an UpdateKey the utility checks the publisher's signature itself, before it stops a
// program or touches a file: a marker or a file changed after the download is refused.
TEST_F(UpdateScriptTest, WithAnUpdateKeyOnlyTheSignedUpdateIsApplied) {
  const std::string keyFile = programFolder / "publisher.key";
  auto settings = RegistryKey::Create(SettingsKey(), kKeySetValue);
  ASSERT_TRUE(settings && settings->SetString("UpdateKey", PublisherKeygen(keyFile)));
  AddPackage({"qorax", "Qorax", "", "B1"});
  MakeArchive("qorax", "q.tar", {{"new.txt", "new"}});
  WriteFileBytes("qorax/package.txt", "UpdateBuild=B2\nUpdateFile=q.tar\nUpdateCmd=touch ran\n");
  ASSERT_TRUE(PublisherSign(keyFile, programFolder.path()));
  const std::string sig = PackageInfoValue("qorax/package.txt", "UpdateSignature");
  const std::string archive = programFolder / "qorax/updates/q.tar";
  const std::string original = ReadFileBytes(archive);

  struct Case {
    const char* what;
    UpdateMarker marker;
    const char* fileTail;
  };
  const Case cases[] = {{"command changed", {"B2", "q.tar", "touch evil", sig}, ""},
                        {"build changed", {"B3", "q.tar", "touch ran", sig}, ""},
                        {"no signature", {"B2", "q.tar", "touch ran", ""}, ""},
                        {"file changed", {"B2", "q.tar", "touch ran", sig}, "x"},
                        {"as signed", {"B2", "q.tar", "touch ran", sig}, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    events.clear();
    WriteLogLine(c.what);  // the log drops a line that repeats the one before
    WriteFileBytes(archive, original + c.fileTail);
    ASSERT_TRUE(WriteUpdateXml("qorax/updates/UPDATE.XML", c.marker));
    SaveCatalogueFile();
    RunPass("qorax");
    const bool applied = c.what == std::string("as signed");
    EXPECT_EQ(LoadCatalogueFile().records[0].Update.view(), applied ? "B2" : "B1");
    EXPECT_EQ(PathExists(AppFolder("qorax") + "/new.txt"), applied);
    EXPECT_EQ(PathExists(AppFolder("qorax") + "/ran"), applied);
    if (applied) continue;
    const std::string error =
        std::string("Signature check failed for 'q.tar': ") +
        (c.marker.Signature.empty() ? "no signature" : "the signature does not match");
    ASSERT_EQ(events.size(), 1u) << "no shutdown request, no wait: only the report";
    EXPECT_EQ(events[0].substr(events[0].find(':') + 1), error);
    EXPECT_EQ(LogLines().back(), error + " [SIGNATURE] [0]");
    EXPECT_EQ(front.Statuses().back(), "Arvel Application 'Qorax' update error '" + error + "'");
  }
}

}  // namespace
}  // namespace vornix::testing
