// The tag scanner that reads WinApps.XML: what it keeps, what it drops, where it stops.
#include <gtest/gtest.h>

#include "tests/foundation/catalogue_test_util.h"

namespace vornix {
namespace {

using testing::PackageXml;
using testing::ReadFromText;

TEST(CatalogueRead, ReadsEveryFieldOfWellFormedPackagesInOrder) {
  const auto cat = ReadFromText(
      "<WinApps>\r\n" + PackageXml("qorax", "Qorax Server", "7", "7.1", "/opt/qorax", "qorax") +
      PackageXml("vornet", "Vornix", "", "", "/opt/vornix", "Vornix") + "</WinApps>\r\n");
  ASSERT_EQ(cat.count, 2);
  const PackageRecord& q = cat.records[0];
  EXPECT_EQ(q.Name.str(), "qorax");
  EXPECT_EQ(q.Desc.str(), "Qorax Server");
  EXPECT_EQ(q.Build.str(), "7");
  EXPECT_EQ(q.Update.str(), "7.1");
  EXPECT_EQ(q.Path.str(), "/opt/qorax");
  EXPECT_EQ(q.Key.str(), "qorax");
  EXPECT_EQ(cat.records[1].Name.str(), "vornet");
  EXPECT_TRUE(cat.records[1].Build.empty());
  EXPECT_TRUE(cat.records[2].Name.empty());
}

TEST(CatalogueRead, XmlDeclarationAndTagCaseAndTextBetweenElementsAreIgnored) {
  const auto cat = ReadFromText(
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<WINAPPS>stray text\r\n"
      "<PACKAGE>junk<name>a</NAME>between<Desc>d</desc><build></build><update></update>"
      "<path>/p</path><KEY>k</key></package></winapps>");
  ASSERT_EQ(cat.count, 1);
  EXPECT_EQ(cat.records[0].Name.str(), "a");
  EXPECT_EQ(cat.records[0].Key.str(), "k");
}

TEST(CatalogueRead, FieldsAreCutToTheirWidthWithoutTerminator) {
  const auto cat = ReadFromText("<WinApps>" +
                                PackageXml("abcdefghijklmn", std::string(60, 'd'),
                                           std::string(40, 'b'), "", std::string(300, 'p')) +
                                "</WinApps>");
  ASSERT_EQ(cat.count, 1);
  const PackageRecord& r = cat.records[0];
  EXPECT_EQ(r.Name.str(), "abcdefghijkl");
  EXPECT_EQ(r.Name.bytes().back(), 'l');  // full width: no terminator
  EXPECT_EQ(r.Desc.str(), std::string(52, 'd'));
  EXPECT_EQ(r.Build.str(), std::string(32, 'b'));
  EXPECT_EQ(r.Path.str(), std::string(256, 'p'));
  EXPECT_EQ(FindPackage(cat, "abcdefghijklmn", NameCase::kSignificant), -1);
  EXPECT_EQ(FindPackage(cat, "abcdefghijkl", NameCase::kSignificant), 0);
}

TEST(CatalogueRead, ValuesKeepBlanksJoinLinesAndKeepCharacterReferences) {
  const auto cat = ReadFromText(
      "<WinApps><Package><Name> vornet </Name><Desc>Two\r\nLines</Desc>"
      "<Build>&#60;b&#62;&amp;</Build><Update>u</Update><Path>/p</Path><Key>k</Key></Package>"
      "</WinApps>");
  ASSERT_EQ(cat.count, 1);
  EXPECT_EQ(cat.records[0].Name.str(), " vornet ");
  EXPECT_EQ(FindPackage(cat, "vornet", NameCase::kIgnored), -1);
  EXPECT_EQ(cat.records[0].Desc.str(), "TwoLines");
  EXPECT_EQ(cat.records[0].Build.str(), "&#60;b&#62;&amp;");
}

TEST(CatalogueRead, QuotesKeepALessThanSignOutOfTheValue) {
  const auto cat = ReadFromText("<WinApps>" + PackageXml("q", "Say \"a<b\" now") + "</WinApps>");
  ASSERT_EQ(cat.count, 1);
  EXPECT_EQ(cat.records[0].Desc.str(), "Say \"ab\" now");
  EXPECT_EQ(cat.records[0].Key.str(), "x");
}

TEST(CatalogueRead, WinAppsInsideAQuotedAttributeIsNotATag) {
  const auto cat = ReadFromText("<meta note=\"<winapps>\">" + PackageXml("early") + "<WinApps>" +
                                PackageXml("late") + "</WinApps>");
  ASSERT_EQ(cat.count, 1);
  EXPECT_EQ(cat.records[0].Name.str(), "late");
}

TEST(CatalogueRead, TagsWithBlanksAttributesOrSelfClosingMatchNothing) {
  const auto cat = ReadFromText(
      "<WinApps><Package><Name>a</Name><Desc/><Desc x=\"1\">no</Desc><Key >k1</Key>"
      "<Key>k2</Key></Package></WinApps>");
  ASSERT_EQ(cat.count, 1);
  EXPECT_TRUE(cat.records[0].Desc.empty());
  EXPECT_EQ(cat.records[0].Key.str(), "k2");
}

TEST(CatalogueRead, APackageWithoutKeyIsNotCountedAndLeaksNothingIntoTheNext) {
  const auto cat = ReadFromText(
      "<WinApps><Package><Name>nokey</Name><Desc>Leaky</Desc><Build>9</Build></Package>"
      "<Package><Name>next</Name><Key>k</Key></Package></WinApps>");
  ASSERT_EQ(cat.count, 1);
  EXPECT_EQ(cat.records[0].Name.str(), "next");
  EXPECT_TRUE(cat.records[0].Desc.empty());
  EXPECT_TRUE(cat.records[0].Build.empty());
}

TEST(CatalogueRead, StopsAt128Packages) {
  std::string text = "<WinApps>";
  for (int i = 0; i < 130; ++i) text += PackageXml("p" + std::to_string(i));
  text += "</WinApps>";
  const auto cat = ReadFromText(text);
  ASSERT_EQ(cat.count, 128);
  EXPECT_EQ(cat.records[127].Name.str(), "p127");
}

TEST(CatalogueRead, AFileCutOffKeepsTheCompletePackagesAndTheNextReadStartsClosed) {
  const std::string full = "<WinApps>" + PackageXml("one") + PackageXml("two");
  const auto cut = ReadFromText(full.substr(0, full.size() - 30));
  ASSERT_EQ(cut.count, 1);
  EXPECT_EQ(cut.records[0].Name.str(), "one");
  EXPECT_TRUE(cut.records[1].Key.empty());

  // A second read in the same process knows nothing of the first one's open levels.
  const auto fresh = ReadFromText(PackageXml("outside") + "<WinApps>" + PackageXml("inside"));
  ASSERT_EQ(fresh.count, 1);
  EXPECT_EQ(fresh.records[0].Name.str(), "inside");
}

TEST(CatalogueRead, NothingAfterTheClosingTagIsRead) {
  const auto cat = ReadFromText("<WinApps>" + PackageXml("a") + "</WinApps>" + PackageXml("b"));
  EXPECT_EQ(cat.count, 1);
}

TEST(CatalogueRead, EmptyAndMissingInputGiveAnEmptyTable) {
  EXPECT_EQ(ReadFromText("").count, 0);
  EXPECT_EQ(ReadFromText("<WinApps></WinApps>").count, 0);
  PackageCatalogue cat;
  cat.count = 3;
  EXPECT_FALSE(LoadCatalogue("/nonexistent/WinApps.XML", cat));
  EXPECT_EQ(cat.count, 0);
}

TEST(CatalogueRead, TagsUpTo1021CharactersCountAndLongerOnesSpillIntoContent) {
  // "<" + 1019 + ">" is 1021 characters: a tag that matches nothing, so the open Key takes
  // what follows it ("k2") in place of "k1".
  const std::string longest = "<" + std::string(1019, 'a') + ">";
  auto cat = ReadFromText("<WinApps><Package><Name>n</Name><Key>k1" + longest +
                          "k2</Key></Package></WinApps>");
  ASSERT_GE(cat.count, 1);
  EXPECT_EQ(cat.records[0].Key.str(), "k1");
  EXPECT_EQ(cat.records[1].Key.str(), "k2");  // stored again after the tag: counted twice
  EXPECT_EQ(cat.count, 2);

  // One character more and the tag is cut at 1021; its tail ">" is read as content.
  const std::string tooLong = "<" + std::string(1020, 'a') + ">";
  cat = ReadFromText("<WinApps><Package><Name>n" + tooLong +
                     "</Name><Key>k</Key></Package></WinApps>");
  ASSERT_EQ(cat.count, 1);
  EXPECT_EQ(cat.records[0].Name.str(), ">");
}

TEST(CatalogueLookup, CaseRules) {
  const auto cat = ReadFromText("<WinApps>" + PackageXml("qorax") + PackageXml("QORAX", "second") +
                                "</WinApps>");
  EXPECT_EQ(FindPackage(cat, "QORAX", NameCase::kIgnored), 0);
  EXPECT_EQ(FindPackage(cat, "QORAX", NameCase::kSignificant), 1);
  EXPECT_EQ(FindPackage(cat, "Qorax", NameCase::kSignificant), -1);
  EXPECT_EQ(FindPackage(cat, "qora", NameCase::kIgnored), -1);
}

}  // namespace
}  // namespace vornix
