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
#include "common/catalogue_edit.h"
#include "platform/named_mutex.h"
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
  ReadCatalogue(text, cat);
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

// Catalogues as people and programs leave them, generated: well-formed packages with long
// values, other line ends, more than 128 of them, and now and then what the reader cannot
// place (a lone quote, markup in a value, a missing Key, text outside the elements).
struct Generated {
  std::string text;
  bool wellFormed = true;
};
Generated GenerateCatalogue(std::mt19937& random) {
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto value = [&](int longest) {
    std::string v(static_cast<size_t>(pick(longest + 1)), 'a');
    for (char& c : v) c = "abcXYZ 019._/-&;"[pick(16)];
    return v;
  };
  Generated g;
  const bool crlf = pick(4) != 0;
  if (pick(5) == 0) g.text += "<?xml version=\"1.0\"?>\n";
  g.text += "<WinApps>";
  const int count = pick(8) == 0 ? 120 + pick(90) : pick(6);
  for (int i = 0; i < count; ++i) {
    std::string package = PackageText({"p" + std::to_string(i) + value(11), value(60), value(35),
                                       value(35), value(300), value(34)});
    if (!crlf)
      for (size_t at; (at = package.find('\r')) != std::string::npos;) package.erase(at, 1);
    g.text += package;
    if (pick(12) == 0) {
      const char* odd[] = {"\"",
                           "<b>x</b>",
                           "stray text",
                           "<Package><Name>nokey</Name></Package>",
                           "<Desc>a\"b\"c</Desc>",
                           "<Key>k"};
      const int which = pick(6);
      g.text.insert(g.text.size() - 12 - pick(20), odd[which]);
      g.wellFormed = false;
    }
  }
  if (pick(6) != 0) g.text += std::string("</WinApps>") + (pick(3) == 0 ? "\r\ntrailing" : "\r\n");
  return g;
}

