// The .reg reader on any bytes: no crash, and what the writer prints parses back the same.
#include <cstdlib>
#include <string>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto values = vornix::RegistryKey::ParseKeyFile(text);
  bool printable = true;
  for (const auto& [name, value] : values) {
    if (name.find_first_of("\r\n") != std::string::npos) printable = false;
    if (const auto* s = std::get_if<std::string>(&value))
      if (s->find_first_of("\r\n") != std::string::npos) printable = false;
  }
  if (printable) {
    const std::string out = vornix::RegistryKey::FormatKeyFile("SOFTWARE\\Test", values);
    if (vornix::RegistryKey::ParseKeyFile(out) != values) std::abort();
  }
  return 0;
}
