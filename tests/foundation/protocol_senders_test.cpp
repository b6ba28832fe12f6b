#include <gtest/gtest.h>

#include "common/identity.h"
#include "common/protocol.h"
#include "platform/registry.h"
#include "testing/support/test_support.h"
#include "testing/support/http_test_server.h"

namespace vornix {
namespace {

using testing::HttpTestServer;

// A command script that records each body and answers like a server that knows nothing.
class CommandScript : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Post("/cgi-bin/vornet", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<Error>OK</Error>", "text/xml");
    });
    server_.Start();
  }
  std::string CommandUrl() const { return vornix::CommandUrl(server_.address()); }
  HttpTestServer server_;
};

TEST_F(CommandScript, LogMessageCarriesClientNameColonText) {
  SendLogMessage(CommandUrl(), "PC7", "/srv/qorax/setup.exe: Download Failed");
  EXPECT_EQ(server_.requests(),
            std::vector<std::string>{"POST /cgi-bin/vornet <Cmd>LOGMSG</Cmd><Msg>PC7:/srv/qorax/"
                                     "setup.exe: Download Failed</Msg>"});
}

TEST_F(CommandScript, ConfigurationPostsTheConfigDocument) {
  PackageCatalogue catalogue;
  SendConfiguration(CommandUrl(), "PC7", catalogue);
  EXPECT_EQ(server_.requests(),
            std::vector<std::string>{"POST /cgi-bin/vornet " + ConfigCommand("PC7", catalogue)});
}

// The utility's sender takes its address from UrlOut of the settings key.
class UtilityMessages : public CommandScript {
 protected:
  void SetUp() override {
    CommandScript::SetUp();
    testing::WriteFileBytes(root_.Windows() + "/avclient.ini", "[SERVER]\nComputerName=DESK9\n");
  }
  void WriteUrlOut(const std::string& url) {
    auto key = RegistryKey::Create(SettingsKey(), kKeySetValue);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetString("UrlOut", url));
  }
  testing::ScopedSystemRoot root_;
};

TEST_F(UtilityMessages, NothingIsSentWithoutSettingsKey) {
  UpdaterMessenger messenger;
  messenger.SendLogMessage("first");
  EXPECT_EQ(messenger.CommandUrl(), "");
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(UtilityMessages, AddressIsLookedUpAgainWhileEmptyThenKept) {
  UpdaterMessenger messenger;
  WriteUrlOut("");
  messenger.SendLogMessage("lost");
  EXPECT_EQ(messenger.CommandUrl(), "");

  WriteUrlOut(server_.address());
  messenger.SendLogMessage("'qorax' successfully updated!");
  EXPECT_EQ(messenger.CommandUrl(), server_.address() + "/cgi-bin/vornet");

  WriteUrlOut("127.0.0.1:1");  // a later change is not seen by this process
  messenger.SendLogMessage("second");
  EXPECT_EQ(server_.requests(),
            (std::vector<std::string>{
                "POST /cgi-bin/vornet <Cmd>LOGMSG</Cmd><Msg>DESK9:'qorax' successfully "
                "updated!</Msg>",
                "POST /cgi-bin/vornet <Cmd>LOGMSG</Cmd><Msg>DESK9:second</Msg>"}));
}

TEST_F(UtilityMessages, UrlOutLongerThanItsBufferCountsAsAbsent) {
  UpdaterMessenger messenger;
  WriteUrlOut(server_.address() + "/" + std::string(127 - server_.address().size(), 'x'));
  messenger.SendLogMessage("text");
  EXPECT_EQ(messenger.CommandUrl(), "");
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(UtilityMessages, ProcessMessengerIsOneInstance) {
  EXPECT_EQ(&ProcessMessenger(), &ProcessMessenger());
}

// Binds the qorax listener's fixed port; the test holds the port8080 lock.
TEST(ShutdownRequest, PostsTheShutdownDocumentToTheLocalListener) {
  httplib::Server listener;
  std::vector<std::string> bodies;
  listener.Post("/", [&](const httplib::Request& req, httplib::Response&) {
    bodies.push_back(req.body + "|" + req.get_header_value("Content-Type"));
  });
  // The port may hold closed connections of an earlier test for a minute: SO_REUSEADDR binds
  // past them, as the qorax stand-in does.
  listener.set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  ASSERT_TRUE(listener.bind_to_port("127.0.0.1", 8080));
  std::thread thread([&] { listener.listen_after_bind(); });
  for (int i = 0; i < 500 && !listener.is_running(); ++i) testing::SleepMs(2);
  SendShutdownRequest();
  listener.stop();
  thread.join();
  EXPECT_EQ(bodies, std::vector<std::string>{"<VORNIX SHUTDOWN />|text/xml; charset=utf-8"});
}

}  // namespace
}  // namespace vornix
