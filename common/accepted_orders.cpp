#include "common/accepted_orders.h"

#include <cctype>
#include <cstdlib>

#include "platform/atomic_file.h"
#include "platform/path.h"
#include "platform/regular_file.h"
#include "platform/system_root.h"
#include "platform/text.h"

namespace vornix {

namespace {

constexpr size_t kReadLimit = 1 << 20;

std::string Key(PackageKind kind, std::string_view programId) {
  return (kind == PackageKind::kSetup ? "setup " : "update ") + std::string(programId);
}

// A value as one word of a line: every byte but letters, digits and a few marks as %XX, and
// an empty value as "-".
std::string Word(std::string_view value) {
  return value.empty() ? "-" : PercentEncoded(value, IsWordCharacter);
}

std::string Unword(std::string_view word) {
  if (word == "-") return {};
  std::string out;
  for (size_t i = 0; i < word.size(); ++i) {
    if (word[i] == '%' && i + 2 < word.size()) {
      out +=
          static_cast<char>(std::strtol(std::string(word.substr(i + 1, 2)).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += word[i];
    }
  }
  return out;
}

std::string Describe(const AcceptedOrder& o) {
  return "order " + std::to_string(o.order) + " (build " + o.build +
         (o.file.empty() ? "" : ", " + o.file) + ")";
}

}  // namespace

std::string AcceptedOrders::FilePath() {
  return JoinPath(JoinPath(SystemRoot(), "trust"), "accepted-orders");
}

AcceptedOrders AcceptedOrders::Read() {
  AcceptedOrders orders;
  const std::string text = ReadRegularFile(FilePath(), kReadLimit).value_or("");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string words[5];
    size_t at = start, n = 0;
    for (; n < 5 && at < end; ++n) {
      size_t blank = text.find(' ', at);
      if (blank == std::string::npos || blank > end) blank = end;
      words[n] = text.substr(at, blank - at);
      at = blank + 1;
    }
    start = end + 1;
    if (n != 5 || (words[0] != "setup" && words[0] != "update") ||
        words[2].find_first_not_of("0123456789") != std::string::npos || words[2].empty())
      continue;
    orders.orders_[words[0] + " " + Unword(words[1])] = {
        std::strtoull(words[2].c_str(), nullptr, 10), Unword(words[3]), Unword(words[4])};
  }
  return orders;
}

std::optional<AcceptedOrder> AcceptedOrders::Find(PackageKind kind,
                                                  std::string_view programId) const {
  const auto it = orders_.find(Key(kind, programId));
  if (it == orders_.end()) return std::nullopt;
  return it->second;
}

std::string AcceptedOrders::RollbackProblem(PackageKind kind, std::string_view programId,
                                            const AcceptedOrder& offered) const {
  const std::optional<AcceptedOrder> taken = Find(kind, programId);
  if (!taken || offered.order > taken->order) return {};
  if (offered.order == taken->order && offered.build == taken->build && offered.file == taken->file)
    return {};
  return "a rollback: " + Describe(offered) + " is not newer than " + Describe(*taken) +
         ", which was taken before";
}

bool AcceptedOrders::Record(PackageKind kind, std::string_view programId,
                            const AcceptedOrder& taken) {
  const std::optional<AcceptedOrder> known = Find(kind, programId);
  if (known && known->order >= taken.order) return true;
  orders_[Key(kind, programId)] = taken;
  std::string text =
      "# The highest signed order taken of each package: kind, program id, order, build, file.\n";
  for (const auto& [key, order] : orders_) {
    const size_t blank = key.find(' ');
    text += key.substr(0, blank) + " " + Word(key.substr(blank + 1)) + " " +
            std::to_string(order.order) + " " + Word(order.build) + " " + Word(order.file) + "\n";
  }
  const std::string path = FilePath();
  MakeFolders(FolderWithSlash(path));
  return ReplaceFileAtomically(path, text);
}

}  // namespace vornix
