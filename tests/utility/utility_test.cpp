// The utility's command line, package pass, setups, update scripts and signature checks.
#include "common/accepted_orders.h"
#include "common/program_contract.h"
#include "common/settings_key.h"
#include "platform/named_mutex.h"
#include "platform/registry.h"
#include "platform/window_link.h"
#include "tests/utility/pass_fixture.h"

namespace vornix::testing {
namespace {

constexpr auto npos = std::string::npos;

// The option words are cut out wherever they stand, and the last word left is the selector.
TEST(CommandLine, OptionWordsAndTheSelector) {
  const std::pair<Lines, std::string> cases[] = {
      {{"/opt/vornix/VornixUpdate"}, "none"},
      // Mended: the program's own path never becomes a selector or an option.
      {{"/opt/Arvel Apps/VornixUpdate"}, "none"},
      {{"/opt/quiet restart/VornixUpdate", "qorax"}, "[qorax]"},
      {{"/opt/vornix/VornixUpdate", "ALL", "quiet", "restart"}, "[ALL] quiet restart"},
      {{"VornixUpdate", "quiet", "qorax"}, "[qorax] quiet"},
      {{"VornixUpdate", "appstart", "vornet"}, "[vornet] appstart"},
      {{"VornixUpdate", "ALL", "QUIET"}, "[QUIET]"},
      {{"VornixUpdate", "qorax", "all"}, "[all]"},
      {{"VornixUpdate", "restart", "qorax", "restart"}, "[qorax] restart"},  // each one cut
      {{"VornixUpdate", "quiet"}, "none quiet"},  // the last blank went with "quiet"
      {{"VornixUpdate", "prerestartquiet"}, "[pre] quiet restart"}};
  for (const auto& [words, expected] : cases) {
    const RunOptions o = ParseArguments(words);
    EXPECT_EQ((o.hasSelector ? "[" + o.m_selector + "]" : "none") + (o.m_quiet ? " quiet" : "") +
                  (o.m_restart ? " restart" : "") + (o.m_appStart ? " appstart" : ""),
              expected);
  }
}

// One package of a pass: its name and the record's Build; whether a setup S2 lies ready; and
// whether an update U2 (over the record's U1) lies ready, or its marker without its file.
struct PassPackage {
  std::string name;
  std::string build;
  bool setupReady = false;
  enum { kNoUpdate, kUpdateReady, kUpdateFileMissing } update = kNoUpdate;
};
PassPackage Plain(std::string name) {
  return {std::move(name), ""};
}
PassPackage WithUpdate(std::string name) {
  return {std::move(name), "", false, PassPackage::kUpdateReady};
}
PassPackage WithUpdateFileMissing(std::string name) {
  return {std::move(name), "", false, PassPackage::kUpdateFileMissing};
}
PassPackage WithSetup(std::string name, std::string build = "S1") {
  return {std::move(name), std::move(build), true};
}

struct Rule {
  std::vector<PassPackage> packages;
  const char* words;           // the command line after the program
  const char* outcomes;        // each package processed, in order, with its last status
  const char *started, *last;  // the programs started (restart or OK); "cancel" or the last step
};
class PassRules : public PassTest, public ::testing::WithParamInterface<Rule> {};

TEST_P(PassRules, SelectRestartAndClose) {
  for (const PassPackage& p : GetParam().packages) {
    AddPackage(p.name, p.build, "U1");
    if (p.setupReady) WriteSetup(p.name, "S2");
    if (p.update != PassPackage::kNoUpdate)
      WriteScript(p.name, "U2", "u", "", p.update == PassPackage::kUpdateReady);
  }
  PackagePass pass = MakePass(GetParam().words);
  pass.RunPackagePass();
  pass.OnOk();
  std::string outcomes;
  for (const std::string& s : events) {
    const size_t quote = s.find('\'');
    if (s.rfind("status:Updating", 0) == 0)
      outcomes += s.substr(quote, s.find('\'', quote + 1) - quote);
    if (s.rfind("status:", 0) != 0 || s.rfind("status:Updating", 0) == 0) continue;
    outcomes.erase(std::min(outcomes.size(), outcomes.find(':', outcomes.rfind('\''))));
    outcomes += s.find("not need") != npos       ? ":idle "
                : s.find("successfully") != npos ? ":updated "
                : s.find("update error") != npos ? ":error "
                                                 : ":setup ";
  }
  EXPECT_EQ(outcomes, GetParam().outcomes);
  const bool cancelled = std::count(events.begin(), events.end(), "cancel") > 0;
  EXPECT_EQ(cancelled ? "cancel" : events.empty() ? "" : events.back(), GetParam().last);
  // Update changed only where an update was applied.
  ASSERT_EQ(PathExists(root.Catalogue()), catalogue.count > 0);
  const PackageCatalogue after = LoadCatalogueFile();
  for (int i = 0; i < catalogue.count; ++i) {
    const bool updated = outcomes.find("'" + after.records[i].Desc.str() + ":updated") != npos;
    EXPECT_EQ(after.records[i].Update.view(), updated ? "U2" : "U1");
    EXPECT_EQ(after.records[i].Build.view(), catalogue.records[i].Build.view()) << "never written";
  }
  auto started = [&] {
    std::string names;
    for (const std::string name : {"vornet", "qorax", "alpha"})
      names += PathExists(AppFolder(name) + "/started.txt") ? name + " " : "";
    return names;
  };
  WaitFor([&] { return started() == GetParam().started; }, 5s);
  SleepMs(200);  // started programs run detached: a moment for one that should not start
  EXPECT_EQ(started(), GetParam().started);
}

INSTANTIATE_TEST_SUITE_P(
    Pass, PassRules,
    ::testing::Values(
        // The service's package first and once, then the selected ones in the table's order.
        Rule{{Plain("alpha"), Plain("vornet"), Plain("beta")},
             "all",
             "'Vornet:idle 'Alpha:idle 'Beta:idle ",
             "",
             "cancel"},
        Rule{{Plain("vornet"), Plain("alpha")}, "vornet", "'Vornet:idle ", "", "ok"},
        Rule{{Plain("vornet"), Plain("ALPHA"), Plain("alpha")},
             "alpha",
             "'Vornet:idle 'Alpha:idle ",
             "",
             "ok"},
        Rule{{Plain("vornet"), Plain("alpha"), Plain("vornet")},
             "none",
             "'Vornet:idle 'Vornet:idle ",
             "",
             "ok"},
        Rule{{}, "alpha", "", "", ""},
        // An "ALL" run closes unless it changed something, a quiet one always.
        Rule{{WithUpdate("alpha"), WithUpdateFileMissing("beta")},
             "ALL",
             "'Alpha:updated 'Beta:error ",
             "",
             "ok"},
        Rule{{WithUpdateFileMissing("beta")}, "ALL", "'Beta:error ", "", "cancel"},
        Rule{{WithUpdate("alpha")}, "alpha quiet", "'Alpha:updated ", "", "cancel"},
        // OK with "appstart" starts the program just updated, and nothing else.
        Rule{{WithUpdate("alpha")}, "alpha appstart", "'Alpha:updated ", "alpha ", "ok"},
        // A setup starts for a new build (with case) of a record with a build, in place of the
        // update; an "ALL" run starts none but the service's.
        Rule{
            {{"alpha", "S1", true, PassPackage::kUpdateReady}}, "alpha", "'Alpha:setup ", "", "ok"},
        Rule{{WithSetup("alpha", "s2")}, "alpha", "'Alpha:setup ", "", "ok"},
        Rule{{WithSetup("alpha", "S2"), WithSetup("vornet", "")},
             "alpha",
             "'Vornet:idle 'Alpha:idle ",
             "",
             "ok"},
        Rule{{WithSetup("alpha")}, "ALL", "'Alpha:idle ", "", "cancel"},
        // Restarts: in an "ALL" run only the service and qorax; after the service's setup only it;
        // when no copy of the utility can be made, the service's update is applied in place.
        Rule{{Plain("vornet"), Plain("qorax"), Plain("alpha")},
             "ALL quiet restart",
             "'Vornet:idle 'Qorax:idle 'Alpha:idle ",
             "vornet qorax ",
             "cancel"},
        Rule{{Plain("alpha")}, "alpha restart", "'Alpha:idle ", "alpha ", "ok"},
        Rule{{WithSetup("vornet"), Plain("qorax")},
             "qorax restart",
             "'Vornet:setup 'Qorax:idle ",
             "vornet ",
             "cancel"},
        Rule{{WithUpdate("vornet")}, "vornet restart", "'Vornet:updated ", "vornet ", "ok"}));

// Each update applied is recorded at once, changing its Update and nothing else in the file;
// what another program changed meanwhile (here the reset tool, run by the update's command) is
// kept. The pass waits for the pass lock that an earlier pass holds.
TEST_F(PassTest, WaitsForThePassLockAndRecordsOnlyWhatItApplied) {
  AddPackage("alpha", "S1", "U1");
  AddPackage("beta", "S2", "B1");
  std::filesystem::create_symlink(BuiltProgramFolder() + "/VornixResetPkg",
                                  AppFolder("alpha") + "/r");
  WriteScript("alpha", "U2", "u.tar", "export QT_QPA_PLATFORM=offscreen; ./r alpha && ./r beta",
              true);
  const std::string text = "<?xml?>" + FormatCatalogue(catalogue, false) + "tail";
  WriteFileBytes(root.Catalogue(), text);
  // flock locks belong to the open file: a second open in this process has to wait too.
  WaitedLock other(kPassLockName, 1000);
  PassHooks hooks = RecordingHooks();
  hooks.passLockWaitMs = 300;
  const auto before = std::chrono::steady_clock::now();
  MakePass("ALL", hooks).RunPackagePass();
  EXPECT_TRUE(other.held() && std::chrono::steady_clock::now() - before >= 300ms);
  std::string expected = text;
  for (const auto& [from, to] : {std::pair{"<Build>S1<", "<Build><"},
                                 {"<Build>S2<", "<Build><"},
                                 {"<Update>U1<", "<Update>U2<"}})
    expected.replace(expected.find(from), std::string(from).size(), to);
  EXPECT_EQ(ReadFileBytes(root.Catalogue()), expected) << LogLines().back();
}

// A service that runs on (its package had nothing to apply) is not started a second time.
TEST_F(PassTest, ARunningServiceIsNotStartedAgain) {
  PackageRecord& vornet = AddPackage("vornet", "S1", "B1");
  for (const bool runs : {true, false}) {
    std::optional<NamedMutex> service;
    if (runs) service.emplace(kServiceMutexName);
    MakePass("ALL quiet restart").ProcessPackage(vornet);
    EXPECT_EQ(WaitFor([&] { return PathExists(AppFolder("vornet") + "/started.txt"); },
                      runs ? 300ms : 5s),
              !runs);
  }
}

TEST_F(PassTest, AProgramFolderItCannotWriteIsLoggedAndShownLast) {
  AddPackage("alpha");
  WriteFileBytes(programFolder / "plain", "");
  // A folder below a file: nobody writes it.
  PackagePass(*this, ParseCommandLine("VornixUpdate alpha"), At("plain/"), RecordingHooks())
      .RunPackagePass();
  const std::string text =
      "VornixUpdate cannot write its program folder " + programFolder / "plain/";
  EXPECT_EQ(events.back(), "status:" + text);
  EXPECT_EQ(LogLines(), Lines{text + ": Not a directory [0]"});
}

// qorax is asked to end and given two seconds before each change. A setup that cannot be
// started is a failure, not "executed": no flag is set, and the update is still carried out.
using SetupTest = PassTest;

TEST_F(SetupTest, QoraxIsGivenTimeToEndAndASetupThatCannotStartIsAFailure) {
  PackageRecord& r = AddPackage("qorax", "S1", "B1");
  WriteSetup("qorax", "S2", /*runnable=*/false);
  WriteScript("qorax", "B2", "u.tar", "", true);
  PackagePass first = MakePass("qorax");
  first.ProcessPackage(r);
  const std::string error =
      "Error starting setup program 'qorax/setup.exe': not an executable file";
  const std::string done = "'Qorax' successfully updated!",
                    app = "status:Arvel Application 'Qorax' ";
  EXPECT_EQ(events, (Lines{"status:Updating Arvel Application 'Qorax'...Please Wait...", "shutdown",
                           "sleep 2000", "logmsg 1:" + error, app + "setup error '" + error + "'",
                           "shutdown", "sleep 2000", app + "has been successfully updated!",
                           "logmsg 1:" + done, "ok"}));
  EXPECT_FALSE(first.results().qoraxSetupStarted);
  WriteSetup("qorax", "S2");
  events.clear();
  PackagePass second = MakePass("qorax");
  EXPECT_TRUE(second.RunSetupIfNew(r));
  const std::string ran = "'Qorax' setup program executed.  [User may have completed or cancelled]";
  EXPECT_EQ(events, (Lines{"shutdown", "sleep 2000", "logmsg 3:" + ran,
                           "status:Setup has been executed for Arvel Application 'Qorax'."}));
  EXPECT_EQ(LogLines(), (Lines{error + " [EXEC] [0]", done + " [OK] [0]", ran + " [OK] [0]"}));
  const PassResults& results = second.results();
  EXPECT_TRUE(results.qoraxSetupStarted && results.changesMade && !results.vornetSetupStarted);
  EXPECT_EQ(ReadFileBytes(At("qorax/SETUP.RUN")), "S2") << "the service needs the utility no more";
  EXPECT_TRUE(WaitFor([&] { return PathExists(At("qorax/setup-ran")); }, 5s));
}

// The update of the service's own package. When no copy can be started (the utility's file is
// no program), this process applies it; else the copy takes over and applies it, after a wait
// for this process to end. The utility's program file records how the copy was started.
TEST_F(SetupTest, TheServicesUpdateIsHandedOverToTheCopy) {
  PackageRecord& vornet = AddPackage("vornet", "S1", "B1");
  WriteScript("vornet", "B2", "vornet.tar", "", true);
  WriteFileBytes(programFolder / "VornixUpdate", "not a program");  // though executable
  chmod(At("VornixUpdate").c_str(), 0755);
  PackagePass here = MakePass("ALL quiet restart");
  here.ApplyUpdate(vornet);
  EXPECT_TRUE(here.results().restart && vornet.Update.view() == "B2" &&
              !PathExists(At("handed-over")));
  vornet.Update.assign("B1");
  std::filesystem::remove(programFolder / "VornixUpdate1");
  WriteProgram(programFolder / "VornixUpdate",
               "echo \"$0 $*\" > " + ShellQuote(programFolder / "handed-over"));
  events.clear();
  PackagePass pass = MakePass("ALL quiet restart");
  pass.ApplyUpdate(vornet);
  // How the copy was started: by its path, with the selector and "quiet restart".
  const std::string copy = programFolder / "VornixUpdate1 ALL quiet restart\n";
  EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(At("handed-over")) == copy; }, 5s));
  // This process restarts nothing and leaves the package alone, saying nothing about it.
  EXPECT_FALSE(pass.results().restart);
  EXPECT_EQ(events, Lines{"cancel"});
  moduleFile = programFolder / "VornixUpdate1";
  events.clear();
  MakePass("ALL quiet restart").ApplyUpdate(vornet);
  EXPECT_EQ(events,
            (Lines{"sleep 2000", "status:Arvel Application 'Vornet' has been successfully updated!",
                   "logmsg 1:'Vornet' successfully updated!"}));
}

