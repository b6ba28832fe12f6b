// The service's own record in the catalogue, made or corrected at every start.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/catalogue.h"
#include "common/identity.h"
#include "platform/registry.h"
#include "service/core/registration.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ReadFileBytes;
using testing::ScopedSystemRoot;
using testing::WriteFileBytes;

class RecordingBoxes : public MessageBoxes {
 public:
  MessageBoxAnswer Show(const std::string& text, const std::string& caption,
                        MessageBoxButtons buttons) override {
    shown.push_back(caption + ": " + text);
    EXPECT_EQ(buttons, MessageBoxButtons::kOk);
    return MessageBoxAnswer::kOk;
  }
  std::vector<std::string> shown;
};

std::string Package(const std::string& name, const std::string& path,
                    const std::string& build = "") {
  return " <Package>\r\n  <Name>" + name + "</Name>\r\n  <Desc>D</Desc>\r\n  <Build>" + build +
         "</Build>\r\n  <Update></Update>\r\n  <Path>" + path +
         "</Path>\r\n  <Key>k</Key>\r\n </Package>\r\n";
}

std::string Catalogue(const std::string& packages) {
  return "<WinApps>\r\n" + packages + "</WinApps>\r\n";
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
    ASSERT_TRUE(key);
    key->SetString("ProgPath", progPath_);
  }
  void Register() { RegisterServicePackage(running_, boxes_); }
  std::string CatalogueText() { return ReadFileBytes(root_.Catalogue()); }
  time_t Mtime() {
    struct stat st {};
    stat(root_.Catalogue().c_str(), &st);
    return st.st_mtim.tv_nsec + st.st_mtim.tv_sec * 1000000000L;
  }

  ScopedSystemRoot root_;
  std::string running_ = "/opt/Vornix";
  std::string progPath_ = root_.path() + "/prog/";
  RecordingBoxes boxes_;
};

TEST_F(Registration, NoCatalogueGivesExactlyTheServiceRecord) {
  Register();
  EXPECT_EQ(CatalogueText(),
            Catalogue(" <Package>\r\n  <Name>vornet</Name>\r\n  <Desc>Vornix</Desc>\r\n"
                      "  <Build></Build>\r\n  <Update></Update>\r\n"
                      "  <Path>/opt/Vornix</Path>\r\n  <Key>Vornix</Key>\r\n </Package>\r\n"));
  EXPECT_TRUE(boxes_.shown.empty());
}

// A catalogue that ends with a package without Key: the new record is made in the slot that
// package's fields were read into, and takes none of them. A SETUP.VER holding markup is not
// taken into the catalogue either.
TEST_F(Registration, ANewRecordStartsEmptyAndTakesNoMarkupFromSetupVer) {
  WriteFileBytes(progPath_ + "vornet/SETUP.VER", "a\"b");
  WriteFileBytes(root_.Catalogue(),
                 Catalogue(" <Package>\r\n  <Name>half</Name>\r\n  <Build>b9</Build>\r\n"
                           "  <Update>u9</Update>\r\n </Package>\r\n"));
  Register();
  EXPECT_EQ(CatalogueText(),
            Catalogue(" <Package>\r\n  <Name>vornet</Name>\r\n  <Desc>Vornix</Desc>\r\n"
                      "  <Build></Build>\r\n  <Update></Update>\r\n"
                      "  <Path>/opt/Vornix</Path>\r\n  <Key>Vornix</Key>\r\n </Package>\r\n"));
}

TEST_F(Registration, RecordInAnyCaseIsFoundAndAPathDifferingInCaseIsLeftAlone) {
  const std::string text = "<?xml version=\"1.0\"?>" + Catalogue(Package("VORNET", "/OPT/vornix"));
  WriteFileBytes(root_.Catalogue(), text);
  Register();
  EXPECT_EQ(CatalogueText(), text) << "the file must not be touched";
}

TEST_F(Registration, AMovedServiceCorrectsItsPathOnly) {
  WriteFileBytes(root_.Catalogue(),
                 Catalogue(Package("a", "/a") + Package("vornet", "/old/place", "5")));
  Register();
  EXPECT_EQ(CatalogueText(), Catalogue(Package("a", "/a") + Package("vornet", "/opt/Vornix", "5")));
}

TEST_F(Registration, BuildIsFilledFromSetupVerOnlyWhenEmpty) {
  WriteFileBytes(progPath_ + "vornet/SETUP.VER", "2.0.0.5");
  WriteFileBytes(root_.Catalogue(), Catalogue(Package("vornet", running_)));
  Register();
  EXPECT_EQ(CatalogueText(), Catalogue(Package("vornet", running_, "2.0.0.5")));

  WriteFileBytes(progPath_ + "vornet/SETUP.VER", "2.0.0.6");
  const std::string before = CatalogueText();
  Register();
  EXPECT_EQ(CatalogueText(), before) << "a non-empty Build stays as it was";
}

TEST_F(Registration, SetupVerIsReadByItsFirst128BytesAndCutTo32) {
  WriteFileBytes(progPath_ + "vornet/SETUP.VER", std::string(40, 'b') + std::string(200, 'c'));
  WriteFileBytes(root_.Catalogue(), Catalogue(Package("vornet", running_)));
  Register();
  EXPECT_EQ(CatalogueText(), Catalogue(Package("vornet", running_, std::string(32, 'b'))));
}

TEST_F(Registration, AFullCatalogueShowsTheMessageAndWritesNothing) {
  std::string packages;
  for (int i = 0; i < 128; ++i) packages += Package("p" + std::to_string(i), "/p");
  WriteFileBytes(root_.Catalogue(), Catalogue(packages));
  const auto before = Mtime();
  Register();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0], "Error: Cannot add package to WinApps.XML.  Please contact Arvel");
  EXPECT_EQ(Mtime(), before);
  EXPECT_EQ(CatalogueText(), Catalogue(packages));
}

TEST_F(Registration, NoSettingsKeyMeansNothingAtAll) {
  std::filesystem::remove(RegistryKey::KeyFilePath(SettingsKey()));
  Register();
  EXPECT_FALSE(testing::PathExists(root_.Catalogue()));
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(Registration, WithoutProgPathSetupVerIsLookedForInTheWorkingFolder) {
  auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
  ASSERT_TRUE(std::filesystem::remove(key->FilePath()));
  RegistryKey::Create(SettingsKey(), kKeySetValue);
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(root_.path());
  WriteFileBytes(root_.path() + "/vornet/SETUP.VER", "7");
  Register();
  std::filesystem::current_path(before);
  EXPECT_EQ(CatalogueText(),
            Catalogue(" <Package>\r\n  <Name>vornet</Name>\r\n  <Desc>Vornix</Desc>\r\n"
                      "  <Build>7</Build>\r\n  <Update></Update>\r\n"
                      "  <Path>/opt/Vornix</Path>\r\n  <Key>Vornix</Key>\r\n </Package>\r\n"));
}

}  // namespace
}  // namespace vornix
