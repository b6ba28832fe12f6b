// The stand-ins for the system: registry keys as files, the system root, named mutexes and
// waited locks, window links, command lines, the interpreter and starting programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/system_root.h"
#include "platform/window_link.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::ReadFileBytes;
using testing::ScopedSystemRoot;
using testing::TempDir;
using testing::WaitFor;
using testing::WriteFileBytes;

constexpr const char* kKey = "SOFTWARE\\Arvel Systems\\Vornix\\Settings";
constexpr const char* kHeader =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvel Systems\\Vornix\\Settings]\n";

TEST(Registry, KeysAreFilesInTheEditorsFormatAndValuesRoundTrip) {
  ScopedSystemRoot root;
  EXPECT_FALSE(RegistryKey::Open(kKey, kKeyRead));
  auto key = RegistryKey::Create(kKey, kKeySetValue);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->FilePath(), root.path() +
                                 "/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Arvel Systems/Vornix/"
                                 "Settings.reg");
  ASSERT_TRUE(key->SetString("UrlOut", "C:\\path \"quoted\""));
  ASSERT_TRUE(key->SetDword("DefaultServer", 10));
  EXPECT_EQ(ReadFileBytes(key->FilePath()), std::string(kHeader) +
                                                "\"UrlOut\"=\"C:\\\\path \\\"quoted\\\"\"\n"
                                                "\"DefaultServer\"=dword:0000000a\n");
  auto read = RegistryKey::Open(kKey, kKeyRead);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->QueryString("UrlOut", 512), "C:\\path \"quoted\"");
  EXPECT_EQ(read->QueryDword("DefaultServer"), 10u);
  EXPECT_FALSE(read->QueryDword("UrlOut"));
  EXPECT_FALSE(read->QueryString("Missing", 512));
  EXPECT_FALSE(read->SetString("UrlOut", "x")) << "a key opened for reading refuses changes";
  // A string's size counts its terminator: 127 characters fit 128 bytes, 128 do not.
  key->SetString("UrlOut", std::string(127, 'u'));
  EXPECT_EQ(RegistryKey::Open(kKey, kKeyRead)->QueryString("UrlOut", 128), std::string(127, 'u'));
  key->SetString("UrlOut", std::string(128, 'u'));
  EXPECT_FALSE(RegistryKey::Open(kKey, kKeyRead)->QueryString("UrlOut", 128));
  const auto folder = std::filesystem::path(key->FilePath()).parent_path();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1)
      << "every change replaces the file whole";
}

