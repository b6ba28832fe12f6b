#include "platform/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/path.h"
#include "platform/temporary_files.h"

namespace vornix {

namespace {

constexpr int kMaxLinks = 40;  // as the system's own limit on links followed in a lookup

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The file a chain of symbolic links ends at (which may not exist yet); empty for a loop.
std::string FollowLinks(std::string path) {
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    const std::string link(target, static_cast<size_t>(n));
    path = link.front() == '/' ? link : FolderWithSlash(path) + link;
  }
  return {};
}

std::string FolderOf(const std::string& path) {
  const std::string folder = FolderWithSlash(path);
  return folder == path ? "." : folder;
}

// The old way, kept for folders where nothing new can be made: the new bytes are written over
// the old ones before the file is cut to their length, so a catalogue stays readable up to
// its end tag even when the cut never happens.
bool RewriteInPlace(const std::string& path, std::string_view bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  bool ok =
      WriteAll(fd, bytes) && ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  return ok;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // the rename itself reaches the disk
  close(fd);
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string target = FollowLinks(path);
  if (target.empty()) {
    errno = ELOOP;
    return false;
  }
  struct stat old {};
  const bool exists = stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists) {
    // The file must still be writable in its own right: one that cannot be written stays
    // untouched even though its folder would allow a rename over it.
    if (!S_ISREG(old.st_mode)) {
      errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
      return false;
    }
    const int probe = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) return false;
    close(probe);
  }

  const std::string folder = FolderOf(target);
  RemoveStaleTemporaries(folder, kReplaceTemporaryPrefix);
  std::string temp;
  const int fd = CreateTemporaryBeside(folder, kReplaceTemporaryPrefix, temp);
  if (fd < 0) {
    // Only a folder that may not be written falls back; a full disk must not reach a rewrite
    // that could stop half-way.
    const bool forbidden = errno == EACCES || errno == EPERM;
    return exists && forbidden && RewriteInPlace(target, bytes);
  }

  // The new file belongs to whoever owned the old one: a rewrite by root must not leave a
  // catalogue the service's user can no longer write.
  struct stat made {};
  const bool sameOwner =
      !exists ||
      (fstat(fd, &made) == 0 && made.st_uid == old.st_uid && made.st_gid == old.st_gid) ||
      fchown(fd, old.st_uid, old.st_gid) == 0;
  if (!sameOwner) {
    close(fd);
    unlink(temp.c_str());
    return RewriteInPlace(target, bytes);
  }
  const mode_t mode = exists ? (old.st_mode & 07777) : 0644;
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;  // while still locked
  close(fd);
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

}  // namespace vornix
