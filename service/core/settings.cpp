#include "service/core/settings.h"

#include <cstdint>

#include "common/activity_log.h"
#include "common/catalogue.h"
#include "common/server_address.h"
#include "common/settings_key.h"
#include "common/transport.h"
#include "common/trust_settings.h"
#include "platform/registry.h"
#include "service/core/check_cycle.h"
#include "service/core/registration.h"

namespace vornix {

namespace {
constexpr uint32_t kDefaultServerLocal = 1;
constexpr uint32_t kDefaultServerVendor = 2;

std::string UrlOutProblem(const std::string& why) {
  return "UrlOut in " + RegistryKey::KeyFilePath(SettingsKey()) + " cannot be used (" + why +
         "): no check runs";
}
}  // namespace

void LoadSettings(ServiceState& state, Notices& notices) {
  state.ServerUrl = kDefaultServerUrl;
  state.UseLocalServer = true;
  state.UrlOutProblem.clear();

  const std::string text = ScanInstalledPackages(state.DetectedApplications);
  notices.ShowNotice(text, kSettingsNoticeHoldMs);
  WriteLogLine(text);

  TrustSettings trust;
  // Reading needs read access only: a file the service cannot write is still what it uses.
  if (auto key = RegistryKey::Open(SettingsKey(), kKeyRead)) {
    const UrlOutValue url = ReadUrlOut(*key);
    state.ServerUrl = url.address;
    if (!url.problem.empty()) state.UrlOutProblem = UrlOutProblem(url.problem);
    state.UseLocalServer = UseLocalServerFrom(key->QueryDword("DefaultServer"));
    trust = TrustSettingsFrom(*key);
  }
  state.UpdateKey = trust.UpdateKey;
  state.Transfer.trust = {trust.CaFile, !trust.CaFileUnusable};
  if (const std::string problem = CaFileProblem(trust); !problem.empty()) SayProblem(problem);
  if (!state.UrlOutProblem.empty()) SayProblem(state.UrlOutProblem);
  if (state.ServerUrl.empty()) state.ServerUrl = kDefaultServerUrl;
}

void SaveSettings(const ServiceState& state, bool userChange) {
  auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
  if (!key) return;
  // A value whose line cannot be read stays as it is, unless the user set it in the window.
  const auto set = [&](const char* name, const RegistryKey::Value& value, bool byUser) {
    if (key->Unreadable(name) && !byUser) {
      SayProblem(std::string("The settings value ") + name + " in " + key->FilePath() +
                 " cannot be read; it is left as it is");
      return;
    }
    if (const auto* text = std::get_if<std::string>(&value))
      key->SetString(name, *text, byUser);
    else
      key->SetDword(name, std::get<uint32_t>(value), byUser);
  };
  set("Version", std::string(kSettingsVersionText), false);
  // A value that already means what the service holds stays as it is written: an empty UrlOut
  // stands for the default whatever the default is then, a DefaultServer of 0 for the local one.
  const auto storedServer = key->QueryDword("DefaultServer");
  if (userChange || !storedServer || UseLocalServerFrom(storedServer) != state.UseLocalServer)
    set("DefaultServer", state.UseLocalServer ? kDefaultServerLocal : kDefaultServerVendor,
        userChange);
  const auto storedUrl = key->QueryString("UrlOut", kUrlOutCapacity);
  const bool urlMeansTheSame =
      storedUrl && (storedUrl->empty() ? kDefaultServerUrl : *storedUrl) == state.ServerUrl;
  // An address the service could not use is never replaced by the default it stood in with.
  if (state.UrlOutProblem.empty() && (userChange || !urlMeansTheSame))
    set("UrlOut", state.ServerUrl, userChange);
  set("LastUpdate", LogTimeStamp(), false);
  set("ProgPath", state.ProgramFolder, false);
}

std::string UnprotectedRootWarning(const ServiceState& state, bool runsAsRoot) {
  if (!runsAsRoot || !state.UpdateKey.empty()) return {};
  return "Vornix runs as root without UpdateKey: the setups and update commands it runs as root "
         "are checked only against a 16-bit sum from the same server, so whoever controls the "
         "server or the network between can run any program on this machine; set UpdateKey "
         "(README, Security)";
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
    state.UrlOutProblem.clear();
    SaveSettings(state, true);
    notices.ShowNotice(kChangesAppliedText, kSettingsNoticeHoldMs);
    return true;
  }
  LoadSettings(state, notices);
  return false;
}

}  // namespace vornix
