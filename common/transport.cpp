#include "common/transport.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "common/activity_log.h"
#include "platform/file_descriptor.h"
#include "platform/text.h"

namespace vornix {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kScheme = "http://";
constexpr std::string_view kSecureScheme = "https://";
constexpr const char* kContentTypeHeader = "Content-Type: text/xml; charset=utf-8";
// libcurl hands over at most 16 KiB at a time; the file is written in larger pieces.
constexpr size_t kFileBufferSize = 1 << 20;

struct CurlCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlCleanup>;

struct SlistFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistFree>;

// libcurl's global set-up, once per program, before any thread uses it.
CURL* NewHandle() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  return curl_easy_init();
}

bool Stopping(const TransferOptions& options) {
  return options.stop && options.stop->load();
}

// Watches a transfer about once a second and more often while bytes come: it ends it when the
// program stops, and a download when no byte has come for the silence limit.
struct Watch {
  const TransferOptions* options;
  bool download;
  Clock::time_point lastByte = Clock::now();
  curl_off_t seen = 0;
  bool silent = false;
  bool stopped = false;
};

int OnProgress(void* data, curl_off_t, curl_off_t now, curl_off_t, curl_off_t) {
  auto* watch = static_cast<Watch*>(data);
  if (Stopping(*watch->options)) {
    watch->stopped = true;
    return 1;
  }
  if (!watch->download) return 0;
  const Clock::time_point at = Clock::now();
  if (now != watch->seen) {
    watch->seen = now;
    watch->lastByte = at;
  } else if (at - watch->lastByte >= std::chrono::seconds(watch->options->silenceLimitSeconds)) {
    watch->silent = true;
    return 1;
  }
  return 0;
}

// An https:// transfer trusts only a verified certificate for the host it names. A plain
// http:// transfer gets no option at all, so its requests stay as they always were.
bool AcceptTlsOptions(CURL* h, const std::string& url, const Authorities& trust) {
  if (!StartsWithIgnoringCase(url, kSecureScheme)) return true;
  if (!trust.usable) return false;
  return curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
         curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
         (trust.pemFile.empty() ||
          (curl_easy_setopt(h, CURLOPT_CAINFO, trust.pemFile.c_str()) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_CAPATH, static_cast<char*>(nullptr)) == CURLE_OK));
}

bool AcceptWatch(CURL* h, Watch& watch) {
  return curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
         curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress) == CURLE_OK &&
         curl_easy_setopt(h, CURLOPT_XFERINFODATA, &watch) == CURLE_OK;
}

void Run(const TransferOptions& options, const std::function<void()>& transfer) {
  if (options.runTransfer) {
    options.runTransfer(transfer);
  } else {
    transfer();
  }
}

// The outcome of a performed transfer, its cause in the transfer's own words.
void Judge(CURL* h, CURLcode code, const char* errorText, const Watch& watch,
           TransferResult& result) {
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.httpStatus);
  result.stopped = watch.stopped;
  if (watch.stopped) {
    result.cause = "stopped";
  } else if (watch.silent) {
    result.cause =
        "no byte arrived for " + std::to_string(watch.options->silenceLimitSeconds) + " s";
  } else if (code == CURLE_HTTP_RETURNED_ERROR || (code == CURLE_OK && result.httpStatus >= 400)) {
    result.cause = "HTTP " + std::to_string(result.httpStatus);
  } else if (code == CURLE_RANGE_ERROR) {
    result.rangeRefused = true;
    result.cause = "the server does not answer ranges";
  } else if (code != CURLE_OK && result.cause.empty()) {
    result.cause = *errorText ? errorText : curl_easy_strerror(code);
  }
  result.completed = code == CURLE_OK && result.cause.empty();
}

