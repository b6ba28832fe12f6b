#include "common/package_markers.h"

#include <cstdio>
#include <string_view>

#include "common/package_signature.h"
#include "common/protocol.h"
#include "platform/atomic_file.h"
#include "platform/regular_file.h"

namespace vornix {
namespace {

// The first `limit` bytes of a file; empty when it cannot be read or is no regular file.
std::string ReadHead(const std::string& path, size_t limit) {
  return ReadRegularFile(path, limit).value_or("");
}

// A marker value reads back exactly as it was written: the characters the reader decodes
// from character references are written as such references. Without them the bytes are
// unchanged. (A value that the server sent as "&#38;#60;" must not become "<" on its way into
// the catalogue.)
std::string MarkerText(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    switch (c) {
      case '&':
        out += "&#38;";
        break;
      case '<':
        out += "&#60;";
        break;
      case '>':
        out += "&#62;";
        break;
      default:
        out += c;
    }
  }
  return out;
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

bool WriteSetupVer(const std::string& path, std::string_view build) {
  return ReplaceFileAtomically(path, build);
}

bool WriteUpdateXml(const std::string& path, const UpdateMarker& marker) {
  // Three text-mode lines: CR LF on disk.
  std::string text = "<Build>" + MarkerText(marker.Build) + "</Build>\r\n" + "<FileName>" +
                     MarkerText(marker.FileName) + "</FileName>\r\n" + "<UpdateCmd>" +
                     MarkerText(marker.UpdateCmd) + "</UpdateCmd>\r\n";
  if (!marker.Signature.empty()) text += SignatureLine(marker);
  // Readers take the first 1024 bytes: a marker longer than that (values full of "&", "<"
  // and ">", each written as five characters) would reach them cut, its command shortened.
  if (text.size() > kUpdateXmlReadMax) return false;
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

bool WriteSetupRun(const std::string& path, std::string_view build) {
  return ReplaceFileAtomically(path, build);
}

std::string ReadSetupRun(const std::string& path) {
  return ReadSetupVer(path);
}

}  // namespace vornix
