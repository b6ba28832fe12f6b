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

#include "common/package_places.h"
#include "common/protocol.h"
#include "platform/file_descriptor.h"
#include "platform/path.h"
#include "platform/regular_file.h"
#include "platform/text.h"
#include "service/core/file_facts.h"

namespace vornix {
namespace {

constexpr const char* kOk = "OK";

// Every character that is not a letter, a digit, '.' or '_' as %XX: a build or a file name as
// one part of a file name, told apart from the '-' between them.
std::string Escaped(std::string_view text) {
  return PercentEncoded(text, IsWordCharacter);
}

std::string PartialPath(const PackageFile& file) {
  const std::string folder = FolderWithSlash(file.path);
  return folder + std::string(kPartialPrefix) + Escaped(file.build) + "-" +
         Escaped(file.path.substr(folder.size()));
}

// Partial downloads of other builds or files in the folder are of no more use.
void RemoveOtherPartials(const std::string& folder, const std::string& keep) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string path = folder + entry->d_name;
    if (StartsWith(entry->d_name, kPartialPrefix) && path != keep) unlink(path.c_str());
  }
  closedir(dir);
}

// A download into the partial file, from where an earlier check left it, and the facts of the
// whole partial file, worked out as its bytes arrive.
struct Downloaded {
  TransferResult transfer;
  std::optional<FileFacts> facts;  // when the transfer completed
};

Downloaded Download(const PackageFile& file, const std::string& partial, long long statedSize,
                    bool withDigest, const TransferOptions& options) {
  Downloaded out;
  TransferResult& result = out.transfer;
  FileDescriptor fd(
      open(partial.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.valid()) {
    result.cause = partial + " cannot be made: " + std::strerror(errno);
    return out;
  }
  struct stat st {};
  long long have = fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
  if (statedSize != kAnySize && have > statedSize) have = 0;  // not of this file
  if (ftruncate(fd.get(), have) != 0) have = 0;
  auto facts = std::make_unique<FactsOfBytes>(withDigest);
  // What an earlier check fetched counts from the start: read once, before the rest comes.
  if (have > 0 && !facts->AddFileStart(fd.get(), static_cast<uint64_t>(have))) {
    result.cause = partial + " cannot be read: " + std::strerror(errno);
    return out;
  }
  if (statedSize != kAnySize && have == statedSize) {
    result.completed = true;  // whole already: judged at rest
  } else {
    DownloadRequest request;
    request.url = file.url;
    request.fd = fd.get();
    request.offset = have;
    request.maxBytes = statedSize == kAnySize ? kAnySize : statedSize - have;
    request.onBytes = [&](const char* data, size_t size) { facts->Add(data, size); };
    result = DownloadFile(request, options);
    // A server that does not answer ranges, or no longer has the bytes asked for, sends the
    // file from its start.
    if (have > 0 && (result.rangeRefused || result.httpStatus == 416) &&
        ftruncate(fd.get(), 0) == 0) {
      facts = std::make_unique<FactsOfBytes>(withDigest);
      request.offset = 0;
      request.maxBytes = statedSize;
      result = DownloadFile(request, options);
    }
  }
  // Named by the size the server stated, not by what was left of it after a resumed start.
  if (result.tooLong)
    result.cause = "it brought more than the " + std::to_string(statedSize) + " bytes stated";
  if (result.completed) out.facts = facts->Finish();
  if (!fd.reset() && result.completed) {
    result.completed = false;
    result.cause = partial + " cannot be written: " + std::strerror(errno);
  }
  return out;
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

std::string StatedFileMismatch(const std::optional<StatedFile>& stated, const FileSum& sum) {
  if (!stated) return "the server states no size and checksum";
  if (stated->size >= 0 && stated->checksum >= 0 &&
      sum.checksum == static_cast<unsigned long>(stated->checksum) &&
      sum.bytes == static_cast<uint64_t>(stated->size))
    return {};
  return std::to_string(sum.bytes) + " bytes with checksum " + std::to_string(sum.checksum) +
         " where the server states " + std::to_string(stated->size) + " bytes with checksum " +
         std::to_string(stated->checksum);
}

Fetched PutInPlace(const std::string& commandUrl, std::string_view programId,
                   const PackageFile& file, const FileCheck& check,
                   const TransferOptions& options) {
  const bool withDigest = static_cast<bool>(check);
  // Empty when the facts are those stated, and the check (if any) passes; else why not.
  const auto judge = [&](const std::optional<StatedFile>& stated, const FileFacts& facts) {
    std::string problem = StatedFileMismatch(stated, facts.sum);
    if (problem.empty() && check) problem = check(facts.digest);
    return problem;
  };
  Fetched fetched;
  std::string why;
  const std::optional<StatedFile> stated =
      AskFileInfo(commandUrl, programId, file.serverName, options, &why);
  // A file in place of another size is not read at all.
  if (stated && FileSize(file.path) == stated->size) {
    const std::optional<FileFacts> atRest = ReadFileFacts(file.path, withDigest);
    if (atRest && judge(stated, *atRest).empty()) {
      fetched.inPlace = true;
      return fetched;
    }
  }
  fetched.downloaded = true;
  const std::string partial = PartialPath(file);
  RemoveOtherPartials(FolderWithSlash(file.path), partial);
  const Downloaded download =
      Download(file, partial, stated ? std::max(stated->size, 0L) : kAnySize, withDigest, options);
  const TransferResult& transfer = download.transfer;
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
  std::string problem = again ? judge(again, *download.facts) : why;
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