// One transfer, where the program asks (see Run), on a handle of its own: its address, the
// options particular to it (`configure`), the watch and the authorities; `performed` sees how
// it ended before it is judged into `r`.
void Perform(const TransferOptions& options, const std::string& url, bool download,
             const std::function<bool(CURL*)>& configure,
             const std::function<void(CURLcode)>& performed, TransferResult& r) {
  Run(options, [&] {
    CurlHandle handle(NewHandle());
    if (!handle) {
      r.cause = "no transfer could be set up";
      return;
    }
    CURL* h = handle.get();
    char errorText[CURL_ERROR_SIZE] = "";
    Watch watch{&options, download};
    const bool accepted = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
                          curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK &&
                          configure(h) && AcceptWatch(h, watch) &&
                          AcceptTlsOptions(h, url, options.trust);
    if (!accepted) {
      r.cause = options.trust.usable ? "the transfer's options were refused"
                                     : "the settings' CaFile cannot be read";
      return;
    }
    const CURLcode code = curl_easy_perform(h);
    performed(code);
    Judge(h, code, errorText, watch, r);
  });
}

// "<Cmd>" and the names after it, for the trace: "SETUPINFO qorax".
std::string CommandName(std::string_view document) {
  std::string name;
  for (const char* element : {"Cmd", "ProgID", "FileName"}) {
    const std::string open = std::string("<") + element + ">";
    const size_t start = document.find(open);
    if (start == std::string_view::npos) continue;
    const size_t end = document.find('<', start + open.size());
    if (!name.empty()) name += ' ';
    name += document.substr(start + open.size(), end - start - open.size());
  }
  return name.empty() ? "(no command)" : name;
}

void Trace(const TransferOptions& options, const std::string& what, const std::string& url,
           const TransferResult& r, Clock::time_point began) {
  if (!options.trace) return;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f s",
                std::chrono::duration<double>(Clock::now() - began).count());
  options.trace(LogTimeStamp() + " | " + what + " | " + url + " | " +
                (r.httpStatus ? "HTTP " + std::to_string(r.httpStatus) : "no answer") + " | " +
                std::to_string(r.bytes) + " bytes | " + seconds + " | " +
                (r.completed ? "OK" : r.cause));
}

struct Reply {
  std::string text;
  size_t received = 0;
  bool tooLong = false;
};

// Keeps each chunk up to its first NUL: the reply is text, and a NUL would end it for every
// reader anyway. Takes the whole chunk, so the transfer goes on, until the reply runs past
// its limit; then the transfer is aborted.
size_t AppendReplyChunk(char* data, size_t size, size_t count, void* userData) {
  auto* reply = static_cast<Reply*>(userData);
  const size_t bytes = size * count;
  reply->received += bytes;
  if (reply->received > kReplyLimitBytes) {
    reply->tooLong = true;
    return 0;
  }
  const void* nul = std::memchr(data, '\0', bytes);
  reply->text.append(data, nul ? static_cast<size_t>(static_cast<const char*>(nul) - data) : bytes);
  return count;
}

// A download's bytes on their way to the file: counted against the limit, shown to the
// observer, and written in large pieces.
struct Sink {
  Sink(const DownloadRequest* request, long long left) : request(request), left(left) {}
  const DownloadRequest* request;
  long long left;
  std::string buffer;
  unsigned long long received = 0;
  bool tooLong = false;
  int writeError = 0;

  bool Flush() {
    if (!WriteAll(request->fd, buffer)) {
      writeError = errno;
      return false;
    }
    buffer.clear();
    return true;
  }
};

size_t WriteToSink(char* data, size_t size, size_t count, void* userData) {
  auto* sink = static_cast<Sink*>(userData);
  const size_t bytes = size * count;
  if (sink->left != kAnySize) {
    if (static_cast<long long>(bytes) > sink->left) {
      sink->tooLong = true;  // more than the server said it would send: cut off
      return 0;
    }
    sink->left -= static_cast<long long>(bytes);
  }
  sink->received += bytes;
  if (sink->request->onBytes) sink->request->onBytes(data, bytes);
  sink->buffer.append(data, bytes);
  if (sink->buffer.size() >= kFileBufferSize && !sink->Flush()) return 0;
  return bytes;
}

}  // namespace

