#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace vornix {

// Access rights of a registry key, as the programs ask for them.
enum RegistryAccess : unsigned {
  kKeyRead = 1u << 0,
  kKeySetValue = 1u << 1,
};

// One key below HKEY_LOCAL_MACHINE, kept as the file
// <system root>/registry/HKEY_LOCAL_MACHINE/<subkey, '\' as '/'>.reg in the registry editor's
// text format. Every change rewrites the file whole and atomically.
class RegistryKey {
 public:
  using Value = std::variant<std::string, uint32_t>;
  // Value names ignore letter case, as the registry's do; a name keeps its first spelling.
  struct NameLess {
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using Values = std::map<std::string, Value, NameLess>;

  // Opens an existing key. Fails when the file is absent or does not allow the access asked for.
  static std::optional<RegistryKey> Open(std::string_view subkey, unsigned access);
  // Opens the key, creating it (and its folders) when absent.
  static std::optional<RegistryKey> Create(std::string_view subkey, unsigned access);

  // A string value read into a buffer of `capacity` bytes: absent when the value is missing,
  // is not a string, or its data size (terminator counted) exceeds the capacity.
  std::optional<std::string> QueryString(std::string_view name, size_t capacity) const;
  std::optional<uint32_t> QueryDword(std::string_view name) const;

  bool SetString(std::string_view name, std::string_view value);
  bool SetDword(std::string_view name, uint32_t value);

  const std::string& FilePath() const { return path_; }

  // The data size the registry reports for a string: its bytes and the terminator.
  static size_t StringDataSize(std::string_view value) { return value.size() + 1; }

  // The file of a key, and the text format (exposed for tests and tools).
  static std::string KeyFilePath(std::string_view subkey);
  static Values ParseKeyFile(std::string_view text);
  static std::string FormatKeyFile(std::string_view subkey, const Values& values);

 private:
  RegistryKey(std::string subkey, std::string path, unsigned access, Values values)
      : subkey_(std::move(subkey)),
        path_(std::move(path)),
        access_(access),
        values_(std::move(values)) {}
  bool Store();

  std::string subkey_;
  std::string path_;
  unsigned access_;
  Values values_;
};

}  // namespace vornix
