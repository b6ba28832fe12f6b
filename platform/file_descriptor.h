#pragma once

#include <unistd.h>

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

}  // namespace vornix
