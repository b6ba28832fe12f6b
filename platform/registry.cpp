#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/atomic_file.h"
#include "platform/path.h"
#include "platform/regular_file.h"
#include "platform/system_root.h"
#include "platform/text.h"

namespace vornix {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHive = "HKEY_LOCAL_MACHINE";

bool Writable(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the closing quote.
std::optional<std::string> ReadQuoted(std::string_view text, size_t& pos) {
  if (pos >= text.size() || text[pos] != '"') return std::nullopt;
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\' && pos + 1 < text.size()) {
      out += text[++pos];
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

std::string Quote(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace

std::string RegistryKey::KeyFilePath(std::string_view subkey) {
  std::string rel(subkey);
  for (char& c : rel)
    if (c == '\\') c = '/';
  return JoinPath(JoinPath(JoinPath(SystemRoot(), "registry"), kHive), rel + ".reg");
}

bool RegistryKey::NameLess::operator()(std::string_view a, std::string_view b) const {
  return LessIgnoringCase(a, b);
}

RegistryKey::Values RegistryKey::ParseKeyFile(std::string_view text) {
  Values values;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t pos = 0;
    auto name = ReadQuoted(line, pos);
    if (!name || pos >= line.size() || line[pos] != '=') continue;  // header, key line, blank
    ++pos;
    std::string_view rest = line.substr(pos);
    if (rest.substr(0, 6) == "dword:") {
      const std::string digits(rest.substr(6));
      char* stop = nullptr;
      const unsigned long v = std::strtoul(digits.c_str(), &stop, 16);
      if (!digits.empty() && stop && *stop == '\0' && digits.size() <= 8)
        values[*name] = static_cast<uint32_t>(v);  // a later line wins
    } else if (auto value = ReadQuoted(line, pos)) {
      values[*name] = *value;
    }
  }
  return values;
}

std::string RegistryKey::FormatKeyFile(std::string_view subkey, const Values& values) {
  std::string out(kHeader);
  out += "\n\n[";
  out += kHive;
  out += '\\';
  out += subkey;
  out += "]\n";
  for (const auto& [name, value] : values) {
    out += Quote(name);
    out += '=';
    if (const auto* s = std::get_if<std::string>(&value)) {
      out += Quote(*s);
    } else {
      char dword[16];
      std::snprintf(dword, sizeof dword, "dword:%08x", std::get<uint32_t>(value));
      out += dword;
    }
    out += '\n';
  }
  return out;
}

std::optional<RegistryKey> RegistryKey::Open(std::string_view subkey, unsigned access) {
  const std::string path = KeyFilePath(subkey);
  auto text = ReadRegularFile(path);
  if (!text) return std::nullopt;  // absent, or not readable: KEY_READ and set-value alike
  if ((access & kKeySetValue) && !Writable(path)) return std::nullopt;
  return RegistryKey(std::string(subkey), path, access, ParseKeyFile(*text));
}

std::optional<RegistryKey> RegistryKey::Create(std::string_view subkey, unsigned access) {
  const std::string path = KeyFilePath(subkey);
  if (!FileExists(path)) {
    if (!MakeFolders(FolderWithSlash(path))) return std::nullopt;
    if (!ReplaceFileAtomically(path, FormatKeyFile(subkey, {}))) return std::nullopt;
  }
  return Open(subkey, access);
}

std::optional<std::string> RegistryKey::QueryString(std::string_view name, size_t capacity) const {
  const auto it = values_.find(std::string(name));
  if (it == values_.end()) return std::nullopt;
  const auto* s = std::get_if<std::string>(&it->second);
  if (!s || StringDataSize(*s) > capacity) return std::nullopt;
  return *s;
}

std::optional<uint32_t> RegistryKey::QueryDword(std::string_view name) const {
  const auto it = values_.find(std::string(name));
  if (it == values_.end()) return std::nullopt;
  if (const auto* v = std::get_if<uint32_t>(&it->second)) return *v;
  return std::nullopt;
}

bool RegistryKey::SetString(std::string_view name, std::string_view value) {
  if (!(access_ & kKeySetValue)) return false;
  values_[std::string(name)] = std::string(value);
  return Store();
}

bool RegistryKey::SetDword(std::string_view name, uint32_t value) {
  if (!(access_ & kKeySetValue)) return false;
  values_[std::string(name)] = value;
  return Store();
}

bool RegistryKey::Store() {
  return ReplaceFileAtomically(path_, FormatKeyFile(subkey_, values_));
}

}  // namespace vornix
