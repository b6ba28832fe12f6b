// What the client says to the server and how it reads the answers, byte for byte; and the marker
// files SETUP.VER and UPDATE.XML, read with the same rules.
#include "common/protocol.h"

#include <gtest/gtest.h>

#include "common/package_markers.h"
#include "common/package_places.h"
#include "common/server_address.h"
#include "common/settings_key.h"
#include "platform/registry.h"
#include "testing/support/http_test_server.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

TEST(Protocol, CommandDocumentsHaveTheirExactBytes) {
  EXPECT_EQ(SvrTimeCommand(), "<Cmd>SVRTIME</Cmd>");
  EXPECT_EQ(SetupInfoCommand("a<&>b"), "<Cmd>SETUPINFO</Cmd><ProgID>a<&>b</ProgID>");
  EXPECT_EQ(UpdateInfoCommand("qorax"), "<Cmd>UPDATEINFO</Cmd><ProgID>qorax</ProgID>");
  EXPECT_EQ(FileInfoCommand("qorax", "updates/p 1.tbz"),
            "<Cmd>FILEINFO</Cmd><ProgID>qorax</ProgID><FileName>updates/p 1.tbz</FileName>");
  EXPECT_EQ(LogMsgCommand("HOST1", "/q/setup.exe: Download Failed"),
            "<Cmd>LOGMSG</Cmd><Msg>HOST1:/q/setup.exe: Download Failed</Msg>");

  // CONFIG: the installed packages only, in catalogue order, in the catalogue's layout with
  // the markup written as references and the values as they are.
  TempDir dir;
  PackageCatalogue catalogue;
  for (const char* name : {"vornet", "gone", "abcdefghijkl"}) {
    PackageRecord& r = catalogue.records[catalogue.count++];
    r.Name.assign(name);
    r.Desc.assign(std::string(name) + " d");
    r.Update.assign("u&2");
    r.Path.assign(dir.path());
    r.Key.assign(std::string(name) + ".bin");
    if (std::string(name) != "gone") WriteFileBytes(dir / (std::string(name) + ".bin"), "x");
  }
  const auto package = [&](const std::string& name) {
    return " &#60;Package&#62;\n  &#60;Name&#62;" + name + "&#60;/Name&#62;\n  &#60;Desc&#62;" +
           name +
           " d&#60;/Desc&#62;\n  &#60;Build&#62;&#60;/Build&#62;\n  &#60;Update&#62;u&2&#60;"
           "/Update&#62;\n  &#60;Path&#62;" +
           dir.path() + "&#60;/Path&#62;\n  &#60;Key&#62;" + name +
           ".bin&#60;/Key&#62;\n &#60;/Package&#62;\n";
  };
  EXPECT_EQ(ConfigCommand("PC7", catalogue),
            "<Cmd>CONFIG</Cmd><Name>PC7</Name><Config>&#60;WinApps&#62;\n" + package("vornet") +
                package("abcdefghijkl") + "&#60;/WinApps&#62;\n</Config>");
  catalogue.count = 2;
  catalogue.records[0].Key.assign("absent");
  EXPECT_EQ(ConfigCommand("PC7", catalogue),
            "<Cmd>CONFIG</Cmd><Name>PC7</Name><Config>&#60;WinApps&#62;\n&#60;/WinApps&#62;\n"
            "</Config>");
}

