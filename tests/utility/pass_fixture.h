#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/catalogue.h"
#include "testing/support/test_support.h"
#include "updater/core/package_pass.h"

namespace vornix::testing {

// Records the progress operations in order: "status:<text>", "ok", "cancel".
class RecordingFront : public ProgressFront {
 public:
  void ShowStatus(const std::string& text) override { events.push_back("status:" + text); }
  void EnableOk() override { events.push_back("ok"); }
  void EndAsCancel() override { events.push_back("cancel"); }

  std::vector<std::string> Statuses() const;
  bool Cancelled() const;
  std::vector<std::string> events;
};

struct PackageSpec {
  std::string name;
  std::string desc;
  std::string build;
  std::string update;
};

// A program folder of its own (the current folder while a test runs) with the bzip2 and gtar
// links, a system root, and the utility's log in the program folder. The pass's waits,
// reports and shutdown requests are recorded in one list of events, in order, with the
// number of log lines there were at the time.
class PassTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Adds a record whose Path is <program folder>/apps/<name> (made) and Key "run.sh", a
  // program that appends "started" to <Path>/started.txt.
  PackageRecord& AddPackage(const PackageSpec& spec);
  void SaveCatalogueFile();
  PackageCatalogue LoadCatalogueFile() const;
  std::string AppFolder(const std::string& name) const;

  void WriteScript(const std::string& name, const std::string& build, const std::string& file,
                   const std::string& command);
  void WriteSetup(const std::string& name, const std::string& build, bool runnable = true);
  // A tar archive of the given files (name and text), made by the real tar, in
  // <name>/updates/<archive>; compressed with the real bzip2 when the name ends in ".bz2".
  void MakeArchive(const std::string& name, const std::string& archive,
                   const std::vector<std::pair<std::string, std::string>>& files);

  PassHooks RecordingHooks();
  PackagePass MakePass(const std::string& selector, bool quiet = false, bool restart = false,
                       bool appStart = false);
  void RunPass(const std::string& selector, bool quiet = false, bool restart = false);

  std::vector<std::string> LogLines() const;  // without time stamps
  // How often the package's program was started; waits for `atLeast` starts.
  int StartCount(const std::string& name, int atLeast = 0) const;

  ScopedSystemRoot root;
  TempDir programFolder;
  RecordingFront front;
  PackageCatalogue catalogue;
  std::vector<std::string> events;  // "sleep <ms>", "shutdown", "logmsg <n>:<text>"
  std::string moduleFile;
  std::string savedFolder;
};

}  // namespace vornix::testing
