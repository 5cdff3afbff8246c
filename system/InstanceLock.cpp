#include "system/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

InstanceLock::~InstanceLock() {
  if (fd_ >= 0)
    ::close(fd_);
}

InstanceLock::Outcome InstanceLock::acquire(const std::filesystem::path& file) {
  if (fd_ >= 0)
    return Outcome::Held;
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  // Close-on-exec: a program the app starts (the engine's helpers) must not
  // keep the lock after the app is gone. Non-blocking: something other than
  // a file at that path must not stall the start.
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
  if (fd < 0)
    return Outcome::Unavailable;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Outcome::Unavailable;
  }
  int result;
  do
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  while (result != 0 && errno == EINTR);
  if (result != 0) {
    const bool elsewhere = errno == EWOULDBLOCK;
    ::close(fd);
    return elsewhere ? Outcome::HeldElsewhere : Outcome::Unavailable;
  }
  fd_ = fd;
  return Outcome::Held;
}
