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
#include "platform/text.h"

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
                                                const PackageCatalogue& after, std::string* why) {
  const auto refuse = [&](const std::string& reason) -> std::optional<std::string> {
    if (why) *why = reason;
    return std::nullopt;
  };
  if (StartsWithUtf16Mark(text))
    return refuse("it is saved as UTF-16, which the programs do not read");
  const size_t kept = std::min<size_t>(scan.packages.size(), PackageCatalogue::kMaxPackages);
  const size_t count = static_cast<size_t>(after.count);
  if (count < kept) return refuse("packages were taken out");  // the programs never do that

  std::vector<Splice> splices;
  std::string unsafe;  // a value set that may not read back: named when the rewrite is refused
  for (size_t i = 0; i < count; ++i) {
    for (int f = 0; f < kCatalogueFieldCount; ++f) {
      const std::string_view value = FieldValue(after.records[i], f);
      if (i < kept && value == FieldValue(scan.packages[i].record, f)) continue;
      if (unsafe.empty() && !IsCatalogueSafe(value))
        unsafe = std::string(FieldElement(f)) + " " + std::string(value);
      if (i >= kept) continue;  // an added package goes in whole, below
      const ScannedPackage& old = scan.packages[i];
      const TextSpan& span = old.values[static_cast<size_t>(f)];
      const TextSpan& empty = old.emptyElements[static_cast<size_t>(f)];
      if (span.found()) {
        splices.push_back({span.begin, span.end, std::string(value)});
        continue;
      }
      // A field the package does not have goes in as an element: in the place of its empty
      // element when it has one, else before the package's Key.
      const std::string element(FieldElement(f));
      const std::string whole = "<" + element + ">" + std::string(value) + "</" + element + ">";
      splices.push_back(empty.found() ? Splice{empty.begin, empty.end, whole}
                                      : Splice{old.keyTag, old.keyTag, whole});
    }
  }
  std::string out;
  if (count > kept) {
    std::string added;
    for (size_t i = kept; i < count; ++i) added += FormatPackage(after.records[i], true);
    if (scan.endTag != std::string_view::npos) {
      splices.push_back({scan.endTag, scan.endTag, added});
    } else if (scan.sawStart) {
      splices.push_back({text.size(), text.size(), added});
    } else if (!OnlyBlanks(text)) {
      return refuse("it holds no <WinApps>");  // text that is no catalogue: not ours to replace
    }
  }

  if (!scan.sawStart && count > kept) {
    out = FormatCatalogue(after, true);  // an empty file, or none: the whole catalogue
  } else {
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice& a, const Splice& b) { return a.begin < b.begin; });
    out.reserve(text.size() + 1024);
    size_t at = 0;
    for (const Splice& s : splices) {
      if (s.begin < at) return refuse("its values overlap");
      out.append(text.substr(at, s.begin - at)).append(s.with);
      at = s.end;
    }
    out.append(text.substr(at));
  }

  // The new text must read back as meant: the changed table, and every package past it.
  const CatalogueScan check = ScanCatalogue(out, kAll);
  std::vector<const PackageRecord*> expected;
  for (size_t i = 0; i < count; ++i) expected.push_back(&after.records[i]);
  for (size_t i = kept; i < scan.packages.size(); ++i) expected.push_back(&scan.packages[i].record);
  bool same = check.packages.size() == expected.size() &&
              (check.endTag == std::string_view::npos) ==
                  (scan.endTag == std::string_view::npos && scan.sawStart);
  for (size_t i = 0; same && i < expected.size(); ++i)
    same = SameRecord(check.packages[i].record, *expected[i]);
  if (!same && !unsafe.empty())
    return refuse("a value would not read back as it was written: " + unsafe);
  if (!same)
    return refuse(
        "it holds text that hides its own tags from a reader (a value with a lone double quote "
        "or with markup)");
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
  std::string why;
  const std::optional<std::string> rewritten = RewriteCatalogueText(text, scan, table, &why);
  if (!rewritten) return Problem(path, "is left as it is: " + why);
  if (*rewritten == text) return {};
  // A fresh system root: the catalogue's folder is made with the catalogue.
  MakeFolders(WindowsDirectory());
  errno = 0;
  if (!ReplaceFileAtomically(path, *rewritten))
    return Problem(path, SystemError("cannot be written", errno ? errno : EIO));
  return {};
}

}  // namespace vornix
