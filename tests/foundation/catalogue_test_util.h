#pragma once

#include <cstdio>
#include <string>

#include "common/catalogue.h"

namespace vornix::testing {

// Reads a catalogue from the given bytes through a memory stream.
inline PackageCatalogue ReadFromText(const std::string& text) {
  PackageCatalogue cat;
  cat.count = 99;  // the read must clear whatever was there
  FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
  if (!in) in = std::tmpfile();  // fmemopen refuses an empty buffer
  ReadCatalogue(in, cat);
  std::fclose(in);
  return cat;
}

inline std::string PackageXml(const std::string& name, const std::string& desc = "Desc",
                              const std::string& build = "", const std::string& update = "",
                              const std::string& path = "/opt/x", const std::string& key = "x") {
  return " <Package>\r\n  <Name>" + name + "</Name>\r\n  <Desc>" + desc + "</Desc>\r\n  <Build>" +
         build + "</Build>\r\n  <Update>" + update + "</Update>\r\n  <Path>" + path +
         "</Path>\r\n  <Key>" + key + "</Key>\r\n </Package>\r\n";
}

}  // namespace vornix::testing
