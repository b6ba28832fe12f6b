#include "platform/key_file.h"

#include <cstdio>
#include <cstdlib>

#include "platform/text.h"

namespace vornix {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
constexpr char32_t kReplacement = 0xFFFD;

// A quoted string starting at text[pos] == '"' with the escapes \\ and \"; pos ends after the
// closing quote. Nothing when it is not closed.
std::optional<std::string> ReadQuoted(std::string_view text, size_t& pos) {
  if (pos >= text.size() || text[pos] != '"') return std::nullopt;
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    out += c == '\\' && pos + 1 < text.size() ? text[++pos] : c;
  }
  return std::nullopt;
}

std::string Quote(std::string_view value) {
  std::string out = "\"";
  for (const char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The code points of UTF-8 text; a byte that starts no valid sequence stands for U+FFFD.
std::u32string DecodeUtf8(std::string_view s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int extra = b < 0x80         ? 0
                      : (b >> 5) == 6  ? 1
                      : (b >> 4) == 14 ? 2
                      : (b >> 3) == 30 ? 3
                                       : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool valid = extra >= 0 && i + static_cast<size_t>(extra) < s.size() + (extra == 0);
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    if (!valid) {
      out += kReplacement;
      ++i;
      continue;
    }
    out += c;
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

}  // namespace

KeyFile KeyFile::New(std::string_view keyLine) {
  return Parse(std::string(kHeader) + "\n\n" + std::string(keyLine) + "\n");
}

KeyFile KeyFile::Parse(std::string_view bytes) {
  KeyFile file;
  const auto startsWith = [&](std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
  };
  if (startsWith(kUtf8Mark)) {
    file.encoding_ = Encoding::kUtf8Mark;
  } else if (startsWith(kUtf16LeMark)) {
    file.encoding_ = Encoding::kUtf16Le;
  } else if (startsWith(kUtf16BeMark)) {
    file.encoding_ = Encoding::kUtf16Be;
  }
  const size_t markSize = file.encoding_ == Encoding::kBytes      ? 0
                          : file.encoding_ == Encoding::kUtf8Mark ? kUtf8Mark.size()
                                                                  : kUtf16LeMark.size();
  file.mark_ = std::string(bytes.substr(0, markSize));
  bytes.remove_prefix(markSize);

  const bool wide = file.encoding_ == Encoding::kUtf16Le || file.encoding_ == Encoding::kUtf16Be;
  const size_t unit = wide ? 2 : 1;
  bool sawEnd = false;
  Line line;
  char32_t high = 0;  // a high surrogate waiting for its pair
  for (size_t i = 0; i < bytes.size(); i += unit) {
    if (i + unit > bytes.size()) {  // half a UTF-16 unit at the end: kept, never read
      line.raw.append(bytes.substr(i));
      break;
    }
    line.raw.append(bytes.substr(i, unit));
    char32_t c = static_cast<unsigned char>(bytes[i]);
    if (wide) {
      const auto a = static_cast<unsigned char>(bytes[i]),
                 b = static_cast<unsigned char>(bytes[i + 1]);
      c = file.encoding_ == Encoding::kUtf16Le ? (b << 8 | a) : (a << 8 | b);
      if (high && (c < 0xDC00 || c > 0xDFFF)) AppendUtf8(line.text, kReplacement), high = 0;
      if (c >= 0xD800 && c <= 0xDBFF) {
        high = c;
        continue;
      }
      if (c >= 0xDC00 && c <= 0xDFFF) {
        c = high ? 0x10000 + ((high - 0xD800) << 10) + (c - 0xDC00) : kReplacement;
        high = 0;
      }
    }
    if (c != '\n') {
      if (wide)
        AppendUtf8(line.text, c);
      else
        line.text += static_cast<char>(c);
      continue;
    }
    line.end = "\n";
    if (!sawEnd) file.lineEnd_ = !line.text.empty() && line.text.back() == '\r' ? "\r\n" : "\n";
    sawEnd = true;
    file.AddLine(std::move(line));
    line = Line();
  }
  if (!line.raw.empty()) file.AddLine(std::move(line));
  return file;
}

void KeyFile::AddLine(Line line) {
  if (!line.text.empty() && line.text.back() == '\r') {
    line.text.pop_back();
    line.end.insert(0, "\r");
  }
  line.entry = ParseLine(line.text);
  lines_.push_back(std::move(line));
}

std::optional<KeyFile::Entry> KeyFile::ParseLine(std::string_view text) {
  size_t pos = 0;
  std::optional<std::string> name = ReadQuoted(text, pos);
  if (name && pos < text.size() && text[pos] == '=') {
    const std::string_view rest = TrimBlanks(text.substr(pos + 1), kLineBlanks);
    size_t at = 0;
    if (std::optional<std::string> s = ReadQuoted(rest, at); s && at == rest.size())
      return Entry{*name, *s};
    const std::string_view digits = rest.substr(0, 6) == "dword:" ? rest.substr(6) : "";
    if (!digits.empty() && digits.size() <= 8 &&
        digits.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos)
      return Entry{*name,
                   static_cast<uint32_t>(std::strtoul(std::string(digits).c_str(), nullptr, 16))};
    return Entry{*name, std::nullopt};
  }
  // Not the editor's own form, but a line that names a value all the same: it is there, and
  // it cannot be read.
  const std::string_view trimmed = TrimBlanks(text, kLineBlanks);
  const size_t equals = trimmed.find('=');
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[' ||
      equals == std::string_view::npos)
    return std::nullopt;
  std::string_view loose = TrimBlanks(trimmed.substr(0, equals), kLineBlanks);
  if (!loose.empty() && loose.front() == '"') loose.remove_prefix(1);
  if (!loose.empty() && loose.back() == '"') loose.remove_suffix(1);
  if (loose.empty()) return std::nullopt;
  return Entry{std::string(loose), std::nullopt};
}

std::string KeyFile::FormatLine(std::string_view name, const Value& data) {
  if (const auto* s = std::get_if<std::string>(&data)) return Quote(name) + "=" + Quote(*s);
  char dword[16];
  std::snprintf(dword, sizeof dword, "dword:%08x", std::get<uint32_t>(data));
  return Quote(name) + "=" + dword;
}

std::string KeyFile::Encode(std::string_view text) const {
  if (encoding_ != Encoding::kUtf16Le && encoding_ != Encoding::kUtf16Be) return std::string(text);
  std::string out;
  const auto put = [&](char32_t u) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    out += encoding_ == Encoding::kUtf16Le ? std::string{lo, hi} : std::string{hi, lo};
  };
  for (char32_t c : DecodeUtf8(text)) {
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  return out;
}

std::string KeyFile::Bytes() const {
  std::string out = mark_;
  for (const Line& line : lines_) out += line.raw;
  return out;
}

const KeyFile::Entry* KeyFile::Find(std::string_view name) const {
  for (auto line = lines_.rbegin(); line != lines_.rend(); ++line)
    if (line->entry && EqualsIgnoringCase(line->entry->name, name)) return &*line->entry;
  return nullptr;
}

bool KeyFile::Set(std::string_view name, const Value& data, bool replaceUnreadable) {
  for (auto line = lines_.rbegin(); line != lines_.rend(); ++line) {
    if (!line->entry || !EqualsIgnoringCase(line->entry->name, name)) continue;
    if (!line->entry->data && !replaceUnreadable) return false;
    if (line->entry->data == data) return true;
    // The line keeps its own line end, and the name its spelling.
    line->text = FormatLine(line->entry->name, data);
    line->entry->data = data;
    line->raw = Encode(line->text + line->end);
    return true;
  }
  // A last line without its line end gets one, so that the new line stands on its own; one
  // ending in a lone carriage return gets the line feed it lacks.
  if (!lines_.empty() && lines_.back().end.find('\n') == std::string::npos) {
    const std::string missing = lines_.back().end == "\r" ? "\n" : lineEnd_;
    lines_.back().end += missing;
    lines_.back().raw += Encode(missing);
  }
  Line added;
  added.text = FormatLine(name, data);
  added.end = lineEnd_;
  added.entry = Entry{std::string(name), data};
  added.raw = Encode(added.text + added.end);
  lines_.push_back(std::move(added));
  return true;
}

}  // namespace vornix
