#include "service/core/file_fetch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/protocol.h"
#include "platform/path.h"
#include "service/core/file_checksum.h"

namespace vornix {
namespace {

constexpr const char* kOk = "OK";

// Every character that is not a letter, a digit, '.' or '_' as %XX: a build or a file name as
// one part of a file name, told apart from the '-' between them.
std::string Escaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : text) {
    if (std::isalnum(c) || c == '.' || c == '_') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string PartialPath(const PackageFile& file) {
  const std::string folder = FolderWithSlash(file.path);
  return folder + kPartialPrefix + Escaped(file.build) + "-" +
         Escaped(file.path.substr(folder.size()));
}

// Partial downloads of other builds or files in the folder are of no more use.
void RemoveOtherPartials(const std::string& folder, const std::string& keep) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string path = folder + entry->d_name;
    if (std::strncmp(entry->d_name, kPartialPrefix, std::strlen(kPartialPrefix)) == 0 &&
        path != keep)
      unlink(path.c_str());
  }
  closedir(dir);
}

// Downloads into the partial file, from where an earlier check left it.
TransferResult Download(const PackageFile& file, const std::string& partial, long long statedSize,
                        const TransferOptions& options) {
  TransferResult result;
  const int fd =
      open(partial.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    result.cause = partial + " cannot be made: " + std::strerror(errno);
    return result;
  }
  struct stat st {};
  long long have = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
  if (statedSize != kAnySize && have > statedSize) have = 0;  // not of this file
  if (ftruncate(fd, have) != 0) have = 0;
  if (statedSize != kAnySize && have == statedSize) {
    // Whole already: what an earlier check fetched is judged at rest.
    result.completed = true;
  } else {
    DownloadRequest request;
    request.url = file.url;
    request.fd = fd;
    request.offset = have;
    request.maxBytes = statedSize == kAnySize ? kAnySize : statedSize - have;
    result = DownloadFile(request, options);
    // A server that does not answer ranges, or no longer has the bytes asked for, sends the
    // file from its start.
    if (have > 0 && (result.rangeRefused || result.httpStatus == 416) && ftruncate(fd, 0) == 0) {
      request.offset = 0;
      request.maxBytes = statedSize;
      result = DownloadFile(request, options);
    }
  }
  if (close(fd) != 0 && result.completed) {
    result.completed = false;
    result.cause = partial + " cannot be written: " + std::strerror(errno);
  }
  return result;
}

}  // namespace

std::optional<StatedFile> AskFileInfo(const std::string& commandUrl, std::string_view programId,
                                      std::string_view serverFileName,
                                      const TransferOptions& options, std::string* why) {
  TransferResult transfer;
  const std::string reply =
      PostCommand(commandUrl, FileInfoCommand(programId, serverFileName), options, &transfer);
  const std::string error = ReadReplyField(reply, "Error", kErrorCapacity);
  if (error != kOk) {
    if (why) {
      *why = "FILEINFO " + (!error.empty()  ? "answered " + error
                            : reply.empty() ? (transfer.cause.empty() ? std::string("got no reply")
                                                                      : transfer.cause)
                                            : std::string("answered no Error"));
    }
    return std::nullopt;
  }
  return StatedFile{ReplyNumber(ReadReplyField(reply, "Size", kNumberCapacity)),
                    ReplyNumber(ReadReplyField(reply, "CkSum", kNumberCapacity))};
}

std::string StatedFileMismatch(const std::optional<StatedFile>& stated,
                               const std::string& localFile) {
  if (!stated) return "the server states no size and checksum";
  const std::optional<FileSum> sum = FileChecksum(localFile);
  if (!sum) return "it cannot be read";
  if (stated->size >= 0 && stated->checksum >= 0 &&
      sum->checksum == static_cast<unsigned long>(stated->checksum) &&
      sum->bytes == static_cast<uint64_t>(stated->size))
    return {};
  return std::to_string(sum->bytes) + " bytes with checksum " + std::to_string(sum->checksum) +
         " where the server states " + std::to_string(stated->size) + " bytes with checksum " +
         std::to_string(stated->checksum);
}

bool VerifyPackageFile(const std::string& commandUrl, std::string_view programId,
                       std::string_view serverFileName, const std::string& localFile,
                       const TransferOptions& options) {
  return MatchesStatedFile(AskFileInfo(commandUrl, programId, serverFileName, options), localFile);
}

Fetched PutInPlace(const std::string& commandUrl, std::string_view programId,
                   const PackageFile& file, const FileCheck& check,
                   const TransferOptions& options) {
  Fetched fetched;
  std::string why;
  const std::optional<StatedFile> stated =
      AskFileInfo(commandUrl, programId, file.serverName, options, &why);
  if (MatchesStatedFile(stated, file.path) && check(file.path).empty()) {
    fetched.inPlace = true;
    return fetched;
  }
  fetched.downloaded = true;
  const std::string partial = PartialPath(file);
  RemoveOtherPartials(FolderWithSlash(file.path), partial);
  const TransferResult transfer =
      Download(file, partial, stated ? std::max(stated->size, 0L) : kAnySize, options);
  if (transfer.stopped) {
    fetched.stopped = true;  // kept: the next check goes on from there
    return fetched;
  }
  // The server is asked again after every download, as it always was.
  const std::optional<StatedFile> again =
      AskFileInfo(commandUrl, programId, file.serverName, options, &why);
  if (!transfer.completed) {
    // A transfer that failed is a failed download, even where what arrived would verify. A
    // server that sends more than it states starts afresh; anything else goes on next time.
    if (transfer.tooLong) unlink(partial.c_str());
    fetched.cause = transfer.cause;
    return fetched;
  }
  std::string problem = StatedFileMismatch(again, partial);
  if (!again) problem = why;
  if (problem.empty()) problem = check(partial);
  if (problem.empty() && chmod(partial.c_str(), file.mode) == 0 &&
      std::rename(partial.c_str(), file.path.c_str()) == 0) {
    fetched.inPlace = true;
    return fetched;
  }
  unlink(partial.c_str());
  fetched.cause =
      problem.empty() ? file.path + " cannot be put in place: " + std::strerror(errno) : problem;
  return fetched;
}

}  // namespace vornix
