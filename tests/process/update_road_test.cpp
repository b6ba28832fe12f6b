// The road of one update, for real: the built service and utility as processes, the reference
// update server and the qorax stand-in on loopback, archives made with the real tar and bzip2.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/catalogue.h"
#include "common/identity.h"
#include "common/protocol.h"
#include "common/transport.h"
#include "platform/registry.h"
#include "platform/window_link.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::BackgroundProcess;
using testing::ReadFileBytes;
using testing::ReferenceServer;
using testing::ReferenceServerOptions;
using testing::WaitFor;
using testing::WriteFileBytes;

constexpr const char* kServiceTitle = "Vornix Update Service";
constexpr const char* kNewUtilityMark = "\n#vornix-e2e: VornixUpdate of build 2.0.0.5\n";

long CountOf(const std::string& text, const std::string& part) {
  long n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

size_t IndexOf(const std::vector<std::string>& log, const std::string& entry) {
  return static_cast<size_t>(std::find(log.begin(), log.end(), entry) - log.begin());
}

class UpdateRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(setenv("VORNIX_SYSTEM_ROOT", system_.c_str(), 1), 0);
    LayOutProgramFolder();
    MakeRepository();
    server_ = std::make_unique<ReferenceServer>(ReferenceServerOptions::ForRepository(repository_));
    ASSERT_TRUE(server_->Start());
    WriteCatalogueAndSettings();
  }

  void TearDown() override {
    SendWindowCommand(kServiceTitle, 57602, 5000);
    PostCommand(kQoraxListener, kShutdownDocument, 2);
    testing::KillProcessesRunningFrom(dir_.path());
    unsetenv("VORNIX_SYSTEM_ROOT");
  }

  void LayOutProgramFolder() {
    fs::create_directories(program_);
    fs::create_directories(system_ + "/windows");
    for (const char* name : {"Vornix", "VornixUpdate"})
      fs::copy_file(testing::BuiltProgramFolder() + "/" + name, program_ + "/" + name);
    fs::create_symlink(testing::BuiltProgramFolder() + "/bzip2", program_ + "/bzip2");
    fs::create_symlink(testing::BuiltProgramFolder() + "/gtar", program_ + "/gtar");
    fs::create_directories(apps_ + "/qorax");
    fs::create_directories(apps_ + "/atlas");
    fs::copy_file(testing::TestToolFolder() + "/qorax_standin", apps_ + "/qorax/qorax");
    WriteFileBytes(apps_ + "/atlas/atlas", "#!/bin/sh\nexit 0\n");
    fs::permissions(apps_ + "/atlas/atlas", fs::perms::owner_all);
  }

  // vornet: an update carrying a new VornixUpdate; qorax: an update with a command; atlas: a
  // new setup, which an "ALL" run downloads but never starts.
  void MakeRepository() {
    const std::string utility = ReadFileBytes(program_ + "/VornixUpdate") + kNewUtilityMark;
    fs::create_directories(repository_ + "/vornet/updates");
    ASSERT_TRUE(testing::MakeArchive(repository_ + "/vornet/updates/vornix-2.0.0.5.tar.bz2",
                                     {{"VornixUpdate", utility}}));
    WriteFileBytes(repository_ + "/vornet/package.txt",
                   "UpdateBuild=2.0.0.5\nUpdateFile=vornix-2.0.0.5.tar.bz2\nUpdateCmd=\n");

    fs::create_directories(repository_ + "/qorax/updates");
    ASSERT_TRUE(testing::MakeArchive(repository_ + "/qorax/updates/qorax-q41.tar.bz2",
                                     {{"notes.txt", "qorax q-41\n"}}));
    WriteFileBytes(
        repository_ + "/qorax/package.txt",
        "UpdateBuild=q-41\nUpdateFile=qorax-q41.tar.bz2\nUpdateCmd=cp notes.txt CHANGES.txt\n");

    WriteFileBytes(repository_ + "/atlas/setup.exe",
                   "#!/bin/sh\ntouch \"$(dirname \"$0\")/SETUP-RAN\"\n");
    WriteFileBytes(repository_ + "/atlas/package.txt", "SetupBuild=3.1\n");
  }

  void WriteCatalogueAndSettings() {
    PackageCatalogue cat;
    auto add = [&](const std::string& name, const std::string& desc, const std::string& build,
                   const std::string& update, const std::string& path, const std::string& key) {
      PackageRecord& r = cat.records[static_cast<size_t>(cat.count++)];
      r.Name.assign(name);
      r.Desc.assign(desc);
      r.Build.assign(build);
      r.Update.assign(update);
      r.Path.assign(path);
      r.Key.assign(key);
    };
    add("vornet", "Vornix", "2.0.0.4", "2.0.0.4", program_, "Vornix");
    add("qorax", "Qorax Server", "41", "q-40", apps_ + "/qorax", "qorax");
    add("atlas", "Atlas Maps", "3.0", "", apps_ + "/atlas", "atlas");
    ASSERT_TRUE(SaveCatalogue(CataloguePath(), cat));

    auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
    ASSERT_TRUE(key);
    key->SetString("UrlOut", server_->address());
    key->SetDword("DefaultServer", 1);
    key->SetString("ProgPath", program_ + "/");
  }

  std::unique_ptr<BackgroundProcess> StartService() {
    auto service = std::make_unique<BackgroundProcess>(
        std::vector<std::string>{program_ + "/Vornix"},
        std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "offscreen"}}, program_,
        dir_ / "service.out");
    EXPECT_TRUE(service->Start());
    EXPECT_TRUE(WaitFor([] { return FindWindowByTitle(kServiceTitle); }, 30s));
    return service;
  }

  std::unique_ptr<BackgroundProcess> StartQorax() {
    auto qorax = std::make_unique<BackgroundProcess>(
        std::vector<std::string>{apps_ + "/qorax/qorax"}, std::map<std::string, std::string>{},
        apps_ + "/qorax", dir_ / "qorax.out");
    EXPECT_TRUE(qorax->Start());
    EXPECT_TRUE(WaitFor([&] { return CountOf(QoraxRecord(), "started") == 1; }, 15s));
    return qorax;
  }

  std::string QoraxRecord() { return ReadFileBytes(apps_ + "/qorax/qorax.record"); }
  std::string UtilityLog() { return ReadFileBytes(program_ + "/VornixUpdate.log"); }
  PackageRecord Package(const std::string& name) {
    PackageCatalogue cat;
    LoadCatalogue(CataloguePath(), cat);
    const int i = FindPackage(cat, name, NameCase::kSignificant);
    return i < 0 ? PackageRecord() : cat.records[static_cast<size_t>(i)];
  }

  testing::TempDir dir_;
  std::string program_ = dir_ / "program";
  std::string system_ = dir_ / "system";
  std::string apps_ = dir_ / "apps";
  std::string repository_ = dir_ / "repository";
  std::unique_ptr<ReferenceServer> server_;
};

