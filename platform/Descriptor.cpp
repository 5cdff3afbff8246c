#include "platform/Descriptor.h"

#include <unistd.h>

namespace platform {

Descriptor::~Descriptor() {
  // Only reads end here, or a write that has failed already.
  (void)close();
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    (void)close();
    fd_ = other.release();
  }
  return *this;
}

Result<void> Descriptor::close() {
  if (fd_ < 0)
    return {};
  // Linux and macOS release the number even when close fails (EINTR
  // included), so it is never tried again.
  return posixResult(::close(release()));
}

Result<void> closeAfter(Descriptor& fd, Result<void> written) {
  Result<void> closed = fd.close();
  return written ? closed : written;
}

} // namespace platform
