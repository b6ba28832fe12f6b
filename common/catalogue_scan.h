#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/catalogue.h"

namespace vornix {

// The tag scanner of WinApps.XML, telling not only what it kept but where in the text each
// value stands, so that a rewrite can change one value and leave every other byte alone.

enum CatalogueField { kFieldName, kFieldDesc, kFieldBuild, kFieldUpdate, kFieldPath, kFieldKey };
inline constexpr int kCatalogueFieldCount = 6;

// The element name of a field, as the writer prints it ("Name", "Desc", ...).
std::string_view FieldElement(int field);
std::string_view FieldValue(const PackageRecord& record, int field);
void SetFieldValue(PackageRecord& record, int field, std::string_view value);

// Bytes [begin, end) of the text; `begin == npos` when the field was never stored.
struct TextSpan {
  size_t begin = std::string_view::npos;
  size_t end = std::string_view::npos;
  bool found() const { return begin != std::string_view::npos; }
};

// One package as the scanner counted it: its values; where each value stands (the whole content
// of its element, or, for an element over several lines with markup inside, the raw content its
// value was last taken from); empty-element tags of fields (<Update/>); and where the tag whose
// content became its Key begins.
struct ScannedPackage {
  PackageRecord record;
  std::array<TextSpan, kCatalogueFieldCount> values;
  std::array<TextSpan, kCatalogueFieldCount> emptyElements;
  size_t keyTag = std::string_view::npos;
};

struct CatalogueScan {
  std::vector<ScannedPackage> packages;    // in file order
  ScannedPackage unfinished;               // fields stored after the last counted package
  bool sawStart = false;                   // a "<WinApps>" was found
  size_t endTag = std::string_view::npos;  // where the "</WinApps>" that ended the read begins
};

// Scans `text` by the reader's rules and stops after `limit` counted packages (the reader's
// table keeps 128; a rewrite looks at them all).
CatalogueScan ScanCatalogue(std::string_view text, size_t limit);

// The reader's table of a scan: its first 128 packages, and the fields of an unfinished one in
// the slot after them.
void FillCatalogue(const CatalogueScan& scan, PackageCatalogue& catalogue);

}  // namespace vornix
