// The package pass with a recording front, in a program folder of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/named_mutex.h"
#include "platform/process.h"

#include "tests/utility/pass_fixture.h"
#include "updater/core/run_flags.h"

namespace vornix::testing {
namespace {

const std::string kVornetIdle = "Arvel Application 'Vornix' does not need updating!";

std::string Updating(const std::string& desc) {
  return "Updating Arvel Application '" + desc + "'...Please Wait...";
}
std::string Idle(const std::string& desc) {
  return "Arvel Application '" + desc + "' does not need updating!";
}

class PassWalkTest : public PassTest {};

TEST_F(PassWalkTest, ServicePackageFirstAndOnceWhateverTheOrder) {
  AddPackage({"alpha", "Alpha", "", ""});
  AddPackage({"vornet", "Vornix", "", ""});
  AddPackage({"beta", "Beta", "", ""});
  SaveCatalogueFile();
  RunPass("ALL");
  EXPECT_EQ(front.Statuses(),
            (std::vector<std::string>{Updating("Vornix"), kVornetIdle, Updating("Alpha"),
                                      Idle("Alpha"), Updating("Beta"), Idle("Beta")}));
}

TEST_F(PassWalkTest, SelectorVornetIsProcessedOnlyInTheFirstWalk) {
  AddPackage({"vornet", "Vornix", "", ""});
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  RunPass("vornet");
  EXPECT_EQ(front.Statuses(), (std::vector<std::string>{Updating("Vornix"), kVornetIdle}));
}

TEST_F(PassWalkTest, SelectorMatchesNameWithCase) {
  AddPackage({"vornet", "Vornix", "", ""});
  AddPackage({"Alpha", "Alpha upper", "", ""});
  AddPackage({"alpha", "Alpha lower", "", ""});
  SaveCatalogueFile();
  RunPass("alpha");
  EXPECT_EQ(front.Statuses(),
            (std::vector<std::string>{Updating("Vornix"), kVornetIdle, Updating("Alpha lower"),
                                      Idle("Alpha lower")}));
}

TEST_F(PassWalkTest, AllInLowerCaseSelectsEveryPackage) {
  AddPackage({"alpha", "Alpha", "", ""});
  AddPackage({"beta", "Beta", "", ""});
  SaveCatalogueFile();
  RunPass("all");
  EXPECT_EQ(front.Statuses().size(), 4u);
}

TEST_F(PassWalkTest, SelectorMatchingNothingStillProcessesTheServicePackage) {
  AddPackage({"alpha", "Alpha", "", ""});
  AddPackage({"vornet", "Vornix", "", ""});
  SaveCatalogueFile();
  RunPass("nosuch");
  EXPECT_EQ(front.events, (std::vector<std::string>{"status:" + Updating("Vornix"),
                                                    "status:" + kVornetIdle, "ok"}));
  EXPECT_FALSE(front.Cancelled());  // a program id without "quiet": the dialog stays
}

TEST_F(PassWalkTest, TwoServiceRecordsAreBothProcessedInTableOrder) {
  AddPackage({"vornet", "Vornix one", "", ""});
  AddPackage({"alpha", "Alpha", "", ""});
  AddPackage({"vornet", "Vornix two", "", ""});
  SaveCatalogueFile();
  RunPass("none");
  EXPECT_EQ(front.Statuses(),
            (std::vector<std::string>{Updating("Vornix one"), Idle("Vornix one"),
                                      Updating("Vornix two"), Idle("Vornix two")}));
}

TEST_F(PassWalkTest, FullCatalogueIsProcessedAndWrittenBack) {
  for (int i = 0; i < PackageCatalogue::kMaxPackages; ++i)
    AddPackage({"p" + std::to_string(i), "Package " + std::to_string(i), "", ""});
  WriteScript("p127", "B2", "p127.txt", "");
  WriteFileBytes(programFolder / "p127/updates/p127.txt", "x");
  SaveCatalogueFile();
  RunPass("ALL");
  EXPECT_EQ(front.Statuses().size(), 256u);
  const PackageCatalogue after = LoadCatalogueFile();
  ASSERT_EQ(after.count, 128);
  EXPECT_EQ(after.records[127].Update.view(), "B2");
  EXPECT_EQ(after.records[0].Name.view(), "p0");
}

TEST_F(PassWalkTest, CatalogueIsRewrittenEvenWithoutChanges) {
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  // Written by hand in another layout; the pass writes its own.
  WriteFileBytes(root.Catalogue(),
                 "<WinApps><Package><Name>alpha</Name><Desc>Alpha</Desc><Key>run.sh</Key>"
                 "</Package></WinApps>");
  RunPass("ALL");
  PackageCatalogue expected;
  expected.count = 1;
  expected.records[0].Name.assign("alpha");
  expected.records[0].Desc.assign("Alpha");
  expected.records[0].Key.assign("run.sh");
  EXPECT_EQ(ReadFileBytes(root.Catalogue()), FormatCatalogue(expected, true));
}

TEST_F(PassWalkTest, MissingCatalogueProcessesNothingAndWritesNothing) {
  RunPass("alpha");
  EXPECT_TRUE(front.events.empty());
  EXPECT_FALSE(PathExists(root.Catalogue()));
}

TEST_F(PassWalkTest, PassWaitsForThePassLock) {
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  WaitedLock other(kPassLockName, 1000);
  ASSERT_TRUE(other.held());
  // flock locks belong to the open file: a second open in this process has to wait too.
  PassHooks hooks = RecordingHooks();
  hooks.passLockWaitMs = 300;
  RunOptions o;
  o.m_selector = "ALL";
  const auto before = std::chrono::steady_clock::now();
  PackagePass(front, o, hooks).RunPackagePass();
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
  EXPECT_EQ(front.Statuses().size(), 2u);  // after the bound the pass goes on
}

TEST_F(PassWalkTest, AProgramFolderItCannotWriteIsLoggedAndShownLast) {
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  WriteFileBytes(programFolder / "plain", "");
  moduleFile = programFolder / "plain/VornixUpdate";  // a folder below a file: nobody writes it
  RunPass("alpha");
  const std::string text =
      "VornixUpdate cannot write its program folder " + programFolder / "plain/";
  EXPECT_EQ(front.Statuses(), (std::vector<std::string>{Updating("Alpha"), Idle("Alpha"), text}));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{text + ": Not a directory [0]"}));
}

