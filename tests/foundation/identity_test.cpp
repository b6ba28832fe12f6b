// Where the client takes its name, version and server addresses from.
#include <gtest/gtest.h>

#include "common/identity.h"
#include "platform/host.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ScopedSystemRoot;
using testing::WriteFileBytes;

NameSources FakeSources(std::string ini, bool sockets = true) {
  NameSources s;
  s.profileComputerName = [ini] { return ini; };
  s.startSockets = [sockets] { return sockets; };
  s.hostName = [] { return std::optional<std::string>("desk7"); };
  s.firstAddress = [](const std::string& name) -> std::optional<std::array<unsigned char, 4>> {
    if (name != "desk7") return std::nullopt;
    return std::array<unsigned char, 4>{10, 1, 2, 254};
  };
  s.computerName = [] { return std::optional<std::string>("DESK7-PC"); };
  return s;
}

TEST(ClientName, AvclientIniWinsAndIsMarkedWithAStar) {
  const auto id = ReadClientName(FakeSources("Front Desk"));
  EXPECT_EQ(id.ClientName, "Front Desk");
  EXPECT_EQ(id.ClientDisplayText, "Front Desk*");
}

TEST(ClientName, NetworkNameAndAddressWhenIniGivesNothing) {
  auto id = ReadClientName(FakeSources(""));
  EXPECT_EQ(id.ClientName, "desk7");
  EXPECT_EQ(id.ClientDisplayText, "desk7  :  10.1.2.254");

  auto unresolved = FakeSources("");
  unresolved.firstAddress = [](const std::string&) { return std::nullopt; };
  EXPECT_EQ(ReadClientName(unresolved).ClientDisplayText, "desk7  :  0.0.0.0");

  auto nameless = FakeSources("");
  nameless.hostName = [] { return std::nullopt; };
  EXPECT_EQ(ReadClientName(nameless).ClientName, "UNKNOWN");
}

TEST(ClientName, ComputerNameWhenSocketsCannotStart) {
  const auto id = ReadClientName(FakeSources("", false));
  EXPECT_EQ(id.ClientName, "DESK7-PC");
  EXPECT_EQ(id.ClientDisplayText, "DESK7-PC");
}

TEST(ClientName, ReadsAvclientIniWithProfileRules) {
  ScopedSystemRoot root;
  const std::string ini = root.Windows() + "/avclient.ini";
  // Absent file: the system's host name.
  EXPECT_EQ(ReadClientName().ClientName, HostName().value_or("UNKNOWN"));
  WriteFileBytes(ini,
                 "[other]\r\nComputerName=no\r\n[server]\r\n  computername =  \"Till 3\"  \r\n");
  EXPECT_EQ(ReadClientName().ClientName, "Till 3");
  WriteFileBytes(ini, "[SERVER]\r\nComputerName=\r\n");
  EXPECT_EQ(ReadClientName().ClientName, HostName().value_or("UNKNOWN"));
  WriteFileBytes(ini, "[SERVER]\nComputerName=" + std::string(200, 'n') + "\n");
  EXPECT_EQ(ReadClientName().ClientName, std::string(127, 'n'));
}

TEST(Version, ResourceTextAndServiceForm) {
  EXPECT_EQ(ReadProductVersion(), "2, 0, 0, 4");
  EXPECT_EQ(ServiceVersionText("2, 0, 0, 4"), "2.0.0.4");
  EXPECT_EQ(ServiceVersionText("1.0"), "1.0");
  EXPECT_EQ(ServiceVersionText("1, , 2"), "1..2");
}

TEST(ServerAddresses, CommandAndDownloadAddresses) {
  EXPECT_EQ(CommandUrl(kDefaultServerUrl), "192.168.10.1/cgi-bin/vornet");
  EXPECT_EQ(CommandUrl("http://host:81/"), "http://host:81//cgi-bin/vornet");
  EXPECT_EQ(UpdaterCommandUrl("host"), "host/cgi-bin/vornet");
  EXPECT_EQ(VendorUpdateServer(), "updates.arvel.example:81/Vornix");
  EXPECT_EQ(SettingsKey(), "SOFTWARE\\Arvel Systems\\Vornix\\Settings");
}

TEST(ServerAddresses, DefaultServerBelowTwoMeansTheLocalServer) {
  EXPECT_TRUE(UseLocalServerFrom(0u));
  EXPECT_TRUE(UseLocalServerFrom(1u));
  EXPECT_FALSE(UseLocalServerFrom(2u));
  EXPECT_FALSE(UseLocalServerFrom(0xffffffffu));
  EXPECT_TRUE(UseLocalServerFrom(std::nullopt));
}

}  // namespace
}  // namespace vornix
