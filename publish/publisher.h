#pragma once

#include <ostream>
#include <string>

namespace vornix {

// vornix-publish: the publisher's side of signed packages, for a repository in the reference
// server's layout (<repository>/<Name>/package.txt, setup.exe, updates/<file>).

// Makes an Ed25519 key pair: the private key goes, as PEM, into a new file of mode 0600 (an
// existing file is never replaced); the public key is printed in base64, the form UpdateKey
// takes. The exit code of the program.
int MakePublisherKey(const std::string& keyFile, std::ostream& out, std::ostream& err);

// Signs every package of the repository: writes SetupSignature= and UpdateSignature= into its
// package.txt for the setup and the update that package.txt describes, replacing earlier
// ones. Refuses a key file that group or others may access. The exit code of the program.
int SignRepository(const std::string& keyFile, const std::string& repository, std::ostream& out,
                   std::ostream& err);

}  // namespace vornix