// A service in the middle of a slow check (the window stand-in, busy) does not end within the
// bound: it keeps running, its package waits for the next run, nothing is handed over, and the
// command it finds once it is free again is not carried out.
TEST_F(SetupTest, AServiceThatDoesNotEndInTimeKeepsRunningAndItsPackageWaits) {
  PackageRecord& vornet = AddPackage("vornet", "S1", "B1");
  WriteScript("vornet", "B2", "vornet.tar", "", true);
  WriteSetup("vornet", "S2");
  std::filesystem::copy_file(TestToolFolder() + "/window_standin", At("Vornix"));
  ASSERT_TRUE(StartProgram({programFolder / "Vornix", "--busy-ms", "1500"}));
  ASSERT_TRUE(WaitFor([] { return FindWindowByTitle(kServiceWindowTitle); }, 5s));
  PassHooks hooks = RecordingHooks();
  hooks.serviceStopWaitMs = 500;
  PackagePass pass = MakePass("vornet restart", hooks);
  pass.ProcessPackage(vornet);
  const std::string text = "Vornix Update Service did not stop: 'Vornet' is left for the next run";
  EXPECT_EQ(LogLines(), Lines{text + " [STOP] [0]"});
  EXPECT_EQ(events[events.size() - 2], "status:" + text);
  EXPECT_TRUE(pass.results().restart && !pass.results().vornetSetupStarted &&
              !PathExists(At("VornixUpdate1")));
  EXPECT_EQ(vornet.Update.view(), "B1");
  const std::string record = programFolder / "Vornix.record";
  EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(record).find("dropped 57602") != npos; }, 5s));
  EXPECT_EQ(ReadFileBytes(record).find("command 57602"), npos);
  EXPECT_TRUE(FindWindowByTitle(kServiceWindowTitle)) << "the service keeps running";
  SendWindowCommand(kServiceWindowTitle, kCommandSilentExit, 2000);
}

