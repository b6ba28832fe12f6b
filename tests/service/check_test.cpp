// A start and the checks: the controller driven tick by tick as the window timer would, whole
// passes with real downloads against the reference server, the settings, the service's record.
#include "tests/service/fixtures.h"

#include <regex>

#include "common/package_signature.h"
#include "common/settings_key.h"

namespace vornix {
namespace {

const std::string kFinished = std::string(kFinishNoticeText) + " 500";

// A forced check a minute after the start, without the time question; then at every sixtieth
// tick the server's time, and a pass without the report only when it is night there. "Update
// &Now" forces a check 100 ms later; a tick while a pass runs only stops the timer.
TEST(CheckTimer, TheServersTimeDecidesTheHourlyCheck) {
  const std::pair<const char*, bool> times[] = {{"143000", false}, {"070001", false},
                                                {"070000", true},  {"210000", true},
                                                {"235959", true},  {"000500", true}};
  for (const auto& [time, checks] : times) {
    SCOPED_TRACE(time);
    testing::ScopedSystemRoot root;
    testing::TempDir repository;
    auto options = testing::ReferenceServerOptions::ForRepository(repository.path());
    options.time = time;
    testing::ReferenceServer server(options);
    ASSERT_TRUE(server.Start());
    testing::WriteFileBytes(CataloguePath(),
                            "<WinApps><Package><Name>vornet</Name><Key>k</Key>"
                            "</Package></WinApps>");
    RecordingWindow window;
    ServiceController controller({&window, &window, &window, nullptr, nullptr, nullptr, nullptr});
    controller.state().ServerUrl = server.address();
    controller.state().ProgramFolder = root.path() + "/";
    const Lines pass = {"SETUPINFO vornet", "UPDATEINFO vornet"};

    controller.ArmStartupCheck();
    controller.OnCheckTimerTick();
    EXPECT_EQ(window.Take(), (Lines{"start 60000", "stop", kFinished, "start 60000"}));
    EXPECT_EQ(server.Log(), Lines{"CONFIG"} + pass);
    const auto record = [&] {
      const LastCheck last = ReadLastCheck(root.path()).value_or(LastCheck());
      return last.kind + "|" + last.outcome + "|" + last.utility;
    };
    const std::string unknown = "2 problems, the first: Unknown program id vornet";
    EXPECT_EQ(record(), "forced|" + unknown + "|not needed");
    for (int hour = 0; hour < 2; ++hour) {
      server.ClearRequests();
      for (int minute = 1; minute < 60; ++minute) controller.OnCheckTimerTick();
      EXPECT_EQ(server.Log(), Lines{});
      EXPECT_EQ(window.Take(), Lines{});
      controller.OnCheckTimerTick();
      EXPECT_EQ(server.Log(), Lines{"SVRTIME"} + (checks ? pass : Lines{}));
      EXPECT_EQ(window.Take(),
                Lines{"stop"} + (checks ? Lines{kFinished} : Lines{}) + Lines{"start 60000"});
      EXPECT_EQ(record(), checks ? "hourly|" + unknown + "|not needed"
                                 : "hourly|no check: daytime at the server|not needed");
    }
    server.ClearRequests();
    controller.UpdateNow();
    controller.OnCheckTimerTick();
    EXPECT_EQ(window.Take(), (Lines{"stop", "start 100", "stop", kFinished, "start 60000"}));
    EXPECT_EQ(server.Log(), Lines{"CONFIG"} + pass);
    controller.state().CheckBusy = true;
    controller.state().TickCount = 59;
    controller.OnCheckTimerTick();
    EXPECT_EQ(window.Take(), Lines{"stop"});
  }
}

TEST(CheckTimer, AFolderItCannotWriteIsSaidAtStartAndBeforeEveryPassUntilItCanBe) {
  testing::ScopedSystemRoot root;
  testing::TempDir dir;
  testing::WriteFileBytes(dir / "plain", "");
  RecordingWindow window;
  ServiceController controller({&window, &window, &window, nullptr, nullptr, nullptr, nullptr});
  controller.state().ServerUrl = "127.0.0.1:1";
  controller.state().ProgramFolder = dir / "plain/";  // below a file: nobody can write it
  const std::string text = "Vornix cannot write its program folder " + dir / "plain/";
  ::testing::internal::CaptureStderr();
  controller.LoadAndSaveSettings();
  controller.ArmStartupCheck();
  controller.OnCheckTimerTick();
  controller.state().ProgramFolder = dir.path() + "/";
  controller.UpdateNow();
  controller.OnCheckTimerTick();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            text + ": Not a directory\n" + text + ": Not a directory\n");
  // The passes still run: a check may find it writable.
  EXPECT_EQ(window.Take(), (Lines{"No Applications detected 500", text + " 5000", "start 60000",
                                  "stop", text + " 5000", kFinished, "start 60000", "stop",
                                  "start 100", "stop", kFinished, "start 60000"}));
}

// A utility that cannot be started is said, on standard error and in the log, every time.
TEST(CheckTimer, AUtilityThatCannotBeStartedIsSaid) {
  testing::TempDir dir;
  ProcessLog().OpenLogIn(dir.path() + "/");
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(LaunchUpdateUtility(dir.path() + "/"));
  const std::string line =
      "Vornix cannot start the utility " + dir / "VornixUpdate: not an executable file";
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), line + "\n");
  EXPECT_EQ(testing::UnstampedLines(testing::ReadFileBytes(dir / "Vornix.log")),
            Lines{line + " [0]"});
}

