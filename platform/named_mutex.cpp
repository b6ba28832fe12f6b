#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/path.h"
#include "platform/system_root.h"

namespace vornix {

namespace {

// The lock files are their owner's alone (0600, in a folder of 0700): a lock no other user can
// open is a lock no other user can hold. One that another user owns is not used.
FileDescriptor OpenLockFile(const std::string& name) {
  if (!MakeRunFolder("mutex")) return FileDescriptor();
  FileDescriptor fd(open(NamedMutex::LockFilePath(name).c_str(),
                         O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  struct stat st {};
  if (!fd.valid()) return fd;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
      ((st.st_mode & 077) && fchmod(fd.get(), 0600) != 0)) {
    fd.reset();
    errno = EPERM;
  }
  return fd;
}

// Polled rather than blocking so that every wait has its bound.
bool LockWithin(int fd, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace

std::string NamedMutex::LockFilePath(const std::string& name) {
  return JoinPath(RunFolder("mutex"), name + ".lock");
}

NamedMutex::NamedMutex(const std::string& name) : fd_(OpenLockFile(name)) {
  if (!fd_.valid()) {
    error_ = errno;
    return;
  }
  if (flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
    state_ = State::kAcquired;
    return;
  }
  state_ = errno == EWOULDBLOCK ? State::kAlreadyExists : State::kFailed;
  fd_.reset();
}

std::optional<int> NamedMutexHolder(const std::string& name) {
  struct stat st {};
  if (stat(NamedMutex::LockFilePath(name).c_str(), &st) != 0) return std::nullopt;
  // Lines like "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; "-> " marks a waiter.
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream words(line);
    std::string id, type, kind, mode, pid, file;
    words >> id >> type;
    if (type == "->") continue;
    words >> kind >> mode >> pid >> file;
    const size_t colon = file.rfind(':');
    if (type != "FLOCK" || colon == std::string::npos) continue;
    if (std::strtoull(file.c_str() + colon + 1, nullptr, 10) == st.st_ino)
      return std::atoi(pid.c_str());
  }
  return std::nullopt;
}

bool WaitUntilNamedMutexFree(const std::string& name, int timeoutMs) {
  // Read access is enough to take the lock for a moment; no lock file means no holder ever.
  const FileDescriptor fd(open(NamedMutex::LockFilePath(name).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT;
  return LockWithin(fd.get(), timeoutMs);
}

WaitedLock::WaitedLock(const std::string& name, int timeoutMs) {
  FileDescriptor fd = OpenLockFile(name);
  if (!fd.valid() || !LockWithin(fd.get(), timeoutMs)) {
    error_ = errno;
    return;
  }
  fd_ = std::move(fd);
}

}  // namespace vornix
