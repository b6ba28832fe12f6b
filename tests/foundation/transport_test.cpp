// The HTTP transport: the scheme, the request's exact bytes, replies as they come (in chunks,
// with NULs, as error pages, partly, never) and why they failed; downloads bounded by silence
// and by their stated size, going on from a byte, stopped; the trace; TLS; the 75-second limit.
#include "common/transport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
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

// Short limits: the real 75 seconds run in their own suite.
TransferOptions Limits(long seconds) {
  TransferOptions options;
  options.commandLimitSeconds = seconds;
  options.silenceLimitSeconds = seconds;
  return options;
}
const TransferOptions kShort = Limits(2);
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
              kShort);
  const std::string request = server.request();
  const std::string head = request.substr(0, request.size() - Body(request).size());
  EXPECT_EQ(head.rfind("POST /cgi-bin/vornet HTTP/1.1\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("\r\nContent-Type: text/xml; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(head.find("\r\nContent-Length: 12\r\n"), std::string::npos);
  EXPECT_EQ(head.find("Content-Type:"), head.rfind("Content-Type:")) << "one Content-Type only";
  EXPECT_EQ(head.find("User-Agent"), std::string::npos) << "no user agent is sent";
  EXPECT_EQ(head.find("Range"), std::string::npos);
  EXPECT_EQ(Body(request), "<Cmd>A</Cmd>");

  RawServer empty(RawServer::Script{{kNoBody}});
  EXPECT_EQ(PostCommand(empty.address(), "", kShort), "");
  EXPECT_NE(empty.request().find("\r\nContent-Length: 0\r\n"), std::string::npos);
  EXPECT_EQ(Body(empty.request()), "");
}

// Whatever came is the reply; what went wrong is told in the transfer's own words.
TEST(Transport, AReplyIsWhateverCameAndAFailureSaysWhy) {
  TransferResult result;
  RawServer chunked(RawServer::Script{{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", "<Error>O",
                                       std::string("K</Err\0garbage", 14), "or><Build>7</Build>"}});
  EXPECT_EQ(PostCommand(chunked.address(), "<Cmd>X</Cmd>", kShort, &result),
            "<Error>OK</Error><Build>7</Build>")
      << "a NUL drops only the rest of its chunk";
  EXPECT_TRUE(result.completed && result.httpStatus == 200 && result.bytes == 41);
  RawServer partial(RawServer::Script{
      {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", "<Error>OK</Error>"}, true});
  EXPECT_EQ(PostCommand(partial.address(), "<Cmd>X</Cmd>", Limits(1), &result),
            "<Error>OK</Error>");
  EXPECT_EQ(result.cause.find("Operation timed out after 1"), 0u) << result.cause;
  RawServer silent(RawServer::Script{{}, true});
  EXPECT_EQ(PostCommand(silent.address(), "<Cmd>X</Cmd>", Limits(1), &result), "");
  EXPECT_EQ(silent.connections(), 1);
  EXPECT_FALSE(result.completed);
  EXPECT_EQ(PostCommand(Closed(), "<Cmd>X</Cmd>", kShort, &result), "");
  EXPECT_NE(result.cause.find("Couldn't connect to server"), std::string::npos) << result.cause;
  EXPECT_EQ(PostCommand("", "<Cmd>X</Cmd>", kShort, &result), "");
  EXPECT_FALSE(result.cause.empty());

  HttpTestServer server;
  server.Post("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("<html>Not Found</html>", "text/html");
  });
  server.Start();
  EXPECT_EQ(PostCommand("HTTP://" + server.address() + "/missing", "<Cmd>X</Cmd>", {}, &result),
            "<html>Not Found</html>");
  EXPECT_TRUE(!result.completed && result.cause == "HTTP 404");
}

// Every byte unchanged, appended to the file; an error page is no part of it; whatever arrived
// stays when the transfer fails, and the failure says why.
TEST(Transport, ADownloadWritesEveryByteAndLeavesWhatArrived) {
  std::string content;
  for (int i = 0; i < 300000; ++i) content += static_cast<char>(i * 7 % 256);
  HttpTestServer server;
  server.Get("/pkg/setup.exe", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(content, "application/octet-stream");
  });
  server.Get("/none", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("<html>Not here</html>", "text/html");
  });
  server.Start();
  TempDir dir;
  std::string seen;
  DownloadRequest request;
  request.url = server.address() + "/pkg/setup.exe";
  request.fd = open((dir / "setup.exe").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  request.onBytes = [&](const char* data, size_t size) { seen.append(data, size); };
  ASSERT_EQ(write(request.fd, "kept", 4), 4);
  const TransferResult whole = DownloadFile(request);
  close(request.fd);
  EXPECT_TRUE(whole.completed && whole.bytes == content.size() && whole.cause.empty());
  EXPECT_EQ(ReadFileBytes(dir / "setup.exe"), "kept" + content);
  EXPECT_EQ(seen, content);
  testing::WriteFileBytes(dir / "page", "old content");
  const TransferResult page = DownloadToFile("http://" + server.address() + "/none", dir / "page");
  EXPECT_TRUE(!page.completed && page.cause == "HTTP 404" && ReadFileBytes(dir / "page").empty());
  EXPECT_EQ(DownloadToFile(server.address() + "/x", dir / "no-such-folder/file").cause,
            dir / "no-such-folder/file cannot be made: No such file or directory");
  EXPECT_EQ(server.requests(), (std::vector<std::string>{"GET /pkg/setup.exe ", "GET /none "}));

  const TransferResult closed = DownloadToFile(Closed() + "/x", dir / "f", kShort);
  EXPECT_NE(closed.cause.find("Couldn't connect to server"), std::string::npos) << closed.cause;
  RawServer stalls(
      RawServer::Script{{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", "first part"}, true});
  const TransferResult silent = DownloadToFile(stalls.address() + "/x", dir / "f", Limits(1));
  EXPECT_EQ(ReadFileBytes(dir / "f"), "first part");
  EXPECT_EQ(silent.cause, "no byte arrived for 1 s");
}

// A download is bounded by silence, not by its length: a slow line that brings a byte now and
// then arrives whole, however long it takes; a stop ends a transfer within a second, and none
// is begun after it. Each exchange is traced on one line, and runs where the program asks.
TEST(Transport, ASlowLineArrivesWholeAndAStopEndsATransfer) {
  std::vector<std::string> slow = {"HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n"};
  for (const char* piece : {"s", "l", "o", "w", " ", "l", "i", "n"}) slow.push_back(piece);
  RawServer trickle(RawServer::Script{slow, false, std::chrono::milliseconds(450)});
  TempDir dir;
  std::vector<std::string> trace;
  int ran = 0;
  TransferOptions options = Limits(1);
  options.trace = [&](const std::string& line) { trace.push_back(line); };
  options.runTransfer = [&](const std::function<void()>& transfer) { ++ran, transfer(); };
  const auto began = std::chrono::steady_clock::now();
  const TransferResult slowly = DownloadToFile(trickle.address() + "/f", dir / "f", options);
  EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(3500))
      << "several times the silence limit";
  EXPECT_TRUE(slowly.completed) << slowly.cause;
  EXPECT_EQ(ReadFileBytes(dir / "f"), "slow lin");
  ASSERT_EQ(trace.size(), 1u);
  EXPECT_EQ(trace[0].substr(trace[0].find(" | ")),
            " | GET | http://" + trickle.address() + "/f | HTTP 200 | 8 bytes | " +
                trace[0].substr(trace[0].find(" s | ") - 5, 5) + " s | OK");
  EXPECT_EQ(ran, 1);

  std::atomic<bool> stop{false};
  options.stop = &stop;
  RawServer stalls(RawServer::Script{{"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n", "a"}, true});
  std::thread stopper([&] {
    testing::SleepMs(300);
    stop = true;
  });
  options.silenceLimitSeconds = 60;
  const auto asked = std::chrono::steady_clock::now();
  const TransferResult stopped = DownloadToFile(stalls.address() + "/f", dir / "g", options);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(2000));
  EXPECT_TRUE(stopped.stopped && !stopped.completed && stopped.cause == "stopped");
  EXPECT_EQ(ReadFileBytes(dir / "g"), "a");
  RawServer unused(RawServer::Script{{kNoBody}});
  TransferResult result;
  EXPECT_EQ(PostCommand(unused.address(), "<Cmd>SVRTIME</Cmd>", options, &result), "");
  EXPECT_TRUE(result.stopped);
  EXPECT_EQ(unused.connections(), 0);
  const std::string last = trace.back();
  EXPECT_NE(last.find(" | GET | http://" + stalls.address() + "/f | HTTP 200 | 1 bytes | "),
            std::string::npos)
      << last;
  EXPECT_EQ(last.substr(last.size() - 10), " | stopped");
}

// One rule whatever the network's chunking: a transfer that brings more than it may (the size
// the server stated) fails, its extra bytes never written; every time, however they are split.
TEST(Transport, ADownloadThatBringsMoreThanStatedFailsEveryTime) {
  const std::string stated(65536, 's'), head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
  const std::vector<std::vector<std::string>> splits = {
      {head + stated + "extra"},                // in the same write as the last stated bytes
      {head, stated, "extra"},                  // in a later write, after a pause
      {head, stated, "e", "x", "t", "r", "a"},  // one byte at a time
      {"HTTP/1.1 200 OK\r\nContent-Length: 65541\r\n\r\n" + stated, "extra"}};
  TempDir dir;
  for (int round = 0; round < 10; ++round) {
    for (const auto& chunks : splits) {
      RawServer server(RawServer::Script{chunks, false, std::chrono::milliseconds(round % 3)});
      const TransferResult r = DownloadToFile(server.address() + "/f", dir / "f", kShort, 65536);
      EXPECT_TRUE(!r.completed && r.tooLong) << chunks.size() << " " << r.cause;
      EXPECT_EQ(r.cause, "it brought more than the 65536 bytes stated");
      EXPECT_LE(ReadFileBytes(dir / "f").size(), 65536u);
    }
  }
}

// Going on from a byte: the range is asked for, and the rest is appended; a server that
// sends the whole file instead says so, and nothing of its answer is written.
TEST(Transport, ADownloadGoesOnFromAByteWhereTheServerAnswersRanges) {
  HttpTestServer server;
  std::string range;
  server.Get("/f", [&](const httplib::Request& req, httplib::Response& res) {
    range = req.get_header_value("Range");
    res.set_content("0123456789", "application/octet-stream");
  });
  server.Start();
  RawServer whole(RawServer::Script{{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789"}});
  TempDir dir;
  testing::WriteFileBytes(dir / "f", "0123");
  DownloadRequest request;
  request.fd = open((dir / "f").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  request.offset = 4;
  request.maxBytes = 6;
  request.url = server.address() + "/f";
  const TransferResult rest = DownloadFile(request);
  EXPECT_TRUE(rest.completed && rest.httpStatus == 206) << rest.cause;
  EXPECT_EQ(range, "bytes=4-");
  request.url = whole.address() + "/whole";
  const TransferResult refused = DownloadFile(request);
  close(request.fd);
  EXPECT_TRUE(!refused.completed && refused.rangeRefused) << refused.cause;
  EXPECT_EQ(ReadFileBytes(dir / "f"), "0123456789");
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
    const char* cause = "";
  } cases[] = {
      {"trusted", "right", dir / "ca.pem", true},
      {"authorities that cannot be used", "right", dir / "ca.pem", false, false,
       "the settings' CaFile cannot be read"},
      {"another host's certificate", "wrong", dir / "ca.pem", false, true,
       "SSL: no alternative certificate subject name matches target host name '127.0.0.1'"},
      {"unknown authority", "right", dir / "other.pem", false, true,
       "SSL certificate problem: unable to get local issuer certificate"},
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
    TransferOptions options = kShort;
    options.trust = {c.authorities, c.usable};
    TransferResult result;
    EXPECT_EQ(PostCommand("https://" + server.address() + "/cgi-bin/vornet", "<Cmd>X</Cmd>",
                          options, &result),
              c.trusted ? "<Error>OK</Error>" : "");
    if (*c.cause) {
      EXPECT_EQ(result.cause, c.cause);
    }
    EXPECT_EQ(DownloadToFile("HTTPS://" + server.address() + "/f", dir / "f", options).completed,
              c.trusted);
    EXPECT_EQ(ReadFileBytes(dir / "f"), c.trusted ? "file bytes" : "");
    EXPECT_EQ(server.requests().size(), c.trusted ? 2u : 0u);
  }
}

// The programs' own limits (the options every program transfers with, left as they are), once
// for each operation, both at the same time: a command's whole exchange, and a download's
// silence, 75 seconds each.
TEST(TransportTimeLimit, ASilentServerIsLeftAfterSeventyFiveSeconds) {
  const TransferOptions programs;
  RawServer post(RawServer::Script{{}, true}), download(RawServer::Script{{}, true});
  TempDir dir;
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  TransferResult downloaded;
  double downloadSeconds = 0;
  std::thread other([&] {
    downloaded = DownloadToFile(download.address() + "/f", dir / "f", programs);
    downloadSeconds = elapsed();
  });
  EXPECT_EQ(PostCommand(post.address(), "<Cmd>SVRTIME</Cmd>", programs), "");
  const double postSeconds = elapsed();
  other.join();
  EXPECT_EQ(downloaded.cause, "no byte arrived for 75 s");
  for (const double seconds : {postSeconds, downloadSeconds})
    EXPECT_TRUE(seconds >= 74.5 && seconds < 90.0) << seconds;
}

}  // namespace
}  // namespace vornix