// A UrlOut the service cannot use is said at each decision, and no check runs: no request, no
// pass, no notice; the timer runs on.
TEST(CheckTimer, AnAddressThatCannotBeUsedRunsNoCheck) {
  RecordingWindow window;
  int used = 0;
  ServiceController controller(
      {&window, &window, &window, [&](const std::string&) { return ++used, 0L; },
       [&](ServiceState&) { return ++used, CheckOutcome(); }, nullptr, nullptr});
  controller.state().UrlOutProblem = "UrlOut cannot be used";
  const testing::TempDir dir;
  controller.state().ProgramFolder = dir.path() + "/";
  ::testing::internal::CaptureStderr();
  controller.ArmStartupCheck();
  for (int tick = 0; tick < 61; ++tick) controller.OnCheckTimerTick();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "UrlOut cannot be used\nUrlOut cannot be used\n");
  EXPECT_EQ(used, 0);
  EXPECT_EQ(window.Take(), (Lines{"start 60000", "stop", "start 60000", "stop", "start 60000"}));
}

// A forced pass reports the catalogue, checks the service's own package always and the others
// when installed, and starts the utility once; the settings see the same packages detected.
class CheckCycle : public DownloadFlow {};

TEST_F(CheckCycle, PassesOverTheCatalogue) {
  testing::ScopedSystemRoot root;
  testing::TempDir installs;
  Publish("alpha/package.txt", "SetupBuild=2.0\n");
  Publish("alpha/setup.exe", "alpha setup");
  Publish("beta/package.txt", "UpdateBuild=u7\nUpdateFile=p.tbz\nUpdateCmd=run\n");
  Publish("beta/updates/p.tbz", "beta update");
  PackageCatalogue catalogue;
  // Name and Desc; "VORNET" and "gone" are not installed.
  // clang-format off
  for (const auto& [name, desc] : std::vector<std::pair<std::string, std::string>>{
           {"vornet", "Vornix"}, {"VORNET", "V"}, {"gone", "Gone"}, {"alpha", "Alpha"},
           {"beta", "Beta"}, {"twin", "Alpha"}}) {
    // clang-format on
    PackageRecord& r = catalogue.records[catalogue.count++];
    r.Name.assign(name), r.Desc.assign(desc), r.Path.assign(installs / name), r.Key.assign("p");
    if (name != "VORNET" && name != "gone") testing::WriteFileBytes(installs / name + "/p", "");
  }
  ASSERT_TRUE(SaveCatalogue(root.Catalogue(), catalogue));
  ServiceState state;
  state.ServerUrl = server_.address();
  state.ClientName = "PC7";
  state.ProgramFolder = programDir_.path() + "/";
  CheckPassPorts ports = SystemCheckPassPorts();
  Lines started;
  ports.launchUpdateUtility = [&](const std::string& folder) {
    started.push_back(Dollar(folder));
    return true;
  };

  RunCheckCycle(state, ports);
  EXPECT_EQ(Requests(),
            (Lines{"CONFIG", "SETUPINFO vornet", "UPDATEINFO vornet", "SETUPINFO alpha",
                   "FILEINFO alpha setup.exe", "GET /alpha/setup.exe", "FILEINFO alpha setup.exe",
                   "UPDATEINFO alpha", "SETUPINFO beta", "UPDATEINFO beta",
                   "FILEINFO beta updates/p.tbz", "GET /beta/updates/p.tbz",
                   "FILEINFO beta updates/p.tbz", "SETUPINFO twin", "UPDATEINFO twin"}));
  EXPECT_EQ(server_.Requests().front().body, ConfigCommand("PC7", catalogue));
  EXPECT_EQ(started, Lines{"$/"});
  EXPECT_EQ(state.DetectedApplications, (std::set<std::string>{"Alpha", "Beta"}));

  // Unforced, with everything in place: no report, nothing fetched (what lies ready is checked
  // at rest); the utility is started again for beta's update, which the catalogue does not
  // record yet.
  server_.ClearRequests();
  state.ForceCheck = false;
  RunCheckCycle(state, ports);
  EXPECT_EQ(Requests(), (Lines{"SETUPINFO vornet", "UPDATEINFO vornet", "SETUPINFO alpha",
                               "FILEINFO alpha setup.exe", "UPDATEINFO alpha", "SETUPINFO beta",
                               "UPDATEINFO beta", "FILEINFO beta updates/p.tbz", "SETUPINFO twin",
                               "UPDATEINFO twin"}));
  EXPECT_EQ(started.size(), 2u);
  RecordingWindow window;
  LoadSettings(state, window);
  EXPECT_EQ(window.Take(), Lines{"Detected Alpha, Beta, Alpha 500"});

  // A stop in the middle of a pass ends it where it stands: no further package, no utility.
  int checked = 0;
  ports.downloadPackage = [&](const PackageRecord&, const DownloadSettings&, bool& needed) {
    needed = true;
    PackageCheck check;
    check.stopped = ++checked == 2;
    return check;
  };
  EXPECT_TRUE(RunCheckCycle(state, ports).stopped);
  EXPECT_TRUE(checked == 2 && started.size() == 2u) << checked;
}

