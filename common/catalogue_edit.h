#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/catalogue.h"
#include "common/catalogue_scan.h"

namespace vornix {

// Every writer of the catalogue (the service registering itself, the utility recording an
// update, the reset tool) changes it through EditCatalogue: under one lock, held from reading
// the file until it is written, so that no writer undoes another's change; and by changing only
// the values it set, so that every other byte goes back to disk as it was (packages past the
// 128 the programs work on, values longer than a reader keeps, text the reader skips).

inline constexpr const char* kCatalogueLockName = "WinApps";
inline constexpr int kCatalogueLockWaitMs = 10 * 1000;  // writers hold it for milliseconds

// The text `text` (scanned whole into `scan`) with the table read from it, its first 128
// packages, changed into `after`, which may change values and add packages at its end. Every
// byte that no changed value stands on stays as it was; an added package goes before
// "</WinApps>" in the writer's layout. Nothing, with the reason in `why`, when the result would
// not read back as `after` with every package past it as before: a value the format cannot hold
// (a lone double quote, markup, a line end), or a file whose values hide its own tags.
std::optional<std::string> RewriteCatalogueText(std::string_view text, const CatalogueScan& scan,
                                                const PackageCatalogue& after,
                                                std::string* why = nullptr);

// Reads the catalogue under the lock (a missing file reads as an empty one), lets `change`
// change the table, and writes back what it changed. `change` returns false when there is
// nothing to write. The empty text when done; otherwise why nothing was written, as
// "the catalogue <path> ...", and the file is left as it was.
std::string EditCatalogue(const std::function<bool(PackageCatalogue&)>& change,
                          int lockWaitMs = kCatalogueLockWaitMs);

}  // namespace vornix
