// Reading and writing a full catalogue: 128 records with every field at its full width.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "common/catalogue.h"
#include "testing/support/test_support.h"

namespace vornix {
namespace {

PackageCatalogue FullCatalogue() {
  PackageCatalogue cat;
  cat.count = PackageCatalogue::kMaxPackages;
  for (int i = 0; i < cat.count; ++i) {
    PackageRecord& r = cat.records[static_cast<size_t>(i)];
    const char c = static_cast<char>('a' + i % 26);
    r.Name.assign(std::string(12, c));
    r.Desc.assign(std::string(52, c));
    r.Build.assign(std::string(32, c));
    r.Update.assign(std::string(32, c));
    r.Path.assign(std::string(256, c));
    r.Key.assign(std::string(32, c));
  }
  return cat;
}

void BM_ReadFullCatalogueFromFile(benchmark::State& state) {
  testing::TempDir dir;
  const std::string path = dir / "WinApps.XML";
  SaveCatalogue(path, FullCatalogue());
  PackageCatalogue cat;
  for (auto _ : state) {
    LoadCatalogue(path, cat);
    benchmark::DoNotOptimize(cat.count);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          testing::ReadFileBytes(path).size());
}
BENCHMARK(BM_ReadFullCatalogueFromFile);

void BM_FormatFullCatalogue(benchmark::State& state) {
  const PackageCatalogue cat = FullCatalogue();
  for (auto _ : state) benchmark::DoNotOptimize(FormatCatalogue(cat, true));
}
BENCHMARK(BM_FormatFullCatalogue);

// The whole rewrite as the programs do it: temporary file, fsync, rename.
void BM_SaveFullCatalogue(benchmark::State& state) {
  testing::TempDir dir;
  const std::string path = dir / "WinApps.XML";
  const PackageCatalogue cat = FullCatalogue();
  for (auto _ : state) benchmark::DoNotOptimize(SaveCatalogue(path, cat));
}
BENCHMARK(BM_SaveFullCatalogue);

}  // namespace
}  // namespace vornix

BENCHMARK_MAIN();
