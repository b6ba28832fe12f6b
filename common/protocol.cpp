#include "common/protocol.h"

#include <cstdlib>

#include "common/transport.h"
#include "platform/text.h"

namespace vornix {
namespace {

// The character references a reply may use for markup characters inside a value.
struct CharacterReference {
  std::string_view text;
  char character;
};
constexpr CharacterReference kReferences[] = {{"&#60;", '<'}, {"&#62;", '>'}, {"&#38;", '&'}};

}  // namespace

std::string SvrTimeCommand() {
  return "<Cmd>SVRTIME</Cmd>";
}

std::string SetupInfoCommand(std::string_view programId) {
  return "<Cmd>SETUPINFO</Cmd><ProgID>" + std::string(programId) + "</ProgID>";
}

std::string UpdateInfoCommand(std::string_view programId) {
  return "<Cmd>UPDATEINFO</Cmd><ProgID>" + std::string(programId) + "</ProgID>";
}

std::string FileInfoCommand(std::string_view programId, std::string_view serverFileName) {
  return "<Cmd>FILEINFO</Cmd><ProgID>" + std::string(programId) + "</ProgID><FileName>" +
         std::string(serverFileName) + "</FileName>";
}

std::string ConfigCommand(std::string_view clientName, const PackageCatalogue& catalogue) {
  std::string body = "<Cmd>CONFIG</Cmd><Name>" + std::string(clientName) + "</Name><Config>";
  body += "&#60;WinApps&#62;\n";
  // The catalogue's own layout with its markup escaped; the values go in as they are.
  auto line = [&body](const char* tag, std::string_view value) {
    body += "  &#60;";
    body += tag;
    body += "&#62;";
    body += value;
    body += "&#60;/";
    body += tag;
    body += "&#62;\n";
  };
  for (int i = 0; i < catalogue.count; ++i) {
    const PackageRecord& r = catalogue.records[i];
    if (!IsPackageInstalled(r)) continue;
    body += " &#60;Package&#62;\n";
    line("Name", r.Name.view());
    line("Desc", r.Desc.view());
    line("Build", r.Build.view());
    line("Update", r.Update.view());
    line("Path", r.Path.view());
    line("Key", r.Key.view());
    body += " &#60;/Package&#62;\n";
  }
  body += "&#60;/WinApps&#62;\n</Config>";
  return body;
}

std::string LogMsgCommand(std::string_view clientName, std::string_view message) {
  return "<Cmd>LOGMSG</Cmd><Msg>" + std::string(clientName) + ":" + std::string(message) + "</Msg>";
}

std::string ReadReplyField(std::string_view document, std::string_view name, size_t capacity) {
  // The reply is text: it ends at its first NUL.
  document = document.substr(0, document.find('\0'));
  if (capacity == 0) return {};
  const std::string closing = "</" + std::string(name) + ">";
  const size_t length = document.size();
  const size_t n = name.size();
  std::string value;

  // An element can start only where its opening tag and one more character still fit.
  size_t p = 0;
  while (length > n + 2 && p < length - n - 2) {
    const bool opening =
        document[p] == '<' && document.compare(p + 1, n, name) == 0 && document[p + 1 + n] == '>';
    if (!opening) {
      ++p;
      continue;
    }
    // A later occurrence replaces an earlier one whole.
    value.clear();
    size_t q = p + n + 2;
    while (value.size() < capacity - 1 && q < length) {
      if (StartsWith(document.substr(q), closing)) break;
      bool decoded = false;
      for (const auto& ref : kReferences) {
        if (StartsWith(document.substr(q), ref.text)) {
          value += ref.character;
          q += ref.text.size();
          decoded = true;
          break;
        }
      }
      if (!decoded) value += document[q++];
    }
    p = q;
  }
  return value;
}

long ReplyNumber(std::string_view text) {
  const std::string terminated(text.substr(0, text.find('\0')));
  // strtol is atol with a defined result on overflow.
  return std::strtol(terminated.c_str(), nullptr, 10);
}

void SendConfiguration(const std::string& commandUrl, std::string_view clientName,
                       const PackageCatalogue& catalogue, const TransferOptions& options) {
  PostCommand(commandUrl, ConfigCommand(clientName, catalogue), options);
}

void SendLogMessage(const std::string& commandUrl, std::string_view clientName,
                    std::string_view message, const TransferOptions& options) {
  PostCommand(commandUrl, LogMsgCommand(clientName, message), options);
}

}  // namespace vornix
