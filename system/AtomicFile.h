#pragma once

#include "platform/Result.h"

#include <filesystem>
#include <string>
#include <string_view>

// Replacing a user's file must never lose it: the bytes go to a temporary file
// in the same folder, which is renamed over the target only once it is whole.

// What a write does when the path is a symbolic link.
enum class LinkHandling {
  // The file it points to is replaced, wherever it is: a user's own link.
  ReplaceTarget,
  // The link itself is replaced by the file: what the app keeps in a folder
  // of its own is never written outside it.
  ReplaceLink,
};

// Writes bytes to path atomically. An existing file keeps its permission
// bits. On failure the previous file is untouched and no temporary is left.
// The temporary's name begins with temporaryPrefix (a leftovers rule's),
// SAVE_TEMPORARY_PREFIX where none is given.
platform::Result<void> writeFileAtomically(const std::filesystem::path& path,
                                           std::string_view bytes,
                                           LinkHandling links = LinkHandling::ReplaceTarget,
                                           std::string_view temporaryPrefix = {});

// The folder that a write to path lands in (links followed): a file made
// there can take path's place in one rename.
std::filesystem::path replacementFolder(const std::filesystem::path& path);

// Puts what was written to fd on the disk itself (F_FULLFSYNC on Apple
// systems, where fsync leaves it in the drive's cache).
platform::Result<void> flushToDisk(int fd);

// Writes every byte to fd, going on after interruptions and short writes.
platform::Result<void> writeAll(int fd, std::string_view bytes);

// Puts the whole file ready, made in replacementFolder(path), in place of path
// in one step, by the rules of writeFileAtomically: an existing file keeps its
// permission bits, a link's target is replaced, and on failure the previous
// file is untouched.
platform::Result<void> moveFileAtomically(const std::filesystem::path& ready,
                                          const std::filesystem::path& path);
