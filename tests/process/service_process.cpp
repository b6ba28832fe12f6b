#include "tests/process/service_process.h"

#include <filesystem>

#include "common/settings_key.h"
#include "platform/registry.h"

namespace vornix::testing {

ServiceProcess::ServiceProcess(const std::string& folder, const std::string& root,
                               std::map<std::string, std::string> env)
    : BackgroundProcess(
          {folder + "/Vornix"},
          (env.insert({{"VORNIX_SYSTEM_ROOT", root}, {"QT_QPA_PLATFORM", "offscreen"}}), env),
          folder, root + "/service-output-" + std::to_string(++started_)),
      output_(root + "/service-output-" + std::to_string(started_)) {
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(BuiltProgramFolder() + "/Vornix", folder + "/Vornix",
                             std::filesystem::copy_options::skip_existing);
}

void WriteServiceSettings(const std::string& serverAddress, const std::string& programFolder) {
  auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
  key->SetDword("DefaultServer", 1);
  key->SetString("UrlOut", serverAddress);
  key->SetString("ProgPath", programFolder + "/");
}

}  // namespace vornix::testing
