#include "common/accepted_orders.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "common/package_signature.h"
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

std::optional<AcceptedOrder> SignedOrder(std::string_view signature, std::string_view build,
                                         std::string_view file) {
  const std::optional<SignedValue> value = ParseSignedValue(signature);
  if (!value) return std::nullopt;
  return AcceptedOrder{value->order, std::string(build), std::string(file)};
}

std::string AcceptedOrders::FilePath() {
  return JoinPath(JoinPath(SystemRoot(), "trust"), "accepted-orders");
}

AcceptedOrders AcceptedOrders::Read() {
  AcceptedOrders orders;
  const std::string path = FilePath();
  std::optional<std::string> text = ReadRegularFile(path, kReadLimit + 1);
  if (!text) {
    // None yet is an empty record; anything else in its place is one that cannot be read.
    if (FileExists(path)) orders.unreadable_ = "it is no regular file, or cannot be opened";
    return orders;
  }
  if (text->size() > kReadLimit) {
    orders.unreadable_ = "it is longer than " + std::to_string(kReadLimit) + " bytes";
    return orders;
  }
  if (StartsWith(*text, "\xEF\xBB\xBF")) text->erase(0, 3);  // a byte order mark an editor added
  size_t start = 0;
  for (int lineNumber = 1; start < text->size(); ++lineNumber) {
    size_t end = text->find('\n', start);
    if (end == std::string::npos) end = text->size();
    const std::string_view line = TrimBlanks(std::string_view(*text).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == '#') continue;
    std::vector<std::string_view> words;
    for (size_t at = 0; at < line.size();) {
      const size_t word = line.find_first_not_of(kWhiteSpace, at);
      if (word == std::string_view::npos) break;
      const size_t blank = std::min(line.find_first_of(kWhiteSpace, word), line.size());
      words.push_back(line.substr(word, blank - word));
      at = blank;
    }
    const std::optional<uint64_t> order =
        words.size() == 5 ? ParseOrder(words[2]) : std::optional<uint64_t>();
    if (!order || (words[0] != "setup" && words[0] != "update")) {
      // A line that cannot be read may have held any package's order: none is known for sure.
      orders.unreadable_ = "line " + std::to_string(lineNumber) + " cannot be read";
      return orders;
    }
    AcceptedOrder& known = orders.orders_[std::string(words[0]) + " " + Unword(words[1])];
    if (*order >= known.order) known = {*order, Unword(words[3]), Unword(words[4])};
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
  if (!unreadable_.empty())
    return "the record of signed packages taken, " + FilePath() + ", cannot be read (" +
           unreadable_ + "): no signed package is taken until it can";
  const std::optional<AcceptedOrder> taken = Find(kind, programId);
  if (!taken || offered.order > taken->order) return {};
  if (offered.order == taken->order && offered.build == taken->build && offered.file == taken->file)
    return {};
  return "a rollback: " + Describe(offered) + " is not newer than " + Describe(*taken) +
         ", which was taken before";
}

bool AcceptedOrders::Record(PackageKind kind, std::string_view programId,
                            const AcceptedOrder& taken) {
  // A record that cannot be read is never written over: what it held would be lost.
  if (!unreadable_.empty()) return false;
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
