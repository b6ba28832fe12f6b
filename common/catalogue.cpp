#include "common/catalogue.h"

#include "common/program_contract.h"

#include "common/catalogue_scan.h"

#include "platform/atomic_file.h"
#include "platform/path.h"
#include "platform/regular_file.h"
#include "platform/system_root.h"
#include "platform/text.h"

namespace vornix {

namespace {

constexpr std::string_view LineEnd(bool lineBreaks) {
  return lineBreaks ? "\r\n" : "";
}

void AppendLine(std::string& out, std::string_view open, std::string_view value,
                std::string_view close, std::string_view eol) {
  out.append(open).append(value).append(close).append(eol);
}

}  // namespace

std::string CataloguePath() {
  return JoinPath(WindowsDirectory(), "WinApps.XML");
}

void ReadCatalogue(std::string_view text, PackageCatalogue& catalogue) {
  FillCatalogue(ScanCatalogue(text, PackageCatalogue::kMaxPackages), catalogue);
}

std::string FormatPackage(const PackageRecord& r, bool lineBreaks) {
  const std::string_view eol = LineEnd(lineBreaks);
  std::string out;
  out.append(" <Package>").append(eol);
  AppendLine(out, "  <Name>", r.Name.view(), "</Name>", eol);
  AppendLine(out, "  <Desc>", r.Desc.view(), "</Desc>", eol);
  AppendLine(out, "  <Build>", r.Build.view(), "</Build>", eol);
  AppendLine(out, "  <Update>", r.Update.view(), "</Update>", eol);
  AppendLine(out, "  <Path>", r.Path.view(), "</Path>", eol);
  AppendLine(out, "  <Key>", r.Key.view(), "</Key>", eol);
  out.append(" </Package>").append(eol);
  return out;
}

std::string FormatCatalogue(const PackageCatalogue& catalogue, bool lineBreaks) {
  const std::string_view eol = LineEnd(lineBreaks);
  std::string out;
  out.reserve(static_cast<size_t>(catalogue.count) * 600 + 32);
  out.append("<WinApps>").append(eol);
  for (int i = 0; i < catalogue.count; ++i)
    out += FormatPackage(catalogue.records[static_cast<size_t>(i)], lineBreaks);
  out.append("</WinApps>").append(eol);
  return out;
}

bool LoadCatalogue(const std::string& path, PackageCatalogue& catalogue) {
  catalogue.clear();
  // A FIFO or a folder in its place reads as a missing catalogue; nothing waits on it.
  const std::optional<std::string> text = ReadRegularFile(path, kCatalogueReadLimit);
  if (!text) return false;
  ReadCatalogue(*text, catalogue);
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

PackageRole RoleOf(const PackageRecord& record) {
  if (record.Name.view() == kServicePackageName) return PackageRole::kService;
  return IsPackageInstalled(record) ? PackageRole::kDetected : PackageRole::kNotInstalled;
}

int FindPackage(const PackageCatalogue& catalogue, std::string_view name, NameCase rule) {
  for (int i = 0; i < catalogue.count; ++i)
    if (SameName(catalogue.records[static_cast<size_t>(i)].Name.view(), name, rule)) return i;
  return -1;
}

bool IsCatalogueSafe(std::string_view text) {
  for (const unsigned char c : text)
    if (c == '<' || c == '"' || c < 0x20) return false;
  return true;
}

}  // namespace vornix
