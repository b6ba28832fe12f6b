#include "testing/qorax_standin/standin_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "platform/module.h"

namespace vornix::standin {

long long WallClockMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void Record(const std::string& text) {
  const std::string path = ModuleFileName() + ".record";
  FILE* f = std::fopen(path.c_str(), "ae");
  if (!f) return;
  std::fprintf(f, "%lld %s\n", WallClockMs(), text.c_str());
  std::fclose(f);
}

void DetachOutput() {
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0) return;
  dup2(null, 0);
  dup2(null, 1);
  dup2(null, 2);
  close(null);
}

}  // namespace vornix::standin
