#include "common/catalogue.h"

#include "platform/atomic_file.h"
#include "platform/path.h"
#include "platform/regular_file.h"
#include "platform/system_root.h"
#include "platform/text.h"

namespace vornix {

namespace {

constexpr size_t kTagLimit = 1021;      // "<" through ">", CR and LF not counted
constexpr size_t kContentLimit = 1023;  // characters of content kept after a tag

enum Field { kNoField = -1, kName, kDesc, kBuild, kUpdate, kPath, kKey, kFieldCount };

constexpr std::string_view kFieldStart[kFieldCount] = {"<name>",   "<desc>", "<build>",
                                                       "<update>", "<path>", "<key>"};
constexpr std::string_view kFieldEnd[kFieldCount] = {"</name>",   "</desc>", "</build>",
                                                     "</update>", "</path>", "</key>"};

void StoreField(PackageRecord& r, int field, std::string_view value) {
  switch (field) {
    case kName:
      r.Name.assign(value);
      break;
    case kDesc:
      r.Desc.assign(value);
      break;
    case kBuild:
      r.Build.assign(value);
      break;
    case kUpdate:
      r.Update.assign(value);
      break;
    case kPath:
      r.Path.assign(value);
      break;
    case kKey:
      r.Key.assign(value);
      break;
  }
}

// One pass of the scanner over a stream; holds one tag and one content at a time.
class CatalogueScanner {
 public:
  CatalogueScanner(FILE* in, PackageCatalogue& catalogue) : in_(in), cat_(catalogue) {}

  void Run() {
    bool outerQuoted = false;
    int c;
    while ((c = getc_unlocked(in_)) != EOF) {
      if (c == '"') {
        outerQuoted = !outerQuoted;
      } else if (c == '<' && !outerQuoted) {
        const bool complete = ReadTag();
        ReadContent();
        if (!OnTag(complete)) return;
      }
    }
  }

 private:
  // Collects the tag from its "<" through the first ">" outside quotes, lower-casing A-Z
  // outside quotes. False when the tag is too long or cut off by end of file.
  bool ReadTag() {
    tagLen_ = 0;
    tag_[tagLen_++] = '<';
    bool quoted = false;
    while (tagLen_ < kTagLimit) {
      const int c = getc_unlocked(in_);
      if (c == EOF) return false;
      if (c == '\r' || c == '\n') continue;
      char ch = static_cast<char>(c);
      if (ch == '"')
        quoted = !quoted;
      else if (!quoted && ch >= 'A' && ch <= 'Z')
        ch = static_cast<char>(ch - 'A' + 'a');
      tag_[tagLen_++] = ch;
      if (ch == '>' && !quoted) return true;
    }
    return false;  // what follows the limit is read as content
  }

  // Collects the text up to the next "<" outside quotes and leaves that "<" in the stream.
  void ReadContent() {
    contentLen_ = 0;
    bool quoted = false;
    int c;
    while ((c = getc_unlocked(in_)) != EOF) {
      if (c == '\r' || c == '\n') continue;
      if (c == '<') {
        if (quoted) continue;  // a "<" between quotes is dropped
        ungetc(c, in_);
        return;
      }
      if (c == '"') quoted = !quoted;
      if (contentLen_ < kContentLimit) content_[contentLen_++] = static_cast<char>(c);
    }
  }

  // Applies one tag to the nesting levels (a tag that is too long or cut off matches nothing)
  // and stores the content that followed it. False ends the read.
  bool OnTag(bool matchable) {
    // An empty text equals no known tag.
    const std::string_view tag = matchable ? std::string_view(tag_, tagLen_) : std::string_view();
    if (!winapps_) {
      winapps_ = tag == "<winapps>";
    } else if (tag == "</winapps>") {
      return false;
    } else if (!package_) {
      if (tag == "<package>") {
        package_ = true;
        // A package without Key must not leak its fields into the next one.
        cat_.records[static_cast<size_t>(cat_.count)].clear();
      }
    } else if (tag == "</package>") {
      package_ = false;
    } else if (field_ == kNoField) {
      for (int f = 0; f < kFieldCount; ++f)
        if (tag == kFieldStart[f]) field_ = f;
    } else if (tag == kFieldEnd[field_]) {
      field_ = kNoField;
    }

    if (winapps_ && package_ && field_ != kNoField) {
      StoreField(cat_.records[static_cast<size_t>(cat_.count)], field_,
                 std::string_view(content_, contentLen_));
      if (field_ == kKey && ++cat_.count >= PackageCatalogue::kMaxPackages) return false;
    }
    return true;
  }

