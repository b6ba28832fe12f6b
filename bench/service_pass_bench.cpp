// One forced check pass of the service over a full catalogue of 128 installed packages whose
// setups and updates are all in place, against the reference server on loopback: the
// configuration report and two commands per package, no transfer.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdlib>

#include "bench/bench_files.h"
#include "bench/bench_server.h"
#include "common/activity_log.h"
#include "common/catalogue.h"
#include "service/core/check_cycle.h"
#include "testing/reference_server/reference_server.h"
#include "testing/support/test_support.h"

namespace {

constexpr int kPackages = 128;

vornix::testing::ReferenceServer* g_server = nullptr;
std::string g_scratch;

std::string PackageName(int i) {
  return i == 0 ? "vornet" : "pkg" + std::to_string(i);
}

void BM_ForcedPassUpToDate(benchmark::State& state) {
  vornix::ServiceState service;
  service.ServerUrl = g_server->address();
  service.ClientName = "BENCH";
  service.ProgramFolder = g_scratch + "/program/";
  vornix::CheckPassPorts ports = vornix::SystemCheckPassPorts();
  bool started = false;
  ports.launchUpdateUtility = [&](const std::string&) { return started = true; };
  for (auto _ : state) {
    service.ForceCheck = true;
    vornix::RunCheckCycle(service, ports);
  }
  if (started) state.SkipWithError("something was put in place");
  if (service.DetectedApplications.size() != kPackages - 1) state.SkipWithError("not installed");
}

BENCHMARK(BM_ForcedPassUpToDate)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  vornix::testing::TempDir dir;
  g_scratch = dir.path();
  const std::string repo = g_scratch + "/repo";
  const std::string installs = g_scratch + "/installs";
  mkdir(repo.c_str(), 0755);
  mkdir(installs.c_str(), 0755);
  mkdir((g_scratch + "/program").c_str(), 0755);
  mkdir((g_scratch + "/root").c_str(), 0755);
  mkdir((g_scratch + "/root/windows").c_str(), 0755);
  setenv("VORNIX_SYSTEM_ROOT", (g_scratch + "/root").c_str(), 1);

  vornix::PackageCatalogue catalogue;
  for (int i = 0; i < kPackages; ++i) {
    const std::string name = PackageName(i);
    const std::string folder = repo + "/" + name;
    mkdir(folder.c_str(), 0755);
    FILE* f = std::fopen((folder + "/package.txt").c_str(), "we");
    if (!f) return 1;
    std::fprintf(f, "SetupBuild=2.0.0.%d\nUpdateBuild=u%d\nUpdateFile=p.tbz\n", i, i);
    std::fclose(f);

    vornix::PackageRecord& r = catalogue.records[static_cast<size_t>(catalogue.count++)];
    r.Name.assign(name);
    r.Desc.assign("Package " + std::to_string(i));
    r.Build.assign("2.0.0." + std::to_string(i));
    r.Update.assign("u" + std::to_string(i));
    r.Path.assign(installs);
    r.Key.assign(name + ".exe");
    FILE* program = std::fopen((installs + "/" + name + ".exe").c_str(), "we");
    if (!program) return 1;
    std::fclose(program);
  }
  if (!vornix::SaveCatalogue(vornix::CataloguePath(), catalogue)) return 1;
  vornix::ProcessLog().OpenLogIn(g_scratch + "/");

  return vornix::bench::RunBenchmarksAgainstServer(repo, g_server);
}
