// WinApps.XML: what the tag scanner keeps, drops and stops at; the exact bytes the programs
// write; and a rewrite that loses nothing, whatever happens to it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "common/catalogue.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::CatalogueText;
using testing::PackageText;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

PackageCatalogue Read(const std::string& text) {
  PackageCatalogue cat;
  cat.count = 99;  // the read must clear whatever was there
  FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
  if (!in) in = std::tmpfile();  // fmemopen refuses an empty buffer
  ReadCatalogue(in, cat);
  std::fclose(in);
  return cat;
}

// What a read kept: "Name|Desc|Build|Update|Path|Key" per package, and the slot after the last
// one when anything was stored there.
std::string Kept(const PackageCatalogue& cat) {
  std::string out;
  for (int i = 0; i <= cat.count && i < PackageCatalogue::kMaxPackages; ++i) {
    const PackageRecord& r = cat.records[i];
    const std::string line = r.Name.str() + "|" + r.Desc.str() + "|" + r.Build.str() + "|" +
                             r.Update.str() + "|" + r.Path.str() + "|" + r.Key.str();
    if (i < cat.count || line != "|||||") out += (i < cat.count ? "" : "after: ") + line + "\n";
  }
  return out;
}

TEST(CatalogueRead, TheScannerKeepsDropsAndStopsByItsRules) {
  const std::string tag1021 = "<" + std::string(1019, 'a') + ">";  // the longest that counts
  const std::string tag1022 = "<" + std::string(1020, 'a') + ">";
  const struct {
    const char* what;
    std::string text;
    std::string kept;
  } cases[] = {
      {"well-formed", CatalogueText(PackageText({"qorax", "Qorax", "7"}) + PackageText({"vornet"})),
       "qorax|Qorax|7||/p|k\nvornet|D|||/p|k\n"},
      {"declaration, letter case, text between elements",
       "<?xml version=\"1.0\"?>\r\n<WINAPPS>stray<PACKAGE>junk<name>a</NAME>x<KEY>k</key>"
       "</package></winapps>",
       "a|||||k\n"},
      {"fields cut to their width",
       "<WinApps>" + PackageText({"abcdefghijklmn", std::string(60, 'd'), std::string(40, 'b')}),
       "abcdefghijkl|" + std::string(52, 'd') + "|" + std::string(32, 'b') + "||/p|k\n"},
      {"blanks kept, lines joined, references kept",
       "<WinApps><Package><Name> v </Name><Desc>Two\r\nLines</Desc><Build>&#60;b&#62;</Build>"
       "<Key>k</Key>",
       " v |TwoLines|&#60;b&#62;|||k\n"},
      {"a quoted \"<\" is dropped", "<WinApps>" + PackageText({"q", "Say \"a<b\" now"}),
       "q|Say \"ab\" now|||/p|k\n"},
      {"<winapps> inside a quoted attribute",
       "<meta note=\"<winapps>\">" + PackageText({"early"}) + "<WinApps>" + PackageText({"late"}),
       "late|D|||/p|k\n"},
      {"tags with blanks, attributes or a slash",
       "<WinApps><Package><Name>a</Name><Desc/><Desc x=\"1\">no</Desc><Key >k1</Key>"
       "<Key>k2</Key>",
       "a|||||k2\n"},
      {"a package without Key",
       "<WinApps><Package><Name>nokey</Name><Build>9</Build></Package>"
       "<Package><Name>next</Name><Key>k</Key></Package>",
       "next|||||k\n"},
      {"cut off by the end of the file",
       ("<WinApps>" + PackageText({"one"}) + PackageText({"two"})).substr(0, 200),
       "one|D|||/p|k\nafter: two|D||||\n"},
      {"nothing after </WinApps>",
       "<WinApps>" + PackageText({"a"}) + "</WinApps>" + PackageText({"b"}), "a|D|||/p|k\n"},
      {"nothing before <WinApps>", PackageText({"outside"}) + "<WinApps>" + PackageText({"inside"}),
       "inside|D|||/p|k\n"},
      {"empty", "", ""},
      // A tag that matches nothing leaves the open Key taking what follows it: stored again,
      // counted again. One character longer, and the tail past 1021 is read as content.
      {"a tag of 1021", "<WinApps><Package><Name>n</Name><Key>k1" + tag1021 + "k2</Key>",
       "n|||||k1\n|||||k2\n"},
      {"a tag of 1022", "<WinApps><Package><Name>n" + tag1022 + "</Name><Key>k</Key>", ">|||||k\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Kept(Read(c.text)), c.kept) << c.what;

  std::string many = "<WinApps>";
  for (int i = 0; i < 130; ++i) many += PackageText({"p" + std::to_string(i)});
  const PackageCatalogue full = Read(many);
  EXPECT_EQ(full.count, 128);
  EXPECT_EQ(full.records[127].Name.str(), "p127");
}

TEST(CatalogueRead, LookupsFollowTheirCaseRuleAndTheFieldWidth) {
  const PackageCatalogue cat = Read("<WinApps>" + PackageText({"qorax"}) + PackageText({"QORAX"}) +
                                    PackageText({"abcdefghijklmn"}));
  EXPECT_EQ(FindPackage(cat, "QORAX", NameCase::kIgnored), 0);
  EXPECT_EQ(FindPackage(cat, "QORAX", NameCase::kSignificant), 1);
  EXPECT_EQ(FindPackage(cat, "Qorax", NameCase::kSignificant), -1);
  EXPECT_EQ(FindPackage(cat, "qora", NameCase::kIgnored), -1);
  EXPECT_EQ(FindPackage(cat, "abcdefghijkl", NameCase::kSignificant), 2);
  EXPECT_EQ(FindPackage(cat, "abcdefghijklmn", NameCase::kSignificant), -1);
  PackageCatalogue missing;
  missing.count = 3;
  EXPECT_FALSE(LoadCatalogue("/nonexistent/WinApps.XML", missing));
  EXPECT_EQ(missing.count, 0);
}

PackageCatalogue OneFreshServiceRecord() {
  PackageCatalogue cat;
  cat.count = 1;
  cat.records[0].Name.assign("vornet");
  cat.records[0].Desc.assign("Vornix");
  cat.records[0].Path.assign("/opt/vornix");
  cat.records[0].Key.assign("Vornix");
  return cat;
}

TEST(CatalogueWrite, PrintsTheExactLinesAndReadsBackToTheSameBytes) {
  EXPECT_EQ(FormatCatalogue(PackageCatalogue(), true), "<WinApps>\r\n</WinApps>\r\n");
  EXPECT_EQ(FormatCatalogue(PackageCatalogue(), false), "<WinApps></WinApps>");
  EXPECT_EQ(FormatCatalogue(OneFreshServiceRecord(), true),
            "<WinApps>\r\n <Package>\r\n  <Name>vornet</Name>\r\n  <Desc>Vornix</Desc>\r\n"
            "  <Build></Build>\r\n  <Update></Update>\r\n  <Path>/opt/vornix</Path>\r\n"
            "  <Key>Vornix</Key>\r\n </Package>\r\n</WinApps>\r\n");
  // A full-width field does not run into the next; values are not escaped.
  PackageCatalogue wide;
  wide.count = 1;
  wide.records[0].Name.assign("abcdefghijklmnop");
  wide.records[0].Desc.assign("A & B > C");
  EXPECT_NE(FormatCatalogue(wide, true)
                .find("  <Name>abcdefghijkl</Name>\r\n  <Desc>A & B > C</Desc>\r\n"),
            std::string::npos);
  // The declaration, trailing text and packages past the 128th go; the rest reads back whole.
  std::string text = "<?xml version=\"1.0\"?>\r\n<WinApps>\r\n";
  for (int i = 0; i < 130; ++i) text += PackageText({"p" + std::to_string(i), "D", "b"});
  const std::string rewritten = FormatCatalogue(Read(text + "</WinApps>\r\ntrailing"), true);
  EXPECT_EQ(rewritten.rfind("<WinApps>\r\n", 0), 0u);
  EXPECT_EQ(rewritten.find("trailing"), std::string::npos);
  EXPECT_EQ(rewritten.find("p128"), std::string::npos);
  EXPECT_EQ(FormatCatalogue(Read(rewritten), true), rewritten);
}

size_t EntryCount(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                           std::filesystem::directory_iterator()));
}

