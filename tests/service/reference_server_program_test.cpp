// The reference server as the demo starts it: a program on a free port that says where it
// listens, answers commands, writes its request log and ends on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "common/transport.h"
#include "testing/support/test_support.h"

extern char** environ;

namespace vornix {
namespace {

TEST(ReferenceServerProgram, ServesARepositoryAndLogsEveryRequest) {
  testing::TempDir dir;
  testing::WriteFileBytes(dir / "repo/qorax/package.txt", "SetupBuild=2.0.0.5\n");
  testing::WriteFileBytes(dir / "repo/qorax/setup.exe", "abc");
  const std::string program = testing::TestToolFolder() + "/vornix-reference-server";
  const std::string repo = dir / "repo";
  const std::string log = dir / "requests.jsonl";
  const char* argv[] = {program.c_str(), "--repository", repo.c_str(),    "--port",    "0",
                        "--time",        "093000",       "--request-log", log.c_str(), nullptr};

  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = 0;
  ASSERT_EQ(
      posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);

  // The first line names the address; a bounded wait for it.
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  char c = 0;
  while (std::chrono::steady_clock::now() < deadline && read(out[0], &c, 1) == 1 && c != '\n') {
    line += c;
  }
  close(out[0]);
  const std::string prefix = "listening on 127.0.0.1:";
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  const std::string address = line.substr(std::string("listening on ").size());

  EXPECT_EQ(PostCommand(address + "/cgi-bin/vornet", "<Cmd>SVRTIME</Cmd>", 5),
            "<Reply><Time>093000</Time></Reply>\r\n");
  EXPECT_EQ(
      PostCommand(address + "/cgi-bin/vornet",
                  "<Cmd>FILEINFO</Cmd><ProgID>qorax</ProgID><FileName>setup.exe</FileName>", 5),
      "<Reply><Error>OK</Error><Size>3</Size><CkSum>294</CkSum></Reply>\r\n");
  EXPECT_TRUE(DownloadFile(address + "/Vornix/qorax/setup.exe", dir / "setup.exe", 5));
  EXPECT_EQ(testing::ReadFileBytes(dir / "setup.exe"), "abc");

  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_TRUE(testing::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; },
                               std::chrono::seconds(10)));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  const std::string requests = testing::ReadFileBytes(log);
  EXPECT_EQ(requests.find("{\"seq\":1,\"method\":\"POST\",\"path\":\"/cgi-bin/vornet\","
                          "\"command\":\"SVRTIME\""),
            0u)
      << requests;
  EXPECT_NE(requests.find("{\"seq\":3,\"method\":\"GET\",\"path\":\"/Vornix/qorax/setup.exe\""),
            std::string::npos)
      << requests;
}

}  // namespace
}  // namespace vornix
