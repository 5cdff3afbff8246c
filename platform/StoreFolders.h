#pragma once

// Where a product keeps its own stores on a system that follows the XDG base
// directories, computed apart from any toolkit so the names can be pinned.

#include <filesystem>
#include <string_view>

namespace platform {

struct StoreFolders {
  // The key file of the user defaults.
  std::filesystem::path settingsFile;
  // The web engine's persistent data (local storage, cookies) and its cache.
  std::filesystem::path webDataDirectory;
  std::filesystem::path webCacheDirectory;
};

StoreFolders xdgStoreFolders(std::string_view folderName, const std::filesystem::path& configHome,
                             const std::filesystem::path& dataHome,
                             const std::filesystem::path& cacheHome);

} // namespace platform