// The update of "app" (Update B1 unless said) to B2 with its file: an archive of new.txt (by the
// real tar, and bzip2 for a name ending in ".bz2"), a script, damaged bytes, or none at all.
enum class Content { kArchive, kScript, kDamaged, kAbsent };
struct Script {
  std::string file;
  Content content;
  const char* command;
  const char* detail;   // the log line's: "OK", a failed step's, or "" for none
  std::string failure;  // the failure's log line and report
  const char* left;     // what the package's folder holds afterwards, by ls
  const char* update = "B1";
  const char* path = "app";  // the record's Path: the package's folder, "" or "missing"
};
// A name no other process uses, for a file that must not land in the root folder.
const std::string kOwnName = "p" + std::to_string(getpid());
class UpdateScripts : public PassTest, public ::testing::WithParamInterface<Script> {};

TEST_P(UpdateScripts, CarriedOutInThePackagesFolder) {
  const Script& s = GetParam();
  const std::string& file = s.file;
  const std::string detail = s.detail, failure = s.failure;
  PackageRecord& r = AddPackage("app", "", s.update);
  if (s.path != std::string("app")) r.Path.assign(s.path[0] ? AppFolder(s.path) : "");
  const bool bz2 = file.find(".bz2") != npos;
  WriteScript("app", "B2", file, s.command, s.content == Content::kArchive);
  WriteFileBytes(At("victim"), "victim");
  // A damaged archive's decompressed name is a link to a file nothing may write through.
  if (s.content == Content::kDamaged && bz2)
    std::filesystem::create_symlink(At("victim"), AppFolder("app") + "/bad.tar");
  if (s.content == Content::kScript)
    WriteFileBytes(At("app/updates/") + file, "echo patched > patched\n");
  if (s.content == Content::kDamaged)
    WriteFileBytes(At("app/updates/") + file, bz2 ? "BZh91AY&SYcut" : "x");
  PackagePass pass = MakePass("app");
  pass.ApplyUpdate(r);

  // A success is reported before its log line is written, a failure after it.
  const std::string ok = "'App' successfully updated!", status = "status:Arvel Application 'App' ";
  EXPECT_EQ(
      events,
      (detail.empty()   ? Lines{status + "does not need updating!"}
       : detail == "OK" ? Lines{status + "has been successfully updated!", "logmsg 0:" + ok}
                        : Lines{"logmsg 1:" + failure, status + "update error '" + failure + "'"}));
  EXPECT_EQ(LogLines(), detail.empty()
                            ? Lines{}
                            : Lines{(detail == "OK" ? ok : failure) + " [" + detail + "] [0]"});
  EXPECT_EQ(r.Update.view(), detail == "OK" ? "B2" : s.update);
  EXPECT_EQ(pass.results().changesMade, detail == "OK");
  EXPECT_EQ(RunProcess({"/bin/ls", "-A", AppFolder("app")}, {{"LC_ALL", "C"}}).output, s.left);
  // Nothing written through the link, into the root folder, or anywhere else.
  EXPECT_EQ(ReadFileBytes(At("victim")), "victim");
  const std::string inRoot = "/" + std::filesystem::path(file).filename().string();
  EXPECT_FALSE(PathExists(inRoot) && unlink(inRoot.c_str()) == 0) << inRoot;
  EXPECT_FALSE(PathExists(AppFolder("missing")) || PathExists(At("ran")) ||
               PathExists(At("pwned")));
}