// The settings against the registry stand-in: what a first start writes, what a start reads.
// Applying edited settings is driven through the window.
const std::string kKeyHeader =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvel Systems\\Vornix\\Settings]\n";

TEST(SettingsTest, FirstStartWritesAllFiveValuesAndLaterStartsReadThem) {
  testing::ScopedSystemRoot root;
  ServiceState state;
  RecordingWindow window;
  LoadSettings(state, window);
  EXPECT_EQ(state.ServerUrl, "192.168.10.1");
  EXPECT_TRUE(state.UseLocalServer);
  state.ProgramFolder = "/opt/Vornix Apps/";
  SaveSettings(state);
  const std::string key = RegistryKey::KeyFilePath(SettingsKey());
  const std::string time =
      "\"LastUpdate\"=\"(Mon|Tue|Wed|Thu|Fri|Sat|Sun), [A-Z][a-z]{2} \\d\\d, \\d{4} "
      "\\d\\d:\\d\\d:\\d\\d\"";
  EXPECT_EQ(
      std::regex_replace(testing::ReadFileBytes(key), std::regex(time), "<time>"),
      kKeyHeader +
          "\"Version\"=\"1.0\"\n\"DefaultServer\"=dword:00000001\n\"UrlOut\"=\"192.168.10.1\"\n"
          "<time>\n\"ProgPath\"=\"/opt/Vornix Apps/\"\n");

  // A value there but unusable (a line the reader cannot read, an address too long for its
  // 512 bytes or holding a blank) is said, takes no default's place on disk, and a UrlOut like
  // it stops the checks. A save keeps every line there that means what the service holds.
  const std::string fits(511, 'a');  // UrlOut is read into 512 bytes
  std::string utf16 = "\xFF\xFE";
  for (const char c : std::string("\"UrlOut\"=\"10.0.0.7\"\r\n")) utf16 += {c, '\0'};
  const struct {
    std::string values, url;
    bool local;
    std::string problem = {};  // what is said on standard error
  } cases[] = {
      {"\"UrlOut\"=\"127.0.0.1:8081/u\"\n\"DefaultServer\"=dword:00000002\n", "127.0.0.1:8081/u",
       false},
      {"\"UrlOut\"=\"\"\n\"DefaultServer\"=dword:00000000\n", "192.168.10.1", true},
      {"\"DefaultServer\"=dword:00000001\n", "192.168.10.1", true},
      {"\"DefaultServer\"=dword:ffffffff\n", "192.168.10.1", false},
      {"\"UrlOut\"=\"" + fits + "\"\n", fits, true},
      {"\xEF\xBB\xBF\"UrlOut\"=\"10.0.0.7\"\n", "10.0.0.7", true},
      {utf16, "10.0.0.7", true},
      {"\"UrlOut\"=\"" + fits + "b\"\n", "192.168.10.1", true,
       "UrlOut in " + key + " cannot be used (it is longer than 511 characters): no check runs\n"},
      {"\"UrlOut\"=\" 10.0.0.7\"\n", "192.168.10.1", true,
       "UrlOut in " + key + " cannot be used (it holds a blank): no check runs\n"},
      {"\"UrlOut\" = "
       "\"10.0.0.7\"\n\"DefaultServer\"=hex:02\n\"CaFile\"=dword:1\n\"UpdateKey\"=hex:01\n",
       "192.168.10.1", true,
       "CaFile in " + key + " cannot be read: no https:// request is made\nUrlOut in " + key +
           " cannot be used (its line cannot be read): no check runs\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.values);
    const std::string text = c.values[0] == '"' ? kKeyHeader + c.values : c.values;
    testing::WriteFileBytes(key, text);
    ::testing::internal::CaptureStderr();
    LoadSettings(state, window);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.problem);
    EXPECT_EQ(state.ServerUrl, c.url);
    EXPECT_EQ(state.UseLocalServer, c.local);
    EXPECT_EQ(state.UrlOutProblem.empty(), c.problem.find("UrlOut") == std::string::npos);
    const PublisherKey updateKey(state.UpdateKey);
    EXPECT_EQ(updateKey.Required(), c.values.find("UpdateKey") != std::string::npos);
    EXPECT_FALSE(updateKey.Usable());
    ::testing::internal::CaptureStderr();
    SaveSettings(state);
    ::testing::internal::GetCapturedStderr();
    const std::string saved = testing::ReadFileBytes(key);
    EXPECT_EQ(saved.substr(0, text.size()), text) << "every line there stays as it was";
  }
  // Root without a key is said; with a key, or not as root, nothing is.
  ServiceState keyed;
  keyed.UpdateKey = "k";
  EXPECT_TRUE(UnprotectedRootWarning(keyed, true).empty() &&
              UnprotectedRootWarning(ServiceState(), false).empty() &&
              !UnprotectedRootWarning(ServiceState(), true).empty());

  // Read access is all a start needs: a file it may not write still gives it its settings.
  testing::WriteFileBytes(key, kKeyHeader + "\"UrlOut\"=\"10.0.0.9\"\n");
  testing::HandToUnprivileged(root.path(), root.path());
  chmod(key.c_str(), 0444);
  EXPECT_EQ(testing::RunInChild(
                [&] {
                  ServiceState read;
                  LoadSettings(read, window);
                  return read.ServerUrl == "10.0.0.9";
                },
                {true}),
            0);
}

