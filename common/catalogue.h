#pragma once

#include <array>
#include <string>
#include <string_view>

#include "common/fixed_text.h"

namespace vornix {

// One installed package of WinApps.XML.
struct PackageRecord {
  FixedText<12> Name;    // program id: server ProgID, package folder, command-line selector
  FixedText<52> Desc;    // display name
  FixedText<32> Build;   // build of the installed setup
  FixedText<32> Update;  // build of the last update applied
  FixedText<256> Path;   // folder of the package's executable, no trailing '/'
  FixedText<32> Key;     // file name of the executable inside Path

  void clear() { *this = PackageRecord(); }
};

// The catalogue keeps at most 128 packages, in file order.
struct PackageCatalogue {
  static constexpr int kMaxPackages = 128;

  int count = 0;
  std::array<PackageRecord, kMaxPackages> records;

  void clear() {
    count = 0;
    for (auto& r : records) r.clear();
  }
  bool full() const { return count >= kMaxPackages; }
};

enum class NameCase { kSignificant, kIgnored };

// <Windows directory>/WinApps.XML
std::string CataloguePath();

// A catalogue is read whole into memory; a larger file is read up to this size.
inline constexpr size_t kCatalogueReadLimit = 16u << 20;

// The tolerant tag scanner: clears the catalogue, then reads packages from `text` until
// "</WinApps>", the end of the text, or a full table. CR and LF are dropped.
void ReadCatalogue(std::string_view text, PackageCatalogue& catalogue);

// The lines of one package in the file layout, as FormatCatalogue prints them.
std::string FormatPackage(const PackageRecord& record, bool lineBreaks);

// Records 0 to count-1 in the file layout; with line breaks every line ends in CR LF.
std::string FormatCatalogue(const PackageCatalogue& catalogue, bool lineBreaks);

// Reads the file at `path` into `catalogue` (cleared first); false when it cannot be opened or
// is not a regular file.
bool LoadCatalogue(const std::string& path, PackageCatalogue& catalogue);

// Writes `catalogue` as the whole file at `path`, with line breaks, replacing any file there
// atomically: a failed write leaves the old file whole, and a file that cannot be written stays
// untouched. False when nothing was written. The programs change an existing catalogue with
// EditCatalogue, which keeps what they did not change.
bool SaveCatalogue(const std::string& path, const PackageCatalogue& catalogue);

// Index of the first record whose Name equals `name` under the case rule, or -1.
int FindPackage(const PackageCatalogue& catalogue, std::string_view name, NameCase rule);

// A package counts as installed when the file "<Path>/<Key>" exists.
bool IsPackageInstalled(const PackageRecord& record);

// What the service makes of a package: its own is checked whatever is installed; another only
// when it is installed, and then it counts among the applications detected.
enum class PackageRole { kNotInstalled, kService, kDetected };
PackageRole RoleOf(const PackageRecord& record);

// Compares a field's text with `text` under the case rule.
bool SameName(std::string_view a, std::string_view b, NameCase rule);

// Text that can go into the catalogue as it is: a "<" or a double quote in a value would end it
// early or hide the tags after it, and the packages after it would be misread; a line end or
// another control character would not read back.
bool IsCatalogueSafe(std::string_view text);

}  // namespace vornix
