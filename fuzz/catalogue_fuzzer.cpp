// The catalogue reader and its rewrite on any bytes: no crash, no overrun; the writer's text of
// whatever was read reads back to the same table; and a change of one value either rewrites
// that one run of bytes, leaving every other byte of the file as it was and reading back as
// changed, or is refused.
#include <cstdlib>
#include <string>

#include "common/catalogue.h"
#include "common/catalogue_edit.h"

namespace {

using vornix::PackageCatalogue;

PackageCatalogue Read(const std::string& text) {
  PackageCatalogue cat;
  vornix::ReadCatalogue(text, cat);
  return cat;
}

// `after` is `before` with one run of bytes replaced by text no longer than `longest`.
bool OneRunChanged(const std::string& before, const std::string& after, size_t longest) {
  size_t prefix = 0, suffix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
    ++prefix;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
    ++suffix;
  return after.size() - prefix - suffix <= longest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto cat = Read(text);
  if (cat.count < 0 || cat.count > PackageCatalogue::kMaxPackages) std::abort();
  // Values holding "<" or odd quotes do not survive a rewrite (the format has no escaping), so
  // only tables of plain values must round-trip.
  bool plain = true;
  for (int i = 0; i < cat.count && plain; ++i) {
    const auto& r = cat.records[static_cast<size_t>(i)];
    for (auto v : {r.Name.view(), r.Desc.view(), r.Build.view(), r.Update.view(), r.Path.view(),
                   r.Key.view()})
      if (v.find_first_of("<\"\r\n") != std::string_view::npos ||
          v.find('\0') != std::string_view::npos)
        plain = false;
  }
  if (plain) {
    const std::string formatted = vornix::FormatCatalogue(cat, true);
    if (vornix::FormatCatalogue(Read(formatted), true) != formatted) std::abort();
  }

  if (cat.count == 0 || size < 2) return 0;
  const vornix::CatalogueScan scan = vornix::ScanCatalogue(text, static_cast<size_t>(-1));
  PackageCatalogue after = cat;
  const int field = data[1] % vornix::kCatalogueFieldCount;
  const std::string value = "fz" + std::to_string(size);
  vornix::SetFieldValue(after.records[data[0] % cat.count], field, value);
  const auto out = vornix::RewriteCatalogueText(text, scan, after);
  if (!out) return 0;
  if (vornix::FormatCatalogue(Read(*out), true) != vornix::FormatCatalogue(after, true))
    std::abort();
  const size_t element = 2 * vornix::FieldElement(field).size() + 5 + value.size();
  if (!OneRunChanged(text, *out, element)) std::abort();
  return 0;
}
