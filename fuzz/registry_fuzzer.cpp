// The settings file reader on any bytes: no crash; reading and writing back unchanged gives the
// same bytes; a change of one value rewrites its line alone (or adds one at the end), reads back
// as set, and a line that cannot be read is never replaced.
#include <cstdlib>
#include <string>

#include "platform/key_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const vornix::KeyFile file = vornix::KeyFile::Parse(text);
  if (file.Bytes() != text) std::abort();

  for (const char* name : {"UrlOut", "UpdateKey", "Fuzz"}) {
    vornix::KeyFile changed = file;
    const vornix::KeyFile::Entry* before = file.Find(name);
    const bool unreadable = before && !before->data;
    if (changed.Set(name, std::string("v"), false) == unreadable) std::abort();
    if (unreadable) {
      if (changed.Bytes() != text) std::abort();
      continue;
    }
    const vornix::KeyFile::Entry* now = changed.Find(name);
    if (!now || !now->data || *now->data != vornix::KeyFile::Value(std::string("v"))) std::abort();
    // Every byte before the changed line and after it is as it was.
    const std::string out = changed.Bytes();
    size_t prefix = 0, suffix = 0;
    while (prefix < text.size() && prefix < out.size() && text[prefix] == out[prefix]) ++prefix;
    while (suffix < text.size() - prefix && suffix < out.size() - prefix &&
           text[text.size() - 1 - suffix] == out[out.size() - 1 - suffix])
      ++suffix;
    const size_t changedRun = out.size() - prefix - suffix;
    if (changedRun > 4 * (std::string(name).size() + 12)) std::abort();
  }
  return 0;
}