TEST_F(UpdateRoad, FromTheServerToTheInstalledPackagesAndASecondPassFindsEverythingInPlace) {
  auto qorax = StartQorax();
  auto service = StartService();

  // "Update &Now": a forced pass without the time question.
  ASSERT_TRUE(SendWindowCommand(kServiceTitle, 1015));

  // The utility stops the service to change its package: the first service ends with 1.
  const auto firstExit = service->WaitExit(60s);
  ASSERT_TRUE(firstExit) << ReadFileBytes(dir_ / "service.out");
  EXPECT_EQ(*firstExit, 1);

  // The copy applies the service's update and starts the service again.
  ASSERT_TRUE(WaitFor([&] { return Package("vornet").Update.str() == "2.0.0.5"; }, 90s))
      << UtilityLog();
  ASSERT_TRUE(WaitFor([&] { return Package("qorax").Update.str() == "q-41"; }, 30s));
  ASSERT_TRUE(WaitFor([&] { return FindWindowByTitle(kServiceTitle); }, 30s))
      << "the service was not started again\n"
      << UtilityLog();
  ASSERT_TRUE(WaitFor([&] { return testing::ProcessesRunningFrom(program_).size() == 1; }, 30s))
      << "the utility and its copy end by themselves; only the service stays";

  const std::vector<std::string> log = server_->Log();
  // The pass: the configuration report first, then the service's own package.
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "CONFIG");
  EXPECT_LT(IndexOf(log, "UPDATEINFO vornet"), IndexOf(log, "SETUPINFO qorax"));
  // Each file downloaded was verified before and after.
  for (const std::string& file :
       {std::string("vornet updates/vornix-2.0.0.5.tar.bz2"),
        std::string("qorax updates/qorax-q41.tar.bz2"), std::string("atlas setup.exe")}) {
    const std::string name = file.substr(0, file.find(' '));
    const std::string path = "GET /" + name + "/" + file.substr(file.find(' ') + 1);
    const size_t get = IndexOf(log, path);
    ASSERT_LT(get, log.size()) << path;
    EXPECT_EQ(log[get - 1], "FILEINFO " + file);
    EXPECT_EQ(log[get + 1], "FILEINFO " + file);
  }
  const std::string requests = [&] {
    std::string all;
    for (const auto& r : server_->Requests()) all += r.command + " " + r.message + "\n";
    return all;
  }();
  EXPECT_EQ(CountOf(requests, "LOGMSG "), 2) << requests;
  EXPECT_EQ(CountOf(requests, ":'Vornix' successfully updated!"), 1);
  EXPECT_EQ(CountOf(requests, ":'Qorax Server' successfully updated!"), 1);

  // One start of the utility by the service and one of its copy.
  EXPECT_EQ(CountOf(UtilityLog(), " - Vornix Update started. [0]"), 2) << UtilityLog();
  EXPECT_TRUE(fs::exists(program_ + "/VornixUpdate1"));
  // The update replaced VornixUpdate itself.
  const std::string utility = ReadFileBytes(program_ + "/VornixUpdate");
  EXPECT_EQ(utility.substr(utility.size() - std::string(kNewUtilityMark).size()), kNewUtilityMark);

  // qorax was asked to end before its update and started again afterwards.
  const std::string record = QoraxRecord();
  EXPECT_EQ(CountOf(record, "POST / <VORNIX SHUTDOWN />"), 1) << record;
  EXPECT_TRUE(WaitFor([&] { return CountOf(QoraxRecord(), "started") == 2; }, 15s))
      << QoraxRecord();
  EXPECT_EQ(ReadFileBytes(apps_ + "/qorax/CHANGES.txt"), "qorax q-41\n");
  EXPECT_FALSE(fs::exists(apps_ + "/qorax/qorax-q41.tar")) << "the unpacked archive is removed";

  // The atlas setup lies ready, but an "ALL" run never starts setups of other packages.
  EXPECT_EQ(ReadFileBytes(program_ + "/atlas/SETUP.VER"), "3.1");
  EXPECT_FALSE(fs::exists(program_ + "/atlas/SETUP-RAN"));
  EXPECT_EQ(Package("atlas").Build.str(), "3.0");
  EXPECT_EQ(Package("vornet").Build.str(), "2.0.0.4");

  // A second pass finds every build in place: two questions per package, nothing downloaded,
  // no utility started.
  server_->ClearRequests();
  ASSERT_TRUE(SendWindowCommand(kServiceTitle, 1015));
  ASSERT_TRUE(WaitFor(
      [&] { return IndexOf(server_->Log(), "UPDATEINFO atlas") < server_->Log().size(); }, 30s));
  testing::SleepMs(1500);
  EXPECT_EQ(server_->Log(),
            (std::vector<std::string>{"CONFIG", "SETUPINFO vornet", "UPDATEINFO vornet",
                                      "SETUPINFO qorax", "UPDATEINFO qorax", "SETUPINFO atlas",
                                      "UPDATEINFO atlas"}));
  EXPECT_EQ(CountOf(UtilityLog(), " - Vornix Update started. [0]"), 2);
}

