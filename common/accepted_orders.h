#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vornix {

// The highest signed order the service has taken of each package, for setups and for updates
// apart, kept in <system root>/trust/accepted-orders (not in WinApps.XML, whose layout other
// programs read). A signed package older than that one is a rollback and is refused, and so is
// one of the same order with another build or file: a server, or anyone between it and the
// client, cannot make the client go back to an older signed build.
enum class PackageKind { kSetup, kUpdate };

struct AcceptedOrder {
  uint64_t order = 0;
  std::string build;
  std::string file;  // the update's file name; empty for a setup
};

// A package as a Signature value offers it: the value's order with the build and file it signs;
// nothing for a value without an order that can be read.
std::optional<AcceptedOrder> SignedOrder(std::string_view signature, std::string_view build,
                                         std::string_view file);

class AcceptedOrders {
 public:
  static std::string FilePath();
  // The record as it is on disk; empty when there is none yet.
  static AcceptedOrders Read();

  std::optional<AcceptedOrder> Find(PackageKind kind, std::string_view programId) const;

  // Why a signed package of this order, build and file may not be taken, naming the rollback;
  // empty when it may: it is newer than the one taken before, or that one, or the first. A
  // record that is there and cannot be read (a damaged line, no regular file) takes nothing.
  std::string RollbackProblem(PackageKind kind, std::string_view programId,
                              const AcceptedOrder& offered) const;

  // Records a package taken when it is newer than the one recorded, and writes the file. False
  // when the file could not be written.
  bool Record(PackageKind kind, std::string_view programId, const AcceptedOrder& taken);

 private:
  std::map<std::string, AcceptedOrder> orders_;  // by "<kind> <program id>"
  std::string unreadable_;                       // why the record on disk cannot be read
};

}  // namespace vornix
