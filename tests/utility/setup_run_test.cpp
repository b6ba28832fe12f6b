// Setups, stopping programs and the hand-over to the copy, with the pass's waits recorded.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/identity.h"
#include "common/package_markers.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/window_link.h"
#include "tests/utility/pass_fixture.h"
#include "updater/core/run_flags.h"

namespace vornix::testing {
namespace {

const std::string kQoraxSetupLog =
    "'Qorax' setup program executed.  [User may have completed or cancelled]";

class SetupRunTest : public PassTest {};

TEST_F(SetupRunTest, SameBuildStartsNoSetup) {
  PackageRecord& r = AddPackage({"app", "App", "S1", ""});
  WriteSetup("app", "S1");
  EXPECT_FALSE(MakePass("app").RunSetupIfNew(r));
  EXPECT_FALSE(PathExists("app/setup-ran.txt"));
  EXPECT_TRUE(front.events.empty());
}

TEST_F(SetupRunTest, EmptyRecordBuildStartsNoSetup) {
  PackageRecord& r = AddPackage({"app", "App", "", ""});
  WriteSetup("app", "S2");
  EXPECT_FALSE(MakePass("app").RunSetupIfNew(r));
  EXPECT_FALSE(PathExists("app/setup-ran.txt"));
}

TEST_F(SetupRunTest, BuildComparedWithCase) {
  PackageRecord& r = AddPackage({"app", "App", "s1", ""});
  WriteSetup("app", "S1");
  EXPECT_TRUE(MakePass("app").RunSetupIfNew(r));
  EXPECT_TRUE(WaitFor([] { return PathExists("app/setup-ran.txt"); }, std::chrono::seconds(5)));
}

TEST_F(SetupRunTest, QoraxIsAskedToEndAndGivenTheWaitBeforeItsSetup) {
  PackageRecord& r = AddPackage({"qorax", "Qorax", "S1", ""});
  WriteSetup("qorax", "S2");
  EXPECT_TRUE(MakePass("qorax").RunSetupIfNew(r));
  EXPECT_EQ(events,
            (std::vector<std::string>{"shutdown", "sleep 2000", "logmsg 1:" + kQoraxSetupLog}));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{kQoraxSetupLog + " [OK] [0]"}));
  EXPECT_EQ(front.Statuses(),
            (std::vector<std::string>{"Setup has been executed for Arvel Application 'Qorax'."}));
  EXPECT_TRUE(g_qoraxSetupStarted);
  EXPECT_FALSE(g_vornetSetupStarted);
  EXPECT_TRUE(g_changesMade);
  EXPECT_EQ(r.Build.view(), "S1");
  EXPECT_TRUE(WaitFor([] { return PathExists("qorax/setup-ran.txt"); }, std::chrono::seconds(5)));
}

TEST_F(SetupRunTest, OtherPackageWaitsNotAtAll) {
  PackageRecord& r = AddPackage({"app", "App", "S1", ""});
  WriteSetup("app", "S2");
  EXPECT_TRUE(MakePass("app").RunSetupIfNew(r));
  EXPECT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].rfind("logmsg", 0), 0u) << events[0];
  EXPECT_FALSE(g_qoraxSetupStarted || g_vornetSetupStarted);
}

TEST_F(SetupRunTest, WithAnUpdateKeyOnlyTheSignedSetupIsStarted) {
  const std::string keyFile = programFolder / "publisher.key";
  auto settings = RegistryKey::Create(SettingsKey(), kKeySetValue);
  ASSERT_TRUE(settings && settings->SetString("UpdateKey", PublisherKeygen(keyFile)));
  PackageRecord& r = AddPackage({"app", "App", "S1", ""});
  WriteSetup("app", "S2");
  WriteFileBytes("app/package.txt", "SetupBuild=S2\n");
  ASSERT_TRUE(PublisherSign(keyFile, programFolder.path()));
  ASSERT_TRUE(
      WriteSetupSig("app/SETUP.SIG", PackageInfoValue("app/package.txt", "SetupSignature")));

  // A setup program changed after the download is not started.
  const std::string setup = ReadFileBytes("app/setup.exe");
  WriteFileBytes("app/setup.exe", setup + "touch " + ShellQuote(programFolder / "changed") + "\n");
  EXPECT_FALSE(MakePass("app").RunSetupIfNew(r));
  EXPECT_EQ(front.Statuses(),
            std::vector<std::string>{"Arvel Application 'App' setup error 'Signature check failed "
                                     "for 'app/setup.exe': the signature does not match'"});
  WriteFileBytes("app/setup.exe", setup);
  EXPECT_TRUE(MakePass("app").RunSetupIfNew(r));
  EXPECT_TRUE(WaitFor([] { return PathExists("app/setup-ran.txt"); }, std::chrono::seconds(5)));
  EXPECT_FALSE(PathExists(programFolder / "changed"));
}

