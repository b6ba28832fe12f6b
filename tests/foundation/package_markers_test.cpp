#include "common/package_markers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/protocol.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

TEST(PackageFolders, AreBuiltBelowTheProgramFolder) {
  EXPECT_EQ(PackageFolder("/opt/vornix/", "qorax"), "/opt/vornix/qorax");
  EXPECT_EQ(UpdatesFolder("/opt/vornix/qorax"), "/opt/vornix/qorax/updates");
}

TEST(SetupVer, HoldsExactlyTheBuild) {
  TempDir dir;
  ASSERT_TRUE(WriteSetupVer(dir / "SETUP.VER", "2.0.0.5"));
  EXPECT_EQ(ReadFileBytes(dir / "SETUP.VER"), "2.0.0.5");
  ASSERT_TRUE(WriteSetupVer(dir / "SETUP.VER", "7"));
  EXPECT_EQ(ReadFileBytes(dir / "SETUP.VER"), "7");
  EXPECT_EQ(ReadSetupVer(dir / "SETUP.VER"), "7");
}

TEST(SetupVer, MissingFileReadsAsEmpty) {
  TempDir dir;
  EXPECT_EQ(ReadSetupVer(dir / "SETUP.VER"), "");
}

TEST(SetupVer, ReaderTakesTheFirst128BytesUpToANul) {
  TempDir dir;
  const std::string long200(200, 'b');
  WriteFileBytes(dir / "SETUP.VER", long200);
  EXPECT_EQ(ReadSetupVer(dir / "SETUP.VER"), long200.substr(0, 128));
  WriteFileBytes(dir / "SETUP.VER", std::string("3.1\0junk", 8));
  EXPECT_EQ(ReadSetupVer(dir / "SETUP.VER"), "3.1");
}

TEST(SetupVer, UnwritableMarkerIsReportedAndLeftAsItWas) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
  TempDir dir;
  WriteFileBytes(dir / "SETUP.VER", "old");
  chmod((dir / "SETUP.VER").c_str(), 0444);
  EXPECT_FALSE(WriteSetupVer(dir / "SETUP.VER", "new"));
  EXPECT_EQ(ReadFileBytes(dir / "SETUP.VER"), "old");
}

TEST(SetupVer, MarkerInAMissingFolderIsReported) {
  TempDir dir;
  EXPECT_FALSE(WriteSetupVer(dir / "none/SETUP.VER", "1"));
}

TEST(UpdateXml, IsThreeCrLfLines) {
  TempDir dir;
  ASSERT_TRUE(WriteUpdateXml(dir / "UPDATE.XML", {"u12", "patch.tbz", "qorax -reload"}));
  EXPECT_EQ(ReadFileBytes(dir / "UPDATE.XML"),
            "<Build>u12</Build>\r\n<FileName>patch.tbz</FileName>\r\n"
            "<UpdateCmd>qorax -reload</UpdateCmd>\r\n");
}

TEST(UpdateXml, EmptyCommandStillHasItsLine) {
  TempDir dir;
  ASSERT_TRUE(WriteUpdateXml(dir / "UPDATE.XML", {"1", "p.tbz", ""}));
  EXPECT_EQ(ReadFileBytes(dir / "UPDATE.XML"),
            "<Build>1</Build>\r\n<FileName>p.tbz</FileName>\r\n<UpdateCmd></UpdateCmd>\r\n");
  const UpdateMarker back = ReadUpdateXml(dir / "UPDATE.XML");
  EXPECT_EQ(back.Build, "1");
  EXPECT_EQ(back.FileName, "p.tbz");
  EXPECT_EQ(back.UpdateCmd, "");
}

TEST(UpdateXml, ReaderTakesTheFirst1024Bytes) {
  TempDir dir;
  WriteFileBytes(dir / "UPDATE.XML",
                 "<Build>9</Build>" + std::string(994, ' ') + "<FileName>late.tbz</FileName>");
  const UpdateMarker back = ReadUpdateXml(dir / "UPDATE.XML");
  EXPECT_EQ(back.Build, "9");
  EXPECT_EQ(back.FileName, "late");  // the file name's tail lies beyond the first 1024 bytes
}

TEST(UpdateXml, MissingFileOrElementReadsAsEmpty) {
  TempDir dir;
  EXPECT_EQ(ReadUpdateXml(dir / "UPDATE.XML").Build, "");
  WriteFileBytes(dir / "UPDATE.XML", "<FileName>x</FileName>\r\n");
  const UpdateMarker back = ReadUpdateXml(dir / "UPDATE.XML");
  EXPECT_EQ(back.Build, "");
  EXPECT_EQ(back.FileName, "x");
}

TEST(UpdateXml, ReaderCutsLongValuesToTheirCapacity) {
  TempDir dir;
  WriteFileBytes(dir / "UPDATE.XML", "<Build>" + std::string(40, '7') + "</Build>\r\n");
  EXPECT_EQ(ReadUpdateXml(dir / "UPDATE.XML").Build, std::string(31, '7'));
}

TEST(PlainFileName, AcceptsOneNameInAFolder) {
  EXPECT_TRUE(IsPlainFileName("patch.tbz"));
  EXPECT_TRUE(IsPlainFileName("a b&c.tar.bz2"));
  EXPECT_TRUE(IsPlainFileName(".hidden"));
}

TEST(PlainFileName, RefusesPathsAndOptionLikeNames) {
  EXPECT_FALSE(IsPlainFileName(""));
  EXPECT_FALSE(IsPlainFileName("."));
  EXPECT_FALSE(IsPlainFileName(".."));
  EXPECT_FALSE(IsPlainFileName("../x"));
  EXPECT_FALSE(IsPlainFileName("a/b"));
  EXPECT_FALSE(IsPlainFileName("/etc/passwd"));
  EXPECT_FALSE(IsPlainFileName("a\\b"));
  EXPECT_FALSE(IsPlainFileName("-rf"));
}

}  // namespace
}  // namespace vornix
