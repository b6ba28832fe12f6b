#include "platform/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_descriptor.h"
#include "platform/path.h"
#include "platform/temporary_files.h"

namespace vornix {

namespace {

constexpr int kMaxLinks = 40;  // as the system's own limit on links followed in a lookup

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
  FileDescriptor fd(open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.valid()) return false;
  const bool ok = WriteAll(fd.get(), bytes) &&
                  ftruncate(fd.get(), static_cast<off_t>(bytes.size())) == 0 &&
                  fsync(fd.get()) == 0;
  return fd.reset() && ok;
}

void SyncFolder(const std::string& folder) {
  const FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) fsync(fd.get());  // the rename itself reaches the disk
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
    if (!FileDescriptor(open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)).valid())
      return false;
  }

  const std::string folder = FolderOf(target);
  RemoveStaleTemporaries(folder, kReplaceTemporaryPrefix);
  std::string temp;
  FileDescriptor fd = CreateTemporaryBeside(folder, kReplaceTemporaryPrefix, temp);
  if (!fd.valid()) {
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
      (fstat(fd.get(), &made) == 0 && made.st_uid == old.st_uid && made.st_gid == old.st_gid) ||
      fchown(fd.get(), old.st_uid, old.st_gid) == 0;
  if (!sameOwner) {
    fd.reset();
    unlink(temp.c_str());
    return RewriteInPlace(target, bytes);
  }
  const mode_t mode = exists ? (old.st_mode & 07777) : 0644;
  bool ok = fchmod(fd.get(), mode) == 0 && WriteAll(fd.get(), bytes) && fsync(fd.get()) == 0;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;  // while still locked
  fd.reset();
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

}  // namespace vornix
