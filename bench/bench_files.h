#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vornix::bench {

// Writes `bytes` of pseudo-random data to `path`; false on a write error.
inline bool WriteBigFile(const std::string& path, uint64_t bytes) {
  FILE* f = std::fopen(path.c_str(), "wbe");
  if (!f) return false;
  std::vector<uint64_t> block(1 << 17);  // 1 MiB
  uint64_t x = 0x9e3779b97f4a7c15ull;
  bool ok = true;
  for (uint64_t written = 0; ok && written < bytes;) {
    for (uint64_t& w : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      w = x;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes - written, block.size() * 8));
    ok = std::fwrite(block.data(), 1, n, f) == n;
    written += n;
  }
  return std::fclose(f) == 0 && ok;
}

// Runs a shell command; benchmarks compare with programs we did not write.
inline bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

}  // namespace vornix::bench
