// The road of one update, for real: the built service and utility as processes, the reference
// update server and the qorax stand-in on loopback, archives made with the real tar and bzip2.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "common/catalogue.h"
#include "common/settings_key.h"
#include "platform/registry.h"
#include "platform/window_link.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace vornix::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr const char* kServiceTitle = "Vornix Update Service";
constexpr const char* kNewUtilityMark = "\n#vornix-e2e: VornixUpdate of build 2.0.0.5\n";

long CountOf(const std::string& text, const std::string& part) {
  long n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The built service and utility; a catalogue of vornet, qorax (its stand-in) and atlas; on the
// server an update carrying a new VornixUpdate, one of qorax with a command, a setup of atlas.
class UpdateRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(setenv("VORNIX_SYSTEM_ROOT", system_.c_str(), 1), 0);
    for (const std::string& folder :
         {program_, system_ + "/windows", apps_ + "/qorax", apps_ + "/atlas",
          repository_ + "/vornet/updates", repository_ + "/qorax/updates", repository_ + "/atlas"})
      fs::create_directories(folder);
    for (const char* name : {"Vornix", "VornixUpdate", "bzip2", "gtar"})
      fs::copy(BuiltProgramFolder() + "/" + name, program_ + "/" + name,
               fs::copy_options::copy_symlinks);
    fs::copy_file(TestToolFolder() + "/qorax_standin", apps_ + "/qorax/qorax");
    WriteFileBytes(apps_ + "/atlas/atlas", "");  // installed: its program is there
    WriteFileBytes(system_ + "/windows/avclient.ini", "[SERVER]\r\nComputerName=TESTPC\r\n");
    const std::string utility = ReadFileBytes(program_ + "/VornixUpdate") + kNewUtilityMark;
    ASSERT_TRUE(
        MakeArchive(repository_ + "/vornet/updates/v.tar.bz2", {{"VornixUpdate", utility}}));
    ASSERT_TRUE(MakeArchive(repository_ + "/qorax/updates/q.tar.bz2", {{"notes.txt", "q-41\n"}}));
    WriteFileBytes(repository_ + "/vornet/package.txt",
                   "UpdateBuild=2.0.0.5\nUpdateFile=v.tar.bz2\n");
    WriteFileBytes(repository_ + "/qorax/package.txt",
                   "UpdateBuild=q-41\nUpdateFile=q.tar.bz2\nUpdateCmd=cp notes.txt CHANGES.txt\n");
    WriteFileBytes(repository_ + "/atlas/setup.exe",
                   "#!/bin/sh\ntouch \"$(dirname \"$0\")/RAN\"\n");
    WriteFileBytes(repository_ + "/atlas/package.txt", "SetupBuild=3.1\n");
    server_ = std::make_unique<ReferenceServer>(ReferenceServerOptions::ForRepository(repository_));
    ASSERT_TRUE(server_->Start());

    PackageCatalogue cat;
    for (const Lines& r : {Lines{"vornet", "Vornix", "2.0.0.4", "2.0.0.4", program_, "Vornix"},
                           Lines{"qorax", "Qorax Server", "41", "q-40", apps_ + "/qorax", "qorax"},
                           Lines{"atlas", "Atlas Maps", "3.0", "", apps_ + "/atlas", "atlas"}}) {
      PackageRecord& p = cat.records[cat.count++];
      p.Name.assign(r[0]), p.Desc.assign(r[1]), p.Build.assign(r[2]), p.Update.assign(r[3]);
      p.Path.assign(r[4]), p.Key.assign(r[5]);
    }
    ASSERT_TRUE(SaveCatalogue(CataloguePath(), cat));
    auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
    ASSERT_TRUE(key && key->SetString("UrlOut", server_->address()) &&
                key->SetDword("DefaultServer", 1) && key->SetString("ProgPath", program_ + "/"));
  }
  void TearDown() override {
    KillProcessesRunningFrom(dir_.path());
    unsetenv("VORNIX_SYSTEM_ROOT");
  }

  std::unique_ptr<BackgroundProcess> Start(const std::string& folder, const std::string& program) {
    auto p = std::make_unique<BackgroundProcess>(
        Lines{folder + "/" + program},
        std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "offscreen"}}, folder,
        dir_ / (program + ".out"));
    EXPECT_TRUE(p->Start());
    return p;
  }
  // "Update &Now" to the service: a forced pass. The utility stops the service (it ends with
  // 1) to change its package; the copy applies that and starts the service again.
  void UpdateNow() {
    auto service = Start(program_, "Vornix");
    ASSERT_TRUE(WaitFor([] { return FindWindowByTitle(kServiceTitle); }, 30s));
    ASSERT_TRUE(SendWindowCommand(kServiceTitle, 1015));
    ASSERT_EQ(service->WaitExit(60s), 1) << ReadFileBytes(dir_ / "Vornix.out");
    ASSERT_TRUE(WaitFor([&] { return Package("vornet").Update.str() == "2.0.0.5"; }, 90s))
        << UtilityLog();
    ASSERT_TRUE(WaitFor([] { return FindWindowByTitle(kServiceTitle); }, 30s)) << UtilityLog();
    ASSERT_TRUE(WaitFor([&] { return ProcessesRunningFrom(program_ + "/").size() == 1; }, 30s))
        << "the utility and its copy end by themselves; only the service stays";
  }
  std::string QoraxRecord() { return ReadFileBytes(apps_ + "/qorax/qorax.record"); }
  std::string UtilityLog() { return ReadFileBytes(program_ + "/VornixUpdate.log"); }
  PackageRecord Package(const std::string& name) {
    PackageCatalogue cat;
    LoadCatalogue(CataloguePath(), cat);
    return cat.records[FindPackage(cat, name, NameCase::kSignificant)];
  }

  TempDir dir_;
  std::string program_ = dir_ / "program", system_ = dir_ / "system", apps_ = dir_ / "apps";
  std::string repository_ = dir_ / "repository";
  std::unique_ptr<ReferenceServer> server_;
};

