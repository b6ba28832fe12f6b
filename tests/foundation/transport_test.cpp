// The HTTP transport: the scheme, the request's exact bytes, replies as they come (in chunks,
// with NULs, as error pages, partly, never), downloads, TLS, and the 75-second limit.
#include "common/transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "testing/support/http_test_server.h"
#include "testing/support/raw_server.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::HttpTestServer;
using testing::RawServer;
using testing::ReadFileBytes;
using testing::TempDir;

constexpr long kShortLimit = 2;  // seconds; the real 75 seconds run in their own suite
constexpr const char* kNoBody = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

std::string Body(const std::string& request) {
  return request.substr(request.find("\r\n\r\n") + 4);
}

// A port where nothing listens.
std::string Closed() {
  return RawServer(RawServer::Script{}).address();
}

TEST(Transport, TheSchemeIsKeptInAnyCaseAndPutInFrontOfAnythingElse) {
  for (const char* kept : {"http://a/b", "HTTP://a/b", "Http://a", "https://a/b", "hTTpS://a"})
    EXPECT_EQ(WithHttpScheme(kept), kept);
  EXPECT_EQ(WithHttpScheme("192.168.10.1/cgi-bin/vornet"), "http://192.168.10.1/cgi-bin/vornet");
  EXPECT_EQ(WithHttpScheme("https:/a"), "http://https:/a");
  EXPECT_EQ(WithHttpScheme(""), "http://");
  const std::string address(511, 'a');  // no length limit
  EXPECT_EQ(WithHttpScheme(address), "http://" + address);
}

TEST(Transport, ACommandIsOnePostWithTheTextXmlHeaderAndTheBodyUpToItsNul) {
  RawServer server(RawServer::Script{{kNoBody}});
  PostCommand(server.address() + "/cgi-bin/vornet", std::string_view("<Cmd>A</Cmd>\0tail", 17),
              kShortLimit);
  const std::string request = server.request();
  const std::string head = request.substr(0, request.size() - Body(request).size());
  EXPECT_EQ(head.rfind("POST /cgi-bin/vornet HTTP/1.1\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("\r\nContent-Type: text/xml; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(head.find("\r\nContent-Length: 12\r\n"), std::string::npos);
  EXPECT_EQ(head.find("Content-Type:"), head.rfind("Content-Type:")) << "one Content-Type only";
  EXPECT_EQ(head.find("User-Agent"), std::string::npos) << "no user agent is sent";
  EXPECT_EQ(Body(request), "<Cmd>A</Cmd>");

  RawServer empty(RawServer::Script{{kNoBody}});
  EXPECT_EQ(PostCommand(empty.address(), "", kShortLimit), "");
  EXPECT_NE(empty.request().find("\r\nContent-Length: 0\r\n"), std::string::npos);
  EXPECT_EQ(Body(empty.request()), "");
}

TEST(Transport, AReplyIsWhateverCameAndEmptyWhenNothingDid) {
  RawServer chunked(RawServer::Script{{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", "<Error>O",
                                       std::string("K</Err\0garbage", 14), "or><Build>7</Build>"}});
  EXPECT_EQ(PostCommand(chunked.address(), "<Cmd>X</Cmd>", kShortLimit),
            "<Error>OK</Error><Build>7</Build>")
      << "a NUL drops only the rest of its chunk";
  RawServer partial(RawServer::Script{
      {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", "<Error>OK</Error>"}, true});
  EXPECT_EQ(PostCommand(partial.address(), "<Cmd>X</Cmd>", 1), "<Error>OK</Error>");
  RawServer silent(RawServer::Script{{}, true});
  EXPECT_EQ(PostCommand(silent.address(), "<Cmd>X</Cmd>", 1), "");
  EXPECT_EQ(silent.connections(), 1);
  EXPECT_EQ(PostCommand(Closed(), "<Cmd>X</Cmd>", kShortLimit), "");
  EXPECT_EQ(PostCommand("", "<Cmd>X</Cmd>", kShortLimit), "");

  HttpTestServer server;
  server.Post("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("<html>Not Found</html>", "text/html");
  });
  server.Start();
  EXPECT_EQ(PostCommand("HTTP://" + server.address() + "/missing", "<Cmd>X</Cmd>"),
            "<html>Not Found</html>");
}

// Every byte unchanged; an error page counts as completed; no request when the file cannot be
// made; whatever arrived stays when the transfer fails.
TEST(Transport, ADownloadWritesEveryByteAndLeavesWhatArrived) {
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
  EXPECT_FALSE(DownloadFile(server.address() + "/pkg/setup.exe", dir / "cut", 10, 299999));
  testing::WriteFileBytes(dir / "page", "old content");
  EXPECT_TRUE(DownloadFile("http://" + server.address() + "/none", dir / "page"));
  EXPECT_NE(ReadFileBytes(dir / "page"), "old content");
  EXPECT_FALSE(DownloadFile(server.address() + "/x", dir / "no-such-folder/file"));
  EXPECT_EQ(server.requests(),
            (std::vector<std::string>{"GET /pkg/setup.exe ", "GET /pkg/setup.exe ", "GET /none "}));

  testing::WriteFileBytes(dir / "f", "old content");
  EXPECT_FALSE(DownloadFile(Closed() + "/x", dir / "f", kShortLimit));
  EXPECT_EQ(ReadFileBytes(dir / "f"), "");
  RawServer stalls(
      RawServer::Script{{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", "first part"}, true});
  EXPECT_FALSE(DownloadFile(stalls.address() + "/x", dir / "f", 1));
  EXPECT_EQ(ReadFileBytes(dir / "f"), "first part");
}

// An authority, and certificates it signed, made with the openssl command: the server's
// certificate must be signed by an authority the client trusts and name the host it asked for.
TEST(Transport, OverHttpsOnlyAVerifiedCertificateForTheHostIsTrusted) {
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
  const struct {
    const char* what;
    std::string certificate;
    std::string authorities;  // empty: the system's store
    bool trusted;
    bool usable = true;  // false: settings that name authorities in a form nobody can read
  } cases[] = {{"trusted", "right", dir / "ca.pem", true},
               {"authorities that cannot be used", "right", dir / "ca.pem", false, false},
               {"another host's certificate", "wrong", dir / "ca.pem", false},
               {"unknown authority", "right", dir / "other.pem", false},
               {"not in the system's store", "right", "", false}};
  for (const auto& c : cases) {
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
    SetTrustedAuthorities(c.authorities, c.usable);
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

// The programs' own limit, once for each operation, both at the same time.
TEST(TransportTimeLimit, ASilentServerIsLeftAfterSeventyFiveSeconds) {
  RawServer post(RawServer::Script{{}, true}), download(RawServer::Script{{}, true});
  TempDir dir;
  PostCommand("", "", 1);  // libcurl's global set-up, before two threads use it
  const auto start = std::chrono::steady_clock::now();
  bool downloaded = true;
  std::thread other([&] { downloaded = DownloadFile(download.address() + "/f", dir / "f"); });
  EXPECT_EQ(PostCommand(post.address(), "<Cmd>SVRTIME</Cmd>"), "");
  other.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(downloaded);
  EXPECT_GE(seconds, 74.5);
  EXPECT_LT(seconds, 90.0);
}

}  // namespace
}  // namespace vornix
