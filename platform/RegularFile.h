#pragma once

// Reading a whole file that may be anything: a FIFO, a device, a link to
// either, or a file far too large to hold. The web files and the settings
// file are both read this way.

#include "platform/Result.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace platform {

// Which file an open descriptor or a path leads to.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

FileIdentity identityOf(const struct stat& info);

// The file a path leads to now, links followed; nothing when there is none.
std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path);

// The whole content of a regular file of at most maxBytes. The open never
// waits (a FIFO without a writer, a device), and nothing but a regular file
// is read. `accept`, when given, is asked about the file actually opened
// before anything is read. A failure when the file cannot be opened, is not a
// regular file, is refused, is larger than maxBytes (also when it grows past
// it while being read), or cannot be held in memory; its code is the errno
// value of the cause (EFBIG for the size, ENOMEM for the memory, EPERM for a
// refusal, EINVAL for anything but a regular file).
Result<std::string> readRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                                    const std::function<bool(const FileIdentity&)>& accept = {});

} // namespace platform
