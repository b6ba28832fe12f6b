#include "common/package_markers.h"

#include <cstdio>
#include <string_view>

#include "common/package_signature.h"
#include "common/protocol.h"
#include "platform/atomic_file.h"

namespace vornix {
namespace {

// The first `limit` bytes of a file; empty when it cannot be read.
std::string ReadHead(const std::string& path, size_t limit) {
  FILE* f = std::fopen(path.c_str(), "rbe");
  if (!f) return {};
  std::string data(limit, '\0');
  data.resize(std::fread(data.data(), 1, limit, f));
  std::fclose(f);
  return data;
}

std::string SignatureLine(const UpdateMarker& marker) {
  return std::string("<") + kSignatureElement + ">" + marker.Signature + "</" + kSignatureElement +
         ">\r\n";
}

}  // namespace

std::string ReadSetupVer(const std::string& path) {
  const std::string data = ReadHead(path, kSetupVerReadMax);
  return data.substr(0, data.find('\0'));
}

std::string PackageFolder(const std::string& programFolder, std::string_view name) {
  return programFolder + std::string(name);
}

std::string UpdatesFolder(const std::string& packageFolder) {
  return packageFolder + "/updates";
}

bool WriteSetupVer(const std::string& path, std::string_view build) {
  return ReplaceFileAtomically(path, build);
}

bool WriteUpdateXml(const std::string& path, const UpdateMarker& marker) {
  // Three text-mode lines: CR LF on disk.
  const std::string text = "<Build>" + marker.Build + "</Build>\r\n" + "<FileName>" +
                           marker.FileName + "</FileName>\r\n" + "<UpdateCmd>" + marker.UpdateCmd +
                           "</UpdateCmd>\r\n";
  if (!marker.Signature.empty()) return ReplaceFileAtomically(path, text + SignatureLine(marker));
  return ReplaceFileAtomically(path, text);
}

UpdateMarker ReadUpdateXml(const std::string& path) {
  const std::string data = ReadHead(path, kUpdateXmlReadMax);
  UpdateMarker marker;
  marker.Build = ReadReplyField(data, "Build", kBuildCapacity);
  marker.FileName = ReadReplyField(data, "FileName", kFileNameCapacity);
  marker.UpdateCmd = ReadReplyField(data, "UpdateCmd", kUpdateCmdCapacity);
  marker.Signature = ReadReplyField(data, kSignatureElement, kSignatureCapacity);
  return marker;
}

bool WriteSetupSig(const std::string& path, std::string_view signature) {
  return ReplaceFileAtomically(path, signature);
}

std::string ReadSetupSig(const std::string& path) {
  return ReadSetupVer(path);
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.front() == '-') return false;
  return name.find_first_of("/\\") == std::string_view::npos;
}

}  // namespace vornix
