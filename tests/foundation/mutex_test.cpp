// The named mutex and the waited lock: held across processes, released at exit, not inherited.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/named_mutex.h"
#include "platform/window_link.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ScopedSystemRoot;

// The state a second process sees for the mutex `name`.
NamedMutex::State StateInChild(const std::string& name) {
  const pid_t pid = fork();
  if (pid == 0) {
    NamedMutex m(name);
    _exit(static_cast<int>(m.state()));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return static_cast<NamedMutex::State>(WEXITSTATUS(status));
}

TEST(NamedMutex, SecondHolderSeesAlreadyExistsUntilTheFirstGoes) {
  ScopedSystemRoot root;
  {
    NamedMutex first("Vornix");
    ASSERT_EQ(first.state(), NamedMutex::State::kAcquired);
    EXPECT_EQ(StateInChild("Vornix"), NamedMutex::State::kAlreadyExists);
    EXPECT_EQ(StateInChild("Other"), NamedMutex::State::kAcquired);
  }
  EXPECT_EQ(StateInChild("Vornix"), NamedMutex::State::kAcquired);
}

TEST(NamedMutex, AStartedProgramDoesNotInheritIt) {
  ScopedSystemRoot root;
  NamedMutex held("Vornix");
  ASSERT_EQ(held.state(), NamedMutex::State::kAcquired);
  // A child that execs keeps no copy of the descriptor: the lock file is not open in it.
  const auto result =
      testing::RunProcess({"/bin/sh", "-c", "ls -l /proc/self/fd | grep -c Vornix.lock || true"});
  EXPECT_EQ(result.output, "0\n");
}

TEST(WaitedLock, WaitsForTheHolderWithinItsBound) {
  ScopedSystemRoot root;
  const pid_t pid = fork();
  if (pid == 0) {
    WaitedLock lock("VornixUpdate.pass", 1000);
    usleep(300 * 1000);
    _exit(lock.held() ? 0 : 1);
  }
  testing::SleepMs(100);
  WaitedLock shortWait("VornixUpdate.pass", 50);
  EXPECT_FALSE(shortWait.held());
  WaitedLock longWait("VornixUpdate.pass", 5000);
  EXPECT_TRUE(longWait.held());
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(WindowLink, NoSocketOrAStaleOneMeansNoWindow) {
  ScopedSystemRoot root;
  EXPECT_FALSE(FindWindowByTitle("Vornix Update Service"));
  testing::WriteFileBytes(WindowSocketPath("Vornix Update Service"), "");
  EXPECT_FALSE(FindWindowByTitle("Vornix Update Service"));
  EXPECT_FALSE(SendWindowCommand("Vornix Update Service", 57602, 100));
  EXPECT_EQ(ParseWindowCommand("WM_COMMAND 57602"), 57602);
  EXPECT_EQ(ParseWindowCommand("WM_COMMAND 1015\r"), 1015);
  EXPECT_FALSE(ParseWindowCommand("WM_COMMAND x"));
  EXPECT_FALSE(ParseWindowCommand("WM_CLOSE 1"));
}

}  // namespace
}  // namespace vornix
