// The real 75-second limit, once for each operation: the default that the programs use.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/transport.h"
#include "testing/support/test_support.h"
#include "testing/support/raw_server.h"

namespace vornix {
namespace {

using Clock = std::chrono::steady_clock;

TEST(TransportTimeLimit, SilentServerIsLeftAfterSeventyFiveSeconds) {
  testing::RawServer post(testing::RawServer::Script{{}, true});
  testing::RawServer download(testing::RawServer::Script{{}, true});
  testing::TempDir dir;

  // libcurl's global set-up happens on first use; do it before two threads use it.
  PostCommand("", "", 1);
  const auto start = Clock::now();
  std::string reply = "unset";
  bool downloaded = true;
  std::thread other([&] { downloaded = DownloadFile(download.address() + "/f", dir / "f"); });
  reply = PostCommand(post.address(), "<Cmd>SVRTIME</Cmd>");
  other.join();
  const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();

  EXPECT_EQ(reply, "");
  EXPECT_FALSE(downloaded);
  EXPECT_GE(seconds, 74.5);
  EXPECT_LT(seconds, 90.0);
}

}  // namespace
}  // namespace vornix
