// The facts of a 1 GiB file in the page cache, read once: the sum alone, beside coreutils
// `sum -s` and a plain read with `cat`; the sum and SHA-256, beside `openssl dgst -sha256`.
#include <benchmark/benchmark.h>

#include "bench/bench_files.h"
#include "service/core/file_facts.h"
#include "testing/support/test_support.h"

namespace {

constexpr uint64_t kFileBytes = 1ull << 30;
std::string g_file;

void BM_FileFacts(benchmark::State& state) {
  const bool withDigest = state.range(0) != 0;
  for (auto _ : state) {
    auto facts = vornix::ReadFileFacts(g_file, withDigest);
    if (!facts) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(facts);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void BM_OpensslDgst(benchmark::State& state) {
  for (auto _ : state) {
    if (!vornix::bench::Shell("openssl dgst -sha256 '" + g_file + "' > /dev/null"))
      state.SkipWithError("openssl");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void BM_CoreutilsSum(benchmark::State& state) {
  for (auto _ : state) {
    if (!vornix::bench::Shell("sum -s '" + g_file + "' > /dev/null")) state.SkipWithError("sum");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void BM_CatToDevNull(benchmark::State& state) {
  for (auto _ : state) {
    if (!vornix::bench::Shell("cat '" + g_file + "' > /dev/null")) state.SkipWithError("cat");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

BENCHMARK(BM_CatToDevNull)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_CoreutilsSum)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_FileFacts)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_OpensslDgst)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_FileFacts)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  vornix::testing::TempDir dir;
  g_file = dir.path() + "/one-gib.bin";
  if (dir.path().empty() || !vornix::bench::WriteBigFile(g_file, kFileBytes)) return 1;
  vornix::bench::Shell("cat '" + g_file + "' > /dev/null");  // into the page cache
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
