#include "tests/utility/pass_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "common/activity_log.h"
#include "common/package_markers.h"
#include "platform/process.h"
#include "updater/core/run_flags.h"

namespace vornix::testing {

std::vector<std::string> RecordingFront::Statuses() const {
  std::vector<std::string> out;
  for (const auto& e : events)
    if (e.rfind("status:", 0) == 0) out.push_back(e.substr(7));
  return out;
}

bool RecordingFront::Cancelled() const {
  return std::find(events.begin(), events.end(), "cancel") != events.end();
}

void PassTest::SetUp() {
  savedFolder = CurrentFolder();
  ASSERT_TRUE(ChangeFolder(programFolder.path()));
  ASSERT_EQ(symlink("/usr/bin/bzip2", "bzip2"), 0);
  ASSERT_EQ(symlink("/usr/bin/tar", "gtar"), 0);
  ProcessLog().SetFileNames(kUpdaterLogNames);
  ProcessLog().OpenLogIn(programFolder.path() + "/");
  // The log drops a line that repeats the one before, across tests too: begin afresh.
  WriteLogLine("test " +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::filesystem::remove(ProcessLog().LogPath());
  ResetRunFlags();
  catalogue.clear();
  moduleFile = programFolder / "VornixUpdate";
}

void PassTest::TearDown() {
  ChangeFolder(savedFolder);
}

std::string PassTest::AppFolder(const std::string& name) const {
  return programFolder / ("apps/" + name);
}

PackageRecord& PassTest::AddPackage(const PackageSpec& spec) {
  PackageRecord& r = catalogue.records[catalogue.count++];
  r.Name.assign(spec.name);
  r.Desc.assign(spec.desc);
  r.Build.assign(spec.build);
  r.Update.assign(spec.update);
  const std::string folder = AppFolder(spec.name);
  std::filesystem::create_directories(folder);
  r.Path.assign(folder);
  r.Key.assign("run.sh");
  WriteFileBytes(folder + "/run.sh",
                 "#!/bin/sh\necho started >> \"$(dirname \"$0\")/started.txt\"\n");
  chmod((folder + "/run.sh").c_str(), 0755);
  return r;
}

void PassTest::SaveCatalogueFile() {
  ASSERT_TRUE(SaveCatalogue(root.Catalogue(), catalogue));
}

PackageCatalogue PassTest::LoadCatalogueFile() const {
  PackageCatalogue c;
  LoadCatalogue(root.Catalogue(), c);
  return c;
}

void PassTest::WriteScript(const std::string& name, const std::string& build,
                           const std::string& file, const std::string& command) {
  std::filesystem::create_directories(name + "/updates");
  ASSERT_TRUE(WriteUpdateXml(name + "/updates/UPDATE.XML", {build, file, command}));
}

void PassTest::WriteSetup(const std::string& name, const std::string& build, bool runnable) {
  std::filesystem::create_directories(name);
  ASSERT_TRUE(WriteSetupVer(programFolder / (name + "/SETUP.VER"), build));
  if (!runnable) return;
  // The setup runs detached, maybe after the test left the folder: absolute names only.
  const std::string folder = programFolder / name;
  WriteFileBytes(folder + "/setup.exe",
                 "#!/bin/sh\ndate +%s%3N > " + ShellQuote(folder + "/setup-ran.txt") + "\n");
  chmod((folder + "/setup.exe").c_str(), 0755);
}

void PassTest::MakeArchive(const std::string& name, const std::string& archive,
                           const std::vector<std::pair<std::string, std::string>>& files) {
  std::filesystem::create_directories(programFolder / (name + "/updates"));
  ASSERT_TRUE(testing::MakeArchive(programFolder / (name + "/updates/" + archive), files));
}

PassHooks PassTest::RecordingHooks() {
  PassHooks hooks;
  hooks.sleepMs = [this](int ms) { events.push_back("sleep " + std::to_string(ms)); };
  hooks.sendShutdownRequest = [this] { events.push_back("shutdown"); };
  hooks.sendLogMessage = [this](std::string_view text) {
    events.push_back("logmsg " + std::to_string(LogLines().size()) + ":" + std::string(text));
  };
  hooks.moduleFileName = [this] { return moduleFile; };
  hooks.passLockWaitMs = 2000;
  hooks.serviceStopWaitMs = 5000;
  return hooks;
}

PackagePass PassTest::MakePass(const std::string& selector, bool quiet, bool restart,
                               bool appStart) {
  RunOptions o;
  o.m_selector = selector;
  o.hasSelector = true;
  o.m_quiet = quiet;
  o.m_restart = restart;
  o.m_appStart = appStart;
  return PackagePass(front, o, RecordingHooks());
}

void PassTest::RunPass(const std::string& selector, bool quiet, bool restart) {
  MakePass(selector, quiet, restart).RunPackagePass();
}

std::vector<std::string> PassTest::LogLines() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFileBytes(ProcessLog().LogPath()));
  for (std::string line; std::getline(in, line);) {
    const size_t dash = line.find(" - ");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
  }
  return lines;
}

int PassTest::StartCount(const std::string& name, int atLeast) const {
  const std::string path = AppFolder(name) + "/started.txt";
  auto count = [&] {
    const std::string text = ReadFileBytes(path);
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  };
  // Started programs run detached: wait for the starts expected, or a moment for none.
  if (atLeast > 0)
    WaitFor([&] { return count() >= atLeast; }, std::chrono::seconds(5));
  else
    SleepMs(200);
  return count();
}

}  // namespace vornix::testing
