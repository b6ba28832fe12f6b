// A verified download, side by side with programs we did not write, in one run over loopback:
// the service's download step for a 256 MiB update (from the question to the server to the
// marker on disk), signed and unsigned, beside `curl -o` and `curl -o` + `openssl dgst -sha256`
// of the same file from the same server; and the utility's check of the file beside `openssl
// dgst -sha256`. Prints the median of each over several rounds, and the ratios.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "bench/bench_files.h"
#include "common/activity_log.h"
#include "common/checked_copy.h"
#include "common/package_markers.h"
#include "platform/regular_file.h"
#include "service/core/package_download.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace {

constexpr uint64_t kFileBytes = 256ull << 20;
constexpr int kRounds = 7;

// The time `run` takes, after `prepare` (not timed: removing what the run before left).
double Seconds(const std::function<void()>& prepare, const std::function<bool()>& run) {
  prepare();
  const auto start = std::chrono::steady_clock::now();
  if (!run()) {
    std::fprintf(stderr, "a run failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  vornix::testing::TempDir dir;
  vornix::testing::ScopedSystemRoot root;  // the record of signed orders taken goes there
  const std::string repo = dir / "repo", program = dir / "program/", out = dir / "curl.bin";
  fs::create_directories(repo + "/big/updates");
  fs::create_directories(program);
  if (!vornix::bench::WriteBigFile(repo + "/big/updates/big.bin", kFileBytes)) return 1;
  vornix::testing::WriteFileBytes(repo + "/big/package.txt",
                                  "UpdateBuild=u1\nUpdateFile=big.bin\nUpdateCmd=\n");
  const std::string key = vornix::testing::PublisherKeygen(dir / "publisher.key");
  if (key.empty() || !vornix::testing::PublisherSign(dir / "publisher.key", repo)) return 1;
  vornix::ProcessLog().OpenLogIn(program);

  vornix::testing::ReferenceServer server(
      vornix::testing::ReferenceServerOptions::ForRepository(repo));
  if (!server.Start()) return 1;
  const std::string url = "http://" + server.address() + "/big/updates/big.bin";
  vornix::bench::Shell("cat '" + repo + "/big/updates/big.bin' > /dev/null");  // page cache

  vornix::PackageRecord record;
  record.Name.assign("big");
  record.Update.assign("u0");
  const auto download = [&](const std::string& updateKey) {
    return [&, updateKey] {
      vornix::DownloadSettings settings;
      settings.ServerUrl = server.address();
      settings.ProgramFolder = program;
      settings.ClientName = "BENCH";
      settings.UpdateKey = updateKey;
      bool utilityNeeded = false;
      vornix::DownloadPackage(record, settings, utilityNeeded);
      return utilityNeeded &&
             vornix::ReadUpdateXml(program + "big/updates/UPDATE.XML").Build == "u1";
    };
  };
  const auto curl = [&] { return vornix::bench::Shell("curl -s -o '" + out + "' '" + url + "'"); };
  const auto curlAndDigest = [&] {
    return curl() && vornix::bench::Shell("openssl dgst -sha256 '" + out + "' > /dev/null");
  };
  const std::string file = program + "big/updates/big.bin";
  const auto utilityCheck = [&] {
    vornix::FileDescriptor fd = vornix::OpenRegularFile(file);
    std::string why;
    return vornix::DigestOfCheckedBytes(fd, program + "big/updates", why).has_value();
  };
  const auto opensslDigest = [&] {
    return vornix::bench::Shell("openssl dgst -sha256 '" + file + "' > /dev/null");
  };

  const auto noCurlFile = [&] { fs::remove(out); };
  const auto noDownload = [&] {
    fs::remove_all(program + "big");
    fs::remove_all(root.path() + "/trust");
  };
  const auto nothing = [] {};
  std::vector<double> signedRuns, unsignedRuns, curlRuns, curlDigestRuns, checkRuns, dgstRuns;
  for (int round = 0; round < kRounds; ++round) {
    curlRuns.push_back(Seconds(noCurlFile, curl));
    curlDigestRuns.push_back(Seconds(noCurlFile, curlAndDigest));
    unsignedRuns.push_back(Seconds(noDownload, download("")));
    signedRuns.push_back(Seconds(noDownload, download(key)));
    checkRuns.push_back(Seconds(nothing, utilityCheck));
    dgstRuns.push_back(Seconds(nothing, opensslDigest));
  }
  server.Stop();

  const double signedS = Median(signedRuns), unsignedS = Median(unsignedRuns),
               curlS = Median(curlRuns), curlDigestS = Median(curlDigestRuns),
               checkS = Median(checkRuns), dgstS = Median(dgstRuns);
  std::printf("256 MiB over loopback, median of %d rounds (seconds)\n", kRounds);
  std::printf("  curl -o                              %.3f\n", curlS);
  std::printf("  curl -o + openssl dgst -sha256       %.3f\n", curlDigestS);
  std::printf("  download step, unsigned              %.3f  %.2fx curl -o\n", unsignedS,
              unsignedS / curlS);
  std::printf(
      "  download step, signed                %.3f  %.2fx curl -o + openssl dgst, %.2fx curl -o\n",
      signedS, signedS / curlDigestS, signedS / curlS);
  std::printf("  openssl dgst -sha256                 %.3f\n", dgstS);
  std::printf("  the utility's check (one read, SHA)   %.3f  %.2fx openssl dgst\n", checkS,
              checkS / dgstS);
  return 0;
}
