#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "testing/reference_server/reference_server.h"

namespace vornix::bench {

// Runs the registered benchmarks while a reference server serves `repository` on loopback;
// `server` points at it for the benchmarks' length. 1 when the server cannot start.
inline int RunBenchmarksAgainstServer(const std::string& repository,
                                      testing::ReferenceServer*& server) {
  testing::ReferenceServer running(testing::ReferenceServerOptions::ForRepository(repository));
  if (!running.Start()) return 1;
  server = &running;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  running.Stop();
  server = nullptr;
  return 0;
}

}  // namespace vornix::bench