TEST_F(UpdateRoad, FromTheServerToTheInstalledPackagesAndASecondPassFindsEverythingInPlace) {
  auto qorax = Start(apps_ + "/qorax", "qorax");
  ASSERT_TRUE(WaitFor([&] { return CountOf(QoraxRecord(), "started") == 1; }, 15s));
  UpdateNow();
  // The first process applies qorax's update; the copy, once the first wrote the catalogue,
  // only the service's.
  Lines messages;
  for (const auto& r : server_->Requests())
    if (r.command == "LOGMSG") messages.push_back(r.message);
  EXPECT_EQ(messages, (Lines{"TESTPC:'Qorax Server' successfully updated!",
                             "TESTPC:'Vornix' successfully updated!"}));
  EXPECT_EQ(CountOf(UtilityLog(), " - Vornix Update started. [0]"), 2) << UtilityLog();
  EXPECT_NE(ReadFileBytes(program_ + "/VornixUpdate").find(kNewUtilityMark), std::string::npos);

  // qorax was asked to end, given two seconds before its update, and started again afterwards.
  const std::string record = QoraxRecord();
  ASSERT_EQ(CountOf(record, "POST / <VORNIX SHUTDOWN />"), 1) << record;
  const long long askedAt =
      std::stoll(record.substr(record.rfind('\n', record.find("POST /")) + 1));
  struct stat changes {};
  ASSERT_EQ(stat((apps_ + "/qorax/CHANGES.txt").c_str(), &changes), 0);
  EXPECT_GE(changes.st_mtim.tv_sec * 1000LL + changes.st_mtim.tv_nsec / 1000000 - askedAt, 2000);
  EXPECT_TRUE(WaitFor([&] { return CountOf(QoraxRecord(), "started") == 2; }, 15s))
      << QoraxRecord();
  EXPECT_EQ(ReadFileBytes(apps_ + "/qorax/CHANGES.txt"), "q-41\n");
  // The atlas setup lies ready, but an "ALL" run never starts setups of other packages.
  EXPECT_EQ(ReadFileBytes(program_ + "/atlas/SETUP.VER"), "3.1");
  EXPECT_FALSE(fs::exists(program_ + "/atlas/RAN"));
  EXPECT_EQ(Package("atlas").Build.str() + Package("vornet").Build.str(), "3.02.0.0.4");

  // What an administrator sees of it.
  const std::string vornixctl = BuiltProgramFolder() + "/vornixctl";
  const std::map<std::string, std::string> env{{"VORNIX_SYSTEM_ROOT", system_}};
  const ProcessResult status = RunProcess({vornixctl, "status"}, env);
  EXPECT_EQ(status.exitCode, 0) << status.output;
  const std::string pid = std::to_string(ProcessesRunningFrom(program_ + "/").at(0));
  for (const std::string& line :
       Lines{"Service       runs as process " + pid + ", program folder " + program_ + "/\n",
             "Server        " + server_->address() + ", no signatures\n",
             "vornet       2.0.0.4        2.0.0.5        - (Vornix)\n",
             "qorax        41             q-41           - (Qorax Server)\n",
             "atlas        3.0            -              setup 3.1 (verified) (Atlas Maps)\n"})
    EXPECT_NE(status.output.find(line), std::string::npos) << line << status.output;
  EXPECT_NE(status.output.find("forced: ok: 3 packages checked; utility started"),
            std::string::npos)
      << status.output;
  fs::rename(program_ + "/atlas/setup.exe", dir_ / "setup.exe");
  EXPECT_NE(RunProcess({vornixctl, "status"}, env)
                .output.find("setup 3.1 (does not verify: setup.exe is not there)"),
            std::string::npos);
  fs::rename(dir_ / "setup.exe", program_ + "/atlas/setup.exe");
  // An address the service cannot use is named; so is a service this user cannot see.
  const std::string settings = RegistryKey::KeyFilePath(SettingsKey());
  const std::string saved = ReadFileBytes(settings);
  WriteFileBytes(settings, saved + "\"UrlOut\"=\"10.0.0.1 8080\"\n");
  const ProcessResult unusable = RunProcess({vornixctl, "status"}, env);
  EXPECT_EQ(unusable.exitCode, 1);
  EXPECT_NE(unusable.output.find("Problem       UrlOut in " + settings +
                                 " cannot be used (it holds a blank): the service runs no check"),
            std::string::npos)
      << unusable.output;
  WriteFileBytes(settings, saved);
  if (geteuid() == 0) {
    const ProcessResult other = RunProcess(
        {"/usr/bin/setpriv", "--reuid=4242", "--regid=4242", "--clear-groups", vornixctl, "status"},
        env);
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_NE(other.output.find("Service       cannot be told (no access)"), std::string::npos)
        << other.output;
  }
  const std::string json = RunProcess({vornixctl, "status", "--json"}, env).output;
  EXPECT_NE(
      json.find(
          "{\"name\":\"atlas\",\"description\":\"Atlas Maps\",\"build\":\"3.0\",\"update\":"
          "\"\",\"installed\":true,\"setupReady\":{\"build\":\"3.1\",\"verified\":true,"
          "\"problem\":\"\",\"started\":false},\"updateReady\":null,\"downloadingBytes\":null}"),
      std::string::npos)
      << json;
  const auto lastLine = [&](const std::string& log) {
    std::string text = ReadFileBytes(program_ + "/" + log);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text.substr(text.rfind('\n', text.size() - 2) + 1);
  };
  EXPECT_EQ(RunProcess({vornixctl, "log", "1"}, env).output,
            "==> " + program_ + "/Vornix.log <==\n" + lastLine("Vornix.log") + "==> " + program_ +
                "/VornixUpdate.log <==\n" + lastLine("VornixUpdate.log"));

  // A second pass, asked for by an administrator, finds every build in place: two questions per
  // package and the atlas setup that lies ready checked at rest, nothing downloaded, no utility
  // started.
  server_->ClearRequests();
  const ProcessResult check = RunProcess({vornixctl, "check"}, env);
  ASSERT_EQ(check.exitCode, 0) << check.output;
  ASSERT_TRUE(WaitFor([&] { return server_->Log().size() >= 8; }, 30s));
  SleepMs(1500);
  EXPECT_EQ(server_->Log(), (Lines{"CONFIG", "SETUPINFO vornet", "UPDATEINFO vornet",
                                   "SETUPINFO qorax", "UPDATEINFO qorax", "SETUPINFO atlas",
                                   "FILEINFO atlas setup.exe", "UPDATEINFO atlas"}));
  EXPECT_EQ(CountOf(UtilityLog(), " - Vornix Update started. [0]"), 2);
}

