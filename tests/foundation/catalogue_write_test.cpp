// The exact bytes of WinApps.XML as the programs write it, and the safety of the rewrite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/path.h"
#include "testing/support/test_support.h"
#include "tests/foundation/catalogue_test_util.h"

namespace vornix {
namespace {

using testing::PackageXml;
using testing::ReadFileBytes;
using testing::ReadFromText;
using testing::TempDir;
using testing::WriteFileBytes;

PackageCatalogue OneFreshServiceRecord() {
  PackageCatalogue cat;
  cat.count = 1;
  cat.records[0].Name.assign("vornet");
  cat.records[0].Desc.assign("Vornix");
  cat.records[0].Path.assign("/opt/vornix");
  cat.records[0].Key.assign("Vornix");
  return cat;
}

TEST(CatalogueWrite, EmptyCatalogueIsTwoLines) {
  PackageCatalogue cat;
  EXPECT_EQ(FormatCatalogue(cat, true), "<WinApps>\r\n</WinApps>\r\n");
  EXPECT_EQ(FormatCatalogue(cat, false), "<WinApps></WinApps>");
}

TEST(CatalogueWrite, FreshServiceRecordIsTenCrLfLines) {
  EXPECT_EQ(FormatCatalogue(OneFreshServiceRecord(), true),
            "<WinApps>\r\n"
            " <Package>\r\n"
            "  <Name>vornet</Name>\r\n"
            "  <Desc>Vornix</Desc>\r\n"
            "  <Build></Build>\r\n"
            "  <Update></Update>\r\n"
            "  <Path>/opt/vornix</Path>\r\n"
            "  <Key>Vornix</Key>\r\n"
            " </Package>\r\n"
            "</WinApps>\r\n");
}

TEST(CatalogueWrite, FullWidthFieldsDoNotRunIntoTheNextAndValuesAreNotEscaped) {
  PackageCatalogue cat;
  cat.count = 1;
  cat.records[0].Name.assign("abcdefghijklmnop");
  cat.records[0].Desc.assign("A & B > C");
  const std::string text = FormatCatalogue(cat, true);
  EXPECT_NE(text.find("  <Name>abcdefghijkl</Name>\r\n  <Desc>A & B > C</Desc>\r\n"),
            std::string::npos);
}

TEST(CatalogueWrite, RoundTripDropsDeclarationTrailingTextAndPackagesPast128) {
  std::string text = "<?xml version=\"1.0\"?>\r\n<WinApps>\r\n";
  for (int i = 0; i < 130; ++i)
    text += PackageXml("p" + std::to_string(i), "D", "b", "u", "/p", "k");
  text += "</WinApps>\r\ntrailing words\r\n";
  const auto cat = ReadFromText(text);
  const std::string rewritten = FormatCatalogue(cat, true);
  EXPECT_EQ(rewritten.rfind("<WinApps>\r\n", 0), 0u);
  EXPECT_EQ(rewritten.find("trailing"), std::string::npos);
  EXPECT_EQ(rewritten.find("p128"), std::string::npos);
  // What the writer prints reads back to the same table and the same bytes.
  const auto again = ReadFromText(rewritten);
  EXPECT_EQ(again.count, 128);
  EXPECT_EQ(FormatCatalogue(again, true), rewritten);
}

size_t EntryCount(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                           std::filesystem::directory_iterator()));
}

// The catalogue reached through a link, owned by the service's user: a rewrite by root keeps
// owner, group and mode, replaces the link's target and keeps the link.
TEST(CatalogueSave, WritesTheExactBytesAndKeepsOwnerModeAndLink) {
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

// A folder that its user may not write, holding a catalogue that user may: rewritten in place.
TEST(CatalogueSave, AFileInAFolderThatMayNotBeWrittenIsRewrittenInPlace) {
  TempDir dir;
  const std::string folder = dir / "windows", path = folder + "/WinApps.XML";
  WriteFileBytes(path, "old catalogue, longer than the new one will be" + std::string(600, '.'));
  testing::HandToUnprivileged(folder, dir.path());
  chmod(folder.c_str(), 0555);
  EXPECT_EQ(
      testing::RunInChild([&] { return SaveCatalogue(path, OneFreshServiceRecord()); }, {true}), 0);
  EXPECT_EQ(ReadFileBytes(path), FormatCatalogue(OneFreshServiceRecord(), true));
}

// Temporary files of rewrites that were killed go at the next rewrite; one that a live writer
// holds, or that is not ours, stays.
TEST(CatalogueSave, LeftoversOfKilledRewritesGoAtTheNextRewrite) {
  TempDir dir;
  for (const char* name : {".tmp-a1B2c3", ".tmp-Live99", ".tmp-notes.txt"}) {
    WriteFileBytes(dir / name, "x");
    testing::MakeOld(dir / name);
  }
  const int live = open((dir / ".tmp-Live99").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(live, LOCK_EX), 0);
  ASSERT_TRUE(SaveCatalogue(dir / "WinApps.XML", OneFreshServiceRecord()));
  close(live);
  EXPECT_FALSE(testing::PathExists(dir / ".tmp-a1B2c3"));
  EXPECT_TRUE(testing::PathExists(dir / ".tmp-Live99"));
  EXPECT_TRUE(testing::PathExists(dir / ".tmp-notes.txt"));
}

// Runs `body` in a child process whose files may not grow past `limit` bytes: the disk is full
// for it, whoever runs the test (root included).
template <typename Body>
int InChildWithFileSizeLimit(rlim_t limit, Body body) {
  return testing::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    rlimit r{limit, limit};
    setrlimit(RLIMIT_FSIZE, &r);
    return body();
  });
}

PackageCatalogue FullCatalogue() {
  PackageCatalogue cat;
  cat.count = PackageCatalogue::kMaxPackages;
  for (auto& r : cat.records) {
    r.Name.assign(std::string(12, 'n'));
    r.Path.assign(std::string(256, 'p'));
  }
  return cat;
}

TEST(CatalogueSave, ADiskFullMidWriteLeavesTheOldCatalogueWhole) {
  TempDir dir;
  const std::string path = dir / "WinApps.XML";
  const std::string old = "<WinApps>\r\n" + PackageXml("keep") + "</WinApps>\r\n";
  WriteFileBytes(path, old);
  const int result =
      InChildWithFileSizeLimit(4096, [&] { return SaveCatalogue(path, FullCatalogue()); });
  EXPECT_EQ(result, 1) << "the save must report the failure";
  EXPECT_EQ(ReadFileBytes(path), old);
  EXPECT_EQ(EntryCount(dir.path()), 1u) << "the temporary file must be removed";
}

TEST(CatalogueSave, ACatalogueThatIsNotAWritableFileStaysUntouched) {
  TempDir dir;
  const std::string blocked = dir / "WinApps.XML";
  std::filesystem::create_directory(blocked);  // unusable for root as well
  EXPECT_FALSE(SaveCatalogue(blocked, OneFreshServiceRecord()));
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_FALSE(SaveCatalogue(dir / "missing-folder/WinApps.XML", OneFreshServiceRecord()));
}

}  // namespace
}  // namespace vornix
