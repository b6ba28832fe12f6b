#pragma once

#include <string>

#include "platform/registry.h"

namespace vornix {

// Two optional values of the settings key turn on the protections beyond plain HTTP; absent or
// empty, nothing changes.
//   CaFile     a PEM file of certificate authorities that https:// transfers trust instead of
//              the system's store
//   UpdateKey  the publisher's Ed25519 public key (base64): signatures are asked for
// Either one there in a form that cannot be read is there and unusable, never absent: an
// UpdateKey then takes nothing, a CaFile lets no https:// transfer through.
inline constexpr const char* kCaFileValue = "CaFile";
inline constexpr const char* kUpdateKeyValue = "UpdateKey";

struct TrustSettings {
  std::string CaFile;
  bool CaFileUnusable = false;
  std::string UpdateKey;  // an unreadable one holds a text that is no key
};

TrustSettings TrustSettingsFrom(const RegistryKey& key);
// From the settings key opened for reading; empty values when it cannot be opened.
TrustSettings ReadTrustSettings();

// "CaFile in <settings file> cannot be read: no https:// request is made", or "".
std::string CaFileProblem(const TrustSettings& settings);

}  // namespace vornix