TEST_F(UpdateRoad, WithAnUpdateKeySignedPackagesGoThroughAndASwappedFileIsRefused) {
  ASSERT_TRUE(RegistryKey::Create(SettingsKey(), kKeySetValue)
                  ->SetString("UpdateKey", PublisherKeygen(dir_ / "publisher.key")));
  ASSERT_TRUE(PublisherSign(dir_ / "publisher.key", repository_));
  // Someone on the server swaps two bytes of qorax's update: the same size, the same sum.
  const std::string qorax = repository_ + "/qorax/updates/q.tar.bz2";
  std::string bytes = ReadFileBytes(qorax);
  size_t at = bytes.size() / 2;
  while (bytes[at] == bytes[at + 1]) ++at;
  std::swap(bytes[at], bytes[at + 1]);
  WriteFileBytes(qorax, bytes);

  UpdateNow();
  EXPECT_EQ(Package("qorax").Update.str(), "q-40");
  const std::string refused =
      program_ + "/qorax/updates/q.tar.bz2: the signature does not match [Download Failed]";
  EXPECT_NE(ReadFileBytes(program_ + "/Vornix.log").find(refused), std::string::npos);
  EXPECT_FALSE(fs::exists(program_ + "/qorax/updates/UPDATE.XML"));
  EXPECT_EQ(ReadFileBytes(program_ + "/atlas/SETUP.SIG"),
            PackageInfoValue(repository_ + "/atlas/package.txt", "SetupSignature"));
}

