// The service's settings against the registry stand-in: what a start reads and writes, and
// both answers to "Apply changes".
#include <gtest/gtest.h>

#include <regex>

#include "common/activity_log.h"
#include "common/catalogue.h"
#include "common/identity.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "service/core/settings.h"
#include "testing/support/test_support.h"
#include "tests/service/fakes.h"

namespace vornix {
namespace {

using testing::ReadFileBytes;
using testing::RecordingNotices;
using testing::ScopedSystemRoot;
using testing::ScriptedBoxes;
using testing::TempDir;
using testing::WriteFileBytes;

constexpr const char* kKeyHeader =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvel Systems\\Vornix\\Settings]\n";

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() {
    ProcessLog().OpenLogIn(logDir.path() + "/");
    state.ProgramFolder = "/opt/Vornix Apps/";
  }
  std::string KeyFile() const { return RegistryKey::KeyFilePath(SettingsKey()); }
  void WriteKey(const std::string& values) {
    MakeFolders(FolderWithSlash(KeyFile()));
    WriteFileBytes(KeyFile(), kKeyHeader + values);
  }
  void WriteCatalogue(const std::vector<std::pair<std::string, std::string>>& packages,
                      bool installed = true) {
    PackageCatalogue c;
    for (const auto& [name, desc] : packages) {
      PackageRecord& r = c.records[static_cast<size_t>(c.count++)];
      r.Name.assign(name);
      r.Desc.assign(desc);
      r.Path.assign(programs.path());
      r.Key.assign(installed ? "present.bin" : "absent.bin");
    }
    WriteFileBytes(programs / "present.bin", "x");
    ASSERT_TRUE(SaveCatalogue(root.Catalogue(), c));
  }
  std::string LogText() const { return ReadFileBytes(ProcessLog().LogPath()); }

  ScopedSystemRoot root;
  TempDir logDir, programs;
  ServiceState state;
  RecordingNotices notices;
};

TEST_F(SettingsTest, FirstStartUsesDefaultsAndWritesAllFiveValues) {
  LoadSettings(state, notices);
  EXPECT_EQ(state.ServerUrl, "192.168.10.1");
  EXPECT_TRUE(state.UseLocalServer);
  ASSERT_EQ(notices.shown.size(), 1u);
  EXPECT_EQ(notices.shown[0], std::make_pair(std::string("No Applications detected"), 500));
  EXPECT_NE(LogText().find(" - No Applications detected [0]\r\n"), std::string::npos);

  SaveSettings(state);
  const std::string text = ReadFileBytes(KeyFile());
  const std::regex expected(
      std::string("Windows Registry Editor Version 5\\.00\n\n"
                  "\\[HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Arvel Systems\\\\Vornix\\\\Settings\\]\n") +
      "\"DefaultServer\"=dword:00000001\n"
      "\"LastUpdate\"=\"(Mon|Tue|Wed|Thu|Fri|Sat|Sun), [A-Z][a-z]{2} \\d\\d, \\d{4} "
      "\\d\\d:\\d\\d:\\d\\d\"\n"
      "\"ProgPath\"=\"/opt/Vornix Apps/\"\n"
      "\"UrlOut\"=\"192\\.168\\.10\\.1\"\n"
      "\"Version\"=\"1\\.0\"\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST_F(SettingsTest, StoredValuesAreRead) {
  WriteKey("\"UrlOut\"=\"127.0.0.1:8081/updates\"\n\"DefaultServer\"=dword:00000002\n");
  LoadSettings(state, notices);
  EXPECT_EQ(state.ServerUrl, "127.0.0.1:8081/updates");
  EXPECT_FALSE(state.UseLocalServer);
}

TEST_F(SettingsTest, EmptyUrlOutGivesDefaultAddress) {
  WriteKey("\"UrlOut\"=\"\"\n\"DefaultServer\"=dword:00000001\n");
  LoadSettings(state, notices);
  EXPECT_EQ(state.ServerUrl, "192.168.10.1");
}

TEST_F(SettingsTest, DefaultServerBelowTwoMeansLocalServer) {
  const std::pair<const char*, bool> cases[] = {
      {"00000000", true}, {"00000001", true}, {"00000002", false}, {"ffffffff", false}};
  for (const auto& [dword, local] : cases) {
    WriteKey(std::string("\"DefaultServer\"=dword:") + dword + "\n");
    LoadSettings(state, notices);
    EXPECT_EQ(state.UseLocalServer, local) << dword;
  }
}

TEST_F(SettingsTest, UrlOutMustFitFiveHundredTwelveBytesWithTerminator) {
  const std::string fits(511, 'a');
  WriteKey("\"UrlOut\"=\"" + fits + "\"\n");
  LoadSettings(state, notices);
  EXPECT_EQ(state.ServerUrl, fits);
  WriteKey("\"UrlOut\"=\"" + fits + "b\"\n");
  LoadSettings(state, notices);
  EXPECT_EQ(state.ServerUrl, "192.168.10.1");
}

TEST_F(SettingsTest, DetectedNoticeKeepsTableOrderAndSetIsSortedAndUnique) {
  WriteCatalogue({{"vornet", "Vornix"}, {"b", "Beta"}, {"a", "Alpha"}, {"b2", "Beta"}});
  LoadSettings(state, notices);
  ASSERT_EQ(notices.shown.size(), 1u);
  EXPECT_EQ(notices.shown[0].first, "Detected Beta, Alpha, Beta");
  EXPECT_EQ(state.DetectedApplications, (std::set<std::string>{"Alpha", "Beta"}));
  EXPECT_NE(LogText().find(" - Detected Beta, Alpha, Beta [0]\r\n"), std::string::npos);
}

TEST_F(SettingsTest, UninstalledPackagesAreNotDetected) {
  WriteCatalogue({{"a", "Alpha"}}, /*installed=*/false);
  LoadSettings(state, notices);
  EXPECT_EQ(notices.shown[0].first, "No Applications detected");
  EXPECT_TRUE(state.DetectedApplications.empty());
}

TEST_F(SettingsTest, ApplyAnsweredYesStoresEditedSettings) {
  LoadSettings(state, notices);
  SaveSettings(state);
  notices.shown.clear();
  ScriptedBoxes boxes(MessageBoxAnswer::kYes);
  EXPECT_TRUE(ApplyChanges(state, "127.0.0.1:8099", false, boxes, notices));
  ASSERT_EQ(boxes.asked.size(), 1u);
  EXPECT_EQ(boxes.asked[0].text, "Apply changes");
  EXPECT_EQ(boxes.asked[0].caption, "Notice");
  EXPECT_EQ(boxes.asked[0].buttons, MessageBoxButtons::kYesNo);
  EXPECT_EQ(state.ServerUrl, "127.0.0.1:8099");
  EXPECT_FALSE(state.UseLocalServer);
  EXPECT_EQ(notices.shown, (std::vector<std::pair<std::string, int>>{{"Changes Applied.", 500}}));

  auto key = RegistryKey::Open(SettingsKey(), kKeyRead);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->QueryString("UrlOut", 512), std::optional<std::string>("127.0.0.1:8099"));
  EXPECT_EQ(key->QueryDword("DefaultServer"), std::optional<uint32_t>(2));

  // The next start shows what was applied.
  ServiceState next;
  LoadSettings(next, notices);
  EXPECT_EQ(next.ServerUrl, "127.0.0.1:8099");
  EXPECT_FALSE(next.UseLocalServer);
}

