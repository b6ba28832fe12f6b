#include <gtest/gtest.h>

#include "common/protocol.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

TEST(CommandDocuments, HaveTheirExactBytes) {
  EXPECT_EQ(SvrTimeCommand(), "<Cmd>SVRTIME</Cmd>");
  EXPECT_EQ(SetupInfoCommand("vornet"), "<Cmd>SETUPINFO</Cmd><ProgID>vornet</ProgID>");
  EXPECT_EQ(UpdateInfoCommand("qorax"), "<Cmd>UPDATEINFO</Cmd><ProgID>qorax</ProgID>");
  EXPECT_EQ(FileInfoCommand("qorax", "updates/p 1.tbz"),
            "<Cmd>FILEINFO</Cmd><ProgID>qorax</ProgID><FileName>updates/p 1.tbz</FileName>");
  EXPECT_EQ(FileInfoCommand("vornet", "setup.exe"),
            "<Cmd>FILEINFO</Cmd><ProgID>vornet</ProgID><FileName>setup.exe</FileName>");
  EXPECT_EQ(std::string(kShutdownDocument), "<VORNIX SHUTDOWN />");
  EXPECT_EQ(std::string(kQoraxListener), "127.0.0.1:8080");
}

TEST(CommandDocuments, InsertValuesWithoutEscaping) {
  EXPECT_EQ(SetupInfoCommand("a<&>b"), "<Cmd>SETUPINFO</Cmd><ProgID>a<&>b</ProgID>");
}

TEST(CommandDocuments, LogMessageJoinsNameAndTextWithOneColon) {
  EXPECT_EQ(LogMsgCommand("HOST1", "text"), "<Cmd>LOGMSG</Cmd><Msg>HOST1:text</Msg>");
  EXPECT_EQ(LogMsgCommand("HOST1", "/opt/vornix/qorax/setup.exe: Download Failed"),
            "<Cmd>LOGMSG</Cmd><Msg>HOST1:/opt/vornix/qorax/setup.exe: Download Failed</Msg>");
}

class ConfigDocument : public ::testing::Test {
 protected:
  // A record whose program file exists in `dir_` when `installed`.
  PackageRecord Record(const std::string& name, bool installed) {
    PackageRecord r;
    r.Name.assign(name);
    r.Desc.assign(name + " desc");
    r.Build.assign("b-" + name);
    r.Update.assign("");
    r.Path.assign(dir_.path());
    r.Key.assign(name + ".bin");
    if (installed) testing::WriteFileBytes(dir_ / (name + ".bin"), "x");
    return r;
  }
  testing::TempDir dir_;
};

TEST_F(ConfigDocument, WithoutInstalledPackagesHoldsOnlyTheFrame) {
  PackageCatalogue catalogue;
  catalogue.records[catalogue.count++] = Record("gone", false);
  EXPECT_EQ(ConfigCommand("PC7", catalogue),
            "<Cmd>CONFIG</Cmd><Name>PC7</Name><Config>&#60;WinApps&#62;\n&#60;/WinApps&#62;\n"
            "</Config>");
}

TEST_F(ConfigDocument, ListsInstalledPackagesInCatalogueOrder) {
  PackageCatalogue catalogue;
  catalogue.records[catalogue.count++] = Record("vornet", true);
  catalogue.records[catalogue.count++] = Record("gone", false);
  PackageRecord full = Record("abcdefghijkl", true);  // a Name that fills its 12 characters
  full.Update.assign("u&2");
  catalogue.records[catalogue.count++] = full;

  const std::string path = dir_.path();
  const std::string expected =
      "<Cmd>CONFIG</Cmd><Name>PC7</Name><Config>&#60;WinApps&#62;\n"
      " &#60;Package&#62;\n"
      "  &#60;Name&#62;vornet&#60;/Name&#62;\n"
      "  &#60;Desc&#62;vornet desc&#60;/Desc&#62;\n"
      "  &#60;Build&#62;b-vornet&#60;/Build&#62;\n"
      "  &#60;Update&#62;&#60;/Update&#62;\n"
      "  &#60;Path&#62;" +
      path +
      "&#60;/Path&#62;\n"
      "  &#60;Key&#62;vornet.bin&#60;/Key&#62;\n"
      " &#60;/Package&#62;\n"
      " &#60;Package&#62;\n"
      "  &#60;Name&#62;abcdefghijkl&#60;/Name&#62;\n"
      "  &#60;Desc&#62;abcdefghijkl desc&#60;/Desc&#62;\n"
      "  &#60;Build&#62;b-abcdefghijkl&#60;/Build&#62;\n"
      "  &#60;Update&#62;u&2&#60;/Update&#62;\n"
      "  &#60;Path&#62;" +
      path +
      "&#60;/Path&#62;\n"
      "  &#60;Key&#62;abcdefghijkl.bin&#60;/Key&#62;\n"
      " &#60;/Package&#62;\n"
      "&#60;/WinApps&#62;\n</Config>";
  EXPECT_EQ(ConfigCommand("PC7", catalogue), expected);
}

}  // namespace
}  // namespace vornix