// Whether `after` is `before` with one run of bytes replaced by `inserted`.
bool OneRunReplaced(const std::string& before, const std::string& after,
                    const std::string& inserted) {
  size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
    ++prefix;
  size_t suffix = 0;
  while (suffix < before.size() && suffix < after.size() &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
    ++suffix;
  for (size_t at = prefix >= inserted.size() ? prefix - inserted.size() : 0; at <= prefix; ++at) {
    const size_t tail = after.size() - std::min(after.size(), at + inserted.size());
    if (after.compare(at, inserted.size(), inserted) == 0 && tail <= suffix &&
        at + inserted.size() + tail == after.size() && tail <= before.size() &&
        after.compare(0, at, before, 0, at) == 0)
      return true;
  }
  return false;
}

// Read, change one value (or add the service's package), write: every other byte of the file
// is as it was, and the file reads back as changed; or the writer refuses, which it may only do
// for a file the reader cannot place or a value the format cannot hold.
TEST(CatalogueEdit, ChangesOneValueAndKeepsEveryOtherByteOrRefuses) {
  std::mt19937 random(20261207);
  int refused = 0, written = 0;
  for (int round = 0; round < 3000; ++round) {
    const Generated g = GenerateCatalogue(random);
    const CatalogueScan scan = ScanCatalogue(g.text, static_cast<size_t>(-1));
    PackageCatalogue table = Read(g.text), after = table;
    std::string inserted;
    bool plainValue = true;
    if (table.count > 0 && random() % 4 != 0) {
      const int field = static_cast<int>(random() % kCatalogueFieldCount);
      std::string v = "new" + std::to_string(round);
      if (random() % 10 == 0) v += random() % 2 ? "\"" : "<i>";
      plainValue = v.find_first_of("\"<") == std::string::npos;
      SetFieldValue(after.records[random() % static_cast<unsigned>(table.count)], field, v);
    } else if (!table.full()) {
      PackageRecord& added = after.records[after.count++];
      added = PackageRecord();
      added.Name.assign("vornet"), added.Path.assign("/opt/vornix"), added.Key.assign("Vornix");
      inserted = FormatPackage(added, true);
    }
    const std::optional<std::string> out = RewriteCatalogueText(g.text, scan, after);
    SCOPED_TRACE(g.text);
    if (!out) {
      ++refused;
      EXPECT_FALSE(g.wellFormed && plainValue) << "a well-formed file and a plain value";
      continue;
    }
    ++written;
    EXPECT_EQ(FormatCatalogue(Read(*out), true), FormatCatalogue(after, true));
    if (*out != g.text && after.count == table.count) {
      // The run that changed holds the new value, cut to its width, or its whole element.
      bool one = false;
      for (int f = 0; f < kCatalogueFieldCount && !one; ++f)
        for (int i = 0; i < after.count && !one; ++i) {
          const std::string v(FieldValue(after.records[i], f));
          if (v == FieldValue(table.records[i], f)) continue;
          const std::string e(FieldElement(f));
          one = OneRunReplaced(g.text, *out, v) ||
                OneRunReplaced(g.text, *out, "<" + e + ">" + v + "</" + e + ">");
        }
      EXPECT_TRUE(one);
    } else if (*out != g.text && g.text.find_first_not_of(" \r\n") != std::string::npos) {
      EXPECT_TRUE(OneRunReplaced(g.text, *out, inserted));
    }
  }
  EXPECT_GT(written, 2000);
  EXPECT_GT(refused, 10);
}

// A value whose element the package does not have goes in as that element, just before its Key;
// one whose element holds markup on one line (a comment) replaces the whole content, so that no
// old text is left beside it; the rest stays as it was, however the file was written.
TEST(CatalogueEdit, AFieldThePackageLacksGoesInBeforeItsKeyAndAValueReplacesItsWholeElement) {
  testing::ScopedSystemRoot root;
  const std::string start = "<WinApps><Package><Name>a</Name>", end = "</Package></WinApps>";
  const std::pair<std::string, std::string> cases[] = {
      {"<Key>k</Key>", "<Update>2</Update><Key>k</Key>"},
      {"<Update>1 <!-- pinned --></Update><Key>k</Key>", "<Update>2</Update><Key>k</Key>"},
      {"<Update>1\r\n<!-- pinned --></Update><Key>k</Key>",
       "<Update>1\r\n<!-- pinned -->2</Update><Key>k</Key>"}};
  for (const auto& [before, after] : cases) {
    WriteFileBytes(root.Catalogue(), start + before + end);
    EXPECT_EQ(EditCatalogue([](PackageCatalogue& c) {
                c.records[0].Update.assign("2");
                return true;
              }),
              "");
    EXPECT_EQ(ReadFileBytes(root.Catalogue()), start + after + end);
  }
}

// Writers in eight processes at once, each recording its own package many times: the lock
// and the read under it keep every one of their changes; a writer that cannot have the lock
// in time writes nothing and says so.
TEST(CatalogueEdit, WritersAtOnceKeepEachOthersChanges) {
  testing::ScopedSystemRoot root;
  std::string packages;
  for (int i = 0; i < 8; ++i) packages += PackageText({"p" + std::to_string(i)});
  WriteFileBytes(root.Catalogue(), CatalogueText(packages));
  std::vector<pid_t> writers;
  for (int w = 0; w < 8; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int round = 1; round <= 20; ++round) {
        const std::string problem = EditCatalogue([&](PackageCatalogue& c) {
          c.records[static_cast<size_t>(w)].Update.assign(std::to_string(round));
          return true;
        });
        if (!problem.empty()) _exit(1);
      }
      _exit(0);
    }
    writers.push_back(pid);
  }
  for (const pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  PackageCatalogue after;
  ASSERT_TRUE(LoadCatalogue(root.Catalogue(), after));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(after.records[i].Update.view(), "20") << i;

  WaitedLock holder(kCatalogueLockName, 1000);
  ASSERT_TRUE(holder.held());
  const std::string before = ReadFileBytes(root.Catalogue());
  EXPECT_EQ(testing::RunInChild([&] {
              return EditCatalogue(
                         [](PackageCatalogue& c) { return c.records[0].Build.assign("x"), true; },
                         200) == "the catalogue " + root.Catalogue() +
                                     " is being changed by another program (waited 0.2 s)";
            }),
            0);
  EXPECT_EQ(ReadFileBytes(root.Catalogue()), before);
}

}  // namespace
}  // namespace vornix