INSTANTIATE_TEST_SUITE_P(
    UpdateScript, UpdateScripts,
    ::testing::Values(
        Script{"app-2.tar.bz2", Content::kArchive, "cp new.txt copy", "OK", "",
               "copy\nnew.txt\nrun.sh\n"},
        // Endings in any case; a build that differs only in case is applied again.
        Script{"APP.TAR", Content::kArchive, "", "OK", "", "new.txt\nrun.sh\n", "b2"},
        Script{"app.tar.BZ2", Content::kArchive, "", "OK", "", "new.txt\nrun.sh\n"},
        // Names are quoted: a blank does not split one, shell syntax in one does not run.
        Script{"my update.tar.bz2", Content::kArchive, "", "OK", "", "new.txt\nrun.sh\n"},
        Script{"a;touch pwned;.tar", Content::kArchive, "", "OK", "", "new.txt\nrun.sh\n"},
        // Only an archive just unpacked is removed; another file stays for its command.
        Script{"patch.sh", Content::kScript, "sh patch.sh", "OK", "",
               "patch.sh\npatched\nrun.sh\n"},
        Script{"app.tar", Content::kArchive, "touch ran", "", "", "run.sh\n", "B2"},
        Script{"app.tar", Content::kArchive, "test -f new.txt && exit 3", "EXEC",
               "Error running command 'test -f new.txt && exit 3'", "new.txt\nrun.sh\n"},
        Script{"absent.tar", Content::kAbsent, "", "COPY", "Error copying 'absent.tar'",
               "run.sh\n"},
        Script{"../../secret", Content::kScript, "", "COPY", "Error copying '../../secret'",
               "run.sh\n"},
        // A damaged file leaves no output, and nothing is written through a link that has the
        // output's name; a failed archive stays.
        Script{"bad.tar.bz2", Content::kDamaged, "touch ran", "BZIP2",
               "Error decompressing 'bad.tar.bz2'", "bad.tar\nbad.tar.bz2\nrun.sh\n"},
        Script{"bad.tar", Content::kDamaged, "", "GTAR", "Error extracting files from 'bad.tar'",
               "bad.tar\nrun.sh\n"},
        // A Path that is no folder, or an empty one (the root folder), fails the copy: nothing
        // is written anywhere and the command does not run.
        Script{kOwnName, Content::kScript, "touch ran", "COPY", "Error copying '" + kOwnName + "'",
               "run.sh\n", "B1", "missing"},
        Script{kOwnName, Content::kScript, "touch ran", "COPY", "Error copying '" + kOwnName + "'",
               "run.sh\n", "B1", ""}));