// The catalogue reached through a link, owned by the service's user: a rewrite by root keeps
// owner, group and mode, replaces the link's target and keeps the link.
TEST(CatalogueSave, KeepsOwnerModeAndLinkAndLeavesNothingBeside) {
  TempDir dir;
  const std::string real = dir / "data/WinApps.XML", link = dir / "WinApps.XML";
  WriteFileBytes(real, "old");
  chmod(real.c_str(), 0640);
  const bool root = geteuid() == 0;
  if (root) chown(real.c_str(), testing::kUnprivilegedId, testing::kUnprivilegedId);
  ASSERT_EQ(symlink("data/WinApps.XML", link.c_str()), 0);
  ASSERT_TRUE(SaveCatalogue(link, OneFreshServiceRecord()));
  EXPECT_EQ(ReadFileBytes(real), FormatCatalogue(OneFreshServiceRecord(), true));
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, testing::kUnprivilegedId);
    EXPECT_EQ(st.st_gid, testing::kUnprivilegedId);
  }
  EXPECT_EQ(EntryCount(dir / "data"), 1u) << "no temporary file is left beside it";
}

// A folder its user may not write, holding a catalogue that user may: rewritten in place. A
// catalogue that is no writable file, or whose folder is missing, is left alone.
TEST(CatalogueSave, RewritesInPlaceWhereNothingNewCanBeMadeAndLeavesTheUnwritableAlone) {
  TempDir dir;
  const std::string folder = dir / "windows", path = folder + "/WinApps.XML";
  WriteFileBytes(path, "old catalogue, longer than the new one" + std::string(600, '.'));
  testing::HandToUnprivileged(folder, dir.path());
  chmod(folder.c_str(), 0555);
  EXPECT_EQ(
      testing::RunInChild([&] { return SaveCatalogue(path, OneFreshServiceRecord()); }, {true}), 0);
  EXPECT_EQ(ReadFileBytes(path), FormatCatalogue(OneFreshServiceRecord(), true));

  const std::string blocked = dir / "WinApps.XML";
  std::filesystem::create_directory(blocked);  // unusable for root as well
  EXPECT_FALSE(SaveCatalogue(blocked, OneFreshServiceRecord()));
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_FALSE(SaveCatalogue(dir / "missing-folder/WinApps.XML", OneFreshServiceRecord()));
}

