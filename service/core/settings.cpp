#include "service/core/settings.h"

#include "common/activity_log.h"
#include "common/catalogue.h"
#include "common/identity.h"
#include "common/transport.h"
#include "common/trust_settings.h"
#include "platform/registry.h"
#include "service/core/registration.h"

namespace vornix {

namespace {
constexpr uint32_t kDefaultServerLocal = 1;
constexpr uint32_t kDefaultServerVendor = 2;
}  // namespace

std::string ScanInstalledPackages(std::set<std::string>& detected) {
  detected.clear();
  std::string list;
  PackageCatalogue catalogue;
  if (LoadCatalogue(CataloguePath(), catalogue)) {
    for (int i = 0; i < catalogue.count; ++i) {
      const PackageRecord& record = catalogue.records[static_cast<size_t>(i)];
      if (record.Name.str() == kServicePackageName || !IsPackageInstalled(record)) continue;
      detected.insert(record.Desc.str());
      if (!list.empty()) list += ", ";
      list += record.Desc.str();
    }
  }
  return list.empty() ? std::string(kNoApplicationsText) : kDetectedPrefix + list;
}

void LoadSettings(ServiceState& state, Notices& notices) {
  state.ServerUrl = kDefaultServerUrl;
  state.UseLocalServer = true;

  const std::string text = ScanInstalledPackages(state.DetectedApplications);
  notices.ShowNotice(text, kSettingsNoticeHoldMs);
  WriteLogLine(text);

  TrustSettings trust;
  if (auto key = RegistryKey::Open(SettingsKey(), kKeyRead | kKeySetValue)) {
    if (auto url = key->QueryString("UrlOut", kUrlOutCapacity)) state.ServerUrl = *url;
    state.UseLocalServer = UseLocalServerFrom(key->QueryDword("DefaultServer"));
    trust = TrustSettingsFrom(*key);
  }
  state.UpdateKey = trust.UpdateKey;
  SetTrustedAuthorities(trust.CaFile);
  if (state.ServerUrl.empty()) state.ServerUrl = kDefaultServerUrl;
}

void SaveSettings(const ServiceState& state) {
  auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
  if (!key) return;
  key->SetString("Version", kSettingsVersionText);
  key->SetDword("DefaultServer", state.UseLocalServer ? kDefaultServerLocal : kDefaultServerVendor);
  key->SetString("UrlOut", state.ServerUrl);
  key->SetString("LastUpdate", LogTimeStamp());
  key->SetString("ProgPath", state.ProgramFolder);
}

bool ApplyChanges(ServiceState& state, const std::string& urlEditText, bool useLocalChecked,
                  MessageBoxes& boxes, Notices& notices) {
  const std::string url = urlEditText.substr(0, kUrlEditCapacity - 1);
  state.UseLocalServer = useLocalChecked;
  const MessageBoxAnswer answer =
      boxes.Show(kApplyQuestion, kNoticeCaption, MessageBoxButtons::kYesNo);
  if (answer == MessageBoxAnswer::kYes) {
    // An empty address is stored as it is; the default comes back at the next load.
    state.ServerUrl = url;
    SaveSettings(state);
    notices.ShowNotice(kChangesAppliedText, kSettingsNoticeHoldMs);
    return true;
  }
  LoadSettings(state, notices);
  return false;
}

}  // namespace vornix