// A marker made by hand or damaged, whose build or file name holds markup, is refused like a
// failed copy: nothing is copied or stored, and the catalogue keeps every package.
using UpdateScriptTest = PassTest;

TEST_F(UpdateScriptTest, WithMarkupIsRefusedAndTheCatalogueKeepsEveryPackage) {
  AddPackage("app", "", "B1");
  AddPackage("zed", "", "Z1");
  WriteScript("app", "a\"b", "p", "");
  WriteScript("zed", "Z2", "z", "");
  WriteFileBytes(At("zed/updates/UPDATE.XML"),
                 "<Build>&#60;Z2</Build>\r\n<FileName>z</FileName>\r\n");
  for (const char* file : {"app/updates/p", "zed/updates/z"}) WriteFileBytes(At(file), "p");
  MakePass("ALL").RunPackagePass();
  EXPECT_EQ(LogLines(), (Lines{"Error copying 'p' [COPY] [0]", "Error copying 'z' [COPY] [0]"}));
  EXPECT_FALSE(PathExists(AppFolder("app") + "/p") || PathExists(AppFolder("zed") + "/z"));
  EXPECT_EQ(FormatCatalogue(LoadCatalogueFile(), true), FormatCatalogue(catalogue, true));
}

// An update that the catalogue cannot record is not done: a failed step, never "successfully
// updated", and the next run applies it again. A folder in the catalogue's place cannot be
// written by anyone, root included.
TEST_F(UpdateScriptTest, ThatCannotBeRecordedIsAFailedStep) {
  PackageRecord& r = AddPackage("app", "", "B1");
  WriteScript("app", "B2", "app.tar", "", true);
  std::filesystem::remove(root.Catalogue());
  std::filesystem::create_directory(root.Catalogue());
  PackagePass pass = MakePass("app");
  pass.ApplyUpdate(r);
  const std::string error =
      "Error recording update 'B2': the catalogue " + root.Catalogue() + " is not a regular file";
  EXPECT_EQ(events, (Lines{"logmsg 1:" + error,
                           "status:Arvel Application 'App' update error '" + error + "'"}));
  EXPECT_EQ(LogLines(), Lines{error + " [CATALOGUE] [0]"});
  EXPECT_TRUE(r.Update.view() == "B1" && !pass.results().changesMade);
}

