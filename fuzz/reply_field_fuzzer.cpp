// ReadReplyField on any reply: no crash or overrun, a value never longer than its capacity
// allows, and the reader agrees with itself on the marker files it writes.
#include <cstdlib>
#include <string>

#include "common/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the capacity, as the callers use 16 to 256.
  const size_t capacity = 1 + data[0] % 256;
  const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
  for (const char* name : {"Error", "Build", "FileName", "UpdateCmd", "Size", "CkSum", "Time"}) {
    const std::string value = vornix::ReadReplyField(reply, name, capacity);
    if (value.size() > capacity - 1) std::abort();
    if (value.find('\0') != std::string::npos && reply.find('\0') == std::string::npos)
      std::abort();
  }
  vornix::ReplyNumber(reply);
  return 0;
}