std::string WithHttpScheme(std::string_view address) {
  if (StartsWithIgnoringCase(address, kScheme) || StartsWithIgnoringCase(address, kSecureScheme)) {
    return std::string(address);
  }
  std::string url(kScheme);
  url.append(address);
  return url;
}

std::string PostCommand(const std::string& address, std::string_view body,
                        const TransferOptions& options, TransferResult* result) {
  TransferResult local;
  TransferResult& r = result ? *result : local;
  r = TransferResult();
  // The document is NUL-terminated text: it ends at its first NUL.
  const std::string document(body.substr(0, body.find('\0')));
  const std::string url = WithHttpScheme(address);
  const Clock::time_point began = Clock::now();
  if (Stopping(options)) {
    r.stopped = true;
    r.cause = "stopped";
    return {};
  }

  Reply reply;
  const HeaderList headers(curl_slist_append(nullptr, kContentTypeHeader));
  const auto configure = [&](CURL* h) {
    return curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &AppendReplyChunk) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(document.size())) ==
               CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_POSTFIELDS, document.c_str()) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_TIMEOUT, options.commandLimitSeconds) == CURLE_OK;
  };
  const auto performed = [&](CURLcode) {
    r.bytes = reply.received;
    if (reply.tooLong) {
      r.tooLong = true;
      r.cause = "a reply longer than " + std::to_string(kReplyLimitBytes) + " bytes";
    }
  };
  Perform(options, url, false, configure, performed, r);
  Trace(options, "POST " + CommandName(document), url, r, began);
  if (reply.tooLong) return {};
  return std::move(reply.text);
}

TransferResult DownloadFile(const DownloadRequest& request, const TransferOptions& options) {
  TransferResult r;
  const std::string url = WithHttpScheme(request.url);
  const Clock::time_point began = Clock::now();
  const std::string what =
      request.offset > 0 ? "GET from byte " + std::to_string(request.offset) : std::string("GET");
  if (Stopping(options)) {
    r.stopped = true;
    r.cause = "stopped";
    return r;
  }
  Sink sink{&request, request.maxBytes};
  const auto configure = [&](CURL* h) {
    return curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteToSink) == CURLE_OK &&
           // An error page is no part of the file: it is never written.
           curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, options.silenceLimitSeconds) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_RESUME_FROM_LARGE,
                            static_cast<curl_off_t>(request.offset)) == CURLE_OK;
  };
  const auto performed = [&](CURLcode) {
    // Any cause said here judges the transfer as not completed.
    const bool flushed = sink.Flush();
    r.bytes = sink.received;
    if (sink.tooLong) {
      r.tooLong = true;
      r.cause = "it brought more than the " + std::to_string(request.maxBytes) + " bytes stated";
    } else if (!flushed || sink.writeError) {
      r.cause = std::string("the file cannot be written: ") + std::strerror(sink.writeError);
    }
  };
  Perform(options, url, true, configure, performed, r);
  Trace(options, what, url, r, began);
  return r;
}

TransferResult DownloadToFile(const std::string& url, const std::string& localPath,
                              const TransferOptions& options, long long maxBytes) {
  FileDescriptor fd(open(localPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd.valid()) {
    TransferResult r;
    r.cause = localPath + " cannot be made: " + std::strerror(errno);
    return r;
  }
  DownloadRequest request;
  request.url = url;
  request.fd = fd.get();
  request.maxBytes = maxBytes;
  TransferResult r = DownloadFile(request, options);
  if (!fd.reset() && r.completed) {
    r.completed = false;
    r.cause = std::string("the file cannot be written: ") + std::strerror(errno);
  }
  return r;
}

}  // namespace vornix
