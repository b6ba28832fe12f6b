// A catalogue rewrite killed with SIGKILL at any moment leaves a catalogue that reads whole:
// the old one or the new one, never a part.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "common/catalogue.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

PackageCatalogue Catalogue(int count, char fill) {
  PackageCatalogue cat;
  cat.count = count;
  for (int i = 0; i < count; ++i) {
    auto& r = cat.records[static_cast<size_t>(i)];
    r.Name.assign("p" + std::to_string(i));
    r.Path.assign(std::string(200, fill));
    r.Key.assign("k");
  }
  return cat;
}

TEST(CatalogueKill, EveryKilledRewriteLeavesAWholeCatalogue) {
  testing::TempDir dir;
  const std::string path = dir / "WinApps.XML";
  const PackageCatalogue small = Catalogue(3, 'a'), large = Catalogue(128, 'b');
  const std::string smallText = FormatCatalogue(small, true),
                    largeText = FormatCatalogue(large, true);
  ASSERT_TRUE(SaveCatalogue(path, small));

  std::mt19937 random(12345);
  constexpr int kKills = 200;
  int sawSmall = 0, sawLarge = 0;
  for (int round = 0; round < kKills; ++round) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0;; ++i) SaveCatalogue(path, (i % 2) ? small : large);
    }
    // Somewhere inside one of the rewrites: they take about a millisecond each.
    usleep(200 + random() % 3000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);

    const std::string text = testing::ReadFileBytes(path);
    ASSERT_TRUE(text == smallText || text == largeText)
        << "round " << round << ": a catalogue of " << text.size() << " bytes";
    PackageCatalogue read;
    ASSERT_TRUE(LoadCatalogue(path, read));
    ASSERT_TRUE(read.count == 3 || read.count == 128);
    (read.count == 3 ? sawSmall : sawLarge)++;
  }
  // Both versions were seen, so the kills really fell between and during rewrites.
  EXPECT_GT(sawSmall, 0);
  EXPECT_GT(sawLarge, 0);
  // Temporary files of killed rewrites may stay behind, but never in the catalogue's name.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_TRUE(entry.path().filename() == "WinApps.XML" ||
                entry.path().filename().string().rfind(".tmp-", 0) == 0);
}

}  // namespace
}  // namespace vornix
