#include "vornixctl/machine_status.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/activity_log.h"
#include "common/catalogue.h"
#include "common/package_markers.h"
#include "common/package_places.h"
#include "common/package_signature.h"
#include "common/program_contract.h"
#include "common/server_address.h"
#include "common/settings_key.h"
#include "common/trust_settings.h"
#include "platform/named_mutex.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "platform/regular_file.h"
#include "platform/system_root.h"
#include "platform/text.h"
#include "platform/window_link.h"

namespace vornix {

namespace {

constexpr size_t kAnyLength = static_cast<size_t>(-1);

// Why a file cannot be read, or "" when it can.
std::string Unreadable(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  return ReadRegularFile(path, 1) ? "" : std::strerror(errno);
}

// The largest partial download in a folder: a download in progress or cut off.
long long PartialBytes(const std::string& folder) {
  long long largest = -1;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (StartsWith(entry->d_name, kPartialPrefix))
        largest = std::max(largest, FileSize(JoinPath(folder, entry->d_name)));
    }
    closedir(dir);
  }
  return largest;
}

void ReadReady(const PackagePlaces& places, const PublisherKey& key, PackageStatus& p) {
  const std::string setupVer = ReadSetupVer(places.setupVer);
  if (!setupVer.empty() && setupVer != p.build) {
    ReadyItem setup;
    setup.build = setupVer;
    setup.started = ReadSetupRun(places.setupRun) == setupVer;
    const std::string& file = places.setupFile;
    setup.problem = FileSize(file) < 0 ? std::string(kSetupFileName) + " is not there"
                    : key.Required()
                        ? SetupSignatureProblem(key, p.name, setupVer, DigestFile(file),
                                                ReadSetupSig(places.setupSig))
                        : "";
    setup.verified = setup.problem.empty();
    p.setup = setup;
  }
  const UpdateMarker marker = ReadUpdateXml(places.updateXml);
  if (!marker.Build.empty() && marker.Build != p.update) {
    ReadyItem update;
    update.build = marker.Build;
    const std::string file = places.UpdateFile(marker.FileName);
    update.problem = !IsPlainFileName(marker.FileName) || FileSize(file) < 0
                         ? "its file " + marker.FileName + " is not there"
                     : key.Required() ? UpdateSignatureProblem(key, p.name, marker.Build,
                                                               marker.FileName, marker.UpdateCmd,
                                                               DigestFile(file), marker.Signature)
                                      : "";
    update.verified = update.problem.empty();
    p.update_ = update;
  }
  p.downloading = std::max(PartialBytes(places.folder), PartialBytes(places.updatesFolder));
}

std::string ReadyText(const char* kind, const std::optional<ReadyItem>& item) {
  if (!item) return "";
  std::string text = std::string(kind) + " " + item->build + " (" +
                     (item->verified ? "verified" : "does not verify: " + item->problem);
  if (item->started) text += ", started";
  return text + ")";
}

std::string Json(const std::string& text) {
  return JsonString(text);
}

std::string Json(bool value) {
  return value ? "true" : "false";
}

std::string Json(const std::optional<ReadyItem>& item) {
  if (!item) return "null";
  return "{\"build\":" + Json(item->build) + ",\"verified\":" + Json(item->verified) +
         ",\"problem\":" + Json(item->problem) + ",\"started\":" + Json(item->started) + "}";
}

std::string TailLines(const std::string& text, size_t lines) {
  size_t at = text.size();
  for (size_t found = 0; at > 0 && found <= lines; --at)
    if (text[at - 1] == '\n' && ++found > lines) break;
  return text.substr(at);
}

// A value as a terminal shows it safely: control characters (an escape sequence in a Desc) as
// '?'.
std::string Printable(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return text;
}

}  // namespace

MachineStatus ReadMachineStatus() {
  MachineStatus s;
  s.systemRoot = SystemRoot();
  s.cataloguePath = CataloguePath();
  s.settingsPath = RegistryKey::KeyFilePath(SettingsKey());

  std::string updateKey;
  if (auto key = RegistryKey::Open(SettingsKey(), kKeyRead)) {
    s.programFolder = key->QueryString("ProgPath", kAnyLength).value_or("");
    const UrlOutValue url = ReadUrlOut(*key);
    s.serverUrl = url.problem.empty() ? url.address : "";
    if (s.serverUrl.empty() && url.problem.empty()) s.serverUrl = kDefaultServerUrl;
    if (!url.problem.empty())
      s.problems.push_back("UrlOut in " + s.settingsPath + " cannot be used (" + url.problem +
                           "): the service runs no check");
    s.filesFromServer = UseLocalServerFrom(key->QueryDword("DefaultServer"));
    updateKey = TrustSettingsFrom(*key).UpdateKey;
    s.signatures = !updateKey.empty();
    if (s.programFolder.empty())
      s.problems.push_back("no ProgPath in " + s.settingsPath + ": the service has not started");
  } else {
    const std::string why = Unreadable(s.settingsPath);
    s.problems.push_back("no settings at " + s.settingsPath + ": " +
                         (why.empty() ? "they cannot be read" : why));
  }

  s.servicePid = NamedMutexHolder(kServiceMutexName);
  s.serviceAnswers = FindWindowByTitle(kServiceWindowTitle);
  // Another user's service keeps its lock in a folder of its own: not seen is not "not running".
  const std::string lock = NamedMutex::LockFilePath(kServiceMutexName);
  struct stat st {};
  if (!s.servicePid && !s.serviceAnswers && stat(lock.c_str(), &st) != 0 && errno == EACCES) {
    s.serviceUnknown = true;
    s.problems.push_back("whether the service runs cannot be told: " + lock + ": " +
                         std::strerror(errno));
  }
  if (!s.programFolder.empty()) s.lastCheck = ReadLastCheck(s.programFolder);

  PackageCatalogue catalogue;
  if (!LoadCatalogue(s.cataloguePath, catalogue)) {
    s.problems.push_back("no catalogue at " + s.cataloguePath + ": " + Unreadable(s.cataloguePath));
    return s;
  }
  const PublisherKey key(updateKey);
  for (int i = 0; i < catalogue.count; ++i) {
    const PackageRecord& r = catalogue.records[static_cast<size_t>(i)];
    PackageStatus p;
    p.name = r.Name.str(), p.description = r.Desc.str();
    p.build = r.Build.str(), p.update = r.Update.str();
    p.installed = RoleOf(r) != PackageRole::kNotInstalled;
    if (!s.programFolder.empty()) ReadReady(PackagePlaces(s.programFolder, p.name), key, p);
    s.packages.push_back(std::move(p));
  }
  return s;
}

