#include "system/Paths.h"

#include <system_error>

namespace fs = std::filesystem;

bool itemExists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

bool isWithin(const fs::path& path, const fs::path& folder, FolderItself itself) {
  fs::path relative = path.lexically_relative(folder);
  if (relative.empty() || *relative.begin() == "..")
    return false;
  return relative != "." || itself == FolderItself::Counts;
}
