// Downloads over loopback from the reference server: one 256 MiB file with DownloadFile beside
// `curl -o`, and a DownloadPackage pass over 128 packages whose builds are all in place.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include "bench/bench_files.h"
#include "bench/bench_server.h"
#include "common/activity_log.h"
#include "common/transport.h"
#include "service/core/package_download.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace {

constexpr uint64_t kFileBytes = 256ull << 20;
constexpr int kPackages = 128;

vornix::testing::ReferenceServer* g_server = nullptr;
std::string g_scratch;

std::string FileUrl() {
  return "http://" + g_server->address() + "/big/updates/big.bin";
}

void BM_DownloadFile(benchmark::State& state) {
  const std::string out = g_scratch + "/out-client.bin";
  for (auto _ : state) {
    if (!vornix::DownloadToFile(FileUrl(), out).completed) state.SkipWithError("download failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
  unlink(out.c_str());
}

void BM_CurlO(benchmark::State& state) {
  const std::string out = g_scratch + "/out-curl.bin";
  for (auto _ : state) {
    if (!vornix::bench::Shell("curl -s -o '" + out + "' '" + FileUrl() + "'")) {
      state.SkipWithError("curl failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
  unlink(out.c_str());
}

// Every package's setup and update are in place: two commands each, no transfer.
void BM_DownloadPackageUpToDate(benchmark::State& state) {
  vornix::DownloadSettings settings;
  settings.ServerUrl = g_server->address();
  settings.ProgramFolder = g_scratch + "/program/";
  settings.ClientName = "BENCH";
  mkdir(settings.ProgramFolder.c_str(), 0755);
  std::vector<vornix::PackageRecord> records(kPackages);
  for (int i = 0; i < kPackages; ++i) {
    records[i].Name.assign("pkg" + std::to_string(i));
    records[i].Build.assign("2.0.0." + std::to_string(i));
    records[i].Update.assign("u" + std::to_string(i));
  }
  bool utilityNeeded = false;
  for (auto _ : state) {
    for (const auto& record : records) vornix::DownloadPackage(record, settings, utilityNeeded);
  }
  if (utilityNeeded) state.SkipWithError("something was downloaded");
  // Seconds of real time per package (printed with an SI prefix: "433u" is 0.433 ms).
  state.counters["per_package"] = benchmark::Counter(
      kPackages, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_CurlO)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4);
BENCHMARK(BM_DownloadFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4);
BENCHMARK(BM_DownloadPackageUpToDate)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  vornix::testing::TempDir dir;
  g_scratch = dir.path();
  const std::string repo = g_scratch + "/repo";
  mkdir(repo.c_str(), 0755);
  mkdir((repo + "/big").c_str(), 0755);
  mkdir((repo + "/big/updates").c_str(), 0755);
  if (!vornix::bench::WriteBigFile(repo + "/big/updates/big.bin", kFileBytes)) return 1;
  for (int i = 0; i < kPackages; ++i) {
    const std::string folder = repo + "/pkg" + std::to_string(i);
    mkdir(folder.c_str(), 0755);
    FILE* f = std::fopen((folder + "/package.txt").c_str(), "we");
    if (!f) return 1;
    std::fprintf(f, "SetupBuild=2.0.0.%d\nUpdateBuild=u%d\nUpdateFile=p.tbz\n", i, i);
    std::fclose(f);
  }
  // Log lines would go to the program's folder; here there are none to write.
  vornix::ProcessLog().OpenLogIn(g_scratch + "/");

  return vornix::bench::RunBenchmarksAgainstServer(repo, g_server);
}
