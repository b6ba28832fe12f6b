#pragma once

#include <strings.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace vornix {

// Small text helpers the programs share, so that each rule is written once.

// Byte-wise comparisons that ignore the letter case of ASCII letters, as the system's own
// comparisons of names do.
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

inline bool LessIgnoringCase(std::string_view a, std::string_view b) {
  const int c = strncasecmp(a.data(), b.data(), a.size() < b.size() ? a.size() : b.size());
  return c < 0 || (c == 0 && a.size() < b.size());
}

inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

inline bool EndsWith(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

inline bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

inline bool EndsWithIgnoringCase(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() &&
         EqualsIgnoringCase(text.substr(text.size() - ending.size()), ending);
}

// Whether `text` begins with a UTF-16 byte order mark, in either byte order: a file saved as
// UTF-16, which a reader of single bytes cannot read.
inline bool StartsWithUtf16Mark(std::string_view text) {
  return StartsWith(text, "\xFF\xFE") || StartsWith(text, "\xFE\xFF");
}

// Every kind of white space, and the blanks of a line (space and tab).
inline constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
inline constexpr std::string_view kLineBlanks = " \t";

// `text` without the characters of `blanks` at either end.
inline std::string_view TrimBlanks(std::string_view text, std::string_view blanks = kWhiteSpace) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Letters, digits, '.' and '_': what a value keeps of itself as one word of a file name or of
// a line with blanks between its words.
bool IsWordCharacter(unsigned char c);

// `text` with every byte that `keep` refuses written as %XX (upper-case hex).
std::string PercentEncoded(std::string_view text, bool (*keep)(unsigned char));

// Lower-case hex of bytes, two digits each.
std::string HexText(const unsigned char* data, size_t size);

// `text` as a JSON string, in its double quotes: '"' and '\\' escaped, line ends and tabs as
// \n, \r and \t, other control characters as \u00XX. Other bytes go as they are.
std::string JsonString(std::string_view text);

}  // namespace vornix
