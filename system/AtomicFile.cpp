#include "system/AtomicFile.h"

#include "platform/Descriptor.h"
#include "platform/platform.h"
#include "system/Leftovers.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

using platform::Failure;
using platform::Result;

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

// The permission bits of the file that takes target's place: those of the
// file it replaces, or what a plain new file gets under the user's umask (a
// link that is replaced itself has no bits to keep). EISDIR when target is
// a folder, which no file replaces.
Result<mode_t> replacementMode(const fs::path& target,
                               LinkHandling links = LinkHandling::ReplaceTarget) {
  struct stat existing {};
  const int found = links == LinkHandling::ReplaceLink ? ::lstat(target.c_str(), &existing)
                                                       : ::stat(target.c_str(), &existing);
  if (found == 0 && !S_ISLNK(existing.st_mode)) {
    if (S_ISDIR(existing.st_mode))
      return Failure::of(EISDIR);
    return mode_t(existing.st_mode & 07777);
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mode_t(0666 & ~mask);
}

// The temporary made whole: the bits it is to have, every byte, on disk.
Result<void> fill(int fd, mode_t mode, std::string_view bytes) {
  if (::fchmod(fd, mode) != 0)
    return Failure::of(errno);
  if (Result<void> written = writeAll(fd, bytes); !written)
    return written;
  return flushToDisk(fd);
}

// A file written whole elsewhere, made ready to take a place: a regular
// file (nothing else is moved over a user's file), its bits, on disk.
Result<void> settle(int fd, mode_t mode) {
  struct stat made {};
  if (::fstat(fd, &made) != 0)
    return Failure::of(errno);
  if (!S_ISREG(made.st_mode))
    return Failure::of(EINVAL);
  if (::fchmod(fd, mode) != 0)
    return Failure::of(errno);
  return flushToDisk(fd);
}

} // namespace

// Puts the file's bytes on the disk before a rename makes them the file.
// On Apple systems fsync only hands them to the drive, which may still hold
// them in its cache, and write them after the rename, when the power goes;
// F_FULLFSYNC has the drive write them. File systems that refuse it (some
// network and external ones) get fsync, as SQLite does.
Result<void> flushToDisk(int fd) {
#ifdef __APPLE__
  if (::fcntl(fd, F_FULLFSYNC) == 0)
    return {};
#endif
  return platform::posixResult(::fsync(fd));
}

Result<void> writeAll(int fd, std::string_view bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return Failure::of(errno);
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  return {};
}

Result<void> writeFileAtomically(const fs::path& requested, std::string_view bytes,
                                 LinkHandling links, std::string_view temporaryPrefix) {
  const fs::path target = links == LinkHandling::ReplaceLink ? requested : resolveLinks(requested);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

  Result<mode_t> mode = replacementMode(target, links);
  if (!mode)
    return mode.failure();

  // A short name of its own: one made from the target's could pass the file
  // system's limit on a name that the target itself keeps to.
  Result<TemporaryFile> temporary =
      makeTemporaryFile(folder, temporaryPrefix.empty() ? SAVE_TEMPORARY_PREFIX : temporaryPrefix);
  if (!temporary)
    return Failure(temporary.failure()).at("create a temporary file in", folder);

  // It is made 0600. Some file systems report a full disk only at the close.
  Result<void> written =
      platform::closeAfter(temporary->fd, fill(temporary->fd.get(), *mode, bytes));
  if (!written)
    written = Failure(written.failure()).at("write", temporary->path);
  else if (::rename(temporary->path.c_str(), target.c_str()) != 0)
    written = Failure::of(errno).at("rename", target);
  if (!written)
    ::unlink(temporary->path.c_str());
  return written;
}

fs::path replacementFolder(const fs::path& path) {
  const fs::path target = resolveLinks(path);
  return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

Result<void> moveFileAtomically(const fs::path& ready, const fs::path& requested) {
  const fs::path target = resolveLinks(requested);
  Result<mode_t> mode = replacementMode(target);
  if (!mode)
    return mode.failure();
  // Whoever wrote it may not have flushed it: it must be on disk before it
  // replaces anything.
  // Read-only, its bytes flushed by settle: nothing is left for a close to
  // report.
  platform::Descriptor fd(::open(ready.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd.valid())
    return Failure::of(errno).at("open", ready);
  if (Result<void> whole = settle(fd.get(), *mode); !whole)
    return whole;
  if (::rename(ready.c_str(), target.c_str()) != 0)
    return Failure::of(errno).at("rename", target);
  return {};
}