  FILE* in_;
  PackageCatalogue& cat_;
  bool winapps_ = false;
  bool package_ = false;
  int field_ = kNoField;
  char tag_[kTagLimit + 1];
  size_t tagLen_ = 0;
  char content_[kContentLimit + 1];
  size_t contentLen_ = 0;
};

void AppendLine(std::string& out, std::string_view open, std::string_view value,
                std::string_view close, std::string_view eol) {
  out.append(open).append(value).append(close).append(eol);
}

}  // namespace

std::string CataloguePath() {
  return JoinPath(WindowsDirectory(), "WinApps.XML");
}

void ReadCatalogue(FILE* in, PackageCatalogue& catalogue) {
  catalogue.clear();
  flockfile(in);
  CatalogueScanner(in, catalogue).Run();
  funlockfile(in);
}

std::string FormatCatalogue(const PackageCatalogue& catalogue, bool lineBreaks) {
  const std::string_view eol = lineBreaks ? "\r\n" : "";
  std::string out;
  out.reserve(static_cast<size_t>(catalogue.count) * 600 + 32);
  out.append("<WinApps>").append(eol);
  for (int i = 0; i < catalogue.count; ++i) {
    const PackageRecord& r = catalogue.records[static_cast<size_t>(i)];
    out.append(" <Package>").append(eol);
    AppendLine(out, "  <Name>", r.Name.view(), "</Name>", eol);
    AppendLine(out, "  <Desc>", r.Desc.view(), "</Desc>", eol);
    AppendLine(out, "  <Build>", r.Build.view(), "</Build>", eol);
    AppendLine(out, "  <Update>", r.Update.view(), "</Update>", eol);
    AppendLine(out, "  <Path>", r.Path.view(), "</Path>", eol);
    AppendLine(out, "  <Key>", r.Key.view(), "</Key>", eol);
    out.append(" </Package>").append(eol);
  }
  out.append("</WinApps>").append(eol);
  return out;
}

void WriteCatalogue(const PackageCatalogue& catalogue, FILE* out, bool lineBreaks) {
  const std::string text = FormatCatalogue(catalogue, lineBreaks);
  std::fwrite(text.data(), 1, text.size(), out);
}

bool LoadCatalogue(const std::string& path, PackageCatalogue& catalogue) {
  catalogue.clear();
  // A FIFO or a folder in its place reads as a missing catalogue; nothing waits on it.
  FILE* in = OpenRegularFileStream(path);
  if (!in) return false;
  ReadCatalogue(in, catalogue);
  std::fclose(in);
  return true;
}

bool SaveCatalogue(const std::string& path, const PackageCatalogue& catalogue) {
  return ReplaceFileAtomically(path, FormatCatalogue(catalogue, true));
}

bool SameName(std::string_view a, std::string_view b, NameCase rule) {
  return rule == NameCase::kSignificant ? a == b : EqualsIgnoringCase(a, b);
}

bool IsPackageInstalled(const PackageRecord& record) {
  return FileExists(record.Path.str() + "/" + record.Key.str());
}

int FindPackage(const PackageCatalogue& catalogue, std::string_view name, NameCase rule) {
  for (int i = 0; i < catalogue.count; ++i)
    if (SameName(catalogue.records[static_cast<size_t>(i)].Name.view(), name, rule)) return i;
  return -1;
}

}  // namespace vornix
