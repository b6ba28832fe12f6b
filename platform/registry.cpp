#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomic_file.h"
#include "platform/file_descriptor.h"
#include "platform/path.h"
#include "platform/regular_file.h"
#include "platform/system_root.h"

namespace vornix {

namespace {

constexpr std::string_view kHive = "HKEY_LOCAL_MACHINE";

bool Writable(const std::string& path) {
  return FileDescriptor(open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)).valid();
}

}  // namespace

std::string RegistryKey::KeyFilePath(std::string_view subkey) {
  std::string rel(subkey);
  for (char& c : rel)
    if (c == '\\') c = '/';
  return JoinPath(JoinPath(JoinPath(SystemRoot(), "registry"), kHive), rel + ".reg");
}

std::optional<RegistryKey> RegistryKey::Open(std::string_view subkey, unsigned access) {
  const std::string path = KeyFilePath(subkey);
  auto text = ReadRegularFile(path);
  if (!text) return std::nullopt;  // absent, or not readable: KEY_READ and set-value alike
  if ((access & kKeySetValue) && !Writable(path)) return std::nullopt;
  return RegistryKey(path, access, KeyFile::Parse(*text));
}

std::optional<RegistryKey> RegistryKey::Create(std::string_view subkey, unsigned access) {
  const std::string path = KeyFilePath(subkey);
  if (!FileExists(path)) {
    const std::string keyLine = "[" + std::string(kHive) + "\\" + std::string(subkey) + "]";
    if (!MakeFolders(FolderWithSlash(path))) return std::nullopt;
    if (!ReplaceFileAtomically(path, KeyFile::New(keyLine).Bytes())) return std::nullopt;
  }
  return Open(subkey, access);
}

std::optional<std::string> RegistryKey::QueryString(std::string_view name, size_t capacity) const {
  const KeyFile::Entry* entry = file_.Find(name);
  if (!entry || !entry->data) return std::nullopt;
  const auto* s = std::get_if<std::string>(&*entry->data);
  if (!s || StringDataSize(*s) > capacity) return std::nullopt;
  return *s;
}

std::optional<uint32_t> RegistryKey::QueryDword(std::string_view name) const {
  const KeyFile::Entry* entry = file_.Find(name);
  if (!entry || !entry->data) return std::nullopt;
  if (const auto* v = std::get_if<uint32_t>(&*entry->data)) return *v;
  return std::nullopt;
}

bool RegistryKey::Unreadable(std::string_view name) const {
  const KeyFile::Entry* entry = file_.Find(name);
  return entry && !entry->data;
}

bool RegistryKey::SetString(std::string_view name, std::string_view value, bool replaceUnreadable) {
  return Set(name, std::string(value), replaceUnreadable);
}

bool RegistryKey::SetDword(std::string_view name, uint32_t value, bool replaceUnreadable) {
  return Set(name, value, replaceUnreadable);
}

bool RegistryKey::Set(std::string_view name, const Value& value, bool replaceUnreadable) {
  if (!(access_ & kKeySetValue)) return false;
  KeyFile changed = file_;
  if (!changed.Set(name, value, replaceUnreadable)) return false;
  const std::string bytes = changed.Bytes();
  if (bytes == file_.Bytes()) return true;
  if (!ReplaceFileAtomically(path_, bytes)) return false;
  file_ = std::move(changed);
  return true;
}

}  // namespace vornix