TEST_F(SettingsTest, ApplyAnsweredYesWithEmptyAddressStoresItUntilNextLoad) {
  LoadSettings(state, notices);
  ScriptedBoxes boxes(MessageBoxAnswer::kYes);
  ApplyChanges(state, "", true, boxes, notices);
  EXPECT_EQ(state.ServerUrl, "");
  auto key = RegistryKey::Open(SettingsKey(), kKeyRead);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->QueryString("UrlOut", 512), std::optional<std::string>(""));
  LoadSettings(state, notices);
  EXPECT_EQ(state.ServerUrl, "192.168.10.1");
}

TEST_F(SettingsTest, ApplyAnsweredNoLoadsStoredSettingsBack) {
  WriteKey("\"UrlOut\"=\"127.0.0.1:8081\"\n\"DefaultServer\"=dword:00000001\n");
  WriteCatalogue({{"a", "Alpha"}});
  LoadSettings(state, notices);
  const std::string before = ReadFileBytes(KeyFile());
  notices.shown.clear();
  ScriptedBoxes boxes(MessageBoxAnswer::kNo);
  EXPECT_FALSE(ApplyChanges(state, "10.0.0.1", false, boxes, notices));
  EXPECT_EQ(state.ServerUrl, "127.0.0.1:8081");
  EXPECT_TRUE(state.UseLocalServer);
  EXPECT_EQ(notices.shown, (std::vector<std::pair<std::string, int>>{{"Detected Alpha", 500}}));
  EXPECT_EQ(ReadFileBytes(KeyFile()), before);
}

TEST_F(SettingsTest, ApplyTakesAtMostFiveHundredElevenCharactersOfTheEdit) {
  ScriptedBoxes boxes(MessageBoxAnswer::kYes);
  ApplyChanges(state, std::string(600, 'u'), true, boxes, notices);
  EXPECT_EQ(state.ServerUrl, std::string(511, 'u'));
}

}  // namespace
}  // namespace vornix
