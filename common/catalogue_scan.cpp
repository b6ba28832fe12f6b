#include "common/catalogue_scan.h"

#include <algorithm>

namespace vornix {

namespace {

constexpr size_t kTagLimit = 1021;      // "<" through ">", CR and LF not counted
constexpr size_t kContentLimit = 1023;  // characters of content kept after a tag
constexpr int kNoField = -1;

constexpr std::string_view kElements[kCatalogueFieldCount] = {"Name",   "Desc", "Build",
                                                              "Update", "Path", "Key"};
constexpr std::string_view kFieldStart[kCatalogueFieldCount] = {"<name>",   "<desc>", "<build>",
                                                                "<update>", "<path>", "<key>"};
constexpr std::string_view kFieldEnd[kCatalogueFieldCount] = {"</name>",   "</desc>", "</build>",
                                                              "</update>", "</path>", "</key>"};
// An empty-element tag matches no field; a writer may put the value in its place.
constexpr std::string_view kFieldEmpty[kCatalogueFieldCount] = {"<name/>",   "<desc/>", "<build/>",
                                                                "<update/>", "<path/>", "<key/>"};

// One pass over the text; holds one tag and one content at a time.
class CatalogueScanner {
 public:
  CatalogueScanner(std::string_view text, size_t limit, CatalogueScan& scan)
      : text_(text), limit_(limit), scan_(scan) {}

  void Run() {
    bool outerQuoted = false;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') {
        outerQuoted = !outerQuoted;
      } else if (c == '<' && !outerQuoted) {
        const size_t tagStart = pos_ - 1;
        const bool complete = ReadTag();
        const size_t contentStart = pos_;
        ReadContent();
        if (!OnTag(complete, tagStart, {contentStart, pos_})) return;
      }
    }
  }

 private:
  // Collects the tag from its "<" through the first ">" outside quotes, lower-casing A-Z
  // outside quotes. False when the tag is too long or cut off by the end of the text.
  bool ReadTag() {
    tagLen_ = 0;
    tag_[tagLen_++] = '<';
    bool quoted = false;
    while (tagLen_ < kTagLimit) {
      if (pos_ >= text_.size()) return false;
      char ch = text_[pos_++];
      if (ch == '\r' || ch == '\n') continue;
      if (ch == '"')
        quoted = !quoted;
      else if (!quoted && ch >= 'A' && ch <= 'Z')
        ch = static_cast<char>(ch - 'A' + 'a');
      tag_[tagLen_++] = ch;
      if (ch == '>' && !quoted) return true;
    }
    return false;  // what follows the limit is read as content
  }

  // Collects the text up to the next "<" outside quotes and stops just before it.
  void ReadContent() {
    contentLen_ = 0;
    bool quoted = false;
    for (; pos_ < text_.size(); ++pos_) {
      const char c = text_[pos_];
      if (c == '\r' || c == '\n') continue;
      if (c == '<') {
        if (quoted) continue;  // a "<" between quotes is dropped
        return;
      }
      if (c == '"') quoted = !quoted;
      if (contentLen_ < kContentLimit) content_[contentLen_++] = c;
    }
  }

  // Applies one tag to the nesting levels (a tag that is too long or cut off matches nothing)
  // and stores the content that followed it. False ends the read.
  bool OnTag(bool matchable, size_t tagStart, TextSpan content) {
    // An empty text equals no known tag.
    const std::string_view tag = matchable ? std::string_view(tag_, tagLen_) : std::string_view();
    ScannedPackage& slot = scan_.unfinished;
    if (!winapps_) {
      winapps_ = tag == "<winapps>";
      scan_.sawStart = winapps_;
    } else if (tag == "</winapps>") {
      scan_.endTag = tagStart;
      return false;
    } else if (!package_) {
      if (tag == "<package>") {
        package_ = true;
        // A package without Key must not leak its fields into the next one.
        slot = ScannedPackage();
      }
    } else if (tag == "</package>") {
      package_ = false;
    } else if (field_ == kNoField) {
      for (int f = 0; f < kCatalogueFieldCount; ++f) {
        if (tag == kFieldStart[f]) {
          field_ = f;
          openedAt_ = content.begin;
          stores_ = 0;
        } else if (tag == kFieldEmpty[f]) {
          slot.emptyElements[static_cast<size_t>(f)] = {tagStart, content.begin};
        }
      }
    } else if (tag == kFieldEnd[field_]) {
      // A value stored once, or on one line with markup inside (a comment): the whole
      // element's content is its place, so that a change replaces it whole. A Key stored more
      // than once made a package of each.
      const std::string_view inside = text_.substr(openedAt_, tagStart - openedAt_);
      if (stores_ == 1 ||
          (field_ != kFieldKey && inside.find_first_of("\r\n") == std::string_view::npos)) {
        ScannedPackage& owner = field_ == kFieldKey ? scan_.packages.back() : slot;
        owner.values[static_cast<size_t>(field_)] = {openedAt_, tagStart};
      }
      field_ = kNoField;
    }

    if (winapps_ && package_ && field_ != kNoField) {
      ++stores_;
      SetFieldValue(slot.record, field_, std::string_view(content_, contentLen_));
      slot.values[static_cast<size_t>(field_)] = content;
      if (field_ == kFieldKey) {
        slot.keyTag = tagStart;
        scan_.packages.push_back(slot);
        // Fields stored after a Key go to the next slot, which starts empty.
        slot = ScannedPackage();
        if (scan_.packages.size() >= limit_) return false;
      }
    }
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  size_t limit_;
  CatalogueScan& scan_;
  bool winapps_ = false;
  bool package_ = false;
  int field_ = kNoField;
  size_t openedAt_ = 0;  // where the open field's element content begins
  int stores_ = 0;       // values stored since it opened
  char tag_[kTagLimit + 1];
  size_t tagLen_ = 0;
  char content_[kContentLimit + 1];
  size_t contentLen_ = 0;
};

}  // namespace

std::string_view FieldElement(int field) {
  return kElements[field];
}

std::string_view FieldValue(const PackageRecord& r, int field) {
  switch (field) {
    case kFieldName:
      return r.Name.view();
    case kFieldDesc:
      return r.Desc.view();
    case kFieldBuild:
      return r.Build.view();
    case kFieldUpdate:
      return r.Update.view();
    case kFieldPath:
      return r.Path.view();
    default:
      return r.Key.view();
  }
}

void SetFieldValue(PackageRecord& r, int field, std::string_view value) {
  switch (field) {
    case kFieldName:
      return r.Name.assign(value);
    case kFieldDesc:
      return r.Desc.assign(value);
    case kFieldBuild:
      return r.Build.assign(value);
    case kFieldUpdate:
      return r.Update.assign(value);
    case kFieldPath:
      return r.Path.assign(value);
    default:
      return r.Key.assign(value);
  }
}

CatalogueScan ScanCatalogue(std::string_view text, size_t limit) {
  CatalogueScan scan;
  CatalogueScanner(text, limit, scan).Run();
  return scan;
}

void FillCatalogue(const CatalogueScan& scan, PackageCatalogue& catalogue) {
  catalogue.clear();
  const size_t count = std::min<size_t>(scan.packages.size(), PackageCatalogue::kMaxPackages);
  catalogue.count = static_cast<int>(count);
  for (size_t i = 0; i < count; ++i) catalogue.records[i] = scan.packages[i].record;
  // The fields of a package that never got its Key stay in the slot after the last one.
  if (!catalogue.full()) catalogue.records[count] = scan.unfinished.record;
}

}  // namespace vornix
