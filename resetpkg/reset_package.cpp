#include "resetpkg/reset_package.h"

#include "common/catalogue_edit.h"
#include "common/catalogue_scan.h"
#include "platform/regular_file.h"
#include "platform/text.h"

namespace vornix {

namespace {

// Why a package the reset looked for was not found: the catalogue could not be read to its end,
// or the package stands past the 128 the programs work on; empty when it simply is not there.
std::string NotFoundBecause(const std::string& text, const std::string& programId) {
  const std::string path = CataloguePath();
  if (StartsWithUtf16Mark(text))
    return "the catalogue " + path + " is saved as UTF-16, which the programs do not read";
  const CatalogueScan scan = ScanCatalogue(text, static_cast<size_t>(-1));
  if (scan.endTag == std::string::npos && text.find_first_not_of(" \t\r\n") != std::string::npos) {
    return "the catalogue " + path +
           " cannot be read to its end: it has no </WinApps> that a reader finds (a lone double "
           "quote or markup in a value hides the rest)";
  }
  for (size_t i = PackageCatalogue::kMaxPackages; i < scan.packages.size(); ++i) {
    if (EqualsIgnoringCase(scan.packages[i].record.Name.view(), programId)) {
      return "'" + programId + "' is package " + std::to_string(i + 1) + " of the catalogue " +
             path + "; the programs work on its first " +
             std::to_string(PackageCatalogue::kMaxPackages);
    }
  }
  return {};
}

// A Build that reads empty although its element holds text (markup in it hides the text from
// the programs): the text, which a reset cannot empty without changing what the programs read.
std::string HiddenBuildText(const std::string& text, int index) {
  const CatalogueScan scan = ScanCatalogue(text, PackageCatalogue::kMaxPackages);
  if (index < 0 || static_cast<size_t>(index) >= scan.packages.size()) return {};
  const TextSpan& span = scan.packages[static_cast<size_t>(index)].values[kFieldBuild];
  return span.found() ? std::string(text.substr(span.begin, span.end - span.begin)) : "";
}

}  // namespace

ResetResult ResetPackage(const std::string& programId) {
  if (programId.empty())
    return {ResetOutcome::kNoSuchPackage, "VornixResetPkg: no program id given"};
  int found = -1;
  bool alreadyEmpty = false, ambiguous = false;
  const std::string problem = EditCatalogue([&](PackageCatalogue& catalogue) {
    // The name as the catalogue has it; else, ignoring case, the one package it can mean.
    found = FindPackage(catalogue, programId, NameCase::kSignificant);
    if (found < 0) {
      found = FindPackage(catalogue, programId, NameCase::kIgnored);
      // Two spellings that both match (atlas and ATLAS) are two packages: which is meant?
      for (int i = found + 1; found >= 0 && i < catalogue.count && !ambiguous; ++i) {
        const std::string_view name = catalogue.records[static_cast<size_t>(i)].Name.view();
        ambiguous = SameName(name, programId, NameCase::kIgnored) &&
                    name != catalogue.records[static_cast<size_t>(found)].Name.view();
      }
      if (ambiguous) found = -1;
    }
    if (found < 0) return false;
    PackageRecord& record = catalogue.records[static_cast<size_t>(found)];
    alreadyEmpty = record.Build.empty();
    record.Build.clear();
    return !alreadyEmpty;
  });
  if (!problem.empty()) return {ResetOutcome::kNotWritten, "VornixResetPkg: " + problem};
  if (ambiguous)
    return {ResetOutcome::kNoSuchPackage,
            "VornixResetPkg: '" + programId +
                "' names more than one package when letter case is ignored; give the name as "
                "the catalogue has it"};
  if (found >= 0 && !alreadyEmpty) return {ResetOutcome::kReset, {}};

  // Nothing was written: said where the file shows something the programs do not read.
  const std::string text = ReadRegularFile(CataloguePath(), kCatalogueReadLimit).value_or("");
  if (found >= 0) {
    const std::string hidden = HiddenBuildText(text, found);
    if (hidden.empty()) return {ResetOutcome::kReset, {}};
    return {ResetOutcome::kNotWritten,
            "VornixResetPkg: the Build of '" + programId + "' reads empty already: the markup in " +
                "<Build>" + hidden + "</Build> hides its text from the programs; the catalogue " +
                CataloguePath() + " is left as it is"};
  }
  if (const std::string why = NotFoundBecause(text, programId); !why.empty())
    return {ResetOutcome::kNotWritten, "VornixResetPkg: " + why};
  return {ResetOutcome::kNoSuchPackage,
          "VornixResetPkg: no package '" + programId + "' in the catalogue " + CataloguePath()};
}

std::string CommandLineTail(const std::vector<std::string>& argv) {
  // The words after the program's name as they came, one blank between them.
  std::string tail;
  for (size_t i = 1; i < argv.size(); ++i) tail += (i > 1 ? " " : "") + argv[i];
  return tail;
}

}  // namespace vornix