// The utility, the pass it was started for, killed at moments spread over the whole pass
// (before, during and after each copy, unpacking, command and record), and the service killed
// with it, as at a power cut; then the service starts again and checks. Every round ends with
// every update applied and recorded, none applied again once recorded, and the catalogue whole:
// its other 130 packages and the text after it as they were.
TEST_F(UpdateRoad, AUtilityKilledAnywhereLeavesNothingUnappliedAndNothingLost) {
  for (const char* name : {"vornet", "qorax", "atlas"})
    WriteFileBytes(repository_ + "/" + name + "/package.txt", "");
  std::string packages =
      PackageText({"vornet", "Vornix", "2.0.0.4", "2.0.0.4", program_, "Vornix"});
  const Lines apps = {"p1", "p2", "p3"};
  for (const std::string& p : apps) {
    fs::create_directories(repository_ + "/" + p + "/updates");
    fs::create_directories(apps_ + "/" + p);
    WriteFileBytes(apps_ + "/" + p + "/" + p, "");
    ASSERT_TRUE(
        MakeArchive(repository_ + "/" + p + "/updates/" + p + ".tar.bz2", {{"new.txt", p + " 2"}}));
    WriteFileBytes(repository_ + "/" + p + "/package.txt",
                   "UpdateBuild=2\nUpdateFile=" + p +
                       ".tar.bz2\n"
                       "UpdateCmd=sleep 0.05; echo ran >> runs.txt\n");
    packages += PackageText({p, p, "", "1", apps_ + "/" + p, p});
  }
  for (int i = 0; i < 130; ++i) packages += PackageText({"x" + std::to_string(i), "not here"});
  const std::string before = CatalogueText(packages) + "<!-- kept -->\r\n";
  std::string after = before;
  for (size_t at; (at = after.find("<Update>1<")) != std::string::npos;)
    after.replace(at, 10, "<Update>2<");
  const auto utilities = [&] { return ProcessesRunningFrom(program_ + "/VornixUpdate"); };
  const auto runs = [&](const std::string& p) {
    return CountOf(ReadFileBytes(apps_ + "/" + p + "/runs.txt"), "ran");
  };
  const auto checkNow = [&] {
    auto service = Start(program_, "Vornix");
    EXPECT_TRUE(WaitFor([] { return FindWindowByTitle(kServiceTitle); }, 30s));
    EXPECT_TRUE(SendWindowCommand(kServiceTitle, 1015));
    return service;
  };

  std::chrono::milliseconds pass{0};
  for (int round = 0; round <= 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    WriteFileBytes(system_ + "/windows/WinApps.XML", before);
    std::map<std::string, long> ran;
    for (const std::string& p : apps) ran[p] = runs(p);
    auto service = checkNow();
    ASSERT_TRUE(WaitFor([&] { return !utilities().empty(); }, 30s)) << UtilityLog();
    const auto started = std::chrono::steady_clock::now();
    if (round > 0) {
      // The first round measured a whole pass; the others cut one at points across it.
      SleepMs(static_cast<int>(pass.count() * (round - 1) / 11));
      for (int pid : utilities())  // with its children; one that ended meanwhile has no group
        if (const pid_t group = getpgid(pid); group > 0) kill(-group, SIGKILL);
      service->Kill();
      ASSERT_TRUE(WaitFor([&] { return utilities().empty(); }, 10s));
      service = checkNow();
    }
    ASSERT_TRUE(WaitFor(
        [&] {
          return ReadFileBytes(system_ + "/windows/WinApps.XML") == after && utilities().empty();
        },
        60s))
        << ReadFileBytes(system_ + "/windows/WinApps.XML").substr(0, 2000) << UtilityLog();
    if (round == 0)
      pass = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - started);
    for (const std::string& p : apps) {
      const long more = runs(p) - ran[p];
      EXPECT_TRUE(more == 1 || (round > 0 && more == 2)) << p << " ran " << more << " times";
      EXPECT_EQ(ReadFileBytes(apps_ + "/" + p + "/new.txt"), p + " 2");
    }
    // Recorded is done: the next check starts no utility.
    const long utilityRuns = CountOf(UtilityLog(), "Vornix Update started.");
    server_->ClearRequests();
    ASSERT_TRUE(SendWindowCommand(kServiceTitle, 1015));
    ASSERT_TRUE(WaitFor([&] { return server_->Log().size() >= 9; }, 30s));
    SleepMs(300);
    EXPECT_EQ(CountOf(UtilityLog(), "Vornix Update started."), utilityRuns);
    SendWindowCommand(kServiceTitle, 57602);
    EXPECT_TRUE(service->WaitExit(15s).has_value());
  }
}

}  // namespace
}  // namespace vornix::testing
