// The catalogue reader on any bytes: no crash, no overrun, and whatever it reads, the writer's
// text reads back to the same table.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/catalogue.h"

namespace {

vornix::PackageCatalogue Read(const std::string& text) {
  vornix::PackageCatalogue cat;
  vornix::ReadCatalogue(text, cat);
  return cat;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto cat = Read(std::string(reinterpret_cast<const char*>(data), size));
  if (cat.count < 0 || cat.count > vornix::PackageCatalogue::kMaxPackages) std::abort();
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
    const std::string text = vornix::FormatCatalogue(cat, true);
    if (vornix::FormatCatalogue(Read(text), true) != text) std::abort();
  }
  return 0;
}
