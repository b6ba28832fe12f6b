#pragma once

#include <optional>
#include <string>

#include "platform/file_descriptor.h"

namespace vornix {

// A named mutex that marks a single running instance: an exclusive flock on
// <system root>/run/mutex/<name>.lock, held until the object goes away or the process ends.
// The descriptor is close-on-exec, so a started program never inherits it.
class NamedMutex {
 public:
  enum class State { kAcquired, kAlreadyExists, kFailed };

  explicit NamedMutex(const std::string& name);

  State state() const { return state_; }
  // With kFailed, why the lock file could not be opened.
  int error() const { return error_; }

  static std::string LockFilePath(const std::string& name);

 private:
  FileDescriptor fd_;
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
  bool held() const { return fd_.valid(); }
  // Why it is not held: EWOULDBLOCK when another holder kept it past the bound, else the error
  // that kept the lock file from being opened.
  int error() const { return error_; }

 private:
  FileDescriptor fd_;
  int error_ = 0;
};

}  // namespace vornix
