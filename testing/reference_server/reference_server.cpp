#include "testing/reference_server/reference_server.h"

#include <fcntl.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>

#include "common/package_info.h"
#include "platform/text.h"

namespace vornix::testing {
namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kCommandPattern = R"(/(.*/)?cgi-bin/vornet)";
// /<Name>/setup.exe or /<Name>/updates/<file>, also below /Vornix as the vendor's server.
constexpr const char* kFilePattern = R"((/Vornix)?/([^/]+)/(setup\.exe|updates/[^/]+))";
constexpr const char* kPackageInfo = "package.txt";
constexpr size_t kServeChunk = 256 * 1024;

// The element's value in a command document, or empty: the server's own small reader.
std::string Element(const std::string& doc, const std::string& name) {
  const std::string open = "<" + name + ">";
  const std::string close = "</" + name + ">";
  const size_t start = doc.find(open);
  if (start == std::string::npos) return {};
  const size_t from = start + open.size();
  const size_t end = doc.find(close, from);
  return doc.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

std::string DecodeReferences(std::string text) {
  static const std::pair<const char*, char> kRefs[] = {
      {"&#60;", '<'}, {"&#62;", '>'}, {"&#38;", '&'}};
  std::string out;
  for (size_t i = 0; i < text.size();) {
    bool done = false;
    for (const auto& [ref, c] : kRefs) {
      if (text.compare(i, 5, ref) == 0) {
        out += c;
        i += 5;
        done = true;
        break;
      }
    }
    if (!done) out += text[i++];
  }
  return out;
}

// Markup characters of a value go out as the three references the client decodes.
std::string Escape(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '<')
      out += "&#60;";
    else if (c == '>')
      out += "&#62;";
    else if (c == '&')
      out += "&#38;";
    else
      out += c;
  }
  return out;
}

std::string Field(const char* name, const std::string& value) {
  return std::string("<") + name + ">" + Escape(value) + "</" + name + ">";
}

std::string Reply(const std::string& fields) {
  return "<Reply>" + fields + "</Reply>\r\n";
}

// A signature the publisher wrote into package.txt; nothing at all when there is none, so
// unsigned repositories are answered as they always were.
std::string SignatureField(const std::string& signature) {
  return signature.empty() ? std::string() : Field("Signature", signature);
}

bool IsPlain(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// package.txt read with the publisher's own reader, so both take the same values from it.
std::map<std::string, std::string> ReadPackageInfo(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return ParsePackageInfo(text.str()).values;
}

std::string TimeOfDay() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[16];
  std::strftime(buf, sizeof buf, "%H%M%S", &local);
  return buf;
}

}  // namespace

unsigned SystemVSum(const std::string& bytes) {
  uint32_t sum = 0;
  for (unsigned char c : bytes) sum += c;
  const uint32_t t = (sum & 0xffff) + (sum >> 16);
  return (t & 0xffff) + (t >> 16);
}

ReferenceServer::ReferenceServer(ReferenceServerOptions options)
    : options_(std::move(options)), server_(std::make_unique<httplib::Server>()) {}

ReferenceServer::~ReferenceServer() {
  Stop();
}

std::string ReferenceServer::address() const {
  return std::string(kHost) + ":" + std::to_string(port_);
}

bool ReferenceServer::Bind() {
  Install();
  if (options_.port == 0) {
    port_ = server_->bind_to_any_port(kHost);
  } else if (server_->bind_to_port(kHost, options_.port)) {
    port_ = options_.port;
  }
  return port_ > 0;
}

bool ReferenceServer::Start() {
  if (!Bind()) return false;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // Stop() reaches only a running server: wait until it runs, a bounded time.
  for (int i = 0; i < 1000 && !server_->is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return server_->is_running();
}

bool ReferenceServer::Run() {
  return Bind() && server_->listen_after_bind();
}

void ReferenceServer::Stop() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::vector<RecordedRequest> ReferenceServer::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

std::vector<std::string> ReferenceServer::Log() const {
  std::vector<std::string> lines;
  for (const RecordedRequest& r : Requests()) {
    if (r.method != "POST") {
      lines.push_back(r.method + " " + r.path);
      continue;
    }
    std::string line = r.command;
    if (!r.progId.empty()) line += " " + r.progId;
    if (!r.fileName.empty()) line += " " + r.fileName;
    if (!r.message.empty()) line += " " + r.message;
    lines.push_back(line);
  }
  return lines;
}

void ReferenceServer::ClearRequests() {
  std::lock_guard<std::mutex> guard(lock_);
  requests_.clear();
}

void ReferenceServer::SetReply(const std::string& command, const std::string& progId,
                               std::string reply) {
  std::lock_guard<std::mutex> guard(lock_);
  replies_[{command, progId}] = std::move(reply);
}

void ReferenceServer::ClearReplies() {
  std::lock_guard<std::mutex> guard(lock_);
  replies_.clear();
}

void ReferenceServer::Record(RecordedRequest request) {
  std::lock_guard<std::mutex> guard(lock_);
  request.seq = static_cast<int>(requests_.size()) + 1;
  if (!options_.requestLog.empty()) {
    std::ofstream out(options_.requestLog, std::ios::app | std::ios::binary);
    out << "{\"seq\":" << request.seq << ",\"method\":" << JsonString(request.method)
        << ",\"path\":" << JsonString(request.path)
        << ",\"command\":" << JsonString(request.command)
        << ",\"progId\":" << JsonString(request.progId)
        << ",\"fileName\":" << JsonString(request.fileName)
        << ",\"message\":" << JsonString(request.message) << ",\"status\":" << request.status
        << ",\"body\":" << JsonString(request.body) << "}\n";
  }
  requests_.push_back(std::move(request));
}

std::string ReferenceServer::PackageFile(const std::string& name,
                                         const std::string& fileName) const {
  if (!IsPlain(name)) return {};
  if (fileName == "setup.exe") return options_.repository + "/" + name + "/setup.exe";
  const std::string prefix = "updates/";
  if (fileName.compare(0, prefix.size(), prefix) != 0) return {};
  const std::string file = fileName.substr(prefix.size());
  if (!IsPlain(file)) return {};
  return options_.repository + "/" + name + "/updates/" + file;
}

std::optional<ReferenceServer::Checksum> ReferenceServer::FileChecksum(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const std::string stamp = std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) +
                            "." + std::to_string(st.st_mtim.tv_nsec);
  {
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = checksums_.find(path);
    if (it != checksums_.end() && it->second.first == stamp) return it->second.second;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  uint32_t sum = 0;
  uint64_t size = 0;
  std::string chunk(1 << 20, '\0');
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const size_t n = static_cast<size_t>(in.gcount());
    for (size_t i = 0; i < n; ++i) sum += static_cast<unsigned char>(chunk[i]);
    size += n;
  }
  const uint32_t t = (sum & 0xffff) + (sum >> 16);
  const Checksum result{size, (t & 0xffff) + (t >> 16)};
  std::lock_guard<std::mutex> guard(lock_);
  checksums_[path] = {stamp, result};
  return result;
}