// In a child whose files may not grow past 4096 bytes the disk is full, for root as well.
TEST(CatalogueSave, ADiskFullMidWriteLeavesTheOldCatalogueWhole) {
  TempDir dir;
  const std::string path = dir / "WinApps.XML";
  const std::string old = CatalogueText(PackageText({"keep"}));
  WriteFileBytes(path, old);
  PackageCatalogue large;
  large.count = PackageCatalogue::kMaxPackages;
  for (auto& r : large.records) r.Path.assign(std::string(256, 'p'));
  EXPECT_EQ(testing::RunInChild([&] {
              signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
              rlimit limit{4096, 4096};
              setrlimit(RLIMIT_FSIZE, &limit);
              return SaveCatalogue(path, large);
            }),
            1)
      << "the save must report the failure";
  EXPECT_EQ(ReadFileBytes(path), old);
  EXPECT_EQ(EntryCount(dir.path()), 1u) << "the temporary file must be removed";
}

// Rewrites killed at random moments leave the old catalogue or the new one, byte for byte; their
// temporary files go at the next rewrite, but never one that a live writer holds, nor a file
// that is not ours.
TEST(CatalogueSave, EveryKilledRewriteLeavesAWholeCatalogueAndItsLeftoversGo) {
  TempDir dir;
  const std::string path = dir / "WinApps.XML";
  PackageCatalogue small = OneFreshServiceRecord(), large;
  large.count = PackageCatalogue::kMaxPackages;
  for (auto& r : large.records) r.Name.assign("b");
  const std::string smallText = FormatCatalogue(small, true),
                    largeText = FormatCatalogue(large, true);
  // The kills are spread over twice the time a child takes to start and finish one rewrite
  // here, which a sanitizer or a busy disk can stretch well past its usual millisecond.
  long span = 0;
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) _exit(SaveCatalogue(path, small) ? 0 : 1);
    waitpid(pid, nullptr, 0);
    span = std::max<long>(span, std::chrono::duration_cast<std::chrono::microseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count());
  }
  std::mt19937 random(12345);
  int sawSmall = 0, sawLarge = 0;
  for (int round = 0; round < 200 || ((!sawSmall || !sawLarge) && round < 2000); ++round) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0;; ++i) SaveCatalogue(path, (i % 2) ? small : large);
    }
    usleep(static_cast<useconds_t>(random() % (2 * span)));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    const std::string text = ReadFileBytes(path);
    ASSERT_TRUE(text == smallText || text == largeText) << "round " << round;
    (text == smallText ? sawSmall : sawLarge)++;
  }
  EXPECT_GT(sawSmall, 0);
  EXPECT_GT(sawLarge, 0);

  for (const char* name : {".tmp-Live99", ".tmp-notes.txt"}) WriteFileBytes(dir / name, "x");
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    testing::MakeOld(entry.path());
  const int live = open((dir / ".tmp-Live99").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(live, LOCK_EX), 0);
  ASSERT_TRUE(SaveCatalogue(path, small));
  close(live);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".tmp-Live99", ".tmp-notes.txt", "WinApps.XML"}));
}

}  // namespace
}  // namespace vornix
