#pragma once

#include <string>
#include <string_view>

#include "common/catalogue.h"
#include "common/transport.h"

namespace vornix {

// Capacities of the reply fields, terminator included: a value keeps one character less.
inline constexpr size_t kErrorCapacity = 256;
inline constexpr size_t kBuildCapacity = 32;
inline constexpr size_t kFileNameCapacity = 128;
inline constexpr size_t kUpdateCmdCapacity = 128;
inline constexpr size_t kNumberCapacity = 32;  // Size, CkSum
inline constexpr size_t kTimeCapacity = 16;

// The command documents, byte for byte.
std::string SvrTimeCommand();
std::string SetupInfoCommand(std::string_view programId);
std::string UpdateInfoCommand(std::string_view programId);
std::string FileInfoCommand(std::string_view programId, std::string_view serverFileName);
std::string ConfigCommand(std::string_view clientName, const PackageCatalogue& catalogue);
std::string LogMsgCommand(std::string_view clientName, std::string_view message);

// The decoded value of the element <name>...</name> in `document`, at most capacity - 1
// characters; empty when absent. "&#60;", "&#62;" and "&#38;" are decoded. When the element
// occurs more than once, the last occurrence wins whole.
std::string ReadReplyField(std::string_view document, std::string_view name, size_t capacity);

// C atol: the leading decimal digits (after blanks and a sign), 0 when there are none.
long ReplyNumber(std::string_view text);

// CONFIG with the installed packages of the catalogue; the reply is dropped.
void SendConfiguration(const std::string& commandUrl, std::string_view clientName,
                       const PackageCatalogue& catalogue, const TransferOptions& options);

// LOGMSG "<client name>:<message>"; the reply is dropped.
void SendLogMessage(const std::string& commandUrl, std::string_view clientName,
                    std::string_view message, const TransferOptions& options);

}  // namespace vornix
