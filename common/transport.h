#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace vornix {

// A command's whole exchange (connection, request and reply) is limited to 75 seconds; a
// download may take as long as it needs, but fails when no byte arrives for 75 seconds.
inline constexpr long kTransferTimeoutSeconds = 75;

// A command reply is a few short elements; one that grows past 16 MiB is from a server gone
// wrong and is dropped rather than kept growing in memory.
inline constexpr size_t kReplyLimitBytes = 16u << 20;

// No limit on the size of a download (its caller states one when the server said a size).
inline constexpr long long kAnySize = -1;

// Whom an https:// transfer trusts: the system's certificate authorities (no file), those in
// one PEM file alone, or nobody at all when the settings name authorities in a form that
// cannot be read. A plain http:// transfer is not touched by any of it.
struct Authorities {
  std::string pemFile;
  bool usable = true;
};

// How a program reaches servers; every transfer is given one.
struct TransferOptions {
  Authorities trust;
  long commandLimitSeconds = kTransferTimeoutSeconds;
  long silenceLimitSeconds = kTransferTimeoutSeconds;
  // Set: a running transfer ends within a second and no new one is begun (the program stops).
  const std::atomic<bool>* stop = nullptr;
  // Runs a transfer while the caller waits for it: the window layer runs it on a thread of its
  // own and keeps its windows and commands answered meanwhile. Empty: the caller's thread.
  std::function<void(const std::function<void()>& transfer)> runTransfer;
  // Takes one line per exchange for the traffic trace.
  std::function<void(const std::string& line)> trace;
};

// What came of one exchange.
struct TransferResult {
  bool completed = false;        // it ran to its end and the server's status was below 400
  long httpStatus = 0;           // 0 when no answer came
  unsigned long long bytes = 0;  // bytes of the answer's body received
  std::string cause;             // why it did not complete, as the transfer tells it
  bool stopped = false;          // ended by the stop
  bool tooLong = false;          // it brought more than was allowed
  bool rangeRefused = false;     // asked to go on from a byte, the server would not
};

// The address unchanged when it begins with "http://" or "https://" in any letter case, else
// "http://" in front of it. No length limit.
std::string WithHttpScheme(std::string_view address);

// Posts one command document with "Content-Type: text/xml; charset=utf-8" and returns the reply
// text, complete or partial, whatever the HTTP status; empty when nothing could be sent or
// nothing came back, and when the reply ran past kReplyLimitBytes. The body ends at its first
// NUL. `result`, when given, tells how the exchange went.
std::string PostCommand(const std::string& address, std::string_view body,
                        const TransferOptions& options = {}, TransferResult* result = nullptr);

// One download: the bytes of `url` from byte `offset` on (asked for with a range when it is not
// 0), appended to the open file `fd`, at most `maxBytes` of them (kAnySize: no limit).
// `onBytes` sees every byte as it is written.
struct DownloadRequest {
  std::string url;
  int fd = -1;
  long long offset = 0;
  long long maxBytes = kAnySize;
  std::function<void(const char* data, size_t size)> onBytes;
};

// A transfer that brings more than `maxBytes`, that cannot write its file, that the server
// answers with an HTTP error, that the server will not give from `offset` (rangeRefused), or
// that hears nothing for the silence limit, fails. Nothing is written past `maxBytes`.
TransferResult DownloadFile(const DownloadRequest& request, const TransferOptions& options = {});

// The same into a file made anew at `localPath` (no request is made when it cannot be made).
TransferResult DownloadToFile(const std::string& url, const std::string& localPath,
                              const TransferOptions& options = {}, long long maxBytes = kAnySize);

}  // namespace vornix