// With an UpdateKey the utility checks the publisher's signature itself, before it stops a
// program or touches a file: a setup, a marker or a file changed after the download is refused.
TEST_F(UpdateScriptTest, AndSetupsRunOnlyAsThePublisherSignedThem) {
  const std::string key = programFolder / "publisher.key";
  ASSERT_TRUE(RegistryKey::Create(SettingsKey(), kKeySetValue)
                  ->SetString("UpdateKey", PublisherKeygen(key)));
  AddPackage("qorax", "", "B1");
  WriteScript("qorax", "", "q.tar", "", true);
  WriteFileBytes(At("qorax/package.txt"),
                 "UpdateBuild=B2\nUpdateFile=q.tar\nUpdateCmd=touch ran\n");
  PackageRecord& app = AddPackage("app", "S1");
  WriteSetup("app", "S2");
  WriteFileBytes(At("app/package.txt"), "SetupBuild=S2\n");
  ASSERT_TRUE(PublisherSign(key, programFolder.path()));
  ASSERT_TRUE(WriteSetupSig(At("app/SETUP.SIG"),
                            PackageInfoValue(At("app/package.txt"), "SetupSignature")));
  const std::string setup = ReadFileBytes(At("app/setup.exe"));
  WriteFileBytes(At("app/setup.exe"), setup + "touch changed\n");
  EXPECT_FALSE(MakePass("app").RunSetupIfNew(app));
  EXPECT_EQ(events.back(),
            "status:Arvel Application 'App' setup error 'Signature check failed for "
            "'app/setup.exe': the signature does not match'");
  WriteFileBytes(At("app/setup.exe"), setup);
  EXPECT_TRUE(MakePass("app").RunSetupIfNew(app));
  EXPECT_TRUE(WaitFor([&] { return PathExists(At("app/setup-ran")); }, 5s) &&
              !PathExists(At("changed")));

  const std::string sig = PackageInfoValue(At("qorax/package.txt"), "UpdateSignature");
  const std::string original = ReadFileBytes(At("qorax/updates/q.tar"));
  const std::pair<UpdateMarker, const char*> cases[] = {
      {{"B2", "q.tar", "touch evil", sig}, ""},  // the command changed
      {{"B2", "q.tar", "touch ran", sig}, "x"},  // the file changed
      {{"B2", "q.tar", "touch ran", sig}, ""}};  // as signed
  for (const auto& [marker, tail] : cases) {
    const bool applied = &marker == &cases[2].first;
    events.clear();
    WriteLogLine(marker.UpdateCmd + marker.Build + tail);  // the log drops a repeated line
    WriteFileBytes(At("qorax/updates/q.tar"), original + tail);
    ASSERT_TRUE(WriteUpdateXml(At("qorax/updates/UPDATE.XML"), marker));
    SaveCatalogueFile();
    MakePass("qorax").RunPackagePass();
    EXPECT_EQ(LoadCatalogueFile().records[0].Update.view(), applied ? "B2" : "B1");
    EXPECT_EQ(PathExists(AppFolder("qorax") + "/ran"), applied);
    if (applied) continue;
    const std::string error = "Signature check failed for 'q.tar': the signature does not match";
    // No shutdown request, no wait: the report, logged with its detail, and the status.
    EXPECT_EQ(Lines(events.begin() + 1, events.end()),
              (Lines{"logmsg " + std::to_string(LogLines().size()) + ":" + error,
                     "status:Arvel Application 'Qorax' update error '" + error + "'", "ok"}));
    EXPECT_EQ(LogLines().back(), error + " [SIGNATURE] [0]");
  }

  // A signed update not newer than one the service took before is refused here too.
  const std::string order = sig.substr(0, sig.find(':'));
  const std::string newer = std::to_string(std::stoull(order) + 1);
  ASSERT_TRUE(
      AcceptedOrders().Record(PackageKind::kUpdate, "qorax", {std::stoull(newer), "B3", "q.tar"}));
  WriteFileBytes(At("qorax/updates/q.tar"), original);
  SaveCatalogueFile();
  MakePass("qorax").RunPackagePass();
  EXPECT_EQ(LoadCatalogueFile().records[0].Update.view(), "B1");
  EXPECT_EQ(LogLines().back(), "Signature check failed for 'q.tar': a rollback: order " + order +
                                   " (build B2, q.tar) is not newer than order " + newer +
                                   " (build B3, q.tar), which was taken before [SIGNATURE] [0]");
}

