#pragma once

#include <string>

#include "common/program_contract.h"
#include "service/core/message_box.h"

namespace vornix {

// The service's own package id and record.
inline constexpr const char* kServicePackageDesc = "Vornix";
inline constexpr const char* kServiceProgramKey = "Vornix";

inline constexpr const char* kCatalogueFullText =
    "Cannot add package to WinApps.XML.  Please contact Arvel";
inline constexpr const char* kCatalogueFullCaption = "Error";

// Makes sure the catalogue holds the service's own "vornet" record pointing at the folder the
// service runs from, and fills its Build from a setup waiting in the package folder. Does
// nothing at all when the settings key cannot be read, and nothing but say so when the folder's
// path is longer than the catalogue keeps. Only the service that runs calls it. `runningFolder` is
// the program's folder without a trailing '/'. The empty text, or why the catalogue could not be
// changed.
std::string RegisterServicePackage(const std::string& runningFolder, MessageBoxes& boxes);

// The service's running folder as the catalogue's Path holds it: no trailing '/'.
std::string RunningFolder();

}  // namespace vornix
