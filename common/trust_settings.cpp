#include "common/trust_settings.h"

#include <cstdint>

#include "common/settings_key.h"

namespace vornix {
namespace {

// No buffer limit: a value cut to a buffer must never turn the protection off.
constexpr size_t kUnlimited = SIZE_MAX;
// An UpdateKey that is there but no readable text is a key that cannot be used, not an absent
// one.
constexpr const char* kUnreadableValue = "(not a readable text value)";

bool PresentButNoText(const RegistryKey& key, const char* name) {
  return key.Unreadable(name) || key.QueryDword(name).has_value();
}

}  // namespace

TrustSettings TrustSettingsFrom(const RegistryKey& key) {
  TrustSettings settings;
  settings.CaFile = key.QueryString(kCaFileValue, kUnlimited).value_or("");
  settings.CaFileUnusable = PresentButNoText(key, kCaFileValue);
  settings.UpdateKey =
      key.QueryString(kUpdateKeyValue, kUnlimited)
          .value_or(PresentButNoText(key, kUpdateKeyValue) ? kUnreadableValue : "");
  return settings;
}

TrustSettings ReadTrustSettings() {
  const auto key = RegistryKey::Open(SettingsKey(), kKeyRead);
  return key ? TrustSettingsFrom(*key) : TrustSettings{};
}

std::string CaFileProblem(const TrustSettings& settings) {
  if (!settings.CaFileUnusable) return {};
  return std::string(kCaFileValue) + " in " + RegistryKey::KeyFilePath(SettingsKey()) +
         " cannot be read: no https:// request is made";
}

}  // namespace vornix
