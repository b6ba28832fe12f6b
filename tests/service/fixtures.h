#pragma once

// What the service's tests share: the product's headers they use, a recording stand-in for the
// window, and the world of a download (a reference server, a program folder, a log).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/activity_log.h"
#include "common/catalogue.h"
#include "common/last_check.h"
#include "common/package_markers.h"
#include "common/protocol.h"
#include "platform/registry.h"
#include "service/core/check_cycle.h"
#include "service/core/file_facts.h"
#include "service/core/package_download.h"
#include "service/core/registration.h"
#include "service/core/service_controller.h"
#include "service/core/settings.h"
#include "service/core/utility_launch.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace vornix {

using Lines = std::vector<std::string>;
using Files = std::map<std::string, std::string>;  // name: bytes
inline Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Stands for the window: records the timer's orders ("stop", "start <ms>"), the notices
// ("<text> <ms>") and the questions ("<caption>: <text>") in order; answers each with `answer`.
struct RecordingWindow : CheckTimerPort, Notices, MessageBoxes {
  void StopCheckTimer() override { events.push_back("stop"); }
  void StartCheckTimer(int ms) override { events.push_back("start " + std::to_string(ms)); }
  void ShowNotice(const std::string& text, int ms) override {
    events.push_back(text + " " + std::to_string(ms));
  }
  MessageBoxAnswer Show(const std::string& text, const std::string& caption,
                        MessageBoxButtons) override {
    return events.push_back(caption + ": " + text), answer;
  }
  Lines Take() { return std::exchange(events, {}); }
  Lines events;
  MessageBoxAnswer answer = MessageBoxAnswer::kYes;
};

// A reference server over a repository of its own, a program folder and a log, all fresh.
class DownloadFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    settings_.ServerUrl = server_.address();
    settings_.ProgramFolder = programDir_.path() + "/";
    settings_.ClientName = "PC7";
    settings_.VendorServer = "127.0.0.1:1/Vornix";  // never used unless a test says so
    ProcessLog().OpenLogIn(logDir_.path() + "/");
  }
  void Publish(const std::string& file, const std::string& bytes) {
    testing::WriteFileBytes(repo_ / file, bytes);
  }
  static PackageRecord Record(const std::string& name, const std::string& build = "",
                              const std::string& update = "") {
    PackageRecord r;
    r.Name.assign(name), r.Build.assign(build), r.Update.assign(update);
    return r;
  }
  // One pass over a package: whether the utility is needed. LogLines() gives what it logged.
  bool Run(const PackageRecord& record) {
    WriteLogLine(::testing::UnitTest::GetInstance()->current_test_info()->name());
    logStart_ = testing::ReadFileBytes(logDir_ / "Vornix.log").size();
    bool utilityNeeded = false;
    DownloadPackage(record, settings_, utilityNeeded);
    return utilityNeeded;
  }
  // The lines of the last Run without their time stamps, the program folder written as "$".
  Lines LogLines() const {
    Lines lines =
        testing::UnstampedLines(testing::ReadFileBytes(logDir_ / "Vornix.log").substr(logStart_));
    for (auto& line : lines) line = Dollar(line);
    return lines;
  }
  Lines Requests() const {
    Lines log = server_.Log();
    for (auto& line : log) line = Dollar(line);
    return log;
  }
  std::string Dollar(std::string text) const {
    for (size_t at; (at = text.find(programDir_.path())) != std::string::npos;)
      text.replace(at, programDir_.path().size(), "$");
    return text;
  }
  std::string Local(const std::string& relative) const { return programDir_ / relative; }
  // Every file below the program folder with its bytes; an executable's name ends in '*'.
  Files AllFiles() const {
    Files files;
    namespace fs = std::filesystem;
    for (const auto& e : fs::recursive_directory_iterator(programDir_.path())) {
      if (!e.is_regular_file()) continue;
      const bool x = (e.status().permissions() & fs::perms::owner_exec) != fs::perms::none;
      files[fs::relative(e.path(), programDir_.path()).string() + (x ? "*" : "")] =
          testing::ReadFileBytes(e.path());
    }
    return files;
  }

  testing::ScopedSystemRoot root_;  // where the signed orders taken are recorded
  testing::TempDir repo_, programDir_, logDir_;
  testing::ReferenceServer server_{testing::ReferenceServerOptions::ForRepository(repo_.path())};
  DownloadSettings settings_;
  size_t logStart_ = 0;
};

}  // namespace vornix
