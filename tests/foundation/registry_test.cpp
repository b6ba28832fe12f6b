// The registry stand-in: one .reg file per key in the registry editor's text format.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/registry.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ReadFileBytes;
using testing::ScopedSystemRoot;
using testing::WriteFileBytes;

constexpr const char* kKey = "SOFTWARE\\Arvel Systems\\Vornix\\Settings";

TEST(Registry, CreateWritesTheEditorFormatAndValuesRoundTrip) {
  ScopedSystemRoot root;
  auto key = RegistryKey::Create(kKey, kKeySetValue);
  ASSERT_TRUE(key);
  EXPECT_EQ(
      key->FilePath(),
      root.path() + "/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Arvel Systems/Vornix/Settings.reg");
  ASSERT_TRUE(key->SetString("UrlOut", "C:\\path \"quoted\""));
  ASSERT_TRUE(key->SetDword("DefaultServer", 10));
  EXPECT_EQ(ReadFileBytes(key->FilePath()),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvel Systems\\Vornix\\Settings]\n"
            "\"DefaultServer\"=dword:0000000a\n"
            "\"UrlOut\"=\"C:\\\\path \\\"quoted\\\"\"\n");
  auto read = RegistryKey::Open(kKey, kKeyRead);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->QueryString("UrlOut", 512), "C:\\path \"quoted\"");
  EXPECT_EQ(read->QueryDword("DefaultServer"), 10u);
  EXPECT_FALSE(read->QueryDword("UrlOut"));
  EXPECT_FALSE(read->QueryString("Missing", 512));
  EXPECT_FALSE(read->SetString("UrlOut", "x")) << "a key opened for reading refuses changes";
}

TEST(Registry, AStringLongerThanItsBufferCountsAsAbsent) {
  ScopedSystemRoot root;
  auto key = RegistryKey::Create(kKey, kKeySetValue);
  key->SetString("UrlOut", std::string(127, 'u'));
  auto read = RegistryKey::Open(kKey, kKeyRead);
  EXPECT_EQ(read->QueryString("UrlOut", 128), std::string(127, 'u'));  // 127 + terminator fits
  key->SetString("UrlOut", std::string(128, 'u'));
  read = RegistryKey::Open(kKey, kKeyRead);
  EXPECT_FALSE(read->QueryString("UrlOut", 128));
  EXPECT_EQ(RegistryKey::StringDataSize("1.0"), 4u);
}

// Value names ignore letter case, as the registry's do: a name written by hand in another
// case is the same value, and a change keeps its spelling and writes it once.
TEST(Registry, ReadsHandWrittenFilesWithCrLfWithoutHeaderAndInAnyCase) {
  ScopedSystemRoot root;
  WriteFileBytes(RegistryKey::KeyFilePath(kKey),
                 "\"urlout\"=\"127.0.0.1:8000\"\r\n\"DefaultServer\"=dword:00000002\r\nnoise\r\n");
  auto key = RegistryKey::Open(kKey, kKeyRead | kKeySetValue);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->QueryString("UrlOut", 512), "127.0.0.1:8000");
  EXPECT_EQ(key->QueryDword("DEFAULTSERVER"), 2u);
  ASSERT_TRUE(key->SetString("UrlOut", "10.0.0.1"));
  EXPECT_EQ(ReadFileBytes(key->FilePath()),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvel Systems\\Vornix\\Settings]\n"
            "\"DefaultServer\"=dword:00000002\n\"urlout\"=\"10.0.0.1\"\n");
}

TEST(Registry, MissingOrUnusableKeysDoNotOpen) {
  ScopedSystemRoot root;
  EXPECT_FALSE(RegistryKey::Open(kKey, kKeyRead));
  // A folder where the key's file should be: unreadable and unwritable, for root as well.
  std::filesystem::create_directories(RegistryKey::KeyFilePath(kKey));
  EXPECT_FALSE(RegistryKey::Open(kKey, kKeyRead));
  EXPECT_FALSE(RegistryKey::Open(kKey, kKeyRead | kKeySetValue));
  EXPECT_FALSE(RegistryKey::Create(kKey, kKeySetValue));
}

TEST(Registry, ChangesReplaceTheFileWhole) {
  ScopedSystemRoot root;
  auto key = RegistryKey::Create(kKey, kKeyRead | kKeySetValue);
  key->SetString("Version", "1.0");
  key->SetString("Version", "1.0");
  const auto folder = std::filesystem::path(key->FilePath()).parent_path();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace vornix