class PassClosingTest : public PassTest {};

TEST_F(PassClosingTest, AllWithoutChangesEndsAsCancel) {
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  RunPass("ALL");
  EXPECT_EQ(front.events.back(), "cancel");
}

TEST_F(PassClosingTest, AllWithChangesStaysOpen) {
  AddPackage({"alpha", "Alpha", "", "B1"});
  WriteScript("alpha", "B2", "a.txt", "");
  WriteFileBytes(programFolder / "alpha/updates/a.txt", "x");
  SaveCatalogueFile();
  RunPass("ALL");
  EXPECT_FALSE(front.Cancelled());
  EXPECT_TRUE(g_changesMade);
}

TEST_F(PassClosingTest, AllWhoseOnlyUpdateFailsEndsAsCancel) {
  AddPackage({"alpha", "Alpha", "", "B1"});
  WriteScript("alpha", "B2", "missing.txt", "");
  SaveCatalogueFile();
  RunPass("ALL");
  EXPECT_TRUE(front.Cancelled());
  EXPECT_FALSE(g_changesMade);
}

TEST_F(PassClosingTest, QuietWithProgramIdEndsAsCancel) {
  AddPackage({"alpha", "Alpha", "", "B1"});
  WriteScript("alpha", "B2", "a.txt", "");
  WriteFileBytes(programFolder / "alpha/updates/a.txt", "x");
  SaveCatalogueFile();
  RunPass("alpha", /*quiet=*/true);
  EXPECT_TRUE(front.Cancelled());
}

TEST_F(PassClosingTest, ProgramIdWithoutQuietStaysOpenWithOkEnabled) {
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  RunPass("alpha");
  EXPECT_FALSE(front.Cancelled());
  EXPECT_EQ(front.events.back(), "ok");
}

class PassRestartTest : public PassTest {};

TEST_F(PassRestartTest, AllRestartsOnlyVornetAndQorax) {
  AddPackage({"vornet", "Vornix", "", ""});
  AddPackage({"qorax", "Qorax", "", ""});
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  RunPass("ALL", true, true);
  EXPECT_EQ(StartCount("vornet", 1), 1);
  EXPECT_EQ(StartCount("qorax", 1), 1);
  EXPECT_EQ(StartCount("alpha"), 0);
  // Nothing to do, so no shutdown request reached qorax.
  EXPECT_TRUE(events.empty());
}

TEST_F(PassRestartTest, ProgramIdRestartsThatPackage) {
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  RunPass("alpha", false, true);
  EXPECT_EQ(StartCount("alpha", 1), 1);
}

TEST_F(PassRestartTest, WithoutRestartNothingStarts) {
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  RunPass("alpha");
  EXPECT_EQ(StartCount("alpha"), 0);
}