// Files as people and the registry editor make them: names in any case, other line ends,
// comments, a byte order mark, UTF-16. A change rewrites the line of its value (keeping the
// name's spelling and the line's end) in the file's own encoding, and nothing else; a value
// whose line cannot be read is there, unreadable, and kept. A key whose file is a folder opens
// for nobody.
TEST(Registry, HandWrittenFilesKeepEveryLineAChangeDoesNotTouch) {
  ScopedSystemRoot root;
  const std::string path = RegistryKey::KeyFilePath(kKey);
  const std::string lines =
      "; made by hand\r\n\"urlout\"=\"127.0.0.1:8000\"\r\n\"DefaultServer\"=dword:00000002\r\n"
      "noise\r\n\"UpdateKey\" = \"abc\"\r\n\"CaFile\"=hex:01,02\r\n\"Last\"=\"x";
  const auto utf16 = [](const std::string& text, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : text) out += little ? std::string{c, '\0'} : std::string{'\0', c};
    return out;
  };
  const struct {
    const char* what;
    std::string before, after;
  } cases[] = {
      {"bytes", lines,
       "; made by hand\r\n\"urlout\"=\"10.0.0.1\"\r\n\"DefaultServer\"=dword:00000002\r\nnoise\r\n"
       "\"UpdateKey\" = "
       "\"abc\"\r\n\"CaFile\"=hex:01,02\r\n\"Last\"=\"x\r\n\"Version\"=\"1.0\"\r\n"},
      {"UTF-8 with its mark", "\xEF\xBB\xBF\"UrlOut\"=\"127.0.0.1:8000\"\n",
       "\xEF\xBB\xBF\"UrlOut\"=\"10.0.0.1\"\n\"Version\"=\"1.0\"\n"},
      {"a last line ending in a lone CR", "\"A\"=\"1\"\r\n\"UrlOut\"=\"127.0.0.1:8000\"\r",
       "\"A\"=\"1\"\r\n\"UrlOut\"=\"10.0.0.1\"\r\n\"Version\"=\"1.0\"\r\n"},
      {"UTF-16LE", utf16(lines, true),
       utf16("; made by hand\r\n\"urlout\"=\"10.0.0.1\"\r\n\"DefaultServer\"=dword:00000002\r\n"
             "noise\r\n\"UpdateKey\" = \"abc\"\r\n\"CaFile\"=hex:01,02\r\n\"Last\"=\"x\r\n"
             "\"Version\"=\"1.0\"\r\n",
             true)},
      {"UTF-16BE", utf16(lines, false),
       utf16("; made by hand\r\n\"urlout\"=\"10.0.0.1\"\r\n\"DefaultServer\"=dword:00000002\r\n"
             "noise\r\n\"UpdateKey\" = \"abc\"\r\n\"CaFile\"=hex:01,02\r\n\"Last\"=\"x\r\n"
             "\"Version\"=\"1.0\"\r\n",
             false)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(path, c.before);
    auto key = RegistryKey::Open(kKey, kKeyRead | kKeySetValue);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryString("UrlOut", 512), "127.0.0.1:8000");
    ASSERT_TRUE(key->SetString("UrlOut", "10.0.0.1") && key->SetString("Version", "1.0"));
    if (c.before.find("noise") != std::string::npos || c.before.find('\0') != std::string::npos) {
      EXPECT_EQ(key->QueryDword("DEFAULTSERVER"), 2u);
      for (const char* name : {"UpdateKey", "CaFile", "Last"}) {
        EXPECT_TRUE(key->Unreadable(name) && !key->QueryString(name, 512)) << name;
        EXPECT_FALSE(key->SetString(name, "x")) << "kept: " << name;
      }
    }
    EXPECT_EQ(ReadFileBytes(path), c.after);
  }
  auto key = RegistryKey::Open(kKey, kKeyRead | kKeySetValue);
  ASSERT_TRUE(key->SetString("CaFile", "/ca.pem", true));
  EXPECT_EQ(RegistryKey::Open(kKey, kKeyRead)->QueryString("CaFile", 512), "/ca.pem");
  // Each form of a line that names a value it cannot read.
  for (const char* line :
       {"UpdateKey=\"k\"", "\"UpdateKey=\"k\"", " \"UpdateKey\"= \"k\" x",
        "\"UpdateKey\"=hex(2):6b,00", "\"UpdateKey\"=\"k", "\"UpdateKey\"=dword:1x"}) {
    WriteFileBytes(path, std::string(line) + "\n");
    EXPECT_TRUE(RegistryKey::Open(kKey, kKeyRead)->Unreadable("UpdateKey")) << line;
  }

  std::filesystem::remove(path);
  std::filesystem::create_directories(path);
  EXPECT_FALSE(RegistryKey::Open(kKey, kKeyRead));
  EXPECT_FALSE(RegistryKey::Open(kKey, kKeyRead | kKeySetValue));
  EXPECT_FALSE(RegistryKey::Create(kKey, kKeySetValue));
}

// Without VORNIX_SYSTEM_ROOT: the machine's folder for root, the user's data home for anyone
// else, by the XDG rules (a relative value is ignored; no HOME means the passwd entry's).
TEST(SystemRoot, RootHasTheMachinesAndAnyoneElseTheirDataHome) {
  const auto keep = [](const char* name) {
    const char* v = std::getenv(name);
    return std::optional<std::string>(v ? std::optional<std::string>(v) : std::nullopt);
  };
  const auto home = keep("HOME"), data = keep("XDG_DATA_HOME");
  const auto set = [](const char* name, const std::optional<std::string>& value) {
    value ? setenv(name, value->c_str(), 1) : unsetenv(name);
  };
  const std::string passwd = std::string(getpwuid(geteuid())->pw_dir) + "/.local/share/vornix";
  const struct {
    std::optional<std::string> home, data;
    std::string root;
  } cases[] = {{"/h me", {}, "/h me/.local/share/vornix"},
               {"/h me", "/data", "/data/vornix"},
               {"/h me", "data", "/h me/.local/share/vornix"},
               {{}, {}, passwd},
               {"h", {}, passwd}};
  for (const auto& c : cases) {
    set("HOME", c.home);
    set("XDG_DATA_HOME", c.data);
    EXPECT_EQ(DefaultSystemRoot(false), c.root) << c.home.value_or("(no HOME)");
    EXPECT_EQ(DefaultSystemRoot(true), "/var/lib/vornix");
  }
  set("HOME", home);
  set("XDG_DATA_HOME", data);
}