// The service's own record in the catalogue, made or corrected at every start.
std::string Package(const std::string& name, const std::string& path,
                    const std::string& build = "") {
  return testing::PackageText({name, "D", build, "", path});
}
// The service's record as a start makes it, byte for byte.
std::string Own(const std::string& build = "") {
  return testing::PackageText({"vornet", "Vornix", build, "", "/opt/Vornix", "Vornix"});
}

TEST(Registration, TheServiceRecordIsMadeOrCorrectedAndNothingElseChanges) {
  std::string full, many;
  for (int i = 0; i < 128; ++i) full += Package("p" + std::to_string(i), "/p");
  many = testing::PackageText({"long", std::string(60, 'd'), "", "", std::string(295, 'p')}) +
         full + Package("p200", "/p");
  const std::string half =
      " <Package>\r\n  <Name>half</Name>\r\n  <Build>b9</Build>\r\n  <Update>u9</Update>\r\n"
      " </Package>\r\n";
  const std::string quote = testing::PackageText({"mon", "Monitor 24\" edition"});
  struct Case {  // the catalogue's packages before and after ("": no catalogue), SETUP.VER
    const char* what;
    std::string before, setupVer, after;
    bool box = false, settingsKey = true, refused = false;
  } cases[] = {
      {"no catalogue", "", "", Own()},
      // Mended: the slot after a package without Key holds that package's fields; the new
      // record starts empty, and a SETUP.VER holding markup is not taken in either. The
      // package without Key stays in the file.
      {"a stranger's fields", half, "a\"b", half + Own()},
      // Mended: packages past the 128th and values longer than the reader keeps stay.
      {"only the path changes", Package("vornet", "/old") + many, "",
       Package("vornet", "/opt/Vornix") + many},
      // Mended: a lone double quote hides every tag after it; the file is left as it is.
      {"a lone double quote", quote + Package("vornet", "/old"), "",
       quote + Package("vornet", "/old"), false, true, true},
      {"found in any case; a path differing in case is left alone",
       Package("VORNET", "/OPT/vornix"), "", Package("VORNET", "/OPT/vornix")},
      {"moved: the path only, a Build stays", Package("a", "/a") + Package("vornet", "/old", "5"),
       "6", Package("a", "/a") + Package("vornet", "/opt/Vornix", "5")},
      {"an empty Build from SETUP.VER", Package("vornet", "/opt/Vornix"), "2.0.0.5",
       Package("vornet", "/opt/Vornix", "2.0.0.5")},
      {"SETUP.VER read by 128 bytes, cut to 32", "", std::string(40, 'b') + std::string(200, 'c'),
       Own(std::string(32, 'b'))},
      {"full: the message, nothing written", full, "", full, true},
      {"no settings key: nothing at all", "", "2", "", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScopedSystemRoot root;
    if (c.settingsKey)
      RegistryKey::Create(SettingsKey(), kKeySetValue)->SetString("ProgPath", root.path() + "/");
    if (!c.setupVer.empty()) testing::WriteFileBytes(root.path() + "/vornet/SETUP.VER", c.setupVer);
    if (!c.before.empty())
      testing::WriteFileBytes(root.Catalogue(), testing::CatalogueText(c.before));
    RecordingWindow boxes;
    const std::string problem = RegisterServicePackage("/opt/Vornix", boxes);
    EXPECT_EQ(problem.find("Vornix did not register itself: the catalogue " + root.Catalogue() +
                           " is left as it is"),
              c.refused ? 0 : std::string::npos)
        << problem;
    EXPECT_EQ(testing::ReadFileBytes(root.Catalogue()),
              c.after.empty() ? "" : testing::CatalogueText(c.after));
    EXPECT_EQ(boxes.events,
              Lines(c.box, "Error: Cannot add package to WinApps.XML.  Please contact Arvel"));
  }

  // A folder longer than the catalogue keeps would lead the utility elsewhere: not entered.
  for (const size_t length : {256u, 257u}) {
    testing::ScopedSystemRoot root;
    RegistryKey::Create(SettingsKey(), kKeySetValue)->SetString("ProgPath", root.path() + "/");
    const std::string folder = "/" + std::string(length - 1, 'f');
    RecordingWindow boxes;
    const std::string problem = RegisterServicePackage(folder, boxes);
    EXPECT_EQ(problem.empty(), length == 256) << problem;
    EXPECT_EQ(testing::ReadFileBytes(root.Catalogue()),
              length == 256 ? testing::CatalogueText(testing::PackageText(
                                  {"vornet", "Vornix", "", "", folder, "Vornix"}))
                            : "");
  }
}

}  // namespace
}  // namespace vornix