TEST_F(SetupRunTest, SetupThatCannotStartIsAFailure) {
  PackageRecord& r = AddPackage({"app", "App", "S1", "B1"});
  WriteSetup("app", "S2", /*runnable=*/false);
  EXPECT_FALSE(MakePass("app").RunSetupIfNew(r));
  const std::string error = "Error starting setup program 'app/setup.exe'";
  EXPECT_EQ(LogLines(), (std::vector<std::string>{error + " [EXEC] [0]"}));
  EXPECT_EQ(events, (std::vector<std::string>{"logmsg 1:" + error}));
  EXPECT_EQ(front.Statuses(),
            (std::vector<std::string>{"Arvel Application 'App' setup error '" + error + "'"}));
  EXPECT_FALSE(g_changesMade || g_qoraxSetupStarted || g_vornetSetupStarted);
}

TEST_F(SetupRunTest, SetupThatCannotStartLeavesTheUpdateToRun) {
  AddPackage({"app", "App", "S1", "B1"});
  WriteSetup("app", "S2", /*runnable=*/false);
  MakeArchive("app", "app.tar", {{"u.txt", "u"}});
  WriteScript("app", "B2", "app.tar", "");
  SaveCatalogueFile();
  RunPass("app");
  EXPECT_EQ(ReadFileBytes(AppFolder("app") + "/u.txt"), "u");
  EXPECT_EQ(LoadCatalogueFile().records[0].Update.view(), "B2");
  EXPECT_EQ(front.Statuses().back(), "Arvel Application 'App' has been successfully updated!");
}

TEST_F(SetupRunTest, SetupThatCannotStartForQoraxSetsNoFlag) {
  PackageRecord& r = AddPackage({"qorax", "Qorax", "S1", ""});
  WriteSetup("qorax", "S2", /*runnable=*/false);
  EXPECT_FALSE(MakePass("qorax").RunSetupIfNew(r));
  EXPECT_FALSE(g_qoraxSetupStarted);
}

// The service's window, played by the window stand-in in the test's system root.
class ServiceWindowTest : public PassTest {
 protected:
  void StartServiceWindow(const std::string& arguments = "") {
    const std::string program = programFolder / "Vornix";
    std::filesystem::copy_file(TestToolFolder() + "/window_standin", program);
    ASSERT_TRUE(StartProgram(QuoteProgramWord(program) + arguments));
    ASSERT_TRUE(
        WaitFor([] { return FindWindowByTitle(kServiceWindowTitle); }, std::chrono::seconds(5)));
  }
  void TearDown() override {
    if (FindWindowByTitle(kServiceWindowTitle))
      SendWindowCommand(kServiceWindowTitle, kServiceSilentShutdown, 2000);
    PassTest::TearDown();
  }
  std::string WindowRecord() const { return ReadFileBytes(programFolder / "Vornix.record"); }
  void WriteUtility() {
    // Stands in for the utility's program file: records the command line of the copy.
    WriteFileBytes(
        programFolder / "VornixUpdate",
        "#!/bin/sh\necho \"$0 $*\" > " + ShellQuote(programFolder / "handed-over.txt") + "\n");
    chmod("VornixUpdate", 0755);
  }
};

TEST_F(ServiceWindowTest, VornetSetupStopsTheServiceAndEndsTheDialog) {
  StartServiceWindow();
  PackageRecord& r = AddPackage({"vornet", "Vornix", "S1", ""});
  WriteSetup("vornet", "S2");
  EXPECT_TRUE(MakePass("vornet").RunSetupIfNew(r));
  EXPECT_NE(WindowRecord().find("command 57602"), std::string::npos);
  EXPECT_FALSE(FindWindowByTitle(kServiceWindowTitle));
  EXPECT_TRUE(front.Cancelled());
  EXPECT_TRUE(g_vornetSetupStarted);
  EXPECT_TRUE(WaitFor([] { return PathExists("vornet/setup-ran.txt"); }, std::chrono::seconds(5)));
}

TEST_F(ServiceWindowTest, UpdateIsHandedOverToTheCopy) {
  StartServiceWindow();
  WriteUtility();
  PackageRecord& r = AddPackage({"vornet", "Vornix", "", "B1"});
  MakeArchive("vornet", "vornet.tar", {{"new.txt", "n"}});
  WriteScript("vornet", "B2", "vornet.tar", "");
  PackagePass pass = MakePass("ALL", true, true);
  pass.ApplyUpdate(r);
  EXPECT_NE(WindowRecord().find("command 57602"), std::string::npos);
  EXPECT_EQ(ReadFileBytes("VornixUpdate1"), ReadFileBytes("VornixUpdate"));
  EXPECT_TRUE(WaitFor([&] { return PathExists(programFolder / "handed-over.txt"); },
                      std::chrono::seconds(5)));
  EXPECT_EQ(ReadFileBytes("handed-over.txt"), "./VornixUpdate1 ALL quiet restart\n");
  EXPECT_FALSE(pass.m_restart);
  EXPECT_TRUE(front.Cancelled());
  // This process leaves the package alone and says nothing about it.
  EXPECT_TRUE(front.Statuses().empty());
  EXPECT_EQ(r.Update.view(), "B1");
  EXPECT_FALSE(PathExists(AppFolder("vornet") + "/new.txt"));
  EXPECT_TRUE(LogLines().empty());
}