// The state a second process sees for the mutex `name`.
NamedMutex::State StateInChild(const std::string& name) {
  return static_cast<NamedMutex::State>(testing::RunInChild(
      [&] { return NamedMutex(name).state() == NamedMutex::State::kAcquired; }));
}

TEST(Locks, AMutexIsHeldAcrossProcessesUntilItsHolderGoesAndIsNeverInherited) {
  ScopedSystemRoot root;
  {
    NamedMutex first("Vornix");
    ASSERT_EQ(first.state(), NamedMutex::State::kAcquired);
    EXPECT_NE(StateInChild("Vornix"), NamedMutex::State::kAcquired);
    EXPECT_EQ(StateInChild("Other"), NamedMutex::State::kAcquired);
    EXPECT_FALSE(WaitUntilNamedMutexFree("Vornix", 100));
    // A started program keeps no copy of the descriptor: the lock file is not open in it.
    EXPECT_EQ(
        testing::RunProcess({"/bin/sh", "-c", "ls -l /proc/self/fd | grep -c Vornix.lock"}).output,
        "0\n");
  }
  EXPECT_EQ(StateInChild("Vornix"), NamedMutex::State::kAcquired);
  EXPECT_TRUE(WaitUntilNamedMutexFree("Vornix", 0));
  EXPECT_TRUE(WaitUntilNamedMutexFree("NeverTaken", 0));
}

TEST(Locks, AWaitedLockWaitsForItsHolderWithinItsBound) {
  ScopedSystemRoot root;
  int held[2];
  ASSERT_EQ(pipe2(held, O_CLOEXEC), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(held[0]);
    WaitedLock lock("VornixUpdate.pass", 1000);
    // Tells the parent the lock is taken, then keeps it a while.
    if (!lock.held() || write(held[1], "h", 1) != 1) _exit(1);
    usleep(300 * 1000);
    _exit(0);
  }
  close(held[1]);
  pollfd ready{held[0], POLLIN, 0};
  char byte = 0;
  ASSERT_TRUE(poll(&ready, 1, 5000) == 1 && read(held[0], &byte, 1) == 1) << "the child holds it";
  close(held[0]);
  EXPECT_FALSE(WaitedLock("VornixUpdate.pass", 50).held());
  EXPECT_TRUE(WaitedLock("VornixUpdate.pass", 5000).held());
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Locks, NoSocketOrAStaleOneMeansNoWindow) {
  ScopedSystemRoot root;
  EXPECT_FALSE(FindWindowByTitle("Vornix Update Service"));
  WriteFileBytes(WindowSocketPath("Vornix Update Service"), "");
  EXPECT_FALSE(FindWindowByTitle("Vornix Update Service"));
  EXPECT_FALSE(SendWindowCommand("Vornix Update Service", 57602, 100));
  EXPECT_EQ(ParseWindowCommand("WM_COMMAND 57602"), 57602);
  EXPECT_EQ(ParseWindowCommand("WM_COMMAND 1015\r"), 1015);
  EXPECT_FALSE(ParseWindowCommand("WM_COMMAND x"));
  EXPECT_FALSE(ParseWindowCommand("WM_CLOSE 1"));
}

// The interpreter, and programs run and waited for: their exit codes, a command killed by a
// signal, their output into a file, their own work folder.
TEST(Processes, CommandsAndProgramsRunToTheirExitCode) {
  EXPECT_EQ(JoinCommandLine({"/opt/my apps/U", "ALL", "quiet"}), "\"/opt/my apps/U\" ALL quiet");
  TempDir dir;
  const std::string path = dir / "it's a \"file\" $(touch pwned); `x` & y";
  ASSERT_EQ(RunShellCommand("printf ok > " + testing::ShellQuote(path)), 0);
  EXPECT_EQ(ReadFileBytes(path), "ok");
  EXPECT_FALSE(testing::PathExists("pwned"));
  EXPECT_EQ(RunShellCommand("exit 3"), 3);
  EXPECT_NE(RunShellCommand("kill -9 $$"), 0) << "a command killed by a signal is no success";
  EXPECT_EQ(RunShellCommand("pwd > where", dir.path()), 0);
  EXPECT_EQ(ReadFileBytes(dir / "where"), dir.path() + "\n");
  const int out = open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  EXPECT_EQ(RunProgram({"/bin/echo", "a b", "$x"}, dir.path(), out), 0);
  close(out);
  EXPECT_EQ(ReadFileBytes(dir / "out"), "a b $x\n");
  EXPECT_EQ(RunProgram({"no-such-program-anywhere"}), -1);
  EXPECT_EQ(RunProgram({"/bin/true"}, dir / "missing"), 127);
}

