#include "system/AtomicFile.h"

#include "platform/platform.h"
#include "system/Leftovers.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

FileResult failure(int error) {
  return {false, platform::describeError(error)};
}

// Follows a chain of links to the file that is really written, without
// requiring that file to exist yet.
fs::path resolveLinks(fs::path path) {
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
    fs::path target = fs::read_symlink(path, ec);
    if (ec)
      break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path;
}

// Puts the file's bytes on the disk before a rename makes them the file.
// On Apple systems fsync only hands them to the drive, which may still hold
// them in its cache, and write them after the rename, when the power goes;
// F_FULLFSYNC has the drive write them. File systems that refuse it (some
// network and external ones) get fsync, as SQLite does.
int flushToDisk(int fd) {
#ifdef __APPLE__
  if (::fcntl(fd, F_FULLFSYNC) == 0)
    return 0;
#endif
  return ::fsync(fd);
}

// The permission bits of the file that takes target's place: those of the
// file it replaces, or what a plain new file gets under the user's umask.
// EISDIR when target is a folder, which no file replaces; else 0.
int replacementMode(const fs::path& target, mode_t& mode) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode))
      return EISDIR;
    mode = existing.st_mode & 07777;
    return 0;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  mode = 0666 & ~mask;
  return 0;
}

} // namespace

bool writeAll(int fd, std::string_view bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

FileResult writeFileAtomically(const fs::path& requested, std::string_view bytes) {
  const fs::path target = resolveLinks(requested);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

  mode_t mode = 0;
  if (int error = replacementMode(target, mode))
    return failure(error);

  // A short name of its own: one made from the target's could pass the file
  // system's limit on a name that the target itself keeps to.
  std::string pattern = temporaryPattern(folder, SAVE_TEMPORARY_PREFIX);
  int fd = ::mkstemp(pattern.data());
  if (fd < 0)
    return failure(errno);

  // mkstemp makes the file 0600.
  int error = 0;
  if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || flushToDisk(fd) != 0)
    error = errno;
  if (::close(fd) != 0 && error == 0)
    error = errno;
  if (error == 0 && ::rename(pattern.c_str(), target.c_str()) != 0)
    error = errno;
  if (error != 0) {
    ::unlink(pattern.c_str());
    return failure(error);
  }
  return {true, {}};
}

fs::path replacementFolder(const fs::path& path) {
  const fs::path target = resolveLinks(path);
  return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

FileResult moveFileAtomically(const fs::path& ready, const fs::path& requested) {
  const fs::path target = resolveLinks(requested);
  mode_t mode = 0;
  if (int error = replacementMode(target, mode))
    return failure(error);
  // Whoever wrote it may not have flushed it: it must be on disk before it
  // replaces anything.
  int fd = ::open(ready.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0)
    return failure(errno);
  struct stat made {};
  int error = 0;
  if (::fstat(fd, &made) != 0)
    error = errno;
  else if (!S_ISREG(made.st_mode))
    error = EINVAL;
  else if (::fchmod(fd, mode) != 0 || flushToDisk(fd) != 0)
    error = errno;
  ::close(fd);
  if (error == 0 && ::rename(ready.c_str(), target.c_str()) != 0)
    error = errno;
  if (error != 0)
    return failure(error);
  return {true, {}};
}
