#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Replacing a user's file must never lose it: the bytes go to a temporary file
// in the same folder, which is renamed over the target only once it is whole.

struct FileResult {
  bool ok = false;
  // The system's description of what failed; empty on success.
  std::string error;
};

// Writes bytes to path atomically. An existing file keeps its permission bits;
// when path is a symbolic link, the file it points to is replaced, not the
// link. On failure the previous file is untouched and no temporary is left.
FileResult writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);
