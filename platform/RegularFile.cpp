#include "platform/RegularFile.h"

#include "platform/Descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileIdentity identityOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return std::nullopt;
  return identityOf(info);
}

Result<std::string> readRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                                    const std::function<bool(const FileIdentity&)>& accept) {
  // Opening a FIFO for reading waits for a writer, and a device may block or
  // never end: without O_NONBLOCK no open can hang, and only regular files
  // are read.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0)
    return Failure::of(errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0)
    return Failure::of(errno);
  if (!S_ISREG(info.st_mode))
    return Failure::of(EINVAL);
  if (accept && !accept(identityOf(info)))
    return Failure::of(EPERM);
  if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > maxBytes)
    return Failure::of(EFBIG);
  if (::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0)
    return Failure::of(errno);

  // Sized once: growing the string as it fills would copy a large file and
  // hold it twice for a moment.
  std::string data;
  try {
    data.resize(static_cast<std::size_t>(info.st_size));
  } catch (const std::bad_alloc&) {
    return Failure::of(ENOMEM);
  }
  std::size_t done = 0;
  for (;;) {
    ssize_t n;
    if (done < data.size()) {
      n = ::read(fd.get(), data.data() + done, data.size() - done);
    } else {
      // The end, unless the file grew while being read.
      char more[65536];
      n = ::read(fd.get(), more, sizeof more);
      if (n > 0) {
        if (static_cast<std::size_t>(n) > maxBytes - data.size())
          return Failure::of(EFBIG);
        try {
          data.append(more, static_cast<std::size_t>(n));
        } catch (const std::bad_alloc&) {
          return Failure::of(ENOMEM);
        }
      }
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return Failure::of(errno);
    if (n == 0)
      break;
    done += static_cast<std::size_t>(n);
  }
  data.resize(done);
  return data;
}

} // namespace platform
