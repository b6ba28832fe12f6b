// Files that are not files: a FIFO where a shared file belongs reads as missing, and nothing
// waits on it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "common/activity_log.h"
#include "common/catalogue.h"
#include "common/identity.h"
#include "common/package_markers.h"
#include "platform/path.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "service/core/file_checksum.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

TEST(FilesThatAreNotFiles, AFifoInAFilesPlaceReadsAsMissingWithoutBlocking) {
  testing::ScopedSystemRoot root;
  const std::string fifo = root.path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string settings = RegistryKey::KeyFilePath(SettingsKey());
  ASSERT_TRUE(MakeFolders(FolderWithSlash(settings)));
  ASSERT_EQ(mkfifo(settings.c_str(), 0644), 0);

  const std::pair<const char*, std::function<bool()>> readers[] = {
      {"catalogue",
       [&] {
         PackageCatalogue c;
         return !LoadCatalogue(fifo, c);
       }},
      {"catalogue rewrite", [&] { return !SaveCatalogue(fifo, PackageCatalogue()); }},
      {"UPDATE.XML", [&] { return ReadUpdateXml(fifo).Build.empty(); }},
      {"SETUP.VER", [&] { return ReadSetupVer(fifo).empty(); }},
      {"settings", [] { return !RegistryKey::Open(SettingsKey(), kKeyRead); }},
      {"avclient.ini", [&] { return ReadProfileString(fifo, "SERVER", "x", "", 128).empty(); }},
      {"downloaded file", [&] { return !FileChecksum(fifo); }},
      {"log",
       [&] {
         ActivityLog log({"fifo", "trace"});
         log.OpenLogIn(root.path() + "/");
         return log.WriteLogLine("a line nobody reads");
       }},
  };
  for (const auto& [what, read] : readers)
    EXPECT_EQ(testing::RunInChild(read, {false, std::chrono::seconds(3)}), 0) << what;
}

}  // namespace
}  // namespace vornix