TEST_F(PassRestartTest, VornetSetupHoldsBackQoraxRestart) {
  AddPackage({"vornet", "Vornix", "S1", ""});
  AddPackage({"qorax", "Qorax", "", ""});
  WriteSetup("vornet", "S2");
  SaveCatalogueFile();
  RunPass("qorax", false, true);
  EXPECT_TRUE(g_vornetSetupStarted);
  EXPECT_TRUE(WaitFor([] { return PathExists("vornet/setup-ran.txt"); }, std::chrono::seconds(5)));
  EXPECT_EQ(StartCount("vornet", 1), 1);
  EXPECT_EQ(StartCount("qorax"), 0);
  // The setup of the service's own package closes the dialog once the pass is over.
  EXPECT_TRUE(front.Cancelled());
}

TEST_F(PassRestartTest, RestartQuotesTheProgramPath) {
  PackageRecord& r = AddPackage({"alpha", "Alpha", "", ""});
  const std::string folder = programFolder / "apps/with blank";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(AppFolder("alpha") + "/run.sh", folder + "/run.sh");
  r.Path.assign(folder);
  // Unquoted, the first word would be ".../apps/with": a program that must never run.
  WriteFileBytes(programFolder / "apps/with", "#!/bin/sh\ntouch wrong-program-ran\n");
  chmod((programFolder / "apps/with").c_str(), 0755);
  SaveCatalogueFile();
  RunPass("alpha", false, true);
  EXPECT_TRUE(
      WaitFor([&] { return PathExists(folder + "/started.txt"); }, std::chrono::seconds(5)));
  EXPECT_FALSE(PathExists("wrong-program-ran"));
}

class PassAppStartTest : public PassTest {};

TEST_F(PassAppStartTest, OkStartsTheUpdatedProgramInItsFolder) {
  AddPackage({"alpha", "Alpha", "", "B1"});
  WriteScript("alpha", "B2", "a.txt", "");
  WriteFileBytes(programFolder / "alpha/updates/a.txt", "x");
  SaveCatalogueFile();
  PackagePass pass = MakePass("alpha", false, false, true);
  pass.RunPackagePass();
  EXPECT_EQ(pass.m_startFolder, AppFolder("alpha"));
  EXPECT_EQ(pass.m_startCommand, AppFolder("alpha") + "/run.sh");
  pass.OnOk();
  EXPECT_EQ(CurrentFolder(), AppFolder("alpha"));
  EXPECT_EQ(StartCount("alpha", 1), 1);
}

TEST_F(PassAppStartTest, OkWithoutAppliedUpdateStartsNothing) {
  AddPackage({"alpha", "Alpha", "", "B2"});
  WriteScript("alpha", "B2", "a.txt", "");
  SaveCatalogueFile();
  PackagePass pass = MakePass("alpha", false, false, true);
  pass.RunPackagePass();
  pass.OnOk();
  EXPECT_EQ(CurrentFolder(), programFolder.path());
  EXPECT_EQ(StartCount("alpha"), 0);
}

TEST_F(PassAppStartTest, OkWithoutAppStartStartsNothing) {
  AddPackage({"alpha", "Alpha", "", "B1"});
  WriteScript("alpha", "B2", "a.txt", "");
  WriteFileBytes(programFolder / "alpha/updates/a.txt", "x");
  SaveCatalogueFile();
  PackagePass pass = MakePass("alpha");
  pass.RunPackagePass();
  pass.OnOk();
  EXPECT_EQ(StartCount("alpha"), 0);
}

class PassSetupChoiceTest : public PassTest {};

TEST_F(PassSetupChoiceTest, AllNeverStartsSetupsOfOtherPackages) {
  AddPackage({"alpha", "Alpha", "S1", ""});
  WriteSetup("alpha", "S2");
  SaveCatalogueFile();
  RunPass("ALL");
  EXPECT_FALSE(PathExists("alpha/setup-ran.txt"));
  EXPECT_EQ(front.Statuses(), (std::vector<std::string>{Updating("Alpha"), Idle("Alpha")}));
}

TEST_F(PassSetupChoiceTest, ProgramIdStartsItsSetupAndSkipsItsUpdate) {
  AddPackage({"alpha", "Alpha", "S1", "B1"});
  WriteSetup("alpha", "S2");
  WriteScript("alpha", "B2", "a.txt", "");
  WriteFileBytes(programFolder / "alpha/updates/a.txt", "x");
  SaveCatalogueFile();
  RunPass("alpha");
  EXPECT_TRUE(WaitFor([] { return PathExists("alpha/setup-ran.txt"); }, std::chrono::seconds(5)));
  EXPECT_FALSE(PathExists(AppFolder("alpha") + "/a.txt"));
  EXPECT_EQ(LoadCatalogueFile().records[0].Update.view(), "B1");
  EXPECT_EQ(LoadCatalogueFile().records[0].Build.view(), "S1");  // never written by the utility
}

}  // namespace
}  // namespace vornix::testing
