#pragma once

#include "platform/Result.h"

namespace platform {

// An open file descriptor with one owner, closed exactly once: by close(),
// or when the owner ends. A read needs no more than the end; a write calls
// close() and looks at its result, as some file systems (a full disk, a
// network volume) report a failed write only then.
class Descriptor {
public:
  Descriptor() = default;
  // Takes over fd; a negative one is no descriptor.
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor();
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Closes it now; what the system said. It is closed afterwards whatever
  // the answer (a close is never repeated: the number may already be
  // another file's). Closing none succeeds.
  Result<void> close();

private:
  int release() noexcept {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

  int fd_ = -1;
};

// The first failure of a write and the close after it: the write's, else
// the close's. The descriptor is closed in both cases.
Result<void> closeAfter(Descriptor& fd, Result<void> written);

} // namespace platform
