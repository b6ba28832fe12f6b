// The service as a process with its own system root and program folder.
#include "tests/process/service_process.h"

#include <sys/stat.h>

#include <atomic>
#include <filesystem>

#include "common/catalogue.h"
#include "common/protocol.h"
#include "platform/path.h"
#include "testing/support/http_test_server.h"

namespace vornix {
namespace {

using namespace std::chrono_literals;
using testing::ServiceProcess;
using testing::WaitFor;

// One service at a time: a second start, from another folder, leaves at once and changes
// nothing (the running service's own updates keep going to its folder). "E&xit" through the
// window socket asks, and nobody can answer offscreen: the question goes to standard error and
// takes its default. A crash leaves the socket file behind; the next start is not blocked by it.
// That one runs under a display that does not answer: offscreen, with nothing on standard
// error. "Update &Now" runs a forced pass that puts a new setup of its own package in place
// and starts the utility once: by its path in a folder with a blank, quotes and a tab, in the
// service's folder, inheriting neither the service's lock nor its window socket.
TEST(ServiceProcessTest, OneAtATimeShutdownsACrashAndAPassUnderADisplayThatDoesNotAnswer) {
  testing::ScopedSystemRoot root;
  testing::TempDir repo, programs;
  // A folder with a blank, double quotes and a tab: the utility gets its path as it is.
  const std::string programFolder = programs / "Vornix \"Apps\"\t2";
  testing::ReferenceServer server(testing::ReferenceServerOptions::ForRepository(repo.path()));
  ASSERT_TRUE(server.Start());
  testing::WriteServiceSettings(server.address(), programFolder);
  const auto windowUp = [] { return FindWindowByTitle(kServiceWindowTitle); };
  // Starts a service and waits for its window.
  const auto start = [&](std::map<std::string, std::string> env = {}) {
    auto service = std::make_unique<ServiceProcess>(programFolder, root.path(), std::move(env));
    EXPECT_TRUE(service->Start());
    EXPECT_TRUE(WaitFor(windowUp, 20s)) << service->Output();
    return service;
  };
  // Sends a window command and gives the service's exit code.
  const auto command = [](ServiceProcess& service, int id) {
    EXPECT_EQ(SendWindowCommand(kServiceWindowTitle, id, 10000), std::optional<long>(0));
    return service.WaitExit(15s);
  };

  // A fresh system root: the first start makes the catalogue's folder and registers.
  std::filesystem::remove_all(root.Windows());
  auto first = start();
  ASSERT_TRUE(WaitFor([&] { return testing::PathExists(root.Catalogue()); }, 5s));
  const std::string registered = testing::ReadFileBytes(root.Catalogue());
  ServiceProcess second(programs / "elsewhere", root.path());
  ASSERT_TRUE(second.Start());
  EXPECT_EQ(second.WaitExit(15s), 0);
  const std::string runs = "Vornix runs already as process " + std::to_string(first->pid()) +
                           " (it holds " + root.path() + "/run/mutex/Vornix.lock): this start ends";
  EXPECT_EQ(second.Output(), runs + "\n");
  EXPECT_NE(testing::ReadFileBytes(programs / "elsewhere/Vornix.log").find(runs),
            std::string::npos);
  EXPECT_EQ(testing::ReadFileBytes(root.Catalogue()), registered);
  PackageCatalogue catalogue;
  ASSERT_TRUE(LoadCatalogue(root.Catalogue(), catalogue));
  ASSERT_EQ(catalogue.count, 1);
  EXPECT_EQ(catalogue.records[0].Name.str(), "vornet");
  EXPECT_EQ(catalogue.records[0].Path.str(), programFolder);
  EXPECT_EQ(command(*first, kCommandExit), 1);
  EXPECT_NE(first->Output().find("Notice: Shut down Vornix Update Service"), std::string::npos);
  EXPECT_FALSE(testing::PathExists(WindowSocketPath(kServiceWindowTitle)));
  start()->Kill();  // no clean-up
  ASSERT_TRUE(testing::PathExists(WindowSocketPath(kServiceWindowTitle)));

  testing::WriteFileBytes(repo / "vornet/package.txt", "SetupBuild=9.9\n");
  testing::WriteFileBytes(repo / "vornet/setup.exe", "new service setup");
  const std::string record = programs / "started.txt";
  testing::WriteFileBytes(programFolder + "/VornixUpdate",
                          "#!/bin/sh\nls -l /proc/$$/fd > '" + programs / "fds.txt" + "'\npwd > '" +
                              programs / "cwd.txt" + "'\nprintf '%s|' \"$0\" \"$@\" >> '" + record +
                              "'\n");
  chmod((programFolder + "/VornixUpdate").c_str(), 0755);
  server.ClearRequests();
  auto service = start({{"DISPLAY", ":87"}, {"QT_QPA_PLATFORM", ""}});
  EXPECT_EQ(SendWindowCommand(kServiceWindowTitle, kCommandUpdateNow, 10000), 0);
  ASSERT_TRUE(WaitFor([&] { return FileSize(record) > 0; }, 20s)) << service->Output();
  testing::SleepMs(300);  // a second start would have come by now
  EXPECT_EQ(testing::ReadFileBytes(record), programFolder + "/VornixUpdate|ALL|quiet|restart|");
  EXPECT_EQ(testing::ReadFileBytes(programs / "cwd.txt"), programFolder + "\n");
  const std::string fds = testing::ReadFileBytes(programs / "fds.txt");
  ASSERT_NE(fds.find(" 0 -> "), std::string::npos) << fds;  // the listing itself worked
  EXPECT_EQ(fds.find("Vornix.lock"), std::string::npos) << fds;
  EXPECT_EQ(fds.find("socket:"), std::string::npos) << fds;
  EXPECT_EQ(server.Log(),
            (std::vector<std::string>{"CONFIG", "SETUPINFO vornet",  // forced
                                      "FILEINFO vornet setup.exe", "GET /vornet/setup.exe",
                                      "FILEINFO vornet setup.exe", "UPDATEINFO vornet"}));
  EXPECT_EQ(testing::ReadFileBytes(programFolder + "/vornet/SETUP.VER"), "9.9");
  EXPECT_NE(testing::ReadFileBytes(programFolder + "/Vornix.log")
                .find(" - No Applications detected [0]\r\n"),
            std::string::npos);
  EXPECT_EQ(command(*service, kCommandSilentExit), 1);
  EXPECT_EQ(service->Output(), testing::RootWarningWhenRoot());

  // The lock file is its owner's alone; one that another user owns (who could hold it for
  // ever) is not used, and the start that finds it says so and fails.
  const std::string lock = root.path() + "/run/mutex/Vornix.lock";
  struct stat st {};
  ASSERT_EQ(stat(lock.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  if (geteuid() != 0) return;
  const std::string line =
      "Vornix cannot take its lock " + lock + ": Operation not permitted: this start ends";
  // So is a lock folder that another user made (where others may write the system root).
  for (const std::string& theirs : {lock, root.path() + "/run/mutex"}) {
    ASSERT_EQ(chown(theirs.c_str(), 4242, 4242), 0);
    ServiceProcess refused(programFolder, root.path());
    ASSERT_TRUE(refused.Start());
    EXPECT_EQ(refused.WaitExit(15s), 1);
    EXPECT_EQ(refused.Output(), line + "\n");
    ASSERT_EQ(chown(theirs.c_str(), 0, 0), 0);
  }
  EXPECT_NE(testing::ReadFileBytes(programFolder + "/Vornix.log").find(line), std::string::npos);
}

// A long download over a slow line (400 KB at 40 KB/s) keeps the service answering: a command
// is carried out within two seconds while it runs, and a stop ends it as cleanly: nothing is
// put in the file's place or marked, no failure is logged, and what arrived is kept apart for
// the next check.
TEST(ServiceProcessTest, AnswersWhileItDownloadsAndAStopEndsTheDownloadCleanly) {
  testing::ScopedSystemRoot root;
  testing::TempDir programs;
  const std::string programFolder = programs / "program";
  const std::string file(400 * 1024, 'u');
  testing::HttpTestServer server;
  server.Post("/cgi-bin/vornet", [&](const httplib::Request& req, httplib::Response& res) {
    const std::string cmd = ReadReplyField(req.body, "Cmd", 32);
    if (cmd == "UPDATEINFO")
      res.set_content("<Error>OK</Error><Build>2</Build><FileName>u.bin</FileName>", "text/xml");
    if (cmd == "FILEINFO")
      res.set_content("<Error>OK</Error><Size>" + std::to_string(file.size()) + "</Size><CkSum>" +
                          std::to_string(testing::SystemVSum(file)) + "</CkSum>",
                      "text/xml");
  });
  std::atomic<bool> downloading{false};
  server.Get("/vornet/updates/u.bin", [&](const httplib::Request&, httplib::Response& res) {
    downloading = true;
    res.set_content_provider(file.size(), "application/octet-stream",
                             [&](size_t offset, size_t, httplib::DataSink& sink) {
                               testing::SleepMs(100);
                               return sink.write(file.data() + offset, 4096);
                             });
  });
  server.Start();
  testing::WriteServiceSettings(server.address(), programFolder);
  ServiceProcess service(programFolder, root.path());
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(WaitFor([] { return FindWindowByTitle(kServiceWindowTitle); }, 20s));
  ASSERT_EQ(SendWindowCommand(kServiceWindowTitle, kCommandUpdateNow, 2000), 0);
  ASSERT_TRUE(WaitFor([&] { return downloading.load(); }, 20s)) << service.Output();
  for (const int command : {kCommandUpdateNow, kCommandSilentExit}) {
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(SendWindowCommand(kServiceWindowTitle, command, 2000), 0) << command;
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
  }
  EXPECT_EQ(service.WaitExit(5s), 1) << "the stop ends the download within a second";
  const std::string updates = programFolder + "/vornet/updates/";
  EXPECT_FALSE(testing::PathExists(updates + "u.bin") ||
               testing::PathExists(updates + "UPDATE.XML"));
  const long long kept = FileSize(updates + ".partial-2-u.bin");
  EXPECT_TRUE(kept > 0 && kept < static_cast<long long>(file.size())) << kept;
  EXPECT_EQ(testing::ReadFileBytes(programFolder + "/Vornix.log").find("Download"),
            std::string::npos);
  EXPECT_EQ(service.Output(), testing::RootWarningWhenRoot());
}

}  // namespace
}  // namespace vornix
