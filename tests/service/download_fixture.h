#pragma once

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/activity_log.h"
#include "common/package_markers.h"
#include "service/core/package_download.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace vornix {

// A reference server over a repository of its own, a program folder and a log, all fresh.
class DownloadFlow : public ::testing::Test {
 protected:
  static constexpr const char* kClient = "PC7";

  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    settings_.ServerUrl = server_.address();
    settings_.UseLocalServer = true;
    settings_.ProgramFolder = programDir_.path() + "/";
    settings_.ClientName = kClient;
    settings_.VendorServer = "127.0.0.1:1/Vornix";  // never used unless a test says so
    ProcessLog().OpenLogIn(logDir_.path() + "/");
    // The log drops a line that repeats the previous one; start every test on a line of its own.
    WriteLogLine(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  // The package's description in the repository, and its files.
  void Publish(const std::string& name, const std::string& info) {
    testing::WriteFileBytes(repo_ / (name + "/package.txt"), info);
  }
  void PublishSetup(const std::string& name, const std::string& bytes) {
    testing::WriteFileBytes(repo_ / (name + "/setup.exe"), bytes);
  }
  void PublishUpdate(const std::string& name, const std::string& file, const std::string& bytes) {
    testing::WriteFileBytes(repo_ / (name + "/updates/" + file), bytes);
  }

  PackageRecord Record(const std::string& name, const std::string& build = "",
                       const std::string& update = "") {
    PackageRecord r;
    r.Name.assign(name);
    r.Build.assign(build);
    r.Update.assign(update);
    return r;
  }

  bool Run(const PackageRecord& record) {
    bool utilityNeeded = false;
    DownloadPackage(record, settings_, utilityNeeded);
    return utilityNeeded;
  }

  std::string Local(const std::string& relative) const { return programDir_ / relative; }
  std::string LocalBytes(const std::string& relative) const {
    return testing::ReadFileBytes(Local(relative));
  }

  std::string ReadUpdateXmlBuild() const {
    return ReadUpdateXml(Local("qorax/updates/UPDATE.XML")).Build;
  }

  // The log lines after this test's first, without their time stamps.
  std::vector<std::string> LogLines() const {
    const std::string text = testing::ReadFileBytes(logDir_ / "Vornix.log");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find("\r\n", start);
      const std::string line = text.substr(start, end - start);
      lines.push_back(line.substr(line.find(" - ") + 3));
      if (end == std::string::npos) break;
      start = end + 2;
    }
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
  }

  // Names in a folder, without "." and "..".
  static std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
      }
      closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::TempDir repo_;
  testing::TempDir programDir_;
  testing::TempDir logDir_;
  testing::ReferenceServer server_{testing::ReferenceServerOptions::ForRepository(repo_.path())};
  DownloadSettings settings_;
};

}  // namespace vornix