std::string FormatStatus(const MachineStatus& s) {
  std::string out = "System root   " + s.systemRoot + "\n";
  out += "Service       " +
         (s.servicePid       ? "runs as process " + std::to_string(*s.servicePid)
          : s.serviceAnswers ? std::string("runs")
          : s.serviceUnknown ? std::string("cannot be told (no access)")
                             : std::string("does not run")) +
         (s.programFolder.empty() ? "" : ", program folder " + s.programFolder) + "\n";
  out += "Server        " + (s.serverUrl.empty() ? std::string("not set") : s.serverUrl) +
         (s.filesFromServer ? "" : " (files from the vendor)") +
         (s.signatures ? ", signatures required" : ", no signatures") + "\n";
  out += "Last check    " +
         (s.lastCheck ? s.lastCheck->time + ", " + s.lastCheck->kind + ": " + s.lastCheck->outcome +
                            "; utility " + s.lastCheck->utility
                      : std::string("none recorded")) +
         "\n";
  for (const std::string& problem : s.problems) out += "Problem       " + problem + "\n";
  if (s.packages.empty()) return out;

  char row[512];
  out += "\n";
  std::snprintf(row, sizeof row, "%-12s %-14s %-14s %s\n", "Package", "Build", "Update",
                "Ready (Description)");
  out += row;
  for (const PackageStatus& p : s.packages) {
    std::string ready = ReadyText("setup", p.setup);
    const std::string update = ReadyText("update", p.update_);
    ready += ready.empty() || update.empty() ? update : "; " + update;
    if (p.downloading >= 0)
      ready += (ready.empty() ? "" : "; ") + std::string("downloading, ") +
               std::to_string(p.downloading) + " bytes so far";
    if (!p.installed) ready += (ready.empty() ? "" : "; ") + std::string("not installed");
    std::snprintf(row, sizeof row, "%-12s %-14s %-14s %s (%s)", p.name.c_str(),
                  p.build.empty() ? "-" : p.build.c_str(),
                  p.update.empty() ? "-" : p.update.c_str(), ready.empty() ? "-" : ready.c_str(),
                  p.description.c_str());
    out += Printable(row) + "\n";
  }
  return out;
}

std::string StatusJson(const MachineStatus& s) {
  std::string out =
      "{\"systemRoot\":" + Json(s.systemRoot) + ",\"catalogue\":" + Json(s.cataloguePath) +
      ",\"service\":{\"running\":" +
      (s.serviceUnknown ? "null" : Json(s.servicePid.has_value() || s.serviceAnswers)) +
      ",\"pid\":" + (s.servicePid ? std::to_string(*s.servicePid) : "null") +
      ",\"programFolder\":" + Json(s.programFolder) + "},\"server\":{\"url\":" + Json(s.serverUrl) +
      ",\"filesFromServer\":" + Json(s.filesFromServer) + ",\"signatures\":" + Json(s.signatures) +
      "},\"lastCheck\":";
  out += s.lastCheck
             ? "{\"time\":" + Json(s.lastCheck->time) + ",\"kind\":" + Json(s.lastCheck->kind) +
                   ",\"outcome\":" + Json(s.lastCheck->outcome) +
                   ",\"utility\":" + Json(s.lastCheck->utility) + "}"
             : "null";
  out += ",\"packages\":[";
  for (size_t i = 0; i < s.packages.size(); ++i) {
    const PackageStatus& p = s.packages[i];
    out +=
        (i ? "," : "") + std::string("{\"name\":") + Json(p.name) +
        ",\"description\":" + Json(p.description) + ",\"build\":" + Json(p.build) +
        ",\"update\":" + Json(p.update) + ",\"installed\":" + Json(p.installed) +
        ",\"setupReady\":" + Json(p.setup) + ",\"updateReady\":" + Json(p.update_) +
        ",\"downloadingBytes\":" + (p.downloading >= 0 ? std::to_string(p.downloading) : "null") +
        "}";
  }
  out += "],\"problems\":[";
  for (size_t i = 0; i < s.problems.size(); ++i) out += (i ? "," : "") + Json(s.problems[i]);
  return out + "]}\n";
}

std::string LastLogLines(const MachineStatus& s, size_t lines) {
  std::string out;
  for (const LogFileNames names : {kServiceLogNames, kUpdaterLogNames}) {
    const std::string path = s.programFolder + names.log;
    out += "==> " + path + " <==\n";
    const std::optional<std::string> text = ReadRegularFile(path);
    if (!text) {
      out += "(" +
             std::string(s.programFolder.empty() ? "the service has not started"
                                                 : std::strerror(errno)) +
             ")\n";
      continue;
    }
    std::string tail = TailLines(*text, lines);
    tail.erase(std::remove(tail.begin(), tail.end(), '\r'), tail.end());
    out += tail;
  }
  return out;
}

}  // namespace vornix