// A started program runs detached, in its own work folder or the current one, and receives its
// words as they are, whatever they hold: blanks, double quotes, tabs, an empty word. It is
// looked for in the current folder before PATH; one that cannot be started says why.
TEST(Processes, StartedProgramsRunDetachedWithTheirWordsAndFailuresAreSeen) {
  TempDir dir;
  const std::string folder = dir / "a \"b\"\tc";
  std::filesystem::create_directories(folder);
  const std::string script = folder + "/tool with blank";
  WriteFileBytes(script, "#!/bin/sh\nsleep 0.2\nprintf '%s|' \"$@\" > out.txt\npwd >> out.txt\n");
  chmod(script.c_str(), 0755);
  WriteFileBytes(dir / "noexec", "#!/bin/sh\n");
  WriteFileBytes(dir / "garbage", "not a program");  // executable, yet the system cannot run it
  chmod((dir / "garbage").c_str(), 0755);
  EXPECT_TRUE(StartProgram({script, "ALL", "two \"words\"", "", "tab\there"}, dir.path()));
  EXPECT_FALSE(testing::PathExists(dir / "out.txt")) << "StartProgram must not wait";
  // Names with a folder are taken from the current folder, which nothing changes.
  const auto relative = [&](const char* name) {
    return std::filesystem::relative(dir / name).string();
  };
  const std::pair<std::vector<std::string>, std::string> failures[] = {
      {{relative("noexec")}, "not an executable file"},
      {{"noexec"}, "not found in the current folder or along PATH"},
      {{relative("garbage")}, "Exec format error"},
      {{"no-such-program-anywhere"}, "not found in the current folder or along PATH"},
      {{}, "no program named"}};
  for (const auto& [argv, reason] : failures) {
    std::string why;
    EXPECT_FALSE(StartProgram(argv, {}, &why));
    EXPECT_EQ(why, reason);
  }
  std::string why;
  EXPECT_FALSE(StartProgram({script}, dir / "missing", &why));
  EXPECT_EQ(why, "No such file or directory");
  EXPECT_TRUE(StartProgram({"true"}));  // found along PATH
  ASSERT_TRUE(
      WaitFor([&] { return ReadFileBytes(dir / "out.txt").find('\n') != std::string::npos; },
              std::chrono::seconds(10)));
  EXPECT_EQ(ReadFileBytes(dir / "out.txt"), "ALL|two \"words\"||tab\there|" + dir.path() + "\n");
}

// A copy replaces its target whole: a link there is replaced, never written through; the mode
// comes along; a program running from the target keeps running.
TEST(Processes, CopiesReplaceTheirTargetWhole) {
  TempDir dir;
  WriteFileBytes(dir / "source", "new bytes");
  chmod((dir / "source").c_str(), 0750);
  WriteFileBytes(dir / "victim", "victim");
  std::filesystem::create_symlink(dir / "victim", dir / "target");
  ASSERT_TRUE(CopyFileReplacing(dir / "source", dir / "target"));
  EXPECT_EQ(ReadFileBytes(dir / "target") + ReadFileBytes(dir / "victim"), "new bytesvictim");
  struct stat st {};
  ASSERT_EQ(lstat((dir / "target").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode) && (st.st_mode & 07777) == 0750);
  std::filesystem::copy_file("/bin/sleep", dir / "running");
  ASSERT_TRUE(StartProgram({dir / "running", "1"}));
  EXPECT_TRUE(CopyFileReplacing(dir / "source", dir / "running")) << "the program file is busy";
  EXPECT_FALSE(CopyFileReplacing(dir / "missing", dir / "target"));
  EXPECT_FALSE(CopyFileReplacing(dir.path(), dir / "target")) << "a folder is no file";
  EXPECT_FALSE(CopyFileReplacing(dir / "source", dir / "no folder/target"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4)
      << "nothing is left beside the targets";
}

}  // namespace
}  // namespace vornix
