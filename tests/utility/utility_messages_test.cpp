// What the utility says: its reports to the server and its request to the maker's program to end.
#include "updater/core/utility_messages.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "common/protocol.h"
#include "common/server_address.h"
#include "common/settings_key.h"
#include "platform/registry.h"
#include "testing/support/http_test_server.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::WriteFileBytes;

// CONFIG and LOGMSG go to the command script; the utility's sender finds its address in UrlOut,
// looks again while it has none, then keeps it, and sends nothing without one.
TEST(UtilityMessages, ReportsReachTheCommandScriptAndTheUtilityFindsItsAddressOnce) {
  testing::HttpTestServer server;
  server.Post("/cgi-bin/vornet", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<Error>OK</Error>", "text/xml");
  });
  server.Start();
  PackageCatalogue none;
  SendConfiguration(CommandUrl(server.address()), "PC7", none, {});
  SendLogMessage(CommandUrl(server.address()), "PC7", "text", {});

  testing::ScopedSystemRoot root;
  WriteFileBytes(root.Windows() + "/avclient.ini", "[SERVER]\nComputerName=DESK9\n");
  UpdaterMessenger messenger;
  messenger.SendLogMessage("no settings key");
  auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
  // UrlOut is read as the service reads it, into 512 bytes.
  const std::string tooLong = server.address() + "/" + std::string(511, 'x');
  for (const std::string& url : {std::string(), tooLong, server.address(), std::string("x:1")}) {
    key->SetString("UrlOut", url);
    messenger.SendLogMessage("with UrlOut " + url.substr(0, 10));
  }
  EXPECT_EQ(messenger.CommandUrl(), server.address() + "/cgi-bin/vornet");
  EXPECT_EQ(server.requests(),
            (std::vector<std::string>{
                "POST /cgi-bin/vornet " + ConfigCommand("PC7", none),
                "POST /cgi-bin/vornet <Cmd>LOGMSG</Cmd><Msg>PC7:text</Msg>",
                "POST /cgi-bin/vornet <Cmd>LOGMSG</Cmd><Msg>DESK9:with UrlOut " +
                    server.address().substr(0, 10) + "</Msg>",
                "POST /cgi-bin/vornet <Cmd>LOGMSG</Cmd><Msg>DESK9:with UrlOut x:1</Msg>"}));
}

// Binds the qorax listener's fixed port; the suite holds the port8080 lock.
TEST(UtilityMessages, TheShutdownRequestReachesTheLocalListener) {
  httplib::Server listener;
  std::vector<std::string> bodies;
  listener.Post("/", [&](const httplib::Request& req, httplib::Response&) {
    bodies.push_back(req.body + "|" + req.get_header_value("Content-Type"));
  });
  // Closed connections of an earlier test may hold the port: bind past them, as the qorax
  // stand-in does.
  listener.set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  ASSERT_TRUE(listener.bind_to_port("127.0.0.1", 8080));
  std::thread thread([&] { listener.listen_after_bind(); });
  for (int i = 0; i < 500 && !listener.is_running(); ++i) testing::SleepMs(2);
  SendShutdownRequest({});
  listener.stop();
  thread.join();
  EXPECT_EQ(bodies, std::vector<std::string>{"<VORNIX SHUTDOWN />|text/xml; charset=utf-8"});
}

}  // namespace
}  // namespace vornix
