#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vornix {

// A registry key's file in the registry editor's text format, line by line: what each line
// says and its own bytes, so that a change rewrites the line of the value it sets and leaves
// every other line (comments, other values, lines nobody here understands) byte for byte.
// Files saved as UTF-16 (either byte order, with its byte order mark) or with a UTF-8 byte order
// mark are read, and written back in their own encoding.
class KeyFile {
 public:
  using Value = std::variant<std::string, uint32_t>;

  // One line that names a value: `data` is empty when the value is there in a form this reader
  // cannot take (blanks around "=", hex data, a missing quote, an unquoted name...).
  struct Entry {
    std::string name;
    std::optional<Value> data;
  };

  // A new file: the header line, a blank line and the key line.
  static KeyFile New(std::string_view keyLine);
  static KeyFile Parse(std::string_view bytes);

  std::string Bytes() const;

  // The value a later line names wins, as in the registry editor's import. Names ignore case.
  const Entry* Find(std::string_view name) const;

  // Makes `name` hold `data`: the line that names it is replaced (keeping the name's spelling),
  // or a line is added at the end. False, and nothing changed, when that line cannot be read
  // and `replaceUnreadable` is false: a value nobody could read is not lost to a default.
  bool Set(std::string_view name, const Value& data, bool replaceUnreadable);

 private:
  enum class Encoding { kBytes, kUtf8Mark, kUtf16Le, kUtf16Be };
  struct Line {
    std::string raw;   // the line's bytes in the file, its line end included
    std::string text;  // what it says (UTF-8 or the file's own bytes), without the line end
    std::string end;   // its line end as text: "\r\n", "\n", or none on a last line
    std::optional<Entry> entry;
  };

  void AddLine(Line line);
  std::string Encode(std::string_view text) const;
  static std::optional<Entry> ParseLine(std::string_view text);
  static std::string FormatLine(std::string_view name, const Value& data);

  Encoding encoding_ = Encoding::kBytes;
  std::string mark_;            // the byte order mark, as found
  std::string lineEnd_ = "\n";  // the file's own, from its first line
  std::vector<Line> lines_;
};

}  // namespace vornix
