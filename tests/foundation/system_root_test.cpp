// Where the programs keep the machine's side when VORNIX_SYSTEM_ROOT is not set: the machine's
// folder for root, the user's data home for anyone else, by the XDG rules.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/system_root.h"

namespace vornix {
namespace {

void Set(const char* name, const char* value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

TEST(DefaultSystemRoot, RootHasTheMachinesAndAnyoneElseTheirDataHome) {
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  const char* data = std::getenv("XDG_DATA_HOME");
  const std::string savedData = data ? data : "";
  const std::string passwd = std::string(getpwuid(geteuid())->pw_dir) + "/.local/share/vornix";
  struct Case {
    const char* home;
    const char* data;
    std::string root;
  };
  for (const Case& c :
       {Case{"/h me", nullptr, "/h me/.local/share/vornix"}, Case{"/h me", "/data", "/data/vornix"},
        Case{"/h me", "data", "/h me/.local/share/vornix"},  // relative: ignored
        Case{nullptr, nullptr, passwd}, Case{"h", nullptr, passwd}}) {
    Set("HOME", c.home);
    Set("XDG_DATA_HOME", c.data);
    EXPECT_EQ(DefaultSystemRoot(false), c.root) << (c.home ? c.home : "(no HOME)");
    EXPECT_EQ(DefaultSystemRoot(true), "/var/lib/vornix");
  }
  Set("HOME", home.empty() ? nullptr : home.c_str());
  Set("XDG_DATA_HOME", data ? savedData.c_str() : nullptr);
}

}  // namespace
}  // namespace vornix