// What the utility checked is what it starts and unpacks: a setup renamed over, or an archive
// that others may write written over in place, while qorax is given its time to end changes
// nothing that runs.
TEST_F(UpdateScriptTest, AFileSwappedAfterItsCheckChangesNothingThatRuns) {
  const std::string key = programFolder / "publisher.key";
  ASSERT_TRUE(RegistryKey::Create(SettingsKey(), kKeySetValue)
                  ->SetString("UpdateKey", PublisherKeygen(key)));
  PackageRecord& qorax = AddPackage("qorax", "S1", "B1");
  WriteSetup("qorax", "S2");
  WriteScript("qorax", "", "q.tar", "", true);
  WriteFileBytes(At("qorax/package.txt"),
                 "SetupBuild=S2\nUpdateBuild=B2\nUpdateFile=q.tar\nUpdateCmd=\n");
  ASSERT_TRUE(PublisherSign(key, programFolder.path()));
  ASSERT_TRUE(WriteSetupSig(At("qorax/SETUP.SIG"),
                            PackageInfoValue(At("qorax/package.txt"), "SetupSignature")) &&
              WriteUpdateXml(At("qorax/updates/UPDATE.XML"),
                             {"B2", "q.tar", "",
                              PackageInfoValue(At("qorax/package.txt"), "UpdateSignature")}));
  ASSERT_TRUE(MakeArchive(programFolder / "evil.tar", {{"evil.txt", "e"}}));
  chmod(At("qorax/setup.exe").c_str(), 0775);
  chmod(At("qorax/updates/q.tar").c_str(), 0664);
  bool setupPass = true;
  PassHooks hooks = RecordingHooks();
  hooks.sleepMs = [&](int) {
    if (setupPass) {
      WriteProgram(At("qorax/evil"), "touch " + ShellQuote(programFolder / "evil-ran"));
      std::filesystem::rename(At("qorax/evil"), At("qorax/setup.exe"));
    } else {
      WriteFileBytes(At("qorax/updates/q.tar"), ReadFileBytes(programFolder / "evil.tar"));
    }
  };
  EXPECT_TRUE(MakePass("qorax", hooks).RunSetupIfNew(qorax));
  EXPECT_TRUE(WaitFor([&] { return PathExists(At("qorax/setup-ran")); }, 5s));
  setupPass = false;
  MakePass("qorax", hooks).ApplyUpdate(qorax);
  EXPECT_EQ(qorax.Update.view(), "B2");
  EXPECT_EQ(ReadFileBytes(AppFolder("qorax") + "/new.txt"), "n");
  EXPECT_FALSE(PathExists(AppFolder("qorax") + "/evil.txt"));
  EXPECT_FALSE(PathExists(At("evil-ran")));
}

}  // namespace
}  // namespace vornix::testing
