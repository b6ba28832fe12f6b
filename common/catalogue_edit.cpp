#include "common/catalogue_edit.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/named_mutex.h"
#include "platform/path.h"
#include "platform/regular_file.h"
#include "platform/system_root.h"

namespace vornix {

namespace {

constexpr size_t kAll = static_cast<size_t>(-1);

struct Splice {
  size_t begin, end;
  std::string with;
};

bool SameRecord(const PackageRecord& a, const PackageRecord& b) {
  for (int f = 0; f < kCatalogueFieldCount; ++f)
    if (FieldValue(a, f) != FieldValue(b, f)) return false;
  return true;
}

bool OnlyBlanks(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string Problem(const std::string& path, const std::string& what) {
  return "the catalogue " + path + " " + what;
}

std::string SystemError(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

}  // namespace

std::optional<std::string> RewriteCatalogueText(std::string_view text, const CatalogueScan& scan,
                                                const PackageCatalogue& after) {
  const size_t kept = std::min<size_t>(scan.packages.size(), PackageCatalogue::kMaxPackages);
  const size_t count = static_cast<size_t>(after.count);
  if (count < kept) return std::nullopt;  // the programs never remove packages

  std::vector<Splice> splices;
  for (size_t i = 0; i < kept; ++i) {
    const ScannedPackage& old = scan.packages[i];
    for (int f = 0; f < kCatalogueFieldCount; ++f) {
      const std::string_view value = FieldValue(after.records[i], f);
      if (value == FieldValue(old.record, f)) continue;
      const TextSpan& span = old.values[static_cast<size_t>(f)];
      if (span.found()) {
        splices.push_back({span.begin, span.end, std::string(value)});
      } else {
        // A field the file does not have goes in as an element before the package's Key.
        const std::string element(FieldElement(f));
        splices.push_back({old.keyTag, old.keyTag,
                           "<" + element + ">" + std::string(value) + "</" + element + ">"});
      }
    }
  }
  if (count > kept) {
    std::string added;
    for (size_t i = kept; i < count; ++i) added += FormatPackage(after.records[i], true);
    if (scan.endTag != std::string_view::npos) {
      splices.push_back({scan.endTag, scan.endTag, added});
    } else if (scan.sawStart) {
      splices.push_back({text.size(), text.size(), added});
    } else if (OnlyBlanks(text)) {
      return FormatCatalogue(after, true);
    } else {
      return std::nullopt;  // text that is no catalogue: not ours to replace
    }
  }

  std::stable_sort(splices.begin(), splices.end(),
                   [](const Splice& a, const Splice& b) { return a.begin < b.begin; });
  std::string out;
  out.reserve(text.size() + 1024);
  size_t at = 0;
  for (const Splice& s : splices) {
    if (s.begin < at) return std::nullopt;  // overlapping values: a file too odd to change
    out.append(text.substr(at, s.begin - at)).append(s.with);
    at = s.end;
  }
  out.append(text.substr(at));

  // The new text must read back as meant: the changed table, and every package past it.
  const CatalogueScan check = ScanCatalogue(out, kAll);
  std::vector<const PackageRecord*> expected;
  for (size_t i = 0; i < count; ++i) expected.push_back(&after.records[i]);
  for (size_t i = kept; i < scan.packages.size(); ++i) expected.push_back(&scan.packages[i].record);
  if (check.packages.size() != expected.size() ||
      (check.endTag == std::string_view::npos) != (scan.endTag == std::string_view::npos)) {
    return std::nullopt;
  }
  for (size_t i = 0; i < expected.size(); ++i)
    if (!SameRecord(check.packages[i].record, *expected[i])) return std::nullopt;
  return out;
}

std::string EditCatalogue(const std::function<bool(PackageCatalogue&)>& change, int lockWaitMs) {
  const std::string path = CataloguePath();
  const WaitedLock lock(kCatalogueLockName, lockWaitMs);
  if (!lock.held()) {
    char waited[64];
    std::snprintf(waited, sizeof waited, "is being changed by another program (waited %.1f s)",
                  lockWaitMs / 1000.0);
    return Problem(path, lock.error() == EWOULDBLOCK
                             ? std::string(waited)
                             : SystemError("cannot be locked", lock.error()));
  }

  std::string text;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return Problem(path, SystemError("cannot be read", errno));
  } else if (!S_ISREG(st.st_mode)) {
    return Problem(path, "is not a regular file");
  } else {
    std::optional<std::string> read = ReadRegularFile(path, kCatalogueReadLimit + 1);
    if (!read) return Problem(path, SystemError("cannot be read", errno));
    if (read->size() > kCatalogueReadLimit) return Problem(path, "is too large to be read whole");
    text = std::move(*read);
  }

  const CatalogueScan scan = ScanCatalogue(text, kAll);
  PackageCatalogue table;
  FillCatalogue(scan, table);
  if (!change(table)) return {};
  const std::optional<std::string> rewritten = RewriteCatalogueText(text, scan, table);
  if (!rewritten) {
    return Problem(path,
                   "is left as it is: it holds text that a rewrite cannot keep apart from the "
                   "change (a value with a lone double quote or with markup)");
  }
  if (*rewritten == text) return {};
  // A fresh system root: the catalogue's folder is made with the catalogue.
  MakeFolders(WindowsDirectory());
  errno = 0;
  if (!ReplaceFileAtomically(path, *rewritten))
    return Problem(path, SystemError("cannot be written", errno ? errno : EIO));
  return {};
}

}  // namespace vornix
