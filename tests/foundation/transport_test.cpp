#include "common/transport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "testing/support/test_support.h"
#include "testing/support/http_test_server.h"
#include "testing/support/raw_server.h"

namespace vornix {
namespace {

using testing::HttpTestServer;
using testing::RawServer;
using testing::ReadFileBytes;
using testing::TempDir;

constexpr long kShortLimit = 2;  // seconds; the real 75-second case runs in the slow suite

std::string HeaderBlock(const std::string& request) {
  return request.substr(0, request.find("\r\n\r\n") + 4);
}

RawServer::Script Reply(std::vector<std::string> chunks) {
  return RawServer::Script{std::move(chunks), false};
}

// --- The scheme ---

TEST(WithHttpScheme, KeepsSchemeInAnyLetterCase) {
  EXPECT_EQ(WithHttpScheme("http://a/b"), "http://a/b");
  EXPECT_EQ(WithHttpScheme("HTTP://a/b"), "HTTP://a/b");
  EXPECT_EQ(WithHttpScheme("Http://a/b"), "Http://a/b");
  EXPECT_EQ(WithHttpScheme("https://a/b"), "https://a/b");
  EXPECT_EQ(WithHttpScheme("hTTpS://a/b"), "hTTpS://a/b");
}

TEST(WithHttpScheme, PutsSchemeInFrontOfEverythingElse) {
  EXPECT_EQ(WithHttpScheme("192.168.10.1/cgi-bin/vornet"), "http://192.168.10.1/cgi-bin/vornet");
  EXPECT_EQ(WithHttpScheme("https:/a"), "http://https:/a");
  EXPECT_EQ(WithHttpScheme("http:/a"), "http://http:/a");
  EXPECT_EQ(WithHttpScheme(""), "http://");
}

TEST(WithHttpScheme, HasNoLengthLimit) {
  // The service's address holds up to 511 characters; the command path comes on top.
  const std::string address(511, 'a');
  EXPECT_EQ(WithHttpScheme(address + "/cgi-bin/vornet"), "http://" + address + "/cgi-bin/vornet");
}

// --- The request on the wire ---

TEST(PostCommandRequest, SendsExactlyOnePostWithTheTextXmlHeader) {
  RawServer server(Reply({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"}));
  const std::string body = "<Cmd>SETUPINFO</Cmd><ProgID>vornet</ProgID>";
  EXPECT_EQ(PostCommand(server.address() + "/cgi-bin/vornet", body, kShortLimit), "ok");

  const std::string request = server.request();
  const std::string head = HeaderBlock(request);
  EXPECT_EQ(head.rfind("POST /cgi-bin/vornet HTTP/1.1\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("\r\nContent-Type: text/xml; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(head.find("\r\nContent-Length: 43\r\n"), std::string::npos);
  EXPECT_EQ(head.find("Content-Type:"), head.rfind("Content-Type:")) << "one Content-Type only";
  EXPECT_EQ(head.find("User-Agent"), std::string::npos) << "no user agent is sent";
  EXPECT_EQ(request.substr(head.size()), body);
}

TEST(PostCommandRequest, PostsAnEmptyBodyWithZeroLength) {
  RawServer server(Reply({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}));
  EXPECT_EQ(PostCommand(server.address(), "", kShortLimit), "");
  const std::string request = server.request();
  EXPECT_EQ(request.rfind("POST / HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("\r\nContent-Length: 0\r\n"), std::string::npos);
  EXPECT_EQ(HeaderBlock(request), request);
}

TEST(PostCommandRequest, BodyEndsAtItsFirstNul) {
  RawServer server(Reply({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}));
  PostCommand(server.address(), std::string_view("<Cmd>A</Cmd>\0tail", 17), kShortLimit);
  const std::string request = server.request();
  EXPECT_NE(request.find("\r\nContent-Length: 12\r\n"), std::string::npos);
  EXPECT_EQ(request.substr(HeaderBlock(request).size()), "<Cmd>A</Cmd>");
}

TEST(PostCommandRequest, SchemeInCapitalsReachesTheServer) {
  HttpTestServer server;
  server.Post("/cgi-bin/vornet", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<Error>OK</Error>", "text/xml");
  });
  server.Start();
  EXPECT_EQ(PostCommand("HTTP://" + server.address() + "/cgi-bin/vornet", "<Cmd>X</Cmd>"),
            "<Error>OK</Error>");
  EXPECT_EQ(PostCommand(server.address() + "/cgi-bin/vornet", "<Cmd>Y</Cmd>"), "<Error>OK</Error>");
  EXPECT_EQ(server.requests(), (std::vector<std::string>{"POST /cgi-bin/vornet <Cmd>X</Cmd>",
                                                         "POST /cgi-bin/vornet <Cmd>Y</Cmd>"}));
}

// An authority, and certificates it signed, made with the openssl command: the server's
// certificate must be signed by an authority the client trusts and name the host it asked for.
TEST(HttpsTransfer, OnlyAVerifiedCertificateForTheHostIsTrusted) {
  TempDir dir;
  const std::string key =
      "req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=";
  const std::string sign = "x509 -req -in csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2";
  testing::WriteFileBytes(dir / "right.ext", "subjectAltName=IP:127.0.0.1");
  testing::WriteFileBytes(dir / "wrong.ext", "subjectAltName=DNS:elsewhere.example");
  for (const std::string& command :
       {key + "ca -x509 -keyout ca.key -out ca.pem",
        key + "other -x509 -keyout x.key -out other.pem", key + "s -keyout right.key -out csr",
        sign + " -extfile right.ext -out right.pem", key + "s -keyout wrong.key -out csr",
        sign + " -extfile wrong.ext -out wrong.pem"}) {
    const std::string line = "cd " + dir.path() + " && openssl " + command + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(line.c_str()), 0) << command;
  }
  struct Case {
    const char* what;
    std::string certificate;
    std::string authorities;  // empty: the system's store
    bool trusted;
  };
  for (const Case& c : {Case{"trusted", "right", dir / "ca.pem", true},
                        Case{"another host's certificate", "wrong", dir / "ca.pem", false},
                        Case{"unknown authority", "right", dir / "other.pem", false},
                        Case{"not in the system's store", "right", "", false}}) {
    SCOPED_TRACE(c.what);
    testing::BasicHttpTestServer<httplib::SSLServer> server(
        (dir / (c.certificate + ".pem")).c_str(), (dir / (c.certificate + ".key")).c_str());
    server.Post("/cgi-bin/vornet", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<Error>OK</Error>", "text/xml");
    });
    server.Get("/f", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("file bytes", "application/octet-stream");
    });
    server.Start();
    SetTrustedAuthorities(c.authorities);
    EXPECT_EQ(
        PostCommand("https://" + server.address() + "/cgi-bin/vornet", "<Cmd>X</Cmd>", kShortLimit),
        c.trusted ? "<Error>OK</Error>" : "");
    EXPECT_EQ(DownloadFile("HTTPS://" + server.address() + "/f", dir / "f", kShortLimit),
              c.trusted);
    EXPECT_EQ(ReadFileBytes(dir / "f"), c.trusted ? "file bytes" : "");
    EXPECT_EQ(server.requests().size(), c.trusted ? 2u : 0u);
  }
  SetTrustedAuthorities("");
}

TEST(PostCommandRequest, EmptyAddressGivesEmptyReply) {
  EXPECT_EQ(PostCommand("", "<Cmd>SVRTIME</Cmd>", kShortLimit), "");
}

TEST(PostCommandRequest, RefusedConnectionGivesEmptyReply) {
  int port = 0;
  {
    RawServer closed(Reply({}));
    port = closed.port();
  }  // nothing listens there any more
  EXPECT_EQ(PostCommand("127.0.0.1:" + std::to_string(port), "<Cmd>X</Cmd>", kShortLimit), "");
}

// --- The reply ---

TEST(PostCommandReply, ChunksAreJoinedAndANulDropsOnlyTheRestOfItsChunk) {
  RawServer server(Reply({"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", "<Error>O",
                          std::string("K</Err\0garbage", 14), "or><Build>7</Build>"}));
  EXPECT_EQ(PostCommand(server.address(), "<Cmd>X</Cmd>", kShortLimit),
            "<Error>OK</Error><Build>7</Build>");
}

TEST(PostCommandReply, ErrorPageIsReturnedAsReply) {
  HttpTestServer server;
  server.Post("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("<html>Not Found</html>", "text/html");
  });
  server.Start();
  EXPECT_EQ(PostCommand(server.address() + "/missing", "<Cmd>X</Cmd>"), "<html>Not Found</html>");
}

TEST(PostCommandReply, SilentServerGivesEmptyReplyAtTheTimeLimit) {
  RawServer server(RawServer::Script{{}, true});
  EXPECT_EQ(PostCommand(server.address(), "<Cmd>X</Cmd>", 1), "");
  EXPECT_EQ(server.connections(), 1);
}

TEST(PostCommandReply, PartialReplyIsKeptAtTheTimeLimit) {
  RawServer server(RawServer::Script{
      {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", "<Error>OK</Error>"}, true});
  EXPECT_EQ(PostCommand(server.address(), "<Cmd>X</Cmd>", 1), "<Error>OK</Error>");
}

// --- Downloads ---

TEST(DownloadFile, WritesEveryByteUnchanged) {
  std::string content;
  for (int i = 0; i < 300000; ++i) content += static_cast<char>(i * 7 % 256);
  HttpTestServer server;
  server.Get("/pkg/setup.exe", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(content, "application/octet-stream");
  });
  server.Start();
  TempDir dir;
  EXPECT_TRUE(DownloadFile(server.address() + "/pkg/setup.exe", dir / "setup.exe"));
  EXPECT_EQ(ReadFileBytes(dir / "setup.exe"), content);
  EXPECT_EQ(server.requests(), std::vector<std::string>{"GET /pkg/setup.exe "});
}

TEST(DownloadFile, ErrorPageCountsAsCompletedAndIsWritten) {
  HttpTestServer server;
  server.Start();  // no handlers: cpp-httplib answers 404
  TempDir dir;
  testing::WriteFileBytes(dir / "f", "old content");
  EXPECT_TRUE(DownloadFile("http://" + server.address() + "/none", dir / "f"));
  EXPECT_NE(ReadFileBytes(dir / "f"), "old content");
  EXPECT_EQ(server.requests(), std::vector<std::string>{"GET /none "});
}

TEST(DownloadFile, FileThatCannotBeCreatedMeansNoRequest) {
  HttpTestServer server;
  server.Start();
  TempDir dir;
  EXPECT_FALSE(DownloadFile(server.address() + "/x", dir / "no-such-folder/file"));
  EXPECT_TRUE(server.requests().empty());
}

TEST(DownloadFile, RefusedConnectionLeavesAnEmptyFile) {
  int port = 0;
  {
    RawServer closed(Reply({}));
    port = closed.port();
  }
  TempDir dir;
  testing::WriteFileBytes(dir / "f", "old content");
  EXPECT_FALSE(DownloadFile("127.0.0.1:" + std::to_string(port) + "/x", dir / "f", kShortLimit));
  EXPECT_TRUE(testing::PathExists(dir / "f"));
  EXPECT_EQ(ReadFileBytes(dir / "f"), "");
}

TEST(DownloadFile, TimeLimitLeavesThePartialFile) {
  RawServer server(
      RawServer::Script{{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", "first part"}, true});
  TempDir dir;
  EXPECT_FALSE(DownloadFile(server.address() + "/x", dir / "f", 1));
  EXPECT_EQ(ReadFileBytes(dir / "f"), "first part");
}

}  // namespace
}  // namespace vornix
