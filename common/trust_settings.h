#pragma once

#include <string>

#include "platform/registry.h"

namespace vornix {

// Two optional values of the settings key turn on the protections beyond plain HTTP; absent or
// empty, nothing changes.
//   CaFile     a PEM file of certificate authorities that https:// transfers trust instead of
//              the system's store
//   UpdateKey  the publisher's Ed25519 public key (base64): signatures are asked for
inline constexpr const char* kCaFileValue = "CaFile";
inline constexpr const char* kUpdateKeyValue = "UpdateKey";

struct TrustSettings {
  std::string CaFile;
  std::string UpdateKey;
};

TrustSettings TrustSettingsFrom(const RegistryKey& key);
// From the settings key opened for reading; empty values when it cannot be opened.
TrustSettings ReadTrustSettings();

}  // namespace vornix
