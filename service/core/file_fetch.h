#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/package_signature.h"
#include "common/transport.h"
#include "service/core/file_checksum.h"

namespace vornix {

// One package file fetched into its place below the service's folder. FILEINFO tells its size
// and checksum; a complete copy found in place is kept, anything else is downloaded under a
// name of its own beside the place and moved there only once the server's size and checksum
// (and the publisher's signature, when asked for) match. A download that a dropped line, a
// silent server or a stop cut off is kept and goes on from where it stopped at the next check,
// where the server answers ranges.

// What FILEINFO states of a file: its Size and CkSum.
struct StatedFile {
  long size = 0;
  long checksum = 0;
};
// Nothing when the answer is not "OK"; `why` then says what came instead.
std::optional<StatedFile> AskFileInfo(const std::string& commandUrl, std::string_view programId,
                                      std::string_view serverFileName,
                                      const TransferOptions& options, std::string* why = nullptr);

// Empty when the byte count and checksum of a file are those stated; else how they differ.
std::string StatedFileMismatch(const std::optional<StatedFile>& stated, const FileSum& sum);

// One file of a package.
struct PackageFile {
  std::string serverName;  // "setup.exe" or "updates/<name>"
  std::string url;
  std::string path;   // its place
  std::string build;  // the build it belongs to: a partial download is kept by build and name
  mode_t mode = 0644;
};

// Whether a file may be trusted beyond its size and sum, given its SHA-256 (none: it could not
// be computed): empty, or why not. No check at all is an empty function, and then no SHA-256
// is computed.
using FileCheck = std::function<std::string(const std::optional<FileDigest>& digest)>;

struct Fetched {
  bool inPlace = false;
  bool downloaded = false;  // it came in this call
  bool stopped = false;     // the program is stopping: nothing was judged
  std::string cause;        // why it is not in place
};

// Makes sure the file lies verified in its place. The sum and the SHA-256 of a download are
// worked out from its bytes as they arrive; a file found in place is read once for both.
Fetched PutInPlace(const std::string& commandUrl, std::string_view programId,
                   const PackageFile& file, const FileCheck& check, const TransferOptions& options);

}  // namespace vornix