TEST(Protocol, AReplyFieldIsTakenByItsExactRules) {
  const std::string forty(40, '4');
  const struct {
    std::string document;
    const char* name;
    size_t capacity;
    std::string value;
  } cases[] = {
      {"", "Error", kErrorCapacity, ""},
      {"<html><body>x <Error>OK</Error> y</body>", "Error", kErrorCapacity, "OK"},
      {"<FileName>&#60;b&#62; &#38; &amp; &lt; &#39;</FileName>", "FileName", 128,
       "<b> & &amp; &lt; &#39;"},
      {"<B>&#60;&#60;&#60;&#60;</B>", "B", 4, "<<<"},  // a reference is one character
      {"<Error code=\"1\">OK</Error><Error >A</Error><error>B</error><Errors>C</Errors>", "Error",
       kErrorCapacity, ""},
      {"<Build>4.1 and the rest", "Build", kBuildCapacity, "4.1 and the rest"},
      {"<Build>4.1</build>", "Build", kBuildCapacity, "4.1</build>"},
      {"<Build>" + forty + "</Build>", "Build", kBuildCapacity, forty.substr(0, 31)},
      {"<Build>x</Build>", "Build", 1, ""},
      {"<Build>", "Build", kBuildCapacity, ""},  // needs one character after its tag
      {"<Build>7", "Build", kBuildCapacity, "7"},
      {std::string("<Build>12\0 34</Build>", 21), "Build", 32, "12"},  // text ends at a NUL
      {"<Build>123456</Build><Build>ab</Build>", "Build", kBuildCapacity, "ab"},
      {"<Build>123456</Build><Build></Build>", "Build", kBuildCapacity, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReadReplyField(c.document, c.name, c.capacity), c.value) << c.document;
  EXPECT_EQ(ReplyNumber(ReadReplyField("<Time>093000</Time>", "Time", kTimeCapacity)), 93000);
  EXPECT_EQ(ReplyNumber(" 42abc"), 42);
  EXPECT_EQ(ReplyNumber("-7"), -7);
  EXPECT_EQ(ReplyNumber("abc"), 0);
}

TEST(Markers, SetupVerHoldsExactlyTheBuildAndIsReadByItsFirst128Bytes) {
  TempDir dir;
  const PackagePlaces places("/opt/vornix/", "qorax");
  EXPECT_EQ(places.folder + " " + places.setupFile + " " + places.updateXml + " " +
                places.UpdateFile("p.tbz"),
            "/opt/vornix/qorax /opt/vornix/qorax/setup.exe /opt/vornix/qorax/updates/UPDATE.XML "
            "/opt/vornix/qorax/updates/p.tbz");
  EXPECT_EQ(ReadSetupVer(dir / "SETUP.VER"), "");
  ASSERT_TRUE(WriteSetupVer(dir / "SETUP.VER", "2.0.0.5"));
  ASSERT_TRUE(WriteSetupVer(dir / "SETUP.VER", "7"));
  EXPECT_EQ(ReadFileBytes(dir / "SETUP.VER"), "7");
  WriteFileBytes(dir / "SETUP.VER", std::string(200, 'b'));
  EXPECT_EQ(ReadSetupVer(dir / "SETUP.VER"), std::string(128, 'b'));
  WriteFileBytes(dir / "SETUP.VER", std::string("3.1\0junk", 8));
  EXPECT_EQ(ReadSetupVer(dir / "SETUP.VER"), "3.1");
  EXPECT_FALSE(WriteSetupVer(dir / "none/SETUP.VER", "1"));
}

// Three CR LF lines, the command's line there when it is empty; the first 1024 bytes read, each
// value cut to its capacity; a marker that would not fit them is not written at all.
TEST(Markers, UpdateXmlIsThreeLinesReadByItsFirst1024Bytes) {
  TempDir dir;
  const std::string path = dir / "UPDATE.XML";
  ASSERT_TRUE(WriteUpdateXml(path, {"1", "p.tbz", ""}));
  EXPECT_EQ(ReadFileBytes(path),
            "<Build>1</Build>\r\n<FileName>p.tbz</FileName>\r\n<UpdateCmd></UpdateCmd>\r\n");
  EXPECT_FALSE(WriteUpdateXml(path, {"2", std::string(127, '&'), std::string(127, '<')}));
  EXPECT_EQ(ReadUpdateXml(path).Build, "1");
  WriteFileBytes(path, "<Build>" + std::string(40, '9') + "</Build>" + std::string(955, ' ') +
                           "<FileName>late.tbz</FileName>");
  const UpdateMarker back = ReadUpdateXml(path);
  EXPECT_EQ(back.Build, std::string(31, '9'));
  EXPECT_EQ(back.FileName, "late");  // the rest lies beyond the first 1024 bytes
  EXPECT_EQ(back.UpdateCmd, "");
  EXPECT_EQ(ReadUpdateXml(dir / "missing").Build, "");
}

TEST(Markers, APlainFileNameNamesOneFileInAFolder) {
  for (const char* name : {"patch.tbz", "a b&c.tar.bz2", ".hidden"})
    EXPECT_TRUE(IsPlainFileName(name)) << name;
  for (const char* name : {"", ".", "..", "../x", "a/b", "/etc/passwd", "a\\b", "-rf"})
    EXPECT_FALSE(IsPlainFileName(name)) << name;
  EXPECT_TRUE(IsCatalogueSafe("2.0 & >"));
  EXPECT_FALSE(IsCatalogueSafe("a<b"));
  EXPECT_FALSE(IsCatalogueSafe("a\"b"));
}

}  // namespace
}  // namespace vornix
