#pragma once

#include <optional>
#include <string>

namespace vornix {

// A named mutex that marks a single running instance: an exclusive flock on
// <system root>/run/mutex/<name>.lock, held until the object goes away or the process ends.
// The descriptor is close-on-exec, so a started program never inherits it.
class NamedMutex {
 public:
  enum class State { kAcquired, kAlreadyExists, kFailed };

  explicit NamedMutex(const std::string& name);
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  State state() const { return state_; }
  // With kFailed, why the lock file could not be opened.
  int error() const { return error_; }

  static std::string LockFilePath(const std::string& name);

 private:
  int fd_ = -1;
  State state_ = State::kFailed;
  int error_ = 0;
};

// The process that holds the named mutex, as the system's table of locks tells it; nothing when
// nobody holds it or the table cannot tell.
std::optional<int> NamedMutexHolder(const std::string& name);

// Waits, at most `timeoutMs`, until nobody holds the named mutex: the instance that held it has
// ended. True when it is free (or was never taken).
bool WaitUntilNamedMutexFree(const std::string& name, int timeoutMs);

// An exclusive lock that is waited for, at most `timeoutMs`; released by the destructor.
class WaitedLock {
 public:
  WaitedLock(const std::string& name, int timeoutMs);
  ~WaitedLock();
  WaitedLock(const WaitedLock&) = delete;
  WaitedLock& operator=(const WaitedLock&) = delete;
  bool held() const { return fd_ >= 0; }
  // Why it is not held: EWOULDBLOCK when another holder kept it past the bound, else the error
  // that kept the lock file from being opened.
  int error() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace vornix
