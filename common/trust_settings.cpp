#include "common/trust_settings.h"

#include <cstdint>

#include "common/identity.h"

namespace vornix {
namespace {

// No buffer limit: a value cut to a buffer must never turn the protection off.
constexpr size_t kUnlimited = SIZE_MAX;
// An UpdateKey that is there but no text is a key that cannot be used, not an absent one.
constexpr const char* kUnreadableValue = "(not a text value)";

}  // namespace

TrustSettings TrustSettingsFrom(const RegistryKey& key) {
  TrustSettings settings;
  settings.CaFile = key.QueryString(kCaFileValue, kUnlimited).value_or("");
  settings.UpdateKey = key.QueryString(kUpdateKeyValue, kUnlimited)
                           .value_or(key.QueryDword(kUpdateKeyValue) ? kUnreadableValue : "");
  return settings;
}

TrustSettings ReadTrustSettings() {
  const auto key = RegistryKey::Open(SettingsKey(), kKeyRead);
  return key ? TrustSettingsFrom(*key) : TrustSettings{};
}

}  // namespace vornix
