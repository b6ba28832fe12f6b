#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/activity_log.h"
#include "common/package_markers.h"
#include "platform/process.h"
#include "testing/support/test_support.h"
#include "updater/core/package_pass.h"

namespace vornix::testing {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

// A program folder with the bzip2 and gtar links and the log, and a system root. All a pass
// shows, waits, reports and asks goes to `events` in order: "status:<text>", "ok", "cancel",
// "sleep <ms>", "shutdown", "logmsg <log lines then>:<text>".
class PassTest : public ::testing::Test, public ProgressFront {
 protected:
  void SetUp() override {
    ASSERT_EQ(symlink("/usr/bin/bzip2", At("bzip2").c_str()) |
                  symlink("/usr/bin/tar", At("gtar").c_str()),
              0);
    ProcessLog().SetFileNames(kUpdaterLogNames);
    ProcessLog().OpenLogIn(programFolder.path() + "/");
    // The log drops a line that repeats the one before, across tests too: begin afresh.
    WriteLogLine(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove(ProcessLog().LogPath());
  }
  void ShowStatus(const std::string& text) override { events.push_back("status:" + text); }
  void EnableOk() override { events.push_back("ok"); }
  void EndAsCancel() override { events.push_back("cancel"); }

  // Desc is the name with a capital; Path, <program folder>/my apps/<name>, holds a blank; the
  // program "run.sh" there makes started.txt beside it. The catalogue file is written anew.
  PackageRecord& AddPackage(const std::string& name, const std::string& build = "",
                            const std::string& update = "") {
    PackageRecord& r = catalogue.records[catalogue.count++];
    r.Name.assign(name), r.Build.assign(build), r.Update.assign(update), r.Key.assign("run.sh");
    r.Desc.assign(static_cast<char>(std::toupper(name[0])) + name.substr(1));
    r.Path.assign(AppFolder(name));
    std::filesystem::create_directories(AppFolder(name));
    WriteProgram(AppFolder(name) + "/run.sh", "echo >> \"$(dirname \"$0\")/started.txt\"");
    SaveCatalogueFile();  // the pass records each update it applies in the file
    return r;
  }
  std::string AppFolder(const std::string& name) { return programFolder / ("my apps/" + name); }
  // A path below the program folder.
  std::string At(const std::string& relative) const { return programFolder / relative; }
  void SaveCatalogueFile() { ASSERT_TRUE(SaveCatalogue(root.Catalogue(), catalogue)); }
  PackageCatalogue LoadCatalogueFile() {
    PackageCatalogue c;
    LoadCatalogue(root.Catalogue(), c);
    return c;
  }
  void WriteProgram(const std::string& path, const std::string& script) {
    WriteFileBytes(path, "#!/bin/sh\n" + script + "\n");
    chmod(path.c_str(), 0755);
  }
  // <name>/updates/UPDATE.XML, and with `archive` the update file: new.txt archived by the real
  // tar (and bzip2 when the name ends in ".bz2").
  void WriteScript(const std::string& name, const std::string& build, const std::string& file,
                   const std::string& command, bool archive = false) {
    std::filesystem::create_directories(At(name + "/updates"));
    ASSERT_TRUE(WriteUpdateXml(At(name + "/updates/UPDATE.XML"), {build, file, command}));
    ASSERT_TRUE(!archive || MakeArchive(At(name + "/updates/" + file), {{"new.txt", "n"}}));
  }
  // SETUP.VER, and when `runnable` a setup.exe that makes <name>/setup-ran (by an absolute name:
  // it runs detached, maybe after the test left the folder).
  void WriteSetup(const std::string& name, const std::string& build, bool runnable = true) {
    std::filesystem::create_directories(At(name));
    ASSERT_TRUE(WriteSetupVer(At(name + "/SETUP.VER"), build));
    if (runnable)
      WriteProgram(At(name + "/setup.exe"), "touch " + ShellQuote(At(name)) + "/setup-ran");
  }

  PassHooks RecordingHooks() {
    return {
        [this](int ms) { events.push_back("sleep " + std::to_string(ms)); },
        [this] { events.push_back("shutdown"); },
        [this](std::string_view text) {
          events.push_back("logmsg " + std::to_string(LogLines().size()) + ":" + std::string(text));
        },
        [this] { return moduleFile; }};
  }
  // A pass as the utility's command line "VornixUpdate <words>" asks for it.
  PackagePass MakePass(const std::string& words) { return MakePass(words, RecordingHooks()); }
  PackagePass MakePass(const std::string& words, PassHooks hooks) {
    return PackagePass(*this, ParseCommandLine("VornixUpdate " + words), programFolder.path() + "/",
                       std::move(hooks));
  }
  Lines LogLines() const { return testing::UnstampedLines(ReadFileBytes(ProcessLog().LogPath())); }

  ScopedSystemRoot root;
  TempDir programFolder;
  PackageCatalogue catalogue;
  Lines events;
  std::string moduleFile = programFolder / "VornixUpdate";
};

}  // namespace vornix::testing
