// Where the client takes its name, version and server addresses from.
#include "common/identity.h"
#include "common/product_version.h"
#include "common/server_address.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/host.h"
#include "platform/version.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

// avclient.ini first, then the network's name and address, then the computer name.
TEST(Identity, NameComesFromTheIniThenTheNetworkThenTheComputer) {
  NameSources s;
  std::string ini;
  bool sockets = true;
  std::optional<std::string> host = "desk7";
  bool resolves = true;
  s.profileComputerName = [&] { return ini; };
  s.startSockets = [&] { return sockets; };
  s.hostName = [&] { return host; };
  s.firstAddress = [&](const std::string&) -> std::optional<std::array<unsigned char, 4>> {
    if (!resolves) return std::nullopt;
    return std::array<unsigned char, 4>{10, 1, 2, 254};
  };
  s.computerName = [] { return std::optional<std::string>("DESK7-PC"); };
  const auto shown = [&] {
    const ClientIdentity id = ReadClientName(s);
    return id.ClientName + "/" + id.ClientDisplayText;
  };
  ini = "Front Desk";
  EXPECT_EQ(shown(), "Front Desk/Front Desk*");
  ini = "";
  EXPECT_EQ(shown(), "desk7/desk7  :  10.1.2.254");
  resolves = false;
  EXPECT_EQ(shown(), "desk7/desk7  :  0.0.0.0");
  host = std::nullopt;
  EXPECT_EQ(shown(), "UNKNOWN/UNKNOWN  :  0.0.0.0");
  sockets = false;
  EXPECT_EQ(shown(), "DESK7-PC/DESK7-PC");
}

TEST(Identity, AvclientIniIsReadWithTheProfileRules) {
  testing::ScopedSystemRoot root;
  const std::string ini = root.Windows() + "/avclient.ini";
  const std::string host = HostName().value_or("UNKNOWN");
  EXPECT_EQ(ReadClientName().ClientName, host);
  testing::WriteFileBytes(
      ini, "[other]\r\nComputerName=no\r\n[server]\r\n  computername =  \"Till 3\"  \r\n");
  EXPECT_EQ(ReadClientName().ClientName, "Till 3");
  testing::WriteFileBytes(ini, "[SERVER]\r\nComputerName=\r\n");
  EXPECT_EQ(ReadClientName().ClientName, host);
  testing::WriteFileBytes(ini, "[SERVER]\nComputerName=" + std::string(200, 'n') + "\n");
  EXPECT_EQ(ReadClientName().ClientName, std::string(127, 'n'));
}

TEST(Identity, VersionAndServerAddresses) {
  // The version the build gives the programs, in the version resource's form "2, 0, 0, 4".
  const std::string version = ReadProductVersion();
  EXPECT_EQ(version, VersionResourceText());
  EXPECT_TRUE(std::regex_match(version, std::regex("[0-9]+(, [0-9]+){3}"))) << version;
  EXPECT_EQ(ServiceVersionText("2, 0, 0, 4"), "2.0.0.4");
  EXPECT_EQ(ServiceVersionText("1, , 2"), "1..2");
  EXPECT_EQ(CommandUrl("http://host:81/"), "http://host:81//cgi-bin/vornet");
  EXPECT_EQ(CommandUrl("host"), "host/cgi-bin/vornet");
  EXPECT_EQ(VendorUpdateServer(), "updates.arvel.example:81/Vornix");
  for (const uint32_t local : {0u, 1u}) EXPECT_TRUE(UseLocalServerFrom(local));
  for (const uint32_t vendor : {2u, 0xffffffffu}) EXPECT_FALSE(UseLocalServerFrom(vendor));
  EXPECT_TRUE(UseLocalServerFrom(std::nullopt));
}

}  // namespace
}  // namespace vornix
