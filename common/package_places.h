#pragma once

#include <string>
#include <string_view>

namespace vornix {

// Where a package's files lie below the program folder, as the service leaves them and the
// utility and vornixctl find them:
//   <program folder><Name>/setup.exe, SETUP.VER, SETUP.SIG, SETUP.RUN
//   <program folder><Name>/updates/<update file>, UPDATE.XML
struct PackagePlaces {
  // `programFolder` ends in '/'.
  PackagePlaces(const std::string& programFolder, std::string_view name);

  std::string folder;
  std::string setupFile;
  std::string setupVer;
  std::string setupSig;
  std::string setupRun;
  std::string updatesFolder;
  std::string updateXml;
  // The update file `fileName` in the updates folder (a name from IsUsableUpdateFileName).
  std::string UpdateFile(std::string_view fileName) const;
};

inline constexpr const char* kSetupFileName = "setup.exe";
inline constexpr const char* kUpdateXmlName = "UPDATE.XML";
// A download on its way, or cut off, lies beside its place as ".partial-<build>-<file name>"
// (both escaped) until it is whole and verified.
inline constexpr std::string_view kPartialPrefix = ".partial-";

// A name that can stand for one file in a folder: no '/' or '\', not "." or "..", not
// beginning with '-', not empty.
bool IsPlainFileName(std::string_view name);

// An update file's name: a plain file name that does not take its marker's place.
bool IsUsableUpdateFileName(std::string_view name);

}  // namespace vornix
