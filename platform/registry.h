#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/key_file.h"

namespace vornix {

// Access rights of a registry key, as the programs ask for them.
enum RegistryAccess : unsigned {
  kKeyRead = 1u << 0,
  kKeySetValue = 1u << 1,
};

// One key below HKEY_LOCAL_MACHINE, kept as the file
// <system root>/registry/HKEY_LOCAL_MACHINE/<subkey, '\' as '/'>.reg in the registry editor's
// text format (see KeyFile). Every change rewrites the file atomically, changing the line of
// the value it sets and nothing else.
class RegistryKey {
 public:
  using Value = KeyFile::Value;

  // Opens an existing key. Fails when the file is absent or does not allow the access asked for.
  static std::optional<RegistryKey> Open(std::string_view subkey, unsigned access);
  // Opens the key, creating it (and its folders) when absent.
  static std::optional<RegistryKey> Create(std::string_view subkey, unsigned access);

  // A string value read into a buffer of `capacity` bytes: absent when the value is missing,
  // cannot be read, is not a string, or its data size (terminator counted) exceeds the capacity.
  std::optional<std::string> QueryString(std::string_view name, size_t capacity) const;
  std::optional<uint32_t> QueryDword(std::string_view name) const;
  // Whether a line names the value in a form that cannot be read: it is there, unusable.
  bool Unreadable(std::string_view name) const;

  // False, and nothing written, when the key was not opened for changes, the file cannot be
  // written, or the value's line cannot be read and `replaceUnreadable` is not given.
  bool SetString(std::string_view name, std::string_view value, bool replaceUnreadable = false);
  bool SetDword(std::string_view name, uint32_t value, bool replaceUnreadable = false);

  const std::string& FilePath() const { return path_; }

  // The data size the registry reports for a string: its bytes and the terminator.
  static size_t StringDataSize(std::string_view value) { return value.size() + 1; }

  // The file of a key.
  static std::string KeyFilePath(std::string_view subkey);

 private:
  RegistryKey(std::string path, unsigned access, KeyFile file)
      : path_(std::move(path)), access_(access), file_(std::move(file)) {}
  bool Set(std::string_view name, const Value& value, bool replaceUnreadable);

  std::string path_;
  unsigned access_;
  KeyFile file_;
};

}  // namespace vornix