TEST_F(UpdateRoad, WithAnUpdateKeySignedPackagesGoThroughAndASwappedFileIsRefused) {
  const std::string keyFile = dir_ / "publisher.key";
  const std::string updateKey = testing::PublisherKeygen(keyFile);
  ASSERT_TRUE(testing::PublisherSign(keyFile, repository_));
  ASSERT_TRUE(RegistryKey::Create(SettingsKey(), kKeySetValue)->SetString("UpdateKey", updateKey));
  // Someone on the server swaps two bytes of qorax's update: the same size, the same sum.
  const std::string qorax = repository_ + "/qorax/updates/qorax-q41.tar.bz2";
  std::string bytes = ReadFileBytes(qorax);
  size_t at = bytes.size() / 2;
  while (bytes[at] == bytes[at + 1]) ++at;
  std::swap(bytes[at], bytes[at + 1]);
  WriteFileBytes(qorax, bytes);

  auto service = StartService();
  ASSERT_TRUE(SendWindowCommand(kServiceTitle, 1015));
  ASSERT_TRUE(service->WaitExit(60s)) << ReadFileBytes(dir_ / "service.out");
  ASSERT_TRUE(WaitFor([&] { return Package("vornet").Update.str() == "2.0.0.5"; }, 90s))
      << UtilityLog();
  ASSERT_TRUE(WaitFor([&] { return testing::ProcessesRunningFrom(program_).size() == 1; }, 30s));

  EXPECT_EQ(Package("qorax").Update.str(), "q-40");
  const std::string refused = program_ + "/qorax/updates/qorax-q41.tar.bz2 [Download Failed]";
  EXPECT_NE(ReadFileBytes(program_ + "/Vornix.log").find(refused), std::string::npos);
  EXPECT_FALSE(fs::exists(program_ + "/qorax/updates/UPDATE.XML"));
  EXPECT_EQ(ReadFileBytes(program_ + "/atlas/SETUP.SIG"),
            testing::PackageInfoValue(repository_ + "/atlas/package.txt", "SetupSignature"));
}

}  // namespace
}  // namespace vornix
