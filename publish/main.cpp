// vornix-publish keygen <private-key-file> | sign <private-key-file> <repository>
#include <iostream>
#include <string>

#include "publish/publisher.h"

namespace {

constexpr int kUsageExit = 2;

int Usage() {
  std::cerr << "usage: vornix-publish keygen <private-key-file>\n"
               "       vornix-publish sign <private-key-file> <repository>\n";
  return kUsageExit;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "keygen" && argc == 3)
    return vornix::MakePublisherKey(argv[2], std::cout, std::cerr);
  if (command == "sign" && argc == 4)
    return vornix::SignRepository(argv[2], argv[3], std::cout, std::cerr);
  return Usage();
}
