#pragma once

#include <unistd.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace vornix {

// Owns one file descriptor and closes it when it goes.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  // Closes the one it owns and takes `fd`; false when the close failed.
  bool reset(int fd = -1) {
    const bool closed = fd_ < 0 || close(fd_) == 0;
    fd_ = fd;
    return closed;
  }

 private:
  int fd_;
};

// Copies the whole of `from`, from its start whatever its offset, to `to`; `onBytes`, when
// given, sees every piece on its way. False, with errno set, when a read or write fails.
bool CopyAllBytes(int from, int to,
                  const std::function<void(const char* data, size_t size)>& onBytes = nullptr);

// Writes all of `bytes`, going on after an interrupted or partial write; false, with errno
// set, when a write fails (a write that writes nothing counts as failing with EIO).
bool WriteAll(int fd, std::string_view bytes);

}  // namespace vornix
