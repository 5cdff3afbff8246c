#include "system/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

using Attempt = InstanceLock::Attempt;
using Obstacle = InstanceLock::Obstacle;
using Outcome = InstanceLock::Outcome;

Attempt unavailable(Obstacle obstacle, int errorNumber = 0) {
  Attempt attempt{Outcome::Unavailable, obstacle, {}};
  if (obstacle == Obstacle::SystemError)
    attempt.failure = platform::Failure::of(errorNumber);
  return attempt;
}

// What anything but a regular file at the path is, as it is itself.
Obstacle obstacleOf(const struct stat& st) {
  if (S_ISLNK(st.st_mode))
    return Obstacle::Link;
  if (S_ISDIR(st.st_mode))
    return Obstacle::Folder;
  return S_ISREG(st.st_mode) ? Obstacle::None : Obstacle::OtherKind;
}

} // namespace

// The lock goes with its descriptor.
InstanceLock::~InstanceLock() = default;

InstanceLock::Attempt InstanceLock::acquire(const std::filesystem::path& file) {
  if (fd_.valid())
    return {Outcome::Held, Obstacle::None, {}};
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  // Close-on-exec: a program the app starts (the engine's helpers) must not
  // keep the lock after the app is gone. Non-blocking: something other than
  // a file at that path must not stall the start. No link is followed: a
  // dangling one would have the open make its target, wherever it points.
  constexpr int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
  platform::Descriptor fd(::open(file.c_str(), O_RDWR | O_CREAT | flags, 0600));
  const int refused = errno;
  // flock needs no write access: a read-only file, or one on a read-only
  // volume, is locked just as well through a read-only open.
  if (!fd.valid())
    fd = platform::Descriptor(::open(file.c_str(), O_RDONLY | flags));
  if (!fd.valid()) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && obstacleOf(st) != Obstacle::None)
      return unavailable(obstacleOf(st));
    return unavailable(Obstacle::SystemError, refused);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0)
    return unavailable(Obstacle::SystemError, errno);
  if (obstacleOf(st) != Obstacle::None)
    return unavailable(obstacleOf(st));
  int result;
  do
    result = ::flock(fd.get(), LOCK_EX | LOCK_NB);
  while (result != 0 && errno == EINTR);
  if (result != 0) {
    if (errno == EWOULDBLOCK)
      return {Outcome::HeldElsewhere, Obstacle::None, {}};
    return unavailable(Obstacle::SystemError, errno);
  }
  fd_ = std::move(fd);
  return {Outcome::Held, Obstacle::None, {}};
}