std::string ReferenceServer::Answer(RecordedRequest& request) {
  const std::string& cmd = request.command;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& key :
         {std::make_pair(cmd, request.progId), std::make_pair(cmd, std::string())}) {
      const auto it = replies_.find(key);
      if (it != replies_.end()) return it->second;
    }
  }
  const std::string ok = Field("Error", "OK");
  if (cmd == "SVRTIME") return Reply(Field("Time", options_.time.value_or(TimeOfDay())));
  if (cmd == "CONFIG" || cmd == "LOGMSG") return Reply(ok);
  if (cmd == "SETUPINFO" || cmd == "UPDATEINFO") {
    const std::string infoPath = options_.repository + "/" + request.progId + "/" + kPackageInfo;
    struct stat st {};
    if (!IsPlain(request.progId) || stat(infoPath.c_str(), &st) != 0) {
      return Reply(Field("Error", "Unknown program id " + request.progId));
    }
    auto info = ReadPackageInfo(infoPath);
    if (cmd == "SETUPINFO") {
      if (!info["SetupError"].empty()) return Reply(Field("Error", info["SetupError"]));
      return Reply(ok + Field("Build", info["SetupBuild"]) +
                   SignatureField(info["SetupSignature"]));
    }
    if (!info["UpdateError"].empty()) return Reply(Field("Error", info["UpdateError"]));
    return Reply(ok + Field("Build", info["UpdateBuild"]) + Field("FileName", info["UpdateFile"]) +
                 Field("UpdateCmd", info["UpdateCmd"]) + SignatureField(info["UpdateSignature"]));
  }
  if (cmd == "FILEINFO") {
    const auto sum = FileChecksum(PackageFile(request.progId, request.fileName));
    if (!sum) return Reply(Field("Error", "No such file " + request.fileName));
    return Reply(ok + Field("Size", std::to_string(sum->size)) +
                 Field("CkSum", std::to_string(sum->sum)));
  }
  return Reply(Field("Error", "Unknown command " + cmd));
}

void ReferenceServer::Install() {
  server_->Post(kCommandPattern, [this](const httplib::Request& req, httplib::Response& res) {
    RecordedRequest request;
    request.method = req.method;
    request.path = req.path;
    request.body = req.body;
    request.command = Element(req.body, "Cmd");
    request.progId = Element(req.body, "ProgID");
    request.fileName = Element(req.body, "FileName");
    request.message = Element(req.body, "Msg");
    request.config = DecodeReferences(Element(req.body, "Config"));
    const std::string reply = Answer(request);
    request.status = 200;
    Record(std::move(request));  // before the reply leaves, so a client sees it recorded
    res.set_content(reply, "text/xml");
  });

  server_->Get(kFilePattern, [this](const httplib::Request& req, httplib::Response& res) {
    RecordedRequest request;
    request.method = req.method;
    request.path = req.path;
    const std::string path = PackageFile(req.matches[2], req.matches[3]);
    const int fd = path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (fd >= 0) close(fd);
      request.status = 404;
      Record(std::move(request));
      res.status = 404;
      res.set_content("<html><body>Not Found</body></html>", "text/html");
      return;
    }
    request.status = 200;
    Record(std::move(request));
    auto file = std::shared_ptr<int>(new int(fd), [](int* f) {
      close(*f);
      delete f;
    });
    res.set_content_provider(static_cast<size_t>(st.st_size), "application/octet-stream",
                             [file](size_t offset, size_t length, httplib::DataSink& sink) {
                               std::string buf(std::min(length, kServeChunk), '\0');
                               const ssize_t n =
                                   pread(*file, buf.data(), buf.size(), static_cast<off_t>(offset));
                               if (n <= 0) return false;
                               return sink.write(buf.data(), static_cast<size_t>(n));
                             });
  });

  // Anything else: recorded and answered 404.
  server_->set_error_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (res.status != 404 || res.body.size() > 0) return;
    RecordedRequest request;
    request.method = req.method;
    request.path = req.path;
    request.body = req.body;
    request.status = res.status;
    Record(std::move(request));
    res.set_content("<html><body>Not Found</body></html>", "text/html");
  });
}

}  // namespace vornix::testing
