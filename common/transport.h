#pragma once

#include <string>
#include <string_view>

namespace vornix {

// The whole transfer (connection, request and reply) is limited to 75 seconds.
inline constexpr long kTransferTimeoutSeconds = 75;

// A command reply is a few short elements; one that grows past 16 MiB is from a server gone
// wrong and is dropped rather than kept growing in memory.
inline constexpr size_t kReplyLimitBytes = 16u << 20;

// No limit on the size of a download (its caller states one when the server said a size).
inline constexpr long long kAnySize = -1;

// The address unchanged when it begins with "http://" or "https://" in any letter case, else
// "http://" in front of it. No length limit.
std::string WithHttpScheme(std::string_view address);

// https:// transfers verify the server's certificate and host name against the system's
// certificate authorities, or, when `pemFile` is not empty, against those in that file alone;
// when the settings name authorities in a form that cannot be used, no https:// transfer is
// made at all. Process-wide: the programs set it from their settings before they reach a server.
void SetTrustedAuthorities(std::string pemFile, bool usable = true);

// Posts one command document with "Content-Type: text/xml; charset=utf-8" and returns the reply
// text, complete or partial; empty when nothing could be sent or nothing came back, and when
// the reply ran past kReplyLimitBytes. The body ends at its first NUL. `timeoutSeconds`
// exists for tests; the programs use the default.
std::string PostCommand(const std::string& address, std::string_view body,
                        long timeoutSeconds = kTransferTimeoutSeconds);

// Fetches `url` into `localPath` byte for byte ("wb"). True only when every option was accepted
// and the transfer completed; an HTTP error page counts as completed. No request is made when
// the file cannot be created. A transfer that brings more than `maxBytes` is cut off there
// and fails.
bool DownloadFile(const std::string& url, const std::string& localPath,
                  long timeoutSeconds = kTransferTimeoutSeconds, long long maxBytes = kAnySize);

}  // namespace vornix
