#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace vornix::testing {

// One request as the server received it, in arrival order.
struct RecordedRequest {
  int seq = 0;
  std::string method;  // "POST" or "GET"
  std::string path;
  std::string body;
  std::string command;   // Cmd of a command document, empty for file requests
  std::string progId;    // ProgID, when the document has one
  std::string fileName;  // FileName of FILEINFO
  std::string message;   // Msg of LOGMSG
  std::string config;    // Config of CONFIG, with its character references decoded
  int status = 0;        // the HTTP status answered
};

struct ReferenceServerOptions {
  std::string repository;           // folder laid out as the README describes
  int port = 0;                     // 0: any free port
  std::optional<std::string> time;  // SVRTIME answer (HHMMSS); empty: the time of day
  std::string requestLog;           // when set, every request is appended as a JSON line

  static ReferenceServerOptions ForRepository(std::string folder) {
    ReferenceServerOptions options;
    options.repository = std::move(folder);
    return options;
  }
};

// The reference update server: answers the command script "cgi-bin/vornet" and serves the
// package files of a repository folder, on 127.0.0.1 only.
class ReferenceServer {
 public:
  explicit ReferenceServer(ReferenceServerOptions options);
  ~ReferenceServer();
  ReferenceServer(const ReferenceServer&) = delete;
  ReferenceServer& operator=(const ReferenceServer&) = delete;

  // Binds 127.0.0.1 and serves in a thread of its own. False when the port cannot be bound.
  bool Start();
  // Binds and serves on the calling thread until Stop() (for the program).
  bool Run();
  void Stop();

  int port() const { return port_; }
  // "127.0.0.1:<port>": a ServerUrl for the client.
  std::string address() const;

  std::vector<RecordedRequest> Requests() const;
  // "SETUPINFO vornet", "FILEINFO vornet setup.exe", "GET /vornet/setup.exe", ... in order.
  std::vector<std::string> Log() const;
  void ClearRequests();

  // Answers `command` for `progId` with `reply` as it is, instead of from the repository.
  // An empty progId matches every package.
  void SetReply(const std::string& command, const std::string& progId, std::string reply);
  void ClearReplies();

 private:
  struct Checksum {
    uint64_t size = 0;
    unsigned sum = 0;
  };
  bool Bind();
  void Install();
  std::string Answer(RecordedRequest& request);
  std::string PackageFile(const std::string& name, const std::string& fileName) const;
  std::optional<Checksum> FileChecksum(const std::string& path);
  void Record(RecordedRequest request);

  ReferenceServerOptions options_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex lock_;
  std::vector<RecordedRequest> requests_;
  std::map<std::pair<std::string, std::string>, std::string> replies_;
  std::map<std::string, std::pair<std::string, Checksum>> checksums_;  // path: stamp, sum
};

// The System V sum of a byte string, folded to 16 bits: the server's own arithmetic.
unsigned SystemVSum(const std::string& bytes);

}  // namespace vornix::testing
