#pragma once

#include <string>
#include <string_view>

namespace vornix {

// The marker files that tell what lies ready in a package's folder (see PackagePlaces).

// SETUP.VER names the build of the setup that lies ready: exactly the build text, no line end.
// A reader takes at most its first 128 bytes, up to the first zero byte; a missing file reads
// as empty.
inline constexpr size_t kSetupVerReadMax = 128;
std::string ReadSetupVer(const std::string& path);

// Rewrites SETUP.VER to hold exactly `build`. False when it cannot be written.
bool WriteSetupVer(const std::string& path, std::string_view build);

// UPDATE.XML: three CR LF lines <Build>, <FileName>, <UpdateCmd>, and a fourth, <Signature>,
// only when the update is signed; readers take the first 1024 bytes and pick each element with
// ReadReplyField. "&", "<" and ">" in a value are written as "&#38;", "&#60;" and "&#62;", so
// every value reads back as it was written.
inline constexpr size_t kUpdateXmlReadMax = 1024;
struct UpdateMarker {
  std::string Build;
  std::string FileName;
  std::string UpdateCmd;
  std::string Signature{};  // empty: the line is not written
};
// False, and nothing written, when it cannot be written or would not fit into what readers take.
bool WriteUpdateXml(const std::string& path, const UpdateMarker& marker);
UpdateMarker ReadUpdateXml(const std::string& path);

// SETUP.SIG beside SETUP.VER holds the setup's signature, written only when signatures are
// asked for: the text alone, read like SETUP.VER.
bool WriteSetupSig(const std::string& path, std::string_view signature);
std::string ReadSetupSig(const std::string& path);

// SETUP.RUN beside SETUP.VER holds the build of the setup the utility last started, read like
// SETUP.VER: a check that finds the service's own setup lying ready and not started yet starts
// the utility again, and one already started is not started again by that rule.
bool WriteSetupRun(const std::string& path, std::string_view build);
std::string ReadSetupRun(const std::string& path);

}  // namespace vornix
