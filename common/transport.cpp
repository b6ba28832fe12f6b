#include "common/transport.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vornix {
namespace {

constexpr std::string_view kScheme = "http://";
constexpr std::string_view kSecureScheme = "https://";
constexpr const char* kContentTypeHeader = "Content-Type: text/xml; charset=utf-8";

struct CurlCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlCleanup>;

struct SlistFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistFree>;

struct FileClose {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<FILE, FileClose>;

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

struct Download {
  FILE* file;
  long long left;  // bytes still allowed, or kAnySize
};

// fwrite through libcurl's callback type: every received byte goes to the file unchanged, up
// to the size the caller allows.
size_t WriteToFile(char* data, size_t size, size_t count, void* userData) {
  auto* download = static_cast<Download*>(userData);
  const long long bytes = static_cast<long long>(size * count);
  if (download->left != kAnySize) {
    if (bytes > download->left) return 0;  // cut off: more than the server said it would send
    download->left -= bytes;
  }
  return std::fwrite(data, size, count, download->file);
}

struct Authorities {
  std::string pemFile;
  bool usable = true;
};
Authorities& TrustedAuthorities() {
  static Authorities authorities;
  return authorities;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  bool same = text.size() >= prefix.size();
  for (size_t i = 0; same && i < prefix.size(); ++i) {
    same = std::tolower(static_cast<unsigned char>(text[i])) == prefix[i];
  }
  return same;
}

// An https:// transfer trusts only a verified certificate for the host it names. A plain
// http:// transfer gets no option at all, so its requests stay as they always were.
bool AcceptTlsOptions(CURL* h, const std::string& url) {
  if (!StartsWithIgnoringCase(url, kSecureScheme)) return true;
  if (!TrustedAuthorities().usable) return false;
  const std::string& pemFile = TrustedAuthorities().pemFile;
  return curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
         curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
         (pemFile.empty() ||
          (curl_easy_setopt(h, CURLOPT_CAINFO, pemFile.c_str()) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_CAPATH, static_cast<char*>(nullptr)) == CURLE_OK));
}

}  // namespace

void SetTrustedAuthorities(std::string pemFile, bool usable) {
  TrustedAuthorities() = {std::move(pemFile), usable};
}

std::string WithHttpScheme(std::string_view address) {
  if (StartsWithIgnoringCase(address, kScheme) || StartsWithIgnoringCase(address, kSecureScheme)) {
    return std::string(address);
  }
  std::string url(kScheme);
  url.append(address);
  return url;
}

std::string PostCommand(const std::string& address, std::string_view body, long timeoutSeconds) {
  // The document is NUL-terminated text: it ends at its first NUL.
  const std::string document(body.substr(0, body.find('\0')));
  const std::string url = WithHttpScheme(address);
  Reply reply;

  CurlHandle handle(curl_easy_init());
  if (!handle) return {};
  CURL* h = handle.get();

  bool accepted = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &AppendReplyChunk) == CURLE_OK;

  HeaderList headers(curl_slist_append(nullptr, kContentTypeHeader));

  if (accepted) {
    accepted = curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(document.size())) ==
                   CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_POSTFIELDS, document.c_str()) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_TIMEOUT, timeoutSeconds) == CURLE_OK &&
               AcceptTlsOptions(h, url);
    // The result is not examined: whatever arrived is the reply.
    if (accepted) curl_easy_perform(h);
  }

  // Header list first, then the handle, as the transfer was set up.
  headers.reset();
  handle.reset();
  if (reply.tooLong) return {};
  return std::move(reply.text);
}

constexpr size_t kFileBufferSize = 1 << 20;

bool DownloadFile(const std::string& url, const std::string& localPath, long timeoutSeconds,
                  long long maxBytes) {
  const std::string fullUrl = WithHttpScheme(url);

  FileHandle file(std::fopen(localPath.c_str(), "wbe"));
  if (!file) return false;
  // libcurl hands over at most 16 KiB at a time; a larger stream buffer writes in fewer calls.
  std::setvbuf(file.get(), nullptr, _IOFBF, kFileBufferSize);

  CurlHandle handle(curl_easy_init());
  if (!handle) return false;
  CURL* h = handle.get();

  Download download{file.get(), maxBytes};
  const bool accepted = curl_easy_setopt(h, CURLOPT_URL, fullUrl.c_str()) == CURLE_OK &&
                        curl_easy_setopt(h, CURLOPT_WRITEDATA, &download) == CURLE_OK &&
                        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteToFile) == CURLE_OK &&
                        curl_easy_setopt(h, CURLOPT_TIMEOUT, timeoutSeconds) == CURLE_OK &&
                        AcceptTlsOptions(h, fullUrl);
  CURLcode result = CURLE_FAILED_INIT;
  if (accepted) result = curl_easy_perform(h);

  handle.reset();
  // A file that cannot be completed on disk is not a completed download.
  const bool closed = std::fclose(file.release()) == 0;
  return accepted && result == CURLE_OK && closed;
}

}  // namespace vornix