// A service in the middle of a slow check does not end within the bound: it keeps running, its
// package waits for the next run, nothing is handed over, and the command it finds once it is
// free again is not carried out.
TEST_F(ServiceWindowTest, AServiceThatDoesNotEndInTimeKeepsRunningAndItsPackageWaits) {
  StartServiceWindow(" --busy-ms 1500");
  WriteUtility();
  PackageRecord& r = AddPackage({"vornet", "Vornix", "S1", "B1"});
  MakeArchive("vornet", "vornet.tar", {{"new.txt", "n"}});
  WriteScript("vornet", "B2", "vornet.tar", "");
  WriteSetup("vornet", "S2");
  PassHooks hooks = RecordingHooks();
  hooks.serviceStopWaitMs = 500;
  RunOptions options;
  options.m_selector = "vornet";
  options.m_restart = true;
  PackagePass pass(front, options, hooks);
  pass.ProcessPackage(r);
  const std::string stopped =
      "Vornix Update Service did not stop: 'Vornix' is left for the next run";
  EXPECT_EQ(LogLines(), (std::vector<std::string>{stopped + " [STOP] [0]"}));
  EXPECT_FALSE(PathExists("VornixUpdate1"));
  EXPECT_FALSE(PathExists("vornet/setup-ran.txt"));
  EXPECT_FALSE(front.Cancelled());
  EXPECT_TRUE(pass.m_restart);
  EXPECT_EQ(r.Update.view(), "B1");
  EXPECT_FALSE(g_vornetSetupStarted);
  EXPECT_TRUE(WaitFor([&] { return WindowRecord().find("dropped 57602") != std::string::npos; },
                      std::chrono::seconds(5)));
  EXPECT_EQ(WindowRecord().find("command 57602"), std::string::npos);
  EXPECT_TRUE(FindWindowByTitle(kServiceWindowTitle)) << "the service keeps running";
}

TEST_F(ServiceWindowTest, CopyWaitsAndAppliesTheUpdateItself) {
  StartServiceWindow();
  moduleFile = programFolder / "VornixUpdate1";
  PackageRecord& r = AddPackage({"vornet", "Vornix", "", "B1"});
  MakeArchive("vornet", "vornet.tar", {{"new.txt", "n"}});
  WriteScript("vornet", "B2", "vornet.tar", "");
  MakePass("ALL", true, true).ApplyUpdate(r);
  EXPECT_EQ(events,
            (std::vector<std::string>{"sleep 2000", "logmsg 0:'Vornix' successfully updated!"}));
  EXPECT_EQ(WindowRecord().find("command"), std::string::npos) << "no message to the service";
  EXPECT_FALSE(PathExists("VornixUpdate1"));
  EXPECT_EQ(r.Update.view(), "B2");
  EXPECT_TRUE(PathExists(AppFolder("vornet") + "/new.txt"));
}

TEST_F(ServiceWindowTest, CopyThatCannotBeMadeFallsBackAfterTheWait) {
  WriteUtility();
  // cp copies into a folder of that name, and cannot put a file over a folder inside it.
  std::filesystem::create_directories(programFolder / "VornixUpdate1/VornixUpdate");
  PackageRecord& r = AddPackage({"vornet", "Vornix", "", "B1"});
  MakeArchive("vornet", "vornet.tar", {{"new.txt", "n"}});
  WriteScript("vornet", "B2", "vornet.tar", "");
  PackagePass pass = MakePass("ALL", true, true);
  pass.ApplyUpdate(r);
  EXPECT_EQ(events,
            (std::vector<std::string>{"sleep 2000", "logmsg 0:'Vornix' successfully updated!"}));
  EXPECT_TRUE(pass.m_restart);
  EXPECT_FALSE(front.Cancelled());
  EXPECT_EQ(r.Update.view(), "B2");
  EXPECT_FALSE(PathExists("handed-over.txt"));
}

TEST_F(ServiceWindowTest, CopyThatCannotStartLeavesTheUpdateHere) {
  // A utility file that is no program: the copy is made but cannot be started.
  WriteFileBytes(programFolder / "VornixUpdate", "not a program");
  PackageRecord& r = AddPackage({"vornet", "Vornix", "", "B1"});
  MakeArchive("vornet", "vornet.tar", {{"new.txt", "n"}});
  WriteScript("vornet", "B2", "vornet.tar", "");
  PackagePass pass = MakePass("ALL", true, true);
  pass.ApplyUpdate(r);
  EXPECT_TRUE(pass.m_restart);
  EXPECT_FALSE(front.Cancelled());
  EXPECT_EQ(r.Update.view(), "B2");
}

TEST_F(ServiceWindowTest, NoServiceWindowIsNoObstacle) {
  PackageRecord& r = AddPackage({"vornet", "Vornix", "S1", ""});
  WriteSetup("vornet", "S2");
  EXPECT_TRUE(MakePass("vornet").RunSetupIfNew(r));
  EXPECT_TRUE(front.Cancelled());
}

}  // namespace
}  // namespace vornix::testing
